#include "platform/win32/FormWindow.h"

#include "platform/win32/Dpi.h"
#include "platform/win32/Errors.h"
#include "platform/win32/Geometry.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Wide.h"

#include <windowsx.h>

#include <utility>
#include <vector>

namespace tovira::win32 {

namespace {

// The second press of a double-click comes as its own message, which raises the double-click event, as in the
// windowing runtime the forms were designed for: never a second Click.
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError();
    }
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

// The object that a window of ours belongs to: handed over at WM_NCCREATE and kept with the window.
template <typename Owner> Owner* OwnerOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* owner = static_cast<Owner*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
        return owner;
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// WM_PAINT and WM_PRINTCLIENT go to one paint routine, which paints the background too and is told whether it
// paints the window itself; nothing for the rest.
template <typename PaintRoutine>
std::optional<LRESULT> PaintMessage(HWND window, UINT message, WPARAM wParam, PaintRoutine paint) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintScope scope(window);
        paint(scope.Get(), true);
        return 0;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wParam), false);
        return 0;
    default:
        return std::nullopt;
    }
}

} // namespace

FormWindow::FormWindow(FormHost& host, Form& form)
    : host_(host), form_(form), children_(form, host.Fonts()),
      accessibility_(form, [this](const Control& control) { Raise(control.Click); }) {}

FormWindow::~FormWindow() {
    if (window_ != nullptr) {
        // The host is going away with us: no callbacks while the window dies.
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        children_.Detach();
        DestroyWindow(window_);
    }
}

