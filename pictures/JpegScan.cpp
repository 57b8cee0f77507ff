// The entropy-coded data of a JPEG scan, sequential or progressive, decoded as far as the kept part reaches.
// Scans are decoded one after the other, each with the file's one reader, so that no scan's state outlives it and
// each byte is read once; the blocks of a scan that lie outside the kept part are passed over as cheaply as their
// coded data allows.
#include "pictures/JpegParts.h"

#include <algorithm>
#include <bit>
#include <optional>

namespace tovira::jpeg {

const std::array<std::uint8_t, 64> kZigzag = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                              12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                              35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                              58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

bool Huffman::Build(const std::array<std::uint8_t, 16>& counts, const std::vector<std::uint8_t>& symbols) {
    symbols_ = symbols;
    fast_.fill(0);
    std::int32_t code = 0;
    std::size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
        offset_[static_cast<std::size_t>(length)] = static_cast<std::int32_t>(k) - code;
        for (int i = 0; i < counts[static_cast<std::size_t>(length - 1)]; ++i, ++code, ++k) {
            if (code >= 1 << length) {
                return false;
            }
            if (length <= kFastBits) {
                const int spare = kFastBits - length;
                for (int fill = 0; fill < 1 << spare; ++fill) {
                    fast_[static_cast<std::size_t>(code << spare | fill)] =
                        static_cast<std::uint16_t>(length << 8 | symbols_[k]);
                }
            }
        }
        maxCode_[static_cast<std::size_t>(length)] = code - 1;
        code <<= 1;
    }
    BuildShort();
    return true;
}

void Huffman::BuildShort() {
    for (std::size_t i = 0; i < short_.size(); ++i) {
        const int length = fast_[i] >> 8;
        const int run = fast_[i] >> 4 & 15;
        const int size = fast_[i] & 15;
        if (length == 0 || size == 0 || length + size > kFastBits) {
            short_[i] = 0;
            continue;
        }
        const int bits = static_cast<int>(i) >> (kFastBits - length - size) & ((1 << size) - 1);
        const int value = bits >= 1 << (size - 1) ? bits : bits - (1 << size) + 1;
        short_[i] = static_cast<std::int16_t>(value * 256 + run * 16 + length + size);
    }
}

std::pair<int, int> Huffman::MatchLong(std::uint32_t next16) const {
    for (int length = kFastBits + 1; length <= 16; ++length) {
        const auto code = static_cast<std::int32_t>(next16 >> (16 - length));
        if (code <= maxCode_[static_cast<std::size_t>(length)]) {
            return {symbols_[static_cast<std::size_t>(code + offset_[static_cast<std::size_t>(length)])], length};
        }
    }
    return {0, 0};
}

namespace {

// The entropy-coded bits of one scan. Where the data meets a marker or the file's end, zero bits follow; taking
// one of those means that the data was too short for the blocks the header states. The bytes are taken straight
// from the reader's window, which is moved on when fewer than two are left in it.
class BitReader {
public:
    BitReader(ByteReader& in, std::uint64_t at) : in_(in), base_(at) {}

    std::uint32_t Peek16() {
        Fill(16);
        return static_cast<std::uint32_t>(bits_ >> (count_ - 16)) & 0xFFFF;
    }
    void Skip(int n) {
        count_ -= n;
        if (count_ < padding_) {
            overrun_ = true;
            padding_ = count_;
        }
    }
    std::uint32_t Take(int n) {
        if (n == 0) {
            return 0;
        }
        Fill(n);
        const auto value = static_cast<std::uint32_t>(bits_ >> (count_ - n)) & ((1u << n) - 1);
        Skip(n);
        return value;
    }
    void Discard(int n) {
        for (; n > 16; n -= 16) {
            Take(16);
        }
        Take(n);
    }
    // A value of n bits as the standard stores differences: the lower half stands for the negative ones.
    int Signed(int n) {
        const auto value = static_cast<int>(Take(n));
        return n == 0 || value >= 1 << (n - 1) ? value : value - (1 << n) + 1;
    }
    std::optional<int> Decode(const Huffman& table) {
        const auto [symbol, length] = table.Match(Peek16());
        if (length == 0) {
            return std::nullopt;
        }
        Skip(length);
        return symbol;
    }
    bool Overrun() const { return overrun_; }
    std::uint64_t Position() const { return base_ + static_cast<std::uint64_t>(next_ - data_); }

