#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tovira {

// A 24-bit picture, rows from the top, three bytes a pixel in blue, green, red order, no row padding.
struct Pixels24 {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;
    friend bool operator==(const Pixels24&, const Pixels24&) = default;
};

// The form in which the executable carries its large built-in picture: "TRLE", width and height as 16-bit
// little-endian numbers, then each row from the top as runs of a count (1 to 255) and one pixel (blue, green,
// red). A run never crosses the end of a row. The menu panel's stripes shrink to a few bytes a row this way,
// where an uncompressed bitmap would make up most of the program's size.
std::vector<std::uint8_t> EncodeBuiltInRunLength(const Pixels24& picture);

// Empty when the bytes are not a well-formed picture of that form.
std::optional<Pixels24> DecodeBuiltInRunLength(std::span<const std::uint8_t> bytes);

} // namespace tovira
