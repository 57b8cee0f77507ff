#include "platform/win32/Geometry.h"

#include "platform/RuntimeError.h"

#include <cmath>

namespace tovira::win32 {

namespace {

constexpr double kLargestCoordinate = 32767;

} // namespace

int ToPixels(const PixelScale& scale, double twips) {
    const double pixels = std::round(scale.Pixels(twips));
    if (!std::isfinite(pixels) || std::fabs(pixels) > kLargestCoordinate) {
        throw RuntimeError(kErrOverflow);
    }
    return static_cast<int>(pixels);
}

RECT ControlRect(const Control& control, const PixelScale& scale) {
    const TwipsPoint origin = ContainerOrigin(control);
    const double left = origin.x + control.left;
    const double top = origin.y + control.top;
    return RECT{ToPixels(scale, left), ToPixels(scale, top), ToPixels(scale, left + control.width),
                ToPixels(scale, top + control.height)};
}

} // namespace tovira::win32
