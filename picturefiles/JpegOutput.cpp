// The kept part of a JPEG picture: each kept block's samples from its coefficients, the subsampled components
// interpolated, and the colours made from the components as the file's markers say.
#include "picturefiles/JpegParts.h"

#include <algorithm>
#include <bit>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

#ifdef __SSE2__
// Eight pixels as 0x00RRGGBB from their channels in the low bytes of three registers.
void StorePixels(__m128i red, __m128i green, __m128i blue, std::uint32_t* out) {
    const __m128i blueGreen = _mm_unpacklo_epi8(blue, green);
    const __m128i redZero = _mm_unpacklo_epi8(red, _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(blueGreen, redZero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(blueGreen, redZero));
}

__m128i Load8(const std::uint8_t* samples) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples));
}

// (pairs . weights + 2^15) >> 16 for eight interleaved pairs of 16-bit values, as 16-bit values.
__m128i Product(__m128i lowPairs, __m128i highPairs, __m128i weights) {
    const __m128i half = _mm_set1_epi32(1 << 15);
    const __m128i low = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(lowPairs, weights), half), 16);
    const __m128i high = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(highPairs, weights), half), 16);
    return _mm_packs_epi32(low, high);
}

// Eight pixels from luminance and colour difference, to the bit the tables' values: each product with more than
// 16 bits is split into a whole multiple of 2^16, which the shift leaves whole, and a part that madd takes.
void YCbCrPixels(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint32_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i luminance = _mm_unpacklo_epi8(Load8(y), zero);
    const __m128i blueDifference = _mm_sub_epi16(_mm_unpacklo_epi8(Load8(cb), zero), centre);
    const __m128i redDifference = _mm_sub_epi16(_mm_unpacklo_epi8(Load8(cr), zero), centre);
    const __m128i low = _mm_unpacklo_epi16(blueDifference, redDifference);
    const __m128i high = _mm_unpackhi_epi16(blueDifference, redDifference);
    // 1.402 = 1 + 26345 / 2^16; 1.772 = 2 - 14942 / 2^16; green: -22554 Cb - 46802 Cr, -46802 = 18734 - 2^16.
    const __m128i red = _mm_add_epi16(_mm_add_epi16(luminance, redDifference),
                                      Product(low, high, _mm_set_epi16(26345, 0, 26345, 0, 26345, 0, 26345, 0)));
    const __m128i blue = _mm_add_epi16(_mm_add_epi16(luminance, _mm_add_epi16(blueDifference, blueDifference)),
                                       Product(low, high, _mm_set_epi16(0, -14942, 0, -14942, 0, -14942, 0, -14942)));
    const __m128i green =
        _mm_add_epi16(_mm_sub_epi16(luminance, redDifference),
                      Product(low, high, _mm_set_epi16(18734, -22554, 18734, -22554, 18734, -22554, 18734, -22554)));
    StorePixels(_mm_packus_epi16(red, red), _mm_packus_epi16(green, green), _mm_packus_epi16(blue, blue), out);
}
#endif

