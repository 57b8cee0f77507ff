#include "platform/win32/Win32Runtime.h"

#include "platform/RuntimeError.h"
#include "platform/win32/StockResources.h"
#include "platform/win32/Wide.h"
#include "register/frmRegister.h"
#include "runtime_support.h"
#include "services_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovira::win32 {
namespace {

using testing::ChildWindowOf;
using testing::UserThread;
using testing::WaitUntil;
using testing::WindowOf;

// The test prefix runs at 96 pixels an inch.
constexpr double kTwipsPerPixel = 15;

double Twips(int pixels) {
    return pixels * kTwipsPerPixel;
}

void Place(Control& control, int x, int y, int width, int height) {
    control.Move(Twips(x), Twips(y), Twips(width), Twips(height));
}

class TestForm : public Form {
public:
    explicit TestForm(const char* formName) : Form(formName) {
        caption = formName;
        clientWidth = Twips(240);
        clientHeight = Twips(160);
        backColor = kBlack;
    }
    using Form::SetStackingOrder;
};

// The runtime with the program's end observed instead of carried out.
struct TestRuntime {
    explicit TestRuntime(HINSTANCE resources = GetModuleHandleW(nullptr))
        : runtime(resources, [this](UINT code) {
              ++ends;
              exitCode = code;
          }) {}
    int ends = 0;
    UINT exitCode = 99;
    Win32Runtime runtime;
};

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data;
    COLORREF At(int x, int y) const {
        const std::uint32_t value = data[static_cast<size_t>(y * width + x)];
        return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    }
    int Count(RECT area, COLORREF color) const {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                count += At(x, y) == color ? 1 : 0;
            }
        }
        return count;
    }
};

