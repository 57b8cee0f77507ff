// Bitmaps: the rows of the uncompressed depths, with a palette or colour masks, and the run-length forms of 8 and
// 4 bits a pixel.
#include "picturefiles/FormatDecoders.h"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

namespace tovira {

namespace {

constexpr std::uint32_t kBlack = 0x000000;

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

bool DecodeBitmapRunLength(ByteReader& in, const PictureCheck& check, const PixelTarget& target) {
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

} // namespace

bool DecodeBitmap(ByteReader& in, const PictureCheck& check, const PixelTarget& target) {
    return check.compression == 1 || check.compression == 2 ? DecodeBitmapRunLength(in, check, target)
                                                            : DecodeBitmapRows(in, check, target);
}

} // namespace tovira
