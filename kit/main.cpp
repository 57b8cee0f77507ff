// tovira-kit: lays out the medium that Tovira starts from and writes its disc image. Every check runs before
// anything is written; errors end the run with status 1 and nothing made.
#include "kit/Medium.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: tovira-kit --program Tovira.exe --handbook HANDBOOK.pdf (--logo PICTURE | --no-logo)\n"
    "                  [--installer rs40eng.exe] [--component FILE.dll|FILE.ocx]... --label LABEL\n"
    "                  --medium FOLDER [--iso IMAGE.iso]\n";

bool Parse(int argc, char** argv, tovira::kit::MediumPlan& plan) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--no-logo") {
            plan.noLogo = true;
            continue;
        }
        if (i + 1 >= argc) {
            return false;
        }
        const char* value = argv[++i];
        if (option == "--program") {
            plan.program = value;
        } else if (option == "--handbook") {
            plan.handbook = value;
        } else if (option == "--logo") {
            plan.logo = value;
        } else if (option == "--installer") {
            plan.installer = value;
        } else if (option == "--component") {
            plan.components.emplace_back(value);
        } else if (option == "--label") {
            plan.label = value;
        } else if (option == "--medium") {
            plan.medium = value;
        } else if (option == "--iso") {
            plan.image = value;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    tovira::kit::MediumPlan plan;
    if (!Parse(argc, argv, plan)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    bool failed = false;
    for (const auto& problem : tovira::kit::CheckPlan(plan)) {
        std::printf("%s: %s\n", problem.error ? "error" : "warning", problem.text.c_str());
        failed = failed || problem.error;
    }
    if (failed) {
        std::puts("nothing was written");
        return 1;
    }
    try {
        tovira::kit::LayOut(plan);
        std::printf("medium: %s\n", plan.medium.c_str());
        if (!plan.image.empty()) {
            tovira::kit::WriteImage(plan);
            std::printf("image: %s\n", plan.image.c_str());
        }
    } catch (const std::exception& failure) {
        std::printf("error: %s\n", failure.what());
        return 3;
    }
    return 0;
}
