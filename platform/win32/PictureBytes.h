#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Checks the bytes of a picture file before any of them reach Windows' decoders. Kept free of Windows
// headers so that it can be exercised with arbitrary input on any platform.
namespace tovira::win32 {

// Limits against hostile files: a picture larger than this is refused before anything is allocated for it. The
// logo box shows about 420 x 330 pixels; 4 Mpixel (2048 x 2048) leaves room for any real logo, yet a few bytes
// of run-length data that claim a huge picture cannot make the program take more than some 16 MiB for it.
inline constexpr std::uint64_t kMaxPictureFileBytes = 32ull * 1024 * 1024;
inline constexpr std::uint64_t kMaxPicturePixels = 4ull * 1024 * 1024;

enum class PictureFormat { Unknown, Bitmap, Gif, Jpeg, Icon, Metafile };

struct PictureCheck {
    // Unknown: not a picture, or one whose header does not hold together.
    PictureFormat format = PictureFormat::Unknown;
    // Pixel size where the header states one; icons and metafiles get theirs from the decoder.
    int width = 0;
    int height = 0;
    // Bitmaps only: the info header with its masks and colour table runs from offset 14 to infoEnd; the pixel
    // bits from bitsOffset for bitsSize bytes; rows are stored top-down when the stated height is negative.
    std::size_t infoEnd = 0;
    std::size_t bitsOffset = 0;
    std::size_t bitsSize = 0;
    bool topDown = false;
};

PictureCheck CheckPictureBytes(std::span<const unsigned char> bytes);

} // namespace tovira::win32