    // At the end of a restart interval: the rest of the byte is padding, then comes a restart marker.
    bool Restart() {
        std::uint64_t at = Position();
        bits_ = 0;
        count_ = 0;
        padding_ = 0;
        atMarker_ = false;
        while (in_.Has(at, 2) && in_.U8(at) == 0xFF && in_.U8(at + 1) == 0xFF) {
            ++at;
        }
        const bool restart = in_.Has(at, 2) && in_.U8(at) == 0xFF && in_.U8(at + 1) >= 0xD0 && in_.U8(at + 1) <= 0xD7;
        base_ = restart ? at + 2 : at;
        data_ = next_ = end_ = nullptr;
        return restart;
    }

private:
    void Fill(int need) {
        if (count_ < need) {
            Refill();
        }
    }
    // As many whole bytes as the buffer takes: without a check for the window's end or a marker while neither is
    // near, then byte by byte.
    void Refill() {
        while (count_ <= 56 && end_ - next_ >= 2 && (next_[0] != 0xFF || next_[1] == 0)) {
            bits_ = bits_ << 8 | next_[0];
            next_ += next_[0] == 0xFF ? 2 : 1;
            count_ += 8;
        }
        while (count_ <= 56) {
            if (end_ - next_ < 2 && !atMarker_) {
                Fetch();
            }
            std::uint32_t byte = 0;
            if (!atMarker_ && next_ < end_ && (*next_ != 0xFF || (end_ - next_ >= 2 && next_[1] == 0))) {
                byte = *next_;
                next_ += byte == 0xFF ? 2 : 1;
            } else {
                atMarker_ = true;
                padding_ += 8;
            }
            bits_ = bits_ << 8 | byte;
            count_ += 8;
        }
    }
    void Fetch() {
        base_ = Position();
        data_ = next_ = end_ = nullptr;
        if (in_.Has(base_, 1)) {
            const std::span<const unsigned char> bytes = in_.Ahead(base_, 2);
            data_ = next_ = bytes.data();
            end_ = data_ + bytes.size();
        }
    }

    ByteReader& in_;
    std::uint64_t base_; // where data_ lies in the file
    const unsigned char* data_ = nullptr;
    const unsigned char* next_ = nullptr;
    const unsigned char* end_ = nullptr;
    std::uint64_t bits_ = 0;
    int count_ = 0;
    int padding_ = 0;
    bool atMarker_ = false;
    bool overrun_ = false;
};

// One scan's decoder state, alive while that scan is decoded.
class ScanState {
public:
    ScanState(ByteReader& in, const Scan& scanToRead, std::uint64_t at) : bits(in, at), scan(scanToRead) {}

    // Before each unit of the scan (a block or, interleaved, a group of blocks): at the end of a restart
    // interval, the predictions and band runs start afresh.
    bool NextUnit() {
        if (bits.Overrun()) {
            return false;
        }
        if (scan.restartInterval == 0) {
            return true;
        }
        if (untilRestart_ == 0 && started_) {
            if (!bits.Restart()) {
                return false;
            }
            predictions.fill(0);
            endOfBands = 0;
        }
        started_ = true;
        untilRestart_ = (untilRestart_ == 0 ? scan.restartInterval : untilRestart_) - 1;
        return true;
    }
    // How many of the next `most` units the band run passes over at once: it never crosses a restart.
    int RunLength(int most) const {
        const auto units = std::min<std::uint32_t>(endOfBands, static_cast<std::uint32_t>(most));
        return static_cast<int>(scan.restartInterval == 0 ? units : std::min(units, untilRestart_ + 1));
    }
    // Passes over units within the band run, the first of which NextUnit has begun.
    void PassOver(int units) {
        endOfBands -= static_cast<std::uint32_t>(units);
        if (scan.restartInterval != 0) {
            untilRestart_ -= static_cast<std::uint32_t>(units - 1);
        }
    }

