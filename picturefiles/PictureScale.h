#pragma once

#include "picturefiles/PixelTarget.h"

#include <cstdint>

namespace tovira {

// A picture's pixels as PixelTarget holds them, read only.
struct PixelSource {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};

// Enlarges a picture by `factor` (at least 1) with a bilinear filter, so that it fills as much of a screen of
// that scale as it does at 100 % without looking blocky. Writes the top-left target.width x target.height part of
// the enlarged picture; the edges of the picture are repeated where the target reaches beyond it.
void EnlargePicture(const PixelSource& source, double factor, const PixelTarget& target);

} // namespace tovira
