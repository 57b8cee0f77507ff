#include "art/Raster.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <utility>

namespace tovira::art {

Rgb Mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Rounded half away from zero, as lround does, without a call into the C library for each channel of each pixel:
// the whole part and the fraction of a number from 0 to 255 are both exact.
std::uint8_t ChannelByte(double channel) {
    const double scaled = std::clamp(channel, 0.0, 1.0) * 255.0;
    const auto whole = static_cast<int>(scaled);
    return static_cast<std::uint8_t>(scaled - whole >= 0.5 ? whole + 1 : whole);
}

Rgb Rgb255(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}

namespace {

// Spans are widened by this much so that rounding in their arithmetic never drops a sample that the exact
// test would take.
constexpr double kSlack = 1e-6;

// The span from left to right, narrowed and widened by the slack.
void Add(LineSpans& out, double left, double right) {
    out.maybe.push_back({left - kSlack, right + kSlack});
    if (left + kSlack < right - kSlack) {
        out.surely.push_back({left + kSlack, right - kSlack});
    }
}

// Sorted by their left ends, overlapping spans joined, in place: a fill does this for every row of samples.
void Merge(Spans& spans) {
    std::sort(spans.begin(), spans.end(), [](Span a, Span b) { return a.left < b.left; });
    size_t kept = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        if (kept > 0 && spans[i].left <= spans[kept - 1].right) {
            spans[kept - 1].right = std::max(spans[kept - 1].right, spans[i].right);
        } else {
            spans[kept++] = spans[i];
        }
    }
    spans.resize(kept);
}

// Adds to out the parts of `from` outside every span of `holes`, which are merged.
void AddWithout(const Spans& from, const Spans& holes, Spans& out) {
    for (const Span& s : from) {
        double left = s.left;
        for (const Span& h : holes) {
            if (h.left >= s.right) {
                break;
            }
            if (h.right <= left) {
                continue;
            }
            if (h.left > left) {
                out.push_back({left, h.left});
            }
            left = std::max(left, h.right);
        }
        if (left < s.right) {
            out.push_back({left, s.right});
        }
    }
}

// Span lists lent for the working of one row of samples, so that a fill's many rows reuse their memory instead of
// asking the heap each time, which costs most of the drawing's time under Wine. A stack of them, since shapes
// nest; a deque, so that the lists lent out stay in place while deeper ones are added.
class Scratch {
public:
    Scratch() : depth_(Depth()++) {
        auto& pool = Pool();
        if (pool.size() <= depth_) {
            pool.emplace_back();
        }
        for (LineSpans& lines : pool[depth_]) {
            lines.maybe.clear();
            lines.surely.clear();
        }
    }
    ~Scratch() { --Depth(); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    LineSpans& operator[](size_t i) { return Pool()[depth_][i]; }

private:
    static std::deque<std::array<LineSpans, 2>>& Pool() {
        thread_local std::deque<std::array<LineSpans, 2>> pool;
        return pool;
    }
    static size_t& Depth() {
        thread_local size_t depth = 0;
        return depth;
    }

    size_t depth_;
};

// The stretch of the line at height y within `half` of the segment from a to b: the segment's round ends
// and the band beside it, which together make up the convex stroke, so their hull is the answer.
void AddStrokeSegment(LineSpans& out, Point a, Point b, double half, double y) {
    double left = std::numeric_limits<double>::infinity(), right = -left;
    const auto take = [&](double l, double r) {
        if (l <= r) {
            left = std::min(left, l);
            right = std::max(right, r);
        }
    };
    for (const Point& end : {a, b}) {
        const double dy = y - end.y;
        if (dy * dy <= half * half) {
            const double reach = std::sqrt(half * half - dy * dy);
            take(end.x - reach, end.x + reach);
        }
    }
    const double vx = b.x - a.x, vy = b.y - a.y, length2 = vx * vx + vy * vy;
    if (vy == 0) {
        if (length2 > 0 && std::abs(y - a.y) <= half) {
            take(std::min(a.x, b.x), std::max(a.x, b.x));
        }
    } else {
        const double offset = half * std::sqrt(length2);
        const double u = a.x + ((y - a.y) * vx - offset) / vy, v = a.x + ((y - a.y) * vx + offset) / vy;
        if (vx != 0) {
            const double p = a.x - (y - a.y) * vy / vx, q = a.x + (length2 - (y - a.y) * vy) / vx;
            take(std::max(std::min(u, v), std::min(p, q)), std::min(std::max(u, v), std::max(p, q)));
        } else if ((y - a.y) * vy >= 0 && (y - a.y) * vy <= length2) {
            take(std::min(u, v), std::max(u, v));
        }
    }
    if (left <= right) {
        Add(out, left, right);
    }
}

// Where a part of the shape may lie, nothing sure: for an intersection, whose other part decides.
std::function<void(double, LineSpans&)> MaybeOnly(const Shape& shape) {
    return [spans = shape.spans](double y, LineSpans& out) {
        Scratch scratch;
        spans(y, scratch[0]);
        out.maybe.insert(out.maybe.end(), scratch[0].maybe.begin(), scratch[0].maybe.end());
    };
}

Box BoundsOf(const std::vector<Point>& points, double margin) {
    Box box{points.at(0).x, points.at(0).y, points.at(0).x, points.at(0).y};
    for (const Point& p : points) {
        box = Hull(box, {p.x, p.y, p.x, p.y});
    }
    return {box.left - margin, box.top - margin, box.right + margin, box.bottom + margin};
}

} // namespace

Box Hull(const Box& a, const Box& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// From the pixel that holds the near edges of the bounds through one pixel beyond the one that holds the far edges.
PixelBox TouchedPixels(const Box& bounds, const PixelScale& scale) {
    const double factor = scale.Factor();
    return {scale.ScreenPixelAt(bounds.left), scale.ScreenPixelAt(bounds.top),
            static_cast<int>(std::ceil(bounds.right * factor)) + 1,
            static_cast<int>(std::ceil(bounds.bottom * factor)) + 1};
}

Shape Ellipse(Point centre, double rx, double ry) {
    return {[=](double x, double y) {
                const double dx = (x - centre.x) / rx;
                const double dy = (y - centre.y) / ry;
                return dx * dx + dy * dy <= 1.0;
            },
            {centre.x - rx, centre.y - ry, centre.x + rx, centre.y + ry},
            [=](double y, LineSpans& out) {
                const double dy = (y - centre.y) / ry;
                if (dy * dy <= 1.0) {
                    const double half = rx * std::sqrt(1.0 - dy * dy);
                    Add(out, centre.x - half, centre.x + half);
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
                    if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) {
                        inside = !inside;
                    }
                }
                return inside;
            },
            bounds,
            [corners = std::move(corners)](double y, LineSpans& out) {
                thread_local std::vector<double> crossings; // no shape nests inside a polygon's row
                crossings.clear();
                for (size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
                    const Point& a = corners[i];
                    const Point& b = corners[j];
                    if ((a.y > y) != (b.y > y)) {
                        crossings.push_back((b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x);
                    }
                }
                std::sort(crossings.begin(), crossings.end());
                for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
                    Add(out, crossings[i], crossings[i + 1]);
                }
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
                    if (dx * dx + dy * dy <= limit) {
                        return true;
                    }
                }
                return false;
            },
            bounds,
            [polyline = std::move(polyline), half](double y, LineSpans& out) {
                for (size_t i = 0; i < polyline.size(); ++i) {
                    AddStrokeSegment(out, polyline[i], i + 1 < polyline.size() ? polyline[i + 1] : polyline[i], half,
                                     y);
                }
            }};
}

