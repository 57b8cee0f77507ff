#pragma once

#include <cmath>
#include <compare>

namespace tovira {

// The scale that the layouts and the program's pictures were designed at: 96 pixels an inch, 15 twips a pixel.
inline constexpr int kDesignDpi = 96;

// A screen's scale, carried as it is from the window that asks for it to the drawing done for it. It holds the one
// conversion between twips, the physical length that the layouts are given in, and the screen's pixels
// (pixels = twips x DPI / 1440): geometry, hit-testing, the mouse and the screen's size go through it (the window
// system rounds them, platform/win32/Geometry.h); and the one way that lengths in the design's pixels (pictures,
// lines) become the screen's.
class PixelScale {
public:
    constexpr explicit PixelScale(int dpi = kDesignDpi) : dpi_(dpi > 0 ? dpi : kDesignDpi) {}

    constexpr int Dpi() const { return dpi_; }
    constexpr bool IsDesign() const { return dpi_ == kDesignDpi; }
    // How many screen pixels a design pixel spans: 2 at 200 %.
    constexpr double Factor() const { return dpi_ / static_cast<double>(kDesignDpi); }

    // A length in the design's pixels as whole screen pixels, rounded to the nearest.
    int ScreenPixels(int designPixels) const { return static_cast<int>(std::lround(designPixels * Factor())); }
    // The screen pixel that holds a point of the design, and the design pixel under a screen pixel's centre: at
    // whole-number scales every design pixel becomes exactly that many screen pixels, elsewhere one more or less.
    int ScreenPixelAt(double design) const { return static_cast<int>(std::floor(design * Factor())); }
    int DesignPixelAt(int screenPixel) const { return static_cast<int>(std::floor((screenPixel + 0.5) / Factor())); }

    // Twips as screen pixels, not rounded.
    constexpr double Pixels(double twips) const { return twips * dpi_ / kTwipsPerInch; }
    constexpr double ToTwips(int pixels) const { return pixels * kTwipsPerInch / dpi_; }
    // A font's size in points (72 an inch) as its height in pixels.
    int PointsToPixels(double points) const { return static_cast<int>(std::lround(points * dpi_ / 72.0)); }

    friend auto operator<=>(const PixelScale&, const PixelScale&) = default;

private:
    static constexpr double kTwipsPerInch = 1440;
    int dpi_;
};

} // namespace tovira
