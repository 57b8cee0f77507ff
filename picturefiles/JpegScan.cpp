// The entropy-coded data of a JPEG scan, sequential or progressive, decoded as far as the kept part reaches.
// Scans are decoded one after the other, each with the file's one reader, so that no scan's state outlives it and
// each byte is read once; the blocks of a scan that lie outside the kept part are passed over as cheaply as their
// coded data allows.
#include "picturefiles/JpegBitReader.h"
#include "picturefiles/JpegParts.h"

#include <algorithm>
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tovira::jpeg {

const std::array<std::uint8_t, 64> kZigzag = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                              12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                              35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                              58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

namespace {

// Where the coefficient at each place of a block comes in coded order.
const std::array<std::uint8_t, 64> kCodedOrder = [] {
    std::array<std::uint8_t, 64> order{};
    for (std::size_t k = 0; k < 64; ++k) {
        order[kZigzag[k]] = static_cast<std::uint8_t>(k);
    }
    return order;
}();

// Bits k to end, of a mask in coded order.
std::uint64_t BandFrom(int k, int end) {
    return k > end ? 0 : (~std::uint64_t{0} >> (63 - end)) & (~std::uint64_t{0} << k);
}

// A DC difference added to the component's prediction. Kept modulo 2^16, as a coefficient is: a crafted file's
// sum of differences would overflow an int, while a picture's DC values never leave 16 bits.
bool AddDcDifference(ScanState& state, BitReader::Bits& bits, int slot, int scale, Block& block) {
    const auto [size, length] = state.scan.dc[static_cast<std::size_t>(slot)]->Match(bits.Peek16());
    if (length == 0 || size > 11) {
        return false;
    }
    bits.Skip(length);
    int& prediction = state.predictions[static_cast<std::size_t>(slot)];
    prediction = static_cast<std::int16_t>(prediction + bits.Signed(size));
    block[0] = static_cast<std::int16_t>(prediction * scale);
    return true;
}

bool DecodeDcDifference(ScanState& state, int slot, int scale, Block& block) {
    BitReader::Bits bits = state.bits.Borrow();
    state.bits.Fill(bits);
    const bool decoded = AddDcDifference(state, bits, slot, scale, block);
    state.bits.GiveBack(bits);
    return decoded;
}

// The AC codes of a block's band from k to `end`, with the bit buffer in registers: each value to put(k, value),
// and the run of an end-of-band code (0 for the end of this block) to endOfBand(run).
template <typename Put, typename EndOfBand>
bool DecodeAcCodes(ScanState& state, BitReader::Bits& bits, const Huffman& table, int k, int end, Put put,
                   EndOfBand endOfBand) {
    while (k <= end) {
        state.bits.Fill(bits);
        if (const std::int32_t known = table.Short(bits.Peek16()); known != 0) {
            bits.Skip(Huffman::ShortBits(known));
            if ((known & Huffman::kShortEnd) != 0) {
                endOfBand(0);
                return true;
            }
            k += Huffman::ShortRun(known);
            if (k > end) {
                return false;
            }
            put(k++, Huffman::ShortValue(known));
            continue;
        }
        const auto [symbol, length] = table.Match(bits.Peek16());
        if (length == 0) {
            return false;
        }
        bits.Skip(length);
        const int run = symbol >> 4;
        const int bitsOfValue = symbol & 15;
        if (bitsOfValue == 0) {
            if (run != 15) {
                endOfBand(run);
                return true;
            }
            k += 16;
            continue;
        }
        k += run;
        if (k > end) {
            return false;
        }
        put(k++, bits.Signed(bitsOfValue));
    }
    return true;
}

// A sequential picture's block: any end-of-band code ends it.
bool DecodeCoefficients(ScanState& state, BitReader::Bits& bits, int slot, Block& block) {
    state.bits.Fill(bits);
    return AddDcDifference(state, bits, slot, 1, block) &&
           DecodeAcCodes(
               state, bits, *state.scan.ac[static_cast<std::size_t>(slot)], 1, 63,
               [&](int k, int value) {
                   block[kZigzag[static_cast<std::size_t>(k)]] = static_cast<std::int16_t>(value);
               },
               [](int) {});
}

bool DecodeBlockCoefficients(ScanState& state, int slot, Block& block) {
    BitReader::Bits bits = state.bits.Borrow();
    const bool decoded = DecodeCoefficients(state, bits, slot, block);
    state.bits.GiveBack(bits);
    return decoded;
}

// A sequential picture's block, straight to samples where it is kept.
bool DecodeFullBlock(ScanState& state, int slot, Component& c, int x, int y) {
    Block block{};
    if (!DecodeBlockCoefficients(state, slot, block)) {
        return false;
    }
    if (std::uint8_t* samples = c.Samples(x, y)) {
        InverseDct(block, c.quant, samples, c.Stride());
    }
    return true;
}

bool DecodeDc(ScanState& state, int slot, Block& block) {
    const Scan& scan = state.scan;
    if (scan.high == 0) {
        return DecodeDcDifference(state, slot, 1 << scan.low, block);
    }
    if (state.bits.Take(1) != 0) {
        block[0] = static_cast<std::int16_t>(block[0] | 1 << scan.low);
    }
    return true;
}

// A kept block's coefficients by their place in coded order, as the AC scans reach them.
struct KeptCoefficients {
    Block& block;

    bool NonZero(int k) const { return block[kZigzag[static_cast<std::size_t>(k)]] != 0; }
    // Which coefficients of a band are non-zero, in coded order: the block's few non-zero ones found eight at a
    // time, rather than each of the band's looked at.
    std::uint64_t NonZeroIn(std::uint64_t band) const {
        std::uint64_t places = 0;
#ifdef __SSE2__
        const __m128i zero = _mm_setzero_si128();
        for (std::size_t row = 0; row < 8; row += 2) {
            const __m128i upper = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data() + row * 8));
            const __m128i lower = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data() + row * 8 + 8));
            const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(upper, zero), _mm_cmpeq_epi16(lower, zero));
            places |= static_cast<std::uint64_t>(~_mm_movemask_epi8(zeros) & 0xFFFF) << (row * 8);
        }
