#pragma once

#include "platform/Picture.h"

#include <windows.h>

namespace tovira::win32 {

// A loaded picture as a device-independent bitmap section, owned here and deleted with it.
class Win32Picture final : public Picture {
public:
    explicit Win32Picture(HBITMAP bitmap);
    ~Win32Picture() override;
    Win32Picture(const Win32Picture&) = delete;
    Win32Picture& operator=(const Win32Picture&) = delete;

    int WidthPixels() const override { return width_; }
    int HeightPixels() const override { return height_; }
    HBITMAP Handle() const { return bitmap_; }

private:
    HBITMAP bitmap_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace tovira::win32
