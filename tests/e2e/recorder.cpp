// Stand-in for the programs that the launcher starts (registration tool, file manager, start command,
// PDF reader, web browser). It appends one line to a log: its process id, the show state it was asked
// for ("-" when none) and its whole command line, tab-separated, UTF-8. The log is the file named by
// TOVIRA_E2E_LOG, or else "<own name>.log" beside itself.
//
// With "--window TITLE" (and optionally "--cursor wait" for an hourglass class cursor), or when its own file name
// starts with "AcroRd32" (then the title is "Acrobat Reader - " and the file name of its last argument), it also opens
// a top-level window and stays until that window is closed; otherwise it exits at once. TOVIRA_E2E_WINDOWLESS in
// the environment (inherited from whoever started it) keeps it from opening any window: a program that took its
// document and shows nothing. "--hidden" with "--window" makes the window but never shows it.
#include "platform/win32/Wide.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring LogPath() {
    std::wstring value(32768, L'\0');
    DWORD length = GetEnvironmentVariableW(L"TOVIRA_E2E_LOG", value.data(), static_cast<DWORD>(value.size()));
    if (length > 0 && length < value.size()) {
        value.resize(length);
        return value;
    }
    std::wstring own = OwnPath();
    size_t dot = own.find_last_of(L'.');
    return (dot == std::wstring::npos ? own : own.substr(0, dot)) + L".log";
}

void AppendLine(const std::string& line) {
    HANDLE file = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

int ShowState() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
}

std::vector<std::wstring> Arguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args(argv, argv + count);
    LocalFree(argv);
    return args;
}

std::wstring OptionValue(const std::vector<std::wstring>& args, const wchar_t* option) {
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == option) {
            return args[i + 1];
        }
    }
    return {};
}

std::wstring WindowTitle(const std::vector<std::wstring>& args) {
    std::wstring explicitTitle = OptionValue(args, L"--window");
    if (!explicitTitle.empty()) {
        return explicitTitle;
    }
    std::wstring own = FileNameOf(OwnPath());
    if (CompareStringOrdinal(own.c_str(), static_cast<int>(std::min<size_t>(own.size(), 8)), L"AcroRd32", 8, TRUE) ==
        CSTR_EQUAL) {
        return L"Acrobat Reader - " + (args.size() > 1 ? FileNameOf(args.back()) : std::wstring());
    }
    return {};
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int RunWindow(HINSTANCE instance, const std::wstring& title, bool waitCursor, int showState, bool hidden) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, waitCursor ? IDC_WAIT : IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"ToviraE2ERecorder";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 400, 300,
                                nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    if (!hidden) {
        ShowWindow(window, showState < 0 ? SW_SHOWNORMAL : showState);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    int showState = ShowState();
    AppendLine(std::to_string(GetCurrentProcessId()) + "\t" + (showState < 0 ? "-" : std::to_string(showState)) + "\t" +
               tovira::win32::Narrow(GetCommandLineW()) + "\n");
    std::vector<std::wstring> args = Arguments();
    const bool windowless = GetEnvironmentVariableW(L"TOVIRA_E2E_WINDOWLESS", nullptr, 0) > 0;
    std::wstring title = windowless ? std::wstring() : WindowTitle(args);
    const bool hidden = std::find(args.begin(), args.end(), L"--hidden") != args.end();
    return title.empty() ? 0 : RunWindow(instance, title, OptionValue(args, L"--cursor") == L"wait", showState, hidden);
}