#else
        for (std::size_t place = 0; place < 64; ++place) {
            places |= static_cast<std::uint64_t>(block[place] != 0) << place;
        }
#endif
        std::uint64_t coded = 0;
        for (; places != 0; places &= places - 1) {
            coded |= std::uint64_t{1} << kCodedOrder[static_cast<std::size_t>(std::countr_zero(places))];
        }
        return coded & band;
    }
    void Set(int k, int value) {
        block[kZigzag[static_cast<std::size_t>(k)]] = static_cast<std::int16_t>(value);
    }
    // A coefficient that earlier scans made non-zero takes one more bit of precision here.
    void Refine(BitReader::Bits& bits, int k, int bit) {
        std::int16_t& coefficient = block[kZigzag[static_cast<std::size_t>(k)]];
        if (bits.Take(1) != 0 && (coefficient & bit) == 0) {
            coefficient = static_cast<std::int16_t>(coefficient >= 0 ? coefficient + bit : coefficient - bit);
        }
    }
};

// A block right of the kept part: only which of its coefficients are non-zero is kept (bit k for the k-th in
// coded order), as that is all a refinement scan's data depends on.
struct BeyondCoefficients {
    std::uint64_t& nonZero;

    bool NonZero(int k) const { return (nonZero >> k & 1) != 0; }
    std::uint64_t NonZeroIn(std::uint64_t band) const { return nonZero & band; }
    void Set(int k, int /*value*/) { nonZero |= std::uint64_t{1} << k; }
    void Refine(BitReader::Bits& bits, int /*k*/, int /*bit*/) { bits.Skip(1); }
};

template <typename Coefficients> bool DecodeAcFirst(ScanState& state, BitReader::Bits& bits, Coefficients block) {
    const Scan& scan = state.scan;
    return DecodeAcCodes(
        state, bits, *scan.ac[0], scan.start, scan.end,
        [&](int k, int value) { block.Set(k, value * (1 << scan.low)); },
        [&](int run) { state.endOfBands = (1u << run) - 1 + bits.Take(run); });
}

template <typename Coefficients> bool DecodeAcRefine(ScanState& state, BitReader::Bits& bits, Coefficients block) {
    const Scan& scan = state.scan;
    const int bit = 1 << scan.low;
    int k = scan.start;
    if (state.endOfBands == 0) {
        for (; k <= scan.end; ++k) {
            state.bits.Fill(bits);
            const auto [symbol, length] = scan.ac[0]->Match(bits.Peek16());
            if (length == 0) {
                return false;
            }
            bits.Skip(length);
            int run = symbol >> 4;
            const int bitsOfValue = symbol & 15;
            int value = 0;
            if (bitsOfValue != 0) {
                if (bitsOfValue != 1) {
                    return false;
                }
                value = bits.Take(1) != 0 ? bit : -bit;
            } else if (run != 15) {
                state.endOfBands = (1u << run) + bits.Take(run);
                break;
            }
            for (; k <= scan.end; ++k) {
                if (block.NonZero(k)) {
                    state.bits.Fill(bits);
                    block.Refine(bits, k, bit);
                } else if (--run < 0) {
                    break;
                }
            }
            if (value != 0) {
                if (k > scan.end) {
                    return false;
                }
                block.Set(k, value);
            }
        }
    }
    if (state.endOfBands > 0) {
        for (std::uint64_t left = block.NonZeroIn(BandFrom(k, scan.end)); left != 0; left &= left - 1) {
            state.bits.Fill(bits);
            block.Refine(bits, std::countr_zero(left), bit);
        }
        --state.endOfBands;
    }
    return true;
}

