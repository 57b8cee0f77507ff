// A JPEG decoder (Huffman-coded, sequential and progressive, 8-bit) that keeps only the top-left part that is
// shown. Windows' own decoders hold the whole picture in memory, and a progressive one even all its coefficients,
// which for a large photograph is hundreds of MiB. Here every block is still decoded, so that data too short for
// the size the header states is found out, but coefficients are kept only for the blocks that are shown; the
// refinement scans of a progressive picture, which depend on what the earlier scans of the same block gave,
// are decoded together, block by block, instead of keeping that state for the whole picture.
#include "platform/PictureDecode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

namespace tovira {

namespace {

constexpr std::array<std::uint8_t, 64> kZigzag = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                                  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                                  35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                                  58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

using Block = std::array<std::int16_t, 64>;

class Huffman {
public:
    // counts[i]: how many codes are i + 1 bits long; false when they do not make a prefix code.
    bool Build(const std::array<std::uint8_t, 16>& counts, const std::vector<std::uint8_t>& symbols) {
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
        return true;
    }

    // The symbol of the code at the top of the next 16 bits and its length; length 0 when no code matches.
    std::pair<int, int> Match(std::uint32_t next16) const {
        const std::uint16_t fast = fast_[next16 >> (16 - kFastBits)];
        if (fast != 0) {
            return {fast & 0xFF, fast >> 8};
        }
        for (int length = kFastBits + 1; length <= 16; ++length) {
            const auto code = static_cast<std::int32_t>(next16 >> (16 - length));
            if (code <= maxCode_[static_cast<std::size_t>(length)]) {
                return {symbols_[static_cast<std::size_t>(code + offset_[static_cast<std::size_t>(length)])], length};
            }
        }
        return {0, 0};
    }

private:
    static constexpr int kFastBits = 9;
    std::array<std::uint16_t, 1 << kFastBits> fast_{};
    std::array<std::int32_t, 17> maxCode_{};
    std::array<std::int32_t, 17> offset_{};
    std::vector<std::uint8_t> symbols_;
};

// The entropy-coded bits of one scan. Where the data meets a marker or the file's end, zero bits follow; taking
// one of those means that the data was too short for the blocks the header states.
class BitReader {
public:
    BitReader(ByteSource& source, std::uint64_t at) : in_(source, 16 * 1024), at_(at) {}

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

    // At the end of a restart interval: the rest of the byte is padding, then comes a restart marker.
    bool Restart() {
        bits_ = 0;
        count_ = 0;
        padding_ = 0;
        atMarker_ = false;
        while (in_.Has(at_, 2) && in_.U8(at_) == 0xFF && in_.U8(at_ + 1) == 0xFF) {
            ++at_;
        }
        if (!in_.Has(at_, 2) || in_.U8(at_) != 0xFF || in_.U8(at_ + 1) < 0xD0 || in_.U8(at_ + 1) > 0xD7) {
            return false;
        }
        at_ += 2;
        return true;
    }

private:
    void Fill(int need) {
        while (count_ < need) {
            std::uint32_t byte = 0;
            if (!atMarker_ && in_.Has(at_, 1) && (in_.U8(at_) != 0xFF || (in_.Has(at_, 2) && in_.U8(at_ + 1) == 0))) {
                byte = in_.U8(at_);
                at_ += byte == 0xFF ? 2 : 1;
            } else {
                atMarker_ = true;
                padding_ += 8;
            }
            bits_ = bits_ << 8 | byte;
            count_ += 8;
        }
    }

    ByteReader in_;
    std::uint64_t at_;
    std::uint64_t bits_ = 0;
    int count_ = 0;
    int padding_ = 0;
    bool atMarker_ = false;
    bool overrun_ = false;
};

struct Component {
    int id = 0;
    int h = 1;
    int v = 1;
    int quantTable = 0;
    // Blocks of this component in the whole picture and in its shown part.
    int blocksWide = 0;
    int blocksHigh = 0;
    int keptWide = 0;
    int keptHigh = 0;
    std::vector<Block> kept;
    std::array<std::uint16_t, 64> quant{};
    bool scanned = false;
    // A sequential scan or the first DC scan of a progressive picture has given every block its base value.
    bool based = false;