Shape Union(std::vector<Shape> shapes) {
    Box bounds = shapes.at(0).bounds;
    for (const Shape& s : shapes) {
        bounds = Hull(bounds, s.bounds);
    }
    return {[shapes](double x, double y) {
                return std::any_of(shapes.begin(), shapes.end(), [&](const Shape& s) { return s(x, y); });
            },
            bounds,
            [shapes](double y, LineSpans& out) {
                for (const Shape& s : shapes) {
                    s.spans(y, out);
                }
            }};
}

Shape Minus(Shape shape, Shape hole) {
    const Box bounds = shape.bounds;
    return {[=](double x, double y) { return shape(x, y) && !hole(x, y); }, bounds,
            [=](double y, LineSpans& out) {
                Scratch scratch;
                LineSpans &outer = scratch[0], &inner = scratch[1];
                shape.spans(y, outer);
                hole.spans(y, inner);
                Merge(inner.surely);
                Merge(inner.maybe);
                AddWithout(outer.maybe, inner.surely, out.maybe);
                AddWithout(outer.surely, inner.maybe, out.surely);
            }};
}

Shape Intersect(Shape a, Shape b) {
    const Box bounds{std::max(a.bounds.left, b.bounds.left), std::max(a.bounds.top, b.bounds.top),
                     std::min(a.bounds.right, b.bounds.right), std::min(a.bounds.bottom, b.bounds.bottom)};
    return {[=](double x, double y) { return a(x, y) && b(x, y); }, bounds, MaybeOnly(a)};
}

Shape Intersect(Shape a, std::function<bool(double x, double y)> condition) {
    const Box bounds = a.bounds;
    return {[=](double x, double y) { return a(x, y) && condition(x, y); }, bounds, MaybeOnly(a)};
}

