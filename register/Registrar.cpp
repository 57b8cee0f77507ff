#include "register/Registrar.h"

#include "platform/Text.h"

#include <cctype>
#include <utility>

namespace tovira {

namespace {

const char kRegistrarSwitch[] = "/registrar";
const char kBlanks[] = " \t";
// Run-time error numbers are 16 bits; any other exit code is the elevated instance's crash, not an error of its own.
constexpr int kLargestErrorNumber = 65535;

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// Windows opens a device for these names whatever extension follows, and with spaces before the extension.
bool IsDeviceName(const std::string& name) {
    std::string base = UpperAscii(name.substr(0, name.find('.')));
    base.erase(base.find_last_not_of(' ') + 1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (base == device) {
            return true;
        }
    }
    const std::string port = base.substr(0, 3);
    const std::string number = base.size() > 3 ? base.substr(3) : std::string();
    const bool digit = number.size() == 1 && std::isdigit(static_cast<unsigned char>(number[0]));
    const bool superscript = number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
    return (port == "COM" || port == "LPT") && (digit || superscript);
}

bool HasComponentExtension(const std::string& name) {
    const std::string extension = name.size() >= 4 ? UpperAscii(name.substr(name.size() - 4)) : std::string();
    return extension == ".DLL" || extension == ".OCX";
}

// The first word of the text, and what follows it after the blanks.
std::pair<std::string, std::string> FirstWord(const std::string& text) {
    const size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string::npos) {
        return {};
    }
    const size_t end = text.find_first_of(kBlanks, start);
    const size_t next = end == std::string::npos ? std::string::npos : text.find_first_not_of(kBlanks, end);
    return {text.substr(start, end - start), next == std::string::npos ? std::string() : text.substr(next)};
}

// The name as the first instance passes it: one word, or one quoted text.
std::string ArgumentName(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text.find_first_of(kBlanks) == std::string::npos ? text : std::string();
}

} // namespace

bool IsPlainComponentName(const std::string& name) {
    for (const unsigned char c : name) {
        if (c < 32) {
            return false;
        }
    }
    return name.find_first_of("\\/:*?\"<>|") == std::string::npos && HasComponentExtension(name) && !IsDeviceName(name);
}

void RegisterComponent(Services& services, const std::string& fileName) {
    const std::string copy = services.SystemFolder() + "\\" + fileName;
    services.CopyFileReplacing(services.ApplicationFolder() + "\\" + fileName, copy);
    services.StartProgram("Regsvr32 " + Quoted(copy), kShowNormal);
}

void RegisterThroughElevatedInstance(Services& services, const std::string& fileName) {
    const std::string name = fileName.find(' ') == std::string::npos ? fileName : Quoted(fileName);
    const int code = services.RunElevated(std::string(kRegistrarSwitch) + " " + name);
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
// the folder's listing names it, is copied and registered; anything else is refused before a file is touched.
std::optional<int> RunRegistrarCommand(Services& services, const std::string& arguments) {
    const auto [word, rest] = FirstWord(arguments);
    if (word != kRegistrarSwitch) {
        return std::nullopt;
    }
    const std::string name = ArgumentName(rest);
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
