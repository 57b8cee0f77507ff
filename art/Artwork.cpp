#include "art/Artwork.h"

#include "art/StrokeFont.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <numbers>

namespace tovira::art {
namespace {

// The vendor's logo: a disc and the name, painted over the stripes inside x 43..172, y 10..60.
void DrawVendorLogo(Canvas& panel) {
    const Rgb white{1, 1, 1};
    const Rgb blueViolet = Rgb255(138, 43, 226);
    const Rgb indigo = Rgb255(58, 18, 128);
    const Rgb lavender = Rgb255(222, 208, 255);
    const Point centre{67, 35};

    const Shape hole = Ellipse(centre, 4.5, 4.5);
    panel.Fill(Minus(Ellipse(centre, 23, 23), hole),
               [&](double x, double y) { return Mix(blueViolet, indigo, ((x - 44) + (y - 12)) / 92.0); });
    // Faint grooves and a light sheen make the disc read as a recorded medium rather than a dot.
    for (double radius : {12.5, 15.5, 18.5})
        panel.Fill(Minus(Ellipse(centre, radius + 0.5, radius + 0.5), Ellipse(centre, radius - 0.5, radius - 0.5)),
                   indigo, 0.55);
    // Two opposite light wedges, as a shiny disc reflects a lamp above and to the left of it. Each lies inside a
    // triangle from the centre a degree wider on both sides, whose spans spare the samples elsewhere the test.
    const auto cone = [&](double from, double to) {
        const auto towards = [&](double degrees) {
            const double a = degrees * std::numbers::pi / 180.0;
            return Point{centre.x + 30 * std::cos(a), centre.y + 30 * std::sin(a)};
        };
        return Polygon({centre, towards(from - 1), towards(to + 1)});
    };
    const Shape ring = Minus(Ellipse(centre, 21.5, 21.5), Ellipse(centre, 9.5, 9.5));
    const Shape sheen = Intersect(Intersect(Union({cone(-151, -119), cone(35, 55)}), ring), [&](double x, double y) {
        if ((x - centre.x) * (y - centre.y) <= 0)
            return false; // both wedges lie where x and y grow together, spared the arc tangent
        const double degrees = std::atan2(y - centre.y, x - centre.x) * 180.0 / std::numbers::pi;
        return std::abs(degrees + 135) < 16 || std::abs(degrees - 45) < 10;
    });
    panel.Fill(sheen, white, 0.32);
    panel.Fill(Minus(Ellipse(centre, 8.5, 8.5), hole), lavender);
    panel.Fill(Minus(Ellipse(centre, 5.5, 5.5), hole), blueViolet);

    const Lettering name{26, 5.5, 2.5};
    panel.Fill(TextShape("QEV", name, {98, 43}), white);
    const Lettering tagline{7.5, 1.5, 2.2};
    const double width = TextWidth("SYSTEMS", tagline);
    const double nameWidth = TextWidth("QEV", name);
    panel.Fill(TextShape("SYSTEMS", tagline, {98 + (nameWidth - width) / 2, 56}), Rgb255(176, 128, 255));
}

Point Rotate(Point p, Point pivot, double degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    const double dx = p.x - pivot.x, dy = p.y - pivot.y;
    return {pivot.x + dx * std::cos(a) - dy * std::sin(a), pivot.y + dx * std::sin(a) + dy * std::cos(a)};
}

std::vector<Point> RotatedRect(double left, double top, double right, double bottom, Point pivot, double degrees) {
    return {Rotate({left, top}, pivot, degrees), Rotate({right, top}, pivot, degrees),
            Rotate({right, bottom}, pivot, degrees), Rotate({left, bottom}, pivot, degrees)};
}

// The design pixel under the centre of screen pixel p, so that at whole-number scales every design pixel
// becomes exactly that many screen pixels and elsewhere one more or less.
int DesignPixel(int p, double scale) {
    return static_cast<int>(std::floor((p + 0.5) / scale));
}

// The panel's ground: every third row of design pixels dark blue, the rest black.
Rgb StripeColour(int y, double scale) {
    return DesignPixel(y, scale) % 3 == 1 ? Rgb255(0, 64, 128) : Rgb{};
}

// Stripes on the part of the panel that a canvas covers.
void PaintStripes(Canvas& canvas, double scale) {
    for (int y = canvas.Top(); y < canvas.Top() + canvas.Height(); ++y) {
        const Rgb colour = StripeColour(y, scale);
        for (int x = canvas.Left(); x < canvas.Left() + canvas.Width(); ++x)
            canvas.Set(x, y, colour);
    }
}

// An opaque colour as a 32-bit bitmap holds it, 0x00RRGGBB, each channel rounded as the generator's files have it.
std::uint32_t Pixel32(Rgb c) {
    return std::uint32_t{ChannelByte(c.r)} << 16 | ChannelByte(c.g) << 8 | ChannelByte(c.b);
}

int Scaled(int pixels, double scale) {
    return static_cast<int>(std::lround(pixels * scale));
}

} // namespace

Canvas DrawMenuPanel(double scale) {
    const auto [width, height] = MenuPanelSize(scale);
    Canvas panel(width, height, scale);
    PaintStripes(panel, scale);
    DrawVendorLogo(panel);
    return panel;
}

PanelSize MenuPanelSize(double scale) {
    return {Scaled(211, scale), Scaled(412, scale)};
}

void DrawMenuPanelInto(double scale, std::uint32_t* pixels) {
    const auto [width, height] = MenuPanelSize(scale);
    const auto at = [&](int x, int y) {
        return pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    };
    for (int y = 0; y < height; ++y)
        std::fill_n(at(0, y), width, Pixel32(StripeColour(y, scale)));
    // The logo's shapes stay inside x 43..173 and y 10..61; a design pixel more on every side holds all that
    // their fills touch. It is drawn a band of rows at a time: every pixel comes out as from one canvas, and the
    // band's small canvas is memory used again, where one canvas of the whole logo would be fresh memory that
    // costs more to take than the drawing in it.
    const int left = static_cast<int>(std::floor(42 * scale));
    const int top = static_cast<int>(std::floor(9 * scale));
    const int right = std::min(width, static_cast<int>(std::ceil(175 * scale)));
    const int bottom = std::min(height, static_cast<int>(std::ceil(63 * scale)));
    constexpr int kBandRows = 16;
    for (int bandTop = top; bandTop < bottom; bandTop += kBandRows) {
        Canvas band(left, bandTop, right - left, std::min(kBandRows, bottom - bandTop), scale);
        PaintStripes(band, scale);
        DrawVendorLogo(band);
        for (int y = bandTop; y < bandTop + band.Height(); ++y) {
            for (int x = left; x < right; ++x) {
                const Pixel& p = band.At(x, y);
                *at(x, y) = Pixel32({p.r, p.g, p.b});
            }
        }
    }
}

Canvas DrawProgramIcon(int size) {
    Canvas icon(size, size);
    const double k = size / 16.0;
    const double pen = 1.0 / k; // one pixel, in the 16-unit grid
    const Rgb outline = Rgb255(48, 48, 56);
    // Back to front: copies of one sheet turned about its lower left corner, so that the fan opens to the
    // upper left and shows the top edge of every sheet.
    const double left = 7, top = 5, right = 15, bottom = 15;
    const Point pivot{left, bottom};
    const struct {
        double angle;
        Rgb paper;
    } sheets[] = {{-28, Rgb255(206, 206, 212)}, {-14, Rgb255(230, 230, 236)}, {0, Rgb255(255, 255, 255)}};
    const auto scaled = [&](std::vector<Point> corners) {
        for (Point& p : corners)
            p = {p.x * k, p.y * k};
        return corners;
    };
    for (const auto& s : sheets) {
        icon.Fill(Polygon(scaled(RotatedRect(left, top, right, bottom, pivot, s.angle))), outline);
        icon.Fill(Polygon(scaled(RotatedRect(left + pen, top + pen, right - pen, bottom - pen, pivot, s.angle))),
                  [&](double, double y) { return Mix(s.paper, Mix(s.paper, outline, 0.2), y / size); });
    }
    // Four lines of text on the front sheet, on whole pixels so that they stay crisp at 16 pixels.
    const Rgb blue = Rgb255(0, 64, 224);
    const double lengths[] = {4, 3, 4, 2};
    for (int i = 0; i < 4; ++i) {
        const double y = top + 2 + 2 * i;
        const double x = left + 2;
        icon.Fill(Polygon(scaled({{x, y}, {x + lengths[i], y}, {x + lengths[i], y + 1}, {x, y + 1}})), blue);
    }
    return icon;
}

Canvas DrawLamp(bool lit, double scale) {
    Canvas lamp(Scaled(16, scale), Scaled(16, scale), scale);
    const Point centre{8, 8};
    const double rx = 6.1, ry = 4.1;
    lamp.Fill(Ellipse(centre, 7.5, 5.3), Rgb{});
    const auto radius = [&](double x, double y) { return std::hypot((x - centre.x) / rx, (y - centre.y) / ry); };
    Paint body;
    if (lit) {
        body = [&](double x, double y) {
            const double d = radius(x, y);
            const Rgb pale = Rgb255(224, 255, 224), bright = Rgb255(40, 255, 40), rim = Rgb255(0, 184, 0);
            return d < 0.4 ? Mix(pale, bright, d / 0.4) : Mix(bright, rim, (d - 0.4) / 0.6);
        };
    } else {
        body = [&](double x, double y) { return Mix(Rgb255(0, 104, 0), Rgb255(0, 52, 0), radius(x, y)); };
    }
    lamp.Fill(Ellipse(centre, rx, ry), body);
    // A small glint at the upper left, as on a domed lens.
    lamp.Fill(Ellipse({5.2, 5.6}, 1.6, 0.9), Rgb{1, 1, 1}, lit ? 0.7 : 0.3);
    return lamp;
}

int HandHotSpotX(double scale) {
    return static_cast<int>(std::floor(6.5 * scale));
}

int HandHotSpotY(double scale) {
    return static_cast<int>(std::floor(0.5 * scale));
}

IndexedImage DrawHandPointer(double scale) {
    // X outline, o hand, everything else transparent.
    static const char* const kRows[] = {
        ".....XXX............", //
        "....XoooX...........", //
        "....XoooX...........", //
        "....XoooX...........", //
        "....XoooX...........", //
        "....XoooX...........", //
        "....XoooXXXX........", //
        "....XoooXoooXXXX....", //
        "....XoooXoooXoooXXX.", //
        "....XoooXoooXoooXooX", //
        ".XX.XoooXoooXoooXooX", //
        "XooXXoooXoooXoooXooX", //
        "XoooXooooooooooooooX", //
        ".XoooooooooooooooooX", //
        ".XoooooooooooooooooX", //
        "..XooooooooooooooooX", //
        "..XooooooooooooooooX", //
        "...XoooooooooooooooX", //
        "...XooooooooooooooX.", //
        "....XooooooooooooX..", //
        "....XooooooooooooX..", //
        "....XXXXXXXXXXXXXX..", //
    };
    IndexedImage image;
    image.width = Scaled(32, scale);
    image.height = Scaled(32, scale);
    image.palette = {Rgb255(0, 0, 0),       Rgb255(128, 0, 0),   Rgb255(0, 128, 0),   Rgb255(128, 128, 0),
                     Rgb255(0, 0, 128),     Rgb255(128, 0, 128), Rgb255(0, 128, 128), Rgb255(192, 192, 192),
                     Rgb255(128, 128, 128), Rgb255(255, 0, 0),   Rgb255(0, 255, 0),   Rgb255(255, 255, 0),
                     Rgb255(0, 0, 255),     Rgb255(255, 0, 255), Rgb255(0, 255, 255), Rgb255(255, 255, 255)};
    const auto pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    image.indices.assign(pixels, 0);
    image.transparent.assign(pixels, true);
    for (int y = 0; y < image.height; ++y) {
        const size_t row = static_cast<size_t>(DesignPixel(y, scale));
        for (int x = 0; x < image.width; ++x) {
            const size_t column = static_cast<size_t>(DesignPixel(x, scale));
            const char cell = row < std::size(kRows) && column < std::strlen(kRows[row]) ? kRows[row][column] : '.';
            if (cell == '.')
                continue;
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x);
            image.indices[at] = cell == 'X' ? 0 : 15;
            image.transparent[at] = false;
        }
    }
    return image;
}

} // namespace tovira::art
