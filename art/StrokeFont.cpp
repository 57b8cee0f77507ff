#include "art/StrokeFont.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace tovira::art {
namespace {

using Polyline = std::vector<Point>;

struct Glyph {
    double width = 0;
    std::vector<Polyline> strokes;
};

// Points along an elliptical arc, angles in degrees, clockwise on screen (y grows downwards).
Polyline Arc(double cx, double cy, double rx, double ry, double fromDegrees, double toDegrees) {
    constexpr int kSteps = 48;
    Polyline points;
    for (int i = 0; i <= kSteps; ++i) {
        const double angle = (fromDegrees + (toDegrees - fromDegrees) * i / kSteps) * std::numbers::pi / 180.0;
        points.push_back({cx + rx * std::cos(angle), cy + ry * std::sin(angle)});
    }
    return points;
}

Polyline Join(Polyline a, const Polyline& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

char32_t NextCodePoint(const std::string& text, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0 && i + 1 < text.size()) {
        const char32_t c = static_cast<char32_t>(((lead & 0x1Fu) << 6) | (byte(i + 1) & 0x3Fu));
        i += 2;
        return c;
    }
    throw std::invalid_argument("unsupported character in lettering: " + text);
}

Glyph LookUp(char32_t c) {
    switch (c) {
    case U' ':
        return {3.5, {}};
    case U'.':
        return {0, {{{0, 10}}}};
    case U'A':
        return {8, {{{0, 10}, {4, 0}, {8, 10}}, {{1.5, 6.5}, {6.5, 6.5}}}};
    case U'C':
        return {8.5, {Arc(4.75, 5, 4.75, 5, -45, -315)}};
    case U'D':
        return {8, {Join(Join({{0, 10}, {0, 0}, {3, 0}}, Arc(3, 5, 5, 5, -90, 90)), {{0, 10}})}};
    case U'E':
        return {6.5, {{{6.5, 0}, {0, 0}, {0, 10}, {6.5, 10}}, {{0, 5}, {5.5, 5}}}};
    case U'\u00C9':
        return {6.5, {{{6.5, 0}, {0, 0}, {0, 10}, {6.5, 10}}, {{0, 5}, {5.5, 5}}, {{2.8, -1.6}, {4.6, -3.4}}}};
    case U'G':
        return {9, {Join(Arc(4.75, 5, 4.75, 5, -45, -360), {{9.5, 10}}), {{9.5, 5.5}, {5.5, 5.5}}}};
    case U'H':
        return {7, {{{0, 0}, {0, 10}}, {{7, 0}, {7, 10}}, {{0, 5}, {7, 5}}}};
    case U'I':
        return {0, {{{0, 0}, {0, 10}}}};
    case U'L':
        return {6, {{{0, 0}, {0, 10}, {6, 10}}}};
    case U'M':
        return {9, {{{0, 10}, {0, 0}, {4.5, 7}, {9, 0}, {9, 10}}}};
    case U'N':
        return {7.5, {{{0, 10}, {0, 0}, {7.5, 10}, {7.5, 0}}}};
    case U'Q':
        return {10, {Arc(5, 5, 5, 5, 0, 360), {{6.2, 6.8}, {10, 10.4}}}};
    case U'R':
        return {7,
                {Join(Join({{0, 10}, {0, 0}, {4, 0}}, Arc(4, 2.75, 2.75, 2.75, -90, 90)), {{0, 5.5}}),
                 {{3.6, 5.5}, {7, 10}}}};
    case U'S':
        return {7, {Join(Arc(3.5, 2.5, 3.3, 2.5, -25, -270), Arc(3.5, 7.5, 3.5, 2.5, -90, 155))}};
    case U'T':
        return {8, {{{0, 0}, {8, 0}}, {{4, 0}, {4, 10}}}};
    case U'V':
        return {8, {{{0, 0}, {4, 10}, {8, 0}}}};
    case U'Y':
        return {8, {{{0, 0}, {4, 5}, {8, 0}}, {{4, 5}, {4, 10}}}};
    default:
        throw std::invalid_argument("no glyph for a character of the lettering");
    }
}

// One unit of the glyphs' grid in design units: 10 units from the cap line to the baseline, less a pen's width.
double GlyphUnit(const Lettering& style) {
    return (style.capHeight - style.penWidth) / 10.0;
}

} // namespace

double TextWidth(const std::string& utf8, const Lettering& style) {
    const double unit = GlyphUnit(style);
    double width = 0;
    bool first = true;
    for (size_t i = 0; i < utf8.size();) {
        const Glyph glyph = LookUp(NextCodePoint(utf8, i));
        width += (first ? 0 : style.tracking) + glyph.width * unit + style.penWidth;
        first = false;
    }
    return width;
}

Shape TextShape(const std::string& utf8, const Lettering& style, Point leftBaseline) {
    // The pen's round ends reach half a pen beyond the grid, so the grid is inset to keep the letters
    // between the baseline and the cap height.
    const double unit = GlyphUnit(style);
    const double half = style.penWidth / 2;
    std::vector<Shape> strokes;
    double x = leftBaseline.x;
    for (size_t i = 0; i < utf8.size();) {
        const Glyph glyph = LookUp(NextCodePoint(utf8, i));
        for (const Polyline& stroke : glyph.strokes) {
            Polyline placed;
            for (const Point& p : stroke) {
                placed.push_back({x + half + p.x * unit, leftBaseline.y - style.capHeight + half + p.y * unit});
            }
            strokes.push_back(Stroke(std::move(placed), style.penWidth));
        }
        x += glyph.width * unit + style.penWidth + style.tracking;
    }
    return Union(std::move(strokes));
}

} // namespace tovira::art
