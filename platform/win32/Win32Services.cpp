#include "platform/win32/Win32Services.h"

#include "platform/RuntimeError.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/Errors.h"
#include "platform/win32/LongPaths.h"
#include "platform/win32/Pictures.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"

#include <vector>

namespace tovira::win32 {

namespace {

// How long ActivateWindow waits for this program to get the focus before it goes ahead regardless.
constexpr ULONGLONG kFocusWaitMilliseconds = 2000;

bool IsOrdinaryFile(const WIN32_FIND_DATAW& found) {
    return (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

struct WindowSearch {
    std::wstring title;
    HWND exact = nullptr;
    HWND prefix = nullptr;
};

// Titles compare without regard to case, as users type them.
BOOL CALLBACK ConsiderWindow(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<WindowSearch*>(data);
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    const int wanted = static_cast<int>(search.title.size());
    const int length = GetWindowTextLengthW(window);
    if (length < wanted) {
        return TRUE;
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    if (got < wanted || CompareStringOrdinal(text.data(), wanted, search.title.data(), wanted, TRUE) != CSTR_EQUAL) {
        return TRUE;
    }
    if (got == wanted) {
        search.exact = window;
        return FALSE;
    }
    if (search.prefix == nullptr) {
        search.prefix = window;
    }
    return TRUE;
}

// The attributes without read-only; FILE_ATTRIBUTE_NORMAL stands for none at all.
void MakeWritable(const std::wstring& path, DWORD attributes) {
    const DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (!SetFileAttributesW(path.c_str(), writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL)) {
        ThrowLastError();
    }
}

// Tests under Wine, where every program runs as a full administrator, take a standard user's way with
// TOVIRA_ASSUME_STANDARD_USER=1. It can only make the program ask for consent where it need not: what the elevated
// instance takes and does stays the same.
bool AssumeStandardUser() {
    wchar_t value[2] = {};
    return GetEnvironmentVariableW(L"TOVIRA_ASSUME_STANDARD_USER", value, 2) == 1 && value[0] == L'1';
}

bool OurProcessHasFocus() {
    DWORD process = 0;
    HWND foreground = GetForegroundWindow();
    if (foreground != nullptr) {
        GetWindowThreadProcessId(foreground, &process);
    }
    return process == GetCurrentProcessId();
}

} // namespace

std::wstring ProgramNameOf(const std::wstring& commandLine) {
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        return commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find_first_of(L" \t"));
}

// Windows would look for a program named without a folder beside our executable first, that is on the
// medium, where anyone may have put a program of that name. Such names are looked up in the system
// folders only. A program named with its folder is left to Windows unless its path is too long to start.
std::wstring Win32Services::ProgramPath(const std::wstring& commandLine) {
    const std::wstring program = ProgramNameOf(commandLine);
    if (program.find_first_of(L"\\/:") != std::wstring::npos) {
        const std::wstring startable = StartablePath(program);
        return startable != program ? startable : std::wstring();
    }
    const std::wstring windowsFolder = WindowsDirectoryPath();
    if (windowsFolder.empty()) {
        ThrowLastError();
    }
    const std::wstring folders = Widen(SystemFolder()) + L";" + windowsFolder;
    const std::wstring path = AskForPath([&](wchar_t* buffer, DWORD size) {
        return SearchPathW(folders.c_str(), program.c_str(), L".exe", size, buffer, nullptr);
    });
    if (path.empty()) {
        throw RuntimeError(kErrFileNotFound);
    }
    return path;
}

std::wstring FolderOfModulePath(std::wstring modulePath) {
    modulePath = WithoutLongPathPrefix(std::move(modulePath));
    const size_t lastSeparator = modulePath.find_last_of(L'\\');
    if (lastSeparator == std::wstring::npos) {
        return {};
    }
    modulePath.resize(lastSeparator);
    if (modulePath.size() == 2 && modulePath[1] == L':') {
        modulePath.push_back(L'\\');
    }
    return modulePath;
}

int Win32Services::ShowMessage(const std::string& text, int style) {
    // Without an active window of ours to own the box, task-modal still keeps the user out of our other windows.
    HWND owner = GetActiveWindow();
    UINT flags = static_cast<UINT>(style);
    if (owner == nullptr) {
        flags |= MB_TASKMODAL;
    }
    const int answer = MessageBoxW(owner, Widen(text).c_str(), Widen(kApplicationTitle).c_str(), flags);
    if (answer == 0) {
        ThrowLastError();
    }
    return answer;
}

void Win32Services::StartProgram(const std::string& commandLine, int showState) {
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    const std::wstring wide = Widen(commandLine);
    std::vector<wchar_t> line(wide.begin(), wide.end());
    line.push_back(L'\0');
    const std::wstring program = ProgramPath(wide);
    // No program needs the Application folder as its current folder, and a deep one is longer than a current
    // folder may be. The system folder never is, and nobody can plant a library there for the program to find.
    const std::wstring folder = Widen(SystemFolder());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showState);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
        ThrowLastError();
    }
    // Nothing waits for the started program: its handles go back at once.
    KernelHandle thread(process.hThread);
    KernelHandle started(process.hProcess);
}

// The shell, unlike CreateProcess, starts a program whose manifest wants an administrator: it asks the user first.
void Win32Services::StartProgramWithConsent(const std::string& programPath, int showState) {
    const std::wstring program = ShortPathForm(Widen(programPath));
    SHELLEXECUTEINFOW info{};
    info.lpFile = program.c_str();
    info.nShow = showState;
    ShellStart(info);
}

// A standard user's token and an administrator's filtered one are both not elevated; both get the consent prompt,
// the first one asking for an administrator's password.
bool Win32Services::RunsElevated() {
    if (AssumeStandardUser()) {
        return false;
    }
    // Asked once a click, so looked up each time.
    const auto openToken = SystemFunction<decltype(OpenProcessToken)>(L"advapi32.dll", "OpenProcessToken");
    const auto tokenInformation = SystemFunction<decltype(GetTokenInformation)>(L"advapi32.dll", "GetTokenInformation");
    KernelHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    // A Windows that cannot tell has no consent to ask for either (before Vista): everything goes on as ever there.
    if (openToken == nullptr || tokenInformation == nullptr ||
        !openToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()) ||
        !tokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        return true;
    }
    return elevation.TokenIsElevated != 0;
}

