#include "platform/win32/Win32Picture.h"

#include <cstdlib>

namespace tovira::win32 {

Win32Picture::Win32Picture(HBITMAP bitmap) : bitmap_(bitmap) {
    BITMAP info{};
    if (bitmap_ != nullptr && GetObjectW(bitmap_, sizeof info, &info) != 0) {
        width_ = info.bmWidth;
        height_ = std::abs(info.bmHeight);
    }
}

Win32Picture::~Win32Picture() {
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
    }
}

} // namespace tovira::win32
