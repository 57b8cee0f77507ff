#pragma once

#include "platform/Form.h"
#include "platform/win32/Paint.h"

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tovira::win32 {

class FormWindow;

// What a form window needs from the runtime that owns it.
class FormHost {
public:
    // Runs an event procedure, brings every window in line with its model and reports what escapes.
    virtual void Dispatch(const EventProcedure& procedure) = 0;
    // For an exception that reached a window procedure's edge outside any event procedure.
    virtual void HandleStrayException() noexcept = 0;
    virtual bool BusyCursorOn() const = 0;
    virtual void CloseRequested(FormWindow& window) = 0;
    virtual void Destroyed(FormWindow& window) = 0;
    virtual FontCache& Fonts() = 0;
    virtual StockResources& Resources() = 0;

protected:
    ~FormHost() = default;
};

// The window of one form: built from the model, painting the model's painted controls, hosting child windows
// for the rest, and turning mouse and control notifications into the model's event procedures.
class FormWindow {
public:
    FormWindow(FormHost& host, Form& form);
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Registers the window classes; once per process, before the first Create.
    static void RegisterClasses(HINSTANCE instance);

    // Creates the window hidden with its child windows and writes its outer size into the model.
    void Create();
    void Destroy();
    HWND Handle() const { return window_; }
    Form& Model() const { return form_; }

    // Brings the window in line with the model; invalidates the painted surface only where it changed.
    void Sync();
    void PlaceWindow();
    void FocusFirstTabStop();
    bool HasTabStops() const;
    HWND ChildWindow(const Control& control) const;
    HCURSOR CursorAt(HWND over) const;

private:
    struct Child {
        Control* control = nullptr;
        HWND window = nullptr;
        RECT box{};
        bool shown = false;
        std::wstring text;
        HFONT font = nullptr;
        std::vector<std::string> items;
        PicturePtr picture;
        Color foreColor;
        std::optional<Color> backColor;
    };
    struct Tip {
        Control* control = nullptr;
        UINT id = 0;
        RECT box{};
        std::wstring text;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR owner);
    static LRESULT CALLBACK PictureBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandlePictureBoxMessage(Child& child, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleCommand(WPARAM wParam, LPARAM lParam);
    LRESULT HandleControlColor(HDC dc, HWND child);

    void CreateChildren();
    void CreateTooltips();
    void MeasureAutoSizeLabels();
    void SyncChild(Child& child);
    void SyncTooltips();
    void PaintClient(HDC dc);
    void PaintPictureBox(const Child& child, HDC dc);
    void MouseMove(int x, int y);
    void MouseDown(int x, int y);
    void MouseUp(int x, int y);
    void DoubleClick(const Control* target);
    Child* FindChild(HWND window);
    HBRUSH BackgroundBrush();

    FormHost& host_;
    Form& form_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    std::vector<Child> children_;
    std::vector<Tip> tips_;
    PaintedState painted_;
    // Last measurement of each auto-sized label, so that a movement event that changes nothing measures nothing.
    struct Measured {
        std::string caption;
        Font font;
        SIZE size{};
    };
    std::map<const Label*, Measured> measured_;
    std::wstring caption_;
    POINT placed_{};
    Brush backBrush_;
    std::vector<std::pair<Color, Brush>> labelBrushes_;
    const Control* pressed_ = nullptr;
    HWND lastFocus_ = nullptr;
};

} // namespace tovira::win32
