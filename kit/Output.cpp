// Writing the medium: nothing under a final name until all of it has succeeded.
#include "kit/Medium.h"
#include "kit/Tool.h"
#include "launcher/MediumFiles.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

namespace tovira::kit {

namespace fs = std::filesystem;

namespace {

// Paths that this run made, removed again, newest first, unless the run kept them.
struct Made {
    std::vector<fs::path> paths;
    Made() = default;
    Made(const Made&) = delete;
    Made& operator=(const Made&) = delete;
    ~Made() {
        for (auto made = paths.rbegin(); made != paths.rend(); ++made) {
            std::error_code ignored;
            fs::remove_all(*made, ignored);
        }
    }
};

// What this run writes, under temporary names beside the targets (so that the final rename stays on one file
// system), and every folder that it had to make: all removed again unless Commit() was reached.
class Staging {
public:
    explicit Staging(const MediumPlan& plan)
        : medium_(fs::absolute(plan.medium)), image_(plan.image.empty() ? fs::path() : fs::absolute(plan.image)) {
        fs::path missing = medium_.parent_path();
        while (!fs::exists(missing.parent_path())) {
            missing = missing.parent_path();
        }
        if (!fs::exists(missing)) {
            made_.paths.push_back(missing);
            fs::create_directories(medium_.parent_path());
        }
        made_.paths.push_back(Medium());
        fs::create_directory(Medium());
        if (!image_.empty()) {
            made_.paths.push_back(Image());
        }
    }

    fs::path Medium() const { return Temporary(medium_); }
    fs::path Image() const { return Temporary(image_); }

    void Commit() {
        if (!image_.empty()) {
            fs::rename(Image(), image_);
            made_.paths.push_back(image_);
        }
        // An empty folder of that name, which the checks allow, is replaced.
        fs::rename(Medium(), medium_);
        made_.paths.clear();
    }

private:
    static fs::path Temporary(const fs::path& target) {
        return target.parent_path() / ("." + target.filename().string() + ".tovira-kit-" + std::to_string(getpid()));
    }

    fs::path medium_;
    fs::path image_;
    Made made_;
};

void LayOut(const MediumPlan& plan, const fs::path& folder) {
    const auto place = [&](const fs::path& from, const std::string& name) { fs::copy_file(from, folder / name); };
    place(plan.program, medium::kProgram);
    place(plan.handbook, medium::kHandbook);
    if (!plan.noLogo) {
        // The program reads its logo by this name whatever the picture's format.
        place(plan.logo, medium::kLogo);
    }
    if (!plan.installer.empty()) {
        place(plan.installer, medium::kInstaller);
    }
    for (const fs::path& component : plan.components) {
        place(component, component.filename().string());
    }
    std::ofstream autorun(folder / "autorun.inf", std::ios::binary);
    if (!(autorun << AutorunInf(plan.label)) || !autorun.flush()) {
        throw fs::filesystem_error("cannot write", folder / "autorun.inf", std::make_error_code(std::errc::io_error));
    }
}

// Every file of the folder and the folder itself get the fixed time, which the image's file dates then take.
void Stamp(const fs::path& folder, std::int64_t seconds) {
    const auto time = fs::file_time_type::clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds)));
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        fs::last_write_time(entry.path(), time);
    }
    fs::last_write_time(folder, time);
}

void WriteImage(const MediumPlan& plan, const fs::path& folder, const fs::path& image) {
    // Joliet keeps the names as Windows shows them, accents and long names included; Rock Ridge does the same
    // for Linux and macOS readers. xorriso takes SOURCE_DATE_EPOCH from the environment for the volume's dates
    // and identifier, and gives every file its time of change.
    const ToolResult written =
        RunTool("xorriso", {"-report_about", "SORRY", "-as", "mkisofs", "-quiet", "-input-charset", "UTF-8", "-J",
                            "-joliet-long", "-r", "-V", plan.label, "-o", image.string(), folder.string()});
    if (written.status != 0) {
        throw std::runtime_error("xorriso failed to write the image: " + Reason(written.output));
    }
}

std::string Sha256(const fs::path& file) {
    const ToolResult sum = RunTool("sha256sum", {file.string()});
    if (sum.status != 0 || sum.output.size() < 64) {
        throw std::runtime_error("sha256sum could not read the image: " + Reason(sum.output));
    }
    return sum.output.substr(0, 64);
}

} // namespace

std::string MakeMedium(const MediumPlan& plan) {
    Staging staging(plan);
    LayOut(plan, staging.Medium());
    // Before signing, so that the signature covers the list; from the copies on the medium, which are what ships.
    std::vector<fs::path> laidOut;
    for (const fs::path& component : plan.components) {
        laidOut.push_back(staging.Medium() / component.filename());
    }
    WriteComponentList(staging.Medium() / medium::kProgram, laidOut);
    const std::optional<std::int64_t> time = FixedTime(plan);
    if (!plan.sign.pkcs12.empty()) {
        SignProgram(plan.sign, staging.Medium() / medium::kProgram, time);
    }
    if (time) {
        Stamp(staging.Medium(), *time);
    }
    std::string sha256;
    if (!plan.image.empty()) {
        WriteImage(plan, staging.Medium(), staging.Image());
        sha256 = Sha256(staging.Image());
    }
    staging.Commit();
    return sha256;
}

} // namespace tovira::kit
