#pragma once

#include <filesystem>
#include <string>
#include <vector>

// What the kit reads and writes in the bytes of the medium's program.
namespace tovira::kit {

// The program's bytes with the SHA-256 of each component written into the list that it reserves; throws with the
// reason where it has no such list or too little room.
std::vector<unsigned char> ProgramWithComponentList(const std::filesystem::path& program,
                                                    const std::vector<std::filesystem::path>& components);
// The same, written into the program in place.
void WriteComponentList(const std::filesystem::path& program, const std::vector<std::filesystem::path>& components);

// The compiler and the linker that the program's bytes depend on, as its version record names them; empty where
// it names none.
std::string ProgramBuiltWith(const std::filesystem::path& program);

} // namespace tovira::kit
