#include "platform/win32/Paint.h"

#include "platform/RunLength.h"

#include "ResourceIds.h"
#include "platform/win32/Wide.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace tovira::win32 {

int ToPixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

COLORREF ToColorRef(Color color) {
    return RGB(color.red, color.green, color.blue);
}

RECT ControlRect(const Control& control) {
    double x = control.left;
    double y = control.top;
    for (const Control* outer = control.container; outer != nullptr; outer = outer->container) {
        x += outer->left;
        y += outer->top;
    }
    // Both edges rounded from twips, so that a box covers the same pixels as the hit test's twip range.
    return RECT{ToPixels(x), ToPixels(y), ToPixels(x + control.width), ToPixels(y + control.height)};
}

bool IsShown(const Control& control) {
    for (const Control* item = &control; item != nullptr; item = item->container) {
        if (!item->visible) {
            return false;
        }
    }
    return true;
}

std::wstring DisplayText(const std::string& text) {
    std::wstring wide = Widen(text);
    std::wstring result;
    result.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        result.push_back(wide[i]);
        if (wide[i] == L'\r' && (i + 1 == wide.size() || wide[i + 1] != L'\n')) {
            result.push_back(L'\n');
        }
    }
    return result;
}

HFONT FontCache::Get(const Font& font) {
    const std::string name = font.name.empty() ? kDefaultFontName : font.name;
    const double size = font.size > 0 ? font.size : kDefaultFontSize;
    auto key = std::make_tuple(name, size, font.bold);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) {
        return found->second.Get();
    }
    WindowDC screen(nullptr);
    const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    // A negative height asks for the character height in pixels, which is how point sizes are defined.
    const int height = -static_cast<int>(std::lround(size * dpi / 72.0));
    HFONT handle = CreateFontW(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               Widen(name).c_str());
    if (handle == nullptr) {
        handle = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        return handle;
    }
    return fonts_.emplace(key, FontHandle(handle)).first->second.Get();
}

namespace {

// A 24-bit device-independent bitmap from a run-length picture resource; null when it is missing or damaged.
HBITMAP LoadRunLengthBitmap(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
    HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const auto* bytes = loaded != nullptr ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        return nullptr;
    }
    const auto picture = DecodeRunLength({bytes, SizeofResource(instance, found)});
    if (!picture) {
        return nullptr;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture->width;
    info.bmiHeader.biHeight = -picture->height; // rows from the top, as decoded
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) {
        return nullptr;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(picture->width) * 3;
    const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
    for (std::size_t row = 0; row < static_cast<std::size_t>(picture->height); ++row) {
        std::memcpy(static_cast<std::uint8_t*>(bits) + row * stride, picture->bgr.data() + row * rowBytes, rowBytes);
    }
    return bitmap;
}

} // namespace

StockResources::StockResources(HINSTANCE instance) : instance_(instance) {}

StockResources::~StockResources() {
    for (auto& [picture, icon] : icons_) {
        if (icon != nullptr) {
            DestroyIcon(icon);
        }
    }
    if (largeProgramIcon_ != nullptr) {
        DestroyIcon(largeProgramIcon_);
    }
}

