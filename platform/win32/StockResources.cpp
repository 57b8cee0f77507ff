#include "platform/win32/StockResources.h"

#include "art/Artwork.h"
#include "art/RunLength.h"
#include "platform/win32/BitmapPicture.h"
#include "resources/ResourceIds.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace tovira::win32 {

namespace {

// A 32-bit bitmap to be filled, and where its pixels are; no pixels when Windows cannot make it. Large pictures are
// kept at the screen's own depth: copying them then needs no conversion, pixel by pixel, at every paint.
struct Section32 {
    win32::Bitmap bitmap;
    std::uint32_t* pixels = nullptr;
};

Section32 EmptySection32(int width, int height) {
    void* bits = nullptr;
    Section32 section{CreateTopDownSection(width, height, 32, bits)};
    section.pixels = static_cast<std::uint32_t*>(bits);
    return section;
}

// A decoded picture's bitmap; null when Windows cannot make it.
Bitmap SectionOf(const Pixels24& picture) {
    Section32 section = EmptySection32(picture.width, picture.height);
    if (section.pixels != nullptr) {
        for (std::size_t i = 0; i < picture.bgr.size() / 3; ++i) {
            const std::uint8_t* bgr = &picture.bgr[3 * i];
            section.pixels[i] = std::uint32_t{bgr[2]} << 16 | bgr[1] << 8 | bgr[0];
        }
    }
    return std::move(section.bitmap);
}

win32::Bitmap DrawnPanel(const PixelScale& scale) {
    const art::PanelSize size = art::MenuPanelSize(scale);
    Section32 section = EmptySection32(size.width, size.height);
    if (section.pixels != nullptr) {
        art::DrawMenuPanel(scale, section.pixels);
    }
    return std::move(section.bitmap);
}

// The run-length picture resource; null when it is missing or damaged.
Bitmap LoadRunLengthBitmap(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
    HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const auto* bytes = loaded != nullptr ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    const auto picture = DecodeBuiltInRunLength({bytes, SizeofResource(instance, found)});
    return picture ? SectionOf(*picture) : Bitmap();
}

// What an icon or pointer shows at a pixel; empty where it lets the background through.
using ColourAt = std::function<std::optional<art::Rgb>(int x, int y)>;

// An icon or pointer of colour and mask, as the resources hold them: no partial transparency.
IconHandle MaskedIcon(int width, int height, const ColourAt& colourAt, std::optional<POINT> hotSpot) {
    void* bits = nullptr;
    win32::Bitmap colour = CreateTopDownSection(width, height, 24, bits);
    if (!colour) {
        return IconHandle(nullptr);
    }
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const std::size_t maskStride = (static_cast<std::size_t>(width) + 15) / 16 * 2;
    std::vector<std::uint8_t> mask(maskStride * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        auto* row = static_cast<std::uint8_t*>(bits) + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::optional<art::Rgb> shown = colourAt(x, y);
            const art::Rgb c = shown.value_or(art::Rgb{});
            const std::size_t at = static_cast<std::size_t>(x) * 3;
            row[at] = art::ChannelByte(c.b);
            row[at + 1] = art::ChannelByte(c.g);
            row[at + 2] = art::ChannelByte(c.r);
            if (!shown) {
                mask[static_cast<std::size_t>(y) * maskStride + static_cast<std::size_t>(x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    win32::Bitmap maskBitmap(CreateBitmap(width, height, 1, 1, mask.data()));
    if (!maskBitmap) {
        return IconHandle(nullptr);
    }
    ICONINFO info{!hotSpot, hotSpot ? static_cast<DWORD>(hotSpot->x) : 0, hotSpot ? static_cast<DWORD>(hotSpot->y) : 0,
                  maskBitmap.Get(), colour.Get()};
    return IconHandle(CreateIconIndirect(&info));
}

IconHandle IconOf(const art::Canvas& canvas) {
    return MaskedIcon(
        canvas.Width(), canvas.Height(),
        [&](int x, int y) { return canvas.Opaque(x, y) ? std::optional(canvas.Colour(x, y)) : std::nullopt; },
        std::nullopt);
}

IconHandle HandPointerFor(const PixelScale& scale) {
    const art::IndexedImage hand = art::DrawHandPointer(scale);
    return MaskedIcon(
        hand.width, hand.height,
        [&](int x, int y) -> std::optional<art::Rgb> {
            const auto at =
                static_cast<std::size_t>(y) * static_cast<std::size_t>(hand.width) + static_cast<std::size_t>(x);
            if (hand.transparent[at]) {
                return std::nullopt;
            }
            return hand.palette[hand.indices[at]];
        },
        POINT{art::HandHotSpotX(scale), art::HandHotSpotY(scale)});
}

// The handle kept under a key, made the first time that it is asked for.
template <typename Kept, typename Make> auto KeptOrMade(Kept& kept, const typename Kept::key_type& key, Make make) {
    auto found = kept.find(key);
    if (found == kept.end()) {
        found = kept.emplace(key, make()).first;
    }
    return found->second.Get();
}

} // namespace

HICON StockResources::LoadIconResource(int id, int size) const {
    return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

// The program icon's file holds the sizes of 96 pixels an inch, 16 and 32 pixels, drawn by the same code: a scale
// that asks for one of them takes it from there.
IconHandle StockResources::MakeIcon(StockPicture picture, const PixelScale& scale) const {
    const bool drawn = !scale.IsDesign();
    switch (picture) {
    case StockPicture::DarkLamp:
        return drawn ? IconOf(art::DrawLamp(false, scale)) : IconHandle(LoadIconResource(IDI_DARK_LAMP, 16));
    case StockPicture::LitLamp:
        return drawn ? IconOf(art::DrawLamp(true, scale)) : IconHandle(LoadIconResource(IDI_LIT_LAMP, 16));
    case StockPicture::ProgramIcon: {
        const int size = scale.ScreenPixels(16);
        return size == 16 || size == 32 ? IconHandle(LoadIconResource(IDI_PROGRAM, size))
                                        : IconOf(art::DrawProgramIcon(size));
    }
    case StockPicture::None:
    case StockPicture::MenuPanel:
        return IconHandle(nullptr);
    }
    return IconHandle(nullptr);
}

IconHandle StockResources::MakeLargeProgramIcon(const PixelScale& scale) const {
    if (scale.IsDesign()) {
        return IconHandle(LoadIconResource(IDI_PROGRAM, GetSystemMetrics(SM_CXICON)));
    }
    const int size = scale.ScreenPixels(32);
    return size == 32 ? IconHandle(LoadIconResource(IDI_PROGRAM, size)) : IconOf(art::DrawProgramIcon(size));
}

HICON StockResources::Icon(StockPicture picture, const PixelScale& scale) {
    return KeptOrMade(icons_, {picture, scale}, [&] { return MakeIcon(picture, scale); });
}

HICON StockResources::LargeProgramIcon(const PixelScale& scale) {
    return KeptOrMade(largeProgramIcons_, scale, [&] { return MakeLargeProgramIcon(scale); });
}

HBITMAP StockResources::Bitmap(StockPicture picture, const PixelScale& scale) {
    return KeptOrMade(bitmaps_, {picture, scale}, [&] {
        if (picture != StockPicture::MenuPanel) {
            return win32::Bitmap();
        }
        return scale.IsDesign() ? LoadRunLengthBitmap(instance_, IDR_MENU_PANEL) : DrawnPanel(scale);
    });
}

HCURSOR StockResources::HandCursor(const PixelScale& scale) {
    if (!scale.IsDesign()) {
        if (HICON drawn = KeptOrMade(drawnHands_, scale, [&] { return HandPointerFor(scale); })) {
            return drawn;
        }
    }
    if (hand_ == nullptr) {
        hand_ = LoadCursorW(instance_, MAKEINTRESOURCEW(IDC_HAND_POINTER));
        if (hand_ == nullptr) {
            hand_ = LoadCursorW(nullptr, IDC_HAND);
        }
    }
    return hand_;
}

void StockResources::Prepare(StockPicture picture, const PixelScale& scale) {
    if (picture != StockPicture::None && Icon(picture, scale) == nullptr) {
        Bitmap(picture, scale);
    }
}

void DrawBitmap(HDC dc, int x, int y, HBITMAP bitmap) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    MemoryDC source(CreateCompatibleDC(dc));
    SelectScope select(source.Get(), bitmap);
    BitBlt(dc, x, y, info.bmWidth, std::abs(info.bmHeight), source.Get(), 0, 0, SRCCOPY);
}

} // namespace tovira::win32