    Block* Kept(int x, int y) {
        return x < keptWide && y < keptHigh ? &kept[static_cast<std::size_t>(y * keptWide + x)] : nullptr;
    }
};

struct Scan {
    std::vector<int> components;
    std::vector<Huffman> dc;
    std::vector<Huffman> ac;
    int start = 0;
    int end = 63;
    int high = 0;
    int low = 0;
    int restartInterval = 0;
    std::uint64_t data = 0;
};

// One scan's decoder state.
class ScanState {
public:
    ScanState(ByteSource& source, const Scan& scanToRead) : bits(source, scanToRead.data), scan(scanToRead) {}

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

    BitReader bits;
    const Scan& scan;
    std::array<int, 4> predictions{};
    std::uint32_t endOfBands = 0;

private:
    int untilRestart_ = 0;
    bool started_ = false;
};

bool DecodeFullBlock(ScanState& state, int slot, Block& block) {
    BitReader& bits = state.bits;
    const auto size = bits.Decode(state.scan.dc[static_cast<std::size_t>(slot)]);
    if (!size || *size > 11) {
        return false;
    }
    state.predictions[static_cast<std::size_t>(slot)] += bits.Signed(*size);
    block[0] = static_cast<std::int16_t>(state.predictions[static_cast<std::size_t>(slot)]);
    for (int k = 1; k < 64;) {
        const auto symbol = bits.Decode(state.scan.ac[static_cast<std::size_t>(slot)]);
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
        block[kZigzag[static_cast<std::size_t>(k++)]] = static_cast<std::int16_t>(bits.Signed(bitsOfValue));
    }
    return true;
}

bool DecodeDc(ScanState& state, int slot, Block& block) {
    const Scan& scan = state.scan;
    if (scan.high > 0) {
        if (state.bits.Take(1) != 0) {
            block[0] = static_cast<std::int16_t>(block[0] | 1 << scan.low);
        }
        return true;
    }
    const auto size = state.bits.Decode(scan.dc[static_cast<std::size_t>(slot)]);
    if (!size || *size > 11) {
        return false;
    }
    state.predictions[static_cast<std::size_t>(slot)] += state.bits.Signed(*size);
    block[0] = static_cast<std::int16_t>(state.predictions[static_cast<std::size_t>(slot)] * (1 << scan.low));
    return true;
}

bool DecodeAcFirst(ScanState& state, Block& block) {
    const Scan& scan = state.scan;
    if (state.endOfBands > 0) {
        --state.endOfBands;
        return true;
    }
    for (int k = scan.start; k <= scan.end;) {
        const auto symbol = state.bits.Decode(scan.ac[0]);
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
        block[kZigzag[static_cast<std::size_t>(k++)]] =
            static_cast<std::int16_t>(state.bits.Signed(bitsOfValue) * (1 << scan.low));
    }
    return true;
}

// A coefficient that earlier scans made non-zero takes one more bit of precision here.
void Refine(BitReader& bits, std::int16_t& coefficient, int bit) {
    if (bits.Take(1) != 0 && (coefficient & bit) == 0) {
        coefficient = static_cast<std::int16_t>(coefficient >= 0 ? coefficient + bit : coefficient - bit);
    }
}

bool DecodeAcRefine(ScanState& state, Block& block) {
    const Scan& scan = state.scan;
    const int bit = 1 << scan.low;
    int k = scan.start;
    if (state.endOfBands == 0) {
        for (; k <= scan.end; ++k) {
            const auto symbol = state.bits.Decode(scan.ac[0]);
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
                std::int16_t& coefficient = block[kZigzag[static_cast<std::size_t>(k)]];
                if (coefficient != 0) {
                    Refine(state.bits, coefficient, bit);
                } else if (--run < 0) {
                    break;
                }
            }
            if (value != 0) {
                if (k > scan.end) {
                    return false;
                }
                block[kZigzag[static_cast<std::size_t>(k)]] = static_cast<std::int16_t>(value);
            }
        }
    }
    if (state.endOfBands > 0) {
        for (; k <= scan.end; ++k) {
            std::int16_t& coefficient = block[kZigzag[static_cast<std::size_t>(k)]];
            if (coefficient != 0) {
                Refine(state.bits, coefficient, bit);
            }
        }
        --state.endOfBands;
    }
    return true;
}

class JpegDecoder {
public:
    JpegDecoder(ByteSource& source, const PixelTarget& target) : source_(source), in_(source), target_(target) {}

