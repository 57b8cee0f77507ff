#pragma once

#include <windows.h>

#include <string>

namespace tovira::win32 {

// The system folder and the Windows folder as Windows tells them, of whatever length; empty when it cannot.
std::wstring SystemDirectoryPath();
std::wstring WindowsDirectoryPath();

// A function of a DLL in the system folder, loaded by its full path on first use; null when it cannot be had.
// The libraries that only some actions need stay out of start-up this way, and no other folder can supply them.
FARPROC SystemProcedure(const wchar_t* library, const char* name);

// Loads the common controls and registers their window classes, once; null when they cannot be had. Called before
// the first window that needs them is made, so that a launcher without such windows shows before the library is
// even loaded.
HMODULE EnsureCommonControls();

// A function of a loaded module, as its own type; null when the module or the function is missing.
template <typename Function> Function* ModuleFunction(HMODULE module, const char* name) {
    return module != nullptr ? reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                             : nullptr;
}

template <typename Function> Function* CommonControlsFunction(const char* name) {
    return ModuleFunction<Function>(EnsureCommonControls(), name);
}

template <typename Function> Function* SystemFunction(const wchar_t* library, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(SystemProcedure(library, name)));
}

} // namespace tovira::win32
