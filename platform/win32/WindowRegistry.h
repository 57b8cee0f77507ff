#pragma once

#include "platform/Form.h"
#include "platform/win32/FormWindow.h"

#include <windows.h>

#include <map>
#include <memory>

namespace tovira::win32 {

// The program's form windows, one per form, found by form or by window handle.
class WindowRegistry {
public:
    // The form's window object, made on first use; its window is created by FormWindow::Create.
    FormWindow& Ensure(Form& form, FormHost& host);
    FormWindow* Find(const Form& form) const;
    FormWindow* Find(HWND window) const;

    void SyncAll();
    void DestroyAll();
    void Clear() { windows_.clear(); }

private:
    std::map<const Form*, std::unique_ptr<FormWindow>> windows_;
};

} // namespace tovira::win32
