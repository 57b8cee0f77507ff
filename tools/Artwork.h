#pragma once

#include "ImageFiles.h"
#include "Raster.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tovira::tools {

Canvas DrawMenuPanel(double scale);
Canvas DrawProgramIcon(int size);
Canvas DrawLamp(bool lit, double scale);
// The hand's pixel art with every pixel as many whole screen pixels wide and high as the scale allows.
IndexedImage DrawHandPointer(double scale);
Canvas DrawSampleLogo();

// The fingertip: pixel (6, 0) at 100 %, the pixel under that pixel's centre at other scales.
int HandHotSpotX(double scale);
int HandHotSpotY(double scale);

// Writes every picture into its place under root (resources/ and demo/) and returns the paths written,
// relative to root.
std::vector<std::string> WriteResourceFiles(const std::filesystem::path& root);

} // namespace tovira::tools
