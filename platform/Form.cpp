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

namespace {

// Position of a control in the form's client area, following its containers.
void ClientOrigin(const Control& control, double& x, double& y) {
    x = control.left;
    y = control.top;
    for (const Control* outer = control.container; outer != nullptr; outer = outer->container) {
        x += outer->left;
        y += outer->top;
    }
}

bool Takes(const Control& control, double x, double y) {
    if (!control.visible || !control.TakesMouse()) {
        return false;
    }
    for (const Control* outer = control.container; outer != nullptr; outer = outer->container) {
        if (!outer->visible) {
            return false;
        }
    }
    double originX = 0;
    double originY = 0;
    ClientOrigin(control, originX, originY);
    return x >= originX && x < originX + control.width && y >= originY && y < originY + control.height;
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
