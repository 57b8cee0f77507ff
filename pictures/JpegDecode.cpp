// A JPEG decoder (Huffman-coded, sequential and progressive, 8-bit) that keeps only the top-left part that is
// shown. Windows' own decoders hold the whole picture in memory, and a progressive one even all its coefficients,
// which for a large photograph is hundreds of MiB. Here the scans are decoded one after the other as far as the
// kept rows reach, coefficients are kept only for the blocks that are shown, and what a refinement scan needs to
// know of the other blocks of those rows is which of their coefficients are non-zero: time and memory follow the
// file's size and the shown part, whatever size the header states. This file reads the markers and the frame;
// JpegScan.cpp decodes the scans and JpegOutput.cpp makes the pixels.
#include "pictures/JpegParts.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

namespace tovira {

namespace {

using namespace jpeg;

// Every scan is decoded across the whole width of the kept rows, so the time grows with the number of scans, and
// a file of many scans that repeat one another costs little to make. An encoder's progressive scripts use 6 scans
// for grey and 10 for colour, tuned ones up to some 20, and a scan per band and refinement step of every
// component would be far more than any encoder writes. 100 is what libjpeg-turbo's own fuzzers allow: ten times
// the ordinary, and at most 100 passes over the kept rows.
constexpr int kMostScans = 100;
// A progressive picture's refinement scans read the blocks right of the kept part too, so which of their
// coefficients are non-zero is kept, 8 bytes a block: its cost grows with the picture's width, not the kept part.
// 16 MiB holds a picture some 29000 pixels wide in three full components, and keeps the decoder's whole need under
// 64 MiB (the kept coefficients, at most 26 MiB, and a few rows of samples beside it); a wider one is refused.
constexpr std::size_t kMostBeyondBytes = 16 << 20;

class JpegDecoder {
public:
    JpegDecoder(ByteSource& source, const PixelTarget& target) : in_(source), target_(target) {}

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
            at += 2 + length;
            if (!Handle(marker, {at - length + 2, length - 2}, at)) {
                return false;
            }
        }
        return Finish();
    }

private:
    struct Segment {
        std::uint64_t at;
        std::uint64_t size;
    };

