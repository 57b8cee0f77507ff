#pragma once

#include <memory>

// How the forms hold the pictures that the platform owns: one loaded at run time, or one built into the executable.
namespace tovira {

// A picture loaded at run time. The platform owns the pixels; the forms only hold on to it and ask its size.
class Picture {
public:
    virtual ~Picture() = default;
    virtual int WidthPixels() const = 0;
    virtual int HeightPixels() const = 0;
};

using PicturePtr = std::shared_ptr<const Picture>;

// Pictures built into the executable, named by the forms and resolved by the platform.
enum class StockPicture { None, MenuPanel, DarkLamp, LitLamp, ProgramIcon };

} // namespace tovira