// 8 x 8 samples a pixel at 100 %; at larger scales no fewer samples a design unit than that, and at least
// 4 x 4 a pixel, so that edges stay as smooth while a scaled picture costs about what the original does.
Canvas::Canvas(int width, int height, PixelScale scale) : Canvas(0, 0, width, height, scale) {}

Canvas::Canvas(int left, int top, int width, int height, PixelScale scale)
    : left_(left), top_(top), width_(width), height_(height), scale_(scale),
      samples_(std::max(4, static_cast<int>(std::ceil(8 / scale.Factor() - 1e-9)))),
      pixels_(static_cast<size_t>(width) * static_cast<size_t>(height)) {}

void Canvas::Set(int x, int y, Rgb colour) {
    pixels_[Index(x, y)] = {colour.r, colour.g, colour.b, 1.0};
}

// A template, so that a solid colour costs no call a sample.
template <typename PaintAt> void Canvas::FillWith(const Shape& shape, const PaintAt& paint, double opacity) {
    const PixelBox touched = TouchedPixels(shape.bounds, scale_);
    const int x0 = std::max(touched.left, left_);
    const int y0 = std::max(touched.top, top_);
    const int x1 = std::min(touched.right, left_ + width_);
    const int y1 = std::min(touched.bottom, top_ + height_);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    const double factor = scale_.Factor();
    const double perUnit = samples_ * factor;
    std::vector<Pixel> sums(static_cast<size_t>(x1 - x0));
    LineSpans line;
    for (int y = y0; y < y1; ++y) {
        std::fill(sums.begin(), sums.end(), Pixel{});
        // Row by row of samples and left to right, as a plain loop over every sample would add them up.
        for (int sy = 0; sy < samples_; ++sy) {
            const double py = (y + (sy + 0.5) / samples_) / factor;
            line.maybe.clear();
            line.surely.clear();
            shape.spans(py, line);
            Merge(line.maybe);
            Merge(line.surely);
            const Spans& maybe = line.maybe;
            const Spans& surely = line.surely;
            size_t sure = 0;
            for (const Span& span : maybe) {
                const int first = std::max(x0 * samples_, static_cast<int>(std::ceil(span.left * perUnit - 0.5)));
                const int last = std::min(x1 * samples_ - 1, static_cast<int>(std::floor(span.right * perUnit - 0.5)));
                for (int column = first; column <= last; ++column) {
                    const int x = column / samples_, sx = column % samples_;
                    const double px = (x + (sx + 0.5) / samples_) / factor;
                    while (sure < surely.size() && surely[sure].right < px) {
                        ++sure;
                    }
                    if (!(sure < surely.size() && surely[sure].left <= px) && !shape(px, py)) {
                        continue;
                    }
                    const Rgb c = paint(px, py);
                    Pixel& sum = sums[static_cast<size_t>(x - x0)];
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                    sum.a += 1.0;
                }
            }
        }
        Blend(y, x0, sums, opacity);
    }
}

void Canvas::Blend(int y, int x0, const std::vector<Pixel>& sums, double opacity) {
    for (int x = x0; x < x0 + static_cast<int>(sums.size()); ++x) {
        const Pixel& sum = sums[static_cast<size_t>(x - x0)];
        if (sum.a == 0) {
            continue;
        }
        const double share = opacity / (samples_ * samples_);
        const double coverage = sum.a * share;
        Pixel& p = pixels_[Index(x, y)];
        p.r = sum.r * share + p.r * (1 - coverage);
        p.g = sum.g * share + p.g * (1 - coverage);
        p.b = sum.b * share + p.b * (1 - coverage);
        p.a = coverage + p.a * (1 - coverage);
    }
}

void Canvas::Fill(const Shape& shape, const Paint& paint, double opacity) {
    FillWith(shape, paint, opacity);
}

void Canvas::Fill(const Shape& shape, Rgb colour, double opacity) {
    FillWith(
        shape, [colour](double, double) { return colour; }, opacity);
}

Rgb Canvas::Colour(int x, int y) const {
    const Pixel& p = At(x, y);
    if (p.a <= 0) {
        return {};
    }
    return {p.r / p.a, p.g / p.a, p.b / p.a};
}

Pixels24 OpaquePixels(const Canvas& canvas) {
    Pixels24 picture{
        canvas.Width(), canvas.Height(),
        std::vector<std::uint8_t>(static_cast<size_t>(canvas.Width()) * static_cast<size_t>(canvas.Height()) * 3)};
    auto out = picture.bgr.begin();
    for (int y = canvas.Top(); y < canvas.Top() + canvas.Height(); ++y) {
        for (int x = canvas.Left(); x < canvas.Left() + canvas.Width(); ++x) {
            const Pixel& p = canvas.At(x, y);
            *out++ = ChannelByte(p.b);
            *out++ = ChannelByte(p.g);
            *out++ = ChannelByte(p.r);
        }
    }
    return picture;
}

} // namespace tovira::art