    BitReader bits;
    const Scan& scan;
    std::array<int, 4> predictions{};
    std::uint32_t endOfBands = 0;

private:
    std::uint32_t untilRestart_ = 0;
    bool started_ = false;
};

bool DecodeDcDifference(ScanState& state, int slot, int scale, Block& block) {
    const auto size = state.bits.Decode(*state.scan.dc[static_cast<std::size_t>(slot)]);
    if (!size || *size > 11) {
        return false;
    }
    int& prediction = state.predictions[static_cast<std::size_t>(slot)];
    prediction += state.bits.Signed(*size);
    block[0] = static_cast<std::int16_t>(prediction * scale);
    return true;
}

bool DecodeBlockCoefficients(ScanState& state, int slot, Block& block) {
    if (!DecodeDcDifference(state, slot, 1, block)) {
        return false;
    }
    const Huffman& table = *state.scan.ac[static_cast<std::size_t>(slot)];
    for (int k = 1; k < 64;) {
        if (const int known = table.Short(state.bits.Peek16()); known != 0) {
            k += known >> 4 & 15;
            if (k > 63) {
                return false;
            }
            state.bits.Skip(known & 15);
            block[kZigzag[static_cast<std::size_t>(k++)]] = static_cast<std::int16_t>(known >> 8);
            continue;
        }
        const auto symbol = state.bits.Decode(table);
        if (!symbol) {
            return false;
        }
        const int run = *symbol >> 4;
        const int bitsOfValue = *symbol & 15;
        if (bitsOfValue == 0) {
            if (run != 15) {
                break;
            }
            k += 16;
            continue;
        }
        k += run;
        if (k > 63) {
            return false;
        }
        block[kZigzag[static_cast<std::size_t>(k++)]] = static_cast<std::int16_t>(state.bits.Signed(bitsOfValue));
    }
    return true;
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
    void Set(int k, int value) { block[kZigzag[static_cast<std::size_t>(k)]] = static_cast<std::int16_t>(value); }
    // A coefficient that earlier scans made non-zero takes one more bit of precision here.
    void Refine(BitReader& bits, int k, int bit) {
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
    void Set(int k, int /*value*/) { nonZero |= std::uint64_t{1} << k; }
    void Refine(BitReader& bits, int /*k*/, int /*bit*/) { bits.Take(1); }
};

template <typename Coefficients> bool DecodeAcFirst(ScanState& state, Coefficients block) {
    const Scan& scan = state.scan;
    for (int k = scan.start; k <= scan.end;) {
        const auto symbol = state.bits.Decode(*scan.ac[0]);
        if (!symbol) {
            return false;
        }
        const int run = *symbol >> 4;
        const int bitsOfValue = *symbol & 15;
        if (bitsOfValue == 0) {
            if (run < 15) {
                state.endOfBands = (1u << run) - 1 + state.bits.Take(run);
                break;
            }
            k += 16;
            continue;
        }
        k += run;
        if (k > scan.end) {
            return false;
        }
        block.Set(k++, state.bits.Signed(bitsOfValue) * (1 << scan.low));
    }
    return true;
}

template <typename Coefficients> bool DecodeAcRefine(ScanState& state, Coefficients block) {
    const Scan& scan = state.scan;
    const int bit = 1 << scan.low;
    int k = scan.start;
    if (state.endOfBands == 0) {
        for (; k <= scan.end; ++k) {
            const auto symbol = state.bits.Decode(*scan.ac[0]);
            if (!symbol) {
                return false;
            }
            int run = *symbol >> 4;
            const int bitsOfValue = *symbol & 15;
            int value = 0;
            if (bitsOfValue != 0) {
                if (bitsOfValue != 1) {
                    return false;
                }
                value = state.bits.Take(1) != 0 ? bit : -bit;
            } else if (run != 15) {
                state.endOfBands = (1u << run) + state.bits.Take(run);
                break;
            }
            for (; k <= scan.end; ++k) {
                if (block.NonZero(k)) {
                    block.Refine(state.bits, k, bit);
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
        for (; k <= scan.end; ++k) {
            if (block.NonZero(k)) {
                block.Refine(state.bits, k, bit);
            }
        }
        --state.endOfBands;
    }
    return true;
}

template <typename Coefficients> bool DecodeAc(ScanState& state, Coefficients block) {
    return state.scan.high > 0 ? DecodeAcRefine(state, block) : DecodeAcFirst(state, block);
}

std::uint64_t BandMask(const Scan& scan) {
    return (~std::uint64_t{0} >> (63 - scan.end)) & (~std::uint64_t{0} << scan.start);
}

// Blocks right of the kept part inside a refinement's band run: nothing is read but the correction bits of their
// non-zero coefficients. Returns how many blocks the run covered.
int RefineBeyond(ScanState& state, const std::uint64_t* nonZero, int most) {
    const int units = state.RunLength(most);
    const std::uint64_t band = BandMask(state.scan);
    for (int i = 0; i < units; ++i) {
        if ((nonZero[i] & band) != 0) {
            state.bits.Discard(std::popcount(nonZero[i] & band));
        }
    }
    state.PassOver(units);
    return units;
}

// A scan of one component: its blocks row by row, the kept rows only.
bool DecodeComponentScan(ScanState& state, Component& c, bool progressive) {
    const Scan& scan = state.scan;
    const bool ac = scan.start > 0;
    Block scratch{};
    for (int y = 0; y < c.keptHigh; ++y) {
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
            Block* kept = c.Kept(x, y);
            Block& block = kept != nullptr ? *kept : scratch;
            const bool decoded = !progressive ? DecodeFullBlock(state, 0, c, x, y)
                                 : !ac        ? DecodeDc(state, 0, block)
                                 : beyond     ? DecodeAc(state, BeyondCoefficients{*beyond})
                                              : DecodeAc(state, KeptCoefficients{block});
            if (!decoded) {
                return false;
            }
        }
    }
    return !state.bits.Overrun();
}

// An interleaved scan: groups of blocks of each component, as many rows of groups as the kept rows need.
bool DecodeInterleavedScan(ScanState& state, Frame& frame) {
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
    }
    return !state.bits.Overrun();
}

} // namespace

bool DecodeScan(ByteReader& in, const Scan& scan, Frame& frame, std::uint64_t& at) {
    ScanState state(in, scan, at);
    const bool decoded =
        scan.components.size() == 1
            ? DecodeComponentScan(state, frame.components[static_cast<std::size_t>(scan.components[0])],
                                  frame.progressive)
            : DecodeInterleavedScan(state, frame);
    at = state.bits.Position();
    return decoded;
}

} // namespace tovira::jpeg
