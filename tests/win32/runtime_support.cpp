#include "runtime_support.h"

#include "platform/win32/FormWindow.h"

#include <string_view>

namespace tovira::win32::testing {

namespace {

struct Search {
    const Form* form;
    const FormWindow* found = nullptr;
};

BOOL CALLBACK FindFormWindow(HWND window, LPARAM lParam) {
    auto& search = *reinterpret_cast<Search*>(lParam);
    wchar_t name[32]{};
    GetClassNameW(window, name, 32);
    // A form window keeps itself in the window's user data from WM_NCCREATE on.
    const auto* candidate = reinterpret_cast<const FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (std::wstring_view(name) == kFormClass && candidate != nullptr && &candidate->Model() == search.form) {
        search.found = candidate;
        return FALSE;
    }
    return TRUE;
}

const FormWindow* FormWindowOf(const Form& form) {
    Search search{&form};
    EnumThreadWindows(GetCurrentThreadId(), FindFormWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

HWND WindowOf(const Form& form) {
    const FormWindow* window = FormWindowOf(form);
    return window == nullptr ? nullptr : window->Handle();
}

HWND ChildWindowOf(const Form& form, const Control& control) {
    const FormWindow* window = FormWindowOf(form);
    return window == nullptr ? nullptr : window->ChildWindow(control);
}

} // namespace tovira::win32::testing
