#include "platform/win32/SystemLibrary.h"

#include <string>

namespace tovira::win32 {

FARPROC SystemProcedure(const wchar_t* library, const char* name) {
    const UINT needed = GetSystemDirectoryW(nullptr, 0);
    if (needed == 0) {
        return nullptr;
    }
    std::wstring path(needed, L'\0');
    const UINT length = GetSystemDirectoryW(path.data(), needed);
    if (length == 0 || length >= needed) {
        return nullptr;
    }
    path.resize(length);
    path += L'\\';
    path += library;
    // Stays loaded for the rest of the run, as a static import would.
    HMODULE module = LoadLibraryW(path.c_str());
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

} // namespace tovira::win32
