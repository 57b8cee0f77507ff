#pragma once

#include "platform/Services.h"
#include "platform/win32/FormWindow.h"
#include "platform/win32/MessagePump.h"
#include "platform/win32/Win32Services.h"
#include "platform/win32/WindowRegistry.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <vector>

namespace tovira::win32 {

// The services for the forms: the operating system's part is done by the Win32Services held here; this runtime
// runs the event procedures one at a time with the default error report, and does the windows' part: forms,
// modal windows, the busy cursor, the screen and the program's end.
class Win32Runtime final : public Services, private FormHost {
public:
    // How the process ends once every window is gone. The program exits for real; tests observe the call instead,
    // and EndProgram then throws ProgramEnded so that nothing after it runs.
    using EndAction = std::function<void(UINT exitCode)>;

    // Resources (icons, pointer, pictures) come from the given module.
    explicit Win32Runtime(HINSTANCE resources, EndAction endAction = ExitProcess);
    ~Win32Runtime() override = default;
    Win32Runtime(const Win32Runtime&) = delete;
    Win32Runtime& operator=(const Win32Runtime&) = delete;

    int ShowMessage(const std::string& text, int style) override { return system_.ShowMessage(text, style); }
    void StartProgram(const std::string& commandLine, int showState) override {
        system_.StartProgram(commandLine, showState);
    }
    void StartProgramWithConsent(const std::string& commandLine, int showState) override {
        system_.StartProgramWithConsent(commandLine, showState);
    }
    bool RunsElevated() override { return system_.RunsElevated(); }
    int RunElevated(const std::string& programPath, const std::string& arguments) override;
    bool ProgramIsSigned() override { return system_.ProgramIsSigned(); }
    ComponentList ShippedComponents() override { return ParseComponentList(OwnComponentBlock()); }
    bool ShellExecuteOpen(const std::string& documentPath, int showState) override {
        return system_.ShellExecuteOpen(documentPath, showState);
    }
    void ActivateWindow(const std::string& title, bool waitForFocus) override {
        system_.ActivateWindow(title, waitForFocus);
    }
    std::string ListFiles(const std::string& pattern) override { return system_.ListFiles(pattern); }
    std::string ListNextFile() override { return system_.ListNextFile(); }
    void CopyFileReplacing(const std::string& source, const std::string& destination,
                           const ContentCheck& check) override {
        system_.CopyFileReplacing(source, destination, check);
    }
    std::string SystemFolder() override { return system_.SystemFolder(); }
    std::string ApplicationFolder() override { return system_.ApplicationFolder(); }
    std::string ProgramPath() override { return system_.ProgramPath(); }
    std::string NetworkPath(const std::string& path) override { return system_.NetworkPath(path); }
    PicturePtr LoadPictureFile(const std::string& path) override { return system_.LoadPictureFile(path); }

    ScreenTwips ScreenSize() override;
    void SetBusyCursor(bool on) override;
    void LoadForm(Form& form) override;
    void ShowWindowModal(Form& form) override;
    [[noreturn]] void EndProgram() override;

    // Loads the start-up form, shows it where its Load put it and runs the message loop until it closes.
    int Run(Form& startup);

    // Runs an event procedure the way every window event does: afterwards all windows follow their models, and a
    // run-time error that escapes is reported and ends the program. Raised while another runs, it runs after it.
    void Dispatch(const EventProcedure& procedure) override;

private:
    struct Modal {
        FormWindow* window = nullptr;
        std::vector<HWND> disabled;
        // The event procedure that opened the window, and the ones waiting for it.
        bool outerRunning = false;
        std::deque<EventProcedure> outerWaiting;
    };

    void HandleStrayException() noexcept override;
    bool BusyCursorOn() const override { return busy_; }
    void CloseRequested(FormWindow& window) override;
    void Destroyed(FormWindow& window) override;
    FontCache& Fonts() override { return fonts_; }
    StockResources& Resources() override { return resources_; }

    void RunProcedure(const EventProcedure& procedure);
    [[noreturn]] void ReportAndEnd(std::exception_ptr error);
    bool TakesDialogKeys(HWND window) const;

    EndAction endAction_;
    FontCache fonts_;
    StockResources resources_;
    // After the fonts and pictures, so that the windows that paint with them go first.
    WindowRegistry windows_;
    MessagePump pump_{[this](HWND window) { return TakesDialogKeys(window); }};
    Win32Services system_{pump_};
    std::vector<Modal> modals_;
    const Form* mainForm_ = nullptr;
    bool busy_ = false;
    bool ended_ = false;
    bool running_ = false;
    std::deque<EventProcedure> waiting_;
};

} // namespace tovira::win32