// One row of pixels from the components' values at them, a loop for each colour kind; eight pixels at a time
// where the processor has vector registers, the rest one by one.
void ColourRow(ColourKind kind, const ColourModel& model, const YCbCrTables& tables,
               const std::array<const std::uint8_t*, 4>& s, std::uint32_t* out, std::size_t width) {
    std::size_t x = 0;
#ifdef __SSE2__
    for (; x + 8 <= width && kind != ColourKind::Ink; x += 8) {
        if (kind == ColourKind::YCbCr) {
            YCbCrPixels(s[0] + x, s[1] + x, s[2] + x, out + x);
        } else {
            const bool rgb = kind == ColourKind::Rgb;
            StorePixels(Load8(s[0] + x), Load8((rgb ? s[1] : s[0]) + x), Load8((rgb ? s[2] : s[0]) + x), out + x);
        }
    }
#endif
    switch (kind) {
    case ColourKind::Grey:
        for (; x < width; ++x) {
            out[x] = s[0][x] * 0x010101u;
        }
        break;
    case ColourKind::Rgb:
        for (; x < width; ++x) {
            out[x] = Rgb(s[0][x], s[1][x], s[2][x]);
        }
        break;
    case ColourKind::YCbCr:
        for (; x < width; ++x) {
            out[x] = tables.Rgb(s[0][x], s[1][x], s[2][x]);
        }
        break;
    case ColourKind::Ink:
        for (; x < width; ++x) {
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
    Component* component = nullptr;
    std::size_t stride = 0;
    int heldRows = 0; // of samples: row r in place r % heldRows
    // A component with as many samples as pixels is taken as it is; the others through their taps.
    bool full = false;
    int wide = 0; // samples across that the taps reach
    std::vector<Taps> across;
    std::vector<Taps> down;
    // One target row's values between two sample rows, in fullDown times their scale, with one value more at each
    // end: the edge's, so that the loops need not clamp.
    std::vector<std::uint16_t> mixed;

    const std::uint8_t* Row(int row) const {
        return component->samples.data() + static_cast<std::size_t>(row % heldRows) * stride;
    }
    // The last sample row that a target row reads: the second of its two only where that one counts.
    int Needs(int y) const {
        const Taps& taps = down[static_cast<std::size_t>(y)];
        return taps.weight != 0 ? taps.second : taps.first;
    }
};

Plane MakePlane(Component& c, const Frame& frame, const PixelTarget& target) {
    Plane plane;
    plane.component = &c;
    plane.stride = c.Stride();
    plane.heldRows = c.heldBlockRows * 8;
    plane.full = c.h == frame.maxH && c.v == frame.maxV;
    plane.wide = std::min(c.keptWide * 8, (frame.width * c.h + frame.maxH - 1) / frame.maxH);
    const int high = std::min(c.keptHigh * 8, (frame.height * c.v + frame.maxV - 1) / frame.maxV);
    plane.across = TapsFor(target.width, c.h, frame.maxH, plane.wide);
    plane.down = TapsFor(target.height, c.v, frame.maxV, high);
    // Room for the values that the doubling loop reads, 16 at a time, for every pixel of the target's width.
    plane.mixed.resize(static_cast<std::size_t>(std::max(plane.wide, (target.width + 1) / 2)) + 2 + 16);
    return plane;
}

// Two sample rows mixed with the vertical weights: the first half of the separable interpolation, whose sums are
// the two-dimensional ones regrouped, so the same to the bit.
void MixRows(Plane& p, const std::uint8_t* upper, const std::uint8_t* lower, int upperWeight, int lowerWeight) {
    std::uint16_t* mixed = p.mixed.data() + 1;
    const auto wide = static_cast<std::size_t>(p.wide);
    std::size_t x = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i upperWeights = _mm_set1_epi16(static_cast<short>(upperWeight));
    const __m128i lowerWeights = _mm_set1_epi16(static_cast<short>(lowerWeight));
    for (; x + 8 <= wide; x += 8) {
        const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(Load8(upper + x), zero), upperWeights),
                                          _mm_mullo_epi16(_mm_unpacklo_epi8(Load8(lower + x), zero), lowerWeights));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mixed + x), sum);
    }
#endif
    for (; x < wide; ++x) {
        mixed[x] = static_cast<std::uint16_t>(upper[x] * upperWeight + lower[x] * lowerWeight);
    }
    std::fill(p.mixed.begin() + static_cast<std::ptrdiff_t>(wide) + 1, p.mixed.end(), mixed[wide - 1]);
    p.mixed[0] = mixed[0];
}

// A plane's values at the pixels of one target row: a full plane's own row, or the interpolated values in `out`.
const std::uint8_t* PlaneRow(Plane& p, const Frame& frame, int y, std::vector<std::uint8_t>& out) {
    if (p.full) {
        return p.Row(y);
    }
    const int fullAcross = 2 * frame.maxH;
    const int fullDown = 2 * frame.maxV;
    const auto scale = static_cast<std::uint32_t>(fullAcross * fullDown);
    const Taps& down = p.down[static_cast<std::size_t>(y)];
    MixRows(p, p.Row(down.first), p.Row(p.Needs(y)), fullDown - down.weight, down.weight);
    const std::uint16_t* mixed = p.mixed.data() + 1;
    std::size_t x = 0;
    const std::size_t width = out.size() - 16;
    // Half as many samples across as pixels, the commonest subsampling: pixel 2m lies a quarter of a sample after
    // sample m - 1's centre and pixel 2m + 1 a quarter before m + 1's, and the divisor is a power of two.
    if (fullAcross == 4 && p.across.size() > 1 && p.across[1].weight == 1 && (scale & (scale - 1)) == 0) {
        const int shift = std::countr_zero(scale);
#ifdef __SSE2__
        const __m128i half = _mm_set1_epi16(static_cast<short>(scale / 2));
        const __m128i shifts = _mm_cvtsi32_si128(shift);
        for (; x + 16 <= width; x += 16) {
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mixed + x / 2 - 1));
            const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mixed + x / 2));
            const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mixed + x / 2 + 1));
            const __m128i nearer = _mm_add_epi16(_mm_add_epi16(at, _mm_add_epi16(at, at)), half);
            const __m128i even = _mm_srl_epi16(_mm_add_epi16(nearer, before), shifts);
            const __m128i odd = _mm_srl_epi16(_mm_add_epi16(nearer, after), shifts);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out.data() + x),
                             _mm_packus_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd)));
        }
