#include "platform/win32/Pictures.h"

#include "platform/RuntimeError.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/Errors.h"
#include "platform/win32/PictureBytes.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32Picture.h"

#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace tovira::win32 {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

struct BitmapDeleter {
    void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using BitmapOwner = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};

struct MemoryDc {
    MemoryDc() : dc(CreateCompatibleDC(nullptr)) {}
    ~MemoryDc() {
        if (dc != nullptr) {
            DeleteDC(dc);
        }
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC dc;
};

struct SelectedObject {
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

[[noreturn]] void ThrowInvalidPicture() {
    throw RuntimeError(kErrInvalidPicture);
}

// The file's bytes, stored two bytes in so that the info header after the 14-byte file header lies on the
// 4-byte boundary that GDI expects of a BITMAPINFO.
class FileBytes {
public:
    static constexpr std::size_t kShift = 2;

    explicit FileBytes(std::size_t size) : words_((size + kShift + 3) / 4), size_(size) {}

    unsigned char* Data() { return reinterpret_cast<unsigned char*>(words_.data()) + kShift; }
    const unsigned char* Data() const { return reinterpret_cast<const unsigned char*>(words_.data()) + kShift; }
    std::size_t Size() const { return size_; }
    std::span<const unsigned char> Span() const { return {Data(), size_}; }

private:
    std::vector<std::uint32_t> words_;
    std::size_t size_;
};

FileBytes ReadPictureFile(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        ThrowLastError();
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        ThrowLastError();
    }
    if (size.QuadPart <= 0 || static_cast<std::uint64_t>(size.QuadPart) > kMaxPictureFileBytes) {
        ThrowInvalidPicture();
    }
    FileBytes bytes(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.Size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.Data() + done, static_cast<DWORD>(bytes.Size() - done), &read, nullptr)) {
            ThrowLastError();
        }
        if (read == 0) {
            ThrowInvalidPicture(); // the file shrank while we read it
        }
        done += read;
    }
    return bytes;
}

// A 32-bit top-down section: the same pixel layout whatever the source was.
BitmapOwner CreateSection(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    BitmapOwner section(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!section) {
        throw RuntimeError(kErrOutOfMemory);
    }
    return section;
}

PicturePtr DecodeBitmap(const FileBytes& bytes, const PictureCheck& check) {
    BitmapOwner section = CreateSection(check.width, check.height);
    MemoryDc memory;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(bytes.Data() + 14);
    const int lines = SetDIBits(memory.dc, section.get(), 0, static_cast<UINT>(check.height),
                                bytes.Data() + check.bitsOffset, info, DIB_RGB_COLORS);
    if (lines <= 0) {
        ThrowInvalidPicture();
    }
    return std::make_shared<Win32Picture>(section.release());
}

int HimetricToPixels(OLE_XSIZE_HIMETRIC himetric, int pixelsPerInch) {
    return MulDiv(himetric, pixelsPerInch, 2540);
}

// Formats that Windows reads by itself; icons and metafiles are drawn into a bitmap of their natural size.
PicturePtr DecodeWithOle(const FileBytes& bytes) {
    EnsureComApartment();
    HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, bytes.Size());
    if (global == nullptr) {
        throw RuntimeError(kErrOutOfMemory);
    }
    void* target = GlobalLock(global);
    std::memcpy(target, bytes.Data(), bytes.Size());
    GlobalUnlock(global);
    IStream* rawStream = nullptr;
    const HRESULT created = CreateStreamOnHGlobal(global, TRUE, &rawStream);
    if (FAILED(created)) {
        GlobalFree(global);
        throw RuntimeError(ErrorNumberForResult(created));
    }
    std::unique_ptr<IStream, ComReleaser> stream(rawStream);

    static const auto oleLoadPicture = SystemFunction<decltype(OleLoadPicture)>(L"oleaut32.dll", "OleLoadPicture");
    if (oleLoadPicture == nullptr) {
        ThrowInvalidPicture();
    }
    IPicture* rawPicture = nullptr;
    const HRESULT loaded = oleLoadPicture(stream.get(), static_cast<LONG>(bytes.Size()), FALSE, IID_IPicture,
                                          reinterpret_cast<void**>(&rawPicture));
    if (FAILED(loaded) || rawPicture == nullptr) {
        if (loaded == E_OUTOFMEMORY) {
            throw RuntimeError(kErrOutOfMemory);
        }
        ThrowInvalidPicture();
    }
    std::unique_ptr<IPicture, ComReleaser> picture(rawPicture);

    OLE_XSIZE_HIMETRIC himetricWidth = 0;
    OLE_YSIZE_HIMETRIC himetricHeight = 0;
    SHORT type = PICTYPE_UNINITIALIZED;
    if (FAILED(picture->get_Width(&himetricWidth)) || FAILED(picture->get_Height(&himetricHeight)) ||
        FAILED(picture->get_Type(&type))) {
        ThrowInvalidPicture();
    }

    int width = 0;
    int height = 0;
    OLE_HANDLE handle = 0;
    BITMAP bitmap{};
    if (type == PICTYPE_BITMAP && SUCCEEDED(picture->get_Handle(&handle)) &&
        GetObjectW(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), sizeof bitmap, &bitmap) != 0) {
        width = bitmap.bmWidth;
        height = bitmap.bmHeight < 0 ? -bitmap.bmHeight : bitmap.bmHeight;
    } else {
        HDC screen = GetDC(nullptr);
        const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
        const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        width = HimetricToPixels(himetricWidth, dpiX);
        height = HimetricToPixels(himetricHeight, dpiY);
    }
    if (width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPicturePixels) {
        ThrowInvalidPicture();
    }

    BitmapOwner section = CreateSection(width, height);
    MemoryDc memory;
    {
        SelectedObject selected(memory.dc, section.get());
        // Where an icon or metafile leaves pixels untouched they stay white, as on paper.
        RECT all{0, 0, width, height};
        FillRect(memory.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        if (FAILED(picture->Render(memory.dc, 0, 0, width, height, 0, himetricHeight, himetricWidth, -himetricHeight,
                                   nullptr))) {
            ThrowInvalidPicture();
        }
    }
    return std::make_shared<Win32Picture>(section.release());
}

} // namespace

PicturePtr LoadPicture(const std::wstring& path) {
    const FileBytes bytes = ReadPictureFile(path);
    const PictureCheck check = CheckPictureBytes(bytes.Span());
    switch (check.format) {
    case PictureFormat::Unknown:
        ThrowInvalidPicture();
    case PictureFormat::Bitmap:
        return DecodeBitmap(bytes, check);
    default:
        return DecodeWithOle(bytes);
    }
}

} // namespace tovira::win32
