#include "platform/Startup.h"
#include "platform/win32/Win32Runtime.h"

namespace {

// Only the system folder may supply DLLs: the program runs from foreign media, where a planted DLL beside it
// must never be loaded. SetDefaultDllDirectories is looked up, so the program still starts where it is missing.
void HardenDllSearch() {
    SetDllDirectoryW(L"");
    using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return;
    }
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    HardenDllSearch();
    try {
        tovira::win32::Win32Runtime runtime(instance);
        const std::unique_ptr<tovira::Form> startup = tovira::CreateStartupForm(runtime);
        return runtime.Run(*startup);
    } catch (...) {
        return 1;
    }
}
