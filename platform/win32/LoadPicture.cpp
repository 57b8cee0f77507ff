#include "platform/win32/LoadPicture.h"

#include "picturefiles/PictureCheck.h"
#include "picturefiles/PictureDecode.h"
#include "platform/RuntimeError.h"
#include "platform/win32/BitmapPicture.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/Errors.h"
#include "platform/win32/Handles.h"
#include "platform/win32/SystemLibrary.h"

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

[[noreturn]] void ThrowInvalidPicture() {
    throw RuntimeError(kErrInvalidPicture);
}

// The picture file, read a part at a time where the checks and decoders ask for it.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::wstring& path)
        : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (!file_) {
            ThrowLastError();
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_.Get(), &size)) {
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
            if (!ReadFile(file_.Get(), out.data() + done, wanted, &read, &at)) {
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
    Bitmap bitmap;
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;

    PicturePtr TakePicture() {
        return std::make_shared<BitmapPicture>(std::move(bitmap), PixelSource{pixels, width, height});
    }
};

Section CreateSection(int width, int height) {
    void* pixels = nullptr;
    Section section{CreateTopDownSection(width, height, 32, pixels), static_cast<std::uint32_t*>(pixels), width,
                    height};
    if (!section.bitmap || section.pixels == nullptr) {
        throw RuntimeError(kErrOutOfMemory);
    }
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
    return section.TakePicture();
}

// The whole file in a stream of memory, as Windows' own picture loader takes it.
ComPtr<IStream> StreamOf(FileSource& file) {
    const auto size = static_cast<std::size_t>(file.Size());
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!memory) {
        throw RuntimeError(kErrOutOfMemory);
    }
    file.Read(0, {static_cast<unsigned char*>(GlobalLock(memory.Get())), size});
    GlobalUnlock(memory.Get());
    ComPtr<IStream> stream;
    const HRESULT created = CreateStreamOnHGlobal(memory.Get(), TRUE, stream.Put());
    if (FAILED(created)) {
        throw RuntimeError(ErrorNumberForResult(created));
    }
    // The stream frees the memory from now on.
    static_cast<void>(memory.Release());
    return stream;
}

ComPtr<IPicture> LoadOlePicture(FileSource& file) {
    EnsureComApartment();
    ComPtr<IStream> stream = StreamOf(file);
    static const auto oleLoadPicture = SystemFunction<decltype(OleLoadPicture)>(L"oleaut32.dll", "OleLoadPicture");
    if (oleLoadPicture == nullptr) {
        ThrowInvalidPicture();
    }
    ComPtr<IPicture> picture;
    const HRESULT loaded = oleLoadPicture(stream.Get(), static_cast<LONG>(file.Size()), FALSE, IID_IPicture,
                                          reinterpret_cast<void**>(picture.Put()));
    if (FAILED(loaded) || !picture) {
        if (loaded == E_OUTOFMEMORY) {
            throw RuntimeError(kErrOutOfMemory);
        }
        ThrowInvalidPicture();
    }
    return picture;
}

// An icon's or metafile's size in pixels, from its size in HIMETRIC units.
struct OleSize {
    OLE_XSIZE_HIMETRIC himetricWidth = 0;
    OLE_YSIZE_HIMETRIC himetricHeight = 0;
    int width = 0;
    int height = 0;
};

// A metafile's size is a length: its pixels at 100 %, which the picture box enlarges by the window's own scale
// as it does every picture. An icon's size is its pixels, which Windows gave as a length at the system's scale, so
// that scale turns it back.
int PixelsPerInch(PictureFormat format) {
    return format == PictureFormat::Metafile ? kDesignDpi : SystemScale().Dpi();
}

OleSize NaturalSize(IPicture& picture, PictureFormat format) {
    OleSize size;
    if (FAILED(picture.get_Width(&size.himetricWidth)) || FAILED(picture.get_Height(&size.himetricHeight))) {
        ThrowInvalidPicture();
    }
    const int perInch = PixelsPerInch(format);
    size.width = MulDiv(size.himetricWidth, perInch, 2540);
    size.height = MulDiv(size.himetricHeight, perInch, 2540);
    if (size.width <= 0 || size.height <= 0 ||
        static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height) > kMaxPicturePixels) {
        ThrowInvalidPicture();
    }
    return size;
}

// Icons and metafiles go whole to Windows' own loader, drawn into a bitmap of their natural size as far as a
// window can show it.
PicturePtr DecodeWithOle(FileSource& file, PictureFormat format) {
    ComPtr<IPicture> picture = LoadOlePicture(file);
    const OleSize size = NaturalSize(*picture.Get(), format);
    const int shownWidth = std::min(size.width, kShownWidth);
    const int shownHeight = std::min(size.height, kShownHeight);
    Section section = CreateSection(shownWidth, shownHeight);
    MemoryDC memory(CreateCompatibleDC(nullptr));
    {
        SelectScope selected(memory.Get(), section.bitmap.Get());
        // Where an icon or metafile leaves pixels untouched they stay white, as on paper.
        RECT all{0, 0, shownWidth, shownHeight};
        FillRect(memory.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        if (FAILED(picture.Get()->Render(memory.Get(), 0, 0, size.width, size.height, 0, size.himetricHeight,
                                         size.himetricWidth, -size.himetricHeight, nullptr))) {
            ThrowInvalidPicture();
        }
    }
    return section.TakePicture();
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
        return DecodeWithOle(file, check.format);
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