    bool Run() {
        std::uint64_t at = 2;
        std::uint32_t marker = 0;
        for (;;) {
            const JpegMarkerRead read = NextJpegMarker(in_, at, 2, marker);
            if (read == JpegMarkerRead::NotAMarker) {
                return false;
            }
            if (read == JpegMarkerRead::OutOfData || marker == 0xD9) {
                break;
            }
            if (!in_.Has(at + 2, 2)) {
                return false;
            }
            const std::uint32_t length = in_.U16Big(at + 2);
            if (length < 2 || !in_.Has(at + 2, length)) {
                return false;
            }
            const Segment segment{at + 4, length - 2};
            if (!Handle(marker, segment)) {
                return false;
            }
            at = marker == 0xDA ? ScanDataEnd(scanDataStart_) : segment.at + segment.size;
        }
        return Finish();
    }

private:
    struct Segment {
        std::uint64_t at;
        std::uint64_t size;
    };

    bool Handle(std::uint32_t marker, const Segment& segment) {
        switch (marker) {
        case 0xC0:
        case 0xC1:
        case 0xC2:
            return ReadFrame(segment, marker == 0xC2);
        case 0xC4:
            return ReadHuffmanTables(segment);
        case 0xDB:
            return ReadQuantTables(segment);
        case 0xDD:
            restartInterval_ = segment.size >= 2 ? static_cast<int>(in_.U16Big(segment.at)) : 0;
            return segment.size >= 2;
        case 0xDA:
            return ReadScan(segment);
        case 0xE0:
            jfif_ = jfif_ || (segment.size >= 5 && in_.U32(segment.at) == 0x4649464A); // "JFIF"
            return true;
        case 0xEE:
            if (segment.size >= 12 && in_.U32(segment.at) == 0x626F6441 && in_.U8(segment.at + 4) == 'e') {
                adobeTransform_ = static_cast<int>(in_.U8(segment.at + 11));
            }
            return true;
        default:
            // Other frame kinds (lossless, hierarchical, arithmetic coding) are not read; other segments skipped.
            return marker < 0xC0 || marker > 0xCF || marker == 0xC8;
        }
    }

    bool ReadFrame(const Segment& s, bool progressive) {
        if (!components_.empty() || s.size < 6 || in_.U8(s.at) != 8) {
            return false;
        }
        progressive_ = progressive;
        height_ = static_cast<int>(in_.U16Big(s.at + 1));
        width_ = static_cast<int>(in_.U16Big(s.at + 3));
        const std::uint32_t count = in_.U8(s.at + 5);
        if ((count != 1 && count != 3 && count != 4) || s.size < 6 + 3 * count || width_ == 0 || height_ == 0) {
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            Component c;
            c.id = static_cast<int>(in_.U8(s.at + 6 + 3 * i));
            c.h = static_cast<int>(in_.U8(s.at + 7 + 3 * i) >> 4);
            c.v = static_cast<int>(in_.U8(s.at + 7 + 3 * i) & 15);
            c.quantTable = static_cast<int>(in_.U8(s.at + 8 + 3 * i));
            if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantTable > 3) {
                return false;
            }
            components_.push_back(std::move(c));
        }
        for (const Component& c : components_) {
            maxH_ = std::max(maxH_, c.h);
            maxV_ = std::max(maxV_, c.v);
        }
        mcusWide_ = (width_ + 8 * maxH_ - 1) / (8 * maxH_);
        mcusHigh_ = (height_ + 8 * maxV_ - 1) / (8 * maxV_);
        for (Component& c : components_) {
            c.blocksWide = ((width_ * c.h + maxH_ - 1) / maxH_ + 7) / 8;
            c.blocksHigh = ((height_ * c.v + maxV_ - 1) / maxV_ + 7) / 8;
            // A shown pixel's colour lies between two samples of a subsampled component: one more is kept.
            c.keptWide = std::min(c.blocksWide, (target_.width * c.h / maxH_ + 1) / 8 + 1);
            c.keptHigh = std::min(c.blocksHigh, (target_.height * c.v / maxV_ + 1) / 8 + 1);
            c.kept.assign(static_cast<std::size_t>(c.keptWide) * static_cast<std::size_t>(c.keptHigh), Block{});
        }
        return true;
    }

