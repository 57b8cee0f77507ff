#include "services_support.h"

#include "PictureFiles.h"
#include "picturefiles/PictureDecode.h"
#include "platform/win32/BitmapPicture.h"
#include "platform/win32/LoadPicture.h"
#include "platform/win32/Wide.h"

#include <cstdint>
#include <vector>

namespace tovira::win32::testing {
namespace {

using tovira::test::Bitmap24;
using tovira::test::Put;

// A placeable metafile of 1800 x 1200 twips, 1440 to the inch, whose records fill its quarters with PatBlt in
// 0xC82828, 0x28A03C, 0x283CC8 and 0xDCC828: top left, top right, bottom left, bottom right.
const unsigned char kQuarteredMetafile[] = {
    0xd7, 0xcd, 0xc6, 0x9a, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x07, 0xb0, 0x04, 0xa0, 0x05, 0x00, 0x00, 0x00,
    0x00, 0x09, 0x51, 0x01, 0x00, 0x09, 0x00, 0x00, 0x03, 0x76, 0x00, 0x00, 0x00, 0x01, 0x00, 0x09, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x0b, 0x02, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x0c, 0x02, 0xb0,
    0x04, 0x08, 0x07, 0x07, 0x00, 0x00, 0x00, 0xfc, 0x02, 0x00, 0x00, 0xc8, 0x28, 0x28, 0x00, 0x00, 0x00, 0x04, 0x00,
    0x00, 0x00, 0x2d, 0x01, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x1d, 0x06, 0x21, 0x00, 0xf0, 0x00, 0x58, 0x02, 0x84,
    0x03, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xf0, 0x01, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0xfc, 0x02,
    0x00, 0x00, 0x28, 0xa0, 0x3c, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x2d, 0x01, 0x00, 0x00, 0x09, 0x00, 0x00,
    0x00, 0x1d, 0x06, 0x21, 0x00, 0xf0, 0x00, 0x58, 0x02, 0x84, 0x03, 0x00, 0x00, 0x84, 0x03, 0x04, 0x00, 0x00, 0x00,
    0xf0, 0x01, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0xfc, 0x02, 0x00, 0x00, 0x28, 0x3c, 0xc8, 0x00, 0x00, 0x00, 0x04,
    0x00, 0x00, 0x00, 0x2d, 0x01, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x1d, 0x06, 0x21, 0x00, 0xf0, 0x00, 0x58, 0x02,
    0x84, 0x03, 0x58, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xf0, 0x01, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0xfc,
    0x02, 0x00, 0x00, 0xdc, 0xc8, 0x28, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x2d, 0x01, 0x00, 0x00, 0x09, 0x00,
    0x00, 0x00, 0x1d, 0x06, 0x21, 0x00, 0xf0, 0x00, 0x58, 0x02, 0x84, 0x03, 0x58, 0x02, 0x84, 0x03, 0x04, 0x00, 0x00,
    0x00, 0xf0, 0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00,
};

// The picture's pixels, top row first, as 0xRRGGBB.
std::vector<std::uint32_t> PixelsOf(const Picture& picture) {
    const auto& bitmap = dynamic_cast<const BitmapPicture&>(picture);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = bitmap.WidthPixels();
    info.bmiHeader.biHeight = -bitmap.HeightPixels();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(bitmap.WidthPixels() * bitmap.HeightPixels()));
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap.Handle(), 0, static_cast<UINT>(bitmap.HeightPixels()), pixels.data(), &info,
              DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (std::uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

class PictureTest : public ::testing::Test {
protected:
    PicturePtr Load(const std::string& bytes, const std::wstring& name = L"imgLogo.bmp") {
        WriteBytes(folder / name, bytes);
        return services.LoadPictureFile(Narrow(folder / name));
    }
    int LoadError(const std::string& bytes) {
        return ErrorNumberOf([&] { Load(bytes); });
    }

    TempFolder folder{L"pictures"};
    OsServices services;
};

TEST_F(PictureTest, IconAndPlaceableMetafileAreDrawnIntoBitmapsOfTheirSize) {
    PicturePtr picture = Load(tovira::test::GreenIcon16(), L"logo.ico");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->WidthPixels(), 16);
    EXPECT_EQ(picture->HeightPixels(), 16);
    EXPECT_EQ(PixelsOf(*picture)[8 * 16 + 8], 0x00FF00u);

    // Its size at 100 % whatever the screen's scale: the picture box enlarges it by the window's.
    PicturePtr metafile =
        Load(std::string(reinterpret_cast<const char*>(kQuarteredMetafile), sizeof kQuarteredMetafile), L"logo.wmf");
    ASSERT_TRUE(metafile);
    EXPECT_EQ(metafile->WidthPixels(), 120);
    EXPECT_EQ(metafile->HeightPixels(), 80);
    const std::vector<std::uint32_t> pixels = PixelsOf(*metafile);
    EXPECT_EQ((std::vector<std::uint32_t>{pixels[20 * 120 + 30], pixels[20 * 120 + 90], pixels[60 * 120 + 30],
                                          pixels[60 * 120 + 90]}),
              (std::vector<std::uint32_t>{0xC82828, 0x28A03C, 0x283CC8, 0xDCC828}));
}

// What the checks refuse (the unit tests hold every kind) raises "Invalid picture", an empty file too.
TEST_F(PictureTest, WhatIsNoPictureRaisesInvalidPicture) {
    EXPECT_EQ(LoadError("Isto n\xc3\xa3o \xc3\xa9 uma imagem, apenas texto."), 481);
    EXPECT_EQ(LoadError(""), 481);
}

// Sets the file's size without writing the bytes between: the file system keeps them as zeros.
void Extend(const std::wstring& path, std::uint64_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

TEST_F(PictureTest, OnlyTheShownPartOfALargeBitmapIsReadAndAnIconPastItsCapIsRefused) {
    // 8000 x 6000, bottom-up: the shown top rows lie at the end of a 144 MB file, the rest is zeros.
    const std::wstring path = folder / L"large.bmp";
    const std::uint64_t stride = 8000 * 3;
    std::string header = Bitmap24(1, {{0}}, false).substr(0, 54);
    Put(header, 18, 8000, 4);
    Put(header, 22, 6000, 4);
    WriteBytes(path, header);
    Extend(path, 54 + stride * 5999);
    HANDLE file =
        CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::string topRow = std::string("\x30\x20\x10", 3) + std::string(stride - 3, '\xFF');
    DWORD written = 0;
    WriteFile(file, topRow.data(), static_cast<DWORD>(topRow.size()), &written, nullptr);
    CloseHandle(file);
    PicturePtr picture = services.LoadPictureFile(Narrow(path));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->WidthPixels(), kShownWidth);
    EXPECT_EQ(picture->HeightPixels(), kShownHeight);
    const std::vector<std::uint32_t> pixels = PixelsOf(*picture);
    EXPECT_EQ(pixels[0], 0x102030u);
    EXPECT_EQ(pixels[1], 0xFFFFFFu);
    EXPECT_EQ(pixels[static_cast<std::size_t>(kShownWidth)], 0u);

    const std::wstring icon = folder / L"huge.ico";
    WriteBytes(icon, std::string("\0\0\1\0", 4));
    Extend(icon, kMaxWholeFileBytes + 1);
    EXPECT_EQ(ErrorNumberOf([&] { services.LoadPictureFile(Narrow(icon)); }), 481);
}

TEST_F(PictureTest, MissingFileOrFolderRaisesTheirNumbers) {
    EXPECT_EQ(ErrorNumberOf([&] { services.LoadPictureFile(Narrow(folder / L"imgLogo.bmp")); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { services.LoadPictureFile(Narrow(folder / L"nowhere\\imgLogo.bmp")); }), 76);
}

// The pixels come out of the bitmap section top row first, whichever way the file stores its rows.
TEST(Pictures, ThroughAPathWithSpacesCyrillicAndCjkRowsComeOutTopFirst) {
    TempFolder folder{L"Logo da Empresa \u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430 \u6f22\u5b57"};
    const std::wstring path = folder / L"log\u00f3 \u5b57.bmp";
    const std::vector<std::vector<std::uint32_t>> rows = {{0x123456, 0x654321}, {0xFFFFFF, 0x102030}};
    OsServices services;
    for (bool topDown : {false, true}) {
        WriteBytes(path, Bitmap24(2, rows, topDown));
        PicturePtr picture = services.LoadPictureFile(Narrow(path));
        ASSERT_TRUE(picture);
        EXPECT_EQ(PixelsOf(*picture), (std::vector<std::uint32_t>{0x123456, 0x654321, 0xFFFFFF, 0x102030}))
            << "top-down: " << topDown;
    }
}

} // namespace
} // namespace tovira::win32::testing