void FormWindow::Create() {
    if (window_ != nullptr) {
        return;
    }
    static const bool registered =
        (RegisterWindowClass(kFormClass, WindowProc), RegisterWindowClass(kPictureBoxClass, PictureBoxProc), true);
    static_cast<void>(registered);
    scale_ = SystemScale();
    RECT outer = OuterRect();
    if (form_.clientOrigin) {
        form_.left = form_.clientOrigin->x + scale_.ToTwips(outer.left);
        form_.top = form_.clientOrigin->y + scale_.ToTwips(outer.top);
    }
    placed_ = POINT{ToPixels(scale_, form_.left), ToPixels(scale_, form_.top)};
    caption_ = Widen(form_.caption);
    if (CreateWindowExW(FormExStyle(form_), kFormClass, caption_.c_str(), FormStyle(form_), placed_.x, placed_.y,
                        outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                        this) == nullptr) {
        ThrowLastError();
    }
    if (const PixelScale scale = WindowScale(window_); scale != scale_) {
        // Opened on a screen of another scale than the one that the position was worked out for.
        scale_ = scale;
        outer = OuterRect();
        SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    outer = FitClient();
    form_.width = scale_.ToTwips(outer.right - outer.left);
    form_.height = scale_.ToTwips(outer.bottom - outer.top);
    MeasureAutoSizeLabels();
    children_.Create(window_, this);
    children_.Sync(scale_);
    painted_ = CapturePaintedState(form_, scale_);
}

RECT FormWindow::OuterRect() const {
    const RECT client{0, 0, ToPixels(scale_, form_.clientWidth), ToPixels(scale_, form_.clientHeight)};
    return win32::OuterRect(client, FormStyle(form_), FormExStyle(form_), scale_);
}

// The frame that the window system draws may be for another scale than the window's: the system's, on a screen
// whose scale differs from it, where Windows before 10 (version 1703) scales no frame for its screen. The client
// area keeps the layout's size all the same. Returns the outer rectangle.
RECT FormWindow::FitClient() {
    RECT client{};
    RECT outer{};
    GetClientRect(window_, &client);
    GetWindowRect(window_, &outer);
    const int wider = ToPixels(scale_, form_.clientWidth) - client.right;
    const int taller = ToPixels(scale_, form_.clientHeight) - client.bottom;
    if (wider != 0 || taller != 0) {
        outer.right += wider;
        outer.bottom += taller;
        SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return outer;
}

void FormWindow::Show(int command) {
    SyncIcons();
    PreparePictures();
    ShowWindow(window_, command);
}

// Above 100 % the pictures are drawn when first asked for: those that the first paint shows are drawn before the
// window appears, not while it stands empty on the screen.
void FormWindow::PreparePictures() {
    for (const PaintedItem& item : painted_) {
        std::visit(
            [this](const auto& look) {
                if constexpr (requires { look.picture; }) {
                    host_.Resources().Prepare(look.picture, scale_);
                }
            },
            item.look);
    }
}

// Given as late as they can be, since above 100 % they are drawn: the small one as the window appears, the large
// one, which only the task switcher shows, once it is on screen.
void FormWindow::SyncIcons() {
    if (form_.icon == StockPicture::None) {
        return;
    }
    if (smallIconScale_ != scale_) {
        HICON small = host_.Resources().Icon(form_.icon, scale_);
        SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
        smallIconScale_ = scale_;
    }
    if (largeIconScale_ != scale_ && IsWindowVisible(window_)) {
        HICON large = form_.icon == StockPicture::ProgramIcon ? host_.Resources().LargeProgramIcon(scale_)
                                                              : host_.Resources().Icon(form_.icon, scale_);
        SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
        largeIconScale_ = scale_;
    }
}

// Moved to a screen of another scale: everything is laid out, measured and drawn again for it, in the rectangle
// that Windows suggests, which keeps the window where the user put it.
void FormWindow::FollowScale(const PixelScale& scale, const RECT& suggested) {
    scale_ = scale;
    measured_.clear();
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT outer = FitClient();
    placed_ = POINT{suggested.left, suggested.top};
    form_.left = scale_.ToTwips(suggested.left);
    form_.top = scale_.ToTwips(suggested.top);
    form_.width = scale_.ToTwips(outer.right - outer.left);
    form_.height = scale_.ToTwips(outer.bottom - outer.top);
    Sync();
    InvalidateRect(window_, nullptr, FALSE);
}

void FormWindow::Destroy() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void FormWindow::MeasureAutoSizeLabels() {
    for (Control* control : form_.Controls()) {
        if (control->kind != ControlKind::Label || !static_cast<Label&>(*control).autoSize) {
            continue;
        }
        auto& label = static_cast<Label&>(*control);
        // The look it has first, the one it had second: a hover turns a menu caption bold and back.
        auto& memo = measured_[&label];
        const auto matches = [&](const Measured& m) {
            return m.caption == label.caption && m.font == label.font && m.size.cy != 0;
        };
        if (!matches(memo[0])) {
            std::swap(memo[0], memo[1]);
            if (!matches(memo[0])) {
                memo[0] = Measured{label.caption, label.font,
                                   MeasureText(label.caption, host_.Fonts().Get(label.font, scale_))};
            }
        }
        label.width = scale_.ToTwips(memo[0].size.cx);
        label.height = scale_.ToTwips(memo[0].size.cy);
    }
}

void FormWindow::Sync() {
    if (window_ == nullptr) {
        return;
    }
    MeasureAutoSizeLabels();
    children_.Sync(scale_);
    // Tooltips only matter once the window is on screen; leaving them until then keeps start-up short.
    if (IsWindowVisible(window_)) {
        tooltips_.Sync(window_, form_, children_, scale_);
    }
    SyncCaption();
    SyncIcons();
    SyncPainted();
    accessibility_.Sync(window_, scale_, [this](const Control& control) { return ChildWindow(control); });
    PlaceWindow();
}

void FormWindow::SyncCaption() {
    std::wstring caption = Widen(form_.caption);
    if (caption != caption_) {
        SetWindowTextW(window_, caption.c_str());
        caption_ = std::move(caption);
    }
}

// Only what changed is painted again: a movement event over the menu touches a lamp, a caption and the status
// line, not the whole window.
void FormWindow::SyncPainted() {
    PaintedState painted = CapturePaintedState(form_, scale_);
    if (painted == painted_) {
        return;
    }
    std::vector<RECT> damage;
    const bool inPlaces = ChangedAreas(painted_, painted, damage);
    painted_ = std::move(painted);
    if (!inPlaces) {
        InvalidateRect(window_, nullptr, FALSE);
        return;
    }
    // One region: one invalidation (each a round trip to Wine's server), or one clip for painting at once.
    Region region(CreateRectRgn(0, 0, 0, 0));
    Region box(CreateRectRgn(0, 0, 0, 0));
    for (const RECT& area : damage) {
        SetRectRgn(box.Get(), area.left, area.top, area.right, area.bottom);
        CombineRgn(region.Get(), region.Get(), box.Get(), RGN_OR);
    }
    if (paintAtOnce_ && IsWindowVisible(window_)) {
        // Drawn where it shows, as a paint message would draw it; a part that is covered now gets a paint message
        // of its own when it is uncovered.
        WindowDC dc(window_);
        if (dc.Get() != nullptr && SelectClipRgn(dc.Get(), region.Get()) != ERROR) {
            PaintClient(dc.Get(), true);
            return;
        }
    }
    InvalidateRgn(window_, region.Get(), FALSE);
}

void FormWindow::PlaceWindow() {
    const POINT place{ToPixels(scale_, form_.left), ToPixels(scale_, form_.top)};
    if (place.x != placed_.x || place.y != placed_.y) {
        SetWindowPos(window_, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        placed_ = place;
    }
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
        control = form_.HitTest(scale_.ToTwips(point.x), scale_.ToTwips(point.y));
    } else if (const ChildWindows::Child* child = children_.Find(over)) {
        control = child->control;
    }
    if (control != nullptr && control->mousePointer == MousePointer::Hand) {
        return host_.Resources().HandCursor(scale_);
    }
    return LoadCursorW(nullptr, IDC_ARROW);
}

void FormWindow::PaintClient(HDC dc, bool toWindow) {
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
    // The window's own buffer serves the small paints, as a movement brings them; a large one (the first, or into
    // another DC) takes a buffer of its own, so that the kept one stays small.
    PaintBuffer once(pictures_);
    const bool small =
        4 * static_cast<long long>(width) * height <= static_cast<long long>(client.right) * client.bottom;
    PaintBuffer& buffer = toWindow && small ? buffer_ : once;
    HDC memory = buffer.Prepare(dc, area);
    if (memory == nullptr) {
        return;
    }
    PaintState(buffer, dc, client, CapturePaintedState(form_, scale_), scale_, host_.Fonts(), host_.Resources());
    BitBlt(dc, area.left, area.top, width, height, memory, area.left, area.top, SRCCOPY);
}

void FormWindow::Press(const Control* control, HWND window) {
    pressed_ = control;
    SetCapture(window);
}

const Control* FormWindow::Release(HWND window) {
    const Control* pressed = std::exchange(pressed_, nullptr);
    if (GetCapture() == window) {
        ReleaseCapture();
    }
    return pressed;
}

void FormWindow::DoubleClick(const Control* target) {
    // Its release clicks nothing.
    pressed_ = nullptr;
    if (target != nullptr) {
        Raise(target->DblClick);
    }
}

// The procedure runs from a copy of its slot: a procedure may assign its own control's slot anew.
void FormWindow::Raise(const EventProcedure& procedure) {
    if (procedure) {
        host_.Dispatch(EventProcedure(procedure));
    }
}

void FormWindow::HandleMouse(UINT message, LPARAM lParam) {
    const double x = scale_.ToTwips(GET_X_LPARAM(lParam));
    const double y = scale_.ToTwips(GET_Y_LPARAM(lParam));
    switch (message) {
    case WM_MOUSEMOVE: {
        // The control under the pointer is found when the procedure runs, after any that it waits for.
        // The hover's new look is painted before the message returns (SyncPainted), rather than left to a paint
        // message: under Wine the invalidation, the paint message, BeginPaint and EndPaint are each a round trip
        // to its server, and a caller that waits for the repaint (a pointer driven from another program) would
        // send a paint message of its own.
        paintAtOnce_ = true;
        const struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{paintAtOnce_};
        host_.Dispatch([this, x, y] { form_.MouseMoveAt(x, y); });
        return;
    }
    case WM_LBUTTONDOWN:
        Press(form_.HitTest(x, y), window_);
        return;
    case WM_LBUTTONUP: {
        const Control* pressed = Release(window_);
        if (pressed != nullptr && pressed == form_.HitTest(x, y)) {
            Raise(pressed->Click);
        }
        return;
    }
    case WM_LBUTTONDBLCLK:
        DoubleClick(form_.HitTest(x, y));
        return;
    default:
        return;
    }
}

LRESULT FormWindow::HandleCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDOK) {
        // Enter without a default button: the focused button is pressed, as in a dialog.
        const ChildWindows::Child* focused = children_.Find(GetFocus());
        if (focused != nullptr && focused->control->kind == ControlKind::CommandButton) {
            Raise(focused->control->Click);
        }
        return 0;
    }
    ChildWindows::Child* child = children_.Find(reinterpret_cast<HWND>(lParam));
    if (child == nullptr) {
        return 0;
    }
    Control& control = *child->control;
    if (control.kind == ControlKind::CommandButton && code == BN_CLICKED) {
        Raise(control.Click);
    } else if (control.kind == ControlKind::ListBox && code == LBN_SELCHANGE) {
        static_cast<ListBox&>(control).listIndex = static_cast<int>(SendMessageW(child->window, LB_GETCURSEL, 0, 0));
        // A list box's click is its change of selection.
        Raise(control.Click);
    }
    return 0;
}

