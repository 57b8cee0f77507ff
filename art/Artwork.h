#pragma once

#include "art/Raster.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tovira::art {

// The program's own pictures, drawn from their source for a screen scale, so that they come out sharp wherever they
// are shown.
struct PanelSize {
    int width = 0;
    int height = 0;
};
PanelSize MenuPanelSize(const PixelScale& scale);
// The menu panel straight into a 32-bit bitmap's pixels: rows from the top, 0x00RRGGBB. Only the vendor's logo is
// drawn on a canvas: a canvas of the whole panel would be most of the drawing's time at large scales.
void DrawMenuPanel(const PixelScale& scale, std::uint32_t* pixels);
// The same pixels as the bytes that files hold.
Pixels24 DrawMenuPanel(const PixelScale& scale);
Canvas DrawProgramIcon(int size);
Canvas DrawLamp(bool lit, const PixelScale& scale);

// A picture in a palette of 16 colours with a transparency mask, as cursors of that depth hold it.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::array<Rgb, 16> palette{};
    std::vector<std::uint8_t> indices; // row by row from the top
    std::vector<bool> transparent;
};

// The hand's pixel art with every pixel as many whole screen pixels wide and high as the scale allows.
IndexedImage DrawHandPointer(const PixelScale& scale);

// The fingertip: pixel (6, 0) at 100 %, the pixel under that pixel's centre at other scales.
int HandHotSpotX(const PixelScale& scale);
int HandHotSpotY(const PixelScale& scale);

} // namespace tovira::art