// What `draw` paints into a 32-bit bitmap of our own, `width` by `height`.
Pixels DrawnPixels(int width, int height, const std::function<void(HDC)>& draw) {
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    draw(memory);
    GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    pixels.data.assign(first, first + width * height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

// The form's painting as WM_PRINTCLIENT delivers it into a bitmap of our own.
Pixels PrintClient(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return DrawnPixels(client.right, client.bottom, [&](HDC memory) {
        SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    });
}

// The executable's own resources (lamps, menu panel), read from the shipped program beside the tests' build.
HMODULE ProgramResources() {
    wchar_t path[MAX_PATH]{};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring program(path);
    program = program.substr(0, program.find_last_of(L'\\'));
    program = program.substr(0, program.find_last_of(L'\\'));
    program = program.substr(0, program.find_last_of(L'\\')) + L"\\Tovira.exe";
    return LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kGreen = RGB(0, 255, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kWhiteRef = RGB(255, 255, 255);
const COLORREF kBlackRef = RGB(0, 0, 0);

struct PaintedForm : TestForm {
    PaintedForm() : TestForm("frmPainted") {
        Place(opaque, 10, 10, 50, 20);
        opaque.backColor = Color{255, 0, 0};
        Place(text, 10, 40, 90, 20);
        text.caption = "WWWW";
        text.foreColor = kWhite;
        Place(twoLines, 10, 70, 90, 40);
        twoLines.caption = "MMM\rMMM";
        twoLines.foreColor = kWhite;
        Place(upper, 120, 100, 40, 20);
        upper.backColor = Color{0, 255, 0};
        Place(lower, 140, 110, 40, 20);
        lower.backColor = Color{0, 0, 255};
        Place(hidden, 200, 100, 20, 20);
        hidden.backColor = Color{255, 0, 0};
        hidden.visible = false;
        Place(box, 110, 10, 50, 40);
        column.SetEnds(Twips(180), 0, Twips(180), Twips(60));
        row.SetEnds(Twips(190), Twips(70), Twips(210), Twips(70));
        SetStackingOrder({&upper, &lower, &hidden, &opaque, &text, &twoLines, &box, &column, &row});
    }
    Label upper{"upper"};
    Label lower{"lower"};
    Label hidden{"hidden"};
    Label opaque{"opaque"};
    Label text{"text"};
    Label twoLines{"twoLines"};
    Shape box{"box"};
    Line column{"column"};
    Line row{"row"};
};

TEST(RuntimePaint, LabelsShapesLinesAndStackingAsDesigned) {
    TestRuntime test;
    PaintedForm form;
    test.runtime.LoadForm(form);
    const Pixels pixels = PrintClient(WindowOf(form));
    ASSERT_EQ(pixels.width, 240);
    ASSERT_EQ(pixels.height, 160);

    // An opaque label fills its whole box and nothing beyond it.
    EXPECT_EQ(pixels.Count({10, 10, 60, 30}, kRed), 50 * 20);
    EXPECT_EQ(pixels.At(60, 30), kBlackRef);

    // A transparent label draws its text inside its box and leaves the background around the letters.
    EXPECT_GT(pixels.Count({10, 40, 100, 60}, kWhiteRef), 20);
    EXPECT_GT(pixels.Count({10, 40, 100, 60}, kBlackRef), 20 * 90 / 2);
    EXPECT_EQ(pixels.Count({0, 30, 10, 70}, kWhiteRef), 0);

    // A lone CR starts a second line.
    const int firstLine = pixels.Count({10, 70, 100, 84}, kWhiteRef);
    const int secondLine = pixels.Count({10, 84, 100, 110}, kWhiteRef);
    EXPECT_GT(firstLine, 10);
    EXPECT_GT(secondLine, 10);

    // The upper label covers the lower where they overlap; a hidden control is not painted at all.
    EXPECT_EQ(pixels.At(150, 115), kGreen);
    EXPECT_EQ(pixels.At(170, 125), kBlue);
    EXPECT_EQ(pixels.Count({200, 100, 220, 120}, kRed), 0);

    // A shape is a 1-pixel outline over its box, not filled.
    EXPECT_EQ(pixels.At(110, 10), kWhiteRef);
    EXPECT_EQ(pixels.At(159, 49), kWhiteRef);
    EXPECT_EQ(pixels.At(135, 10), kWhiteRef);
    EXPECT_EQ(pixels.At(110, 30), kWhiteRef);
    EXPECT_EQ(pixels.At(111, 11), kBlackRef);
    EXPECT_EQ(pixels.At(135, 30), kBlackRef);
    EXPECT_EQ(pixels.At(160, 50), kBlackRef);

    // Lines include both end pixels and are one pixel wide.
    EXPECT_EQ(pixels.Count({180, 0, 181, 61}, kWhiteRef), 61);
    EXPECT_EQ(pixels.At(180, 61), kBlackRef);
    EXPECT_EQ(pixels.Count({179, 0, 180, 61}, kWhiteRef) + pixels.Count({181, 0, 182, 61}, kWhiteRef), 0);
    EXPECT_EQ(pixels.Count({190, 70, 211, 71}, kWhiteRef), 21);
    EXPECT_EQ(pixels.At(211, 70), kBlackRef);
}

struct PictureForm : TestForm {
    PictureForm() : TestForm("frmPictures") {
        clientWidth = Twips(260);
        backColor = Color{255, 0, 0};
        picture = StockPicture::MenuPanel;
        Place(lamp, 230, 20, 16, 16);
        lamp.picture = StockPicture::LitLamp;
        // The launcher's rows: a dark lamp over a lit one until the pointer uncovers it.
        Place(cover, 230, 60, 16, 16);
        cover.picture = StockPicture::DarkLamp;
        Place(covered, 230, 60, 16, 16);
        covered.picture = StockPicture::LitLamp;
        SetStackingOrder({&lamp, &cover, &covered});
    }
    Image lamp{"lamp"};
    Image cover{"cover"};
    Image covered{"covered"};
};

// Whether the box at (x, y) shows exactly what Windows' own DrawIconEx makes of the icon over `background`.
bool ShowsIcon(const Pixels& pixels, int x, int y, HICON icon, COLORREF background) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return false;
    }
    BITMAP size{};
    GetObjectW(info.hbmMask, sizeof size, &size);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    const int side = size.bmWidth;
    const Pixels expected = DrawnPixels(side, side, [&](HDC memory) {
        const RECT all{0, 0, side, side};
        HBRUSH brush = CreateSolidBrush(background);
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
    });
    int differing = 0;
    for (int row = 0; row < expected.height; ++row) {
        for (int column = 0; column < expected.width; ++column) {
            differing += pixels.At(x + column, y + row) != expected.At(column, row) ? 1 : 0;
        }
    }
    return differing == 0;
}

TEST(RuntimePaint, BackgroundPictureAtNaturalSizeAndLampIcon) {
    HMODULE resources = ProgramResources();
    ASSERT_NE(resources, nullptr) << "the program's resources are needed";
    {
        TestRuntime test(resources);
        PictureForm form;
        test.runtime.LoadForm(form);
        const Pixels pixels = PrintClient(WindowOf(form));
        // The menu panel's stripes: row 1 dark blue, row 0 black; right of its 211 columns the form's own colour.
        EXPECT_EQ(pixels.At(5, 1), RGB(0, 64, 128));
        EXPECT_EQ(pixels.At(5, 0), kBlackRef);
        EXPECT_EQ(pixels.At(210, 1), RGB(0, 64, 128));
        EXPECT_EQ(pixels.At(211, 1), kRed);
        // The lamp is drawn inside its 16-pixel square, with the background showing through its mask.
        const RECT lampBox{230, 20, 246, 36};
        EXPECT_GT(16 * 16 - pixels.Count(lampBox, kRed), 30);
        EXPECT_GT(pixels.Count(lampBox, kRed), 0);
        EXPECT_EQ(pixels.Count({230, 36, 246, 40}, kRed), 16 * 4);
        // Drawn as Windows draws icons, the top one of a stack only.
        StockResources stock(resources);
        EXPECT_TRUE(ShowsIcon(pixels, 230, 20, stock.Icon(StockPicture::LitLamp, PixelScale()), kRed));
        EXPECT_TRUE(ShowsIcon(pixels, 230, 60, stock.Icon(StockPicture::DarkLamp, PixelScale()), kRed));

        // After a small paint on screen, which draws the panel through the window's kept buffer, a whole paint still
        // draws it: Windows selects a bitmap into one DC at a time.
        HWND window = WindowOf(form);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
        for (const bool shown : {false, true}) {
            test.runtime.Dispatch([&] { form.cover.visible = shown; });
            UpdateWindow(window);
            EXPECT_EQ(PrintClient(window).At(5, 1), RGB(0, 64, 128));
        }

        // Moved to a screen at 200 %: laid out again in the rectangle offered, not centred, and drawn anew.
        RECT offered{40, 30, 0, 0};
        RECT frame{0, 0, 520, 320};
        AdjustWindowRectEx(&frame, GetWindowLongW(window, GWL_STYLE), FALSE, GetWindowLongW(window, GWL_EXSTYLE));
        offered.right = offered.left + frame.right - frame.left;
        offered.bottom = offered.top + frame.bottom - frame.top;
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&offered));
        RECT now{};
        GetWindowRect(window, &now);
        EXPECT_TRUE(EqualRect(&now, &offered));
        EXPECT_EQ(form.left, 40 * 7.5);
        const Pixels scaled = PrintClient(window);
        ASSERT_EQ(scaled.width, 520);
        ASSERT_EQ(scaled.height, 320);
        for (int y = 0; y < 12; ++y) {
            EXPECT_EQ(scaled.At(5, y), y % 6 == 2 || y % 6 == 3 ? RGB(0, 64, 128) : kBlackRef) << "row " << y;
        }
        EXPECT_EQ(scaled.At(421, 2), RGB(0, 64, 128));
        EXPECT_EQ(scaled.At(422, 2), kRed);
        const int lampShown = 32 * 32 - scaled.Count({460, 40, 492, 72}, kRed);
        EXPECT_GT(lampShown, 3 * (16 * 16 - pixels.Count(lampBox, kRed)));
        EXPECT_EQ(scaled.Count({456, 40, 460, 72}, kRed) + scaled.Count({460, 72, 492, 76}, kRed), 4 * 32 * 2);
        EXPECT_TRUE(ShowsIcon(scaled, 460, 120, stock.Icon(StockPicture::DarkLamp, PixelScale(192)), kRed));
    }
    FreeLibrary(resources);
}

