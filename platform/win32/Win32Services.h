#pragma once

#include "platform/Services.h"

#include <windows.h>

#include <string>

// windows.h renames CopyFile to CopyFileW; the interface's member must keep its own name here as well.
#undef CopyFile

namespace tovira::win32 {

// The folder part of a module path as the program reports it: no "\\?\" prefix, no trailing backslash except
// at a drive root ("D:\").
std::wstring FolderOfModulePath(std::wstring modulePath);

// The program part of a command line: the quoted first word, or everything up to the first blank.
std::wstring ProgramNameOf(const std::wstring& commandLine);

// The operating-system half of the services. The windowing runtime derives from it and supplies the busy cursor,
// forms, modal windows and program end.
class Win32Services : public Services {
public:
    Win32Services() = default;
    ~Win32Services() override;
    Win32Services(const Win32Services&) = delete;
    Win32Services& operator=(const Win32Services&) = delete;

    int ShowMessage(const std::string& text, int style) override;
    void StartProgram(const std::string& commandLine, int showState) override;
    bool ShellExecuteOpen(const std::string& documentPath, int showState) override;
    void ActivateWindow(const std::string& title, bool waitForFocus) override;
    std::string ListFiles(const std::string& pattern) override;
    std::string ListNextFile() override;
    void CopyFile(const std::string& source, const std::string& destination) override;
    std::string SystemFolder() override;
    std::string ApplicationFolder() override;
    PicturePtr LoadPictureFile(const std::string& path) override;
    ScreenTwips ScreenSize() override;

private:
    std::wstring ProgramPath(const std::wstring& commandLine);
    std::string NextListedFile(WIN32_FIND_DATAW& found);
    void CloseListing();

    HANDLE listing_ = INVALID_HANDLE_VALUE;
};

} // namespace tovira::win32
