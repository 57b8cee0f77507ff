#pragma once

#include "platform/Form.h"

#include <windows.h>

namespace tovira::win32::testing {

// The windows that the runtime made for a form, found among this thread's windows by the form window that each
// carries: nullptr before the form is loaded and after its window closed.
HWND WindowOf(const Form& form);
HWND ChildWindowOf(const Form& form, const Control& control);

} // namespace tovira::win32::testing
