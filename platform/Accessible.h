#pragma once

#include "platform/Form.h"

#include <string>
#include <vector>

namespace tovira {

// Whether a sighted user sees the control: it and its containers are visible, and no child window covers all of it
// (child windows lie over every painted control).
bool IsSeen(const Form& form, const Control& control);

// The form's reading order as a sighted user sees the window now, names filled in: controls that are hidden, or
// painted under a child window that covers them entirely, are left out.
std::vector<AccessibleItem> SeenAccessibleItems(const Form& form);

// What a screen reader calls a control: the name its form gives it, else its label's or frame's caption. A list box
// has no caption: it takes its frame's. Buttons are left to Windows, which reads their own text.
std::string AccessibleName(const Form& form, const Control& control);

} // namespace tovira
