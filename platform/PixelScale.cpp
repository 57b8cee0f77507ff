#include "platform/PixelScale.h"

#include "platform/RuntimeError.h"

namespace tovira {

namespace {

constexpr double kLargestCoordinate = 32767;

} // namespace

int PixelScale::ToPixels(double twips) const {
    const double pixels = std::round(twips * dpi_ / kTwipsPerInch);
    if (!std::isfinite(pixels) || std::fabs(pixels) > kLargestCoordinate) {
        throw RuntimeError(kErrOverflow);
    }
    return static_cast<int>(pixels);
}

} // namespace tovira
