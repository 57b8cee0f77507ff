#pragma once

#include "art/Raster.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tovira::tools {

// The demo medium's company logo.
art::Canvas DrawSampleLogo();

// Writes every picture into its place under root (resources/ and demo/) and returns the paths written,
// relative to root.
std::vector<std::string> WriteResourceFiles(const std::filesystem::path& root);

} // namespace tovira::tools
