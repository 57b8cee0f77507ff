#include "register/Registrar.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstring>

namespace tovira {

namespace {

// The first instance writes the switch, one blank and the name; the start-up code has taken the blanks before it.
const char kRegistrarSwitch[] = "/registrar ";
constexpr size_t kSwitchLength = sizeof kRegistrarSwitch - 1;
// Run-time error numbers are 16 bits; any other exit code is the elevated instance's crash, not an error of its own.
constexpr int kLargestErrorNumber = 65535;

// Whether `length` characters of the name from `at` on are `upper`, without regard to the case of ASCII letters, as
// Windows compares these names.
bool NamePartIs(const std::string& name, size_t at, size_t length, const char* upper) {
    if (std::strlen(upper) != length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        const char c = name[at + i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) {
            return false;
        }
    }
    return true;
}

// Windows opens a device for these names whatever extension follows, and with blanks before the extension.
bool IsDeviceName(const std::string& name) {
    size_t length = std::min(name.find('.'), name.size());
    while (length > 0 && name[length - 1] == ' ') {
        --length;
    }
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (NamePartIs(name, 0, length, device)) {
            return true;
        }
    }
    // COM1 to LPT9, also with a superscript digit from the ANSI code page (COM¹).
    const bool port = length >= 4 && (NamePartIs(name, 0, 3, "COM") || NamePartIs(name, 0, 3, "LPT"));
    const bool digit = length == 4 && name[3] >= '0' && name[3] <= '9';
    const bool superscript =
        length == 5 && name[3] == '\xC2' && (name[4] == '\xB9' || name[4] == '\xB2' || name[4] == '\xB3');
    return port && (digit || superscript);
}

} // namespace

bool IsPlainComponentName(const std::string& name) {
    const bool component = name.size() >= 4 && (NamePartIs(name, name.size() - 4, 4, ".DLL") ||
                                                NamePartIs(name, name.size() - 4, 4, ".OCX"));
    const bool control =
        std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
    return component && !control && name.find_first_of("\\/:*?\"<>|") == std::string::npos && !IsDeviceName(name);
}

void RegisterComponent(Services& services, const std::string& fileName) {
    const std::string copy = services.SystemFolder() + "\\" + fileName;
    services.CopyFileReplacing(services.ApplicationFolder() + "\\" + fileName, copy);
    services.StartProgram("Regsvr32 " + Quoted(copy), kShowNormal);
}

void RegisterThroughElevatedInstance(Services& services, const std::string& fileName) {
    const int code = services.RunElevated(kRegistrarSwitch +
                                          (fileName.find(' ') == std::string::npos ? fileName : Quoted(fileName)));
    if (code == 0) {
        return;
    }
    // The window names a file that it has listed, so a refusal means the file has gone since.
    if (code == kRegistrarRefused) {
        throw RuntimeError(kErrFileNotFound);
    }
    throw RuntimeError(code > 0 && code <= kLargestErrorNumber ? code : kErrInvalidCall);
}

// A privilege boundary: the caller may be anyone. Only a component that lies in this program's own folder, named as
// the folder's listing names it, is copied and registered; anything else is refused before anything is copied.
std::optional<int> RunRegistrarCommand(Services& services, const std::string& arguments) {
    if (arguments != "/registrar" && arguments.compare(0, kSwitchLength, kRegistrarSwitch) != 0) {
        return std::nullopt;
    }
    // One word, or one quoted text.
    size_t first = kSwitchLength;
    size_t last = std::max(arguments.size(), first);
    if (last - first >= 2 && arguments[first] == '"' && arguments.back() == '"') {
        ++first;
        --last;
    } else if (arguments.find(' ', first) != std::string::npos) {
        return kRegistrarRefused;
    }
    const std::string name(arguments, std::min(first, arguments.size()), last - first);
    try {
        if (!IsPlainComponentName(name) || services.ListFiles(services.ApplicationFolder() + "\\" + name) != name) {
            return kRegistrarRefused;
        }
        RegisterComponent(services, name);
        return 0;
    } catch (const RuntimeError& error) {
        return error.Number();
    }
}

} // namespace tovira