struct SyncForm : TestForm {
    SyncForm() : TestForm("frmSync") {
        Place(message, 10, 10, 100, 20);
        message.foreColor = kWhite;
        Place(menu, 10, 40, 10, 10);
        menu.caption = "Abrir Manual";
        menu.font = Font{"MS Sans Serif", 9.75, false};
        menu.autoSize = true;
        menu.foreColor = kWhite;
        SetStackingOrder({&message, &menu});
    }
    Label message{"message"};
    Label menu{"menu"};
};

bool NeedsPaint(HWND window) {
    return GetUpdateRect(window, nullptr, FALSE) != FALSE;
}

TEST(RuntimeSync, RepaintsOnlyWhatChangedAndMeasuresAutoSizeLabels) {
    TestRuntime test;
    SyncForm form;
    test.runtime.LoadForm(form);
    HWND window = WindowOf(form);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    ASSERT_FALSE(NeedsPaint(window));

    // Measured at creation, in the label's own font, before anything runs.
    const double regularWidth = form.menu.width;
    EXPECT_GT(regularWidth, Twips(30));
    EXPECT_GT(form.menu.height, Twips(8));

    test.runtime.Dispatch([&] { form.message.caption = "Explorar"; });
    EXPECT_TRUE(NeedsPaint(window));
    // Only the changed label's box waits for paint, not the whole window.
    RECT pending{};
    GetUpdateRect(window, &pending, FALSE);
    EXPECT_LE(pending.left, 10);
    EXPECT_LE(pending.top, 10);
    EXPECT_GE(pending.right, 110);
    EXPECT_GE(pending.bottom, 30);
    EXPECT_LE(pending.bottom, 31) << "the label below did not change";
    UpdateWindow(window);

    // The hover procedures repeat the same assignments on every movement: no repaint for them.
    test.runtime.Dispatch([&] { form.message.caption = "Explorar"; });
    EXPECT_FALSE(NeedsPaint(window));
    test.runtime.Dispatch(nullptr);
    EXPECT_FALSE(NeedsPaint(window));

    test.runtime.Dispatch([&] { form.menu.font.bold = true; });
    EXPECT_TRUE(NeedsPaint(window));
    EXPECT_GT(form.menu.width, regularWidth);
    UpdateWindow(window);

    test.runtime.Dispatch([&] { form.menu.font.bold = false; });
    EXPECT_EQ(form.menu.width, regularWidth);
    UpdateWindow(window);

    test.runtime.Dispatch([&] { form.message.visible = false; });
    EXPECT_TRUE(NeedsPaint(window));
    UpdateWindow(window);

    // A movement's change is on the screen when its message returns, with nothing left to a paint message.
    form.MouseMove = [&] { form.message.visible = true; };
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(200, 120));
    EXPECT_FALSE(NeedsPaint(window));
    const Pixels shown =
        DrawnPixels(120, 40, [&](HDC memory) { BitBlt(memory, 0, 0, 120, 40, WindowDC(window).Get(), 0, 0, SRCCOPY); });
    EXPECT_GT(shown.Count({10, 10, 110, 30}, RGB(255, 255, 255)), 20) << "the caption in white";
}

