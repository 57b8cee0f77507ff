#include "platform/win32/FormWindow.h"

#include "platform/RuntimeError.h"
#include "platform/win32/Errors.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"
#include "platform/win32/Win32Picture.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

namespace tovira::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"ToviraForm";
constexpr wchar_t kPictureBoxClass[] = L"ToviraPictureBox";
// Child ids start above the dialog command ids (IDOK, IDCANCEL) that IsDialogMessage sends for Enter and Escape.
constexpr int kFirstChildId = 100;
// Window positions travel in 16-bit message fields (WM_MOVE); anything beyond cannot be a place on a screen.
constexpr double kLargestCoordinate = 32767;

bool SameBox(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

int ScreenPixels(double twips) {
    const double pixels = std::round(twips / kTwipsPerPixel);
    if (!std::isfinite(pixels) || std::fabs(pixels) > kLargestCoordinate) {
        throw RuntimeError(kErrOverflow);
    }
    return static_cast<int>(pixels);
}

DWORD FormStyle(const Form& form) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (form.borderStyle == BorderStyle::FixedSingle && form.minButton) {
        style |= WS_MINIMIZEBOX;
    }
    return style;
}

DWORD FormExStyle(const Form& form) {
    // The dialog frame also keeps the caption free of an icon.
    return form.borderStyle == BorderStyle::FixedDialog ? WS_EX_DLGMODALFRAME : 0;
}

const Font* ControlFont(const Control& control) {
    switch (control.kind) {
    case ControlKind::Label:
        return &static_cast<const Label&>(control).font;
    case ControlKind::Frame:
        return &static_cast<const Frame&>(control).font;
    default:
        return nullptr;
    }
}

std::string ControlText(const Control& control) {
    switch (control.kind) {
    case ControlKind::Label:
        return static_cast<const Label&>(control).caption;
    case ControlKind::CommandButton:
        return static_cast<const CommandButton&>(control).caption;
    case ControlKind::Frame:
        return static_cast<const Frame&>(control).caption;
    default:
        return {};
    }
}

} // namespace

FormWindow::FormWindow(FormHost& host, Form& form) : host_(host), form_(form) {}

FormWindow::~FormWindow() {
    if (window_ != nullptr) {
        // The host is going away with us: no callbacks while the window dies.
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        for (const Child& child : children_) {
            SetWindowLongPtrW(child.window, GWLP_USERDATA, 0);
        }
        DestroyWindow(window_);
    }
}

void FormWindow::RegisterClasses(HINSTANCE instance) {
    // The second press of a double-click comes as its own message, which raises the double-click event, as in
    // the windowing runtime the forms were designed for: never a second Click.
    WNDCLASSEXW formClass{};
    formClass.cbSize = sizeof formClass;
    formClass.style = CS_DBLCLKS;
    formClass.lpfnWndProc = WindowProc;
    formClass.hInstance = instance;
    formClass.lpszClassName = kFormClass;
    RegisterClassExW(&formClass);

    WNDCLASSEXW pictureClass{};
    pictureClass.cbSize = sizeof pictureClass;
    pictureClass.style = CS_DBLCLKS;
    pictureClass.lpfnWndProc = PictureBoxProc;
    pictureClass.hInstance = instance;
    pictureClass.lpszClassName = kPictureBoxClass;
    RegisterClassExW(&pictureClass);
}

void FormWindow::Create() {
    if (window_ != nullptr) {
        return;
    }
    const DWORD style = FormStyle(form_);
    const DWORD exStyle = FormExStyle(form_);
    RECT outer{0, 0, ToPixels(form_.clientWidth), ToPixels(form_.clientHeight)};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    if (form_.clientOrigin) {
        form_.left = form_.clientOrigin->x + outer.left * kTwipsPerPixel;
        form_.top = form_.clientOrigin->y + outer.top * kTwipsPerPixel;
    }
    placed_ = POINT{ScreenPixels(form_.left), ScreenPixels(form_.top)};
    caption_ = Widen(form_.caption);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    if (CreateWindowExW(exStyle, kFormClass, caption_.c_str(), style, placed_.x, placed_.y, width, height, nullptr,
                        nullptr, GetModuleHandleW(nullptr), this) == nullptr) {
        ThrowLastError();
    }
    form_.width = width * kTwipsPerPixel;
    form_.height = height * kTwipsPerPixel;

    if (form_.icon != StockPicture::None) {
        HICON small = host_.Resources().Icon(form_.icon);
        HICON large = form_.icon == StockPicture::ProgramIcon ? host_.Resources().LargeProgramIcon() : small;
        SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
        SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    }
    MeasureAutoSizeLabels();
    CreateChildren();
    for (Child& child : children_) {
        SyncChild(child);
    }
    painted_ = CapturePaintedState(form_);
}

