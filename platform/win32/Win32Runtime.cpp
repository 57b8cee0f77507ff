#include "platform/win32/Win32Runtime.h"

#include "platform/RuntimeError.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/ErrorReport.h"
#include "platform/win32/Errors.h"

#include <utility>

namespace tovira::win32 {

namespace {

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The enabled windows of this thread but `kept` and those it owns, now disabled.
std::vector<HWND> DisableWindows(HWND kept) {
    std::vector<HWND> disabled;
    for (HWND other : ThreadWindows()) {
        if (other != kept && (kept == nullptr || GetWindow(other, GW_OWNER) != kept) && IsWindowEnabled(other)) {
            EnableWindow(other, FALSE);
            disabled.push_back(other);
        }
    }
    return disabled;
}

void EnableWindows(std::vector<HWND>& windows) {
    for (HWND window : windows) {
        if (IsWindow(window)) {
            EnableWindow(window, TRUE);
        }
    }
    windows.clear();
}

// While an event procedure waits for another program, the program's windows take no input, as under a modal box:
// they go on painting and answering the system and screen readers, and no event procedure starts inside the one
// that waits. A loop that left input out would only queue the clicks for after the wait.
class InputPause {
public:
    InputPause() : active_(GetActiveWindow()), disabled_(DisableWindows(nullptr)) {}
    ~InputPause() {
        EnableWindows(disabled_);
        if (active_ != nullptr && IsWindow(active_)) {
            SetActiveWindow(active_);
        }
    }
    InputPause(const InputPause&) = delete;
    InputPause& operator=(const InputPause&) = delete;

    HWND Active() const { return active_; }

private:
    HWND active_;
    std::vector<HWND> disabled_;
};

} // namespace

Win32Runtime::Win32Runtime(HINSTANCE resources, EndAction endAction)
    : endAction_(std::move(endAction)), resources_(resources) {}

ScreenTwips Win32Runtime::ScreenSize() {
    // The primary screen, where the windows open, at its own scale.
    const PixelScale screen = SystemScale();
    return {screen.ToTwips(GetSystemMetrics(SM_CXSCREEN)), screen.ToTwips(GetSystemMetrics(SM_CYSCREEN))};
}

void Win32Runtime::SetBusyCursor(bool on) {
    busy_ = on;
    POINT point{};
    GetCursorPos(&point);
    HWND under = WindowFromPoint(point);
    if (on || under == nullptr || GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId()) {
        SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
        return;
    }
    // The window under the pointer chooses its pointer again now, not only at the next movement.
    const LPARAM position = MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
    const auto hit = static_cast<WORD>(SendMessageW(under, WM_NCHITTEST, 0, position));
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(hit, WM_MOUSEMOVE));
}

void Win32Runtime::LoadForm(Form& form) {
    FormWindow& window = windows_.Ensure(form, *this);
    if (window.Handle() != nullptr) {
        return;
    }
    window.Create();
    // Not dispatched: an error of a Load without a handler of its own belongs to whoever loaded the form.
    if (form.Load) {
        EventProcedure load = form.Load;
        load();
    }
    window.Sync();
}

void Win32Runtime::ShowWindowModal(Form& form) {
    LoadForm(form);
    FormWindow& window = *windows_.Find(form);
    if (window.Handle() == nullptr) {
        return;
    }
    window.Sync();

    // The modal window's own events run while the procedure that opened it waits for it to close.
    Modal modal{&window, {}, std::exchange(running_, false), std::exchange(waiting_, {})};
    modal.disabled = DisableWindows(window.Handle());
    modals_.push_back(std::move(modal));
    window.Show(SW_SHOW);
    window.Sync();
    window.FocusFirstTabStop();

    pump_.Run([&] { return window.Handle() == nullptr || ended_; });
    EnableWindows(modals_.back().disabled);
    running_ = modals_.back().outerRunning;
    waiting_ = std::move(modals_.back().outerWaiting);
    modals_.pop_back();
    if (ended_) {
        throw ProgramEnded{};
    }
}

// The windows are paused before the shell is asked: it may run messages while the consent prompt is up.
int Win32Runtime::RunElevated(const std::string& programPath, const std::string& arguments) {
    const InputPause pause;
    const KernelHandle process = system_.StartElevated(programPath, arguments, pause.Active());
    pump_.Run([&] { return ended_ || WaitForSingleObject(process.Get(), 0) != WAIT_TIMEOUT; }, std::nullopt,
              process.Get());
    DWORD code = 0;
    if (!GetExitCodeProcess(process.Get(), &code)) {
        ThrowLastError();
    }
    return static_cast<int>(code);
}

void Win32Runtime::EndProgram() {
    ended_ = true;
    windows_.DestroyAll();
    for (HWND other : ThreadWindows()) {
        if (IsWindow(other)) {
            DestroyWindow(other);
        }
    }
    endAction_(0);
    throw ProgramEnded{};
}

int Win32Runtime::Run(Form& startup) {
    mainForm_ = &startup;
    try {
        // Dispatched like any event: the Load may itself show a modal window before this one is ever seen.
        Dispatch([&] { LoadForm(startup); });
        FormWindow& window = *windows_.Find(startup);
        if (window.Handle() != nullptr) {
            window.Show(SW_SHOWNORMAL);
            UpdateWindow(window.Handle());
            window.Sync();
            if (window.HasTabStops()) {
                window.FocusFirstTabStop();
            }
        }
    } catch (const ProgramEnded&) {
        return 0;
    }
    const std::optional<int> quit = pump_.Run([this] { return ended_; });
    return ended_ ? 0 : quit.value_or(0);
}

// One event procedure at a time, as the forms were designed for. A procedure that waits in a message loop of
// its own (ActivateWindow's wait for the focus) lets input reach our windows; the procedures that input raises
// run after it, in the order they came, as input queued for a busy program would.
void Win32Runtime::Dispatch(const EventProcedure& procedure) {
    if (running_) {
        waiting_.push_back(procedure);
        return;
    }
    RunProcedure(procedure);
    while (!waiting_.empty() && !ended_) {
        const EventProcedure next = std::move(waiting_.front());
        waiting_.pop_front();
        RunProcedure(next);
    }
}

void Win32Runtime::RunProcedure(const EventProcedure& procedure) {
    try {
        running_ = true;
        if (procedure) {
            procedure();
        }
        running_ = false;
        windows_.SyncAll();
    } catch (...) {
        running_ = false;
        ReportAndEnd(std::current_exception());
    }
}

void Win32Runtime::ReportAndEnd(std::exception_ptr error) {
    ShowErrorReport(ErrorOf(error));
    EndProgram();
}

void Win32Runtime::HandleStrayException() noexcept {
    try {
        ReportAndEnd(std::current_exception());
    } catch (...) {
        // Only ProgramEnded arrives here, once the program has ended in a test.
    }
}

void Win32Runtime::CloseRequested(FormWindow& window) {
    for (Modal& modal : modals_) {
        if (modal.window == &window) {
            // Before the window goes, so that activation returns to our own windows rather than another program.
            EnableWindows(modal.disabled);
        }
    }
    window.Destroy();
}

void Win32Runtime::Destroyed(FormWindow& window) {
    if (&window.Model() == mainForm_) {
        PostQuitMessage(0);
    }
}

// The form windows with tab stops take the keys of a dialog.
bool Win32Runtime::TakesDialogKeys(HWND window) const {
    const FormWindow* formWindow = windows_.Find(window);
    return formWindow != nullptr && formWindow->HasTabStops();
}

} // namespace tovira::win32
