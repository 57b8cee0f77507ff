#pragma once

#include "art/Raster.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tovira::art {

// The program's own pictures, drawn from their source at any screen scale (1 = 96 pixels an inch), so that they
// come out sharp wherever they are shown.
Canvas DrawMenuPanel(double scale);
struct PanelSize {
    int width = 0;
    int height = 0;
};
PanelSize MenuPanelSize(double scale);
// The same panel's pixels, straight into a 32-bit bitmap's: rows from the top, 0x00RRGGBB. A canvas is used only
// under the vendor's logo: the stripes need none, and a canvas of the whole panel is most of the drawing's time at
// large scales.
void DrawMenuPanelInto(double scale, std::uint32_t* pixels);
Canvas DrawProgramIcon(int size);
Canvas DrawLamp(bool lit, double scale);

// A picture in a palette of 16 colours with a transparency mask, as cursors of that depth hold it.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::array<Rgb, 16> palette{};
    std::vector<std::uint8_t> indices; // row by row from the top
    std::vector<bool> transparent;
};

// The hand's pixel art with every pixel as many whole screen pixels wide and high as the scale allows.
IndexedImage DrawHandPointer(double scale);

// The fingertip: pixel (6, 0) at 100 %, the pixel under that pixel's centre at other scales.
int HandHotSpotX(double scale);
int HandHotSpotY(double scale);

} // namespace tovira::art
