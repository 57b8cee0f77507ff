// Test helper run inside the same Wine session as the program under test: answers one command per
// invocation with one JSON value on stdout (UTF-8). Window handles are printed and read as decimal
// numbers. Messages that carry pointers are used only where Wine marshals them across processes.
#include "platform/win32/Wide.h"

#include <windows.h>

#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (unsigned char c : tovira::win32::Narrow(text)) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Num(long long value) {
    return std::to_string(value);
}
std::string Bool(bool value) {
    return value ? "true" : "false";
}
std::string Handle(HWND window) {
    return Num(static_cast<long long>(reinterpret_cast<uintptr_t>(window)));
}

std::string Rect(const RECT& r) {
    return "[" + Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," + Num(r.bottom) + "]";
}

HWND ParseWindow(const std::wstring& text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(text.c_str(), nullptr, 10)));
}

std::wstring WindowText(HWND window) {
    // WM_GETTEXT rather than GetWindowText: the latter does not ask windows of other processes.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                        &copied);
    text.resize(copied);
    return text;
}

// Top-level titles without sending anything: a busy or hung process must not stall a listing of everybody.
std::wstring InternalText(HWND window) {
    wchar_t text[1024] = {};
    InternalGetWindowText(window, text, 1024);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::string Describe(HWND window, bool askWindow) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    RECT rect{};
    GetWindowRect(window, &rect);
    return "{\"hwnd\":" + Handle(window) + ",\"pid\":" + Num(pid) +
           ",\"title\":" + Json(askWindow ? WindowText(window) : InternalText(window)) +
           ",\"class\":" + Json(ClassOf(window)) + ",\"rect\":" + Rect(rect) +
           ",\"visible\":" + Bool(IsWindowVisible(window)) + ",\"enabled\":" + Bool(IsWindowEnabled(window)) +
           ",\"id\":" + Num(GetDlgCtrlID(window)) + ",\"owner\":" + Handle(GetWindow(window, GW_OWNER)) +
           ",\"foreground\":" + Bool(GetForegroundWindow() == window) + ",\"zoomed\":" + Bool(IsZoomed(window)) + "}";
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i ? "," : "") + items[i];
    }
    return out + "]";
}

bool TitleMatches(const std::wstring& title, const std::wstring& wanted) {
    return title.rfind(wanted, 0) == 0;
}

// Top-level windows of one process (all, hidden ones too) or, for pid 0, the visible ones of everybody.
std::string ListWindows(DWORD pid) {
    std::vector<std::string> items;
    for (HWND window : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (pid ? owner == pid : IsWindowVisible(window) != FALSE) {
            items.push_back(Describe(window, false));
        }
    }
    return JsonList(items);
}

std::string WindowAndChildren(HWND window) {
    std::vector<std::string> items;
    for (HWND child : Children(window)) {
        items.push_back(Describe(child, true));
    }
    return "{\"window\":" + Describe(window, false) + ",\"children\":" + JsonList(items) + "}";
}

HWND FindListBox(HWND window) {
    if (lstrcmpiW(ClassOf(window).c_str(), L"ListBox") == 0) {
        return window;
    }
    for (HWND child : Children(window)) {
        if (lstrcmpiW(ClassOf(child).c_str(), L"ListBox") == 0) {
            return child;
        }
    }
    return nullptr;
}

std::string ListBoxContents(HWND list) {
    auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    std::vector<std::string> items;
    std::vector<std::string> rects;
    for (int i = 0; i < count; ++i) {
        auto length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length < 0 ? 0 : length) + 1, L'\0');
        auto copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(copied < 0 ? 0 : copied));
        items.push_back(Json(text));
        RECT rect{};
        SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&rect));
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        rects.push_back(Rect(rect));
    }
    auto selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    return "{\"hwnd\":" + Handle(list) + ",\"items\":" + JsonList(items) + ",\"selected\":" + Num(selected) +
           ",\"screenRects\":" + JsonList(rects) + "}";
}

// Selects as a user would from the program's point of view: the selection changes and the parent hears of it.
bool SelectEntry(HWND list, int index) {
    if (SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0) == LB_ERR && index != -1) {
        return false;
    }
    auto id = static_cast<WORD>(GetDlgCtrlID(list));
    PostMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return true;
}

std::wstring WithoutAmpersands(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c != L'&') {
            out += c;
        }
    }
    return out;
}

