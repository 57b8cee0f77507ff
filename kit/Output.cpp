// Writing the medium: nothing under a final name until all of it has succeeded.
#include "kit/Output.h"

#include "kit/Program.h"
#include "kit/Stop.h"
#include "kit/Tool.h"
#include "launcher/MediumFiles.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <utility>

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

fs::filesystem_error SystemError(const char* what, const fs::path& path) {
    return fs::filesystem_error(what, path, std::error_code(errno, std::generic_category()));
}

// A new name beside the target, made by `make` (false with errno on failure) only where nothing has that name:
// a leftover is never reused, since process ids repeat (in containers above all). The process id names the run;
// a random part follows where that name is taken.
template <typename Make> fs::path MakeExclusive(const fs::path& target, Make make) {
    const std::string base = "." + target.filename().string() + ".tovira-kit-" + std::to_string(getpid());
    fs::path path = target.parent_path() / base;
    for (int tries = 0; !make(path); ++tries) {
        std::uint64_t random = 0;
        if (errno != EEXIST || tries == 16 || getrandom(&random, sizeof random, 0) != sizeof random) {
            throw SystemError("cannot make", path);
        }
        char suffix[18];
        std::snprintf(suffix, sizeof suffix, "-%016llx", static_cast<unsigned long long>(random));
        path = target.parent_path() / (base + suffix);
    }
    return path;
}

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
        stagedMedium_ = MakeExclusive(medium_, [](const fs::path& path) { return mkdir(path.c_str(), 0777) == 0; });
        made_.paths.push_back(stagedMedium_);
        if (!image_.empty()) {
            stagedImage_ = MakeExclusive(image_, [](const fs::path& path) {
                const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                return file >= 0 && close(file) == 0;
            });
            made_.paths.push_back(stagedImage_);
        }
    }

    const fs::path& Medium() const { return stagedMedium_; }
    const fs::path& Image() const { return stagedImage_; }

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
    fs::path medium_;
    fs::path image_;
    fs::path stagedMedium_;
    fs::path stagedImage_;
    Made made_;
};

// How far a long step is, updated in place on a terminal; nothing where standard error is a file or a pipe, so
// that logs stay clean.
class Progress {
public:
    explicit Progress(const char* step) : step_(step), shown_(isatty(STDERR_FILENO) == 1) {}
    ~Progress() {
        // Whatever follows, an error or the results, starts on a line of its own.
        if (percent_ >= 0) {
            std::fputc('\n', stderr);
        }
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Show(std::uint64_t done, std::uint64_t total) {
        const int percent = total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
        if (shown_ && percent != percent_) {
            percent_ = percent;
            std::fprintf(stderr, "\r%s: %3d %%", step_, percent);
            std::fflush(stderr);
        }
    }

private:
    const char* step_;
    bool shown_;
    int percent_ = -1;
};

// The copy is the kit's own, in pieces, so that a stop is noticed within one piece however large the file.
class Copier {
public:
    explicit Copier(std::uint64_t total) : total_(total), buffer_(1 << 20) {}

    void Copy(const fs::path& from, const fs::path& to) {
        const File source(open(from.c_str(), O_RDONLY | O_CLOEXEC), from);
        struct stat status = {};
        if (fstat(source.descriptor, &status) != 0) {
            throw SystemError("cannot read", from);
        }
        File target(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 0777), to);
        for (ssize_t got; (got = read(source.descriptor, buffer_.data(), buffer_.size())) != 0;) {
            ThrowIfStopped();
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw SystemError("cannot read", from);
            }
            for (ssize_t put = 0; put < got;) {
                const ssize_t wrote =
                    write(target.descriptor, buffer_.data() + put, static_cast<std::size_t>(got - put));
                if (wrote < 0 && errno != EINTR) {
                    throw SystemError("cannot write", to);
                }
                put += std::max<ssize_t>(wrote, 0);
            }
            done_ += static_cast<std::uint64_t>(got);
            progress_.Show(done_, total_);
        }
        if (close(target.Release()) != 0) {
            throw SystemError("cannot write", to);
        }
    }

    void Finish() { progress_.Show(total_, total_); }

private:
    struct File {
        int descriptor;
        File(int opened, const fs::path& path) : descriptor(opened) {
            if (opened < 0) {
                throw SystemError("cannot open", path);
            }
        }
        ~File() {
            if (descriptor >= 0) {
                close(descriptor);
            }
        }
        File(const File&) = delete;
        File& operator=(const File&) = delete;
        int Release() { return std::exchange(descriptor, -1); }
    };

    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::vector<char> buffer_;
    Progress progress_{"laying out the medium"};
};

// What Windows' AutoPlay reads at the root of a disc to offer to run Tovira with its icon and the label.
std::string AutorunInf(const std::string& label) {
    return std::string("[autorun]\r\nopen=") + medium::kProgram + "\r\nicon=" + medium::kProgram +
           ",0\r\nlabel=" + label + "\r\n";
}

void LayOut(const MediumPlan& plan, const fs::path& folder) {
    std::vector<std::pair<fs::path, std::string>> files = {{plan.program, medium::kProgram},
                                                           {plan.handbook, medium::kHandbook}};
    if (!plan.noLogo) {
        // The program reads its logo by this name whatever the picture's format.
        files.emplace_back(plan.logo, medium::kLogo);
    }
    if (!plan.installer.empty()) {
        files.emplace_back(plan.installer, medium::kInstaller);
    }
    for (const fs::path& component : plan.components) {
        files.emplace_back(component, component.filename().string());
    }
    std::uint64_t total = 0;
    for (const auto& file : files) {
        total += fs::file_size(file.first);
    }
    Copier copier(total);
    for (const auto& [from, name] : files) {
        copier.Copy(from, folder / name);
    }
    std::ofstream autorun(folder / "autorun.inf", std::ios::binary);
    if (!(autorun << AutorunInf(plan.label)) || !autorun.flush()) {
        throw fs::filesystem_error("cannot write", folder / "autorun.inf", std::make_error_code(std::errc::io_error));
    }
    copier.Finish();
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
    // Its progress lines ("xorriso : UPDATE :  52.75% done") come with the notes of its level.
    Progress progress("writing the image");
    const auto watch = [&](const std::string& output) {
        const std::size_t done = output.rfind("% done");
        const std::size_t start = output.find_last_of(' ', done);
        if (done != std::string::npos && start != std::string::npos) {
            progress.Show(std::strtoull(output.c_str() + start + 1, nullptr, 10), 100);
        }
    };
    const ToolResult written =
        RunTool("xorriso",
                {"-report_about", "UPDATE", "-pacifier", "interval=0.5", "-as", "mkisofs", "-input-charset", "UTF-8",
                 "-J", "-joliet-long", "-r", "-V", plan.label, "-o", image.string(), folder.string()},
                watch);
    if (written.status != 0) {
        throw std::runtime_error("xorriso failed to write the image: " + Reason(written.output));
    }
    progress.Show(100, 100);
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
    ThrowIfStopped();
    staging.Commit();
    return sha256;
}

} // namespace tovira::kit
