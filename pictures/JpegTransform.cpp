// The inverse DCT of a JPEG block in integers: Loeffler, Ligtenberg and Moschytz's 8-point transform with 12
// multiplications, once down the columns and once along the rows, in fixed point with 13 fraction bits, laid out
// as libjpeg's accurate integer transform lays it out, so that the samples are the ones that ImageMagick and
// most viewers compute. No floating point: the 32-bit build would do it on the x87 unit.
#include "pictures/JpegParts.h"

#include <algorithm>

namespace tovira::jpeg {

namespace {

// Modular arithmetic: a hostile file's coefficients wrap around instead of overflowing; a picture's never come
// near the limits.
using Term = std::uint32_t;

constexpr int kFractionBits = 13;
// Bits of precision that the columns' results keep for the rows' transform.
constexpr int kColumnBits = 2;

constexpr Term Fix(double value) {
    return static_cast<Term>(static_cast<std::int32_t>(value * (1 << kFractionBits) + 0.5));
}

// x / 2^n rounded to nearest, as a signed value.
std::int32_t Descale(Term x, int n) {
    return static_cast<std::int32_t>(x + (Term{1} << (n - 1))) >> n;
}

// One 8-point transform; the results are scaled by 2^13 * sqrt(8). With `low`, the last four inputs are zero,
// as they mostly are, and left out: the same sums without their zero terms.
template <bool low> void Transform(const std::array<Term, 8>& in, std::array<Term, 8>& out) {
    const Term in4 = low ? 0 : in[4];
    const Term in6 = low ? 0 : in[6];
    const Term z1 = (in[2] + in6) * Fix(0.541196100);
    const Term even2 = z1 - in6 * Fix(1.847759065);
    const Term even3 = z1 + in[2] * Fix(0.765366865);
    const Term sum = (in[0] + in4) << kFractionBits;
    const Term difference = (in[0] - in4) << kFractionBits;
    const Term e0 = sum + even3;
    const Term e3 = sum - even3;
    const Term e1 = difference + even2;
    const Term e2 = difference - even2;

    const Term a = low ? 0 : in[7];
    const Term b = low ? 0 : in[5];
    const Term c = in[3];
    const Term d = in[1];
    const Term z5 = (a + b + c + d) * Fix(1.175875602);
    const Term ad = (a + d) * (0 - Fix(0.899976223));
    const Term bc = (b + c) * (0 - Fix(2.562915447));
    const Term ac = (a + c) * (0 - Fix(1.961570560)) + z5;
    const Term bd = (b + d) * (0 - Fix(0.390180644)) + z5;
    const Term o0 = a * Fix(0.298631336) + ad + ac;
    const Term o1 = b * Fix(2.053119869) + bc + bd;
    const Term o2 = c * Fix(3.072711026) + bc + ac;
    const Term o3 = d * Fix(1.501321110) + ad + bd;
    out = {e0 + o3, e1 + o2, e2 + o1, e3 + o0, e3 - o0, e2 - o1, e1 - o2, e0 - o3};
}

void Transform(const std::array<Term, 8>& in, std::array<Term, 8>& out, bool low) {
    if (low) {
        Transform<true>(in, out);
    } else {
        Transform<false>(in, out);
    }
}

std::uint8_t Sample(std::int32_t value) {
    return static_cast<std::uint8_t>(std::clamp(value + 128, 0, 255));
}

} // namespace

void InverseDct(const Block& block, const QuantTable& quant, std::uint8_t* out, std::size_t stride) {
    // Most of a photograph's coefficients are zero: a column or row without any beyond its first is flat.
    std::array<Term, 64> columns;
    std::array<Term, 8> in;
    std::array<Term, 8> result;
    for (std::size_t x = 0; x < 8; ++x) {
        int middle = 0;
        int high = 0;
        for (std::size_t v = 1; v < 4; ++v) {
            middle |= block[v * 8 + x];
            high |= block[(v + 4) * 8 + x];
        }
        high |= block[32 + x];
        if ((middle | high) == 0) {
            const Term flat = static_cast<Term>(block[x] * quant[x]) << kColumnBits;
            for (std::size_t v = 0; v < 8; ++v) {
                columns[v * 8 + x] = flat;
            }
            continue;
        }
        for (std::size_t v = 0; v < 8; ++v) {
            in[v] = static_cast<Term>(block[v * 8 + x] * quant[v * 8 + x]);
        }
        Transform(in, result, high == 0);
        for (std::size_t y = 0; y < 8; ++y) {
            columns[y * 8 + x] = static_cast<Term>(Descale(result[y], kFractionBits - kColumnBits));
        }
    }
    // The rows' results carry the columns' extra bits and the 2D transform's factor of 8 as well.
    constexpr int kRowShift = kFractionBits + kColumnBits + 3;
    for (std::size_t y = 0; y < 8; ++y) {
        const Term* row = columns.data() + y * 8;
        std::uint8_t* samples = out + y * stride;
        if ((row[1] | row[2] | row[3] | row[4] | row[5] | row[6] | row[7]) == 0) {
            std::fill(samples, samples + 8, Sample(Descale(row[0], kColumnBits + 3)));
            continue;
        }
        std::copy(row, row + 8, in.begin());
        Transform(in, result, (row[4] | row[5] | row[6] | row[7]) == 0);
        for (std::size_t x = 0; x < 8; ++x) {
            samples[x] = Sample(Descale(result[x], kRowShift));
        }
    }
}

} // namespace tovira::jpeg