// A button by its caption (access-key ampersands optional) or by "id:N" for its control id.
HWND FindButton(HWND window, const std::wstring& which) {
    bool byId = which.rfind(L"id:", 0) == 0;
    int id = byId ? _wtoi(which.c_str() + 3) : 0;
    for (HWND child : Children(window)) {
        if (lstrcmpiW(ClassOf(child).c_str(), L"Button") != 0) {
            continue;
        }
        std::wstring text = WindowText(child);
        if (byId ? GetDlgCtrlID(child) == id : (text == which || WithoutAmpersands(text) == WithoutAmpersands(which))) {
            return child;
        }
    }
    return nullptr;
}

std::string WaitWindow(const std::wstring& title, DWORD pid, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : TopLevelWindows()) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (IsWindowVisible(window) && (!pid || owner == pid) && TitleMatches(InternalText(window), title)) {
                return Describe(window, false);
            }
        }
        if (GetTickCount() - start >= timeoutMs) {
            return "null";
        }
        Sleep(50);
    }
}

// The scales of the screen that a window is on and of the system; 0 where Windows does not answer them.
std::string Scales(HWND window) {
    using ForMonitor = HRESULT WINAPI(HMONITOR, int, UINT*, UINT*);
    auto forMonitor = reinterpret_cast<ForMonitor*>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "GetDpiForMonitor")));
    auto forSystem = reinterpret_cast<UINT WINAPI (*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForSystem")));
    UINT screen = 0;
    UINT unused = 0;
    if (forMonitor == nullptr || forMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), 0, &screen, &unused)) {
        screen = 0;
    }
    return ",\"screenDpi\":" + Num(screen) + ",\"systemDpi\":" + Num(forSystem ? forSystem() : 0);
}

std::string ClientGeometry(HWND window) {
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    RECT client{};
    GetClientRect(window, &client);
    RECT outer{};
    GetWindowRect(window, &outer);
    return "{\"origin\":[" + Num(origin.x) + "," + Num(origin.y) + "],\"client\":[" + Num(client.right) + "," +
           Num(client.bottom) + "],\"window\":" + Rect(outer) + ",\"screen\":[" + Num(GetSystemMetrics(SM_CXSCREEN)) +
           "," + Num(GetSystemMetrics(SM_CYSCREEN)) + "]" + Scales(window) + "}";
}

std::string Processes() {
    std::vector<std::string> items;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return "[]";
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        std::wstring image;
        if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID)) {
            wchar_t path[MAX_PATH * 2] = {};
            DWORD size = MAX_PATH * 2;
            if (QueryFullProcessImageNameW(process, 0, path, &size)) {
                image = path;
            }
            CloseHandle(process);
        }
        items.push_back("{\"pid\":" + Num(entry.th32ProcessID) + ",\"parent\":" + Num(entry.th32ParentProcessID) +
                        ",\"exe\":" + Json(entry.szExeFile) + ",\"image\":" + Json(image) + "}");
    }
    CloseHandle(snapshot);
    return JsonList(items);
}

std::string ProcessResources(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) {
        return "null";
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    std::string out = "{\"workingSet\":" + Num(static_cast<long long>(memory.WorkingSetSize)) +
                      ",\"peakWorkingSet\":" + Num(static_cast<long long>(memory.PeakWorkingSetSize)) +
                      ",\"pagefile\":" + Num(static_cast<long long>(memory.PagefileUsage)) +
                      ",\"peakPagefile\":" + Num(static_cast<long long>(memory.PeakPagefileUsage)) +
                      ",\"private\":" + Num(static_cast<long long>(memory.PrivateUsage)) +
                      ",\"handles\":" + Num(handles) + ",\"gdi\":" + Num(GetGuiResources(process, GR_GDIOBJECTS)) +
                      ",\"user\":" + Num(GetGuiResources(process, GR_USEROBJECTS)) + "}";
    CloseHandle(process);
    return out;
}

std::string Kill(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) {
        return "false";
    }
    bool done = TerminateProcess(process, 1) && WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return Bool(done);
}

std::string Attributes(const std::wstring& path, const std::wstring& change) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return "null";
    }
    DWORD flag = 0;
    if (change.size() == 2) {
        switch (change[1]) {
        case L'h':
            flag = FILE_ATTRIBUTE_HIDDEN;
            break;
        case L's':
            flag = FILE_ATTRIBUTE_SYSTEM;
            break;
        case L'r':
            flag = FILE_ATTRIBUTE_READONLY;
            break;
        default:
            break;
        }
        attributes = change[0] == L'+' ? (attributes | flag) : (attributes & ~flag);
        SetFileAttributesW(path.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
        attributes = GetFileAttributesW(path.c_str());
    }
    return "{\"hidden\":" + Bool(attributes & FILE_ATTRIBUTE_HIDDEN) +
           ",\"system\":" + Bool(attributes & FILE_ATTRIBUTE_SYSTEM) +
           ",\"readonly\":" + Bool(attributes & FILE_ATTRIBUTE_READONLY) +
           ",\"directory\":" + Bool(attributes & FILE_ATTRIBUTE_DIRECTORY) + "}";
}

