#include "platform/win32/ChildWindows.h"

#include "platform/win32/BitmapPicture.h"
#include "platform/win32/Errors.h"
#include "platform/win32/Paint.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>

namespace tovira::win32 {

namespace {

// Child ids start above the dialog command ids (IDOK, IDCANCEL) that IsDialogMessage sends for Enter and Escape.
constexpr int kFirstChildId = 100;

struct ChildStyle {
    const wchar_t* className = L"STATIC";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    // The system's controls take their current look only with the common controls loaded first.
    bool systemClass = true;
};

ChildStyle LabelStyle(const Label& label) {
    ChildStyle child;
    child.style |= SS_NOPREFIX;
    if (label.alignment == Alignment::Center) {
        child.style |= SS_CENTER;
    } else {
        child.style |= label.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
    }
    // The thin sunken edge is what a fixed single border looks like on a three-dimensional form.
    if (label.borderSingle) {
        child.exStyle = WS_EX_STATICEDGE;
    }
    return child;
}

// The window that shows a control; none for the kinds that the form paints.
std::optional<ChildStyle> StyleOf(const Control& control) {
    ChildStyle child;
    switch (control.kind) {
    case ControlKind::PictureBox:
        child.className = kPictureBoxClass;
        child.systemClass = false;
        return child;
    case ControlKind::ListBox:
        child.className = L"LISTBOX";
        // Never sorted: the entries show in the order the model holds them, so their indexes agree. Exactly as
        // high as designed, not shrunk to whole entries.
        child.style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
        child.exStyle = WS_EX_CLIENTEDGE;
        return child;
    case ControlKind::CommandButton:
        child.className = L"BUTTON";
        child.style |= WS_TABSTOP | BS_PUSHBUTTON;
        return child;
    case ControlKind::Frame:
        child.className = L"BUTTON";
        child.style |= BS_GROUPBOX;
        return child;
    case ControlKind::Label:
        return LabelStyle(static_cast<const Label&>(control));
    case ControlKind::Image:
    case ControlKind::Shape:
    case ControlKind::Line:
        return std::nullopt;
    }
    return std::nullopt;
}

// The places in the form's list of the windowed controls, in the order that IsDialogMessage tabs in: by tab index,
// and the controls without one last.
std::vector<size_t> TabOrder(const std::vector<Control*>& controls) {
    std::vector<size_t> order;
    for (size_t i = 0; i < controls.size(); ++i) {
        if (controls[i]->IsWindowed()) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int first = controls[a]->tabIndex;
        const int second = controls[b]->tabIndex;
        return (first >= 0 && second < 0) || (first >= 0 && second >= 0 && first < second);
    });
    return order;
}

// What a child window shows of its control, one description per kind: its text, its font (none: the form's
// default) and what it draws from the control besides.
struct ChildContent {
    std::string text;
    const Font* font = nullptr;
    ChildWindows::Look look;
};

ChildContent ContentOf(const Control& control) {
    switch (control.kind) {
    case ControlKind::Label: {
        const auto& label = static_cast<const Label&>(control);
        return {label.caption, &label.font, {nullptr, label.foreColor, label.backColor}};
    }
    case ControlKind::Frame: {
        const auto& frame = static_cast<const Frame&>(control);
        return {frame.caption, &frame.font, {}};
    }
    case ControlKind::CommandButton:
        return {static_cast<const CommandButton&>(control).caption, nullptr, {}};
    case ControlKind::PictureBox: {
        const auto& box = static_cast<const PictureBox&>(control);
        return {{}, nullptr, {box.picture, Color{}, box.backColor}};
    }
    case ControlKind::ListBox:
    case ControlKind::Image:
    case ControlKind::Shape:
    case ControlKind::Line:
        return {};
    }
    return {};
}

void SyncList(ChildWindows::Child& child, const ListBox& list) {
    if (list.items != child.items) {
        SendMessageW(child.window, LB_RESETCONTENT, 0, 0);
        for (const std::string& item : list.items) {
            SendMessageW(child.window, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
        }
        child.items = list.items;
    }
    if (SendMessageW(child.window, LB_GETCURSEL, 0, 0) != list.listIndex) {
        SendMessageW(child.window, LB_SETCURSEL, static_cast<WPARAM>(list.listIndex), 0);
    }
}

} // namespace

void ChildWindows::Create(HWND parent, void* creator) {
    const auto& controls = form_.Controls();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (size_t index : TabOrder(controls)) {
        Control& control = *controls[index];
        const std::optional<ChildStyle> style = StyleOf(control);
        if (!style) {
            continue;
        }
        if (style->systemClass) {
            EnsureCommonControls();
        }
        const auto id = static_cast<INT_PTR>(kFirstChildId + static_cast<int>(index));
        HWND child = CreateWindowExW(style->exStyle, style->className, L"", style->style, 0, 0, 0, 0, parent,
                                     reinterpret_cast<HMENU>(id), instance, creator);
        if (child == nullptr) {
            ThrowLastError();
        }
        Child entry;
        entry.control = &control;
        entry.window = child;
        children_.push_back(std::move(entry));
    }
    StackFramesBelow();
}

// A group box drawn over its own contents would hide them; it goes beneath its siblings. It takes no focus, so the
// tab order of the others stays as created.
void ChildWindows::StackFramesBelow() {
    for (const Child& child : children_) {
        if (child.control->kind == ControlKind::Frame) {
            SetWindowPos(child.window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            static const auto setSubclass = CommonControlsFunction<decltype(SetWindowSubclass)>("SetWindowSubclass");
            if (setSubclass != nullptr) {
                setSubclass(child.window, FrameProc, 0, reinterpret_cast<DWORD_PTR>(this));
            }
        }
    }
}

void ChildWindows::Detach() {
    for (const Child& child : children_) {
        SetWindowLongPtrW(child.window, GWLP_USERDATA, 0);
    }
}

void ChildWindows::Sync(const PixelScale& scale) {
    for (Child& child : children_) {
        const ChildContent content = ContentOf(*child.control);
        SyncPlace(child, scale);
        SyncFont(child, content.font, scale);
        SyncText(child, DisplayText(content.text));
        if (child.control->kind == ControlKind::ListBox) {
            SyncList(child, static_cast<const ListBox&>(*child.control));
        }
        SyncLook(child, content.look);
        const bool shown = IsShown(*child.control);
        if (shown != child.shown) {
            ShowWindow(child.window, shown ? SW_SHOWNA : SW_HIDE);
            child.shown = shown;
        }
    }
}

void ChildWindows::SyncPlace(Child& child, const PixelScale& scale) {
    const RECT box = ControlRect(*child.control, scale);
    if (!EqualRect(&box, &child.box)) {
        SetWindowPos(child.window, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        child.box = box;
    }
}

// A control without a font of its own shows in the form's default font; both follow the window's scale.
void ChildWindows::SyncFont(Child& child, const Font* font, const PixelScale& scale) {
    HFONT handle = fonts_.Get(font != nullptr ? *font : Font{}, scale);
    if (handle != child.font) {
        SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(handle), TRUE);
        child.font = handle;
    }
}

void ChildWindows::SyncText(Child& child, std::wstring text) {
    if (text != child.text) {
        SetWindowTextW(child.window, text.c_str());
        child.text = std::move(text);
    }
}

void ChildWindows::SyncLook(Child& child, const Look& look) {
    if (look != child.look) {
        // A picture box paints the whole of its inside; a static control has its background erased first.
        InvalidateRect(child.window, nullptr, child.control->kind == ControlKind::PictureBox ? FALSE : TRUE);
        child.look = look;
    }
}

const ChildWindows::Child* ChildWindows::Find(HWND window) const {
    if (window == nullptr) {
        return nullptr;
    }
    for (const Child& child : children_) {
        if (child.window == window) {
            return &child;
        }
    }
    return nullptr;
}

HWND ChildWindows::WindowOf(const Control& control) const {
    for (const Child& child : children_) {
        if (child.control == &control) {
            return child.window;
        }
    }
    return nullptr;
}

bool ChildWindows::HasTabStops() const {
    return std::any_of(children_.begin(), children_.end(), [](const Child& child) {
        return (GetWindowLongPtrW(child.window, GWL_STYLE) & WS_TABSTOP) != 0;
    });
}

HBRUSH ChildWindows::BackgroundBrush() {
    if (!form_.backColor) {
        return GetSysColorBrush(COLOR_BTNFACE);
    }
    if (!backBrush_) {
        backBrush_.Reset(CreateSolidBrush(ToColorRef(*form_.backColor)));
    }
    return backBrush_.Get();
}

HBRUSH ChildWindows::LabelBrush(Color color) {
    auto found = std::find_if(labelBrushes_.begin(), labelBrushes_.end(),
                              [&](const auto& entry) { return entry.first == color; });
    if (found == labelBrushes_.end()) {
        labelBrushes_.emplace_back(color, Brush(CreateSolidBrush(ToColorRef(color))));
        found = labelBrushes_.end() - 1;
    }
    return found->second.Get();
}

LRESULT ChildWindows::Colors(HDC dc, HWND window) {
    Child* child = Find(window);
    if (child != nullptr && child->control->kind == ControlKind::Label) {
        const auto& label = static_cast<const Label&>(*child->control);
        SetTextColor(dc, ToColorRef(label.foreColor));
        if (label.backColor) {
            SetBkColor(dc, ToColorRef(*label.backColor));
            return reinterpret_cast<LRESULT>(LabelBrush(*label.backColor));
        }
    }
    SetBkColor(dc, form_.backColor ? ToColorRef(*form_.backColor) : GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(BackgroundBrush());
}

// A group box paints only its edge and caption, and the form's painting stays outside every child window: the
// box fills its own inside with the form's colour.
LRESULT CALLBACK ChildWindows::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR owner) {
    if (message == WM_ERASEBKGND) {
        RECT client{};
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, reinterpret_cast<ChildWindows*>(owner)->BackgroundBrush());
        return 1;
    }
    // Only installed once the common controls are loaded, so these are there.
    static const auto removeSubclass = CommonControlsFunction<decltype(RemoveWindowSubclass)>("RemoveWindowSubclass");
    static const auto defaultProcedure = CommonControlsFunction<decltype(DefSubclassProc)>("DefSubclassProc");
    if (message == WM_NCDESTROY) {
        removeSubclass(window, FrameProc, 0);
    }
    return defaultProcedure(window, message, wParam, lParam);
}

void ChildWindows::PaintPictureBox(Child& child, HDC dc, const PixelScale& scale) {
    const auto& box = static_cast<const PictureBox&>(*child.control);
    RECT client{};
    GetClientRect(child.window, &client);
    SetDCBrushColor(dc, ToColorRef(box.backColor));
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    const auto* picture = dynamic_cast<const BitmapPicture*>(box.picture.get());
    if (picture == nullptr || picture->Handle() == nullptr) {
        return;
    }
    // The window clips whatever lies beyond it.
    if (scale.Dpi() <= kDesignDpi) {
        DrawBitmap(dc, 0, 0, picture->Handle());
        return;
    }
    const SIZE size{std::min<LONG>(scale.ScreenPixels(picture->WidthPixels()), client.right),
                    std::min<LONG>(scale.ScreenPixels(picture->HeightPixels()), client.bottom)};
    Child::Enlarged& enlarged = child.enlarged;
    if (enlarged.from != picture || enlarged.scale != scale || enlarged.size.cx != size.cx ||
        enlarged.size.cy != size.cy) {
        void* pixels = nullptr;
        enlarged = {picture, scale, size, CreateTopDownSection(size.cx, size.cy, 32, pixels)};
        if (pixels != nullptr) {
            EnlargePicture(picture->Pixels(), scale.Factor(),
                           {static_cast<std::uint32_t*>(pixels), static_cast<int>(size.cx), static_cast<int>(size.cy)});
        }
    }
    if (enlarged.bitmap) {
        DrawBitmap(dc, 0, 0, enlarged.bitmap.Get());
    }
}

} // namespace tovira::win32
