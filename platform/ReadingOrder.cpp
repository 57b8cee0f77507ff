#include "platform/ReadingOrder.h"

#include "platform/Form.h"

#include <algorithm>

namespace tovira {

namespace {

struct TwipsBox {
    double left, top, right, bottom;
};

TwipsBox ClientBox(const Control& control) {
    const TwipsPoint origin = ContainerOrigin(control);
    const double left = origin.x + control.left;
    const double top = origin.y + control.top;
    return {left, top, left + control.width, top + control.height};
}

} // namespace

bool IsSeen(const Form& form, const Control& control) {
    if (!IsShown(control)) {
        return false;
    }
    if (control.IsWindowed()) {
        return true;
    }
    const TwipsBox box = ClientBox(control);
    const auto& controls = form.Controls();
    return std::none_of(controls.begin(), controls.end(), [&](const Control* cover) {
        const TwipsBox over = ClientBox(*cover);
        return cover->IsWindowed() && IsShown(*cover) && box.left >= over.left && box.top >= over.top &&
               box.right <= over.right && box.bottom <= over.bottom;
    });
}

std::vector<AccessibleItem> SeenAccessibleItems(const Form& form) {
    std::vector<AccessibleItem> seen;
    for (const AccessibleItem& item : form.readingOrder) {
        if (IsSeen(form, *item.control)) {
            seen.push_back(item);
            seen.back().name = AccessibleName(form, *item.control);
        }
    }
    return seen;
}

std::string AccessibleName(const Form& form, const Control& control) {
    for (const AccessibleItem& item : form.readingOrder) {
        if (item.control == &control && !item.name.empty()) {
            return item.name;
        }
    }
    switch (control.kind) {
    case ControlKind::Label:
        return static_cast<const Label&>(control).caption;
    case ControlKind::Frame:
        return static_cast<const Frame&>(control).caption;
    case ControlKind::ListBox:
        return control.container != nullptr ? AccessibleName(form, *control.container) : std::string();
    case ControlKind::CommandButton:
    case ControlKind::Image:
    case ControlKind::PictureBox:
    case ControlKind::Shape:
    case ControlKind::Line:
        return {};
    }
    return {};
}

} // namespace tovira