struct MouseForm : TestForm {
    MouseForm() : TestForm("frmMouse") {
        Place(handled, 10, 10, 60, 20);
        handled.MouseMove = [this] { events.push_back("handled.move"); };
        handled.Click = [this] { events.push_back("handled.click"); };
        handled.DblClick = [this] { events.push_back("handled.dblclick"); };
        handled.mousePointer = MousePointer::Hand;
        Place(silent, 10, 40, 60, 20);
        Place(hidden, 10, 70, 60, 20);
        hidden.visible = false;
        hidden.MouseMove = [this] { events.push_back("hidden.move"); };
        Place(outline, 100, 10, 60, 60);
        line.SetEnds(Twips(100), Twips(100), Twips(200), Twips(100));
        Place(logo, 180, 10, 50, 50);
        logo.visible = true;
        logo.MouseMove = [this] { events.push_back("logo.move"); };
        MouseMove = [this] { events.push_back("form.move"); };
        SetStackingOrder({&logo, &handled, &silent, &hidden, &outline, &line});
    }
    std::vector<std::string> events;
    PictureBox logo{"logo"};
    Label handled{"handled"};
    Label silent{"silent"};
    Label hidden{"hidden"};
    Shape outline{"outline"};
    Line line{"line"};
};

LPARAM At(int x, int y) {
    return MAKELPARAM(x, y);
}