HICON StockResources::LoadIconResource(int id, int size) {
    return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

HICON StockResources::Icon(StockPicture picture) {
    auto found = icons_.find(picture);
    if (found != icons_.end()) {
        return found->second;
    }
    int id = 0;
    switch (picture) {
    case StockPicture::DarkLamp:
        id = IDI_DARK_LAMP;
        break;
    case StockPicture::LitLamp:
        id = IDI_LIT_LAMP;
        break;
    case StockPicture::ProgramIcon:
        id = IDI_PROGRAM;
        break;
    case StockPicture::None:
    case StockPicture::MenuPanel:
        break;
    }
    HICON icon = id != 0 ? LoadIconResource(id, 16) : nullptr;
    icons_.emplace(picture, icon);
    return icon;
}

HICON StockResources::LargeProgramIcon() {
    if (!largeLoaded_) {
        largeLoaded_ = true;
        largeProgramIcon_ = LoadIconResource(IDI_PROGRAM, GetSystemMetrics(SM_CXICON));
    }
    return largeProgramIcon_;
}

HBITMAP StockResources::Bitmap(StockPicture picture) {
    auto found = bitmaps_.find(picture);
    if (found != bitmaps_.end()) {
        return found->second.Get();
    }
    HBITMAP bitmap = picture == StockPicture::MenuPanel ? LoadRunLengthBitmap(instance_, IDR_MENU_PANEL) : nullptr;
    return bitmaps_.emplace(picture, win32::Bitmap(bitmap)).first->second.Get();
}

HCURSOR StockResources::HandCursor() {
    if (hand_ == nullptr) {
        hand_ = LoadCursorW(instance_, MAKEINTRESOURCEW(IDC_HAND_POINTER));
        if (hand_ == nullptr) {
            hand_ = LoadCursorW(nullptr, IDC_HAND);
        }
    }
    return hand_;
}

void DrawStockPicture(HDC dc, int x, int y, StockPicture picture, StockResources& resources) {
    if (picture == StockPicture::None) {
        return;
    }
    if (HICON icon = resources.Icon(picture)) {
        // Zero sizes draw the icon at its own size.
        DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
        return;
    }
    HBITMAP bitmap = resources.Bitmap(picture);
    if (bitmap == nullptr) {
        return;
    }
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    MemoryDC source(dc);
    SelectScope select(source.Get(), bitmap);
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY);
}

SIZE MeasureText(const std::string& text, HFONT font) {
    WindowDC screen(nullptr);
    SelectScope select(screen.Get(), font);
    const std::wstring display = DisplayText(text);
    RECT box{0, 0, 0, 0};
    if (display.empty()) {
        // An empty caption still takes one line's height.
        TEXTMETRICW metrics{};
        GetTextMetricsW(screen.Get(), &metrics);
        return SIZE{0, metrics.tmHeight};
    }
    DrawTextW(screen.Get(), display.c_str(), static_cast<int>(display.size()), &box, DT_CALCRECT | DT_NOPREFIX);
    return SIZE{box.right - box.left, box.bottom - box.top};
}

namespace {

void PaintLabel(HDC dc, const Label& label, FontCache& fonts) {
    RECT box = ControlRect(label);
    if (label.backColor) {
        SetDCBrushColor(dc, ToColorRef(*label.backColor));
        FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
    const std::wstring text = DisplayText(label.caption);
    if (text.empty()) {
        return;
    }
    SelectScope font(dc, fonts.Get(label.font));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(label.foreColor));
    UINT format = DT_NOPREFIX | (label.alignment == Alignment::Center ? DT_CENTER : DT_LEFT);
    if (label.wordWrap) {
        format |= DT_WORDBREAK;
    }
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
}

void PaintShape(HDC dc, const Shape& shape) {
    RECT box = ControlRect(shape);
    // Wider outlines grow inwards, so the shape never covers more than its box.
    Pen pen(CreatePen(PS_INSIDEFRAME, shape.borderWidthPixels, ToColorRef(shape.borderColor)));
    SelectScope selectPen(dc, pen.Get());
    SelectScope selectBrush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

void PaintLine(HDC dc, const Line& line) {
    double originX = 0;
    double originY = 0;
    for (const Control* outer = line.container; outer != nullptr; outer = outer->container) {
        originX += outer->left;
        originY += outer->top;
    }
    const int fromX = ToPixels(originX + line.x1);
    const int fromY = ToPixels(originY + line.y1);
    const int toX = ToPixels(originX + line.x2);
    const int toY = ToPixels(originY + line.y2);
    Pen pen(CreatePen(PS_SOLID, line.borderWidthPixels, ToColorRef(line.borderColor)));
    SelectScope selectPen(dc, pen.Get());
    MoveToEx(dc, fromX, fromY, nullptr);
    LineTo(dc, toX, toY);
    // GDI leaves out a line's last pixel; the layout's lines include both ends (a line from y 0 to 3900 twips
    // covers pixels 0 to 260), so one more step along the main direction draws it.
    const bool across = std::abs(toX - fromX) >= std::abs(toY - fromY);
    const int stepX = across ? (toX == fromX ? 1 : Sign(toX - fromX)) : 0;
    const int stepY = across ? 0 : Sign(toY - fromY);
    LineTo(dc, toX + stepX, toY + stepY);
}

} // namespace

void PaintForm(HDC dc, const RECT& client, const Form& form, FontCache& fonts, StockResources& resources) {
    if (form.backColor) {
        SetDCBrushColor(dc, ToColorRef(*form.backColor));
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    } else {
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    }
    DrawStockPicture(dc, 0, 0, form.picture, resources);

    const auto& controls = form.Controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        const Control& control = **it;
        if (control.IsWindowed() || !IsShown(control)) {
            continue;
        }
        // Text is the costly part of a paint; what lies outside the area being painted is left alone.
        RECT reach = ControlRect(control);
        ++reach.right;
        ++reach.bottom;
        if (!RectVisible(dc, &reach)) {
            continue;
        }
        switch (control.kind) {
        case ControlKind::Label:
            PaintLabel(dc, static_cast<const Label&>(control), fonts);
            break;
        case ControlKind::Image: {
            RECT box = ControlRect(control);
            DrawStockPicture(dc, box.left, box.top, static_cast<const Image&>(control).picture, resources);
            break;
        }
        case ControlKind::Shape:
            PaintShape(dc, static_cast<const Shape&>(control));
            break;
        case ControlKind::Line:
            PaintLine(dc, static_cast<const Line&>(control));
            break;
        case ControlKind::PictureBox:
        case ControlKind::ListBox:
        case ControlKind::CommandButton:
        case ControlKind::Frame:
            break;
        }
    }
}

