#include "platform/win32/SystemLibrary.h"

#include <commctrl.h>

#include <string>

namespace tovira::win32 {

namespace {

// Asks for the length first, then for the text: neither folder has a fixed limit.
std::wstring FolderFrom(UINT(WINAPI* query)(LPWSTR, UINT)) {
    const UINT needed = query(nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::wstring folder(needed, L'\0');
    const UINT length = query(folder.data(), needed);
    if (length == 0 || length >= needed) {
        return {};
    }
    folder.resize(length);
    return folder;
}

} // namespace

std::wstring SystemDirectoryPath() {
    return FolderFrom(GetSystemDirectoryW);
}

std::wstring WindowsDirectoryPath() {
    return FolderFrom(GetSystemWindowsDirectoryW);
}

FARPROC SystemProcedure(const wchar_t* library, const char* name) {
    const std::wstring folder = SystemDirectoryPath();
    if (folder.empty()) {
        return nullptr;
    }
    // Stays loaded for the rest of the run, as a static import would.
    HMODULE module = LoadLibraryW((folder + L"\\" + library).c_str());
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

HMODULE EnsureCommonControls() {
    static const HMODULE module = [] {
        // By name, not by path: the manifest's side-by-side redirection picks version 6, and the start-up
        // hardening keeps the search for the name inside the system folder.
        HMODULE loaded = LoadLibraryW(L"comctl32.dll");
        auto initialise = ModuleFunction<decltype(InitCommonControlsEx)>(loaded, "InitCommonControlsEx");
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        if (initialise != nullptr) {
            initialise(&controls);
        }
        return loaded;
    }();
    return module;
}

} // namespace tovira::win32
