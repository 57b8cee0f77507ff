#include "picturefiles/PictureCheck.h"

#include <optional>

namespace tovira {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kLargestIconSide = 256;

bool PixelCountAllowed(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width * height <= kMaxPicturePixels;
}

// The info header's fields as stored, in one form for the old core header and the later ones; none when the header
// is of no kind or depth that a bitmap file may have.
struct BitmapHeader {
    std::uint32_t infoSize = 0;
    bool core = false;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t planes = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
};

std::optional<BitmapHeader> ReadBitmapHeader(ByteReader& in) {
    BitmapHeader h;
    h.infoSize = in.U32(kFileHeaderSize);
    h.core = h.infoSize == 12;
    const std::uint32_t size = h.infoSize;
    if (!h.core && size != 40 && size != 52 && size != 56 && size != 108 && size != 124) {
        return std::nullopt;
    }
    if (!in.Has(kFileHeaderSize, size)) {
        return std::nullopt;
    }
    if (h.core) {
        h.width = in.U16(18);
        h.height = in.U16(20);
        h.planes = in.U16(22);
        h.bitCount = in.U16(24);
        const std::uint32_t bits = h.bitCount;
        return bits == 1 || bits == 4 || bits == 8 || bits == 24 ? std::optional(h) : std::nullopt;
    }
    h.width = in.I32(18);
    h.height = in.I32(22);
    h.planes = in.U16(26);
    h.bitCount = in.U16(28);
    h.compression = in.U32(30);
    h.imageSize = in.U32(34);
    h.coloursUsed = in.U32(46);
    const std::uint32_t bits = h.bitCount;
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32 ? std::optional(h)
                                                                                         : std::nullopt;
}

// Run-length data only comes bottom-up, and only at the depth it was made for.
bool CompressionFits(const BitmapHeader& h) {
    const bool bottomUp = h.height > 0;
    return h.compression == 0 || (h.compression == 1 && h.bitCount == 8 && bottomUp) ||
           (h.compression == 2 && h.bitCount == 4 && bottomUp) ||
           (h.compression == 3 && (h.bitCount == 16 || h.bitCount == 32));
}

// How many palette entries the file holds: all that the depth allows unless it says fewer, never more.
std::optional<std::uint64_t> PaletteColours(const BitmapHeader& h) {
    if (h.bitCount > 8) {
        return h.coloursUsed;
    }
    const std::uint64_t most = 1ull << h.bitCount;
    if (h.coloursUsed > most) {
        return std::nullopt;
    }
    return h.coloursUsed == 0 ? most : h.coloursUsed;
}

PictureCheck CheckBitmap(ByteReader& in) {
    PictureCheck check;
    if (!in.Has(0, kFileHeaderSize + 16)) {
        return check;
    }
    const std::uint32_t bitsOffset = in.U32(10);
    const std::optional<BitmapHeader> header = ReadBitmapHeader(in);
    if (!header) {
        return check;
    }
    const auto& [infoSize, core, width, height, planes, bitCount, compression, imageSize, coloursUsed] = *header;
    const bool topDown = height < 0;
    const std::int64_t rows = topDown ? -height : height;
    if (planes != 1 || width <= 0 || rows <= 0 ||
        !PixelCountAllowed(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(rows))) {
        return check;
    }

    const bool rle = compression == 1 || compression == 2;
    const std::optional<std::uint64_t> colours = PaletteColours(*header);
    if (!CompressionFits(*header) || !colours) {
        return check;
    }
    const std::uint64_t masks = (infoSize == 40 && compression == 3) ? 12 : 0;
    const std::uint64_t paletteOffset = kFileHeaderSize + infoSize + masks;
    const std::uint64_t entryBytes = core ? 3 : 4;
    const std::uint64_t infoEnd = paletteOffset + *colours * entryBytes;
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
    check.bitCount = static_cast<int>(bitCount);
    check.compression = compression;
    check.masksOffset = compression == 3 ? kFileHeaderSize + 40 : 0;
    check.paletteOffset = static_cast<std::size_t>(paletteOffset);
    check.paletteEntries = bitCount <= 8 ? static_cast<std::size_t>(*colours) : 0;
    check.paletteEntryBytes = static_cast<std::size_t>(entryBytes);
    check.bitsOffset = bitsOffset;
    check.bitsSize = bitsSize;
    check.topDown = topDown;
    return check;
}

PictureCheck CheckGif(ByteReader& in) {
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

PictureCheck CheckJpeg(ByteReader& in) {
    PictureCheck check;
    std::uint64_t at = 2;
    std::uint32_t marker = 0;
    while (NextJpegMarker(in, at, 4, marker) == JpegMarkerRead::Found) {
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

// An entry's own header, a bitmap's or a PNG's, states its size; an icon is at most 256 pixels a side (its
// directory has one byte for it), so no entry can make the loader take much.
bool IconImageFits(ByteReader& in, std::uint64_t at, std::uint64_t size) {
    constexpr unsigned char kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    bool png = size >= 24;
    for (std::size_t i = 0; png && i < sizeof kPng; ++i) {
        png = in.U8(at + i) == kPng[i];
    }
    if (png) {
        const std::uint64_t width = in.U16Big(at + 16) << 16 | in.U16Big(at + 18);
        const std::uint64_t height = in.U16Big(at + 20) << 16 | in.U16Big(at + 22);
        return width > 0 && height > 0 && width <= kLargestIconSide && height <= kLargestIconSide;
    }
    if (size < 40) {
        return false;
    }
    const std::int32_t width = in.I32(at + 4);
    const std::int32_t height = in.I32(at + 8);
    return width > 0 && height > 0 && static_cast<std::uint32_t>(width) <= kLargestIconSide &&
           static_cast<std::uint32_t>(height) <= 2 * kLargestIconSide;
}

PictureCheck CheckIcon(ByteReader& in) {
    PictureCheck check;
    const std::uint32_t count = in.U16(4);
    if (count == 0 || !in.Has(6, 16ull * count)) {
        return check;
    }
    for (std::uint32_t entry = 0; entry < count; ++entry) {
        const std::uint64_t at = 6 + 16 * static_cast<std::uint64_t>(entry);
        const std::uint32_t size = in.U32(at + 8);
        const std::uint32_t offset = in.U32(at + 12);
        if (size == 0 || !in.Has(offset, size) || !IconImageFits(in, offset, size)) {
            return check;
        }
    }
    check.format = PictureFormat::Icon;
    return check;
}

PictureCheck CheckMetafile(ByteReader& in) {
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

PictureCheck CheckWholeFile(ByteReader& in, PictureCheck (*check)(ByteReader&)) {
    return in.Size() <= kMaxWholeFileBytes ? check(in) : PictureCheck{};
}

} // namespace

JpegMarkerRead NextJpegMarker(ByteReader& in, std::uint64_t& at, std::uint64_t minimum, std::uint32_t& marker) {
    while (in.Has(at, minimum)) {
        if (in.U8(at) != 0xFF) {
            return JpegMarkerRead::NotAMarker;
        }
        marker = in.U8(at + 1);
        if (marker == 0xFF) {
            ++at;
        } else if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
        } else {
            return JpegMarkerRead::Found;
        }
    }
    return JpegMarkerRead::OutOfData;
}

PictureCheck CheckPicture(ByteReader& in) {
    if (!in.Has(0, 6)) {
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
        return CheckWholeFile(in, CheckIcon);
    }
    if (in.U32(0) == 0x9AC6CDD7) {
        return CheckWholeFile(in, CheckMetafile);
    }
    return {};
}

} // namespace tovira
