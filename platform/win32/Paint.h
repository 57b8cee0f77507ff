#pragma once

#include "platform/Form.h"
#include "platform/win32/Fonts.h"
#include "platform/win32/Geometry.h"
#include "platform/win32/StockResources.h"

#include <windows.h>

#include <array>
#include <deque>
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

// The pictures that a window draws, each selected into a memory DC of its own for as long as the window lives, and
// each icon's mask and colours. Windows selects a bitmap into one DC at a time, so every buffer of a window draws
// its pictures from this one set: a second set could not select a bitmap that the first holds.
class HeldPictures {
public:
    HeldPictures() = default;
    ~HeldPictures();
    HeldPictures(const HeldPictures&) = delete;
    HeldPictures& operator=(const HeldPictures&) = delete;

    // A bitmap selected into a memory DC for as long as the set lives.
    struct Held {
        HBITMAP bitmap = nullptr;
        MemoryDC dc;
        HGDIOBJ first = nullptr;
        SIZE size{};
    };
    // An icon without partial transparency, drawn as Windows draws one: its mask ANDed, then its colours XORed.
    struct IconParts {
        HICON icon = nullptr;
        Bitmap mask;
        Bitmap colour;
        bool masked = false; // false: drawn by Windows, with its alpha channel
    };
    // Null when Windows cannot select the bitmap.
    const Held* Hold(HBITMAP bitmap);
    const IconParts& PartsOf(HICON icon);

private:
    // Deques: what one look-up returns stays in place while the next adds to them.
    std::deque<Held> held_;
    std::deque<IconParts> icons_;
};

// Where a window's painting is composed before one copy to the screen. Kept from one paint to the next, it makes
// no device context anew and selects a font only when it changes: under Wine each selection resets the DC, which
// reads the X server's font settings, and a movement over the menu repaints a few small boxes.
class PaintBuffer {
public:
    explicit PaintBuffer(HeldPictures& pictures) : pictures_(pictures) {}
    ~PaintBuffer();
    PaintBuffer(const PaintBuffer&) = delete;
    PaintBuffer& operator=(const PaintBuffer&) = delete;

    // A memory DC, compatible with `target`, drawn on in the target's coordinates and clipped to `area`; its
    // bitmap is kept while it is large enough. Null when Windows cannot make one.
    HDC Prepare(HDC target, const RECT& area);
    HDC Get() const { return dc_.Get(); }
    void UseFont(HFONT font);
    // Both at their own size with the top-left corner at (x, y).
    void DrawBitmap(int x, int y, HBITMAP bitmap);
    void DrawIcon(int x, int y, HICON icon);

private:
    void Release();

    HeldPictures& pictures_;
    Bitmap bitmap_;
    MemoryDC dc_; // after the bitmap, so that it is deleted first
    SIZE size_{};
    HGDIOBJ firstBitmap_ = nullptr;
    HGDIOBJ firstFont_ = nullptr;
    HFONT font_ = nullptr;
};

// Paints the surface and the painted controls, bottom of the stack first, into a prepared buffer, with fonts and
// pictures for the screen's scale. Only what `target` will show is drawn: the controls that lie outside its clip
// region, the part of the window being painted, are left out.
void PaintState(PaintBuffer& buffer, HDC target, const RECT& client, const PaintedState& state, const PixelScale& scale,
                FontCache& fonts, StockResources& resources);

// The pixels that differ between two painted states: the old and new boxes of every control whose painting
// changed. False when the form's own surface changed, so that all of it must be painted again.
bool ChangedAreas(const PaintedState& before, const PaintedState& after, std::vector<RECT>& areas);

} // namespace tovira::win32