// Shape of a cursor as this process loads it: hot spot, size and which pixels are drawn, one string per row
// ('#' drawn, '.' transparent), for comparison with the cursor the X server shows.
std::string CursorShape(HCURSOR cursor) {
    ICONINFO info{};
    if (!cursor || !GetIconInfo(cursor, &info)) {
        return "null";
    }
    BITMAP mask{};
    GetObjectW(info.hbmMask, sizeof mask, &mask);
    int width = mask.bmWidth;
    int height = info.hbmColor ? mask.bmHeight : mask.bmHeight / 2;
    std::vector<RGBQUAD> andBits(static_cast<size_t>(width * mask.bmHeight));
    std::vector<RGBQUAD> colourBits(static_cast<size_t>(width * height));
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = -mask.bmHeight;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, info.hbmMask, 0, static_cast<UINT>(mask.bmHeight), andBits.data(), &header, DIB_RGB_COLORS);
    bool hasAlpha = false;
    if (info.hbmColor) {
        header.bmiHeader.biHeight = -height;
        GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(height), colourBits.data(), &header, DIB_RGB_COLORS);
        for (const RGBQUAD& pixel : colourBits) {
            hasAlpha = hasAlpha || pixel.rgbReserved != 0;
        }
    }
    ReleaseDC(nullptr, dc);
    std::vector<std::string> rows;
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            auto at = static_cast<size_t>(y * width + x);
            bool transparentByMask = andBits[at].rgbRed != 0;
            bool drawn = hasAlpha ? colourBits[at].rgbReserved != 0 : !transparentByMask;
            if (!info.hbmColor && transparentByMask) {
                // Monochrome cursor: AND 1 with XOR 1 inverts the screen, which counts as drawn.
                drawn = andBits[static_cast<size_t>((y + height) * width + x)].rgbRed != 0;
            }
            row += drawn ? '#' : '.';
        }
        rows.push_back("\"" + row + "\"");
    }
    if (info.hbmColor) {
        DeleteObject(info.hbmColor);
    }
    DeleteObject(info.hbmMask);
    return "{\"hotspot\":[" + Num(info.xHotspot) + "," + Num(info.yHotspot) + "],\"size\":[" + Num(width) + "," +
           Num(height) + "],\"rows\":" + JsonList(rows) + "}";
}

HCURSOR LoadNamedCursor(const std::wstring& name, const std::wstring& moduleOrEmpty, int resourceId) {
    if (!moduleOrEmpty.empty()) {
        HMODULE module = LoadLibraryExW(moduleOrEmpty.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!module) {
            return nullptr;
        }
        return static_cast<HCURSOR>(
            LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_DEFAULTCOLOR));
    }
    struct Named {
        const wchar_t* name;
        LPCWSTR id;
    };
    static const Named kSystem[] = {{L"arrow", IDC_ARROW},
                                    {L"wait", IDC_WAIT},
                                    {L"appstarting", IDC_APPSTARTING},
                                    {L"hand", IDC_HAND},
                                    {L"ibeam", IDC_IBEAM}};
    for (const Named& entry : kSystem) {
        if (name == entry.name) {
            return LoadCursorW(nullptr, entry.id);
        }
    }
    return nullptr;
}

int Usage() {
    std::fputs(
        "usage: wintool windows [PID] | tree HWND | list HWND | select HWND INDEX | click HWND CAPTION|id:N\n"
        "       | wait-window TITLE [TIMEOUT_MS] [PID] | close HWND | client HWND | tooltips [PID]\n"
        "       | procs | resources PID | kill PID | attrib PATH [+h|-h|+s|-s|+r|-r]\n"
        "       | cursor-shape arrow|wait|hand|... | cursor-shape EXE ID | current-cursor | start CMDLINE [SHOW]\n"
        "       | sysdir | long-path PATH\n",
        stderr);
    return 2;
}

