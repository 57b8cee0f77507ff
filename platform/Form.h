#pragma once

#include "platform/Controls.h"
#include "platform/ReadingOrder.h"

#include <optional>
#include <string>
#include <vector>

namespace tovira {

enum class BorderStyle { FixedSingle, FixedDialog };

// A window as plain data: its settings, its controls in stacking order and its event slots.
class Form {
public:
    explicit Form(std::string formName) : name(std::move(formName)) {}
    virtual ~Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string name;
    std::string caption;
    double clientWidth = 0;
    double clientHeight = 0;
    BorderStyle borderStyle = BorderStyle::FixedSingle;
    bool minButton = true;
    std::optional<Color> backColor; // empty: the system's window colour
    StockPicture picture = StockPicture::None;
    StockPicture icon = StockPicture::None;

    // Outer geometry (frame and title bar included), in twips as floating point. The platform fills
    // width and height when it creates the window; left and top are where the window goes when shown.
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    // Where the form's definition puts the client area's top-left corner on the screen, if it does: the platform
    // then sets left and top when it creates the window, so that the client area stands there.
    std::optional<TwipsPoint> clientOrigin;

    EventProcedure Load;
    EventProcedure MouseMove;

    // What a screen reader finds in the window, in the order it reads them (ReadingOrder.h).
    std::vector<AccessibleItem> readingOrder;

    // Topmost first. Windowed controls lie over every painted one, whatever their place here.
    const std::vector<Control*>& Controls() const { return controls_; }

    // The control that takes a mouse event at a point of the client area (twips), or nullptr for the
    // form's own surface.
    Control* HitTest(double x, double y) const;

    // Raises the mouse-movement event where the pointer is: on the control under it, or on the form's own
    // surface. A control that takes the mouse but handles no movement swallows the event.
    void MouseMoveAt(double x, double y);

protected:
    // Called by the derived form's constructor, topmost control first.
    void SetStackingOrder(std::vector<Control*> topmostFirst) { controls_ = std::move(topmostFirst); }

private:
    std::vector<Control*> controls_;
};

} // namespace tovira
