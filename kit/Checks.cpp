#include "kit/Checks.h"

#include "kit/Program.h"
#include "kit/Tool.h"

#include "art/PixelScale.h"
#include "launcher/MediumFiles.h"
#include "platform/ComponentList.h"
#include "register/ComponentName.h"

#include "picturefiles/PictureCheck.h"
#include "picturefiles/PictureDecode.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <stdexcept>

namespace tovira::kit {

namespace fs = std::filesystem;

namespace {

// The logo box's visible part at the design's scale: from its left edge to the client area's right and bottom edges.
constexpr PixelScale kDesign;
constexpr int kLogoBoxWidth = static_cast<int>(kDesign.Pixels(medium::kClientWidth - medium::kLogoLeft));
constexpr int kLogoBoxHeight = static_cast<int>(kDesign.Pixels(medium::kClientHeight));
// Joliet names as xorriso writes them with long names allowed.
constexpr std::size_t kLongestName = 103;
constexpr std::uint64_t kLargestImageFile = 0xFFFFFFFF;

class FileSource final : public ByteSource {
public:
    explicit FileSource(const fs::path& path)
        : path_(path), file_(path, std::ios::binary), size_(fs::file_size(path)) {}
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<unsigned char> out) override {
        file_.seekg(static_cast<std::streamoff>(offset));
        if (!file_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()))) {
            throw fs::filesystem_error("cannot read", path_, std::make_error_code(std::errc::io_error));
        }
    }

private:
    fs::path path_;
    std::ifstream file_;
    std::uint64_t size_;
};

std::vector<unsigned char> Head(const fs::path& path, std::size_t count) {
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> bytes(count);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

struct Executable {
    bool valid = false;
    std::uint32_t machine = 0;
    bool dll = false;
};

// The kind of a Windows program or library, from its PE header.
Executable ReadExecutable(const fs::path& path) {
    const std::vector<unsigned char> head = Head(path, 4096);
    const auto u16 = [&](std::size_t at) { return static_cast<std::uint32_t>(head[at] | head[at + 1] << 8); };
    Executable kind;
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') {
        return kind;
    }
    const std::size_t pe = u16(0x3C) | u16(0x3E) << 16;
    if (pe + 24 > head.size() || head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] != 0 || head[pe + 3] != 0) {
        return kind;
    }
    kind.valid = true;
    kind.machine = u16(pe + 4);
    kind.dll = (u16(pe + 22) & 0x2000) != 0;
    return kind;
}

// Windows compares names by the simple upper case of each character, across all of Unicode. A byte that is not
// UTF-8 stands for itself, above every character.
std::u32string Folded(const std::string& name) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::u32string folded;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        char32_t character = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = length > 0 && i + length <= name.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(name[i + k]);
            valid = (next & 0xC0) == 0x80;
            character = character << 6 | (next & 0x3F);
        }
        if (!valid) {
            folded += static_cast<char32_t>(0x110000 + lead);
            ++i;
            continue;
        }
        folded += utf8 != nullptr ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(character), utf8)) : character;
        i += length;
    }
    return folded;
}

std::size_t Utf16Length(const std::string& text) {
    std::size_t units = 0;
    for (unsigned char byte : text) {
        units += (byte & 0xC0) != 0x80 ? (byte >= 0xF0 ? 2 : 1) : 0;
    }
    return units;
}

class Checker {
public:
    explicit Checker(const MediumPlan& plan) : plan_(plan) {}

    std::vector<Problem> Run() {
        for (const auto check :
             {&Checker::CheckProgram, &Checker::CheckHandbook, &Checker::CheckLogo, &Checker::CheckInstaller}) {
            Guarded([&] { (this->*check)(); });
        }
        for (const fs::path& component : plan_.components) {
            Guarded([&] { CheckComponent(component); });
        }
        Guarded([&] { CheckComponentList(); });
        for (const auto check : {&Checker::CheckNames, &Checker::CheckSizes, &Checker::CheckLabel,
                                 &Checker::CheckOutputs, &Checker::CheckTools, &Checker::CheckSigning}) {
            Guarded([&] { (this->*check)(); });
        }
        return problems_;
    }

private:
    void Error(const std::string& text) { problems_.push_back({true, text}); }
    void Warning(const std::string& text) { problems_.push_back({false, text}); }

    // A path that the file system refuses (a loop of links, a name too long, a folder without permission) is a
    // problem of the plan like any other, and the other checks still run.
    template <typename Check> void Guarded(Check check) {
        try {
            check();
        } catch (const fs::filesystem_error& error) {
            Error(FileError(error));
        }
    }

    bool Exists(const fs::path& path, const std::string& what) {
        if (path.empty() || !fs::is_regular_file(path)) {
            Error(what + " " + Quoted(path) + " is missing");
            return false;
        }
        return true;
    }

