#pragma once

#include "platform/ComponentList.h"
#include "platform/PictureHandle.h"
#include "platform/RuntimeError.h"

#include <functional>
#include <string>

namespace tovira {

class Form;

// Message-box styles and answers, as the Windows values they are.
inline constexpr int kMbOkOnly = 0;
inline constexpr int kMbYesNo = 4;
inline constexpr int kMbQuestion = 32;
inline constexpr int kMbExclamation = 48;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Show states for started programs.
inline constexpr int kShowHidden = 0;
inline constexpr int kShowNormal = 1;
inline constexpr int kShowMaximized = 3;

// The title of the program's message boxes and of its run-time error report.
inline constexpr char kApplicationTitle[] = "Tovira";

// Told the digest of a file's content before anything is written; refuses it by throwing RuntimeError.
using ContentCheck = std::function<void(const Sha256Digest&)>;

struct ScreenTwips {
    double width = 0;
    double height = 0;
};

// Everything the forms need from Windows and from the windowing runtime. Text is UTF-8; a failing
// operation throws RuntimeError.
class Services {
public:
    virtual ~Services() = default;

    // A modal box titled with the application title; returns the button pressed.
    virtual int ShowMessage(const std::string& text, int style) = 0;
    // Starts a command line and waits for nothing. A program that Windows starts only with an administrator's
    // consent raises RuntimeError::ElevationRequired.
    virtual void StartProgram(const std::string& commandLine, int showState) = 0;
    // Starts a program, named with its full path and given no arguments, through the shell, which asks the user for
    // consent where the program's manifest wants an administrator; waits for nothing.
    virtual void StartProgramWithConsent(const std::string& programPath, int showState) = 0;
    // Whether the process has an administrator's full rights, or runs on a Windows without consent to ask for.
    virtual bool RunsElevated() = 0;
    // Starts the program (this one, by a path that an elevated session can reach) with the arguments, elevated once
    // the user consents, and waits for it to end while the program's windows take no input; returns its exit code.
    virtual int RunElevated(const std::string& programPath, const std::string& arguments) = 0;
    // Whether this program's file carries a signature at all. Whether it holds is for Windows to say, at the consent
    // prompt; a program that carries one is vouched for by its publisher.
    virtual bool ProgramIsSigned() = 0;
    // The components that the disc kit listed in this program.
    virtual ComponentList ShippedComponents() = 0;
    // Opens a document or web address with the program registered for it (verb "open") in the show state.
    // Raises nothing; says whether the shell could open it.
    virtual bool ShellExecuteOpen(const std::string& documentPath, int showState) = 0;
    // Brings forward the top-level window whose title equals the text, or else begins with it.
    virtual void ActivateWindow(const std::string& title, bool waitForFocus) = 0;
    // First call: a path ending in a wildcard pattern. Then ListNextFile. "" at the end. Ordinary files only.
    virtual std::string ListFiles(const std::string& pattern) = 0;
    virtual std::string ListNextFile() = 0;
    // Replaces an existing destination, also a read-only one; the copy is never read-only. The source is opened once,
    // refusing a link or junction and letting nobody write to it meanwhile; the check is told its digest before
    // anything is written, and what is written is what was checked. A copy that fails part way leaves the
    // destination as it was.
    virtual void CopyFileReplacing(const std::string& source, const std::string& destination,
                                   const ContentCheck& check) = 0;
    virtual std::string SystemFolder() = 0;
    // The executable's folder, without a trailing backslash except at a drive root.
    virtual std::string ApplicationFolder() = 0;
    // The executable's own path.
    virtual std::string ProgramPath() = 0;
    // The path through the share's own name (\\server\share\...) where it lies on a drive letter mapped to a network
    // share, which belongs to the user's logon session alone; else as it stands.
    virtual std::string NetworkPath(const std::string& path) = 0;
    virtual PicturePtr LoadPictureFile(const std::string& path) = 0;
    virtual ScreenTwips ScreenSize() = 0;
    virtual void SetBusyCursor(bool on) = 0;

    // Creates the form's window if it does not exist yet and runs its Load procedure once.
    virtual void LoadForm(Form& form) = 0;
    // Shows the form with every other window of the program disabled; returns when it closes.
    virtual void ShowWindowModal(Form& form) = 0;
    // Every window closes and the program ends; nothing after the call runs.
    [[noreturn]] virtual void EndProgram() = 0;
};

} // namespace tovira
