#include "platform/win32/Dpi.h"

#include "platform/win32/Handles.h"
#include "platform/win32/SystemLibrary.h"

namespace tovira::win32 {

namespace {

// Windows 10, version 1607 and later.
using GetDpiForWindowFunction = UINT WINAPI(HWND);
using GetDpiForSystemFunction = UINT WINAPI();
using AdjustWindowRectExForDpiFunction = BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT);

// user32 is loaded with the program: only the function is looked up.
template <typename Function> Function* User32Function(const char* name) {
    return ModuleFunction<Function>(GetModuleHandleW(L"user32.dll"), name);
}

} // namespace

// Where Windows has it, asked without a device context: the program's first one costs the window system's start,
// which the pictures of the scale can be drawn during.
PixelScale SystemScale() {
    static const auto forSystem = User32Function<GetDpiForSystemFunction>("GetDpiForSystem");
    if (const UINT dpi = forSystem != nullptr ? forSystem() : 0; dpi != 0) {
        return PixelScale(static_cast<int>(dpi));
    }
    WindowDC screen(nullptr);
    return PixelScale(GetDeviceCaps(screen.Get(), LOGPIXELSY));
}

PixelScale WindowScale(HWND window) {
    static const auto forWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    const UINT dpi = forWindow != nullptr ? forWindow(window) : 0;
    return dpi != 0 ? PixelScale(static_cast<int>(dpi)) : SystemScale();
}

RECT OuterRect(const RECT& client, DWORD style, DWORD exStyle, const PixelScale& scale) {
    static const auto forDpi = User32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    RECT outer = client;
    if (forDpi == nullptr || !forDpi(&outer, style, FALSE, exStyle, static_cast<UINT>(scale.Dpi()))) {
        outer = client;
        AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    }
    return outer;
}

} // namespace tovira::win32
