#pragma once

#include "kit/Signing.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The medium that Tovira starts from, as its author plans it: what goes on it, the folder and its ISO 9660 image.
namespace tovira::kit {

struct MediumPlan {
    std::filesystem::path program; // the shipped i686 Tovira.exe
    std::filesystem::path handbook;
    std::filesystem::path logo; // empty with noLogo: the disc opens the registration window at once
    bool noLogo = false;
    std::filesystem::path installer; // empty: none
    std::vector<std::filesystem::path> components;
    std::string label;
    std::filesystem::path medium; // the folder to lay out
    std::filesystem::path image;  // empty: no image
    SignPlan sign;
    std::string sourceDateEpoch; // SOURCE_DATE_EPOCH: every time on the medium and in the image; empty: now
};

// SOURCE_DATE_EPOCH's seconds; none where it is not set, or not a number of seconds (a check says so).
std::optional<std::int64_t> FixedTime(const MediumPlan& plan);

// A path as the kit's lines name it, in double quotes.
std::string Quoted(const std::filesystem::path& path);

// One line for a file-system error: what was refused, on which path, and why.
std::string FileError(const std::filesystem::filesystem_error& error);

} // namespace tovira::kit
