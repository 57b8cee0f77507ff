#pragma once

// What the stages of the JPEG decoder share, each in its file: the markers and the scans' headers, and the stages
// called in turn (JpegDecode.cpp); the frame, the memory of its kept part and the quantisation tables
// (JpegFrame.cpp); the Huffman tables (JpegHuffman.cpp); the entropy-coded scans (JpegScan.cpp), read through
// JpegBitReader.h; the samples of each block from its coefficients (JpegTransform.cpp); and the interpolation and
// colours of the kept part's pixels (JpegOutput.cpp).
#include "picturefiles/ByteReader.h"
#include "picturefiles/FormatDecoders.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tovira::jpeg {

using Block = std::array<std::int16_t, 64>;
using QuantTable = std::array<std::uint16_t, 64>;

// Where the n-th coefficient of the coded order lies in a block.
extern const std::array<std::uint8_t, 64> kZigzag;

class Huffman {
public:
    // counts[i]: how many codes are i + 1 bits long; false when they do not make a prefix code.
    bool Build(const std::array<std::uint8_t, 16>& counts, const std::vector<std::uint8_t>& symbols);

    // The symbol of the code at the top of the next 16 bits and its length; length 0 when no code matches.
    std::pair<int, int> Match(std::uint32_t next16) const {
        const std::uint16_t fast = fast_[next16 >> (16 - kFastBits)];
        if (fast != 0) {
            return {fast & 0xFF, fast >> 8};
        }
        return MatchLong(next16);
    }
    // For a table of AC codes, what the top bits of the next 16 hold when they hold a whole short code with its
    // value's bits, or the end of a block (the code of run 0 and no value): the bits of both in the lowest 8 bits
    // (ShortBits), the run of zeros before the value in the next 4 (ShortRun), kShortEnd for the end of a block,
    // and the value above bit 16 (ShortValue); 0 when they hold none of these.
    std::int32_t Short(std::uint32_t next16) const { return short_[next16 >> (16 - kFastBits)]; }
    static constexpr std::int32_t kShortEnd = 1 << 12;
    static int ShortBits(std::int32_t known) { return known & 0xFF; }
    static int ShortRun(std::int32_t known) { return known >> 8 & 15; }
    static int ShortValue(std::int32_t known) { return known >> 16; }

private:
    void BuildShort();

    std::pair<int, int> MatchLong(std::uint32_t next16) const;

    static constexpr int kFastBits = 9;
    std::array<std::uint16_t, 1 << kFastBits> fast_{};
    std::array<std::int32_t, 1 << kFastBits> short_{};
    std::array<std::int32_t, 17> maxCode_{};
    std::array<std::int32_t, 17> offset_{};
    std::vector<std::uint8_t> symbols_;
};

struct Component {
    int id = 0;
    int h = 1;
    int v = 1;
    int quantTable = 0;
    // Blocks of this component in the whole picture and in its shown part. Only the rows of the shown part are
    // decoded: what lies below it never reaches the screen.
    int blocksWide = 0;
    int blocksHigh = 0;
    int keptWide = 0;
    int keptHigh = 0;
    // A progressive picture's coefficients of the kept part, until its last scan, held by rows of groups of blocks
    // (each row of groups holds those of every component): the first `groupsInTarget` rows in the target's
    // memory, the rest in Frame::keptStore. Zero for a sequential picture, whose blocks go to samples as they are
    // decoded.
    std::size_t groupBlocks = 0; // blocks of every component in a row of groups
    int groupsInTarget = 0;
    Block* inTarget = nullptr; // this component's first block in the first row of groups of each place
    Block* inStore = nullptr;
    // The samples of the last `heldBlockRows` rows of kept blocks, row y in place y % heldBlockRows: all of them, or
    // the last two rows of groups while a scan that holds every component turns into pixels as it goes, rounded up
    // to a power of two, so that a block's place is found without a division.
    std::vector<std::uint8_t> samples;
    int heldBlockRows = 0;
    // Progressive pictures: which coefficients (bit n for the n-th in coded order) are non-zero in the blocks of
    // the kept rows right of the kept part. A refinement scan's data depends on them, not on their values.
    std::vector<std::uint64_t> beyond;
    QuantTable quant{};
    bool scanned = false;
    // A sequential scan or the first DC scan of a progressive picture has given every block its base value.
    bool based = false;

