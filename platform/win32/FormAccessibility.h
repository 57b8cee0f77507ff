#pragma once

#include "platform/Form.h"
#include "platform/win32/Geometry.h"
#include "platform/win32/Handles.h"

#include <windows.h>

#include <oleacc.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovira::win32 {

// What screen readers find in one form window: its painted controls as an Active Accessibility tree for the client
// area, and names for the child windows that show no text of their own. oleacc is loaded from the system folder
// only when a reader first asks.
class FormAccessibility {
public:
    // `click` runs a control's click procedure as a click of the mouse does.
    FormAccessibility(const Form& form, std::function<void(const Control&)> click);
    ~FormAccessibility();
    FormAccessibility(const FormAccessibility&) = delete;
    FormAccessibility& operator=(const FormAccessibility&) = delete;

    // The messages the tree answers or posts to itself; nothing for every other message. Places are given at the
    // window's scale, as it paints.
    std::optional<LRESULT> HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         const PixelScale& scale);
    // After every event: readers hear of names that changed, and child windows carry their current names.
    void Sync(HWND window, const PixelScale& scale, const std::function<HWND(const Control&)>& childWindow);

private:
    friend class AccessibleClient;

    void Disconnect();
    void NameChildWindows(HWND window, const std::function<HWND(const Control&)>& childWindow);
    void AnnounceChanges(HWND window);

    struct NamedWindow {
        HWND window = nullptr;
        // A hidden static just before the window in z-order: where Windows looks for the name of a list box.
        HWND label = nullptr;
        std::wstring name;
    };

    const Form& form_;
    // The window's scale as last handed over: a reader asks for places between our calls.
    PixelScale scale_;
    std::function<void(const Control&)> click_;
    // Ours, made at the first request: an AccessibleClient.
    ComPtr<IAccessible> client_;
    std::vector<NamedWindow> named_;
    // What readers were last told: each seen item's control and name, once the window has been synchronised.
    std::optional<std::vector<std::pair<const Control*, std::string>>> announced_;
};

} // namespace tovira::win32