    void CheckProgram() {
        if (!Exists(plan_.program, "the program")) {
            return;
        }
        const Executable program = ReadExecutable(plan_.program);
        if (program.valid && !program.dll && program.machine == 0x8664) {
            Warning("the program " + Quoted(plan_.program) +
                    " is the 64-bit build: it starts on 64-bit Windows only; ship the 32-bit (i686) one");
        } else if (!program.valid || program.dll || program.machine != 0x14C) {
            Error("the program " + Quoted(plan_.program) + " is not a build of Tovira.exe for Windows");
        }
    }

    void CheckHandbook() {
        if (!Exists(plan_.handbook, "the handbook")) {
            return;
        }
        const std::vector<unsigned char> head = Head(plan_.handbook, 5);
        if (std::string(head.begin(), head.end()) != "%PDF-") {
            Error("the handbook " + Quoted(plan_.handbook) + " is not a PDF document");
        }
    }

    void CheckLogo() {
        if (plan_.noLogo) {
            if (!plan_.logo.empty()) {
                Error("give either a logo or --no-logo, not both");
            }
            return;
        }
        if (plan_.logo.empty()) {
            Error("no logo: give one, or --no-logo for a disc that opens the registration window to register its "
                  "components");
            return;
        }
        if (!Exists(plan_.logo, "the logo")) {
            return;
        }
        // The program's own checks and decoders: what passes here is what Tovira shows.
        FileSource source(plan_.logo);
        ByteReader reader(source);
        const PictureCheck check = CheckPicture(reader);
        const bool decoded = check.format == PictureFormat::Icon || check.format == PictureFormat::Metafile;
        // The part that the program decodes, so that the verdict is the program's: data is read as far as it shows.
        const int shownWidth = std::min(check.width, kShownWidth);
        const int shownHeight = std::min(check.height, kShownHeight);
        std::vector<std::uint32_t> shown(decoded ? 0 : static_cast<std::size_t>(shownWidth) * shownHeight);
        if (check.format == PictureFormat::Unknown ||
            (!decoded && !DecodePicture(source, check, {shown.data(), shownWidth, shownHeight}))) {
            Error("the logo " + Quoted(plan_.logo) +
                  " is not a picture that Tovira shows (a BMP, GIF, JPEG, icon or placeable metafile whose data "
                  "holds what its header states): the disc would open the registration window with \"Imagem "
                  "inválida\"");
        } else if (check.width > kLogoBoxWidth || check.height > kLogoBoxHeight) {
            Warning("the logo " + Quoted(plan_.logo) + " is " + std::to_string(check.width) + " x " +
                    std::to_string(check.height) + " pixels, larger than the logo box (" +
                    std::to_string(kLogoBoxWidth) + " x " + std::to_string(kLogoBoxHeight) +
                    "): only its top-left part is shown");
        }
    }

    void CheckInstaller() {
        if (plan_.installer.empty()) {
            Warning("no installer: \"Instalar Acrobat Reader\" will end the program with an error report");
            return;
        }
        if (Exists(plan_.installer, "the installer")) {
            const Executable installer = ReadExecutable(plan_.installer);
            if (!installer.valid || installer.dll) {
                Error("the installer " + Quoted(plan_.installer) + " is not a Windows program");
            }
        }
    }

    void CheckComponent(const fs::path& component) {
        if (!Exists(component, "the component")) {
            return;
        }
        const std::u32string extension = Folded(component.extension().string());
        const Executable library = ReadExecutable(component);
        if ((extension != U".DLL" && extension != U".OCX") || !library.valid || !library.dll) {
            Error("the component " + Quoted(component) +
                  " is not a Windows DLL or OCX: the registration window lists only those");
        } else if (!IsPlainComponentName(component.filename().string())) {
            Error("the component " + Quoted(component) +
                  " has a name that Windows keeps for a device or refuses in a file name: Tovira would not "
                  "register it");
        }
    }

    // Only for a program and components that are there: else their own lines say what is wrong.
    void CheckComponentList() {
        const auto missing = [](const fs::path& path) { return !fs::is_regular_file(path); };
        if (missing(plan_.program) || std::any_of(plan_.components.begin(), plan_.components.end(), missing) ||
            !ReadExecutable(plan_.program).valid || ReadExecutable(plan_.program).dll) {
            return;
        }
        try {
            ProgramWithComponentList(plan_.program, plan_.components);
        } catch (const fs::filesystem_error&) {
            throw;
        } catch (const std::runtime_error& refused) {
            Error(refused.what());
        }
    }

