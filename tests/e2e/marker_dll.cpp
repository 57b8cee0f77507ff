// Stands in for a DLL that someone planted beside a program: whenever a process loads it, it leaves a marker
// file named after its own file name (uxtheme.dll, version.dll, ...) in the folder named by TOVIRA_E2E_MARKERS,
// one line per load: the path of the process that loaded it and whether the load came with the process's
// start-up (an import, resolved before the program's own code runs) or later. Built a second time as a program
// (planted.exe) that leaves the same marker when it is started, to stand in for a program planted on the medium.
#include <windows.h>

#include <string>

namespace {

std::wstring ModulePath(HMODULE module) {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void LeaveMarker(HMODULE module, const char* when) {
    std::wstring folder(32768, L'\0');
    const DWORD length =
        GetEnvironmentVariableW(L"TOVIRA_E2E_MARKERS", folder.data(), static_cast<DWORD>(folder.size()));
    if (length == 0 || length >= folder.size()) {
        return;
    }
    folder.resize(length);
    const std::wstring marker = folder + L"\\" + FileNameOf(ModulePath(module));
    HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::wstring host = ModulePath(nullptr);
    std::string line(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, host.data(), static_cast<int>(host.size()),
                                                             nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, host.data(), static_cast<int>(host.size()), line.data(),
                        static_cast<int>(line.size()), nullptr, nullptr);
    line = line + "\t" + when + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

#ifdef TOVIRA_E2E_PLANTED_PROGRAM
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    LeaveMarker(nullptr, "started");
    return 0;
}
#else
// Stays loaded, as a hostile DLL would. The loader passes a non-null third argument for imports resolved while
// the process starts and null for LoadLibrary.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        LeaveMarker(instance, reserved != nullptr ? "start-up" : "later");
    }
    return TRUE;
}
#endif