    bool ReadHuffmanTables(const Segment& s) {
        for (std::uint64_t at = s.at; at < s.at + s.size;) {
            if (s.at + s.size - at < 17) {
                return false;
            }
            const std::uint32_t kind = in_.U8(at);
            if (kind >> 4 > 1 || (kind & 15) > 3) {
                return false;
            }
            std::array<std::uint8_t, 16> counts{};
            std::size_t total = 0;
            for (std::size_t i = 0; i < 16; ++i) {
                counts[i] = static_cast<std::uint8_t>(in_.U8(at + 1 + i));
                total += counts[i];
            }
            at += 17;
            if (total > 256 || s.at + s.size - at < total) {
                return false;
            }
            std::vector<std::uint8_t> symbols(total);
            for (std::size_t i = 0; i < total; ++i) {
                symbols[i] = static_cast<std::uint8_t>(in_.U8(at + i));
            }
            at += total;
            auto& table = (kind >> 4 == 0 ? dcTables_ : acTables_)[kind & 15];
            table.emplace();
            if (!table->Build(counts, symbols)) {
                return false;
            }
        }
        return true;
    }

    bool ReadQuantTables(const Segment& s) {
        for (std::uint64_t at = s.at; at < s.at + s.size;) {
            const std::uint32_t kind = in_.U8(at);
            const std::uint64_t valueBytes = (kind >> 4) + 1;
            if ((kind >> 4) > 1 || (kind & 15) > 3 || s.at + s.size - at < 1 + 64 * valueBytes) {
                return false;
            }
            auto& table = quantTables_[kind & 15].emplace();
            for (std::size_t k = 0; k < 64; ++k) {
                const std::uint64_t value = at + 1 + k * valueBytes;
                table[kZigzag[k]] = static_cast<std::uint16_t>(valueBytes == 2 ? in_.U16Big(value) : in_.U8(value));
            }
            at += 1 + 64 * valueBytes;
        }
        return true;
    }

