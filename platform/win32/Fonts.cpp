#include "platform/win32/Fonts.h"

#include "platform/win32/Wide.h"

namespace tovira::win32 {

namespace {

// What a face answers for one character height at one resolution.
struct BitmapSizes {
    int height;
    int dpi;
    bool bitmap = false;
    bool exact = false;
};

// Called once for each size of a bitmap font, and once for a scalable one.
int CALLBACK NoteSize(const LOGFONTW*, const TEXTMETRICW* metrics, DWORD type, LPARAM data) {
    auto& sizes = *reinterpret_cast<BitmapSizes*>(data);
    if ((type & RASTER_FONTTYPE) != 0) {
        sizes.bitmap = true;
        sizes.exact = sizes.exact || (metrics->tmHeight - metrics->tmInternalLeading == sizes.height &&
                                      metrics->tmDigitizedAspectY == sizes.dpi);
    }
    return 1;
}

} // namespace

// A bitmap font exists in a few sizes, each drawn for one resolution; for any other height Windows picks the
// nearest size, so the text would not follow the scale. Scalable fonts and faces that the system substitutes
// answer no bitmap size and are kept.
bool HasNoBitmapSize(const std::wstring& face, int height, int dpi) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    BitmapSizes sizes{height, dpi};
    WindowDC screen(nullptr);
    EnumFontFamiliesExW(screen.Get(), &wanted, NoteSize, reinterpret_cast<LPARAM>(&sizes), 0);
    return sizes.bitmap && !sizes.exact;
}

HFONT FontCache::Get(const Font& font, const PixelScale& scale) {
    const std::string name = font.name.empty() ? kDefaultFontName : font.name;
    const double size = font.size > 0 ? font.size : kDefaultFontSize;
    auto key = std::make_tuple(name, size, font.bold, scale.Dpi());
    auto found = fonts_.find(key);
    if (found != fonts_.end()) {
        return found->second.Get();
    }
    // A negative height asks for the character height in pixels, which is how point sizes are defined.
    const int height = scale.PointsToPixels(size);
    std::wstring face = Widen(name);
    if (face == kBitmapFace && HasNoBitmapSize(face, height, scale.Dpi())) {
        face = kBitmapFaceTwin;
    }
    HFONT handle = CreateFontW(-height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               face.c_str());
    if (handle == nullptr) {
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    return fonts_.emplace(key, FontHandle(handle)).first->second.Get();
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

} // namespace tovira::win32