KernelHandle Win32Services::StartElevated(const std::string& arguments, HWND owner) {
    const std::wstring program = ShortPathForm(WithoutLongPathPrefix(ModulePath()));
    const std::wstring parameters = Widen(arguments);
    SHELLEXECUTEINFOW info{};
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    ShellStart(info);
    if (info.hProcess == nullptr) {
        throw RuntimeError(kErrInvalidCall);
    }
    return KernelHandle(info.hProcess);
}

// Our own reports tell what failed, so the shell shows no box of its own; the started program gets the system folder
// as its current folder, as with StartProgram.
void Win32Services::ShellStart(SHELLEXECUTEINFOW& info) {
    static const auto shellExecuteEx = SystemFunction<decltype(ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    if (shellExecuteEx == nullptr) {
        ThrowError(ERROR_PROC_NOT_FOUND);
    }
    EnsureComApartment();
    const std::wstring folder = Widen(SystemFolder());
    info.cbSize = sizeof info;
    info.fMask |= SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpDirectory = folder.c_str();
    if (!shellExecuteEx(&info)) {
        ThrowLastError();
    }
}

bool Win32Services::ShellExecuteOpen(const std::string& documentPath, int showState) {
    static const auto shellExecute = SystemFunction<decltype(ShellExecuteW)>(L"shell32.dll", "ShellExecuteW");
    if (shellExecute == nullptr) {
        return false;
    }
    EnsureComApartment();
    HINSTANCE result =
        shellExecute(nullptr, L"open", ShortPathForm(Widen(documentPath)).c_str(), nullptr, nullptr, showState);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

// Keeps our windows responsive meanwhile.
void Win32Services::WaitForFocus() {
    pump_.Run(OurProcessHasFocus, GetTickCount64() + kFocusWaitMilliseconds);
}

void Win32Services::ActivateWindow(const std::string& title, bool waitForFocus) {
    if (waitForFocus) {
        WaitForFocus();
    }
    WindowSearch search;
    search.title = Widen(title);
    if (search.title.empty()) {
        throw RuntimeError(kErrInvalidCall);
    }
    EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
    HWND target = search.exact != nullptr ? search.exact : search.prefix;
    if (target == nullptr) {
        throw RuntimeError(kErrInvalidCall);
    }
    if (IsIconic(target)) {
        ShowWindow(target, SW_RESTORE);
    }
    SetForegroundWindow(target);
}

std::string Win32Services::ListFiles(const std::string& pattern) {
    listing_.Reset();
    WIN32_FIND_DATAW found{};
    FileSearch search(FindFirstFileExW(LongPathForm(Widen(pattern)).c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0));
    if (!search) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
            return {};
        }
        ThrowError(error);
    }
    listing_ = std::move(search);
    if (IsOrdinaryFile(found)) {
        return Narrow(found.cFileName);
    }
    return NextListedFile(found);
}

