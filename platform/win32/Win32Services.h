#pragma once

#include "platform/Services.h"
#include "platform/win32/Handles.h"
#include "platform/win32/MessagePump.h"

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace tovira::win32 {

// The folder part of a module path as the program reports it: no "\\?\" prefix, no trailing backslash except
// at a drive root ("D:\").
std::wstring FolderOfModulePath(std::wstring modulePath);

// The program part of a command line: the quoted first word, or everything up to the first blank.
std::wstring ProgramNameOf(const std::wstring& commandLine);

// The operating system's part of the services (Services.h says what each does): message boxes, programs, the
// shell, other windows, files, folders and pictures. The windowing runtime holds them and does the rest.
class Win32Services {
public:
    // The wait for the focus runs the program's messages in the given pump.
    explicit Win32Services(MessagePump& pump) : pump_(pump) {}

    int ShowMessage(const std::string& text, int style);
    void StartProgram(const std::string& commandLine, int showState);
    void StartProgramWithConsent(const std::string& programPath, int showState);
    bool RunsElevated();
    // The program with the arguments, elevated once the user consents to the prompt that `owner` owns: its process,
    // to wait for.
    KernelHandle StartElevated(const std::string& programPath, const std::string& arguments, HWND owner);
    bool ProgramIsSigned();
    bool ShellExecuteOpen(const std::string& documentPath, int showState);
    void ActivateWindow(const std::string& title, bool waitForFocus);
    std::string ListFiles(const std::string& pattern);
    std::string ListNextFile();
    void CopyFileReplacing(const std::string& source, const std::string& destination, const ContentCheck& check);
    std::string SystemFolder();
    std::string ApplicationFolder();
    std::string ProgramPath();
    std::string NetworkPath(const std::string& path);
    PicturePtr LoadPictureFile(const std::string& path);

private:
    std::wstring ProgramPath(const std::wstring& commandLine);
    std::wstring ModulePath();
    void ShellStart(SHELLEXECUTEINFOW& info);
    std::string NextListedFile(WIN32_FIND_DATAW& found);
    void WaitForFocus();

    MessagePump& pump_;
    FileSearch listing_;
};

} // namespace tovira::win32
