#pragma once

#include "platform/Controls.h"

#include <windows.h>

namespace tovira::win32 {

// The scale that the layouts were drawn at: 96 pixels an inch, so 15 twips a pixel.
inline constexpr double kTwipsPerPixel = 15.0;

// The one conversion between twips, the physical length that the layouts are given in, and a screen's pixels:
// geometry, hit-testing, the mouse and the screen's size all go through it.
class PixelScale {
public:
    // Rounded to the nearest pixel. A length that no screen coordinate can hold (window positions travel in 16-bit
    // message fields) raises 6, as it would for the window system that receives it.
    int ToPixels(double twips) const;
    double ToTwips(int pixels) const { return pixels * twipsPerPixel_; }

private:
    double twipsPerPixel_ = kTwipsPerPixel;
};

// A control's box in the form's client area, following its containers. Both edges are rounded from twips, so that
// a box covers the same pixels as the hit test's twip range.
RECT ControlRect(const Control& control, const PixelScale& scale);

} // namespace tovira::win32
