// GIF: the first image of the file, its LZW-compressed indices decoded as far as the kept rows reach.
#include "picturefiles/FormatDecoders.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace tovira {

namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;

// The data of a GIF image: a chain of blocks, each a length byte and that many bytes, ended by an empty one.
class SubBlocks {
public:
    SubBlocks(ByteReader& in, std::uint64_t at) : in_(in), at_(at) {}

    bool Next(std::uint32_t& byte) {
        while (left_ == 0) {
            if (ended_ || !in_.Has(at_, 1)) {
                return false;
            }
            left_ = in_.U8(at_++);
            ended_ = left_ == 0;
        }
        if (!in_.Has(at_, 1)) {
            return false;
        }
        byte = in_.U8(at_++);
        --left_;
        return true;
    }
    std::uint64_t Position() const { return at_; }
    // To the end of the chain, where the next part of the file begins; false when the file ends inside it.
    bool SkipToEnd() {
        std::uint32_t ignored = 0;
        while (Next(ignored)) {
        }
        return ended_;
    }

private:
    ByteReader& in_;
    std::uint64_t at_;
    std::uint32_t left_ = 0;
    bool ended_ = false;
};

struct GifImage {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    int transparent = -1;
    std::vector<std::uint32_t> colours;
};

// The picture row that the n-th stored row of an interlaced image belongs to: rows 0, 8, 16, ... come first,
// then 4, 12, ..., then 2, 6, ..., then the odd rows.
int InterlacedRow(int n, int height) {
    constexpr int kStart[] = {0, 4, 2, 1};
    constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const int rows = height > kStart[pass] ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
        if (n < rows) {
            return kStart[pass] + n * kStep[pass];
        }
        n -= rows;
    }
    return height;
}

// How many of an image's stored rows reach the target; decoding stops after them, as the rows below never show.
// Interlaced rows are stored pass by pass, so the last one needed may come late.
std::uint64_t StoredRowsShown(const GifImage& image, const PixelTarget& target) {
    const int shown = std::clamp(target.height - image.top, 0, image.height);
    if (!image.interlaced) {
        return static_cast<std::uint64_t>(shown);
    }
    std::uint64_t needed = 0;
    for (int n = 0; n < image.height; ++n) {
        if (InterlacedRow(n, image.height) < shown) {
            needed = static_cast<std::uint64_t>(n) + 1;
        }
    }
    return needed;
}

// An image's pixels as they come out of the decompressor, put where they show: rows in stored order, interlaced
// ones moved to their place, and none after the last stored row that shows.
class GifPixelSink {
public:
    GifPixelSink(const GifImage& image, const PixelTarget& target)
        : image_(image), target_(target),
          total_(static_cast<std::uint64_t>(image.width) * StoredRowsShown(image, target)) {}

    bool Full() const { return done_ >= total_; }
    void Put(std::uint32_t index) {
        if (done_ < total_) {
            const auto width = static_cast<std::uint64_t>(image_.width);
            const int row = static_cast<int>(done_ / width);
            const int x = image_.left + static_cast<int>(done_ % width);
            const int y = image_.top + (image_.interlaced ? InterlacedRow(row, image_.height) : row);
            if (x < target_.width && y < target_.height && static_cast<int>(index) != image_.transparent) {
                target_.Put(x, y, index < image_.colours.size() ? image_.colours[index] : kBlack);
            }
        }
        ++done_;
    }

private:
    const GifImage& image_;
    const PixelTarget& target_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
};

// The variable-length codes of the compressed data, least significant bit first across the sub-blocks.
class GifCodeReader {
public:
    explicit GifCodeReader(SubBlocks& data) : data_(data) {}
    std::optional<int> Next(int codeSize) {
        while (count_ < codeSize) {
            std::uint32_t byte = 0;
            if (!data_.Next(byte)) {
                return std::nullopt;
            }
            bits_ |= byte << count_;
            count_ += 8;
        }
        const int code = static_cast<int>(bits_ & ((1u << codeSize) - 1));
        bits_ >>= codeSize;
        count_ -= codeSize;
        return code;
    }

private:
    SubBlocks& data_;
    std::uint32_t bits_ = 0;
    int count_ = 0;
};

