#include "platform/win32/PictureBytes.h"

namespace tovira::win32 {

namespace {

constexpr std::size_t kFileHeaderSize = 14;

class Reader {
public:
    explicit Reader(std::span<const unsigned char> bytes) : bytes_(bytes) {}

    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    std::uint32_t U8(std::size_t offset) const { return bytes_[offset]; }
    std::uint32_t U16(std::size_t offset) const { return U8(offset) | U8(offset + 1) << 8; }
    std::uint32_t U16Big(std::size_t offset) const { return U8(offset) << 8 | U8(offset + 1); }
    std::uint32_t U32(std::size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }
    std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    std::size_t Size() const { return bytes_.size(); }

private:
    std::span<const unsigned char> bytes_;
};

bool PixelCountAllowed(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width * height <= kMaxPicturePixels;
}

PictureCheck CheckBitmap(const Reader& in) {
    PictureCheck check;
    if (!in.Has(0, kFileHeaderSize + 16)) {
        return check;
    }
    const std::uint32_t bitsOffset = in.U32(10);
    const std::uint32_t infoSize = in.U32(kFileHeaderSize);
    const bool core = infoSize == 12;
    if (!core && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124) {
        return check;
    }
    if (!in.Has(kFileHeaderSize, infoSize)) {
        return check;
    }

    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t planes = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
    if (core) {
        width = in.U16(18);
        height = in.U16(20);
        planes = in.U16(22);
        bitCount = in.U16(24);
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) {
            return check;
        }
    } else {
        width = in.I32(18);
        height = in.I32(22);
        planes = in.U16(26);
        bitCount = in.U16(28);
        compression = in.U32(30);
        imageSize = in.U32(34);
        coloursUsed = in.U32(46);
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) {
            return check;
        }
    }
    const bool topDown = height < 0;
    const std::int64_t rows = topDown ? -height : height;
    if (planes != 1 || width <= 0 || rows <= 0 ||
        !PixelCountAllowed(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(rows))) {
        return check;
    }

    // Run-length data only comes bottom-up, and only at the depth it was made for.
    const bool rle = compression == 1 || compression == 2;
    const bool compressionFits = compression == 0 || (compression == 1 && bitCount == 8 && !topDown) ||
                                 (compression == 2 && bitCount == 4 && !topDown) ||
                                 (compression == 3 && (bitCount == 16 || bitCount == 32));
    if (!compressionFits) {
        return check;
    }

    std::uint64_t colours = coloursUsed;
    if (bitCount <= 8) {
        const std::uint64_t most = 1ull << bitCount;
        if (colours == 0) {
            colours = most;
        } else if (colours > most) {
            return check;
        }
    }
    const std::uint64_t masks = (infoSize == 40 && compression == 3) ? 12 : 0;
    const std::uint64_t infoEnd = kFileHeaderSize + infoSize + masks + colours * (core ? 3 : 4);
    if (!in.Has(0, infoEnd) || bitsOffset < infoEnd) {
        return check;
    }

    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
    const std::uint64_t bitsSize = rle ? imageSize : stride * static_cast<std::uint64_t>(rows);
    if (bitsSize == 0 || !in.Has(bitsOffset, bitsSize)) {
        return check;
    }

    check.format = PictureFormat::Bitmap;
    check.width = static_cast<int>(width);
    check.height = static_cast<int>(rows);
    check.infoEnd = static_cast<std::size_t>(infoEnd);
    check.bitsOffset = bitsOffset;
    check.bitsSize = static_cast<std::size_t>(bitsSize);
    check.topDown = topDown;
    return check;
}

PictureCheck CheckGif(const Reader& in) {
    PictureCheck check;
    if (!in.Has(0, 13)) {
        return check;
    }
    const std::uint32_t width = in.U16(6);
    const std::uint32_t height = in.U16(8);
    if (PixelCountAllowed(width, height)) {
        check.format = PictureFormat::Gif;
        check.width = static_cast<int>(width);
        check.height = static_cast<int>(height);
    }
    return check;
}

PictureCheck CheckJpeg(const Reader& in) {
    PictureCheck check;
    std::size_t at = 2;
    while (in.Has(at, 4)) {
        if (in.U8(at) != 0xFF) {
            return check;
        }
        const std::uint32_t marker = in.U8(at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const std::uint32_t length = in.U16Big(at + 2);
        if (length < 2 || marker == 0xDA || marker == 0xD9) {
            return check;
        }
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 8 || !in.Has(at + 2, length)) {
                return check;
            }
            const std::uint32_t height = in.U16Big(at + 5);
            const std::uint32_t width = in.U16Big(at + 7);
            if (PixelCountAllowed(width, height)) {
                check.format = PictureFormat::Jpeg;
                check.width = static_cast<int>(width);
                check.height = static_cast<int>(height);
            }
            return check;
        }
        at += 2 + length;
    }
    return check;
}

PictureCheck CheckIcon(const Reader& in) {
    PictureCheck check;
    const std::uint32_t count = in.U16(4);
    if (count == 0 || !in.Has(6, 16ull * count)) {
        return check;
    }
    for (std::uint32_t entry = 0; entry < count; ++entry) {
        const std::size_t at = 6 + 16 * static_cast<std::size_t>(entry);
        if (!in.Has(in.U32(at + 12), in.U32(at + 8)) || in.U32(at + 8) == 0) {
            return check;
        }
    }
    check.format = PictureFormat::Icon;
    return check;
}

PictureCheck CheckMetafile(const Reader& in) {
    // Only the placeable form, which carries the size the picture is meant to have.
    PictureCheck check;
    constexpr std::size_t kPlaceableSize = 22;
    constexpr std::size_t kHeaderSize = 18;
    if (!in.Has(0, kPlaceableSize + kHeaderSize)) {
        return check;
    }
    const auto left = static_cast<std::int16_t>(in.U16(6));
    const auto top = static_cast<std::int16_t>(in.U16(8));
    const auto right = static_cast<std::int16_t>(in.U16(10));
    const auto bottom = static_cast<std::int16_t>(in.U16(12));
    const std::uint32_t unitsPerInch = in.U16(14);
    const std::uint32_t type = in.U16(kPlaceableSize);
    const std::uint32_t headerWords = in.U16(kPlaceableSize + 2);
    if (right <= left || bottom <= top || unitsPerInch == 0 || (type != 1 && type != 2) || headerWords != 9) {
        return check;
    }
    check.format = PictureFormat::Metafile;
    return check;
}

} // namespace

PictureCheck CheckPictureBytes(std::span<const unsigned char> bytes) {
    const Reader in(bytes);
    if (bytes.size() > kMaxPictureFileBytes || !in.Has(0, 6)) {
        return {};
    }
    if (in.U8(0) == 'B' && in.U8(1) == 'M') {
        return CheckBitmap(in);
    }
    if (in.U32(0) == 0x38464947 && (in.U16(4) == 0x6137 || in.U16(4) == 0x6139)) { // "GIF8" "7a"/"9a"
        return CheckGif(in);
    }
    if (in.U8(0) == 0xFF && in.U8(1) == 0xD8 && in.U8(2) == 0xFF) {
        return CheckJpeg(in);
    }
    if (in.U16(0) == 0 && in.U16(2) == 1) {
        return CheckIcon(in);
    }
    if (in.U32(0) == 0x9AC6CDD7) {
        return CheckMetafile(in);
    }
    return {};
}

} // namespace tovira::win32
