// The inverse DCT of a JPEG block in integers: Loeffler, Ligtenberg and Moschytz's 8-point transform with 12
// multiplications, once down the columns and once along the rows, in fixed point with 13 fraction bits, laid out
// as libjpeg's accurate integer transform lays it out, so that the samples are the ones that ImageMagick and
// most viewers compute. No floating point: the 32-bit build would do it on the x87 unit.
#include "picturefiles/JpegParts.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

void InverseDctOneByOne(const Block& block, const QuantTable& quant, std::uint8_t* out, std::size_t stride) {
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

#ifdef __SSE2__
// The same transform on eight columns (or rows) at once, one in each 16-bit lane, each multiplication paired with
// another by madd: the products regrouped, so the same 32-bit sums. The inputs and the columns' results are held in
// 16 bits, which a picture's never leave (libjpeg-turbo holds them so too); a crafted file's may saturate there, to
// other samples but no fault.
// Eight registers: the rows or columns of a block.
struct Eight {
    __m128i at[8];

    __m128i& operator[](std::size_t i) { return at[i]; }
    const __m128i& operator[](std::size_t i) const { return at[i]; }
};

struct Wide {
    __m128i low; // lanes 0 to 3
    __m128i high;
};

Wide operator+(const Wide& a, const Wide& b) {
    return {_mm_add_epi32(a.low, b.low), _mm_add_epi32(a.high, b.high)};
}
Wide operator-(const Wide& a, const Wide& b) {
    return {_mm_sub_epi32(a.low, b.low), _mm_sub_epi32(a.high, b.high)};
}

// a * first + b * second in each lane.
Wide Madd(__m128i a, __m128i b, Term first, Term second) {
    const auto f = static_cast<short>(static_cast<std::int32_t>(first));
    const auto s = static_cast<short>(static_cast<std::int32_t>(second));
    const __m128i weights = _mm_set_epi16(s, f, s, f, s, f, s, f);
    return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights), _mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights)};
}

__m128i Descale(const Wide& x, int n) {
    const __m128i round = _mm_set1_epi32(1 << (n - 1));
    const __m128i shift = _mm_cvtsi32_si128(n);
    return _mm_packs_epi32(_mm_sra_epi32(_mm_add_epi32(x.low, round), shift),
                           _mm_sra_epi32(_mm_add_epi32(x.high, round), shift));
}

// The 8-point transform of Transform above, descaled by 2^n into 16 bits.
void Transform(const Eight& in, Eight& out, int n) {
    constexpr Term one = Term{1} << kFractionBits;
    const Wide sum = Madd(in[0], in[4], one, one);
    const Wide difference = Madd(in[0], in[4], one, 0 - one);
    const Wide even3 = Madd(in[2], in[6], Fix(0.541196100) + Fix(0.765366865), Fix(0.541196100));
    const Wide even2 = Madd(in[2], in[6], Fix(0.541196100), Fix(0.541196100) - Fix(1.847759065));
    const Wide e0 = sum + even3;
    const Wide e3 = sum - even3;
    const Wide e1 = difference + even2;
    const Wide e2 = difference - even2;

    const __m128i a = in[7];
    const __m128i b = in[5];
    const __m128i c = in[3];
    const __m128i d = in[1];
    const __m128i acSum = _mm_add_epi16(a, c);
    const __m128i bdSum = _mm_add_epi16(b, d);
    const Wide ac = Madd(acSum, bdSum, Fix(1.175875602) - Fix(1.961570560), Fix(1.175875602));
    const Wide bd = Madd(acSum, bdSum, Fix(1.175875602), Fix(1.175875602) - Fix(0.390180644));
    const Wide o0 = Madd(a, d, Fix(0.298631336) - Fix(0.899976223), 0 - Fix(0.899976223)) + ac;
    const Wide o3 = Madd(a, d, 0 - Fix(0.899976223), Fix(1.501321110) - Fix(0.899976223)) + bd;
    const Wide o1 = Madd(b, c, Fix(2.053119869) - Fix(2.562915447), 0 - Fix(2.562915447)) + bd;
    const Wide o2 = Madd(b, c, 0 - Fix(2.562915447), Fix(3.072711026) - Fix(2.562915447)) + ac;
    out = {{Descale(e0 + o3, n), Descale(e1 + o2, n), Descale(e2 + o1, n), Descale(e3 + o0, n), Descale(e3 - o0, n),
            Descale(e2 - o1, n), Descale(e1 - o2, n), Descale(e0 - o3, n)}};
}

