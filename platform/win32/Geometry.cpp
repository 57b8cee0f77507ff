#include "platform/win32/Geometry.h"

namespace tovira::win32 {

RECT ControlRect(const Control& control, const PixelScale& scale) {
    const TwipsPoint origin = ContainerOrigin(control);
    const double left = origin.x + control.left;
    const double top = origin.y + control.top;
    return RECT{scale.ToPixels(left), scale.ToPixels(top), scale.ToPixels(left + control.width),
                scale.ToPixels(top + control.height)};
}

} // namespace tovira::win32
