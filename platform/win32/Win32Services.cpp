#include "platform/win32/Win32Services.h"

#include "platform/RuntimeError.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/Errors.h"
#include "platform/win32/LoadPicture.h"
#include "platform/win32/LongPaths.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"

#include <winnetwk.h>

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

// A component is read from one handle, which nobody may write to or replace while it is open: what is checked is
// what is copied. A symbolic link or junction named like a component is refused rather than followed.
FileHandle OpenOnce(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        ThrowLastError();
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.Get(), &information)) {
        ThrowLastError();
    }
    if ((information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        throw RuntimeError(kErrPathFileAccess);
    }
    return file;
}

// The file from its start to its end, hashed, and written on where there is somewhere to write to.
Sha256Digest ReadThrough(const FileHandle& file, HANDLE copy) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) {
        ThrowLastError();
    }
    std::vector<unsigned char> buffer(64 * 1024);
    Sha256 sum;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            ThrowLastError();
        }
        if (read == 0) {
            return sum.Finish();
        }
        sum.Add({buffer.data(), read});
        DWORD written = 0;
        if (copy != nullptr && (!WriteFile(copy, buffer.data(), read, &written, nullptr) || written != read)) {
            ThrowLastError();
        }
    }
}

// Opening the destination for writing first gives the errors that a plain copy gives (in use, denied, a folder)
// before anything is written.
void ProbeWritable(const std::wstring& target) {
    FileHandle probe(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const DWORD error = GetLastError();
    if (!probe && error != ERROR_FILE_NOT_FOUND) {
        ThrowError(error);
    }
}

// The copy is written beside the destination under a name of its own and takes the destination's name only once it
// is whole, so that a failure part way (a full disk) leaves no half-written file under that name; it is written
// again from the open source, and only if it is what was checked.
void ReplaceFrom(const FileHandle& source, const Sha256Digest& checked, const std::wstring& target) {
    ProbeWritable(target);
    std::wstring temporary = target;
    temporary += Widen("." + std::to_string(GetCurrentProcessId()) + ".tmp");
    try {
        {
            FileHandle copy(
                CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!copy) {
                ThrowLastError();
            }
            if (ReadThrough(source, copy.Get()) != checked) {
                throw RuntimeError(kErrPathFileAccess);
            }
            if (!FlushFileBuffers(copy.Get())) {
                ThrowLastError();
            }
        }
        if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ThrowLastError();
        }
    } catch (...) {
        DeleteFileW(temporary.c_str());
        throw;
    }
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

KernelHandle Win32Services::StartElevated(const std::string& programPath, const std::string& arguments, HWND owner) {
    const std::wstring program = ShortPathForm(Widen(programPath));
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
void Win32Services::CopyFileReplacing(const std::string& source, const std::string& destination,
                                      const ContentCheck& check) {
    FileHandle from = OpenOnce(LongPathForm(Widen(source)));
    const Sha256Digest checked = ReadThrough(from, nullptr);
    check(checked);
    const std::wstring target = LongPathForm(Widen(destination));
    const DWORD existing = GetFileAttributesW(target.c_str());
    const bool readOnly = existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        MakeWritable(target, existing);
    }
    try {
        ReplaceFrom(from, checked, target);
    } catch (...) {
        if (readOnly) {
            SetFileAttributesW(target.c_str(), existing); // a file that was not replaced stays as it was
        }
        throw;
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

std::string Win32Services::ProgramPath() {
    return Narrow(WithoutLongPathPrefix(ModulePath()));
}

// Only a drive letter can be mapped; mpr.dll, which knows the mappings, is loaded when a path needs it.
std::string Win32Services::NetworkPath(const std::string& path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') {
        return path;
    }
    static const auto universalName =
        SystemFunction<decltype(WNetGetUniversalNameW)>(L"mpr.dll", "WNetGetUniversalNameW");
    if (universalName == nullptr) {
        return path;
    }
    const std::wstring wide = Widen(path);
    std::vector<unsigned char> buffer(sizeof(UNIVERSAL_NAME_INFOW) + (wide.size() + MAX_PATH) * sizeof(wchar_t));
    for (;;) {
        auto size = static_cast<DWORD>(buffer.size());
        const DWORD result = universalName(wide.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size);
        if (result == ERROR_MORE_DATA && size > buffer.size()) {
            buffer.resize(size);
            continue;
        }
        // Not a network drive, or no network at all: the path is the program's own.
        if (result != NO_ERROR) {
            return path;
        }
        return Narrow(reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data())->lpUniversalName);
    }
}

// The certificate table of the program's own headers, as the loader mapped them from its file.
bool Win32Services::ProgramIsSigned() {
    const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_OPTIONAL_HEADER& optional = headers->OptionalHeader;
    return optional.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY &&
           optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size != 0;
}

PicturePtr Win32Services::LoadPictureFile(const std::string& path) {
    return LoadPicture(LongPathForm(Widen(path)));
}

} // namespace tovira::win32
