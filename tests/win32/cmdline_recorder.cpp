// Started by the tests: writes down how it was started (command line, current folder, show state) into the file
// that TOVIRA_RECORD_TO names, as UTF-16 lines, renaming it into place so that a reader never sees half of it.
#include <windows.h>

#include <string>

int wmain() {
    wchar_t target[32768] = {};
    if (GetEnvironmentVariableW(L"TOVIRA_RECORD_TO", target, 32768) == 0) {
        return 1;
    }
    wchar_t folder[32768] = {};
    GetCurrentDirectoryW(32768, folder);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    const int showState = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

    const std::wstring record =
        std::wstring(GetCommandLineW()) + L"\n" + folder + L"\n" + std::to_wstring(showState) + L"\n";
    const std::wstring part = std::wstring(target) + L".part";
    HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 2;
    }
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(part.c_str(), target, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