    bool ReadScan(const Segment& s) {
        if (components_.empty() || s.size < 1) {
            return false;
        }
        Scan scan;
        const std::uint32_t count = in_.U8(s.at);
        if (count < 1 || count > 4 || s.size < 4 + 2 * count) {
            return false;
        }
        int unitBlocks = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto id = static_cast<int>(in_.U8(s.at + 1 + 2 * i));
            const auto found =
                std::find_if(components_.begin(), components_.end(), [&](const Component& c) { return c.id == id; });
            const auto index = static_cast<int>(found - components_.begin());
            if (found == components_.end() ||
                std::find(scan.components.begin(), scan.components.end(), index) != scan.components.end()) {
                return false;
            }
            scan.components.push_back(index);
            unitBlocks += found->h * found->v;
            const std::uint32_t tables = in_.U8(s.at + 2 + 2 * i);
            if ((tables >> 4) > 3 || (tables & 15) > 3) {
                return false;
            }
            scan.dc.push_back(dcTables_[tables >> 4].value_or(Huffman{}));
            scan.ac.push_back(acTables_[tables & 15].value_or(Huffman{}));
        }
        const std::uint64_t at = s.at + 1 + 2 * count;
        scan.start = static_cast<int>(in_.U8(at));
        scan.end = static_cast<int>(in_.U8(at + 1));
        scan.high = static_cast<int>(in_.U8(at + 2) >> 4);
        scan.low = static_cast<int>(in_.U8(at + 2) & 15);
        scan.restartInterval = restartInterval_;
        scan.data = s.at + s.size;
        scanDataStart_ = scan.data;
        if (!ScanTablesDefined(scan, s) || (count > 1 && unitBlocks > 10) || !LatchQuantTables(scan)) {
            return false;
        }
        if (!progressive_) {
            if (scan.start != 0 || scan.end != 63 || scan.high != 0 || scan.low != 0) {
                return false;
            }
            return DecodeSequential(scan) && MarkBased(scan);
        }
        const bool dc = scan.start == 0;
        if ((dc && scan.end != 0) || (!dc && (count != 1 || scan.end < scan.start || scan.end > 63)) || scan.low > 13 ||
            (scan.high != 0 && scan.high != scan.low + 1)) {
            return false;
        }
        if (dc) {
            return DecodeSequential(scan) && (scan.high > 0 || MarkBased(scan));
        }
        acScans_.push_back(std::move(scan));
        return true;
    }

    bool MarkBased(const Scan& scan) {
        for (int index : scan.components) {
            components_[static_cast<std::size_t>(index)].based = true;
        }
        return true;
    }

    // A scan may only use tables that were defined before it.
    bool ScanTablesDefined(const Scan& scan, const Segment& s) {
        for (std::size_t i = 0; i < scan.components.size(); ++i) {
            const std::uint32_t tables = in_.U8(s.at + 2 + 2 * i);
            const bool dcNeeded = scan.start == 0 && scan.high == 0;
            const bool acNeeded = scan.end > 0;
            if ((dcNeeded && !dcTables_[tables >> 4]) || (acNeeded && !acTables_[tables & 15])) {
                return false;
            }
        }
        return true;
    }

    bool LatchQuantTables(const Scan& scan) {
        for (int index : scan.components) {
            Component& c = components_[static_cast<std::size_t>(index)];
            if (!c.scanned) {
                const auto& table = quantTables_[static_cast<std::size_t>(c.quantTable)];
                if (!table) {
                    return false;
                }
                c.quant = *table;
                c.scanned = true;
            }
        }
        return true;
    }

    // Sequential scans and the DC scans of progressive pictures, which need nothing from earlier scans.
    bool DecodeSequential(const Scan& scan) {
        ScanState state(source_, scan);
        Block scratch{};
        const auto decode = [&](int slot, int x, int y) {
            Component& c = components_[static_cast<std::size_t>(scan.components[static_cast<std::size_t>(slot)])];
            Block* kept = c.Kept(x, y);
            Block& block = kept != nullptr ? *kept : scratch;
            if (!progressive_) {
                block.fill(0);
                return DecodeFullBlock(state, slot, block);
            }
            return DecodeDc(state, slot, block);
        };
        if (scan.components.size() == 1) {
            const Component& c = components_[static_cast<std::size_t>(scan.components[0])];
            for (int y = 0; y < c.blocksHigh; ++y) {
                for (int x = 0; x < c.blocksWide; ++x) {
                    if (!state.NextUnit() || !decode(0, x, y)) {
                        return false;
                    }
                }
            }
            return !state.bits.Overrun();
        }
        for (int my = 0; my < mcusHigh_; ++my) {
            for (int mx = 0; mx < mcusWide_; ++mx) {
                if (!state.NextUnit()) {
                    return false;
                }
                for (std::size_t slot = 0; slot < scan.components.size(); ++slot) {
                    const Component& c = components_[static_cast<std::size_t>(scan.components[slot])];
                    for (int by = 0; by < c.v; ++by) {
                        for (int bx = 0; bx < c.h; ++bx) {
                            if (!decode(static_cast<int>(slot), mx * c.h + bx, my * c.v + by)) {
                                return false;
                            }
                        }
                    }
                }
            }
        }
        return !state.bits.Overrun();
    }

    // All AC scans of one component, block by block in step, each block from zero through every scan in order.
    bool DecodeAcScans(int index) {
        Component& c = components_[static_cast<std::size_t>(index)];
        std::vector<std::unique_ptr<ScanState>> states;
        for (const Scan& scan : acScans_) {
            if (scan.components[0] == index) {
                states.push_back(std::make_unique<ScanState>(source_, scan));
            }
        }
        if (states.empty()) {
            return true;
        }
        for (int y = 0; y < c.blocksHigh; ++y) {
            for (int x = 0; x < c.blocksWide; ++x) {
                Block block{};
                for (const auto& state : states) {
                    const bool refine = state->scan.high > 0;
                    if (!state->NextUnit() ||
                        !(refine ? DecodeAcRefine(*state, block) : DecodeAcFirst(*state, block))) {
                        return false;
                    }
                }
                if (Block* kept = c.Kept(x, y)) {
                    std::copy(block.begin() + 1, block.end(), kept->begin() + 1);
                }
            }
        }
        return std::none_of(states.begin(), states.end(), [](const auto& state) { return state->bits.Overrun(); });
    }

    std::uint64_t ScanDataEnd(std::uint64_t at) {
        while (in_.Has(at, 2)) {
            const std::uint32_t next = in_.U8(at + 1);
            if (in_.U8(at) == 0xFF && next != 0 && next != 0xFF && (next < 0xD0 || next > 0xD7)) {
                return at;
            }
            ++at;
        }
        return in_.Size();
    }

    bool Finish() {
        if (components_.empty()) {
            return false;
        }
        for (std::size_t i = 0; i < components_.size(); ++i) {
            if (!components_[i].based || !DecodeAcScans(static_cast<int>(i))) {
                return false;
            }
        }
        Output();
        return true;
    }

    void Output();
    std::uint32_t Colour(const std::array<int, 4>& samples) const;

    ByteSource& source_;
    ByteReader in_;
    const PixelTarget& target_;
    std::vector<Component> components_;
    std::array<std::optional<Huffman>, 4> dcTables_;
    std::array<std::optional<Huffman>, 4> acTables_;
    std::array<std::optional<std::array<std::uint16_t, 64>>, 4> quantTables_;
    std::vector<Scan> acScans_;
    std::uint64_t scanDataStart_ = 0;
    int restartInterval_ = 0;
    bool progressive_ = false;
    bool jfif_ = false;
    int adobeTransform_ = -1;
    int width_ = 0;
    int height_ = 0;
    int maxH_ = 1;
    int maxV_ = 1;
    int mcusWide_ = 0;
    int mcusHigh_ = 0;
};

