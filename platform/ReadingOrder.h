#pragma once

#include "platform/Controls.h"

#include <string>
#include <utility>
#include <vector>

namespace tovira {

enum class AccessibleRole { Link, StaticText, Graphic };

// What a screen reader is told about a control that Windows cannot describe by itself: one the form paints, or a
// child window that shows no text of its own.
struct AccessibleItem {
    AccessibleItem(const Control& item, AccessibleRole itemRole, std::string itemName = {},
                   std::string itemDescription = {}, std::string itemValue = {})
        : control(&item), role(itemRole), name(std::move(itemName)), description(std::move(itemDescription)),
          value(std::move(itemValue)) {}

    const Control* control = nullptr;
    AccessibleRole role = AccessibleRole::StaticText;
    // Empty: the control's caption as it stands, so that a status line's name follows its text.
    std::string name;
    std::string description;
    std::string value;
};

// Spoken for every control with a click procedure: its default action does what a click does.
inline constexpr const char* kClickActionName = "Clicar";

// Forms list their reading order (Form.h): what follows reads it.
class Form;

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
