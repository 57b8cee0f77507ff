#pragma once

#include "platform/Controls.h"
#include "platform/PixelScale.h"

#include <windows.h>

namespace tovira::win32 {

// A control's box in the form's client area, following its containers. Both edges are rounded from twips, so that
// a box covers the same pixels as the hit test's twip range.
RECT ControlRect(const Control& control, const PixelScale& scale);

} // namespace tovira::win32
