#pragma once

#include "art/PixelScale.h"
#include "art/RunLength.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tovira::art {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb Mix(Rgb a, Rgb b, double t);
// A channel from 0 to 1 as the byte that files and screens hold.
std::uint8_t ChannelByte(double channel);
Rgb Rgb255(int r, int g, int b);

struct Point {
    double x = 0, y = 0;
};

struct Box {
    double left = 0, top = 0, right = 0, bottom = 0;
    bool Contains(double x, double y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// The smallest box that holds both.
Box Hull(const Box& a, const Box& b);

// Screen pixels from (left, top) up to but not including (right, bottom).
struct PixelBox {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The pixels that a fill of a shape inside `bounds` may touch at a scale.
PixelBox TouchedPixels(const Box& bounds, const PixelScale& scale);

struct Span {
    double left = 0, right = 0;
};
using Spans = std::vector<Span>;

// Where a horizontal line crosses a shape: `maybe` is never narrower than the shape, so that testing only
// the samples inside it gives exactly what testing every sample would; `surely` is never wider, so that the
// samples inside it need no test at all.
struct LineSpans {
    Spans maybe;
    Spans surely;
};

// A region of the plane in design units, where at scale 1 pixel (i, j) covers [i, i+1) x [j, j+1); the
// bounds and the spans hold the whole region and spare the painter the samples outside it.
struct Shape {
    std::function<bool(double x, double y)> contains;
    Box bounds;
    std::function<void(double y, LineSpans& out)> spans;
    bool operator()(double x, double y) const { return bounds.Contains(x, y) && contains(x, y); }
};
using Paint = std::function<Rgb(double x, double y)>;

Shape Ellipse(Point centre, double rx, double ry);
Shape Polygon(std::vector<Point> corners);
Shape Stroke(std::vector<Point> polyline, double width);
Shape Union(std::vector<Shape> shapes);
Shape Minus(Shape shape, Shape hole);
Shape Intersect(Shape a, Shape b);
Shape Intersect(Shape a, std::function<bool(double x, double y)> condition);

// Premultiplied colour with coverage, so that pictures with a transparency mask can be drawn on an empty
// canvas and opaque ones on a filled background with the same code.
struct Pixel {
    double r = 0, g = 0, b = 0, a = 0;
};

// Shapes and paints are given in design units; a canvas draws them at a screen scale, as many pixels to the unit as
// the scale's factor, so the same drawing comes out sharp at every screen scale.
class Canvas {
public:
    Canvas(int width, int height, PixelScale scale = PixelScale());
    // A window of a larger picture: its pixels are those of the picture from (left, top) on, in the picture's
    // coordinates, and drawing touches nothing outside it.
    Canvas(int left, int top, int width, int height, PixelScale scale);

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    const Pixel& At(int x, int y) const { return pixels_[Index(x, y)]; }
    void Set(int x, int y, Rgb colour);

    // Covers each pixel by the share of its sample points inside the shape, painted with the paint taken at
    // those points.
    void Fill(const Shape& shape, const Paint& paint, double opacity = 1.0);
    void Fill(const Shape& shape, Rgb colour, double opacity = 1.0);

    // The colour a pixel shows on its own, undoing the premultiplication; black where nothing was drawn.
    Rgb Colour(int x, int y) const;
    bool Opaque(int x, int y) const { return At(x, y).a >= 0.5; }

private:
    template <typename PaintAt> void FillWith(const Shape& shape, const PaintAt& paint, double opacity);
    // Lays a row of pixels' summed samples, from x0 on, over what the canvas holds.
    void Blend(int y, int x0, const std::vector<Pixel>& sums, double opacity);
    size_t Index(int x, int y) const {
        return static_cast<size_t>(y - top_) * static_cast<size_t>(width_) + static_cast<size_t>(x - left_);
    }

    int left_ = 0;
    int top_ = 0;
    int width_;
    int height_;
    PixelScale scale_;
    int samples_; // a pixel's samples across and down
    std::vector<Pixel> pixels_;
};

// An opaque canvas as the bytes that screens and files hold, each channel rounded from its premultiplied value.
Pixels24 OpaquePixels(const Canvas& canvas);

} // namespace tovira::art