// Rows become columns.
void Transpose(Eight& r) {
    const __m128i t0 = _mm_unpacklo_epi16(r[0], r[1]);
    const __m128i t1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i t2 = _mm_unpacklo_epi16(r[2], r[3]);
    const __m128i t3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i t4 = _mm_unpacklo_epi16(r[4], r[5]);
    const __m128i t5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i t6 = _mm_unpacklo_epi16(r[6], r[7]);
    const __m128i t7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i u0 = _mm_unpacklo_epi32(t0, t2);
    const __m128i u1 = _mm_unpackhi_epi32(t0, t2);
    const __m128i u2 = _mm_unpacklo_epi32(t1, t3);
    const __m128i u3 = _mm_unpackhi_epi32(t1, t3);
    const __m128i u4 = _mm_unpacklo_epi32(t4, t6);
    const __m128i u5 = _mm_unpackhi_epi32(t4, t6);
    const __m128i u6 = _mm_unpacklo_epi32(t5, t7);
    const __m128i u7 = _mm_unpackhi_epi32(t5, t7);
    r = {{_mm_unpacklo_epi64(u0, u4), _mm_unpackhi_epi64(u0, u4), _mm_unpacklo_epi64(u1, u5),
          _mm_unpackhi_epi64(u1, u5), _mm_unpacklo_epi64(u2, u6), _mm_unpackhi_epi64(u2, u6),
          _mm_unpacklo_epi64(u3, u7), _mm_unpackhi_epi64(u3, u7)}};
}
#endif

} // namespace

void InverseDct(const Block& block, const QuantTable& quant, std::uint8_t* out, std::size_t stride) {
#ifdef __SSE2__
    // Each register a row of coefficients, so the columns' transform works in the lanes; then the rows' after a
    // transposition, and back. A block whose coefficients leave 15 bits once multiplied, which only a crafted file
    // has, is transformed one column and row at a time instead, in 32 bits.
    Eight rows;
    __m128i outside = _mm_setzero_si128();
    for (std::size_t v = 0; v < 8; ++v) {
        const __m128i coefficients = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data() + v * 8));
        const __m128i factors = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant.data() + v * 8));
        rows[v] = _mm_mullo_epi16(coefficients, factors);
        const __m128i top = _mm_srai_epi16(rows[v], 14);
        outside = _mm_or_si128(outside, _mm_or_si128(_mm_xor_si128(_mm_mulhi_epi16(coefficients, factors), top),
                                                     _mm_xor_si128(_mm_srai_epi16(rows[v], 15), top)));
        outside = _mm_or_si128(outside, _mm_srai_epi16(factors, 15));
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, _mm_setzero_si128())) != 0xFFFF) {
        InverseDctOneByOne(block, quant, out, stride);
        return;
    }
    Eight columns;
    Transform(rows, columns, kFractionBits - kColumnBits);
    Transpose(columns);
    Transform(columns, rows, kFractionBits + kColumnBits + 3);
    Transpose(rows);
    const __m128i centre = _mm_set1_epi8(static_cast<char>(0x80));
    for (std::size_t y = 0; y < 8; y += 2) {
        const __m128i samples = _mm_xor_si128(_mm_packs_epi16(rows[y], rows[y + 1]), centre);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), samples);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (y + 1) * stride), _mm_srli_si128(samples, 8));
    }
#else
    InverseDctOneByOne(block, quant, out, stride);
#endif
}

} // namespace tovira::jpeg
