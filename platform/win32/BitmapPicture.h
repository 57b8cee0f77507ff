#pragma once

#include "picturefiles/PictureScale.h"
#include "platform/PictureHandle.h"
#include "platform/win32/Handles.h"

#include <windows.h>

#include <utility>

namespace tovira::win32 {

// A picture as a device-independent bitmap section of 32 bits a pixel, rows from the top, owned here and deleted
// with it.
class BitmapPicture final : public Picture {
public:
    BitmapPicture(Bitmap bitmap, PixelSource pixels) : bitmap_(std::move(bitmap)), pixels_(pixels) {}

    int WidthPixels() const override { return pixels_.width; }
    int HeightPixels() const override { return pixels_.height; }
    HBITMAP Handle() const { return bitmap_.Get(); }
    PixelSource Pixels() const { return pixels_; }

private:
    Bitmap bitmap_;
    PixelSource pixels_;
};

// A device-independent bitmap section with its rows from the top, and where its pixels lie; an empty bitmap when
// Windows cannot make it.
Bitmap CreateTopDownSection(int width, int height, WORD bitsPerPixel, void*& pixels);

} // namespace tovira::win32
