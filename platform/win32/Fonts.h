#pragma once

#include "art/PixelScale.h"
#include "platform/Controls.h"
#include "platform/win32/Handles.h"

#include <windows.h>

#include <map>
#include <string>
#include <tuple>

namespace tovira::win32 {

// The font that controls fall back to when they name none: the classic dialog font that the layouts, measured in
// twips, were designed with.
inline constexpr const char* kDefaultFontName = "MS Sans Serif";
inline constexpr double kDefaultFontSize = 8.25;
// That face is a bitmap font on Windows; its scalable twin, in every Windows since 2000 and drawn to the same
// measures, takes its place at every other scale than the design's.
inline constexpr const wchar_t* kBitmapFace = L"MS Sans Serif";
inline constexpr const wchar_t* kBitmapFaceTwin = L"Microsoft Sans Serif";

// Whether the system has `face` as a bitmap font, rather than scalable or in a scalable face's place.
bool IsBitmapFont(const std::wstring& face);

// Fonts by name, size and weight for a screen scale, created once and kept for the program's life.
class FontCache {
public:
    HFONT Get(const Font& font, const PixelScale& scale);

private:
    std::map<std::tuple<std::string, double, bool, int>, FontHandle> fonts_;
};

// Width and height of a text drawn on one line per CR (no wrapping) in a font.
SIZE MeasureText(const std::string& text, HFONT font);

} // namespace tovira::win32
