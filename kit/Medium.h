#pragma once

#include "kit/Signing.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The medium that Tovira starts from: what goes on it, the checks made before anything is written, the folder
// and its ISO 9660 image.
namespace tovira::kit {

struct MediumPlan {
    std::filesystem::path program; // the shipped i686 Tovira.exe
    std::filesystem::path handbook;
    std::filesystem::path logo; // empty with noLogo: the disc opens the registration window at once
    bool noLogo = false;
    std::filesystem::path installer; // empty: none
    std::vector<std::filesystem::path> components;
    std::string label;
    std::filesystem::path medium; // the folder to lay out
    std::filesystem::path image;  // empty: no image
    SignPlan sign;
    std::string sourceDateEpoch; // SOURCE_DATE_EPOCH: every time on the medium and in the image; empty: now
};

struct Problem {
    bool error; // else a warning: the medium is made all the same
    std::string text;
};

// Every problem of the plan, one line each, before anything is written: the inputs, the outputs, the signing
// certificate and the tools that the run needs. File-system errors are problems too.
std::vector<Problem> CheckPlan(const MediumPlan& plan);

// SOURCE_DATE_EPOCH's seconds; none where it is not set, or not a number of seconds (a check says so).
std::optional<std::int64_t> FixedTime(const MediumPlan& plan);

// What Windows' AutoPlay reads at the root of a disc to offer to run Tovira with its icon and the label.
std::string AutorunInf(const std::string& label);

// Lays out the medium, signs its program and writes the image, each under a temporary name beside its target,
// and renames them into place only when all of it has succeeded; on failure it removes what it made and throws.
// Returns the image's SHA-256 in hexadecimal, empty without an image.
std::string MakeMedium(const MediumPlan& plan);

// The program's bytes with the SHA-256 of each component written into the list that it reserves; throws with the
// reason where it has no such list or too little room.
std::vector<unsigned char> ProgramWithComponentList(const std::filesystem::path& program,
                                                    const std::vector<std::filesystem::path>& components);
// The same, written into the program in place.
void WriteComponentList(const std::filesystem::path& program, const std::vector<std::filesystem::path>& components);

// The compiler and the linker that the program's bytes depend on, as its version record names them; empty where
// it names none.
std::string ProgramBuiltWith(const std::filesystem::path& program);

// One line for a file-system error: what was refused, on which path, and why.
std::string FileError(const std::filesystem::filesystem_error& error);

} // namespace tovira::kit
