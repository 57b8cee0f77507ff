#pragma once

#include "platform/Picture.h"
#include "platform/win32/Handles.h"

#include <windows.h>

#include <map>
#include <optional>

namespace tovira::win32 {

// The pictures built into the executable, loaded when first asked for and kept for the program's life. A missing
// resource yields nullptr, and nothing is drawn for it.
class StockResources {
public:
    explicit StockResources(HINSTANCE instance) : instance_(instance) {}

    // 16x16 icons; the program icon also at the large size for the task switcher.
    HICON Icon(StockPicture picture);
    HICON LargeProgramIcon();
    HBITMAP Bitmap(StockPicture picture);
    HCURSOR HandCursor();

private:
    HICON LoadIconResource(int id, int size) const;

    HINSTANCE instance_;
    std::map<StockPicture, IconHandle> icons_;
    std::optional<IconHandle> largeProgramIcon_;
    std::map<StockPicture, win32::Bitmap> bitmaps_;
    HCURSOR hand_ = nullptr;
};

// Draws a stock picture at its natural size with its top-left corner at (x, y).
void DrawStockPicture(HDC dc, int x, int y, StockPicture picture, StockResources& resources);

// Copies a bitmap at its natural size with its top-left corner at (x, y).
void DrawBitmap(HDC dc, int x, int y, HBITMAP bitmap);

} // namespace tovira::win32
