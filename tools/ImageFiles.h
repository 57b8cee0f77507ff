#pragma once

#include "art/Artwork.h"

#include <cstdint>
#include <vector>

namespace tovira::tools {

using art::Canvas;
using art::IndexedImage;
using art::Pixel;
using art::Rgb;
using Bytes = std::vector<std::uint8_t>;

// 24-bit bottom-up bitmap file of a picture.
Bytes EncodeBitmap(const Pixels24& picture);
// Icon file with one 24-bit image and its mask per canvas, in the given order.
Bytes EncodeIcon(const std::vector<const Canvas*>& images);
Bytes EncodeCursor(const IndexedImage& image, int hotSpotX, int hotSpotY);

} // namespace tovira::tools