void FormWindow::Destroy() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void FormWindow::CreateChildren() {
    const auto& controls = form_.Controls();
    std::vector<size_t> order;
    for (size_t i = 0; i < controls.size(); ++i) {
        if (controls[i]->IsWindowed()) {
            order.push_back(i);
        }
        // The system's controls take their current look only with the common controls loaded first.
        if (controls[i]->IsWindowed() && controls[i]->kind != ControlKind::PictureBox) {
            EnsureCommonControls();
        }
    }
    // Creation order is the order that IsDialogMessage tabs in; controls without a tab index come last.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int first = controls[a]->tabIndex;
        const int second = controls[b]->tabIndex;
        return (first >= 0 && second < 0) || (first >= 0 && second >= 0 && first < second);
    });

    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (size_t index : order) {
        Control& control = *controls[index];
        const wchar_t* className = L"STATIC";
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
        DWORD exStyle = 0;
        switch (control.kind) {
        case ControlKind::PictureBox:
            className = kPictureBoxClass;
            break;
        case ControlKind::ListBox:
            className = L"LISTBOX";
            // Never sorted: the entries show in the order the model holds them, so their indexes agree. Exactly as
            // high as designed, not shrunk to whole entries.
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::CommandButton:
            className = L"BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case ControlKind::Frame:
            className = L"BUTTON";
            style |= BS_GROUPBOX;
            break;
        case ControlKind::Label: {
            const auto& label = static_cast<const Label&>(control);
            style |= SS_NOPREFIX;
            if (label.alignment == Alignment::Center) {
                style |= SS_CENTER;
            } else {
                style |= label.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
            }
            // The thin sunken edge is what a fixed single border looks like on a three-dimensional form.
            if (label.borderSingle) {
                exStyle = WS_EX_STATICEDGE;
            }
            break;
        }
        case ControlKind::Image:
        case ControlKind::Shape:
        case ControlKind::Line:
            continue;
        }
        const auto id = static_cast<INT_PTR>(kFirstChildId + static_cast<int>(index));
        HWND child = CreateWindowExW(exStyle, className, L"", style, 0, 0, 0, 0, window_, reinterpret_cast<HMENU>(id),
                                     instance, this);
        if (child == nullptr) {
            ThrowLastError();
        }
        Child entry;
        entry.control = &control;
        entry.window = child;
        children_.push_back(std::move(entry));
    }
    // A group box drawn over its own contents would hide them; it goes beneath its siblings. It takes no focus,
    // so the tab order of the others stays as created.
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

void FormWindow::MeasureAutoSizeLabels() {
    for (Control* control : form_.Controls()) {
        if (control->kind != ControlKind::Label) {
            continue;
        }
        auto& label = static_cast<Label&>(*control);
        if (!label.autoSize) {
            continue;
        }
        Measured& memo = measured_[&label];
        if (memo.caption != label.caption || memo.font != label.font || memo.size.cy == 0) {
            memo = Measured{label.caption, label.font, MeasureText(label.caption, host_.Fonts().Get(label.font))};
        }
        const SIZE size = memo.size;
        label.width = size.cx * kTwipsPerPixel;
        label.height = size.cy * kTwipsPerPixel;
    }
}

void FormWindow::Sync() {
    if (window_ == nullptr) {
        return;
    }
    MeasureAutoSizeLabels();
    for (Child& child : children_) {
        SyncChild(child);
    }
    // Tooltips only matter once the window is on screen; leaving them until then keeps start-up short.
    if (IsWindowVisible(window_)) {
        SyncTooltips();
    }
    std::wstring caption = Widen(form_.caption);
    if (caption != caption_) {
        SetWindowTextW(window_, caption.c_str());
        caption_ = std::move(caption);
    }
    PaintedState painted = CapturePaintedState(form_);
    if (painted != painted_) {
        // Only what changed is painted again: a movement event over the menu touches a lamp, a caption and
        // the status line, not the whole window.
        std::vector<RECT> damage;
        if (ChangedAreas(painted_, painted, damage)) {
            for (const RECT& area : damage) {
                InvalidateRect(window_, &area, FALSE);
            }
        } else {
            InvalidateRect(window_, nullptr, FALSE);
        }
        painted_ = std::move(painted);
    }
    PlaceWindow();
}

