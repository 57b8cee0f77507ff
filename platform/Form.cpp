#include "platform/Form.h"

#include <algorithm>

namespace tovira {

bool Control::IsWindowed() const {
    switch (kind) {
    case ControlKind::PictureBox:
    case ControlKind::ListBox:
    case ControlKind::CommandButton:
    case ControlKind::Frame:
        return true;
    case ControlKind::Label:
        return static_cast<const Label*>(this)->windowed;
    case ControlKind::Image:
    case ControlKind::Shape:
    case ControlKind::Line:
        return false;
    }
    return false;
}

void Line::SetEnds(double fromX, double fromY, double toX, double toY) {
    x1 = fromX;
    y1 = fromY;
    x2 = toX;
    y2 = toY;
    left = std::min(fromX, toX);
    top = std::min(fromY, toY);
    width = std::max(fromX, toX) - left;
    height = std::max(fromY, toY) - top;
}

TwipsPoint ContainerOrigin(const Control& control) {
    TwipsPoint origin;
    for (const Control* outer = control.container; outer != nullptr; outer = outer->container) {
        origin.x += outer->left;
        origin.y += outer->top;
    }
    return origin;
}

bool IsShown(const Control& control) {
    for (const Control* item = &control; item != nullptr; item = item->container) {
        if (!item->visible) {
            return false;
        }
    }
    return true;
}

namespace {

bool Takes(const Control& control, double x, double y) {
    if (!IsShown(control) || !control.TakesMouse()) {
        return false;
    }
    const TwipsPoint origin = ContainerOrigin(control);
    const double left = origin.x + control.left;
    const double top = origin.y + control.top;
    return x >= left && x < left + control.width && y >= top && y < top + control.height;
}

int Depth(const Control& control) {
    int depth = 0;
    for (const Control* outer = control.container; outer != nullptr; outer = outer->container) {
        ++depth;
    }
    return depth;
}

} // namespace

Control* Form::HitTest(double x, double y) const {
    // Child windows cover the painted controls, so they are asked first, each group topmost first; a
    // control inside a frame lies over the frame.
    for (bool windowed : {true, false}) {
        Control* found = nullptr;
        for (Control* control : controls_) {
            if (control->IsWindowed() == windowed && Takes(*control, x, y) &&
                (found == nullptr || Depth(*control) > Depth(*found))) {
                found = control;
            }
        }
        if (found != nullptr) {
            return found;
        }
    }
    return nullptr;
}

void Form::MouseMoveAt(double x, double y) {
    Control* target = HitTest(x, y);
    const EventProcedure& procedure = target != nullptr ? target->MouseMove : MouseMove;
    if (procedure) {
        procedure();
    }
}

} // namespace tovira
