#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Picture files made by hand, byte by byte, for the unit tests of the checks and decoders and for the Windows
// tests of the picture loading alike.
namespace tovira::test {

// Writes `value` little-endian into `size` bytes at `at`, into a std::string or a vector of bytes.
template <typename Bytes> void Put(Bytes& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<typename Bytes::value_type>((value >> (8 * i)) & 0xFF);
    }
}

// A bitmap file: 40-byte info header, the palette, then the given bits. A negative height is stored top-down.
inline std::string Bitmap(std::int64_t width, std::int64_t height, int bitCount,
                          const std::vector<std::uint32_t>& palette, const std::string& bits,
                          std::uint32_t compression = 0) {
    const std::size_t bitsOffset = 14 + 40 + 4 * palette.size();
    std::string bytes(bitsOffset, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put(bytes, 2, static_cast<std::uint32_t>(bitsOffset + bits.size()), 4);
    Put(bytes, 10, static_cast<std::uint32_t>(bitsOffset), 4);
    Put(bytes, 14, 40, 4);
    Put(bytes, 18, static_cast<std::uint32_t>(width), 4);
    Put(bytes, 22, static_cast<std::uint32_t>(height), 4);
    Put(bytes, 26, 1, 2);
    Put(bytes, 28, static_cast<std::uint32_t>(bitCount), 2);
    Put(bytes, 30, compression, 4);
    Put(bytes, 34, static_cast<std::uint32_t>(bits.size()), 4);
    Put(bytes, 46, static_cast<std::uint32_t>(palette.size()), 4);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        Put(bytes, 54 + 4 * i, palette[i], 4);
    }
    return bytes + bits;
}

// Rows given top first as 0xRRGGBB; stored bottom-up unless topDown.
inline std::string Bitmap24(int width, const std::vector<std::vector<std::uint32_t>>& rows, bool topDown) {
    std::string bits;
    const int height = static_cast<int>(rows.size());
    for (int i = 0; i < height; ++i) {
        const auto& row = rows[static_cast<std::size_t>(topDown ? i : height - 1 - i)];
        std::string line;
        for (std::uint32_t pixel : row) {
            line += static_cast<char>(pixel & 0xFF);
            line += static_cast<char>((pixel >> 8) & 0xFF);
            line += static_cast<char>((pixel >> 16) & 0xFF);
        }
        line.resize((line.size() + 3) / 4 * 4, '\0');
        bits += line;
    }
    return Bitmap(width, topDown ? -height : height, 24, {}, bits);
}

// An icon file of one 16 by 16 entry, whose image the directory places at `imageOffset` (22, right after it): a
// 32-bit bitmap of opaque green (twice the height for the mask) and its AND mask.
inline std::string GreenIcon16(std::uint32_t imageOffset = 22) {
    std::string image = Bitmap(16, 32, 32, {}, std::string(16 * 16 * 4 + 16 * 4, '\0')).substr(14);
    for (std::size_t i = 0; i < 16 * 16; ++i) {
        Put(image, 40 + 4 * i, 0xFF00FF00, 4);
    }
    Put(image, 20, 0, 4);
    std::string icon(6 + 16, '\0');
    Put(icon, 2, 1, 2);
    Put(icon, 4, 1, 2);
    icon[6] = icon[7] = 16;
    Put(icon, 10, 1, 2);
    Put(icon, 12, 32, 2);
    Put(icon, 14, static_cast<std::uint32_t>(image.size()), 4);
    Put(icon, 18, imageOffset, 4);
    return icon + image;
}

} // namespace tovira::test