std::string Win32Services::ListNextFile() {
    if (!listing_) {
        throw RuntimeError(kErrInvalidCall);
    }
    WIN32_FIND_DATAW found{};
    return NextListedFile(found);
}

std::string Win32Services::NextListedFile(WIN32_FIND_DATAW& found) {
    while (FindNextFileW(listing_.Get(), &found)) {
        if (IsOrdinaryFile(found)) {
            return Narrow(found.cFileName);
        }
    }
    const DWORD error = GetLastError();
    listing_.Reset();
    if (error != ERROR_NO_MORE_FILES) {
        ThrowError(error);
    }
    return {};
}

// Everything on a disc is read-only, and the copy would keep that: the next copy of the same name, from a second run
// or an updated disc, would then be refused (by Windows; Wine replaces it). So a read-only file of that name is
// replaced, and the copy never stays read-only. Any other refusal is reported as it comes.
void Win32Services::CopyFileReplacing(const std::string& source, const std::string& destination) {
    const std::wstring target = LongPathForm(Widen(destination));
    const DWORD existing = GetFileAttributesW(target.c_str());
    const bool readOnly = existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        MakeWritable(target, existing);
    }
    if (!CopyFileW(LongPathForm(Widen(source)).c_str(), target.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        if (readOnly) {
            SetFileAttributesW(target.c_str(), existing); // a file that was not replaced stays as it was
        }
        ThrowError(error);
    }
    const DWORD copied = GetFileAttributesW(target.c_str());
    if (copied == INVALID_FILE_ATTRIBUTES) {
        ThrowLastError();
    }
    if ((copied & FILE_ATTRIBUTE_READONLY) != 0) {
        MakeWritable(target, copied);
    }
}

std::string Win32Services::SystemFolder() {
    const std::wstring folder = SystemDirectoryPath();
    if (folder.empty()) {
        ThrowLastError();
    }
    return Narrow(folder);
}

std::wstring Win32Services::ModulePath() {
    const std::wstring path =
        AskForPath([](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    if (path.empty()) {
        ThrowLastError();
    }
    return path;
}

std::string Win32Services::ApplicationFolder() {
    return Narrow(FolderOfModulePath(ModulePath()));
}

PicturePtr Win32Services::LoadPictureFile(const std::string& path) {
    return LoadPicture(LongPathForm(Widen(path)));
}

} // namespace tovira::win32
