#include "platform/win32/Pictures.h"

#include "platform/PictureBytes.h"
#include "platform/PictureDecode.h"
#include "platform/RuntimeError.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/Errors.h"
#include "platform/win32/Gdi.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32Picture.h"

#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <utility>

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

[[noreturn]] void ThrowInvalidPicture() {
    throw RuntimeError(kErrInvalidPicture);
}

// The picture file, read a part at a time where the checks and decoders ask for it.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::wstring& path)
        : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (file_.get() == INVALID_HANDLE_VALUE) {
            file_.release();
            ThrowLastError();
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_.get(), &size)) {
            ThrowLastError();
        }
        size_ = static_cast<std::uint64_t>(size.QuadPart);
    }

    std::uint64_t Size() const override { return size_; }

    void Read(std::uint64_t offset, std::span<unsigned char> out) override {
        for (std::size_t done = 0; done < out.size();) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset + done);
            at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
            const auto wanted = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
            DWORD read = 0;
            if (!ReadFile(file_.get(), out.data() + done, wanted, &read, &at)) {
                const DWORD error = GetLastError();
                if (error == ERROR_HANDLE_EOF) {
                    ThrowInvalidPicture(); // the file shrank while we read it
                }
                ThrowError(error);
            }
            if (read == 0) {
                ThrowInvalidPicture();
            }
            done += read;
        }
    }

private:
    FileHandle file_;
    std::uint64_t size_ = 0;
};

// A 32-bit top-down section: the same pixel layout whatever the source was.
struct Section {
    BitmapOwner bitmap;
    std::uint32_t* pixels = nullptr;
};

Section CreateSection(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    Section section{BitmapOwner(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0)), nullptr};
    if (!section.bitmap || pixels == nullptr) {
        throw RuntimeError(kErrOutOfMemory);
    }
    section.pixels = static_cast<std::uint32_t*>(pixels);
    return section;
}

// Only the part that a window can show is decoded and kept.
PicturePtr DecodeShownPart(FileSource& file, const PictureCheck& check) {
    const int width = std::min(check.width, kShownWidth);
    const int height = std::min(check.height, kShownHeight);
    Section section = CreateSection(width, height);
    if (!DecodePicture(file, check, {section.pixels, width, height})) {
        ThrowInvalidPicture();
    }
    return std::make_shared<Win32Picture>(section.bitmap.release());
}

// The size in pixels of an icon or metafile, from its size in HIMETRIC units at the screen's resolution.
std::pair<int, int> NaturalSize(OLE_XSIZE_HIMETRIC himetricWidth, OLE_YSIZE_HIMETRIC himetricHeight) {
    WindowDC screen(nullptr);
    return {MulDiv(himetricWidth, GetDeviceCaps(screen.Get(), LOGPIXELSX), 2540),
            MulDiv(himetricHeight, GetDeviceCaps(screen.Get(), LOGPIXELSY), 2540)};
}

// Icons and metafiles go whole to Windows' own loader, drawn into a bitmap of their natural size as far as a
// window can show it.
PicturePtr DecodeWithOle(FileSource& file) {
    EnsureComApartment();
    const auto size = static_cast<std::size_t>(file.Size());
    HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, size);
    if (global == nullptr) {
        throw RuntimeError(kErrOutOfMemory);
    }
    IStream* rawStream = nullptr;
    const HRESULT created = CreateStreamOnHGlobal(global, TRUE, &rawStream);
    if (FAILED(created)) {
        GlobalFree(global);
        throw RuntimeError(ErrorNumberForResult(created));
    }
    std::unique_ptr<IStream, ComReleaser> stream(rawStream);
    file.Read(0, {static_cast<unsigned char*>(GlobalLock(global)), size});
    GlobalUnlock(global);

    static const auto oleLoadPicture = SystemFunction<decltype(OleLoadPicture)>(L"oleaut32.dll", "OleLoadPicture");
    if (oleLoadPicture == nullptr) {
        ThrowInvalidPicture();
    }
    IPicture* rawPicture = nullptr;
    const HRESULT loaded = oleLoadPicture(stream.get(), static_cast<LONG>(size), FALSE, IID_IPicture,
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
    if (FAILED(picture->get_Width(&himetricWidth)) || FAILED(picture->get_Height(&himetricHeight))) {
        ThrowInvalidPicture();
    }
    const auto [width, height] = NaturalSize(himetricWidth, himetricHeight);
    if (width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPicturePixels) {
        ThrowInvalidPicture();
    }

    const int shownWidth = std::min(width, kShownWidth);
    const int shownHeight = std::min(height, kShownHeight);
    Section section = CreateSection(shownWidth, shownHeight);
    MemoryDC memory(nullptr);
    {
        SelectScope selected(memory.Get(), section.bitmap.get());
        // Where an icon or metafile leaves pixels untouched they stay white, as on paper.
        RECT all{0, 0, shownWidth, shownHeight};
        FillRect(memory.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        if (FAILED(picture->Render(memory.Get(), 0, 0, width, height, 0, himetricHeight, himetricWidth, -himetricHeight,
                                   nullptr))) {
            ThrowInvalidPicture();
        }
    }
    return std::make_shared<Win32Picture>(section.bitmap.release());
}

PicturePtr LoadPictureFrom(FileSource& file) {
    ByteReader reader(file);
    const PictureCheck check = CheckPicture(reader);
    switch (check.format) {
    case PictureFormat::Unknown:
        ThrowInvalidPicture();
    case PictureFormat::Bitmap:
    case PictureFormat::Gif:
    case PictureFormat::Jpeg:
        return DecodeShownPart(file, check);
    case PictureFormat::Icon:
    case PictureFormat::Metafile:
        return DecodeWithOle(file);
    }
    ThrowInvalidPicture();
}

} // namespace

PicturePtr LoadPicture(const std::wstring& path) {
    FileSource file(path);
    try {
        return LoadPictureFrom(file);
    } catch (const std::bad_alloc&) {
        throw RuntimeError(kErrOutOfMemory);
    }
}

} // namespace tovira::win32
