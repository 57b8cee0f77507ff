// A JPEG decoder (Huffman-coded, sequential and progressive, 8-bit) that keeps only the top-left part that is
// shown. Windows' own decoders hold the whole picture in memory, and a progressive one even all its coefficients,
// which for a large photograph is hundreds of MiB. Here the scans are decoded one after the other as far as the
// kept rows reach, coefficients are kept only for the blocks that are shown, and what a refinement scan needs to
// know of the other blocks of those rows is which of their coefficients are non-zero: time and memory follow the
// file's size and the shown part, whatever size the header states. This file reads the markers and the scans'
// headers and hands each stage its part; JpegParts.h names the files of the stages.
#include "picturefiles/JpegParts.h"

#include <algorithm>
#include <cstring>
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
    // `next`: where the next marker is looked for, past the scan's data after a scan.
    bool Handle(std::uint32_t marker, const Segment& segment, std::uint64_t& next) {
        switch (marker) {
        case 0xC0:
        case 0xC1:
        case 0xC2:
            return ReadFrame(in_, segment, marker == 0xC2, target_, frame_);
        case 0xC4:
            return ReadHuffmanTables(in_, segment, tables_);
        case 0xDB:
            return ReadQuantTables(in_, segment, tables_);
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
            const auto& dc = tables_.dc[tables >> 4];
            const auto& ac = tables_.ac[tables & 15];
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
                const auto& table = tables_.quant[static_cast<std::size_t>(c.quantTable)];
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
    Tables tables_;
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
