#include "platform/win32/Win32Picture.h"

#include <cstdlib>
#include <utility>

namespace tovira::win32 {

Win32Picture::Win32Picture(Bitmap bitmap) : bitmap_(std::move(bitmap)) {
    DIBSECTION info{};
    const int got = bitmap_ ? GetObjectW(bitmap_.Get(), sizeof info, &info) : 0;
    if (got != 0) {
        width_ = info.dsBm.bmWidth;
        height_ = std::abs(info.dsBm.bmHeight);
    }
    // Every picture is made as a top-down section of 32 bits a pixel (CreateTopDownSection).
    if (got == sizeof info && info.dsBm.bmBitsPixel == 32 && info.dsBmih.biHeight < 0) {
        pixels_ = {static_cast<const std::uint32_t*>(info.dsBm.bmBits), width_, height_};
    }
}

Bitmap CreateTopDownSection(int width, int height, WORD bitsPerPixel, void*& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    pixels = nullptr;
    Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap) {
        pixels = nullptr;
    }
    return bitmap;
}

} // namespace tovira::win32
