#pragma once

#include "kit/Medium.h"

#include <string>

// Writing the medium.
namespace tovira::kit {

// Lays out the medium, signs its program and writes the image, each under a temporary name beside its target,
// and renames them into place only when all of it has succeeded; on failure it removes what it made and throws.
// Returns the image's SHA-256 in hexadecimal, empty without an image.
std::string MakeMedium(const MediumPlan& plan);

} // namespace tovira::kit
