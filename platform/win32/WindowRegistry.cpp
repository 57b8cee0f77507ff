#include "platform/win32/WindowRegistry.h"

namespace tovira::win32 {

FormWindow& WindowRegistry::Ensure(Form& form, FormHost& host) {
    auto& window = windows_[&form];
    if (!window) {
        window = std::make_unique<FormWindow>(host, form);
    }
    return *window;
}

FormWindow* WindowRegistry::Find(const Form& form) const {
    auto found = windows_.find(&form);
    return found == windows_.end() ? nullptr : found->second.get();
}

FormWindow* WindowRegistry::Find(HWND window) const {
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

void WindowRegistry::SyncAll() {
    for (auto& [form, window] : windows_) {
        window->Sync();
    }
}

void WindowRegistry::DestroyAll() {
    for (auto& [form, window] : windows_) {
        window->Destroy();
    }
}

} // namespace tovira::win32
