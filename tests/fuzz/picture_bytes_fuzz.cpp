// libFuzzer target: the checks that every picture file passes before Windows' decoders see it.
#include "platform/win32/PictureBytes.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    using namespace tovira::win32;
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
        (check.width == 0 || check.height == 0 || check.infoEnd > check.bitsOffset || check.bitsOffset > size ||
         check.bitsSize > size - check.bitsOffset)) {
        std::abort();
    }
    return 0;
}
