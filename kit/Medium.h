#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The medium that Tovira starts from: what goes on it, the checks made before anything is written, the folder
// and its ISO 9660 image.
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
};

struct Problem {
    bool error; // else a warning: the medium is made all the same
    std::string text;
};

// Every problem of the plan, one line each, before anything is written.
std::vector<Problem> CheckPlan(const MediumPlan& plan);

// What Windows' AutoPlay reads at the root of a disc to offer to run Tovira with its icon and the label.
std::string AutorunInf(const std::string& label);

// Copies the files under the names the program looks for and writes autorun.inf; throws on failure.
void LayOut(const MediumPlan& plan);

// The ISO 9660 image of the laid-out folder, with Joliet names, written by xorriso; throws on failure.
void WriteImage(const MediumPlan& plan);

} // namespace tovira::kit
