#pragma once

#include "ImageFiles.h"
#include "Raster.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tovira::tools {

Canvas DrawMenuPanel(double scale);
Canvas DrawProgramIcon(int size);
Canvas DrawLamp(bool lit);
IndexedImage DrawHandPointer();
Canvas DrawSampleLogo();

constexpr int kHandHotSpotX = 6;
constexpr int kHandHotSpotY = 0;

// Writes every picture into its place under root (resources/ and demo/) and returns the paths written,
// relative to root.
std::vector<std::string> WriteResourceFiles(const std::filesystem::path& root);

} // namespace tovira::tools
