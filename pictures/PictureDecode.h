#pragma once

#include "pictures/ByteReader.h"
#include "pictures/PictureBytes.h"

#include <cstddef>
#include <cstdint>

namespace tovira {

// No window shows more of a picture than this: the largest part shown, the logo box's, is 2070 x 1625 pixels at
// the largest scale that Windows offers (500 %). Only this top-left part of a picture is decoded and kept.
inline constexpr int kShownWidth = 2080;
inline constexpr int kShownHeight = 1632;

// Where a decoder puts the part of a picture that it keeps: rows from the top, each pixel 0x00RRGGBB, as a
// 32-bit bitmap section holds them.
struct PixelTarget {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;

    void Put(int x, int y, std::uint32_t rgb) const {
        pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = rgb;
    }
    void Fill(std::uint32_t rgb) const;
};

// Decodes the top-left target.width x target.height part of a bitmap, GIF or JPEG that passed its check (the
// target is no larger than the picture). Reads the data as far as the target's rows need it (a run-length
// bitmap's all of it, as its rows run from the bottom up), so that data too short for the shown part is found
// out; false then, or when the data does not hold together, and the target's pixels are undefined: a decoder may
// hold what it works on in the target's memory. Time and memory follow the file's size and the target's, whatever
// the header claims.
bool DecodePicture(ByteSource& source, const PictureCheck& check, const PixelTarget& target);

bool DecodeJpeg(ByteSource& source, const PixelTarget& target);

} // namespace tovira
