// libFuzzer target: the checks that every picture file passes and the decoders of what they accept.
#include "CheckPictureBytes.h"
#include "picturefiles/PictureDecode.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    using namespace tovira;
    const PictureCheck check = CheckPictureBytes({data, size});
    if (check.format == PictureFormat::Unknown) {
        return 0;
    }
    // Whatever the check accepts must be safe to hand on: sizes within the limits, bitmap parts inside the file.
    const auto pixels = static_cast<unsigned long long>(check.width) * static_cast<unsigned long long>(check.height);
    if (check.width < 0 || check.height < 0 || pixels > kMaxPicturePixels) {
        std::abort();
    }
    if (check.format == PictureFormat::Bitmap &&
        (check.width == 0 || check.height == 0 || check.paletteOffset > check.bitsOffset || check.bitsOffset > size ||
         check.bitsSize > size - check.bitsOffset)) {
        std::abort();
    }
    if (check.format == PictureFormat::Bitmap || check.format == PictureFormat::Gif ||
        check.format == PictureFormat::Jpeg) {
        // A small target keeps each run short; the decoders still pass over all the coded data of its rows.
        const int width = std::min(check.width, 64);
        const int height = std::min(check.height, 48);
        std::vector<std::uint32_t> shown(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        MemorySource source({data, size});
        DecodePicture(source, check, {shown.data(), width, height});
    }
    return 0;
}