void FormWindow::PlaceWindow() {
    if (window_ == nullptr) {
        return;
    }
    const POINT place{ScreenPixels(form_.left), ScreenPixels(form_.top)};
    if (place.x != placed_.x || place.y != placed_.y) {
        SetWindowPos(window_, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        placed_ = place;
    }
}

void FormWindow::SyncChild(Child& child) {
    Control& control = *child.control;
    const RECT box = ControlRect(control);
    if (!SameBox(box, child.box)) {
        SetWindowPos(child.window, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        child.box = box;
    }
    if (const Font* font = ControlFont(control)) {
        HFONT handle = host_.Fonts().Get(*font);
        if (handle != child.font) {
            SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(handle), TRUE);
            child.font = handle;
        }
    } else if (child.font == nullptr) {
        child.font = host_.Fonts().Get(Font{});
        SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(child.font), TRUE);
    }
    std::wstring text = DisplayText(ControlText(control));
    if (text != child.text) {
        SetWindowTextW(child.window, text.c_str());
        child.text = std::move(text);
    }
    switch (control.kind) {
    case ControlKind::ListBox: {
        auto& list = static_cast<ListBox&>(control);
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
        break;
    }
    case ControlKind::PictureBox: {
        const auto& pictureBox = static_cast<const PictureBox&>(control);
        if (pictureBox.picture != child.picture || pictureBox.backColor != child.backColor) {
            InvalidateRect(child.window, nullptr, FALSE);
            child.picture = pictureBox.picture;
            child.backColor = pictureBox.backColor;
        }
        break;
    }
    case ControlKind::Label: {
        const auto& label = static_cast<const Label&>(control);
        if (label.foreColor != child.foreColor || label.backColor != child.backColor) {
            InvalidateRect(child.window, nullptr, TRUE);
            child.foreColor = label.foreColor;
            child.backColor = label.backColor;
        }
        break;
    }
    default:
        break;
    }
    const bool shown = IsShown(control);
    if (shown != child.shown) {
        ShowWindow(child.window, shown ? SW_SHOWNA : SW_HIDE);
        child.shown = shown;
    }
}

void FormWindow::SyncTooltips() {
    for (Control* control : form_.Controls()) {
        if (control->toolTipText.empty() &&
            std::none_of(tips_.begin(), tips_.end(), [&](const Tip& tip) { return tip.control == control; })) {
            continue;
        }
        if (tooltip_ == nullptr) {
            EnsureCommonControls();
            tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
            if (tooltip_ == nullptr) {
                return;
            }
        }
        auto tip = std::find_if(tips_.begin(), tips_.end(), [&](const Tip& item) { return item.control == control; });
        const bool added = tip != tips_.end();
        if (!added) {
            tips_.push_back(Tip{control, static_cast<UINT>(kFirstChildId + tips_.size()), RECT{}, L""});
            tip = tips_.end() - 1;
        }
        // A hidden control, or one whose tip was taken away, keeps its tool with an empty area.
        const RECT box = IsShown(*control) && !control->toolTipText.empty() ? ControlRect(*control) : RECT{};
        std::wstring text = Widen(control->toolTipText);

        // Version-5 size: accepted by every common-controls version.
        TTTOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE;
        info.uFlags = TTF_SUBCLASS;
        info.hwnd = window_;
        info.uId = tip->id;
        info.rect = box;
        info.lpszText = text.data();
        if (HWND child = ChildWindow(*control)) {
            info.uFlags |= TTF_IDISHWND;
            info.uId = reinterpret_cast<UINT_PTR>(child);
        }
        if (!added) {
            SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
        } else {
            if (!SameBox(box, tip->box) && (info.uFlags & TTF_IDISHWND) == 0) {
                SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
            }
            if (text != tip->text) {
                SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
            }
        }
        tip->box = box;
        tip->text = std::move(text);
    }
}

HWND FormWindow::ChildWindow(const Control& control) const {
    for (const Child& child : children_) {
        if (child.control == &control) {
            return child.window;
        }
    }
    return nullptr;
}

FormWindow::Child* FormWindow::FindChild(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    for (Child& child : children_) {
        if (child.window == window) {
            return &child;
        }
    }
    return nullptr;
}

bool FormWindow::HasTabStops() const {
    return std::any_of(children_.begin(), children_.end(), [](const Child& child) {
        return (GetWindowLongPtrW(child.window, GWL_STYLE) & WS_TABSTOP) != 0;
    });
}

void FormWindow::FocusFirstTabStop() {
    if (window_ == nullptr) {
        return;
    }
    HWND first = GetNextDlgTabItem(window_, nullptr, FALSE);
    SetFocus(first != nullptr ? first : window_);
}

