// tovira-kit: lays out the medium that Tovira starts from, signs its program and writes its disc image. Every
// check runs before anything is written; an error ends the run with status 1 and nothing made, and so does a stop
// from outside, with the signal's status.
#include "kit/Checks.h"
#include "kit/Output.h"
#include "kit/Program.h"
#include "kit/Stop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: tovira-kit --program Tovira.exe --handbook HANDBOOK.pdf (--logo PICTURE | --no-logo)\n"
    "                  [--installer rs40eng.exe] [--component FILE.dll|FILE.ocx]... --label LABEL\n"
    "                  --medium FOLDER [--iso IMAGE.iso]\n"
    "                  [--sign-pkcs12 FILE.p12 --sign-password-file FILE [--timestamp URL]]\n"
    "SOURCE_DATE_EPOCH, where set, fixes every time on the medium, in the image and in the signature.\n";

bool Parse(int argc, char** argv, tovira::kit::MediumPlan& plan) {
    const std::map<std::string_view, std::filesystem::path*> paths = {
        {"--program", &plan.program},
        {"--handbook", &plan.handbook},
        {"--logo", &plan.logo},
        {"--installer", &plan.installer},
        {"--medium", &plan.medium},
        {"--iso", &plan.image},
        {"--sign-pkcs12", &plan.sign.pkcs12},
        {"--sign-password-file", &plan.sign.passwordFile}};
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
        if (const auto path = paths.find(option); path != paths.end()) {
            *path->second = value;
        } else if (option == "--component") {
            plan.components.emplace_back(value);
        } else if (option == "--label") {
            plan.label = value;
        } else if (option == "--timestamp") {
            plan.sign.timestampUrl = value;
        } else {
            return false;
        }
    }
    // "out/medium/" names the folder "medium" too.
    if (plan.medium.has_relative_path() && !plan.medium.has_filename()) {
        plan.medium = plan.medium.parent_path();
    }
    return true;
}

int Fail(const std::string& line) {
    std::printf("error: %s\nnothing was written\n", line.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    tovira::kit::CatchStopSignals();
    tovira::kit::MediumPlan plan;
    if (!Parse(argc, argv, plan)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        plan.sourceDateEpoch = epoch;
    }
    try {
        bool failed = false;
        for (const auto& problem : tovira::kit::CheckPlan(plan)) {
            std::printf("%s: %s\n", problem.error ? "error" : "warning", problem.text.c_str());
            failed = failed || problem.error;
        }
        if (failed) {
            std::puts("nothing was written");
            return 1;
        }
        const std::string sha256 = tovira::kit::MakeMedium(plan);
        std::printf("medium: %s\n", plan.medium.c_str());
        // A disc is checked by building its program again with the same compilers: other ones give other bytes.
        if (const std::string tools = tovira::kit::ProgramBuiltWith(plan.program); !tools.empty()) {
            std::printf("program built with: %s\n", tools.c_str());
        }
        if (!plan.image.empty()) {
            std::printf("image: %s\nsha256: %s\n", plan.image.c_str(), sha256.c_str());
        }
    } catch (const tovira::kit::Stopped& stop) {
        std::printf("stopped by SIG%s: nothing was written\n", sigabbrev_np(stop.signal));
        std::fflush(stdout);
        tovira::kit::EndBySignal(stop.signal);
    } catch (const std::filesystem::filesystem_error& failure) {
        return Fail(tovira::kit::FileError(failure));
    } catch (const std::exception& failure) {
        return Fail(failure.what());
    }
    return 0;
}
