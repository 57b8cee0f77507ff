#pragma once

#include "platform/Controls.h"

#include <string>
#include <utility>

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

} // namespace tovira
