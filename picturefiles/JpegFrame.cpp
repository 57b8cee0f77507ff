// The frame: the picture's size and components, how much of each component is kept, and the memory that holds a
// progressive picture's kept coefficients until its last scan; and the quantisation tables that the components name.
#include "picturefiles/JpegParts.h"

#include <algorithm>
#include <memory>
#include <new>

namespace tovira::jpeg {

namespace {

// A progressive picture's refinement scans read the blocks right of the kept part too, so which of their
// coefficients are non-zero is kept, 8 bytes a block: its cost grows with the picture's width, not the kept part.
// 16 MiB holds a picture some 29000 pixels wide in three full components, and keeps the decoder's whole need under
// 64 MiB (the kept coefficients, at most 26 MiB, and a few rows of samples beside it); a wider one is refused.
constexpr std::size_t kMostBeyondBytes = 16 << 20;

// The frame header's reading and the set-up of what it describes.
class FrameReader {
public:
    FrameReader(ByteReader& in, const PixelTarget& target, Frame& frame) : in_(in), target_(target), frame_(frame) {}

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

private:
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

    ByteReader& in_;
    const PixelTarget& target_;
    Frame& frame_;
};

} // namespace

bool ReadFrame(ByteReader& in, const Segment& s, bool progressive, const PixelTarget& target, Frame& frame) {
    return FrameReader(in, target, frame).ReadFrame(s, progressive);
}

bool ReadQuantTables(ByteReader& in, const Segment& s, Tables& tables) {
    for (std::uint64_t at = s.at; at < s.at + s.size;) {
        const std::uint32_t kind = in.U8(at);
        const std::uint64_t valueBytes = (kind >> 4) + 1;
        if ((kind >> 4) > 1 || (kind & 15) > 3 || s.at + s.size - at < 1 + 64 * valueBytes) {
            return false;
        }
        auto& table = tables.quant[kind & 15].emplace();
        for (std::size_t k = 0; k < 64; ++k) {
            const std::uint64_t value = at + 1 + k * valueBytes;
            table[kZigzag[k]] = static_cast<std::uint16_t>(valueBytes == 2 ? in.U16Big(value) : in.U8(value));
        }
        at += 1 + 64 * valueBytes;
    }
    return true;
}

} // namespace tovira::jpeg
