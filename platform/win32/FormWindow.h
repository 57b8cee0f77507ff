#pragma once

#include "platform/Form.h"
#include "platform/win32/ChildWindows.h"
#include "platform/win32/Fonts.h"
#include "platform/win32/FormAccessibility.h"
#include "platform/win32/Geometry.h"
#include "platform/win32/Paint.h"
#include "platform/win32/StockResources.h"
#include "platform/win32/Tooltips.h"

#include <windows.h>

#include <array>
#include <map>
#include <optional>
#include <string>

namespace tovira::win32 {

// The window class of every form window.
inline constexpr wchar_t kFormClass[] = L"ToviraForm";

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

// The window of one form: built from the model, painting the model's painted controls, hosting child windows for
// the rest, and turning mouse and control notifications into the model's event procedures.
class FormWindow {
public:
    FormWindow(FormHost& host, Form& form);
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Creates the window hidden with its child windows and writes its outer size into the model.
    void Create();
    void Destroy();
    void Show(int command);
    HWND Handle() const { return window_; }
    Form& Model() const { return form_; }

    // Brings the window in line with the model; invalidates the painted surface only where it changed.
    void Sync();
    void FocusFirstTabStop();
    bool HasTabStops() const { return children_.HasTabStops(); }
    HWND ChildWindow(const Control& control) const { return children_.WindowOf(control); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PictureBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    template <typename Handler> LRESULT AtTheEdge(Handler handler);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandlePictureBoxMessage(ChildWindows::Child& child, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleCommand(WPARAM wParam, LPARAM lParam);
    bool HandleActivate(WPARAM wParam);
    void HandleMouse(UINT message, LPARAM lParam);
    void Forget();

    RECT OuterRect() const;
    RECT FitClient();
    void SyncIcons();
    void PreparePictures();
    void FollowScale(const PixelScale& scale, const RECT& suggested);
    void MeasureAutoSizeLabels();
    void SyncCaption();
    void SyncPainted();
    void PlaceWindow();
    void PaintClient(HDC dc, bool toWindow);
    HCURSOR CursorAt(HWND over) const;

    // A click is a press and a release over the same control; the window pressed on keeps the mouse until then.
    void Press(const Control* control, HWND window);
    const Control* Release(HWND window);
    void DoubleClick(const Control* target);
    void Raise(const EventProcedure& procedure);

    FormHost& host_;
    Form& form_;
    PixelScale scale_;
    HWND window_ = nullptr;
    ChildWindows children_;
    Tooltips tooltips_;
    FormAccessibility accessibility_;
    PaintedState painted_;
    bool paintAtOnce_ = false; // while a movement's procedure runs: what it changed is painted, not invalidated
    HeldPictures pictures_;    // before the buffers that draw from it
    PaintBuffer buffer_{pictures_};
    // The last two measurements of each auto-sized label, so that a movement event measures nothing: measuring
    // takes the screen's DC and selects a font, each a round trip under Wine.
    struct Measured {
        std::string caption;
        Font font;
        SIZE size{};
    };
    std::map<const Label*, std::array<Measured, 2>> measured_;
    std::wstring caption_;
    POINT placed_{};
    std::optional<PixelScale> smallIconScale_;
    std::optional<PixelScale> largeIconScale_;
    const Control* pressed_ = nullptr;
    HWND lastFocus_ = nullptr;
};

} // namespace tovira::win32