HCURSOR FormWindow::CursorAt(HWND over) const {
    if (host_.BusyCursorOn()) {
        return LoadCursorW(nullptr, IDC_WAIT);
    }
    const Control* control = nullptr;
    if (over == window_) {
        POINT point{};
        GetCursorPos(&point);
        ScreenToClient(window_, &point);
        control = form_.HitTest(point.x * kTwipsPerPixel, point.y * kTwipsPerPixel);
    } else {
        for (const Child& child : children_) {
            if (child.window == over) {
                control = child.control;
            }
        }
    }
    if (control != nullptr && control->mousePointer == MousePointer::Hand) {
        return host_.Resources().HandCursor();
    }
    return LoadCursorW(nullptr, IDC_ARROW);
}

HBRUSH FormWindow::BackgroundBrush() {
    if (!form_.backColor) {
        return GetSysColorBrush(COLOR_BTNFACE);
    }
    if (!backBrush_) {
        backBrush_.Reset(CreateSolidBrush(ToColorRef(*form_.backColor)));
    }
    return backBrush_.Get();
}

void FormWindow::PaintClient(HDC dc) {
    RECT client{};
    GetClientRect(window_, &client);
    if (client.right <= 0 || client.bottom <= 0) {
        return;
    }
    // Painted into memory and copied once, so that overlapping controls never flicker; only the part that
    // needs it, when the window says which.
    RECT area = client;
    RECT clip{};
    const int clipKind = GetClipBox(dc, &clip);
    if (clipKind == NULLREGION) {
        return;
    }
    if (clipKind == SIMPLEREGION || clipKind == COMPLEXREGION) {
        IntersectRect(&area, &client, &clip);
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    MemoryDC memory(dc);
    Bitmap bitmap(CreateCompatibleBitmap(dc, width, height));
    SelectScope select(memory.Get(), bitmap.Get());
    SetViewportOrgEx(memory.Get(), -area.left, -area.top, nullptr);
    PaintForm(memory.Get(), client, form_, host_.Fonts(), host_.Resources());
    BitBlt(dc, area.left, area.top, width, height, memory.Get(), area.left, area.top, SRCCOPY);
}

void FormWindow::PaintPictureBox(const Child& child, HDC dc) {
    const auto& box = static_cast<const PictureBox&>(*child.control);
    RECT client{};
    GetClientRect(child.window, &client);
    SetDCBrushColor(dc, ToColorRef(box.backColor));
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    const auto* picture = dynamic_cast<const Win32Picture*>(box.picture.get());
    if (picture == nullptr || picture->Handle() == nullptr) {
        return;
    }
    // Natural size at the top-left corner; the window clips whatever lies beyond it.
    MemoryDC source(dc);
    SelectScope select(source.Get(), picture->Handle());
    BitBlt(dc, 0, 0, picture->WidthPixels(), picture->HeightPixels(), source.Get(), 0, 0, SRCCOPY);
}

void FormWindow::MouseMove(int x, int y) {
    host_.Dispatch([this, x, y] { form_.MouseMoveAt(x * kTwipsPerPixel, y * kTwipsPerPixel); });
}

void FormWindow::MouseDown(int x, int y) {
    pressed_ = form_.HitTest(x * kTwipsPerPixel, y * kTwipsPerPixel);
    SetCapture(window_);
}

void FormWindow::MouseUp(int x, int y) {
    const Control* pressed = std::exchange(pressed_, nullptr);
    if (GetCapture() == window_) {
        ReleaseCapture();
    }
    const Control* released = form_.HitTest(x * kTwipsPerPixel, y * kTwipsPerPixel);
    if (pressed != nullptr && released == pressed && pressed->Click) {
        EventProcedure click = pressed->Click;
        host_.Dispatch(click);
    }
}

void FormWindow::DoubleClick(const Control* target) {
    // Its release clicks nothing.
    pressed_ = nullptr;
    if (target != nullptr && target->DblClick) {
        EventProcedure doubleClick = target->DblClick;
        host_.Dispatch(doubleClick);
    }
}

LRESULT FormWindow::HandleCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDOK) {
        // Enter without a default button: the focused button is pressed, as in a dialog.
        Child* focused = FindChild(GetFocus());
        if (focused != nullptr && focused->control->kind == ControlKind::CommandButton) {
            EventProcedure click = focused->control->Click;
            host_.Dispatch(click);
        }
        return 0;
    }
    Child* child = FindChild(reinterpret_cast<HWND>(lParam));
    if (child == nullptr) {
        return 0;
    }
    Control& control = *child->control;
    if (control.kind == ControlKind::CommandButton && code == BN_CLICKED) {
        EventProcedure click = control.Click;
        host_.Dispatch(click);
    } else if (control.kind == ControlKind::ListBox && code == LBN_SELCHANGE) {
        static_cast<ListBox&>(control).listIndex = static_cast<int>(SendMessageW(child->window, LB_GETCURSEL, 0, 0));
        // A list box's click is its change of selection.
        EventProcedure click = control.Click;
        host_.Dispatch(click);
    }
    return 0;
}

