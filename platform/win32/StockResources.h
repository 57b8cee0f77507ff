#pragma once

#include "art/PixelScale.h"
#include "platform/PictureHandle.h"
#include "platform/win32/Handles.h"

#include <windows.h>

#include <map>
#include <utility>

namespace tovira::win32 {

// The pictures built into the executable, for each screen scale that a window asks for, made when first asked
// for and kept for the program's life. At 96 pixels an inch they are the resources as drawn; at other scales
// they are drawn anew at that scale, so that they stay sharp. A missing resource yields nullptr, and nothing is
// drawn for it.
class StockResources {
public:
    explicit StockResources(HINSTANCE instance) : instance_(instance) {}
    StockResources(const StockResources&) = delete;
    StockResources& operator=(const StockResources&) = delete;

    // Icons at the small size; the program icon also at the large size for the task switcher.
    HICON Icon(StockPicture picture, const PixelScale& scale);
    HICON LargeProgramIcon(const PixelScale& scale);
    HBITMAP Bitmap(StockPicture picture, const PixelScale& scale);
    HCURSOR HandCursor(const PixelScale& scale);
    // Makes a picture ready for drawing, as drawing it would.
    void Prepare(StockPicture picture, const PixelScale& scale);

private:
    HICON LoadIconResource(int id, int size) const;
    IconHandle MakeIcon(StockPicture picture, const PixelScale& scale) const;
    IconHandle MakeLargeProgramIcon(const PixelScale& scale) const;

    HINSTANCE instance_;
    std::map<std::pair<StockPicture, PixelScale>, IconHandle> icons_;
    std::map<PixelScale, IconHandle> largeProgramIcons_;
    std::map<std::pair<StockPicture, PixelScale>, win32::Bitmap> bitmaps_;
    HCURSOR hand_ = nullptr;
    std::map<PixelScale, IconHandle> drawnHands_;
};

// Copies a bitmap at its natural size with its top-left corner at (x, y).
void DrawBitmap(HDC dc, int x, int y, HBITMAP bitmap);

} // namespace tovira::win32
