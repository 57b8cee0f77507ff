#include "register/ComponentName.h"

#include <algorithm>
#include <cstring>

namespace tovira {

namespace {

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

} // namespace tovira
