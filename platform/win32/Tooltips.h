#pragma once

#include "platform/Form.h"
#include "platform/win32/ChildWindows.h"
#include "platform/win32/Geometry.h"

#include <windows.h>

#include <string>
#include <vector>

namespace tovira::win32 {

// The tooltips of one form: a tool for every control that has a tip, or had one, over the control's box (painted
// controls) or its window (windowed ones).
class Tooltips {
public:
    void Sync(HWND owner, const Form& form, const ChildWindows& children, const PixelScale& scale);
    // Hands a mouse message of the owner window to the tooltip, for the painted controls' tips: subclassing the
    // owner instead would put a property look-up, a round trip under Wine, in front of every message it gets.
    void Relay(HWND owner, UINT message, WPARAM wParam, LPARAM lParam) const;
    // The tooltip window went with its owner.
    void Clear();

private:
    struct Tip {
        const Control* control = nullptr;
        UINT id = 0;
        RECT box{};
        std::wstring text;
    };

    bool EnsureWindow(HWND owner);
    void SyncTip(HWND owner, const Control& control, HWND child, const PixelScale& scale);

    HWND tooltip_ = nullptr;
    std::vector<Tip> tips_;
};

} // namespace tovira::win32
