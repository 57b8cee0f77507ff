#include "platform/win32/Tooltips.h"

#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"

#include <commctrl.h>

#include <algorithm>

namespace tovira::win32 {

namespace {

constexpr UINT kFirstToolId = 100;

} // namespace

void Tooltips::Sync(HWND owner, const Form& form, const ChildWindows& children, const PixelScale& scale) {
    for (const Control* control : form.Controls()) {
        const bool hadTip =
            std::any_of(tips_.begin(), tips_.end(), [&](const Tip& tip) { return tip.control == control; });
        if (control->toolTipText.empty() && !hadTip) {
            continue;
        }
        if (!EnsureWindow(owner)) {
            return;
        }
        SyncTip(owner, *control, children.WindowOf(*control), scale);
    }
}

void Tooltips::Relay(HWND owner, UINT message, WPARAM wParam, LPARAM lParam) const {
    if (tooltip_ == nullptr) {
        return;
    }
    MSG relayed{};
    relayed.hwnd = owner;
    relayed.message = message;
    relayed.wParam = wParam;
    relayed.lParam = lParam;
    relayed.time = static_cast<DWORD>(GetMessageTime());
    const DWORD position = GetMessagePos();
    relayed.pt = POINT{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

void Tooltips::Clear() {
    tooltip_ = nullptr;
    tips_.clear();
}

bool Tooltips::EnsureWindow(HWND owner) {
    if (tooltip_ == nullptr) {
        EnsureCommonControls();
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    }
    return tooltip_ != nullptr;
}

void Tooltips::SyncTip(HWND owner, const Control& control, HWND child, const PixelScale& scale) {
    auto tip = std::find_if(tips_.begin(), tips_.end(), [&](const Tip& item) { return item.control == &control; });
    const bool added = tip != tips_.end();
    if (!added) {
        tips_.push_back(Tip{&control, static_cast<UINT>(kFirstToolId + tips_.size()), RECT{}, L""});
        tip = tips_.end() - 1;
    }
    // A hidden control, or one whose tip was taken away, keeps its tool with an empty area.
    const RECT box = IsShown(control) && !control.toolTipText.empty() ? ControlRect(control, scale) : RECT{};
    std::wstring text = Widen(control.toolTipText);

    // Version-5 size: accepted by every common-controls version.
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = owner;
    info.uId = tip->id;
    info.rect = box;
    info.lpszText = text.data();
    if (child != nullptr) {
        // A child window's messages never reach our procedures, so the tooltip takes them itself.
        info.uFlags |= TTF_IDISHWND | TTF_SUBCLASS;
        info.uId = reinterpret_cast<UINT_PTR>(child);
    }
    if (!added) {
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    } else {
        if (!EqualRect(&box, &tip->box) && child == nullptr) {
            SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
        }
        if (text != tip->text) {
            SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
        }
    }
    tip->box = box;
    tip->text = std::move(text);
}

} // namespace tovira::win32