LRESULT FormWindow::HandleControlColor(HDC dc, HWND window) {
    Child* child = FindChild(window);
    if (child != nullptr && child->control->kind == ControlKind::Label) {
        const auto& label = static_cast<const Label&>(*child->control);
        SetTextColor(dc, ToColorRef(label.foreColor));
        if (label.backColor) {
            auto found = std::find_if(labelBrushes_.begin(), labelBrushes_.end(),
                                      [&](const auto& entry) { return entry.first == *label.backColor; });
            if (found == labelBrushes_.end()) {
                labelBrushes_.emplace_back(*label.backColor, Brush(CreateSolidBrush(ToColorRef(*label.backColor))));
                found = labelBrushes_.end() - 1;
            }
            SetBkColor(dc, ToColorRef(*label.backColor));
            return reinterpret_cast<LRESULT>(found->second.Get());
        }
    }
    SetBkColor(dc, form_.backColor ? ToColorRef(*form_.backColor) : GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(BackgroundBrush());
}

LRESULT FormWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = window_;
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintScope paint(window);
        PaintClient(paint.Get());
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintClient(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_MOUSEMOVE:
        MouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        MouseDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        MouseUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONDBLCLK:
        DoubleClick(form_.HitTest(GET_X_LPARAM(lParam) * kTwipsPerPixel, GET_Y_LPARAM(lParam) * kTwipsPerPixel));
        return 0;
    case WM_CAPTURECHANGED:
        pressed_ = nullptr;
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT || host_.BusyCursorOn()) {
            SetCursor(CursorAt(reinterpret_cast<HWND>(wParam)));
            return TRUE;
        }
        break;
    case WM_COMMAND:
        return HandleCommand(wParam, lParam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return HandleControlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE:
        // Keyboard focus comes back to the child that had it, as in a dialog.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(window, focus)) {
                lastFocus_ = focus;
            }
        } else if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsChild(window, lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        } else if (HasTabStops()) {
            FocusFirstTabStop();
            return 0;
        }
        break;
    case WM_CLOSE:
        host_.CloseRequested(*this);
        return 0;
    case WM_DESTROY:
        host_.Destroyed(*this);
        break;
    case WM_NCDESTROY:
        window_ = nullptr;
        tooltip_ = nullptr;
        children_.clear();
        tips_.clear();
        lastFocus_ = nullptr;
        pressed_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT FormWindow::HandlePictureBoxMessage(Child& child, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintScope paint(child.window);
        PaintPictureBox(child, paint.Get());
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintPictureBox(child, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_MOUSEMOVE:
        if (child.control->MouseMove) {
            EventProcedure moved = child.control->MouseMove;
            host_.Dispatch(moved);
        }
        return 0;
    case WM_LBUTTONDOWN:
        pressed_ = child.control;
        SetCapture(child.window);
        return 0;
    case WM_LBUTTONDBLCLK:
        DoubleClick(child.control);
        return 0;
    case WM_LBUTTONUP: {
        const Control* pressed = std::exchange(pressed_, nullptr);
        if (GetCapture() == child.window) {
            ReleaseCapture();
        }
        RECT client{};
        GetClientRect(child.window, &client);
        const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (pressed == child.control && PtInRect(&client, point) && child.control->Click) {
            EventProcedure click = child.control->Click;
            host_.Dispatch(click);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        pressed_ = nullptr;
        return 0;
    default:
        return DefWindowProcW(child.window, message, wParam, lParam);
    }
}

LRESULT CALLBACK FormWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FormWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // No C++ exception may unwind through the window manager's frames.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        self->host_.HandleStrayException();
        return 0;
    }
}

// A group box paints only its edge and caption, and the form's painting stays outside every child window: the
// box fills its own inside with the form's colour.
LRESULT CALLBACK FormWindow::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR owner) {
    if (message == WM_ERASEBKGND) {
        RECT client{};
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, reinterpret_cast<FormWindow*>(owner)->BackgroundBrush());
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

LRESULT CALLBACK FormWindow::PictureBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FormWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    Child* child = self != nullptr ? self->FindChild(window) : nullptr;
    if (child == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return self->HandlePictureBoxMessage(*child, message, wParam, lParam);
    } catch (...) {
        self->host_.HandleStrayException();
        return 0;
    }
}

} // namespace tovira::win32
