// Measures Tovira.exe against a bare window of the same size: time from process start to the first
// complete paint, time to handle one movement event with its repaint, working set after start-up and
// the executable's size. Also drives the movement soak: many events, then memory and handle counts.
//
// usage: bench.exe startup <Tovira.exe> <bare.exe> [runs]
//        bench.exe soak <Tovira.exe> [events]
//        bench.exe logos <runs> <Tovira.exe beside a small logo> <Tovira.exe beside another logo>...
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Started {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;
    double seconds = 0;
    std::wstring title;
};

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Search {
    DWORD processId;
    const wchar_t* title;
    const wchar_t* otherTitle;
    HWND found;
};

BOOL CALLBACK FindTitled(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    const bool titled =
        wcscmp(text, search->title) == 0 || (search->otherTitle != nullptr && wcscmp(text, search->otherTitle) == 0);
    if (owner == search->processId && IsWindowVisible(window) && titled) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

bool Painted(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) {
        return false;
    }
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
            return false;
        }
    }
    return true;
}

// Starts a program from its own folder and waits until its window, of either title, is visible with nothing left
// to paint.
Started StartAndWaitForPaint(const std::wstring& exe, const wchar_t* title, const wchar_t* otherTitle = nullptr) {
    Started started;
    std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    const double begin = Now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &started.process)) {
        std::fprintf(stderr, "cannot start %ls (%lu)\n", exe.c_str(), GetLastError());
        ExitProcess(2);
    }
    while (Now() - begin < 30) {
        Search search{started.process.dwProcessId, title, otherTitle, nullptr};
        EnumWindows(FindTitled, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr && Painted(search.found)) {
            started.window = search.found;
            started.seconds = Now() - begin;
            wchar_t text[64] = {};
            GetWindowTextW(search.found, text, 64);
            started.title = text;
            return started;
        }
        SwitchToThread();
    }
    std::fprintf(stderr, "no painted window titled %ls\n", title);
    TerminateProcess(started.process.hProcess, 1);
    ExitProcess(2);
}

void Stop(Started& started) {
    TerminateProcess(started.process.hProcess, 0);
    WaitForSingleObject(started.process.hProcess, 5000);
    CloseHandle(started.process.hProcess);
    CloseHandle(started.process.hThread);
}

SIZE_T WorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return K32GetProcessMemoryInfo(process, &counters, sizeof(counters)) ? counters.WorkingSetSize : 0;
}

SIZE_T PrivateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    return K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters))
               ? counters.PrivateUsage
               : 0;
}

// Wine fills in only this figure, its anonymous memory, for another process; Windows fills in both.
SIZE_T PagefileBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    return K32GetProcessMemoryInfo(process, &counters, sizeof(counters)) ? counters.PagefileUsage : 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// One movement event over a point of the client area, given in pixels at 100 %, handled and repainted before
// this returns.
void MoveOver(HWND window, int x, int y) {
    static const int dpi = ScreenDpi();
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(MulDiv(x, dpi, 96), MulDiv(y, dpi, 96)));
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The "Explorar" caption and the window surface between the menu and the logo, in client pixels.
constexpr int kItemX = 40, kItemY = 153;
constexpr int kSurfaceX = 133, kSurfaceY = 66;

// Mean time of one movement event, handled and repainted, alternating between an item and the surface.
double MovementMilliseconds(const std::wstring& exe, const wchar_t* title, int events) {
    Started started = StartAndWaitForPaint(exe, title);
    MoveOver(started.window, kSurfaceX, kSurfaceY);
    const double begin = Now();
    for (int i = 0; i < events / 2; ++i) {
        MoveOver(started.window, kItemX, kItemY);
        MoveOver(started.window, kSurfaceX, kSurfaceY);
    }
    const double perEvent = (Now() - begin) * 1000 / events;
    Stop(started);
    return perEvent;
}

double FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return static_cast<double>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

int Startup(const std::wstring& tovira, const std::wstring& bare, int runs) {
    std::vector<double> toviraTimes, bareTimes;
    SIZE_T toviraSet = 0, bareSet = 0;
    for (int run = 0; run < runs; ++run) {
        Started b = StartAndWaitForPaint(bare, L"Bare");
        bareTimes.push_back(b.seconds);
        bareSet = WorkingSet(b.process.hProcess);
        Stop(b);
        Started t = StartAndWaitForPaint(tovira, L"Tovira");
        toviraTimes.push_back(t.seconds);
        toviraSet = WorkingSet(t.process.hProcess);
        Stop(t);
    }
    // Each start is compared with the bare window's just before it: the machine's speed drifts from one second to
    // the next, and a ratio of two medians taken apart would carry that drift.
    std::vector<double> ratios;
    for (size_t run = 0; run < toviraTimes.size(); ++run) {
        ratios.push_back(toviraTimes[run] / bareTimes[run]);
    }
    std::printf("start-up to first complete paint: %.1f ms (bare window %.1f ms), ratio %.2f start by start "
                "(goal <= 1.20)\n",
                Median(toviraTimes) * 1000, Median(bareTimes) * 1000, Median(ratios));

    const int events = 2000;
    const double perEvent = MovementMilliseconds(tovira, L"Tovira", events);
    const double barePerEvent = MovementMilliseconds(bare, L"Bare", events);
    std::printf("one movement event with its repaint: %.3f ms (bare window, nothing to repaint: %.3f ms) over %d "
                "events, %.1f%% of a 16 ms frame\n",
                perEvent, barePerEvent, events, perEvent / 16.0 * 100);
    std::printf("working set after start-up: %.1f MiB (bare window %.1f MiB), ratio %.2f\n",
                static_cast<double>(toviraSet) / 1048576.0, static_cast<double>(bareSet) / 1048576.0,
                static_cast<double>(toviraSet) / static_cast<double>(bareSet));
    const double size = FileSize(tovira), bareSize = FileSize(bare);
    std::printf("Tovira.exe size: %.1f KiB (bare window %.1f KiB), %.0f%% of the 512 KiB goal\n", size / 1024.0,
                bareSize / 1024.0, size / 1024.0 / 512 * 100);
    return 0;
}

