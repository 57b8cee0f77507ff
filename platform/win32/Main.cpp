#include "platform/ProgramEntry.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"
#include "platform/win32/Win32Runtime.h"

#include <cstdlib>

// The C++ runtime's default terminate handler writes the exception's demangled type to standard error, which a
// windowed program does not have. Defined here, it keeps that handler's 37 KB demangler out of the shipped file.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

namespace {

// Only the system folder may supply DLLs: the program runs from foreign media, where a planted DLL beside it
// must never be loaded. SetDefaultDllDirectories is looked up, so the program still starts where it is missing.
void HardenDllSearch() {
    SetDllDirectoryW(L"");
    auto setDefault = tovira::win32::ModuleFunction<BOOL WINAPI(DWORD)>(GetModuleHandleW(L"kernel32.dll"),
                                                                        "SetDefaultDllDirectories");
    if (setDefault != nullptr) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

} // namespace

// The hardening comes first for every way the program runs: the elevated instance that registers a component, above
// all, loads nothing from the medium.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
    HardenDllSearch();
    try {
        tovira::win32::Win32Runtime runtime(instance);
        if (const std::optional<int> task =
                tovira::RunCommandLineTask(runtime, tovira::win32::Narrow(arguments != nullptr ? arguments : L""))) {
            return *task;
        }
        const std::unique_ptr<tovira::Form> startup = tovira::CreateStartupForm(runtime);
        return runtime.Run(*startup);
    } catch (...) {
        return 1;
    }
}
