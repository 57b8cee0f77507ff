#pragma once

#include "picturefiles/ByteReader.h"

#include <cstddef>
#include <cstdint>

// Checks the header of a picture file before anything is allocated for it. Free of Windows headers, so that it
// runs under the fuzzer and in the disc kit as well as in the program.
namespace tovira {

// Pictures are decoded a part at a time and only their shown part is kept, so size costs time, not memory. This
// bound keeps the time within a few seconds; it is far beyond any logo or photograph.
inline constexpr std::uint64_t kMaxPicturePixels = 1ull << 28;
// Icons and metafiles go whole to Windows' own loader; no real one comes near this.
inline constexpr std::uint64_t kMaxWholeFileBytes = 8ull * 1024 * 1024;

enum class PictureFormat { Unknown, Bitmap, Gif, Jpeg, Icon, Metafile };

struct PictureCheck {
    // Unknown: not a picture, or one whose header does not hold together.
    PictureFormat format = PictureFormat::Unknown;
    // Pixel size where the header states one; icons and metafiles get theirs from the decoder.
    int width = 0;
    int height = 0;
    // Bitmaps only: the colour table of paletteEntries entries of paletteEntryBytes each at paletteOffset, the
    // colour masks at masksOffset where the compression asks for them, the pixel bits from bitsOffset for
    // bitsSize bytes; rows are stored top-down when the stated height is negative.
    int bitCount = 0;
    std::uint32_t compression = 0;
    std::size_t masksOffset = 0;
    std::size_t paletteOffset = 0;
    std::size_t paletteEntries = 0;
    std::size_t paletteEntryBytes = 4;
    std::size_t bitsOffset = 0;
    std::uint64_t bitsSize = 0;
    bool topDown = false;
};

PictureCheck CheckPicture(ByteReader& in);

// The JPEG marker grammar, for the check and the decoder alike: from `at`, while `minimum` bytes remain there,
// steps over fill bytes and the markers that stand alone (TEM, RST0 to RST7). Found leaves `at` on the 0xFF of
// the next marker and its code in `marker`.
enum class JpegMarkerRead { Found, NotAMarker, OutOfData };
JpegMarkerRead NextJpegMarker(ByteReader& in, std::uint64_t& at, std::uint64_t minimum, std::uint32_t& marker);

} // namespace tovira