TEST(RuntimeMouse, MovementAndClicksReachTheControlUnderThePointer) {
    TestRuntime test;
    MouseForm form;
    test.runtime.LoadForm(form);
    HWND window = WindowOf(form);
    const auto moveTo = [&](int x, int y) { SendMessageW(window, WM_MOUSEMOVE, 0, At(x, y)); };

    moveTo(20, 15);   // the handled label
    moveTo(20, 45);   // a label without a movement procedure swallows it
    moveTo(20, 75);   // the hidden label lets it through
    moveTo(130, 10);  // the shape's outline lets it through
    moveTo(130, 100); // so does the line
    moveTo(5, 150);   // the bare surface
    SendMessageW(ChildWindowOf(form, form.logo), WM_MOUSEMOVE, 0, At(5, 5));
    EXPECT_EQ(form.events, (std::vector<std::string>{"handled.move", "form.move", "form.move", "form.move", "form.move",
                                                     "logo.move"}));

    form.events.clear();
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    SendMessageW(window, WM_LBUTTONUP, 0, At(25, 20));
    // Pressed on the label but released elsewhere: no click.
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    SendMessageW(window, WM_LBUTTONUP, 0, At(20, 45));
    EXPECT_EQ(form.events, std::vector<std::string>{"handled.click"});

    // The second press of a double-click raises the double-click event, and its release no click.
    form.events.clear();
    for (UINT press : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}) {
        SendMessageW(window, press, MK_LBUTTON, At(20, 15));
        SendMessageW(window, WM_LBUTTONUP, 0, At(20, 15));
    }
    EXPECT_EQ(form.events, (std::vector<std::string>{"handled.click", "handled.dblclick"}));
}

TEST(RuntimeEvents, InputWhileAProcedureWaitsRunsAfterItNotInsideIt) {
    TestRuntime test;
    MouseForm form;
    test.runtime.LoadForm(form);
    HWND window = WindowOf(form);
    // Keeps the window responsive while it waits, as the activation's wait for the focus does.
    form.silent.Click = [&] {
        form.events.push_back("wait begins");
        PostMessageW(window, WM_MOUSEMOVE, 0, At(20, 15));
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
        PostMessageW(window, WM_LBUTTONUP, 0, At(20, 15));
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        form.events.push_back("wait ends");
    };
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 45));
    SendMessageW(window, WM_LBUTTONUP, 0, At(20, 45));
    EXPECT_EQ(form.events, (std::vector<std::string>{"wait begins", "wait ends", "handled.move", "handled.click"}));
}

TEST(RuntimeMouse, PointerShapeFollowsTheControlAndTheBusyCursor) {
    TestRuntime test;
    MouseForm form;
    test.runtime.LoadForm(form);
    HWND window = WindowOf(form);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    UpdateWindow(window);
    POINT point{20, 15};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    const LPARAM client = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);

    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), client);
    // The test program has no hand resource, so the system's hand stands in for it.
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    test.runtime.SetBusyCursor(true);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), client);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    test.runtime.SetBusyCursor(false);
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), client);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));

    point = POINT{20, 45};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), client);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

std::wstring ListEntry(HWND list, int index) {
    wchar_t text[64]{};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

bool HasVisibleStyle(HWND window) {
    return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

TEST(RuntimeDialog, RegistrationWindowStandsAsDesignedAndFollowsItsModelBothWays) {
    TestRuntime test;
    frmRegister form(test.runtime);
    test.runtime.LoadForm(form);
    HWND window = WindowOf(form);
    HWND list = ChildWindowOf(form, form.lstArquivos);
    ASSERT_NE(list, nullptr);

    // The client area as designed, its corner where the definition puts it; the outer geometry written back.
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 334);
    EXPECT_EQ(client.bottom, 250);
    POINT corner{0, 0};
    ClientToScreen(window, &corner);
    EXPECT_EQ(corner.x, 3495 / 15);
    EXPECT_EQ(corner.y, 2535 / 15);
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(form.left, outer.left * kTwipsPerPixel);
    EXPECT_EQ(form.top, outer.top * kTwipsPerPixel);
    EXPECT_EQ(form.width, (outer.right - outer.left) * kTwipsPerPixel);
    EXPECT_EQ(form.height, (outer.bottom - outer.top) * kTwipsPerPixel);
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX), 0);

    // Measured from the frame's corner; exactly as high as designed, not cut down to whole entries.
    RECT listBox{};
    GetWindowRect(list, &listBox);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&listBox), 2);
    EXPECT_EQ(listBox.left, (120 + 180) / 15);
    EXPECT_EQ(listBox.top, (1200 + 300) / 15);
    EXPECT_EQ(listBox.right - listBox.left, 2655 / 15);
    EXPECT_EQ(listBox.bottom - listBox.top, 840 / 15);

    // The entries in the model's order, none selected; a click selects and reaches the model.
    test.runtime.Dispatch([&] { form.lstArquivos.items = {"zeta.dll", "alpha.dll", "beta.ocx"}; });
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(ListEntry(list, 0), L"zeta.dll");
    EXPECT_EQ(ListEntry(list, 2), L"beta.ocx");
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
    RECT item{};
    SendMessageW(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, At(item.left + 3, item.top + 3));
    SendMessageW(list, WM_LBUTTONUP, 0, At(item.left + 3, item.top + 3));
    EXPECT_EQ(form.lstArquivos.listIndex, 1);
    test.runtime.Dispatch([&] { form.lstArquivos.listIndex = 2; });
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);

    // The windowed label holds its text for screen readers, with the lone CR made a real line break.
    test.runtime.Dispatch([&] { form.lblErro.caption = "Erro N°: 53\rDescrição: Arquivo não encontrado"; });
    wchar_t text[128]{};
    GetWindowTextW(ChildWindowOf(form, form.lblErro), text, 128);
    EXPECT_EQ(std::wstring(text), L"Erro N°: 53\r\nDescrição: Arquivo não encontrado");

    HWND button = ChildWindowOf(form, form.cmdRegArquivo);
    EXPECT_TRUE(HasVisibleStyle(button));
    test.runtime.Dispatch([&] { form.Frame1.visible = false; });
    EXPECT_FALSE(HasVisibleStyle(button));
}

