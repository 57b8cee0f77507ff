#pragma once

#include "art/Raster.h"

#include <string>

namespace tovira::art {

// Capital letters drawn as strokes of round pen, on a grid ten units high, for the lettering of the
// pictures. Covers the letters the artwork uses.
struct Lettering {
    double capHeight = 10;
    double penWidth = 1;
    double tracking = 0; // extra space between letters, in pixels
};

double TextWidth(const std::string& utf8, const Lettering& style);
Shape TextShape(const std::string& utf8, const Lettering& style, Point leftBaseline);

} // namespace tovira::art