// The decompressor's table of strings: each code stands for an earlier code's string and one byte more.
class GifStrings {
public:
    static constexpr int kCodes = 4096;
    explicit GifStrings(int minCodeSize) : clear_(1 << minCodeSize) {
        for (int code = 0; code < clear_; ++code) {
            suffix_[At(code)] = first_[At(code)] = static_cast<std::uint8_t>(code);
        }
    }
    // Puts a code's string out and answers the code whose string it begins with. The string of a code not yet in
    // the table (next) is the previous string and that string's own first byte.
    int Emit(int code, int previous, int next, GifPixelSink& sink) {
        const int known = code == next ? previous : code;
        std::size_t length = 0;
        if (code == next) {
            string_[length++] = first_[At(previous)];
        }
        for (int walk = known; walk >= 0; walk = walk >= clear_ ? prefix_[At(walk)] : -1) {
            string_[length++] = suffix_[At(walk)];
        }
        while (length > 0) {
            sink.Put(string_[--length]);
        }
        return known;
    }
    void Add(int next, int previous, int known) {
        prefix_[At(next)] = static_cast<std::uint16_t>(previous);
        first_[At(next)] = first_[At(previous)];
        suffix_[At(next)] = first_[At(known)];
    }

private:
    static std::size_t At(int code) { return static_cast<std::size_t>(code); }
    int clear_;
    std::vector<std::uint16_t> prefix_ = std::vector<std::uint16_t>(kCodes);
    std::vector<std::uint8_t> suffix_ = std::vector<std::uint8_t>(kCodes);
    std::vector<std::uint8_t> first_ = std::vector<std::uint8_t>(kCodes);
    std::vector<std::uint8_t> string_ = std::vector<std::uint8_t>(kCodes);
};

bool DecodeGifPixels(SubBlocks& data, int minCodeSize, const GifImage& image, const PixelTarget& target) {
    if (minCodeSize < 2 || minCodeSize > 8) {
        return false;
    }
    GifStrings strings(minCodeSize);
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    GifPixelSink sink(image, target);
    GifCodeReader codes(data);
    int codeSize = minCodeSize + 1;
    int next = end + 1;
    int previous = -1;
    while (!sink.Full()) {
        const std::optional<int> read = codes.Next(codeSize);
        if (!read) {
            return false;
        }
        const int code = *read;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end) {
            break;
        }
        if (code > next || (previous < 0 && code >= clear)) {
            return false;
        }
        const int known = strings.Emit(code, previous, next, sink);
        if (previous >= 0 && next < GifStrings::kCodes) {
            strings.Add(next, previous, known);
            ++next;
            if (next == 1 << codeSize && codeSize < 12) {
                ++codeSize;
            }
        }
        previous = code;
    }
    return sink.Full();
}

std::vector<std::uint32_t> ReadColourTable(ByteReader& in, std::uint64_t& at, std::uint32_t flags) {
    const std::size_t entries = std::size_t{2} << (flags & 7);
    std::vector<std::uint32_t> colours;
    if (!in.Has(at, 3 * entries)) {
        return colours;
    }
    for (std::size_t i = 0; i < entries; ++i, at += 3) {
        colours.push_back(in.U8(at) << 16 | in.U8(at + 1) << 8 | in.U8(at + 2));
    }
    return colours;
}

} // namespace

// The first image of the file on the logical screen; what it leaves uncovered or transparent is white, as a
// picture drawn on paper.
bool DecodeGif(ByteReader& in, const PictureCheck& check, const PixelTarget& target) {
    target.Fill(kWhite);
    std::uint64_t at = 13;
    GifImage image;
    const std::uint32_t screenFlags = in.U8(10);
    if ((screenFlags & 0x80) != 0 && (image.colours = ReadColourTable(in, at, screenFlags)).empty()) {
        return false;
    }
    while (in.Has(at, 1)) {
        const std::uint32_t kind = in.U8(at);
        if (kind == 0x21 && in.Has(at, 2)) {
            const std::uint32_t label = in.U8(at + 1);
            if (label == 0xF9 && in.Has(at + 2, 5) && in.U8(at + 2) == 4) {
                image.transparent = (in.U8(at + 3) & 1) != 0 ? static_cast<int>(in.U8(at + 6)) : -1;
            }
            SubBlocks blocks(in, at + 2);
            if (!blocks.SkipToEnd()) {
                return false;
            }
            at = blocks.Position();
            continue;
        }
        if (kind != 0x2C || !in.Has(at, 11)) {
            return false;
        }
        image.left = static_cast<int>(in.U16(at + 1));
        image.top = static_cast<int>(in.U16(at + 3));
        image.width = static_cast<int>(in.U16(at + 5));
        image.height = static_cast<int>(in.U16(at + 7));
        const std::uint32_t flags = in.U8(at + 9);
        image.interlaced = (flags & 0x40) != 0;
        at += 10;
        if ((flags & 0x80) != 0 && (image.colours = ReadColourTable(in, at, flags)).empty()) {
            return false;
        }
        if (image.width == 0 || image.height == 0 || image.left + image.width > check.width ||
            image.top + image.height > check.height || image.colours.empty() || !in.Has(at, 1)) {
            return false;
        }
        SubBlocks data(in, at + 1);
        return DecodeGifPixels(data, static_cast<int>(in.U8(at)), image, target);
    }
    return false;
}

} // namespace tovira
