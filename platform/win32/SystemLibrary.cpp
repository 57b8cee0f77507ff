#include "platform/win32/SystemLibrary.h"

#include <commctrl.h>

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

HMODULE EnsureCommonControls() {
    static const HMODULE module = [] {
        // By name, not by path: the manifest's side-by-side redirection picks version 6, and the start-up
        // hardening keeps the search for the name inside the system folder.
        HMODULE loaded = LoadLibraryW(L"comctl32.dll");
        auto initialise = loaded != nullptr ? reinterpret_cast<decltype(&InitCommonControlsEx)>(reinterpret_cast<void*>(
                                                  GetProcAddress(loaded, "InitCommonControlsEx")))
                                            : nullptr;
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        if (initialise != nullptr) {
            initialise(&controls);
        }
        return loaded;
    }();
    return module;
}

} // namespace tovira::win32
