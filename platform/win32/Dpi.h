#pragma once

#include "art/PixelScale.h"

#include <windows.h>

namespace tovira::win32 {

// The screen scales that windows are drawn for. The program declares itself per-monitor aware in its manifest;
// the calls that only newer Windows has are looked up at run time, so that the program still runs without them.

// The scale of the primary screen, where new windows open: what screen sizes are measured in.
PixelScale SystemScale();
// The scale of the screen that a window is on.
PixelScale WindowScale(HWND window);
// The outer rectangle of a window whose client area is `client`, with a caption and frame for that scale.
RECT OuterRect(const RECT& client, DWORD style, DWORD exStyle, const PixelScale& scale);

} // namespace tovira::win32
