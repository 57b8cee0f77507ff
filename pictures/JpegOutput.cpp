// The kept part of a JPEG picture: each kept block's samples from its coefficients, the subsampled components
// interpolated, and the colours made from the components as the file's markers say.
#include "pictures/JpegParts.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tovira::jpeg {

namespace {

// Rounded half away from zero as lround rounds, without a call into the C library for each sample: clamped
// first, the value is never negative.
std::uint8_t Clamp(double value) {
    const double clamped = std::clamp(value, 0.0, 255.0);
    const auto whole = static_cast<int>(clamped);
    return static_cast<std::uint8_t>(clamped - whole >= 0.5 ? whole + 1 : whole);
}

} // namespace

void InverseDct(const Block& block, const QuantTable& quant, std::uint8_t* out, std::size_t stride) {
    static const auto basis = [] {
        std::array<double, 64> table{};
        for (int x = 0; x < 8; ++x) {
            for (int u = 0; u < 8; ++u) {
                table[static_cast<std::size_t>(x * 8 + u)] =
                    (u == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * x + 1) * u * std::numbers::pi / 16);
            }
        }
        return table;
    }();
    // Terms of zero coefficients are left out: adding a zero product changes no sum, and most coefficients of a
    // photograph's blocks are zero.
    std::array<double, 64> rows{};
    std::array<bool, 8> rowUsed{};
    for (std::size_t v = 0; v < 8; ++v) {
        for (std::size_t u = 0; u < 8; ++u) {
            if (block[v * 8 + u] == 0) {
                continue;
            }
            rowUsed[v] = true;
            for (std::size_t x = 0; x < 8; ++x) {
                rows[v * 8 + x] += basis[x * 8 + u] * block[v * 8 + u] * quant[v * 8 + u];
            }
        }
    }
    for (std::size_t y = 0; y < 8; ++y) {
        for (std::size_t x = 0; x < 8; ++x) {
            double sum = 0;
            for (std::size_t v = 0; v < 8; ++v) {
                if (rowUsed[v]) {
                    sum += basis[y * 8 + v] * rows[v * 8 + x];
                }
            }
            out[y * stride + x] = Clamp(sum + 128);
        }
    }
}

namespace {

std::uint32_t Rgb(int red, int green, int blue) {
    return static_cast<std::uint32_t>(red) << 16 | static_cast<std::uint32_t>(green) << 8 |
           static_cast<std::uint32_t>(blue);
}

// Colours from luminance and colour difference, computed once for every value: red and blue depend on two samples
// each, so their bytes are looked up whole, and green on three, so its two products are. The same bytes as the
// sums worked out for each pixel, at a fraction of the time.
class YCbCrTables {
public:
    static const YCbCrTables& Get() {
        static const YCbCrTables tables;
        return tables;
    }
    std::array<int, 3> Rgb(int y, int cb, int cr) const {
        const auto at = static_cast<std::size_t>(y) << 8;
        return {red_[at | static_cast<std::size_t>(cr)],
                Clamp(y - greenCb_[static_cast<std::size_t>(cb)] - greenCr_[static_cast<std::size_t>(cr)]),
                blue_[at | static_cast<std::size_t>(cb)]};
    }

private:
    YCbCrTables() : red_(256 * 256), blue_(256 * 256) {
        for (int y = 0; y < 256; ++y) {
            for (int c = 0; c < 256; ++c) {
                red_[static_cast<std::size_t>(y << 8 | c)] = Clamp(y + 1.402 * (c - 128));
                blue_[static_cast<std::size_t>(y << 8 | c)] = Clamp(y + 1.772 * (c - 128));
            }
        }
        for (std::size_t c = 0; c < 256; ++c) {
            greenCb_[c] = 0.344136 * (static_cast<int>(c) - 128);
            greenCr_[c] = 0.714136 * (static_cast<int>(c) - 128);
        }
    }

