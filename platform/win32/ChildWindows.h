#pragma once

#include "platform/Form.h"
#include "platform/win32/Fonts.h"
#include "platform/win32/Geometry.h"
#include "platform/win32/Handles.h"

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovira::win32 {

// Our own class for picture boxes; its window procedure belongs to the form window, which handles their mouse.
inline constexpr wchar_t kPictureBoxClass[] = L"ToviraPictureBox";

// The child windows of one form, for the controls that Windows draws itself: made in tab order, kept in line with
// their controls and coloured like the form.
class ChildWindows {
public:
    // What a child window draws from its control besides its text and entries: a change repaints it.
    struct Look {
        PicturePtr picture;
        Color foreColor;
        std::optional<Color> backColor;
        friend bool operator==(const Look&, const Look&) = default;
    };

    // One child window and what it shows now, so that only what changed in its control is sent to it.
    struct Child {
        Control* control = nullptr;
        HWND window = nullptr;
        RECT box{};
        bool shown = false;
        std::wstring text;
        HFONT font = nullptr;
        std::vector<std::string> items;
        Look look;
        // A picture box's picture enlarged for a screen above 100 %, made once for its picture, scale and size.
        struct Enlarged {
            const Picture* from = nullptr;
            PixelScale scale;
            SIZE size{};
            Bitmap bitmap;
        } enlarged;
    };

    ChildWindows(const Form& form, FontCache& fonts) : form_(form), fonts_(fonts) {}

    // One child window per windowed control of the form; `creator` reaches the windows of our own classes.
    void Create(HWND parent, void* creator);
    // Places, fonts and pictures follow the window's scale.
    void Sync(const PixelScale& scale);
    // The windows are going, or gone with their parent.
    void Detach();
    void Clear() { children_.clear(); }

    const Child* Find(HWND window) const;
    Child* Find(HWND window) { return const_cast<Child*>(std::as_const(*this).Find(window)); }
    HWND WindowOf(const Control& control) const;
    bool HasTabStops() const;

    // A picture box: its back colour, and its picture in the top-left corner, at its natural size at 100 % and
    // enlarged by the screen's scale above it, so that it fills the same part of the window.
    void PaintPictureBox(Child& child, HDC dc, const PixelScale& scale);

    // Answers WM_CTLCOLORSTATIC and WM_CTLCOLORBTN: labels in their own colours, the rest in the form's.
    LRESULT Colors(HDC dc, HWND window);

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR owner);
    void StackFramesBelow();
    void SyncPlace(Child& child, const PixelScale& scale);
    void SyncFont(Child& child, const Font* font, const PixelScale& scale);
    void SyncText(Child& child, std::wstring text);
    void SyncLook(Child& child, const Look& look);
    HBRUSH BackgroundBrush();
    HBRUSH LabelBrush(Color color);

    const Form& form_;
    FontCache& fonts_;
    std::vector<Child> children_;
    Brush backBrush_;
    std::vector<std::pair<Color, Brush>> labelBrushes_;
};

} // namespace tovira::win32
