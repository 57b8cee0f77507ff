#include "platform/win32/MessagePump.h"

#include <algorithm>

namespace tovira::win32 {

namespace {

constexpr ULONGLONG kLongestIdleMilliseconds = 50;

} // namespace

std::optional<int> MessagePump::Run(const std::function<bool()>& finished, std::optional<ULONGLONG> deadline,
                                    HANDLE object) {
    MSG message{};
    while (!finished()) {
        if (!deadline && object == nullptr) {
            if (GetMessageW(&message, nullptr, 0, 0) == -1) {
                return std::nullopt;
            }
        } else {
            const ULONGLONG now = GetTickCount64();
            if (deadline && now >= *deadline) {
                return std::nullopt;
            }
            if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                const DWORD idle =
                    deadline ? static_cast<DWORD>(std::min(*deadline - now, kLongestIdleMilliseconds)) : INFINITE;
                MsgWaitForMultipleObjectsEx(object != nullptr ? 1 : 0, object != nullptr ? &object : nullptr, idle,
                                            QS_ALLINPUT, MWMO_INPUTAVAILABLE);
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
