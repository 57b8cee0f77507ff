#pragma once

#include "platform/Controls.h"

#include <windows.h>

namespace tovira::win32 {

// The scale that the layouts and the program's pictures were drawn at: 96 pixels an inch, 15 twips a pixel.
inline constexpr int kDesignDpi = 96;

// The one conversion between twips, the physical length that the layouts are given in, and a screen's pixels at
// its scale (pixels = twips x DPI / 1440): geometry, hit-testing, the mouse and the screen's size all go through it.
class PixelScale {
public:
    explicit PixelScale(int dpi = kDesignDpi) : dpi_(dpi > 0 ? dpi : kDesignDpi) {}

    int Dpi() const { return dpi_; }
    // How much larger than at 96 pixels an inch things are drawn: 2 at 200 %.
    double Factor() const { return dpi_ / static_cast<double>(kDesignDpi); }

    // Rounded to the nearest pixel. A length that no screen coordinate can hold (window positions travel in 16-bit
    // message fields) raises 6, as it would for the window system that receives it.
    int ToPixels(double twips) const;
    double ToTwips(int pixels) const { return pixels * kTwipsPerInch / dpi_; }
    // A width that the design gives in pixels (a line's), as wide to the eye at this scale; never below one.
    int ScaledPixels(int designPixels) const;

private:
    static constexpr double kTwipsPerInch = 1440;
    int dpi_;
};

// A control's box in the form's client area, following its containers. Both edges are rounded from twips, so that
// a box covers the same pixels as the hit test's twip range.
RECT ControlRect(const Control& control, const PixelScale& scale);

} // namespace tovira::win32
