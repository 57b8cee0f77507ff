#pragma once

#include <algorithm>
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
    void Fill(std::uint32_t rgb) const {
        std::fill_n(pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(height), rgb);
    }
};

} // namespace tovira
