#pragma once

// First: it undoes windows.h's CopyFile macro after the interface has been declared.
#include "platform/win32/Win32Services.h"

#include "platform/win32/FormWindow.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tovira::win32 {

// The windowing runtime: one window per form, the event dispatcher with its default error report, modal windows,
// the busy cursor and the program's end.
class Win32Runtime final : public Win32Services, private FormHost {
public:
    // How the process ends once every window is gone. The program exits for real; tests observe the call instead,
    // and EndProgram then throws ProgramEnded so that nothing after it runs.
    using EndAction = std::function<void(UINT exitCode)>;

    // Resources (icons, pointer, pictures) come from the given module.
    explicit Win32Runtime(HINSTANCE resources, EndAction endAction = ExitProcess);
    ~Win32Runtime() override;

    void SetBusyCursor(bool on) override;
    void LoadForm(Form& form) override;
    void ShowWindowModal(Form& form) override;
    [[noreturn]] void EndProgram() override;

    // Loads the start-up form, shows it where its Load put it and runs the message loop until it closes.
    int Run(Form& startup);

    // Runs an event procedure the way every window event does: afterwards all windows follow their models, and a
    // run-time error that escapes is reported and ends the program. Raised while another runs, it runs after it.
    void Dispatch(const EventProcedure& procedure) override;

    // The form's window, or nullptr before LoadForm and after it closed.
    HWND WindowOf(const Form& form) const;
    HWND ChildWindowOf(const Form& form, const Control& control) const;
    bool Ended() const { return ended_; }

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
    void SyncAll();
    void ProcessMessage(MSG& message);
    void EnableAgain(Modal& modal);
    FormWindow* WindowFor(HWND window) const;

    EndAction endAction_;
    FontCache fonts_;
    StockResources resources_;
    std::map<const Form*, std::unique_ptr<FormWindow>> windows_;
    std::vector<Modal> modals_;
    const Form* mainForm_ = nullptr;
    bool busy_ = false;
    bool ended_ = false;
    bool running_ = false;
    std::deque<EventProcedure> waiting_;
};

} // namespace tovira::win32