    void CheckNames() {
        std::vector<std::string> names = {medium::kProgram, medium::kHandbook, "autorun.inf", medium::kInstaller};
        if (!plan_.noLogo) {
            names.push_back(medium::kLogo);
        }
        for (const fs::path& component : plan_.components) {
            names.push_back(component.filename().string());
        }
        std::map<std::u32string, std::string> seen;
        for (const std::string& name : names) {
            const auto [at, fresh] = seen.emplace(Folded(name), name);
            if (!fresh) {
                Error("\"" + at->second + "\" and \"" + name +
                      "\" are one name on the disc: Windows does not tell them apart by case");
            }
            if (Utf16Length(name) > kLongestName) {
                Error("\"" + name + "\" is longer than a disc's names may be (" + std::to_string(kLongestName) +
                      " characters)");
            }
        }
    }

    // ISO 9660 with Joliet names records a file's size in 32 bits, and xorriso would refuse a larger file only
    // after the medium had been laid out. A medium without an image takes what its file system takes.
    void CheckSizes() {
        if (plan_.image.empty()) {
            return;
        }
        std::vector<std::pair<std::string, fs::path>> files = {{"the program", plan_.program},
                                                               {"the handbook", plan_.handbook},
                                                               {"the logo", plan_.logo},
                                                               {"the installer", plan_.installer}};
        for (const fs::path& component : plan_.components) {
            files.emplace_back("the component", component);
        }
        for (const auto& [what, path] : files) {
            // A path that the file system refuses is reported by the file's own check.
            std::error_code refused;
            if (fs::is_regular_file(path, refused) && fs::file_size(path) > kLargestImageFile) {
                Error(what + " " + Quoted(path) + " is 4 GiB or more: a file in the image must be smaller");
            }
        }
    }

    void CheckLabel() {
        const bool allowed = std::all_of(plan_.label.begin(), plan_.label.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '-' ||
                   c == '_';
        });
        if (plan_.label.empty() || plan_.label.size() > 16 || !allowed) {
            Error("the label \"" + plan_.label +
                  "\" must be 1 to 16 letters without accents, digits, spaces, '-' or '_': that is what a disc's "
                  "Joliet label and autorun.inf hold for every Windows");
        }
    }

    void CheckOutputs() {
        if (plan_.medium.empty()) {
            Error("no medium folder to lay out");
        } else if (fs::exists(plan_.medium) && (!fs::is_directory(plan_.medium) || !fs::is_empty(plan_.medium))) {
            Error("the medium folder " + Quoted(plan_.medium) + " exists and is not empty");
        }
        if (!plan_.image.empty()) {
            const fs::path folder = fs::absolute(plan_.image).parent_path();
            if (!fs::is_directory(folder)) {
                Error("the image's folder " + Quoted(folder) + " does not exist");
            }
            if (fs::exists(plan_.image)) {
                Error("the image " + Quoted(plan_.image) + " exists already");
            }
            const fs::path inside = fs::absolute(plan_.image).lexically_relative(fs::absolute(plan_.medium));
            if (!plan_.medium.empty() && !inside.empty() && *inside.begin() != "..") {
                Error("the image " + Quoted(plan_.image) + " would lie inside the medium folder");
            }
        }
    }

    void CheckTools() {
        std::vector<std::string> tools;
        if (!plan_.image.empty()) {
            tools = {"xorriso", "sha256sum"};
        }
        if (!plan_.sign.pkcs12.empty()) {
            tools.insert(tools.end(), {"openssl", "osslsigncode"});
        }
        for (const std::string& tool : tools) {
            if (FindTool(tool).empty()) {
                Error(tool + " is not on PATH: scripts/setup.sh installs it");
            }
        }
        if (!plan_.sourceDateEpoch.empty() && !FixedTime(plan_)) {
            Error("SOURCE_DATE_EPOCH \"" + plan_.sourceDateEpoch + "\" is not a number of seconds since 1970");
        }
    }

    void CheckSigning() {
        const SignPlan& sign = plan_.sign;
        if (sign.pkcs12.empty()) {
            if (!sign.passwordFile.empty() || !sign.timestampUrl.empty()) {
                Error("--sign-password-file and --timestamp go with --sign-pkcs12");
            }
            return;
        }
        if (sign.passwordFile.empty()) {
            Error("--sign-pkcs12 needs --sign-password-file: the password never goes on a command line");
        }
        const bool present = Exists(sign.pkcs12, "the signing certificate") &&
                             (sign.passwordFile.empty() || Exists(sign.passwordFile, "the password file"));
        if (present && !sign.passwordFile.empty() && !FindTool("openssl").empty()) {
            for (const std::string& problem : CheckCertificate(sign)) {
                Error(problem);
            }
        }
    }

    const MediumPlan& plan_;
    std::vector<Problem> problems_;
};

} // namespace

std::vector<Problem> CheckPlan(const MediumPlan& plan) {
    return Checker(plan).Run();
}

} // namespace tovira::kit
