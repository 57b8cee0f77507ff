#include "platform/win32/Geometry.h"

#include "platform/RuntimeError.h"

#include <algorithm>
#include <cmath>

namespace tovira::win32 {

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

int PixelScale::ScaledPixels(int designPixels) const {
    return std::max(1, static_cast<int>(std::lround(designPixels * Factor())));
}

RECT ControlRect(const Control& control, const PixelScale& scale) {
    const TwipsPoint origin = ContainerOrigin(control);
    const double left = origin.x + control.left;
    const double top = origin.y + control.top;
    return RECT{scale.ToPixels(left), scale.ToPixels(top), scale.ToPixels(left + control.width),
                scale.ToPixels(top + control.height)};
}

} // namespace tovira::win32
