#include "art/Artwork.h"

#include "art/StrokeFont.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <numbers>
#include <utility>

namespace tovira::art {
namespace {

// One fill of a picture: a shape, its solid colour or else a paint that varies across it, and how opaque it is.
struct Layer {
    Layer(Shape filled, Rgb solid, double opaque = 1.0) : shape(std::move(filled)), colour(solid), opacity(opaque) {}
    Layer(Shape filled, Paint varying) : shape(std::move(filled)), paint(std::move(varying)) {}

    Shape shape;
    Rgb colour;
    double opacity = 1.0;
    Paint paint;
};

// Two opposite light wedges on the disc, as a shiny disc reflects a lamp above and to the left of it. Each lies
// inside a triangle from the centre a degree wider on both sides, whose spans spare the samples elsewhere the test.
Shape Sheen(Point centre) {
    const auto cone = [&](double from, double to) {
        const auto towards = [&](double degrees) {
            const double a = degrees * std::numbers::pi / 180.0;
            return Point{centre.x + 30 * std::cos(a), centre.y + 30 * std::sin(a)};
        };
        return Polygon({centre, towards(from - 1), towards(to + 1)});
    };
    const Shape ring = Minus(Ellipse(centre, 21.5, 21.5), Ellipse(centre, 9.5, 9.5));
    return Intersect(Intersect(Union({cone(-151, -119), cone(35, 55)}), ring), [centre](double x, double y) {
        if ((x - centre.x) * (y - centre.y) <= 0) {
            return false; // both wedges lie where x and y grow together, spared the arc tangent
        }
        const double degrees = std::atan2(y - centre.y, x - centre.x) * 180.0 / std::numbers::pi;
        return std::abs(degrees + 135) < 16 || std::abs(degrees - 45) < 10;
    });
}

// The vendor's logo over the panel's stripes, fill by fill: a disc and the name.
using Logo = std::array<Layer, 9>;

Logo VendorLogo() {
    const Rgb white{1, 1, 1};
    const Rgb blueViolet = Rgb255(138, 43, 226);
    const Rgb indigo = Rgb255(58, 18, 128);
    const Rgb lavender = Rgb255(222, 208, 255);
    const Point centre{67, 35};
    const Shape hole = Ellipse(centre, 4.5, 4.5);
    // Faint grooves and a light sheen make the disc read as a recorded medium rather than a dot.
    const auto groove = [&](double radius) -> Layer {
        return {Minus(Ellipse(centre, radius + 0.5, radius + 0.5), Ellipse(centre, radius - 0.5, radius - 0.5)), indigo,
                0.55};
    };
    const Lettering name{26, 5.5, 2.5};
    const Lettering tagline{7.5, 1.5, 2.2};
    const double taglineLeft = 98 + (TextWidth("QEV", name) - TextWidth("SYSTEMS", tagline)) / 2;
    return {{
        {Minus(Ellipse(centre, 23, 23), hole),
         [=](double x, double y) { return Mix(blueViolet, indigo, ((x - 44) + (y - 12)) / 92.0); }},
        groove(12.5),
        groove(15.5),
        groove(18.5),
        {Sheen(centre), white, 0.32},
        {Minus(Ellipse(centre, 8.5, 8.5), hole), lavender},
        {Minus(Ellipse(centre, 5.5, 5.5), hole), blueViolet},
        {TextShape("QEV", name, {98, 43}), white},
        {TextShape("SYSTEMS", tagline, {taglineLeft, 56}), Rgb255(176, 128, 255)},
    }};
}

Box BoundsOf(const Logo& layers) {
    Box bounds = layers.at(0).shape.bounds;
    for (const Layer& layer : layers) {
        bounds = Hull(bounds, layer.shape.bounds);
    }
    return bounds;
}

void Draw(const Logo& layers, Canvas& canvas) {
    for (const Layer& layer : layers) {
        if (layer.paint) {
            canvas.Fill(layer.shape, layer.paint, layer.opacity);
        } else {
            canvas.Fill(layer.shape, layer.colour, layer.opacity);
        }
    }
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

// The panel's ground: every third row of design pixels dark blue, the rest black.
Rgb StripeColour(int y, const PixelScale& scale) {
    return scale.DesignPixelAt(y) % 3 == 1 ? Rgb255(0, 64, 128) : Rgb{};
}

// Stripes on the part of the panel that a canvas covers.
void PaintStripes(Canvas& canvas, const PixelScale& scale) {
    for (int y = canvas.Top(); y < canvas.Top() + canvas.Height(); ++y) {
        const Rgb colour = StripeColour(y, scale);
        for (int x = canvas.Left(); x < canvas.Left() + canvas.Width(); ++x) {
            canvas.Set(x, y, colour);
        }
    }
}

// An opaque colour as a 32-bit bitmap holds it, 0x00RRGGBB, each channel rounded as the generator's files have it.
std::uint32_t Pixel32(Rgb c) {
    return std::uint32_t{ChannelByte(c.r)} << 16 | ChannelByte(c.g) << 8 | ChannelByte(c.b);
}

} // namespace

PanelSize MenuPanelSize(const PixelScale& scale) {
    return {scale.ScreenPixels(211), scale.ScreenPixels(412)};
}

// The stripes need no canvas. The logo is drawn a band of rows at a time: every pixel comes out as from one canvas,
// and the band's small canvas is memory used again, where one canvas of the whole logo would be fresh memory that
// costs more to take than the drawing in it.
void DrawMenuPanel(const PixelScale& scale, std::uint32_t* pixels) {
    const PanelSize size = MenuPanelSize(scale);
    const auto at = [&](int x, int y) {
        return pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(size.width) +
               static_cast<std::size_t>(x);
    };
    for (int y = 0; y < size.height; ++y) {
        std::fill_n(at(0, y), size.width, Pixel32(StripeColour(y, scale)));
    }
    const Logo logo = VendorLogo();
    PixelBox area = TouchedPixels(BoundsOf(logo), scale);
    area = {std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, size.width),
            std::min(area.bottom, size.height)};
    constexpr int kBandRows = 16;
    for (int bandTop = area.top; bandTop < area.bottom; bandTop += kBandRows) {
        Canvas band(area.left, bandTop, area.right - area.left, std::min(kBandRows, area.bottom - bandTop), scale);
        PaintStripes(band, scale);
        Draw(logo, band);
        for (int y = bandTop; y < bandTop + band.Height(); ++y) {
            for (int x = area.left; x < area.right; ++x) {
                const Pixel& p = band.At(x, y);
                *at(x, y) = Pixel32({p.r, p.g, p.b});
            }
        }
    }
}

Pixels24 DrawMenuPanel(const PixelScale& scale) {
    const PanelSize size = MenuPanelSize(scale);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height));
    DrawMenuPanel(scale, pixels.data());
    Pixels24 picture{size.width, size.height, {}};
    picture.bgr.reserve(pixels.size() * 3);
    for (const std::uint32_t pixel : pixels) {
        for (const int shift : {0, 8, 16}) {
            picture.bgr.push_back(static_cast<std::uint8_t>(pixel >> shift));
        }
    }
    return picture;
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
        for (Point& p : corners) {
            p = {p.x * k, p.y * k};
        }
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

