#pragma once

#include "platform/PictureHandle.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovira {

struct TwipsPoint {
    double x = 0;
    double y = 0;
};

struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Color&, const Color&) = default;
};

inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kWhite{255, 255, 255};
inline constexpr Color kSilver{192, 192, 192};

// An empty name is the form's default font, which the platform chooses.
struct Font {
    std::string name;
    double size = 0;
    bool bold = false;
    friend bool operator==(const Font&, const Font&) = default;
};

enum class ControlKind { Label, Image, PictureBox, Shape, Line, ListBox, CommandButton, Frame };
enum class MousePointer { Default, Hand };
enum class Alignment { Left, Center };

using EventProcedure = std::function<void()>;

// Plain data with the design-time properties; geometry in twips relative to the container's client area.
struct Control {
    Control(std::string controlName, ControlKind controlKind) : name(std::move(controlName)), kind(controlKind) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string name;
    const ControlKind kind;
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool visible = true;
    MousePointer mousePointer = MousePointer::Default;
    std::string toolTipText;
    // Frames hold controls; their positions are then measured from the frame's top-left corner.
    const Control* container = nullptr;
    // Place in the form's focus order, -1 for none; only the kinds that take the focus are ever focused.
    int tabIndex = -1;

    EventProcedure Click;
    // The second press of a double-click raises this instead of another Click.
    EventProcedure DblClick;
    EventProcedure MouseMove;

    void Move(double newLeft, double newTop, double newWidth, double newHeight) {
        left = newLeft;
        top = newTop;
        width = newWidth;
        height = newHeight;
    }

    // Controls that Windows draws itself live in child windows; the rest are painted by the form.
    bool IsWindowed() const;
    // Shapes and lines let the mouse through to whatever lies beneath them.
    bool TakesMouse() const { return kind != ControlKind::Shape && kind != ControlKind::Line; }
};

struct Label : Control {
    explicit Label(std::string controlName) : Control(std::move(controlName), ControlKind::Label) {}
    std::string caption;
    Font font;
    Color foreColor = kBlack;
    std::optional<Color> backColor; // empty: transparent background
    Alignment alignment = Alignment::Left;
    bool wordWrap = false;
    bool autoSize = false;
    bool borderSingle = false;
    // Labels of dialog-like forms are static child windows, so that screen readers can read them.
    bool windowed = false;
};

struct Image : Control {
    explicit Image(std::string controlName) : Control(std::move(controlName), ControlKind::Image) {}
    StockPicture picture = StockPicture::None;
};

struct PictureBox : Control {
    explicit PictureBox(std::string controlName) : Control(std::move(controlName), ControlKind::PictureBox) {}
    Color backColor = kSilver;
    PicturePtr picture;
};

struct Shape : Control {
    explicit Shape(std::string controlName) : Control(std::move(controlName), ControlKind::Shape) {}
    Color borderColor = kWhite;
    int borderWidthPixels = 1;
};

struct Line : Control {
    explicit Line(std::string controlName) : Control(std::move(controlName), ControlKind::Line) {}
    Color borderColor = kWhite;
    int borderWidthPixels = 1;
    // A line's geometry is its two end points.
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
    void SetEnds(double fromX, double fromY, double toX, double toY);
};

struct ListBox : Control {
    explicit ListBox(std::string controlName) : Control(std::move(controlName), ControlKind::ListBox) {}
    std::vector<std::string> items;
    int listIndex = -1; // selected entry, -1 for none
    void AddItem(const std::string& item) { items.push_back(item); }
};

struct CommandButton : Control {
    explicit CommandButton(std::string controlName) : Control(std::move(controlName), ControlKind::CommandButton) {}
    std::string caption; // '&' marks the access key
};

struct Frame : Control {
    explicit Frame(std::string controlName) : Control(std::move(controlName), ControlKind::Frame) {}
    std::string caption;
    Font font;
};

// Where the control's container puts the point it measures positions from, in the form's client area (twips): the
// sum of the positions of every container around the control.
TwipsPoint ContainerOrigin(const Control& control);
// Visible itself and inside visible containers.
bool IsShown(const Control& control);

} // namespace tovira
