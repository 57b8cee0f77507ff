#pragma once

#include "platform/Picture.h"
#include "platform/PictureScale.h"
#include "platform/win32/Handles.h"

#include <windows.h>

namespace tovira::win32 {

// A picture as a device-independent bitmap section, owned here and deleted with it.
class Win32Picture final : public Picture {
public:
    explicit Win32Picture(Bitmap bitmap);

    int WidthPixels() const override { return width_; }
    int HeightPixels() const override { return height_; }
    HBITMAP Handle() const { return bitmap_.Get(); }
    // Its pixels, rows from the top; none when the bitmap is not of 32 bits a pixel.
    PixelSource Pixels() const { return pixels_; }

private:
    Bitmap bitmap_;
    int width_ = 0;
    int height_ = 0;
    PixelSource pixels_;
};

// A device-independent bitmap section with its rows from the top, and where its pixels lie; an empty bitmap when
// Windows cannot make it.
Bitmap CreateTopDownSection(int width, int height, WORD bitsPerPixel, void*& pixels);

} // namespace tovira::win32
