#include "platform/win32/Fonts.h"

#include "platform/win32/Wide.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <utility>

namespace tovira::win32 {

namespace {

// Called once for each size of a bitmap font, and once for a scalable one.
int CALLBACK NoteBitmap(const LOGFONTW*, const TEXTMETRICW*, DWORD type, LPARAM bitmap) {
    *reinterpret_cast<bool*>(bitmap) = *reinterpret_cast<bool*>(bitmap) || (type & RASTER_FONTTYPE) != 0;
    return 1;
}

// Portuguese with the letters, capitals and marks of the program's texts: what two faces' widths are compared by.
constexpr std::wstring_view kWidthSample =
    L"Se o Arquivo n\u00e3o estiver Instalado em seu Computador, clique em Registrar "
    L"Agora. Juiz faz com que whisky de malte baixe logo pre\u00e7o de venda: 1234.";

// The sample's width in the design's bitmap face as its 96-DPI set draws it, for the sizes that the forms use. A
// system at another scale cannot measure it: it has the bitmap sizes made for its own scale, and answers a
// request for the design's height with another size (a system at 120 DPI answers 11 pixels with 13).
struct DesignWidth {
    int height;
    bool bold;
    int width;
};
constexpr DesignWidth kDesignWidths[] = {{11, false, 711}, {11, true, 857}, {13, false, 893}, {13, true, 1039}};

FontHandle CreateFace(const wchar_t* face, int height, bool bold, int width = 0) {
    // A negative height asks for the character height in pixels, which is how point sizes are defined; a width of
    // 0 keeps the face's own proportions, another asks for that average character width.
    return FontHandle(CreateFontW(-height, width, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, face));
}

// The twin at one height and average character width, and how far its sample's width is from the wanted one.
struct Twin {
    FontHandle font;
    int height = 0;
    double error = 0;
    int averageCharWidth = 0;
};

Twin MakeTwin(HDC screen, int height, int width, bool bold, double wanted) {
    Twin twin{CreateFace(kBitmapFaceTwin, height, bold, width), height};
    if (twin.font) {
        SelectScope select(screen, twin.font.Get());
        SIZE size{0, 0};
        GetTextExtentPoint32W(screen, kWidthSample.data(), static_cast<int>(kWidthSample.size()), &size);
        TEXTMETRICW metrics{};
        GetTextMetricsW(screen, &metrics);
        twin.error = size.cx - wanted;
        twin.averageCharWidth = metrics.tmAveCharWidth;
    }
    return twin;
}

// How far from the wanted width the sample may come in the face's own proportions: half of the 5 % that a text
// may be off, the other half left to its letters, each of which snaps to whole pixels its own way.
constexpr double kOwnProportionsWithin = 0.025;

// The layouts give every text its width in the design's bitmap face times the scale. The twin is drawn to the
// bitmap's measures where Windows has it; a face that the system puts in its place has wider or narrower letters.
// So of the heights within a fifth of the scale's, the twin takes the one at which the sample comes closest to the
// scale times its width in the bitmap. The sample widens with the height, so the search walks from the scale's
// height towards that width and stops once past it: a few fonts made and measured at start-up, not a dozen.
// Whole-pixel heights are about 4 % apart at double scale, and hinted letters can make a step twice that; where
// the closest height still misses by more than the tolerance, the two heights around the wanted width are tried
// with the average character widths on either side of the one that would meet it. That narrows or widens every
// letter a little, so it is kept for where the face's own proportions cannot come near.
FontHandle ScaledTwin(double points, int height, bool bold, const PixelScale& scale) {
    const int designHeight = PixelScale().PointsToPixels(points);
    const auto design = std::find_if(std::begin(kDesignWidths), std::end(kDesignWidths),
                                     [&](const DesignWidth& d) { return d.height == designHeight && d.bold == bold; });
    if (design == std::end(kDesignWidths)) {
        return CreateFace(kBitmapFaceTwin, height, bold);
    }
    const double wanted = design->width * scale.Factor();
    WindowDC screen(nullptr);
    Twin best = MakeTwin(screen.Get(), height, 0, bold, wanted);
    if (!best.font) {
        return {};
    }
    const int step = best.error < 0 ? 1 : -1;
    for (int tried = height + step; best.error != 0 && std::abs(tried - height) <= height / 5; tried += step) {
        Twin twin = MakeTwin(screen.Get(), tried, 0, bold, wanted);
        if (!twin.font) {
            break;
        }
        const bool past = (twin.error < 0) != (best.error < 0);
        if (std::abs(twin.error) < std::abs(best.error)) {
            best = std::move(twin);
        }
        if (past) {
            break;
        }
    }
    if (std::abs(best.error) <= kOwnProportionsWithin * wanted) {
        return std::move(best.font);
    }
    const int closest = best.height;
    const int across = closest + (best.error < 0 ? 1 : -1);
    for (const int tried : {closest, across}) {
        const Twin own = MakeTwin(screen.Get(), tried, 0, bold, wanted);
        const double exact = own.averageCharWidth * wanted / (wanted + own.error);
        for (const int width : {static_cast<int>(std::floor(exact)), static_cast<int>(std::ceil(exact))}) {
            if (width <= 0 || width == own.averageCharWidth) {
                continue;
            }
            Twin twin = MakeTwin(screen.Get(), tried, width, bold, wanted);
            if (twin.font && std::abs(twin.error) < std::abs(best.error)) {
                best = std::move(twin);
            }
        }
    }
    return std::move(best.font);
}

} // namespace

// A bitmap font exists in a few sizes, each drawn by hand for one height: its widths do not follow the height, so
// no size of it is the design's text times another scale. Scalable fonts, and faces that the system substitutes
// with one, scale as they are.
bool IsBitmapFont(const std::wstring& face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    bool bitmap = false;
    WindowDC screen(nullptr);
    EnumFontFamiliesExW(screen.Get(), &wanted, NoteBitmap, reinterpret_cast<LPARAM>(&bitmap), 0);
    return bitmap;
}

HFONT FontCache::Get(const Font& font, const PixelScale& scale) {
    const std::string name = font.name.empty() ? kDefaultFontName : font.name;
    const double size = font.size > 0 ? font.size : kDefaultFontSize;
    auto key = std::make_tuple(name, size, font.bold, scale.Dpi());
    auto found = fonts_.find(key);
    if (found != fonts_.end()) {
        return found->second.Get();
    }
    const int height = scale.PointsToPixels(size);
    const std::wstring face = Widen(name);
    FontHandle handle = !scale.IsDesign() && face == kBitmapFace && IsBitmapFont(face)
                            ? ScaledTwin(size, height, font.bold, scale)
                            : CreateFace(face.c_str(), height, font.bold);
    if (!handle) {
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    return fonts_.emplace(key, std::move(handle)).first->second.Get();
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