std::uint8_t Clamp(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// Samples of one 8 x 8 block from its dequantised coefficients.
void InverseDct(const Block& block, const std::array<std::uint16_t, 64>& quant, std::uint8_t* out, std::size_t stride) {
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
    std::array<double, 64> rows{};
    for (std::size_t v = 0; v < 8; ++v) {
        for (std::size_t x = 0; x < 8; ++x) {
            double sum = 0;
            for (std::size_t u = 0; u < 8; ++u) {
                sum += basis[x * 8 + u] * block[v * 8 + u] * quant[v * 8 + u];
            }
            rows[v * 8 + x] = sum;
        }
    }
    for (std::size_t y = 0; y < 8; ++y) {
        for (std::size_t x = 0; x < 8; ++x) {
            double sum = 0;
            for (std::size_t v = 0; v < 8; ++v) {
                sum += basis[y * 8 + v] * rows[v * 8 + x];
            }
            out[y * stride + x] = Clamp(sum + 128);
        }
    }
}

std::uint32_t Rgb(int red, int green, int blue) {
    return static_cast<std::uint32_t>(red) << 16 | static_cast<std::uint32_t>(green) << 8 |
           static_cast<std::uint32_t>(blue);
}

std::array<int, 3> FromYCbCr(int y, int cb, int cr) {
    return {Clamp(y + 1.402 * (cr - 128)), Clamp(y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128)),
            Clamp(y + 1.772 * (cb - 128))};
}