    std::vector<std::uint8_t> red_;
    std::vector<std::uint8_t> blue_;
    std::array<double, 256> greenCb_{};
    std::array<double, 256> greenCr_{};
};

std::array<int, 3> FromYCbCr(int y, int cb, int cr) {
    return YCbCrTables::Get().Rgb(y, cb, cr);
}

enum class ColourKind { Grey, Rgb, YCbCr, Ink };

ColourKind KindOf(const Frame& frame, const ColourModel& model) {
    const auto& components = frame.components;
    switch (components.size()) {
    case 1:
        return ColourKind::Grey;
    case 3:
        return model.adobeTransform == 0 || (model.adobeTransform < 0 && !model.jfif && components[0].id == 'R' &&
                                             components[1].id == 'G' && components[2].id == 'B')
                   ? ColourKind::Rgb
                   : ColourKind::YCbCr;
    default:
        return ColourKind::Ink;
    }
}

std::uint32_t Colour(ColourKind kind, const ColourModel& model, const std::array<int, 4>& s) {
    switch (kind) {
    case ColourKind::Grey:
        return Rgb(s[0], s[0], s[0]);
    case ColourKind::Rgb:
        return Rgb(s[0], s[1], s[2]);
    case ColourKind::YCbCr: {
        const auto [r, g, b] = FromYCbCr(s[0], s[1], s[2]);
        return Rgb(r, g, b);
    }
    case ColourKind::Ink: {
        // Ink amounts; Adobe's files store them inverted, and with transform 2 as luminance and colour difference.
        std::array<int, 4> ink = s;
        if (model.adobeTransform == 2) {
            const auto [r, g, b] = FromYCbCr(s[0], s[1], s[2]);
            ink = {255 - r, 255 - g, 255 - b, s[3]};
        }
        if (model.adobeTransform >= 0) {
            for (int& value : ink) {
                value = 255 - value;
            }
        }
        const auto paper = [&](int amount) { return (255 - amount) * (255 - ink[3]) / 255; };
        return Rgb(paper(ink[0]), paper(ink[1]), paper(ink[2]));
    }
    }
    return 0;
}

// Where a shown pixel takes its value between the samples of a component with fewer samples than pixels: the
// samples sit at the centres of the pixels they cover, and the value is interpolated between the two nearest,
// as Windows' and libjpeg's decoders smooth a subsampled component.
struct Taps {
    int first;
    int second;
    int weight; // of the second, in 2 * full
};

std::vector<Taps> TapsFor(int pixels, int factor, int full, int samples) {
    std::vector<Taps> taps(static_cast<std::size_t>(pixels));
    for (int x = 0; x < pixels; ++x) {
        const int position = (2 * x + 1) * factor - full; // in 1 / (2 * full) of a sample
        const int below = position < 0 ? -1 : position / (2 * full);
        taps[static_cast<std::size_t>(x)] = {std::clamp(below, 0, samples - 1), std::clamp(below + 1, 0, samples - 1),
                                             position - below * 2 * full};
    }
    return taps;
}

struct Plane {
    std::vector<std::uint8_t> samples;
    std::size_t stride = 0;
    // A component with as many samples as pixels is taken as it is; the others through their taps.
    bool full = false;
    std::vector<Taps> across;
    std::vector<Taps> down;

    int At(int column, int row) const {
        return samples[static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(column)];
    }
};

Plane MakePlane(Component& c, const Frame& frame, const PixelTarget& target) {
    Plane plane;
    plane.stride = c.Stride();
    if (frame.progressive) {
        c.samples.resize(plane.stride * static_cast<std::size_t>(c.keptHigh) * 8);
        for (int by = 0; by < c.keptHigh; ++by) {
            for (int bx = 0; bx < c.keptWide; ++bx) {
                InverseDct(*c.Kept(bx, by), c.quant, c.Samples(bx, by), plane.stride);
            }
        }
        std::vector<Block>().swap(c.kept);
        std::vector<std::uint64_t>().swap(c.beyond);
    }
    plane.samples = std::move(c.samples);
    plane.full = c.h == frame.maxH && c.v == frame.maxV;
    const int wide = std::min(c.keptWide * 8, (frame.width * c.h + frame.maxH - 1) / frame.maxH);
    const int high = std::min(c.keptHigh * 8, (frame.height * c.v + frame.maxV - 1) / frame.maxV);
    plane.across = TapsFor(target.width, c.h, frame.maxH, wide);
    plane.down = TapsFor(target.height, c.v, frame.maxV, high);
    return plane;
}

// A plane's values at the pixels of one target row.
void PlaneRow(const Plane& p, const Frame& frame, int y, std::vector<int>& out) {
    if (p.full) {
        const std::uint8_t* row = p.samples.data() + static_cast<std::size_t>(y) * p.stride;
        std::copy(row, row + out.size(), out.begin());
        return;
    }
    const int fullAcross = 2 * frame.maxH;
    const int fullDown = 2 * frame.maxV;
    const int scale = fullAcross * fullDown;
    const Taps& down = p.down[static_cast<std::size_t>(y)];
    for (std::size_t x = 0; x < out.size(); ++x) {
        const Taps& across = p.across[x];
        const int upper = p.At(across.first, down.first) * (fullAcross - across.weight) +
                          p.At(across.second, down.first) * across.weight;
        const int lower = p.At(across.first, down.second) * (fullAcross - across.weight) +
                          p.At(across.second, down.second) * across.weight;
        out[x] = (upper * (fullDown - down.weight) + lower * down.weight + scale / 2) / scale;
    }
}

} // namespace

void WritePixels(Frame& frame, const ColourModel& model, const PixelTarget& target) {
    std::vector<Plane> planes;
    for (Component& c : frame.components) {
        planes.push_back(MakePlane(c, frame, target));
    }
    const ColourKind kind = KindOf(frame, model);
    std::vector<std::vector<int>> rows(planes.size(), std::vector<int>(static_cast<std::size_t>(target.width)));
    for (int y = 0; y < target.height; ++y) {
        for (std::size_t i = 0; i < planes.size(); ++i) {
            PlaneRow(planes[i], frame, y, rows[i]);
        }
        for (int x = 0; x < target.width; ++x) {
            std::array<int, 4> values{};
            for (std::size_t i = 0; i < planes.size(); ++i) {
                values[i] = rows[i][static_cast<std::size_t>(x)];
            }
            target.Put(x, y, Colour(kind, model, values));
        }
    }
}

} // namespace tovira::jpeg
