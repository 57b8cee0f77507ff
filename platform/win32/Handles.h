#pragma once

#include <windows.h>

#include <unknwn.h>

#include <utility>

namespace tovira::win32 {

// Owns one handle and gives it back to Windows with itself. Move-only: every handle has exactly one owner. The
// traits name the handle's type, the value that stands for none and the call that gives it back.
template <typename Traits> class Owner {
public:
    using Handle = typename Traits::Handle;

    Owner() = default;
    explicit Owner(Handle handle) : handle_(handle) {}
    ~Owner() { Reset(); }
    Owner(Owner&& other) noexcept : handle_(other.Release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::None(); }
    void Reset(Handle handle = Traits::None()) {
        if (handle_ != Traits::None()) {
            Traits::Close(handle_);
        }
        handle_ = handle;
    }
    // Hands the handle over to whoever keeps it from now on.
    [[nodiscard]] Handle Release() { return std::exchange(handle_, Traits::None()); }
    // For the calls that return a new handle through a pointer.
    Handle* Put() {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::None();
};

// Handles for which null stands for none, given back by one call.
template <typename HandleType, auto close> struct HandleTraits {
    using Handle = HandleType;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { close(handle); }
};

// CreateFileW and FindFirstFileExW say "none" with INVALID_HANDLE_VALUE, not with null.
template <auto close> struct InvalidValueTraits : HandleTraits<HANDLE, close> {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
};

template <typename Interface> void ReleaseInterface(Interface* object) {
    object->Release();
}

using Bitmap = Owner<HandleTraits<HBITMAP, &DeleteObject>>;
using FontHandle = Owner<HandleTraits<HFONT, &DeleteObject>>;
using Brush = Owner<HandleTraits<HBRUSH, &DeleteObject>>;
using Pen = Owner<HandleTraits<HPEN, &DeleteObject>>;
using Region = Owner<HandleTraits<HRGN, &DeleteObject>>;
using IconHandle = Owner<HandleTraits<HICON, &DestroyIcon>>;
using MemoryDC = Owner<HandleTraits<HDC, &DeleteDC>>;
using GlobalMemory = Owner<HandleTraits<HGLOBAL, &GlobalFree>>;
using FileHandle = Owner<InvalidValueTraits<&CloseHandle>>;
using FileSearch = Owner<InvalidValueTraits<&FindClose>>;
// Processes and threads.
using KernelHandle = Owner<HandleTraits<HANDLE, &CloseHandle>>;
template <typename Interface> using ComPtr = Owner<HandleTraits<Interface*, &ReleaseInterface<Interface>>>;

// Selects an object into a DC and puts the previous one back on leaving the scope.
class SelectScope {
public:
    SelectScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectScope() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            SelectObject(dc_, previous_);
        }
    }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's (or the screen's, for nullptr) DC, released with itself.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint/EndPaint as a scope.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

} // namespace tovira::win32