// The most memory that a process has had at once: its working set (what Wine reports for another process: the
// resident memory, shared libraries included) and its private bytes (Wine: the anonymous memory now).
std::pair<SIZE_T, SIZE_T> PeakMemory(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!K32GetProcessMemoryInfo(process, &counters, sizeof(counters))) {
        return {0, 0};
    }
    return {counters.PeakWorkingSetSize, counters.PeakPagefileUsage};
}

std::wstring FolderName(const std::wstring& exe) {
    const std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
    return folder.substr(folder.find_last_of(L"\\/") + 1);
}

// Starts programs[0], beside a small logo, and each of the others in turn, again and again; each start and its peak
// memory are compared with the small logo's just before it. The window may be the launcher or, for a logo that
// the program refuses, the registration window.
int Logos(int runs, const std::vector<std::wstring>& programs) {
    const size_t count = programs.size();
    std::vector<std::vector<double>> seconds(count), later(count), set(count), privateBytes(count);
    std::vector<std::wstring> titles(count);
    for (int run = 0; run < runs; ++run) {
        for (size_t i = 0; i < count; ++i) {
            Started started = StartAndWaitForPaint(programs[i], L"Tovira", L"QEV Register");
            const auto [peakSet, peakPrivate] = PeakMemory(started.process.hProcess);
            Stop(started);
            seconds[i].push_back(started.seconds);
            later[i].push_back(started.seconds - seconds[0].back());
            set[i].push_back(static_cast<double>(peakSet) / 1048576.0);
            privateBytes[i].push_back(static_cast<double>(peakPrivate) / 1048576.0);
            titles[i] = started.title;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        std::printf("%ls: %ls painted after %.1f ms", FolderName(programs[i]).c_str(), titles[i].c_str(),
                    Median(seconds[i]) * 1000);
        if (i > 0) {
            std::printf(", %+.1f ms on the small logo's start (median start by start)", Median(later[i]) * 1000);
        }
        std::printf("; peak working set %.1f MiB (%+.1f), private %.1f MiB (%+.1f)\n", Median(set[i]),
                    Median(set[i]) - Median(set[0]), Median(privateBytes[i]),
                    Median(privateBytes[i]) - Median(privateBytes[0]));
    }
    return 0;
}

// Prints "before" and "after" counts of a long movement soak; the caller judges their flatness.
int Soak(const std::wstring& tovira, int events) {
    Started t = StartAndWaitForPaint(tovira, L"Tovira");
    HANDLE process = t.process.hProcess;
    auto report = [&](const char* when) {
        DWORD handles = 0;
        GetProcessHandleCount(process, &handles);
        std::printf("%s private=%llu pagefile=%llu workingset=%llu handles=%lu gdi=%lu user=%lu\n", when,
                    static_cast<unsigned long long>(PrivateBytes(process)),
                    static_cast<unsigned long long>(PagefileBytes(process)),
                    static_cast<unsigned long long>(WorkingSet(process)), handles,
                    GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS));
    };
    for (int i = 0; i < 200; ++i) { // warm the caches before the first reading
        MoveOver(t.window, kItemX, kItemY);
        MoveOver(t.window, kSurfaceX, kSurfaceY);
    }
    report("before");
    for (int i = 0; i < events / 2; ++i) {
        MoveOver(t.window, kItemX, kItemY);
        MoveOver(t.window, kSurfaceX, kSurfaceY);
    }
    report("after");
    const bool responsive = SendMessageTimeoutW(t.window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr) != 0;
    std::printf("responsive=%d\n", responsive ? 1 : 0);
    Stop(t);
    return responsive ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    SetProcessDPIAware(); // the screen's own scale, as the programs it measures see it
    if (argc >= 4 && wcscmp(argv[1], L"startup") == 0) {
        return Startup(argv[2], argv[3], argc > 4 ? _wtoi(argv[4]) : 11);
    }
    if (argc >= 3 && wcscmp(argv[1], L"soak") == 0) {
        return Soak(argv[2], argc > 3 ? _wtoi(argv[3]) : 10000);
    }
    if (argc >= 4 && wcscmp(argv[1], L"logos") == 0) {
        return Logos(_wtoi(argv[2]), std::vector<std::wstring>(argv + 3, argv + argc));
    }
    std::fprintf(stderr, "usage: bench startup <Tovira.exe> <bare.exe> [runs] | bench soak <Tovira.exe> [events] | "
                         "bench logos <runs> <Tovira.exe>...\n");
    return 2;
}
