#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <utility>

namespace tovira::win32 {

// The program's one message loop. It runs for the main window's life, for each modal window and while an action
// waits for the focus.
class MessagePump {
public:
    // Says whether a top-level window takes the keys of a dialog (Tab, Enter, access keys).
    using DialogTest = std::function<bool(HWND window)>;

    explicit MessagePump(DialogTest isDialog = {}) : isDialog_(std::move(isDialog)) {}

    // Runs the thread's messages until `finished` says so, the deadline (GetTickCount64) passes or a quit request
    // comes, and returns the quit request's exit code if one came. The request stays posted for the loops outside
    // this one. With a deadline, `finished` is asked at least every 50 ms, also while no message comes; with an
    // object to wait for (a process), also as soon as that is signalled.
    std::optional<int> Run(const std::function<bool()>& finished, std::optional<ULONGLONG> deadline = std::nullopt,
                           HANDLE object = nullptr);

private:
    void Process(MSG& message);

    DialogTest isDialog_;
};

} // namespace tovira::win32