    std::size_t Stride() const { return static_cast<std::size_t>(keptWide) * 8; }
    void HoldSamples(int blockRows) {
        heldBlockRows = std::min(static_cast<int>(std::bit_ceil(static_cast<unsigned>(blockRows))), keptHigh);
        samples.assign(Stride() * 8 * static_cast<std::size_t>(heldBlockRows), 0);
    }
    // Where a kept block's samples go; null for the blocks outside the kept part.
    std::uint8_t* Samples(int x, int y) {
        if (x >= keptWide || y >= keptHigh) {
            return nullptr;
        }
        const int place = heldBlockRows == keptHigh ? y : y & (heldBlockRows - 1);
        return samples.data() + static_cast<std::size_t>(place) * 8 * Stride() + static_cast<std::size_t>(x) * 8;
    }
    // The first kept block of a row, keptWide of them in a row; null for the rows outside the kept part.
    Block* KeptRow(int y) {
        if (y >= keptHigh || groupBlocks == 0) {
            return nullptr;
        }
        const int group = y / v;
        Block* const first = group < groupsInTarget
                                 ? inTarget + static_cast<std::size_t>(group) * groupBlocks
                                 : inStore + static_cast<std::size_t>(group - groupsInTarget) * groupBlocks;
        return first + static_cast<std::size_t>(y % v * keptWide);
    }
    Block* Kept(int x, int y) {
        Block* const row = x < keptWide ? KeptRow(y) : nullptr;
        return row != nullptr ? row + x : nullptr;
    }
    std::uint64_t* Beyond(int x, int y) {
        return beyond.empty() || x < keptWide || y >= keptHigh
                   ? nullptr
                   : &beyond[static_cast<std::size_t>(y * (blocksWide - keptWide) + x - keptWide)];
    }
};

struct Frame {
    int width = 0;
    int height = 0;
    bool progressive = false;
    int maxH = 1;
    int maxV = 1;
    int mcusWide = 0;
    int mcusHigh = 0;
    std::vector<Component> components;
    // A progressive picture's kept coefficients that the target has no room for.
    std::vector<Block> keptStore;
};

// A marker segment's contents: `size` bytes from `at`, after its marker and length.
struct Segment {
    std::uint64_t at;
    std::uint64_t size;
};

// The frame's header, once: the picture's size and components, and what of each is kept, with the memory that a
// progressive picture's kept coefficients need. False when it does not hold together, or for a second frame.
bool ReadFrame(ByteReader& in, const Segment& s, bool progressive, const PixelTarget& target, Frame& frame);

// The tables that segments define, four of each kind, for the scans after them.
struct Tables {
    std::array<std::optional<Huffman>, 4> dc;
    std::array<std::optional<Huffman>, 4> ac;
    std::array<std::optional<QuantTable>, 4> quant;
};

// The tables of a segment into their places; false when they do not hold together.
bool ReadHuffmanTables(ByteReader& in, const Segment& s, Tables& tables);
bool ReadQuantTables(ByteReader& in, const Segment& s, Tables& tables);

// One scan's header; its tables are the decoder's, which no segment can change while the scan is decoded.
struct Scan {
    std::vector<int> components;
    std::array<const Huffman*, 4> dc{};
    std::array<const Huffman*, 4> ac{};
    int start = 0;
    int end = 63;
    int high = 0;
    int low = 0;
    int restartInterval = 0;
};

class PixelWriter;

// Decodes what a scan holds for the kept rows of its components from its entropy-coded data at `at`, and leaves
// `at` where the reading stopped, inside the scan's data or at its end. False when the data does not hold together
// or ends before the kept rows do. With a writer, the scan holds every component of a sequential picture, whose
// pixels are written after each row of groups of blocks.
bool DecodeScan(ByteReader& in, const Scan& scan, Frame& frame, std::uint64_t& at, PixelWriter* writer);

// Samples of one 8 x 8 block from its coefficients.
void InverseDct(const Block& block, const QuantTable& quant, std::uint8_t* out, std::size_t stride);

// How the components make colours: Adobe's transform flag (-1 without the Adobe segment) and whether the file
// says it is JFIF.
struct ColourModel {
    int adobeTransform = -1;
    bool jfif = false;
};

// The kept part's pixels from the components' samples, target row after target row as the samples that each
// needs are there: the rows of samples are interpolated and coloured as they are made, so that only a few rows of
// blocks of each component are held at a time (all of them for a sequential picture in a scan per component).
class PixelWriter {
public:
    // The components' samples are held (Component::HoldSamples) before.
    PixelWriter(Frame& frame, const ColourModel& model, const PixelTarget& target);
    ~PixelWriter();
    PixelWriter(const PixelWriter&) = delete;
    PixelWriter& operator=(const PixelWriter&) = delete;

    // The first `groups` rows of groups of blocks are decoded (v rows of each component's blocks in each): writes
    // the target rows that they complete.
    void Write(int groups);
    void WriteAll();
    // A progressive picture's pixels once all its scans are decoded: its kept blocks transformed a row of groups at
    // a time, each row's pixels written; frees the coefficients.
    void TransformAndWrite();

private:
    struct Rows;
    std::unique_ptr<Rows> rows_;
};

} // namespace tovira::jpeg
