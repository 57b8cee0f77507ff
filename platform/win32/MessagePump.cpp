#include "platform/win32/MessagePump.h"

#include <algorithm>

namespace tovira::win32 {

namespace {

constexpr ULONGLONG kLongestIdleMilliseconds = 50;

} // namespace

std::optional<int> MessagePump::Run(const std::function<bool()>& finished, std::optional<ULONGLONG> deadline) {
    MSG message{};
    while (!finished()) {
        if (!deadline) {
            if (GetMessageW(&message, nullptr, 0, 0) == -1) {
                return std::nullopt;
            }
        } else {
            const ULONGLONG now = GetTickCount64();
            if (now >= *deadline) {
                return std::nullopt;
            }
            if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                const auto idle = static_cast<DWORD>(std::min(*deadline - now, kLongestIdleMilliseconds));
                MsgWaitForMultipleObjects(0, nullptr, FALSE, idle, QS_ALLINPUT);
                continue;
            }
        }
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return static_cast<int>(message.wParam);
        }
        Process(message);
    }
    return std::nullopt;
}

void MessagePump::Process(MSG& message) {
    HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && isDialog_ && isDialog_(root) && IsDialogMessageW(root, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

} // namespace tovira::win32
