#include "platform/win32/Paint.h"

#include "platform/win32/Geometry.h"
#include "platform/win32/Wide.h"

#include <algorithm>
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
    HDC dc;
    const RECT& box;
    const PixelScale& scale;
    FontCache& fonts;
    StockResources& resources;

    void operator()(const SurfaceLook& surface) const {
        if (surface.backColor) {
            FillWith(dc, box, *surface.backColor);
        } else {
            FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
        }
        DrawStockPicture(dc, 0, 0, surface.picture, scale, resources);
    }

    void operator()(const LabelLook& label) const {
        if (label.backColor) {
            FillWith(dc, box, *label.backColor);
        }
        const std::wstring text = DisplayText(label.caption);
        if (text.empty()) {
            return;
        }
        SelectScope font(dc, fonts.Get(label.font, scale));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ToColorRef(label.foreColor));
        UINT format = DT_NOPREFIX | (label.alignment == Alignment::Center ? DT_CENTER : DT_LEFT);
        if (label.wordWrap) {
            format |= DT_WORDBREAK;
        }
        RECT area = box;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format);
    }

    void operator()(const ImageLook& image) const {
        DrawStockPicture(dc, box.left, box.top, image.picture, scale, resources);
    }

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

void PaintState(HDC dc, const RECT& client, const PaintedState& state, const PixelScale& scale, FontCache& fonts,
                StockResources& resources) {
    for (const PaintedItem& item : state) {
        const bool surface = item.control == nullptr;
        const RECT reach = ReachOf(item.box);
        // Text is the costly part of a paint; what lies outside the area being painted is left alone.
        if (!surface && !RectVisible(dc, &reach)) {
            continue;
        }
        std::visit(Painter{dc, surface ? client : item.box, scale, fonts, resources}, item.look);
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