std::uint32_t JpegDecoder::Colour(const std::array<int, 4>& s) const {
    switch (components_.size()) {
    case 1:
        return Rgb(s[0], s[0], s[0]);
    case 3: {
        const bool rgb = adobeTransform_ == 0 || (adobeTransform_ < 0 && !jfif_ && components_[0].id == 'R' &&
                                                  components_[1].id == 'G' && components_[2].id == 'B');
        const auto [r, g, b] = rgb ? std::array<int, 3>{s[0], s[1], s[2]} : FromYCbCr(s[0], s[1], s[2]);
        return Rgb(r, g, b);
    }
    default: {
        // Ink amounts; Adobe's files store them inverted, and with transform 2 as luminance and colour difference.
        std::array<int, 4> ink = s;
        if (adobeTransform_ == 2) {
            const auto [r, g, b] = FromYCbCr(s[0], s[1], s[2]);
            ink = {255 - r, 255 - g, 255 - b, s[3]};
        }
        if (adobeTransform_ >= 0) {
            for (int& value : ink) {
                value = 255 - value;
            }
        }
        const auto paper = [&](int amount) { return (255 - amount) * (255 - ink[3]) / 255; };
        return Rgb(paper(ink[0]), paper(ink[1]), paper(ink[2]));
    }
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

void JpegDecoder::Output() {
    struct Plane {
        std::vector<std::uint8_t> samples;
        std::size_t stride;
        std::vector<Taps> across;
        std::vector<Taps> down;
    };
    std::vector<Plane> planes;
    for (Component& c : components_) {
        Plane& plane = planes.emplace_back();
        plane.stride = static_cast<std::size_t>(c.keptWide) * 8;
        plane.samples.resize(plane.stride * static_cast<std::size_t>(c.keptHigh) * 8);
        for (int by = 0; by < c.keptHigh; ++by) {
            for (int bx = 0; bx < c.keptWide; ++bx) {
                InverseDct(*c.Kept(bx, by), c.quant,
                           plane.samples.data() + static_cast<std::size_t>(by) * 8 * plane.stride +
                               static_cast<std::size_t>(bx) * 8,
                           plane.stride);
            }
        }
        std::vector<Block>().swap(c.kept);
        const int wide = std::min(c.keptWide * 8, (width_ * c.h + maxH_ - 1) / maxH_);
        const int high = std::min(c.keptHigh * 8, (height_ * c.v + maxV_ - 1) / maxV_);
        plane.across = TapsFor(target_.width, c.h, maxH_, wide);
        plane.down = TapsFor(target_.height, c.v, maxV_, high);
    }
    for (int y = 0; y < target_.height; ++y) {
        for (int x = 0; x < target_.width; ++x) {
            std::array<int, 4> values{};
            for (std::size_t i = 0; i < planes.size(); ++i) {
                const Plane& p = planes[i];
                const Taps& across = p.across[static_cast<std::size_t>(x)];
                const Taps& down = p.down[static_cast<std::size_t>(y)];
                const auto at = [&](int column, int row) {
                    return static_cast<int>(
                        p.samples[static_cast<std::size_t>(row) * p.stride + static_cast<std::size_t>(column)]);
                };
                const int fullAcross = 2 * maxH_;
                const int fullDown = 2 * maxV_;
                const int upper = at(across.first, down.first) * (fullAcross - across.weight) +
                                  at(across.second, down.first) * across.weight;
                const int lower = at(across.first, down.second) * (fullAcross - across.weight) +
                                  at(across.second, down.second) * across.weight;
                const int scale = fullAcross * fullDown;
                values[i] = (upper * (fullDown - down.weight) + lower * down.weight + scale / 2) / scale;
            }
            target_.Put(x, y, Colour(values));
        }
    }
}

} // namespace

bool DecodeJpeg(ByteSource& source, const PixelTarget& target) {
    JpegDecoder decoder(source, target);
    return decoder.Run();
}

} // namespace tovira
