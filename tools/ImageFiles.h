#pragma once

#include "Raster.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tovira::tools {

using Bytes = std::vector<std::uint8_t>;

// A picture in a palette of 16 colours with a transparency mask, as cursors of that depth hold it.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::array<Rgb, 16> palette{};
    std::vector<std::uint8_t> indices; // row by row from the top
    std::vector<bool> transparent;
};

// 24-bit bottom-up bitmap file of an opaque canvas.
Bytes EncodeBitmap(const Canvas& canvas);
// The same opaque canvas in the run-length form that the executable carries (platform/RunLength.h).
Bytes EncodeRunLengthPicture(const Canvas& canvas);
// Icon file with one 24-bit image and its mask per canvas, in the given order.
Bytes EncodeIcon(const std::vector<const Canvas*>& images);
Bytes EncodeCursor(const IndexedImage& image, int hotSpotX, int hotSpotY);

} // namespace tovira::tools
