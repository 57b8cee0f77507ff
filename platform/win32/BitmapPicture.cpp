#include "platform/win32/BitmapPicture.h"

namespace tovira::win32 {

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