std::string Run(const std::vector<std::wstring>& args) {
    const std::wstring& command = args[0];
    auto arg = [&](size_t i) { return i < args.size() ? args[i] : std::wstring(); };
    auto number = [&](size_t i) { return static_cast<DWORD>(std::wcstoul(arg(i).c_str(), nullptr, 10)); };
    if (command == L"windows") {
        return ListWindows(number(1));
    }
    if (command == L"tree") {
        return WindowAndChildren(ParseWindow(arg(1)));
    }
    if (command == L"list") {
        HWND list = FindListBox(ParseWindow(arg(1)));
        return list ? ListBoxContents(list) : "null";
    }
    if (command == L"select") {
        HWND list = FindListBox(ParseWindow(arg(1)));
        return Bool(list && SelectEntry(list, _wtoi(arg(2).c_str())));
    }
    if (command == L"click") {
        // Posted, not sent: the click may open a modal box, and this tool must not wait for it.
        HWND button = FindButton(ParseWindow(arg(1)), arg(2));
        return Bool(button && PostMessageW(button, BM_CLICK, 0, 0));
    }
    if (command == L"wait-window") {
        return WaitWindow(arg(1), number(3), args.size() > 2 ? number(2) : 5000);
    }
    if (command == L"close") {
        return Bool(PostMessageW(ParseWindow(arg(1)), WM_CLOSE, 0, 0));
    }
    if (command == L"client") {
        return ClientGeometry(ParseWindow(arg(1)));
    }
    if (command == L"tooltips") {
        std::vector<std::string> items;
        for (HWND window : TopLevelWindows()) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            bool isTip = lstrcmpiW(ClassOf(window).c_str(), TOOLTIPS_CLASSW) == 0;
            if (isTip && IsWindowVisible(window) && (number(1) == 0 || owner == number(1))) {
                // A tooltip answers WM_GETTEXT with the tip it shows, which is not its window text.
                items.push_back(Describe(window, true));
            }
        }
        return JsonList(items);
    }
    if (command == L"procs") {
        return Processes();
    }
    if (command == L"resources") {
        return ProcessResources(number(1));
    }
    if (command == L"kill") {
        return Kill(number(1));
    }
    if (command == L"attrib") {
        return Attributes(arg(1), arg(2));
    }
    if (command == L"cursor-shape") {
        bool fromModule = args.size() > 2;
        return CursorShape(LoadNamedCursor(arg(1), fromModule ? arg(1) : L"", fromModule ? _wtoi(arg(2).c_str()) : 0));
    }
    if (command == L"current-cursor") {
        CURSORINFO info{};
        info.cbSize = sizeof info;
        GetCursorInfo(&info);
        return "{\"handle\":" + Num(static_cast<long long>(reinterpret_cast<uintptr_t>(info.hCursor))) +
               ",\"showing\":" + Bool(info.flags & CURSOR_SHOWING) + ",\"at\":[" + Num(info.ptScreenPos.x) + "," +
               Num(info.ptScreenPos.y) + "]}";
    }
    if (command == L"start") {
        // The way the launcher starts programs: no application name, so Windows searches for the first word.
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(args.size() > 2 ? number(2) : SW_SHOWNORMAL);
        PROCESS_INFORMATION started{};
        std::wstring commandLine = arg(1);
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &started)) {
            return "null";
        }
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        return Num(started.dwProcessId);
    }
    if (command == L"long-path") {
        // What a path in its 8.3 form stands for: the shell hands documents of deep folders on in that form.
        std::wstring path(32768, L'\0');
        path.resize(GetLongPathNameW(arg(1).c_str(), path.data(), static_cast<DWORD>(path.size())));
        return path.empty() ? "null" : Json(path);
    }
    if (command == L"sysdir") {
        wchar_t path[MAX_PATH] = {};
        GetSystemDirectoryW(path, MAX_PATH);
        return Json(path);
    }
    return {};
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    // Places in the screen's own pixels, as the X server and the pointer have them, whatever scale a window is
    // drawn for: an unaware reader would get the places of a scaled program's windows divided by the scale. Wine
    // fixes the process's awareness at start-up, so the thread, which does all the work, takes it.
    using SetAwarenessFunction = HANDLE WINAPI(HANDLE);
    if (auto set = reinterpret_cast<SetAwarenessFunction*>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")))) {
        set(reinterpret_cast<HANDLE>(-3)); // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE
    }
    // Said before anything is done: a caller that finds no such line knows that Wine never ran this far (it fails
    // to start a program now and then while another starts or ends) and may ask again, even for a command that acts.
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "started\n", 8, &written, nullptr);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::string answer = Run(args);
    if (answer.empty()) {
        return Usage();
    }
    answer += "\n";
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
    return 0;
}
