#include "platform/win32/StockResources.h"

#include "platform/RunLength.h"
#include "platform/win32/Win32Picture.h"

#include "ResourceIds.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tovira::win32 {

namespace {

// A 24-bit device-independent bitmap from a run-length picture resource; null when it is missing or damaged.
Bitmap LoadRunLengthBitmap(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
    HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const auto* bytes = loaded != nullptr ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    const auto picture = DecodeRunLength({bytes, SizeofResource(instance, found)});
    if (!picture) {
        return {};
    }
    void* bits = nullptr;
    Bitmap bitmap = CreateTopDownSection(picture->width, picture->height, 24, bits);
    if (!bitmap) {
        return {};
    }
    const std::size_t rowBytes = static_cast<std::size_t>(picture->width) * 3;
    const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
    for (std::size_t row = 0; row < static_cast<std::size_t>(picture->height); ++row) {
        std::memcpy(static_cast<std::uint8_t*>(bits) + row * stride, picture->bgr.data() + row * rowBytes, rowBytes);
    }
    return bitmap;
}

int IconResourceOf(StockPicture picture) {
    switch (picture) {
    case StockPicture::DarkLamp:
        return IDI_DARK_LAMP;
    case StockPicture::LitLamp:
        return IDI_LIT_LAMP;
    case StockPicture::ProgramIcon:
        return IDI_PROGRAM;
    case StockPicture::None:
    case StockPicture::MenuPanel:
        return 0;
    }
    return 0;
}

} // namespace

HICON StockResources::LoadIconResource(int id, int size) const {
    return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

HICON StockResources::Icon(StockPicture picture) {
    auto found = icons_.find(picture);
    if (found == icons_.end()) {
        const int id = IconResourceOf(picture);
        found = icons_.emplace(picture, IconHandle(id != 0 ? LoadIconResource(id, 16) : nullptr)).first;
    }
    return found->second.Get();
}

HICON StockResources::LargeProgramIcon() {
    if (!largeProgramIcon_) {
        largeProgramIcon_.emplace(LoadIconResource(IDI_PROGRAM, GetSystemMetrics(SM_CXICON)));
    }
    return largeProgramIcon_->Get();
}

HBITMAP StockResources::Bitmap(StockPicture picture) {
    auto found = bitmaps_.find(picture);
    if (found == bitmaps_.end()) {
        found =
            bitmaps_
                .emplace(picture, picture == StockPicture::MenuPanel ? LoadRunLengthBitmap(instance_, IDR_MENU_PANEL)
                                                                     : win32::Bitmap())
                .first;
    }
    return found->second.Get();
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
    if (HBITMAP bitmap = resources.Bitmap(picture)) {
        DrawBitmap(dc, x, y, bitmap);
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
