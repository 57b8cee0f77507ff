// The list of the medium's components that the kit writes into its program, so that the program registers those
// and no others, and the signature made afterwards vouches for the list too; and the compilers that the program's
// version record names.
#include "kit/Program.h"

#include "platform/ComponentList.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace tovira::kit {

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> ReadAll(const fs::path& path) {
    std::vector<unsigned char> bytes(fs::file_size(path));
    std::ifstream file(path, std::ios::binary);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        throw fs::filesystem_error("cannot read", path, std::make_error_code(std::errc::io_error));
    }
    return bytes;
}

// A component may be large: it is hashed a piece at a time.
Sha256Digest DigestOf(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> piece(1 << 16);
    Sha256 sum;
    while (file.read(piece.data(), static_cast<std::streamsize>(piece.size())) || file.gcount() > 0) {
        sum.Add({reinterpret_cast<const unsigned char*>(piece.data()), static_cast<std::size_t>(file.gcount())});
    }
    if (!file.eof()) {
        throw fs::filesystem_error("cannot read", path, std::make_error_code(std::errc::io_error));
    }
    return sum.Finish();
}

// The PE header's checksum, which Windows checks for drivers only, is made true to the changed bytes all the same.
void UpdateChecksum(std::vector<unsigned char>& program) {
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(program[at] | program[at + 1] << 8 | program[at + 2] << 16 |
                                          static_cast<std::uint32_t>(program[at + 3]) << 24);
    };
    if (program.size() < 0x40) {
        return;
    }
    const std::size_t checksumAt = std::size_t{u32(0x3C)} + 24 + 64;
    if (checksumAt + 4 > program.size()) {
        return;
    }
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < program.size(); at += 2) {
        if (at == checksumAt || at == checksumAt + 2) {
            continue;
        }
        sum += program[at] | (at + 1 < program.size() ? program[at + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    const std::uint64_t checksum = ((sum & 0xFFFF) + (sum >> 16)) + program.size();
    for (int i = 0; i < 4; ++i) {
        program[checksumAt + static_cast<std::size_t>(i)] = static_cast<unsigned char>(checksum >> (8 * i));
    }
}

} // namespace

std::vector<unsigned char> ProgramWithComponentList(const fs::path& program, const std::vector<fs::path>& components) {
    std::vector<Sha256Digest> digests;
    for (const fs::path& component : components) {
        digests.push_back(DigestOf(component));
    }
    std::vector<unsigned char> bytes = ReadAll(program);
    const std::string refused = FillComponentList(bytes, digests);
    if (!refused.empty()) {
        throw std::runtime_error("the program \"" + program.string() + "\" " + refused);
    }
    UpdateChecksum(bytes);
    return bytes;
}

void WriteComponentList(const fs::path& program, const std::vector<fs::path>& components) {
    const std::vector<unsigned char> bytes = ProgramWithComponentList(program, components);
    std::ofstream file(program, std::ios::binary | std::ios::trunc);
    if (!file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())) ||
        !file.flush()) {
        throw fs::filesystem_error("cannot write", program, std::make_error_code(std::errc::io_error));
    }
}

// In the version record a text value is a block: its length, its value's length in UTF-16 units, its type (1 for
// text), its key, padding to four bytes, then the value. The program's record names the compiler and the linker
// under "Comments", and that key appears nowhere else in it.
std::string ProgramBuiltWith(const fs::path& program) {
    static constexpr unsigned char kKey[] = {1,   0, 'C', 0, 'o', 0, 'm', 0, 'm', 0,
                                             'e', 0, 'n', 0, 't', 0, 's', 0, 0,   0};
    const std::vector<unsigned char> bytes = ReadAll(program);
    const auto key = std::search(bytes.begin(), bytes.end(), std::begin(kKey), std::end(kKey));
    const auto at = static_cast<std::size_t>(key - bytes.begin());
    if (key == bytes.end() || at < 4) {
        return {};
    }
    const std::size_t units = bytes[at - 2] | static_cast<std::size_t>(bytes[at - 1]) << 8;
    std::string text;
    // The value starts at the next four-byte boundary after the key, counted from the block's start.
    for (std::size_t i = at - 4 + 24; text.size() < units && i + 1 < bytes.size(); i += 2) {
        const unsigned unit = bytes[i] | static_cast<unsigned>(bytes[i + 1]) << 8;
        if (unit == 0) {
            break;
        }
        // The tools name themselves in ASCII; anything else is not theirs and is shown as such.
        text += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    return text;
}

} // namespace tovira::kit