// Keyboard focus comes back to the child that had it, as in a dialog. True when the focus was placed here.
bool FormWindow::HandleActivate(WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) {
            lastFocus_ = focus;
        }
        return false;
    }
    if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsChild(window_, lastFocus_)) {
        SetFocus(lastFocus_);
        return true;
    }
    if (HasTabStops()) {
        FocusFirstTabStop();
        return true;
    }
    return false;
}

void FormWindow::Forget() {
    window_ = nullptr;
    children_.Clear();
    tooltips_.Clear();
    lastFocus_ = nullptr;
    pressed_ = nullptr;
}

LRESULT FormWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = window_;
    if (auto answer = accessibility_.HandleMessage(window, message, wParam, lParam, scale_)) {
        return *answer;
    }
    if (auto painted =
            PaintMessage(window, message, wParam, [this](HDC dc, bool toWindow) { PaintClient(dc, toWindow); })) {
        return *painted;
    }
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        tooltips_.Relay(window, message, wParam, lParam);
        HandleMouse(message, lParam);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        tooltips_.Relay(window, message, wParam, lParam);
        break;
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
        return children_.Colors(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE:
        if (HandleActivate(wParam)) {
            return 0;
        }
        break;
    case WM_DPICHANGED:
        FollowScale(PixelScale(HIWORD(wParam)), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        host_.CloseRequested(*this);
        return 0;
    case WM_DESTROY:
        host_.Destroyed(*this);
        break;
    case WM_NCDESTROY:
        Forget();
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT FormWindow::HandlePictureBoxMessage(ChildWindows::Child& child, UINT message, WPARAM wParam, LPARAM lParam) {
    if (auto painted = PaintMessage(child.window, message, wParam,
                                    [&](HDC dc, bool) { children_.PaintPictureBox(child, dc, scale_); })) {
        return *painted;
    }
    switch (message) {
    case WM_MOUSEMOVE:
        Raise(child.control->MouseMove);
        return 0;
    case WM_LBUTTONDOWN:
        Press(child.control, child.window);
        return 0;
    case WM_LBUTTONDBLCLK:
        DoubleClick(child.control);
        return 0;
    case WM_LBUTTONUP: {
        const Control* pressed = Release(child.window);
        RECT client{};
        GetClientRect(child.window, &client);
        if (pressed == child.control && PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
            Raise(child.control->Click);
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

// No C++ exception may unwind through the window manager's frames.
template <typename Handler> LRESULT FormWindow::AtTheEdge(Handler handler) {
    try {
        return handler();
    } catch (...) {
        host_.HandleStrayException();
        return 0;
    }
}

LRESULT CALLBACK FormWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FormWindow* self = OwnerOf<FormWindow>(window, message, lParam);
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCCREATE) {
        self->window_ = window;
    }
    return self->AtTheEdge([&] { return self->HandleMessage(message, wParam, lParam); });
}

LRESULT CALLBACK FormWindow::PictureBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FormWindow* self = OwnerOf<FormWindow>(window, message, lParam);
    ChildWindows::Child* child = self != nullptr ? self->children_.Find(window) : nullptr;
    if (child == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->AtTheEdge([&] { return self->HandlePictureBoxMessage(*child, message, wParam, lParam); });
}

} // namespace tovira::win32
