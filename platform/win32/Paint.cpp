#include "platform/win32/Paint.h"

#include "platform/win32/Geometry.h"
#include "platform/win32/Wide.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tovira::win32 {

COLORREF ToColorRef(Color color) {
    return RGB(color.red, color.green, color.blue);
}

namespace {

std::array<int, 2> PixelPoint(double x, double y, const PixelScale& scale) {
    return {ToPixels(scale, x), ToPixels(scale, y)};
}

// A line's width that the design gives in pixels, as wide to the eye at the scale; never below one.
int LineWidth(int designPixels, const PixelScale& scale) {
    return std::max(1, scale.ScreenPixels(designPixels));
}

// The look of a painted control; none for the kinds that child windows show.
std::optional<Look> LookOf(const Control& control, const PixelScale& scale) {
    switch (control.kind) {
    case ControlKind::Label: {
        const auto& label = static_cast<const Label&>(control);
        return LabelLook{label.caption, label.font, label.foreColor, label.backColor, label.alignment, label.wordWrap};
    }
    case ControlKind::Image:
        return ImageLook{static_cast<const Image&>(control).picture};
    case ControlKind::Shape: {
        const auto& shape = static_cast<const Shape&>(control);
        return ShapeLook{shape.borderColor, LineWidth(shape.borderWidthPixels, scale)};
    }
    case ControlKind::Line: {
        const auto& line = static_cast<const Line&>(control);
        const TwipsPoint origin = ContainerOrigin(line);
        return LineLook{line.borderColor, LineWidth(line.borderWidthPixels, scale),
                        PixelPoint(origin.x + line.x1, origin.y + line.y1, scale),
                        PixelPoint(origin.x + line.x2, origin.y + line.y2, scale)};
    }
    case ControlKind::PictureBox:
    case ControlKind::ListBox:
    case ControlKind::CommandButton:
    case ControlKind::Frame:
        return std::nullopt;
    }
    return std::nullopt;
}

void FillWith(HDC dc, const RECT& area, Color color) {
    SetDCBrushColor(dc, ToColorRef(color));
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

// Draws one painted item; each look has its own overload, so a look without one does not compile.
struct Painter {
    PaintBuffer& buffer;
    HDC dc;
    const RECT& box;
    const PixelScale& scale;
    FontCache& fonts;
    StockResources& resources;

    // A stock picture at its natural size for the scale.
    void DrawPicture(int x, int y, StockPicture picture) const {
        if (picture == StockPicture::None) {
            return;
        }
        if (HICON icon = resources.Icon(picture, scale)) {
            buffer.DrawIcon(x, y, icon);
        } else if (HBITMAP bitmap = resources.Bitmap(picture, scale)) {
            buffer.DrawBitmap(x, y, bitmap);
        }
    }

    void operator()(const SurfaceLook& surface) const {
        if (surface.backColor) {
            FillWith(dc, box, *surface.backColor);
        } else {
            FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
        }
        DrawPicture(0, 0, surface.picture);
    }

    void operator()(const LabelLook& label) const {
        if (label.backColor) {
            FillWith(dc, box, *label.backColor);
        }
        const std::wstring text = DisplayText(label.caption);
        if (text.empty()) {
            return;
        }
        buffer.UseFont(fonts.Get(label.font, scale));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ToColorRef(label.foreColor));
        UINT format = DT_NOPREFIX | (label.alignment == Alignment::Center ? DT_CENTER : DT_LEFT);
        if (label.wordWrap) {
            format |= DT_WORDBREAK;
        }
        RECT area = box;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format);
    }

    void operator()(const ImageLook& image) const { DrawPicture(box.left, box.top, image.picture); }

    void operator()(const ShapeLook& shape) const {
        // Wider outlines grow inwards, so the shape never covers more than its box.
        Pen pen(CreatePen(PS_INSIDEFRAME, shape.borderWidthPixels, ToColorRef(shape.borderColor)));
        SelectScope selectPen(dc, pen.Get());
        SelectScope selectBrush(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, box.left, box.top, box.right, box.bottom);
    }

    void operator()(const LineLook& line) const {
        const auto [fromX, fromY] = line.from;
        const auto [toX, toY] = line.to;
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
};

// Lines and outlines reach one pixel beyond a box of no width or height.
RECT ReachOf(const RECT& box) {
    return RECT{box.left, box.top, box.right + 1, box.bottom + 1};
}

const PaintedItem* FindItem(const PaintedState& state, const Control* control) {
    for (const PaintedItem& item : state) {
        if (item.control == control) {
            return &item;
        }
    }
    return nullptr;
}

} // namespace

PaintedState CapturePaintedState(const Form& form, const PixelScale& scale) {
    PaintedState state;
    state.push_back(PaintedItem{nullptr, RECT{}, SurfaceLook{form.backColor, form.picture}});
    const auto& controls = form.Controls();
    for (auto control = controls.rbegin(); control != controls.rend(); ++control) {
        if ((*control)->IsWindowed() || !IsShown(**control)) {
            continue;
        }
        if (std::optional<Look> look = LookOf(**control, scale)) {
            state.push_back(PaintedItem{*control, ControlRect(**control, scale), std::move(*look)});
        }
    }
    return state;
}

HeldPictures::~HeldPictures() {
    // Each DC gives back what came with it before the icons' parts are deleted.
    for (Held& held : held_) {
        SelectObject(held.dc.Get(), held.first);
    }
}

PaintBuffer::~PaintBuffer() {
    Release();
}

