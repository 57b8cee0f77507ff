#include "register/Registrar.h"

#include "platform/Text.h"

#include "register/ComponentName.h"

#include <algorithm>

namespace tovira {

namespace {

// The first instance writes the switch, one blank and the name; the start-up code has taken the blanks before it.
const char kRegistrarSwitch[] = "/registrar ";
constexpr size_t kSwitchLength = sizeof kRegistrarSwitch - 1;
// Run-time error numbers are 16 bits; any other exit code is the elevated instance's crash, not an error of its own.
constexpr int kLargestErrorNumber = 65535;

} // namespace

// A program that carries its publisher's name into the consent prompt vouches for what it registers: only the
// components that the kit listed in it, by content. A signature without a list is a program signed outside the kit,
// which vouches for nothing. A program with neither is the developers' own build and registers as ever.
void RegisterComponent(Services& services, const std::string& fileName) {
    const ComponentList shipped = services.ShippedComponents();
    if (!shipped.filled && services.ProgramIsSigned()) {
        throw RuntimeError(kErrComponentNotShipped);
    }
    const std::string copy = services.SystemFolder() + "\\" + fileName;
    services.CopyFileReplacing(services.ApplicationFolder() + "\\" + fileName, copy, [&](const Sha256Digest& digest) {
        if (shipped.filled && !shipped.Lists(digest)) {
            throw RuntimeError(kErrComponentNotShipped);
        }
    });
    services.StartProgram("Regsvr32 " + Quoted(copy), kShowNormal);
}

void RegisterThroughElevatedInstance(Services& services, const std::string& fileName) {
    // An elevated session has none of the user's drive letters for network shares.
    const int code = services.RunElevated(services.NetworkPath(services.ProgramPath()),
                                          kRegistrarSwitch +
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
