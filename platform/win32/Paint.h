#pragma once

#include "platform/Form.h"
#include "platform/win32/Gdi.h"

#include <windows.h>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tovira::win32 {

// Twips to screen pixels at the layout's fixed scale, rounded to the nearest pixel.
int ToPixels(double twips);
COLORREF ToColorRef(Color color);

// A control's box in the form's client area (pixels), following its containers.
RECT ControlRect(const Control& control);
// Visible itself and inside visible containers.
bool IsShown(const Control& control);

// Text for DrawTextW and static controls: the program's lone CR breaks become CR LF, which both break on.
std::wstring DisplayText(const std::string& text);

// The font that controls fall back to when they name none: the classic dialog font that the layouts,
// measured in twips, were designed with.
inline constexpr const char* kDefaultFontName = "MS Sans Serif";
inline constexpr double kDefaultFontSize = 8.25;

// Fonts by name, size and weight, created once at the screen's resolution and kept for the program's life.
class FontCache {
public:
    HFONT Get(const Font& font);

private:
    std::map<std::tuple<std::string, double, bool>, FontHandle> fonts_;
};

// The pictures built into the executable. A missing resource yields nullptr, and nothing is drawn for it.
class StockResources {
public:
    explicit StockResources(HINSTANCE instance);
    ~StockResources();
    StockResources(const StockResources&) = delete;
    StockResources& operator=(const StockResources&) = delete;

    // 16x16 icons; the program icon also at the large size for the task switcher.
    HICON Icon(StockPicture picture);
    HICON LargeProgramIcon();
    HBITMAP Bitmap(StockPicture picture);
    HCURSOR HandCursor();

private:
    HICON LoadIconResource(int id, int size);

    HINSTANCE instance_;
    std::map<StockPicture, HICON> icons_;
    HICON largeProgramIcon_ = nullptr;
    bool largeLoaded_ = false;
    std::map<StockPicture, win32::Bitmap> bitmaps_;
    HCURSOR hand_ = nullptr;
};

// Draws a stock picture at its natural size with its top-left corner at (x, y).
void DrawStockPicture(HDC dc, int x, int y, StockPicture picture, StockResources& resources);

// Width and height of a text drawn on one line per CR (no wrapping) in a font.
SIZE MeasureText(const std::string& text, HFONT font);

// Paints the form's background and its painted (non-windowed) controls, bottom of the stack first, into a DC
// that covers the client area.
void PaintForm(HDC dc, const RECT& client, const Form& form, FontCache& fonts, StockResources& resources);

// What the painted controls look like, compact enough to compare after every event: a change here, and only
// here, needs a repaint.
struct PaintedItem {
    const Control* control = nullptr;
    std::array<int, 4> box{};
    std::array<int, 4> ends{};
    std::string text;
    Font font;
    Color foreColor;
    std::optional<Color> backColor;
    int flags = 0;
    StockPicture picture = StockPicture::None;
    friend bool operator==(const PaintedItem&, const PaintedItem&) = default;
};
using PaintedState = std::vector<PaintedItem>;

PaintedState CapturePaintedState(const Form& form);

// The pixels that differ between two painted states: the old and new boxes of every control whose painting
// changed. False when the form's own surface changed, so that all of it must be painted again.
bool ChangedAreas(const PaintedState& before, const PaintedState& after, std::vector<RECT>& areas);

} // namespace tovira::win32