void PaintBuffer::Release() {
    if (dc_) {
        SelectObject(dc_.Get(), firstBitmap_);
        if (firstFont_ != nullptr) {
            SelectObject(dc_.Get(), firstFont_);
        }
    }
    dc_.Reset();
    bitmap_.Reset();
    size_ = SIZE{};
    firstBitmap_ = firstFont_ = nullptr;
    font_ = nullptr;
}

HDC PaintBuffer::Prepare(HDC target, const RECT& area) {
    const SIZE size{area.right - area.left, area.bottom - area.top};
    if (!dc_ || size.cx > size_.cx || size.cy > size_.cy) {
        Release();
        dc_.Reset(CreateCompatibleDC(target));
        bitmap_.Reset(CreateCompatibleBitmap(target, size.cx, size.cy));
        if (!dc_ || !bitmap_) {
            Release();
            return nullptr;
        }
        firstBitmap_ = SelectObject(dc_.Get(), bitmap_.Get());
        size_ = size;
    }
    HDC dc = dc_.Get();
    SetViewportOrgEx(dc, -area.left, -area.top, nullptr);
    SelectClipRgn(dc, nullptr);
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    return dc;
}

void PaintBuffer::UseFont(HFONT font) {
    if (font == font_) {
        return;
    }
    HGDIOBJ previous = SelectObject(dc_.Get(), font);
    if (previous == nullptr) {
        return;
    }
    if (firstFont_ == nullptr) {
        firstFont_ = previous;
    }
    font_ = font;
}

const HeldPictures::Held* HeldPictures::Hold(HBITMAP bitmap) {
    for (const Held& held : held_) {
        if (held.bitmap == bitmap) {
            return &held;
        }
    }
    BITMAP info{};
    MemoryDC dc(CreateCompatibleDC(nullptr));
    if (!dc || GetObjectW(bitmap, sizeof info, &info) == 0) {
        return nullptr;
    }
    HGDIOBJ first = SelectObject(dc.Get(), bitmap);
    if (first == nullptr) {
        return nullptr;
    }
    held_.push_back(Held{bitmap, std::move(dc), first, SIZE{info.bmWidth, std::abs(info.bmHeight)}});
    return &held_.back();
}

void PaintBuffer::DrawBitmap(int x, int y, HBITMAP bitmap) {
    if (const HeldPictures::Held* held = pictures_.Hold(bitmap)) {
        BitBlt(dc_.Get(), x, y, held->size.cx, held->size.cy, held->dc.Get(), 0, 0, SRCCOPY);
    }
}

namespace {

// True when a colour bitmap carries an alpha channel that Windows would blend with: 32 bits and any alpha set.
bool HasAlpha(HBITMAP colour) {
    BITMAP info{};
    if (GetObjectW(colour, sizeof info, &info) == 0 || info.bmBitsPixel != 32) {
        return false;
    }
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = info.bmWidth;
    format.bmiHeader.biHeight = -std::abs(info.bmHeight);
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(info.bmWidth) *
                                      static_cast<std::size_t>(std::abs(info.bmHeight)));
    WindowDC screen(nullptr);
    if (GetDIBits(screen.Get(), colour, 0, static_cast<UINT>(std::abs(info.bmHeight)), pixels.data(), &format,
                  DIB_RGB_COLORS) == 0) {
        return true; // unknown: left to Windows
    }
    return std::any_of(pixels.begin(), pixels.end(), [](std::uint32_t pixel) { return (pixel >> 24) != 0; });
}

} // namespace

const HeldPictures::IconParts& HeldPictures::PartsOf(HICON icon) {
    for (const IconParts& parts : icons_) {
        if (parts.icon == icon) {
            return parts;
        }
    }
    ICONINFO info{};
    IconParts parts;
    parts.icon = icon;
    if (GetIconInfo(icon, &info)) {
        parts.mask.Reset(info.hbmMask);
        parts.colour.Reset(info.hbmColor);
        parts.masked = parts.mask && parts.colour && !HasAlpha(parts.colour.Get());
    }
    icons_.push_back(std::move(parts));
    return icons_.back();
}

void PaintBuffer::DrawIcon(int x, int y, HICON icon) {
    const HeldPictures::IconParts& parts = pictures_.PartsOf(icon);
    const HeldPictures::Held* mask = parts.masked ? pictures_.Hold(parts.mask.Get()) : nullptr;
    const HeldPictures::Held* colour = parts.masked ? pictures_.Hold(parts.colour.Get()) : nullptr;
    if (mask == nullptr || colour == nullptr) {
        // Zero sizes draw the icon at its own size.
        DrawIconEx(dc_.Get(), x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
        return;
    }
    // A monochrome source turns into the target's text colour where 0 and its background colour where 1.
    HDC dc = dc_.Get();
    const COLORREF text = SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF back = SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, x, y, colour->size.cx, colour->size.cy, mask->dc.Get(), 0, 0, SRCAND);
    BitBlt(dc, x, y, colour->size.cx, colour->size.cy, colour->dc.Get(), 0, 0, SRCINVERT);
    SetTextColor(dc, text);
    SetBkColor(dc, back);
}

void PaintState(PaintBuffer& buffer, HDC target, const RECT& client, const PaintedState& state, const PixelScale& scale,
                FontCache& fonts, StockResources& resources) {
    for (const PaintedItem& item : state) {
        const bool surface = item.control == nullptr;
        const RECT reach = ReachOf(item.box);
        // Text is the costly part of a paint; what the target will not show is left alone.
        if (!surface && !RectVisible(target, &reach)) {
            continue;
        }
        std::visit(Painter{buffer, buffer.Get(), surface ? client : item.box, scale, fonts, resources}, item.look);
    }
}

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
            areas.push_back(ReachOf(item.box));
        }
    }
    return true;
}

} // namespace tovira::win32