HWND FocusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(thread, &info);
    return info.hwndFocus;
}

HWND VisibleBox() {
    HWND box = FindWindowW(L"#32770", L"Tovira");
    return box != nullptr && IsWindowVisible(box) ? box : nullptr;
}

BOOL CALLBACK ReadStatic(HWND child, LPARAM target) {
    wchar_t className[16]{};
    wchar_t text[256]{};
    GetClassNameW(child, className, 16);
    GetWindowTextW(child, text, 256);
    if (lstrcmpiW(className, L"Static") == 0 && text[0] != L'\0') {
        *reinterpret_cast<std::wstring*>(target) = text;
    }
    return TRUE;
}

std::wstring BoxText(HWND box) {
    std::wstring text;
    EnumChildWindows(box, ReadStatic, reinterpret_cast<LPARAM>(&text));
    return text;
}

TEST(RuntimeDialog, RegistrationWindowIsModalTabsInOrderAndTakesEnterOnlyOnAButton) {
    TestRuntime test;
    TestForm owner("frmOwner");
    frmRegister form(test.runtime);
    test.runtime.LoadForm(owner);
    HWND ownerWindow = WindowOf(owner);
    ShowWindow(ownerWindow, SW_SHOW);

    const DWORD uiThread = GetCurrentThreadId();
    const auto focus = [&] { return FocusOf(uiThread); };
    bool ownerDisabled = false;
    bool keysIgnored = false;
    std::wstring warning;
    std::vector<int> focusOrder;
    UserThread user([&] {
        HWND modal = nullptr;
        if (!WaitUntil([&] {
                modal = FindWindowW(L"ToviraForm", L"QEV Register");
                return modal != nullptr && IsWindowVisible(modal) && focus() != nullptr;
            })) {
            return false;
        }
        ownerDisabled = !IsWindowEnabled(ownerWindow);
        focusOrder.push_back(GetDlgCtrlID(focus()));
        // No default and no cancel button: Enter on the list and Escape do nothing.
        PostMessageW(focus(), WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(focus(), WM_KEYDOWN, VK_ESCAPE, 0);
        for (int i = 0; i < 3; ++i) {
            HWND before = focus();
            PostMessageW(before, WM_KEYDOWN, VK_TAB, 0);
            if (!WaitUntil([&] { return focus() != before; })) {
                return false;
            }
            focusOrder.push_back(GetDlgCtrlID(focus()));
            if (i == 0) {
                keysIgnored = IsWindowVisible(modal) && VisibleBox() == nullptr;
            } else if (i == 1) {
                // Enter presses the focused button; with nothing selected it warns.
                PostMessageW(focus(), WM_KEYDOWN, VK_RETURN, 0);
                HWND box = nullptr;
                if (!WaitUntil([&] { return (box = VisibleBox()) != nullptr; })) {
                    return false;
                }
                warning = BoxText(box);
                SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                if (!WaitUntil([&] { return !IsWindow(box); })) {
                    return false;
                }
            }
        }
        PostMessageW(modal, WM_CLOSE, 0, 0);
        return true;
    });
    // Opened from inside an event procedure, as the start-up does: its own events run all the same.
    test.runtime.Dispatch([&] { test.runtime.ShowWindowModal(form); });
    user.Join();

    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(keysIgnored);
    EXPECT_EQ(warning, L"Selecione um Arquivo para Registro.");
    EXPECT_TRUE(IsWindowEnabled(ownerWindow));
    EXPECT_EQ(WindowOf(form), nullptr);
    EXPECT_EQ(test.ends, 0);
    // The list, "&Cancela", "&Registrar Agora" and round again; the labels and the frame take no focus.
    EXPECT_EQ(focusOrder, (std::vector<int>{100 + 3, 100 + 2, 100 + 1, 100 + 3}));
}

// Reads the default report from another thread and dismisses it.
class ReportReader {
public:
    ReportReader()
        : user_([this] {
              HWND box = nullptr;
              if (!WaitUntil([&] { return (box = FindWindowW(L"#32770", L"Tovira")) != nullptr; })) {
                  return false;
              }
              text_ = BoxText(box);
              PostMessageW(box, WM_COMMAND, IDOK, 0);
              return true;
          }) {}
    std::wstring Text() {
        user_.Join();
        return text_;
    }

private:
    std::wstring text_;
    UserThread user_;
};

TEST(RuntimeErrors, EscapedErrorsAreReportedAndEndTheProgram) {
    struct Case {
        const char* what;
        std::function<void(TestForm&)> procedure;
        std::wstring report;
    };
    const std::vector<Case> cases = {
        {"run-time error", [](TestForm&) { throw RuntimeError(kErrFileNotFound); },
         L"Erro em tempo de execução '53':\r\n\r\nArquivo não encontrado"},
        {"out of memory", [](TestForm&) { throw std::bad_alloc(); },
         L"Erro em tempo de execução '7':\r\n\r\nMemória insuficiente"},
        {"any other exception", [](TestForm&) { throw std::logic_error("fault"); },
         L"Erro em tempo de execução '5':\r\n\r\nChamada de procedimento ou argumento inválido"},
        {"window placed off any screen", [](TestForm& form) { form.left = std::nan(""); },
         L"Erro em tempo de execução '6':\r\n\r\nEstouro"},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.what);
        TestRuntime test;
        TestForm form("frmFailing");
        test.runtime.LoadForm(form);
        bool after = false;
        ReportReader reader;
        EXPECT_THROW(test.runtime.Dispatch([&] {
            item.procedure(form);
            if (!std::isnan(form.left)) {
                after = true;
            }
        }),
                     ProgramEnded);
        EXPECT_EQ(reader.Text(), item.report);
        EXPECT_FALSE(after);
        EXPECT_EQ(test.ends, 1);
        EXPECT_EQ(test.exitCode, 0u);
        EXPECT_EQ(WindowOf(form), nullptr);
    }
}

