#include "pictures/PictureDecode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <vector>

namespace tovira {

namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;

std::vector<std::uint32_t> ReadPalette(ByteReader& in, const PictureCheck& check) {
    std::vector<std::uint32_t> palette(std::size_t{1} << std::min(check.bitCount, 8), kBlack);
    for (std::size_t i = 0; i < check.paletteEntries && i < palette.size(); ++i) {
        const std::uint64_t at = check.paletteOffset + i * check.paletteEntryBytes;
        palette[i] = in.U8(at + 2) << 16 | in.U8(at + 1) << 8 | in.U8(at);
    }
    return palette;
}

// One colour channel of a 16- or 32-bit pixel, widened or narrowed to 8 bits.
class Channel {
public:
    explicit Channel(std::uint32_t mask)
        : mask_(mask), shift_(mask == 0 ? 0 : std::countr_zero(mask)), bits_(std::popcount(mask)) {}

    std::uint32_t Of(std::uint32_t pixel) const {
        if (bits_ == 0) {
            return 0;
        }
        const std::uint32_t value = (pixel & mask_) >> shift_;
        if (bits_ >= 8) {
            return value >> (bits_ - 8);
        }
        std::uint32_t wide = 0;
        int filled = 0;
        for (; filled < 8; filled += bits_) {
            wide = wide << bits_ | value;
        }
        return wide >> (filled - 8);
    }

private:
    std::uint32_t mask_;
    int shift_;
    int bits_;
};

bool DecodeBitmapRows(ByteReader& in, const PictureCheck& check, const PixelTarget& target) {
    const std::vector<std::uint32_t> palette = ReadPalette(in, check);
    std::array<std::uint32_t, 3> masks = check.bitCount == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                                              : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
    if (check.compression == 3) {
        masks = {in.U32(check.masksOffset), in.U32(check.masksOffset + 4), in.U32(check.masksOffset + 8)};
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);

    const auto bitCount = static_cast<std::size_t>(check.bitCount);
    const std::uint64_t stride = (static_cast<std::uint64_t>(check.width) * bitCount + 31) / 32 * 4;
    std::vector<unsigned char> row((static_cast<std::size_t>(target.width) * bitCount + 7) / 8);
    for (int y = 0; y < target.height; ++y) {
        const std::uint64_t fileRow =
            check.topDown ? static_cast<std::uint64_t>(y) : static_cast<std::uint64_t>(check.height - 1 - y);
        in.Bytes(check.bitsOffset + fileRow * stride, row);
        for (int x = 0; x < target.width; ++x) {
            const auto at = static_cast<std::size_t>(x);
            std::uint32_t rgb = kBlack;
            switch (check.bitCount) {
            case 1:
            case 4:
            case 8: {
                const std::size_t bit = at * bitCount;
                const std::uint32_t byte = row[bit / 8];
                rgb = palette[(byte >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1)];
                break;
            }
            case 16: {
                const std::uint32_t pixel = row[2 * at] | row[2 * at + 1] << 8;
                rgb = red.Of(pixel) << 16 | green.Of(pixel) << 8 | blue.Of(pixel);
                break;
            }
            case 24:
                rgb = row[3 * at + 2] << 16 | row[3 * at + 1] << 8 | row[3 * at];
                break;
            case 32: {
                const std::uint32_t pixel =
                    row[4 * at] | row[4 * at + 1] << 8 | row[4 * at + 2] << 16 | std::uint32_t{row[4 * at + 3]} << 24;
                rgb = red.Of(pixel) << 16 | green.Of(pixel) << 8 | blue.Of(pixel);
                break;
            }
            }
            target.Put(x, y, rgb);
        }
    }
    return true;
}

// Run-length data runs from the bottom row up; pixels it skips stay black, as Windows leaves them.
class RunLengthRows {
public:
    RunLengthRows(const PictureCheck& check, const PixelTarget& target, std::vector<std::uint32_t> palette)
        : check_(check), target_(target), palette_(std::move(palette)) {}

    // count pixels whose indices are index(0), index(1), ...
    template <typename Index> void Put(std::uint32_t count, Index index) {
        const std::int64_t y = check_.height - 1 - row_;
        if (y >= 0 && y < target_.height) {
            const std::int64_t shown = std::clamp<std::int64_t>(target_.width - x_, 0, count);
            for (std::int64_t i = 0; i < shown; ++i) {
                target_.Put(static_cast<int>(x_ + i), static_cast<int>(y),
                            palette_[index(static_cast<std::uint32_t>(i))]);
            }
        }
        x_ += count;
    }
    void EndOfLine() {
        x_ = 0;
        ++row_;
    }
    void Move(std::uint32_t right, std::uint32_t up) {
        x_ += right;
        row_ += up;
    }
    bool Done() const { return row_ >= check_.height; }

private:
    const PictureCheck& check_;
    const PixelTarget& target_;
    std::vector<std::uint32_t> palette_;
    std::int64_t x_ = 0;
    std::int64_t row_ = 0;
};

bool DecodeRunLength(ByteReader& in, const PictureCheck& check, const PixelTarget& target) {
    target.Fill(kBlack);
    const bool four = check.compression == 2;
    RunLengthRows rows(check, target, ReadPalette(in, check));
    std::uint64_t at = check.bitsOffset;
    const std::uint64_t end = check.bitsOffset + check.bitsSize;
    while (at + 2 <= end && !rows.Done()) { // the padding of absolute runs may step one past the end
        const std::uint32_t count = in.U8(at);
        const std::uint32_t value = in.U8(at + 1);
        at += 2;
        if (count > 0) {
            rows.Put(count, [&](std::uint32_t i) { return four ? (i % 2 == 0 ? value >> 4 : value & 15) : value; });
        } else if (value == 0) {
            rows.EndOfLine();
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (end - at < 2) {
                return false;
            }
            rows.Move(in.U8(at), in.U8(at + 1));
            at += 2;
        } else {
            const std::uint64_t bytes = four ? (value + 1) / 2 : value;
            if (end - at < bytes) {
                return false;
            }
            rows.Put(value, [&](std::uint32_t i) {
                const std::uint32_t byte = in.U8(at + (four ? i / 2 : i));
                return four ? (i % 2 == 0 ? byte >> 4 : byte & 15) : byte;
            });
            at += (bytes + 1) & ~std::uint64_t{1};
        }
    }
    return true;
}

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

} // namespace

void PixelTarget::Fill(std::uint32_t rgb) const {
    std::fill_n(pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(height), rgb);
}

bool DecodePicture(ByteSource& source, const PictureCheck& check, const PixelTarget& target) {
    ByteReader in(source);
    switch (check.format) {
    case PictureFormat::Bitmap:
        return check.compression == 1 || check.compression == 2 ? DecodeRunLength(in, check, target)
                                                                : DecodeBitmapRows(in, check, target);
    case PictureFormat::Gif:
        return DecodeGif(in, check, target);
    case PictureFormat::Jpeg:
        return DecodeJpeg(source, target);
    case PictureFormat::Unknown:
    case PictureFormat::Icon:
    case PictureFormat::Metafile:
        return false;
    }
    return false;
}

} // namespace tovira