PaintedState CapturePaintedState(const Form& form) {
    PaintedState state;
    PaintedItem surface;
    surface.backColor = form.backColor;
    surface.picture = form.picture;
    state.push_back(surface);
    for (const Control* control : form.Controls()) {
        if (control->IsWindowed() || !IsShown(*control)) {
            continue;
        }
        PaintedItem item;
        item.control = control;
        RECT box = ControlRect(*control);
        item.box = {box.left, box.top, box.right, box.bottom};
        switch (control->kind) {
        case ControlKind::Label: {
            const auto& label = static_cast<const Label&>(*control);
            item.text = label.caption;
            item.font = label.font;
            item.foreColor = label.foreColor;
            item.backColor = label.backColor;
            item.flags = (label.alignment == Alignment::Center ? 1 : 0) | (label.wordWrap ? 2 : 0);
            break;
        }
        case ControlKind::Image:
            item.picture = static_cast<const Image&>(*control).picture;
            break;
        case ControlKind::Shape: {
            const auto& shape = static_cast<const Shape&>(*control);
            item.foreColor = shape.borderColor;
            item.flags = shape.borderWidthPixels;
            break;
        }
        case ControlKind::Line: {
            const auto& line = static_cast<const Line&>(*control);
            item.foreColor = line.borderColor;
            item.flags = line.borderWidthPixels;
            item.ends = {ToPixels(line.x1), ToPixels(line.y1), ToPixels(line.x2), ToPixels(line.y2)};
            break;
        }
        case ControlKind::PictureBox:
        case ControlKind::ListBox:
        case ControlKind::CommandButton:
        case ControlKind::Frame:
            break;
        }
        state.push_back(std::move(item));
    }
    return state;
}

namespace {

const PaintedItem* FindItem(const PaintedState& state, const Control* control) {
    for (const PaintedItem& item : state) {
        if (item.control == control) {
            return &item;
        }
    }
    return nullptr;
}

RECT ReachOf(const PaintedItem& item) {
    // Lines and outlines reach one pixel beyond a box of no width or height.
    return RECT{item.box[0], item.box[1], item.box[2] + 1, item.box[3] + 1};
}

} // namespace

bool ChangedAreas(const PaintedState& before, const PaintedState& after, std::vector<RECT>& areas) {
    areas.clear();
    for (const PaintedState* state : {&before, &after}) {
        const PaintedState& other = state == &before ? after : before;
        for (const PaintedItem& item : *state) {
            const PaintedItem* twin = FindItem(other, item.control);
            if (twin != nullptr && *twin == item) {
                continue;
            }
            if (item.control == nullptr) {
                return false;
            }
            areas.push_back(ReachOf(item));
        }
    }
    return true;
}

} // namespace tovira::win32