TEST(RuntimeErrors, ErrorInAWindowEventEndsTheProgramWithoutLeavingTheWindowProcedure) {
    TestRuntime test;
    MouseForm form;
    form.handled.Click = [] { throw RuntimeError(kErrPermissionDenied); };
    test.runtime.LoadForm(form);
    HWND window = WindowOf(form);
    ReportReader reader;
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    SendMessageW(window, WM_LBUTTONUP, 0, At(20, 15));
    EXPECT_EQ(reader.Text(), L"Erro em tempo de execução '70':\r\n\r\nPermissão negada");
    EXPECT_EQ(test.ends, 1);
    EXPECT_FALSE(IsWindow(window));
}

TEST(RuntimeErrors, LoadErrorsGoToWhoeverLoadedTheForm) {
    TestRuntime test;
    TestForm form("frmLoad");
    form.Load = [] { throw RuntimeError(kErrInvalidPicture); };
    EXPECT_EQ(static_cast<int>(kErrInvalidPicture), [&] {
        try {
            test.runtime.LoadForm(form);
        } catch (const RuntimeError& error) {
            return error.Number();
        }
        return 0;
    }());
    // The window exists all the same, with its outer size in the model.
    EXPECT_NE(WindowOf(form), nullptr);
    EXPECT_GT(form.width, form.clientWidth);
    EXPECT_EQ(test.ends, 0);
}

} // namespace
} // namespace tovira::win32