    // `next`: where the next marker is looked for, past the scan's data after a scan.
    bool Handle(std::uint32_t marker, const Segment& segment, std::uint64_t& next) {
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
            return ++scans_ <= kMostScans && ReadScan(segment, next);
        case 0xE0:
            colours_.jfif = colours_.jfif || (segment.size >= 5 && in_.U32(segment.at) == 0x4649464A); // "JFIF"
            return true;
        case 0xEE:
            if (segment.size >= 12 && in_.U32(segment.at) == 0x626F6441 && in_.U8(segment.at + 4) == 'e') {
                colours_.adobeTransform = static_cast<int>(in_.U8(segment.at + 11));
            }
            return true;
        default:
            // Other frame kinds (lossless, hierarchical, arithmetic coding) are not read; other segments skipped.
            return marker < 0xC0 || marker > 0xCF || marker == 0xC8;
        }
    }

    bool ReadFrame(const Segment& s, bool progressive) {
        if (!frame_.components.empty() || s.size < 6 || in_.U8(s.at) != 8) {
            return false;
        }
        frame_.progressive = progressive;
        frame_.height = static_cast<int>(in_.U16Big(s.at + 1));
        frame_.width = static_cast<int>(in_.U16Big(s.at + 3));
        const std::uint32_t count = in_.U8(s.at + 5);
        if ((count != 1 && count != 3 && count != 4) || s.size < 6 + 3 * count || frame_.width == 0 ||
            frame_.height == 0) {
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
            frame_.maxH = std::max(frame_.maxH, c.h);
            frame_.maxV = std::max(frame_.maxV, c.v);
            frame_.components.push_back(std::move(c));
        }
        frame_.mcusWide = (frame_.width + 8 * frame_.maxH - 1) / (8 * frame_.maxH);
        frame_.mcusHigh = (frame_.height + 8 * frame_.maxV - 1) / (8 * frame_.maxV);
        std::size_t beyondBytes = 0;
        for (Component& c : frame_.components) {
            SizeComponent(c);
            beyondBytes += BeyondBlocks(c) * sizeof(std::uint64_t);
        }
        if (frame_.progressive && beyondBytes > kMostBeyondBytes) {
            return false;
        }
        if (frame_.progressive) {
            KeepCoefficients();
        }
        return true;
    }

    static std::size_t BeyondBlocks(const Component& c) {
        return static_cast<std::size_t>(c.blocksWide - c.keptWide) * static_cast<std::size_t>(c.keptHigh);
    }

    void SizeComponent(Component& c) const {
        c.blocksWide = ((frame_.width * c.h + frame_.maxH - 1) / frame_.maxH + 7) / 8;
        c.blocksHigh = ((frame_.height * c.v + frame_.maxV - 1) / frame_.maxV + 7) / 8;
        // A shown pixel's colour lies between two samples of a subsampled component: one more is kept.
        c.keptWide = std::min(c.blocksWide, (target_.width * c.h / frame_.maxH + 1) / 8 + 1);
        c.keptHigh = std::min(c.blocksHigh, (target_.height * c.v / frame_.maxV + 1) / 8 + 1);
    }

    // A progressive picture's coefficients are held until its last scan. Rows of groups of blocks are turned into
    // pixels in their order, each before the pixels of the next are written, so where a row of groups' coefficients
    // take fewer bytes than its pixels (grey, and colour difference at half the resolution or less), they are held
    // at the target's end, each row's as far on as the pixels written before it leave them: only the last row or
    // two need memory of their own, and the pages that the coefficients touch are those that the pixels take
    // anyway.
    void KeepCoefficients() {
        int groups = 0;
        std::size_t groupBlocks = 0;
        for (const Component& c : frame_.components) {
            groups = std::max(groups, (c.keptHigh + c.v - 1) / c.v);
            groupBlocks += static_cast<std::size_t>(c.v) * static_cast<std::size_t>(c.keptWide);
        }
        const auto rowBytes = static_cast<std::size_t>(target_.width) * sizeof(std::uint32_t);
        const std::size_t targetBytes = rowBytes * static_cast<std::size_t>(target_.height);
        const std::size_t groupBytes = groupBlocks * sizeof(Block);
        const std::size_t groupPixelBytes = rowBytes * 8 * static_cast<std::size_t>(frame_.maxV);
        // Row of groups g may lie no lower than the pixels of the rows before it, g * groupPixelBytes; with the
        // rows in the target ending at its end, the last of them decides.
        const std::size_t inTarget =
            groupBytes > groupPixelBytes || targetBytes < groupBytes
                ? 0
                : std::min(static_cast<std::size_t>(groups), (targetBytes - groupBytes) / groupPixelBytes + 1);
        Block* inTargetBlocks = nullptr;
        if (inTarget > 0) {
            auto* const first = reinterpret_cast<Block*>(reinterpret_cast<unsigned char*>(target_.pixels) +
                                                         targetBytes - inTarget * groupBytes);
            std::uninitialized_value_construct_n(first, inTarget * groupBlocks);
            inTargetBlocks = std::launder(first);
        }
        frame_.keptStore.assign((static_cast<std::size_t>(groups) - inTarget) * groupBlocks, Block{});
        std::size_t offset = 0;
        for (Component& c : frame_.components) {
            c.groupBlocks = groupBlocks;
            c.groupsInTarget = static_cast<int>(inTarget);
            c.inTarget = inTargetBlocks != nullptr ? inTargetBlocks + offset : nullptr;
            c.inStore = frame_.keptStore.empty() ? nullptr : frame_.keptStore.data() + offset;
            offset += static_cast<std::size_t>(c.v) * static_cast<std::size_t>(c.keptWide);
            c.beyond.assign(BeyondBlocks(c), 0);
        }
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

    bool ReadScan(const Segment& s, std::uint64_t& next) {
        if (writer_) {
            // Each component of a sequential picture has one scan; what follows the one that held them all is
            // passed over.
            next = ScanDataEnd(s.at + s.size);
            return true;
        }
        Scan scan;
        if (!ReadScanHeader(s, scan) || !ScanFits(scan) || !LatchQuantTables(scan)) {
            return false;
        }
        if (!frame_.progressive && frame_.components.front().heldBlockRows == 0) {
            // A scan of every component is turned into pixels as it goes, so two rows of groups of blocks are held
            // of each; with a scan per component, all of them until the last.
            const bool whole = scan.components.size() == frame_.components.size();
            for (Component& c : frame_.components) {
                c.HoldSamples(whole ? 2 * c.v : c.keptHigh);
            }
            if (whole) {
                writer_.emplace(frame_, colours_, target_);
            }
        }
        std::uint64_t at = s.at + s.size;
        if (!DecodeScan(in_, scan, frame_, at, writer_ ? &*writer_ : nullptr)) {
            return false;
        }
        if (writer_) {
            writer_->WriteAll();
        }
        if (scan.start == 0 && scan.high == 0) {
            for (int index : scan.components) {
                frame_.components[static_cast<std::size_t>(index)].based = true;
            }
        }
        next = ScanDataEnd(at);
        return true;
    }

    bool ReadScanHeader(const Segment& s, Scan& scan) {
        if (frame_.components.empty() || s.size < 1) {
            return false;
        }
        const std::uint32_t count = in_.U8(s.at);
        if (count < 1 || count > 4 || s.size < 4 + 2 * count) {
            return false;
        }
        int unitBlocks = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto id = static_cast<int>(in_.U8(s.at + 1 + 2 * i));
            const auto& components = frame_.components;
            const auto found =
                std::find_if(components.begin(), components.end(), [&](const Component& c) { return c.id == id; });
            const auto index = static_cast<int>(found - components.begin());
            if (found == components.end() ||
                std::find(scan.components.begin(), scan.components.end(), index) != scan.components.end()) {
                return false;
            }
            scan.components.push_back(index);
            unitBlocks += found->h * found->v;
            const std::uint32_t tables = in_.U8(s.at + 2 + 2 * i);
            if ((tables >> 4) > 3 || (tables & 15) > 3) {
                return false;
            }
            const auto& dc = dcTables_[tables >> 4];
            const auto& ac = acTables_[tables & 15];
            scan.dc[i] = dc ? &*dc : nullptr;
            scan.ac[i] = ac ? &*ac : nullptr;
        }
        const std::uint64_t at = s.at + 1 + 2 * count;
        scan.start = static_cast<int>(in_.U8(at));
        scan.end = static_cast<int>(in_.U8(at + 1));
        scan.high = static_cast<int>(in_.U8(at + 2) >> 4);
        scan.low = static_cast<int>(in_.U8(at + 2) & 15);
        scan.restartInterval = restartInterval_;
        return count == 1 || unitBlocks <= 10;
    }

    // The scan's band and precision fit the frame's kind, and it only uses tables defined before it.
    bool ScanFits(const Scan& scan) const {
        const bool dcNeeded = scan.start == 0 && scan.high == 0;
        const bool acNeeded = scan.end > 0;
        for (std::size_t i = 0; i < scan.components.size(); ++i) {
            if ((dcNeeded && scan.dc[i] == nullptr) || (acNeeded && scan.ac[i] == nullptr)) {
                return false;
            }
        }
        if (!frame_.progressive) {
            return scan.start == 0 && scan.end == 63 && scan.high == 0 && scan.low == 0;
        }
        const bool dc = scan.start == 0;
        return !((dc && scan.end != 0) ||
                 (!dc && (scan.components.size() != 1 || scan.end < scan.start || scan.end > 63)) || scan.low > 13 ||
                 (scan.high != 0 && scan.high != scan.low + 1));
    }

    bool LatchQuantTables(const Scan& scan) {
        for (int index : scan.components) {
            Component& c = frame_.components[static_cast<std::size_t>(index)];
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

    // The first marker after a scan's data, from where its decoding stopped: the window's bytes are searched for
    // 0xFF, and the byte after one is read before the reader moves on, so the reader goes forwards only.
    std::uint64_t ScanDataEnd(std::uint64_t at) {
        while (in_.Has(at, 2)) {
            const std::span<const unsigned char> bytes = in_.Ahead(at, 2);
            const auto* mark = static_cast<const unsigned char*>(std::memchr(bytes.data(), 0xFF, bytes.size() - 1));
            if (mark == nullptr) {
                at += bytes.size() - 1;
                continue;
            }
            at += static_cast<std::uint64_t>(mark - bytes.data());
            const std::uint32_t next = mark[1];
            if (next != 0 && next != 0xFF && (next < 0xD0 || next > 0xD7)) {
                return at;
            }
            ++at;
        }
        return in_.Size();
    }

    bool Finish() {
        if (frame_.components.empty() || std::any_of(frame_.components.begin(), frame_.components.end(),
                                                     [](const Component& c) { return !c.based; })) {
            return false;
        }
        if (frame_.progressive) {
            for (Component& c : frame_.components) {
                c.HoldSamples(2 * c.v);
            }
            PixelWriter(frame_, colours_, target_).TransformAndWrite();
        } else if (!writer_) {
            PixelWriter(frame_, colours_, target_).WriteAll();
        }
        return true;
    }

    ByteReader in_;
    const PixelTarget& target_;
    Frame frame_;
    std::array<std::optional<Huffman>, 4> dcTables_;
    std::array<std::optional<Huffman>, 4> acTables_;
    std::array<std::optional<QuantTable>, 4> quantTables_;
    ColourModel colours_;
    std::optional<PixelWriter> writer_;
    int restartInterval_ = 0;
    int scans_ = 0;
};

} // namespace

bool DecodeJpeg(ByteSource& source, const PixelTarget& target) {
    JpegDecoder decoder(source, target);
    return decoder.Run();
}

} // namespace tovira