template <typename Coefficients> bool DecodeAc(ScanState& state, Coefficients block) {
    BitReader::Bits bits = state.bits.Borrow();
    const bool decoded = state.scan.high > 0 ? DecodeAcRefine(state, bits, block) : DecodeAcFirst(state, bits, block);
    state.bits.GiveBack(bits);
    return decoded;
}

// Blocks right of the kept part inside a refinement's band run: nothing is read but the correction bits of their
// non-zero coefficients. Returns how many blocks the run covered.
int RefineBeyond(ScanState& state, const std::uint64_t* nonZero, int most) {
    const int units = state.RunLength(most);
    const std::uint64_t band = BandFrom(state.scan.start, state.scan.end);
    for (int i = 0; i < units; ++i) {
        if ((nonZero[i] & band) != 0) {
            state.bits.Discard(std::popcount(nonZero[i] & band));
        }
    }
    state.PassOver(units);
    return units;
}

// A scan of one component: its blocks row by row, the kept rows only.
bool DecodeComponentScan(ScanState& state, Component& c, bool progressive, PixelWriter* writer) {
    const Scan& scan = state.scan;
    const bool ac = scan.start > 0;
    Block scratch{};
    for (int y = 0; y < c.keptHigh; ++y) {
        Block* const keptRow = c.KeptRow(y);
        for (int x = 0; x < c.blocksWide; ++x) {
            if (!state.NextUnit()) {
                return false;
            }
            std::uint64_t* beyond = c.Beyond(x, y);
            if (ac && state.endOfBands > 0 && (scan.high == 0 || beyond != nullptr)) {
                const int most = c.blocksWide - x;
                int units = 0;
                if (scan.high == 0) {
                    state.PassOver(units = state.RunLength(most));
                } else {
                    units = RefineBeyond(state, beyond, most);
                }
                x += units - 1;
                continue;
            }
            Block& block = keptRow != nullptr && x < c.keptWide ? keptRow[x] : scratch;
            const bool decoded = !progressive ? DecodeFullBlock(state, 0, c, x, y)
                                 : !ac        ? DecodeDc(state, 0, block)
                                 : beyond     ? DecodeAc(state, BeyondCoefficients{*beyond})
                                              : DecodeAc(state, KeptCoefficients{block});
            if (!decoded) {
                return false;
            }
        }
        if (writer != nullptr && (y + 1) % c.v == 0) {
            writer->Write((y + 1) / c.v);
        }
    }
    return !state.bits.Overrun();
}

// An interleaved scan: groups of blocks of each component, as many rows of groups as the kept rows need.
bool DecodeInterleavedScan(ScanState& state, Frame& frame, PixelWriter* writer) {
    const Scan& scan = state.scan;
    int rows = 0;
    for (int index : scan.components) {
        const Component& c = frame.components[static_cast<std::size_t>(index)];
        rows = std::max(rows, (c.keptHigh + c.v - 1) / c.v);
    }
    Block scratch{};
    for (int my = 0; my < std::min(rows, frame.mcusHigh); ++my) {
        for (int mx = 0; mx < frame.mcusWide; ++mx) {
            if (!state.NextUnit()) {
                return false;
            }
            for (std::size_t slot = 0; slot < scan.components.size(); ++slot) {
                Component& c = frame.components[static_cast<std::size_t>(scan.components[slot])];
                for (int by = 0; by < c.v; ++by) {
                    for (int bx = 0; bx < c.h; ++bx) {
                        const int x = mx * c.h + bx;
                        const int y = my * c.v + by;
                        Block* kept = c.Kept(x, y);
                        Block& block = kept != nullptr ? *kept : scratch;
                        const int s = static_cast<int>(slot);
                        if (!(frame.progressive ? DecodeDc(state, s, block) : DecodeFullBlock(state, s, c, x, y))) {
                            return false;
                        }
                    }
                }
            }
        }
        if (writer != nullptr) {
            writer->Write(my + 1);
        }
    }
    return !state.bits.Overrun();
}

} // namespace

bool DecodeScan(ByteReader& in, const Scan& scan, Frame& frame, std::uint64_t& at, PixelWriter* writer) {
    ScanState state(in, scan, at);
    const bool decoded =
        scan.components.size() == 1
            ? DecodeComponentScan(state, frame.components[static_cast<std::size_t>(scan.components[0])],
                                  frame.progressive, writer)
            : DecodeInterleavedScan(state, frame, writer);
    at = state.bits.Position();
    return decoded;
}

} // namespace tovira::jpeg