Canvas DrawLamp(bool lit, const PixelScale& scale) {
    Canvas lamp(scale.ScreenPixels(16), scale.ScreenPixels(16), scale);
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

int HandHotSpotX(const PixelScale& scale) {
    return scale.ScreenPixelAt(6.5);
}

int HandHotSpotY(const PixelScale& scale) {
    return scale.ScreenPixelAt(0.5);
}

IndexedImage DrawHandPointer(const PixelScale& scale) {
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
    image.width = scale.ScreenPixels(32);
    image.height = scale.ScreenPixels(32);
    image.palette = {Rgb255(0, 0, 0),       Rgb255(128, 0, 0),   Rgb255(0, 128, 0),   Rgb255(128, 128, 0),
                     Rgb255(0, 0, 128),     Rgb255(128, 0, 128), Rgb255(0, 128, 128), Rgb255(192, 192, 192),
                     Rgb255(128, 128, 128), Rgb255(255, 0, 0),   Rgb255(0, 255, 0),   Rgb255(255, 255, 0),
                     Rgb255(0, 0, 255),     Rgb255(255, 0, 255), Rgb255(0, 255, 255), Rgb255(255, 255, 255)};
    const auto pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    image.indices.assign(pixels, 0);
    image.transparent.assign(pixels, true);
    for (int y = 0; y < image.height; ++y) {
        const size_t row = static_cast<size_t>(scale.DesignPixelAt(y));
        for (int x = 0; x < image.width; ++x) {
            const size_t column = static_cast<size_t>(scale.DesignPixelAt(x));
            const char cell = row < std::size(kRows) && column < std::strlen(kRows[row]) ? kRows[row][column] : '.';
            if (cell == '.') {
                continue;
            }
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x);
            image.indices[at] = cell == 'X' ? 0 : 15;
            image.transparent[at] = false;
        }
    }
    return image;
}

} // namespace tovira::art
