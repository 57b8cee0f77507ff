#include "Raster.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tovira::tools {

Rgb Mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Rgb255(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}

namespace {

// Spans are widened by this much so that rounding in their arithmetic never drops a sample that the exact
// test would take.
constexpr double kSlack = 1e-6;

Box BoundsOf(const std::vector<Point>& points, double margin) {
    Box box{points.at(0).x, points.at(0).y, points.at(0).x, points.at(0).y};
    for (const Point& p : points) {
        box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x), std::max(box.bottom, p.y)};
    }
    return {box.left - margin, box.top - margin, box.right + margin, box.bottom + margin};
}

} // namespace

Shape Ellipse(Point centre, double rx, double ry) {
    return {[=](double x, double y) {
                const double dx = (x - centre.x) / rx;
                const double dy = (y - centre.y) / ry;
                return dx * dx + dy * dy <= 1.0;
            },
            {centre.x - rx, centre.y - ry, centre.x + rx, centre.y + ry},
            [=](double y, Spans& out) {
                const double dy = (y - centre.y) / ry;
                if (dy * dy <= 1.0) {
                    const double half = rx * std::sqrt(1.0 - dy * dy);
                    out.push_back({centre.x - half - kSlack, centre.x + half + kSlack});
                }
            }};
}

Shape Polygon(std::vector<Point> corners) {
    const Box bounds = BoundsOf(corners, 0);
    return {[corners](double x, double y) {
                bool inside = false;
                for (size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
                    const Point& a = corners[i];
                    const Point& b = corners[j];
                    if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
                        inside = !inside;
                }
                return inside;
            },
            bounds,
            [corners = std::move(corners)](double y, Spans& out) {
                std::vector<double> crossings;
                for (size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
                    const Point& a = corners[i];
                    const Point& b = corners[j];
                    if ((a.y > y) != (b.y > y))
                        crossings.push_back((b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x);
                }
                std::sort(crossings.begin(), crossings.end());
                for (size_t i = 0; i + 1 < crossings.size(); i += 2)
                    out.push_back({crossings[i] - kSlack, crossings[i + 1] + kSlack});
            }};
}

Shape Stroke(std::vector<Point> polyline, double width) {
    const double limit = width * width / 4.0;
    const Box bounds = BoundsOf(polyline, width / 2);
    const double half = width / 2;
    return {[polyline, limit](double x, double y) {
                for (size_t i = 0; i < polyline.size(); ++i) {
                    const Point& a = polyline[i];
                    const Point& b = i + 1 < polyline.size() ? polyline[i + 1] : a;
                    const double vx = b.x - a.x, vy = b.y - a.y;
                    const double length2 = vx * vx + vy * vy;
                    double t = length2 > 0 ? ((x - a.x) * vx + (y - a.y) * vy) / length2 : 0.0;
                    t = std::clamp(t, 0.0, 1.0);
                    const double dx = a.x + vx * t - x, dy = a.y + vy * t - y;
                    if (dx * dx + dy * dy <= limit)
                        return true;
                }
                return false;
            },
            bounds,
            [polyline = std::move(polyline), half](double y, Spans& out) {
                for (size_t i = 0; i < polyline.size(); ++i) {
                    const Point& a = polyline[i];
                    const Point& b = i + 1 < polyline.size() ? polyline[i + 1] : a;
                    if (y >= std::min(a.y, b.y) - half && y <= std::max(a.y, b.y) + half)
                        out.push_back({std::min(a.x, b.x) - half - kSlack, std::max(a.x, b.x) + half + kSlack});
                }
            }};
}

Shape Union(std::vector<Shape> shapes) {
    Box bounds = shapes.at(0).bounds;
    for (const Shape& s : shapes) {
        bounds = {std::min(bounds.left, s.bounds.left), std::min(bounds.top, s.bounds.top),
                  std::max(bounds.right, s.bounds.right), std::max(bounds.bottom, s.bounds.bottom)};
    }
    return {[shapes](double x, double y) {
                return std::any_of(shapes.begin(), shapes.end(), [&](const Shape& s) { return s(x, y); });
            },
            bounds,
            [shapes](double y, Spans& out) {
                for (const Shape& s : shapes)
                    s.spans(y, out);
            }};
}

Shape Minus(Shape shape, Shape hole) {
    const Box bounds = shape.bounds;
    return {[=](double x, double y) { return shape(x, y) && !hole(x, y); }, bounds, shape.spans};
}

Shape Intersect(Shape a, Shape b) {
    const Box bounds{std::max(a.bounds.left, b.bounds.left), std::max(a.bounds.top, b.bounds.top),
                     std::min(a.bounds.right, b.bounds.right), std::min(a.bounds.bottom, b.bounds.bottom)};
    return {[=](double x, double y) { return a(x, y) && b(x, y); }, bounds, a.spans};
}

Shape Intersect(Shape a, std::function<bool(double x, double y)> condition) {
    const Box bounds = a.bounds;
    return {[=](double x, double y) { return a(x, y) && condition(x, y); }, bounds, a.spans};
}

Paint Solid(Rgb colour) {
    return [=](double, double) { return colour; };
}

Canvas::Canvas(int width, int height, double scale)
    : width_(width), height_(height), scale_(scale), pixels_(static_cast<size_t>(width) * static_cast<size_t>(height)) {
}

void Canvas::Set(int x, int y, Rgb colour) {
    pixels_[Index(x, y)] = {colour.r, colour.g, colour.b, 1.0};
}

void Canvas::Fill(const Shape& shape, const Paint& paint, double opacity) {
    constexpr int kSamples = 8;
    const int x0 = std::max(static_cast<int>(std::floor(shape.bounds.left * scale_)), 0);
    const int y0 = std::max(static_cast<int>(std::floor(shape.bounds.top * scale_)), 0);
    const int x1 = std::min(static_cast<int>(std::ceil(shape.bounds.right * scale_)) + 1, width_);
    const int y1 = std::min(static_cast<int>(std::ceil(shape.bounds.bottom * scale_)) + 1, height_);
    if (x0 >= x1)
        return;
    const double perUnit = kSamples * scale_;
    std::vector<Pixel> sums(static_cast<size_t>(x1 - x0));
    Spans spans;
    for (int y = y0; y < y1; ++y) {
        std::fill(sums.begin(), sums.end(), Pixel{});
        // Row by row of samples and left to right, as a plain loop over every sample would add them up.
        for (int sy = 0; sy < kSamples; ++sy) {
            const double py = (y + (sy + 0.5) / kSamples) / scale_;
            spans.clear();
            shape.spans(py, spans);
            std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.left < b.left; });
            int next = x0 * kSamples; // the first sample column not yet visited in this sample row
            for (const Span& span : spans) {
                const int first = std::max(next, static_cast<int>(std::ceil(span.left * perUnit - 0.5)));
                const int last = std::min(x1 * kSamples - 1, static_cast<int>(std::floor(span.right * perUnit - 0.5)));
                for (int column = first; column <= last; ++column) {
                    const int x = column / kSamples, sx = column % kSamples;
                    const double px = (x + (sx + 0.5) / kSamples) / scale_;
                    if (!shape(px, py))
                        continue;
                    const Rgb c = paint(px, py);
                    Pixel& sum = sums[static_cast<size_t>(x - x0)];
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                    sum.a += 1.0;
                }
                next = std::max(next, last + 1);
            }
        }
        for (int x = x0; x < x1; ++x) {
            const Pixel& sum = sums[static_cast<size_t>(x - x0)];
            if (sum.a == 0)
                continue;
            const double share = opacity / (kSamples * kSamples);
            const double coverage = sum.a * share;
            Pixel& p = pixels_[Index(x, y)];
            p.r = sum.r * share + p.r * (1 - coverage);
            p.g = sum.g * share + p.g * (1 - coverage);
            p.b = sum.b * share + p.b * (1 - coverage);
            p.a = coverage + p.a * (1 - coverage);
        }
    }
}

Rgb Canvas::Colour(int x, int y) const {
    const Pixel& p = At(x, y);
    if (p.a <= 0)
        return {};
    return {p.r / p.a, p.g / p.a, p.b / p.a};
}

} // namespace tovira::tools