#endif
        for (; x < width; ++x) {
            const int m = static_cast<int>(x / 2);
            const int farther = mixed[x % 2 == 0 ? m - 1 : m + 1];
            out[x] = static_cast<std::uint8_t>((3 * mixed[m] + farther + static_cast<int>(scale / 2)) >> shift);
        }
        return out.data();
    }
    // Dividing by the scale (at most 64) as a multiplication: exact for every sum below 2^26, and these stay
    // below 2^15.
    const std::uint64_t reciprocal = (std::uint64_t{1} << 32) / scale + 1;
    for (; x < width; ++x) {
        const Taps& across = p.across[x];
        const auto sum = static_cast<std::uint32_t>(mixed[across.first] * (fullAcross - across.weight) +
                                                    mixed[across.second] * across.weight) +
                         scale / 2;
        out[x] = static_cast<std::uint8_t>(sum * reciprocal >> 32);
    }
    return out.data();
}

} // namespace

struct PixelWriter::Rows {
    Frame& frame;
    const PixelTarget& target;
    const ColourModel& model;
    const ColourKind kind;
    const YCbCrTables tables;
    std::vector<Plane> planes;
    // Each with room for the vector loops' last 16 values.
    std::vector<std::vector<std::uint8_t>> buffers;
    int next = 0; // the first target row not yet written

    Rows(Frame& f, const ColourModel& m, const PixelTarget& t) : frame(f), target(t), model(m), kind(KindOf(f, m)) {
        for (Component& c : frame.components) {
            planes.push_back(MakePlane(c, frame, target));
        }
        buffers.assign(planes.size(), std::vector<std::uint8_t>(static_cast<std::size_t>(target.width) + 16));
    }

    void Write(int groups) {
        std::array<int, 4> decoded{};
        for (std::size_t i = 0; i < planes.size(); ++i) {
            const Component& c = *planes[i].component;
            decoded[i] = static_cast<int>(std::min<std::int64_t>(std::int64_t{groups} * c.v, c.keptHigh) * 8);
        }
        const auto width = static_cast<std::size_t>(target.width);
        std::array<const std::uint8_t*, 4> rows{};
        for (; next < target.height; ++next) {
            for (std::size_t i = 0; i < planes.size(); ++i) {
                if (planes[i].Needs(next) >= decoded[i]) {
                    return;
                }
            }
            for (std::size_t i = 0; i < planes.size(); ++i) {
                rows[i] = PlaneRow(planes[i], frame, next, buffers[i]);
            }
            ColourRow(kind, model, tables, rows, target.pixels + static_cast<std::size_t>(next) * width, width);
        }
    }
};

PixelWriter::PixelWriter(Frame& frame, const ColourModel& model, const PixelTarget& target)
    : rows_(std::make_unique<Rows>(frame, model, target)) {}

PixelWriter::~PixelWriter() = default;

void PixelWriter::Write(int groups) {
    rows_->Write(groups);
}

void PixelWriter::WriteAll() {
    rows_->Write(std::numeric_limits<int>::max());
}

void PixelWriter::TransformAndWrite() {
    Frame& frame = rows_->frame;
    int groups = 0;
    for (const Component& c : frame.components) {
        groups = std::max(groups, (c.keptHigh + c.v - 1) / c.v);
    }
    for (int group = 0; group < groups; ++group) {
        for (Component& c : frame.components) {
            for (int by = group * c.v; by < std::min((group + 1) * c.v, c.keptHigh); ++by) {
                const Block* const row = c.KeptRow(by);
                for (int bx = 0; bx < c.keptWide; ++bx) {
                    InverseDct(row[bx], c.quant, c.Samples(bx, by), c.Stride());
                }
            }
        }
        rows_->Write(group + 1);
    }
    std::vector<Block>().swap(frame.keptStore);
    for (Component& c : frame.components) {
        c.groupBlocks = 0;
        std::vector<std::uint64_t>().swap(c.beyond);
    }
}

} // namespace tovira::jpeg
