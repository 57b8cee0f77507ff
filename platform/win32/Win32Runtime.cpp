#include "platform/win32/Win32Runtime.h"

#include "platform/RuntimeError.h"
#include "platform/win32/Wide.h"

#include <new>
#include <string>
#include <utility>

namespace tovira::win32 {

namespace {

constexpr wchar_t kApplicationTitle[] = L"Tovira";

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

} // namespace

Win32Runtime::Win32Runtime(HINSTANCE resources, EndAction endAction)
    : endAction_(std::move(endAction)), resources_(resources) {}

Win32Runtime::~Win32Runtime() {
    // The windows go before the fonts and pictures they paint with.
    windows_.clear();
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
    auto& window = windows_[&form];
    if (!window) {
        window = std::make_unique<FormWindow>(static_cast<FormHost&>(*this), form);
    }
    if (window->Handle() != nullptr) {
        return;
    }
    window->Create();
    // Not dispatched: an error of a Load without a handler of its own belongs to whoever loaded the form.
    if (form.Load) {
        EventProcedure load = form.Load;
        load();
    }
    window->Sync();
}

void Win32Runtime::ShowWindowModal(Form& form) {
    LoadForm(form);
    FormWindow& window = *windows_.at(&form);
    HWND handle = window.Handle();
    if (handle == nullptr) {
        return;
    }
    window.Sync();

    // The modal window's own events run while the procedure that opened it waits for it to close.
    Modal modal{&window, {}, std::exchange(running_, false), std::exchange(waiting_, {})};
    for (HWND other : ThreadWindows()) {
        if (other != handle && GetWindow(other, GW_OWNER) != handle && IsWindowEnabled(other)) {
            EnableWindow(other, FALSE);
            modal.disabled.push_back(other);
        }
    }
    modals_.push_back(std::move(modal));
    ShowWindow(handle, SW_SHOW);
    window.Sync();
    window.FocusFirstTabStop();

    MSG message{};
    while (window.Handle() != nullptr && !ended_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // The outer loop must see the quit request too.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1) {
            break;
        }
        ProcessMessage(message);
    }
    EnableAgain(modals_.back());
    running_ = modals_.back().outerRunning;
    waiting_ = std::move(modals_.back().outerWaiting);
    modals_.pop_back();
    if (ended_) {
        throw ProgramEnded{};
    }
}

void Win32Runtime::EndProgram() {
    ended_ = true;
    for (auto& [form, window] : windows_) {
        window->Destroy();
    }
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
        FormWindow* window = windows_.at(&startup).get();
        if (window->Handle() != nullptr) {
            ShowWindow(window->Handle(), SW_SHOWNORMAL);
            UpdateWindow(window->Handle());
            window->Sync();
            if (window->HasTabStops()) {
                window->FocusFirstTabStop();
            }
        }
    } catch (const ProgramEnded&) {
        return 0;
    }
    MSG message{};
    while (!ended_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        ProcessMessage(message);
    }
    return ended_ ? 0 : static_cast<int>(message.wParam);
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
        SyncAll();
    } catch (...) {
        running_ = false;
        ReportAndEnd(std::current_exception());
    }
}

void Win32Runtime::ReportAndEnd(std::exception_ptr error) {
    int number = kErrInvalidCall;
    std::string description;
    try {
        std::rethrow_exception(error);
    } catch (const ProgramEnded&) {
        throw;
    } catch (const RuntimeError& runtimeError) {
        number = runtimeError.Number();
        description = runtimeError.Description();
    } catch (const std::bad_alloc&) {
        number = kErrOutOfMemory;
        description = DescriptionOf(number);
    } catch (...) {
        // Any other exception is a fault inside the program itself, not in what the user gave it; the closest
        // classic report is the invalid procedure call.
        number = kErrInvalidCall;
        description = DescriptionOf(number);
    }
    const std::wstring text =
        Widen("Erro em tempo de execução '" + std::to_string(number) + "':") + L"\r\n\r\n" + DisplayText(description);
    MessageBoxW(nullptr, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR | MB_TASKMODAL);
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
            EnableAgain(modal);
        }
    }
    window.Destroy();
}

void Win32Runtime::Destroyed(FormWindow& window) {
    if (&window.Model() == mainForm_) {
        PostQuitMessage(0);
    }
}

void Win32Runtime::SyncAll() {
    for (auto& [form, window] : windows_) {
        window->Sync();
    }
}

void Win32Runtime::ProcessMessage(MSG& message) {
    HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    FormWindow* window = WindowFor(root);
    if (window != nullptr && window->HasTabStops() && IsDialogMessageW(root, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void Win32Runtime::EnableAgain(Modal& modal) {
    for (HWND other : modal.disabled) {
        if (IsWindow(other)) {
            EnableWindow(other, TRUE);
        }
    }
    modal.disabled.clear();
}

FormWindow* Win32Runtime::WindowFor(HWND window) const {
    if (window == nullptr) {
        return nullptr;
    }
    for (const auto& [form, formWindow] : windows_) {
        if (formWindow->Handle() == window) {
            return formWindow.get();
        }
    }
    return nullptr;
}

HWND Win32Runtime::WindowOf(const Form& form) const {
    auto found = windows_.find(&form);
    return found == windows_.end() ? nullptr : found->second->Handle();
}

HWND Win32Runtime::ChildWindowOf(const Form& form, const Control& control) const {
    auto found = windows_.find(&form);
    return found == windows_.end() ? nullptr : found->second->ChildWindow(control);
}

} // namespace tovira::win32
