#pragma once

#include "art/PixelScale.h"
#include "platform/Controls.h"

#include <windows.h>

namespace tovira::win32 {

// Twips rounded to the nearest pixel. A length that no screen coordinate can hold (window positions travel in 16-bit
// message fields) raises 6, as it would for the window system that receives it.
int ToPixels(const PixelScale& scale, double twips);

// A control's box in the form's client area, following its containers. Both edges are rounded from twips, so that
// a box covers the same pixels as the hit test's twip range.
RECT ControlRect(const Control& control, const PixelScale& scale);

} // namespace tovira::win32
