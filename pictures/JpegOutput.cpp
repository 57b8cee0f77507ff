// The kept part of a JPEG picture: each kept block's samples from its coefficients, the subsampled components
// interpolated, and the colours made from the components as the file's markers say.
#include "pictures/JpegParts.h"

#include <algorithm>

namespace tovira::jpeg {

namespace {

std::uint8_t Byte(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

std::uint32_t Rgb(int red, int green, int blue) {
    return static_cast<std::uint32_t>(red) << 16 | static_cast<std::uint32_t>(green) << 8 |
           static_cast<std::uint32_t>(blue);
}

// Colours from luminance and colour difference in fixed point with 16 fraction bits, each product looked up, as
// libjpeg computes them (and with them ImageMagick and most viewers).
class YCbCrTables {
public:
    YCbCrTables() {
        constexpr int kHalf = 1 << 15;
        const auto fix = [](double value) { return static_cast<int>(value * 65536 + 0.5); };
        for (std::size_t i = 0; i < 256; ++i) {
            const int c = static_cast<int>(i) - 128;
            redCr_[i] = (fix(1.402) * c + kHalf) >> 16;
            blueCb_[i] = (fix(1.772) * c + kHalf) >> 16;
            greenCr_[i] = -fix(0.71414) * c;
            greenCb_[i] = -fix(0.34414) * c + kHalf;
        }
    }
    std::array<int, 3> Colours(int y, std::size_t cb, std::size_t cr) const {
        return {Byte(y + redCr_[cr]), Byte(y + ((greenCb_[cb] + greenCr_[cr]) >> 16)), Byte(y + blueCb_[cb])};
    }
    std::uint32_t Rgb(int y, std::size_t cb, std::size_t cr) const {
        const auto [r, g, b] = Colours(y, cb, cr);
        return jpeg::Rgb(r, g, b);
    }

private:
    std::array<int, 256> redCr_{};
    std::array<int, 256> blueCb_{};
    std::array<int, 256> greenCr_{};
    std::array<int, 256> greenCb_{};
};

enum class ColourKind { Grey, Rgb, YCbCr, Ink };

ColourKind KindOf(const Frame& frame, const ColourModel& model) {
    const auto& components = frame.components;
    switch (components.size()) {
    case 1:
        return ColourKind::Grey;
    case 3:
        // JFIF's marker wins over Adobe's, as in libjpeg and the viewers built on it.
        if (model.jfif) {
            return ColourKind::YCbCr;
        }
        return model.adobeTransform == 0 || (model.adobeTransform < 0 && components[0].id == 'R' &&
                                             components[1].id == 'G' && components[2].id == 'B')
                   ? ColourKind::Rgb
                   : ColourKind::YCbCr;
    default:
        return ColourKind::Ink;
    }
}

std::uint32_t InkColour(const ColourModel& model, const YCbCrTables& tables, std::array<int, 4> ink) {
    // Ink amounts; Adobe's files store them inverted, and with transform 2 as luminance and colour difference.
    if (model.adobeTransform == 2) {
        const auto [r, g, b] =
            tables.Colours(ink[0], static_cast<std::size_t>(ink[1]), static_cast<std::size_t>(ink[2]));
        ink = {255 - r, 255 - g, 255 - b, ink[3]};
    }
    if (model.adobeTransform >= 0) {
        for (int& value : ink) {
            value = 255 - value;
        }
    }
    const auto paper = [&](int amount) { return (255 - amount) * (255 - ink[3]) / 255; };
    return Rgb(paper(ink[0]), paper(ink[1]), paper(ink[2]));
}

// One row of pixels from the components' values at them, a loop for each colour kind.
void ColourRow(ColourKind kind, const ColourModel& model, const YCbCrTables& tables,
               const std::array<const std::uint8_t*, 4>& s, std::uint32_t* out, std::size_t width) {
    switch (kind) {
    case ColourKind::Grey:
        for (std::size_t x = 0; x < width; ++x) {
            out[x] = s[0][x] * 0x010101u;
        }
        break;
    case ColourKind::Rgb:
        for (std::size_t x = 0; x < width; ++x) {
            out[x] = Rgb(s[0][x], s[1][x], s[2][x]);
        }
        break;
    case ColourKind::YCbCr:
        for (std::size_t x = 0; x < width; ++x) {
            out[x] = tables.Rgb(s[0][x], s[1][x], s[2][x]);
        }
        break;
    case ColourKind::Ink:
        for (std::size_t x = 0; x < width; ++x) {
            out[x] = InkColour(model, tables, {s[0][x], s[1][x], s[2][x], s[3][x]});
        }
        break;
    }
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

// A plane's values at the pixels of one target row: a full plane's own row, or the interpolated values in `out`.
const std::uint8_t* PlaneRow(const Plane& p, const Frame& frame, int y, std::vector<std::uint8_t>& out) {
    if (p.full) {
        return p.samples.data() + static_cast<std::size_t>(y) * p.stride;
    }
    const int fullAcross = 2 * frame.maxH;
    const int fullDown = 2 * frame.maxV;
    const auto scale = static_cast<std::uint32_t>(fullAcross * fullDown);
    // Dividing by the scale (at most 64) as a multiplication: exact for every sum below 2^26, and these stay
    // below 2^15.
    const std::uint64_t reciprocal = (std::uint64_t{1} << 32) / scale + 1;
    const Taps& down = p.down[static_cast<std::size_t>(y)];
    for (std::size_t x = 0; x < out.size(); ++x) {
        const Taps& across = p.across[x];
        const int upper = p.At(across.first, down.first) * (fullAcross - across.weight) +
                          p.At(across.second, down.first) * across.weight;
        const int lower = p.At(across.first, down.second) * (fullAcross - across.weight) +
                          p.At(across.second, down.second) * across.weight;
        const auto sum = static_cast<std::uint32_t>(upper * (fullDown - down.weight) + lower * down.weight) + scale / 2;
        out[x] = static_cast<std::uint8_t>(sum * reciprocal >> 32);
    }
    return out.data();
}

} // namespace

void WritePixels(Frame& frame, const ColourModel& model, const PixelTarget& target) {
    std::vector<Plane> planes;
    for (Component& c : frame.components) {
        planes.push_back(MakePlane(c, frame, target));
    }
    const ColourKind kind = KindOf(frame, model);
    const YCbCrTables tables;
    const auto width = static_cast<std::size_t>(target.width);
    std::vector<std::vector<std::uint8_t>> buffers(planes.size(), std::vector<std::uint8_t>(width));
    std::array<const std::uint8_t*, 4> rows{};
    for (int y = 0; y < target.height; ++y) {
        for (std::size_t i = 0; i < planes.size(); ++i) {
            rows[i] = PlaneRow(planes[i], frame, y, buffers[i]);
        }
        ColourRow(kind, model, tables, rows, target.pixels + static_cast<std::size_t>(y) * width, width);
    }
}

} // namespace tovira::jpeg
