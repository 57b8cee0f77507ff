#pragma once

#include "platform/Form.h"
#include "platform/win32/Fonts.h"
#include "platform/win32/Geometry.h"
#include "platform/win32/StockResources.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tovira::win32 {

COLORREF ToColorRef(Color color);

// What the form's surface and each kind of painted control look like: everything that painting reads, and nothing
// else. Painting draws from these and repainting compares them, so the two cannot disagree.
struct SurfaceLook {
    std::optional<Color> backColor; // empty: the system's face colour
    StockPicture picture = StockPicture::None;
    friend bool operator==(const SurfaceLook&, const SurfaceLook&) = default;
};

struct LabelLook {
    std::string caption;
    Font font;
    Color foreColor;
    std::optional<Color> backColor; // empty: transparent
    Alignment alignment = Alignment::Left;
    bool wordWrap = false;
    friend bool operator==(const LabelLook&, const LabelLook&) = default;
};

struct ImageLook {
    StockPicture picture = StockPicture::None;
    friend bool operator==(const ImageLook&, const ImageLook&) = default;
};

struct ShapeLook {
    Color borderColor;
    int borderWidthPixels = 1;
    friend bool operator==(const ShapeLook&, const ShapeLook&) = default;
};

struct LineLook {
    Color borderColor;
    int borderWidthPixels = 1;
    // The end points in the form's client area, pixels.
    std::array<int, 2> from{};
    std::array<int, 2> to{};
    friend bool operator==(const LineLook&, const LineLook&) = default;
};

using Look = std::variant<SurfaceLook, LabelLook, ImageLook, ShapeLook, LineLook>;

// One painted thing: the form's surface (no control, no box) or a painted control with its box in pixels.
struct PaintedItem {
    const Control* control = nullptr;
    RECT box{};
    Look look;
    friend bool operator==(const PaintedItem& a, const PaintedItem& b) {
        return a.control == b.control && EqualRect(&a.box, &b.box) && a.look == b.look;
    }
};

// In painting order: the surface, then the shown painted controls from the bottom of the stack up.
using PaintedState = std::vector<PaintedItem>;

PaintedState CapturePaintedState(const Form& form, const PixelScale& scale);

// Paints the surface and the painted controls, bottom of the stack first, into a DC that covers the client area,
// with fonts and pictures for the screen's scale.
void PaintState(HDC dc, const RECT& client, const PaintedState& state, const PixelScale& scale, FontCache& fonts,
                StockResources& resources);

// The pixels that differ between two painted states: the old and new boxes of every control whose painting
// changed. False when the form's own surface changed, so that all of it must be painted again.
bool ChangedAreas(const PaintedState& before, const PaintedState& after, std::vector<RECT>& areas);

} // namespace tovira::win32
