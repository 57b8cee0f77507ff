#include "services_support.h"

#include "CheckPictureBytes.h"
#include "picturefiles/PictureDecode.h"
#include "platform/win32/BitmapPicture.h"
#include "platform/win32/LoadPicture.h"
#include "platform/win32/Wide.h"

#include <cstdint>
#include <vector>

namespace tovira::win32::testing {
namespace {

// Small pictures made with an image editor: a red GIF of 5 by 3 and a blue JPEG of 7 by 4 pixels.
const unsigned char kRedGif5x3[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x05, 0x00, 0x03, 0x00, 0xf0, 0x00, 0x00, 0xff, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
    0x00, 0x00, 0x05, 0x00, 0x03, 0x00, 0x00, 0x02, 0x03, 0x84, 0x8f, 0x59, 0x00, 0x3b,
};

const unsigned char kBlueJpeg7x4[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03, 0x03, 0x03, 0x03, 0x04,
    0x03, 0x03, 0x04, 0x05, 0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0a, 0x07, 0x07, 0x06, 0x08, 0x0c, 0x0a, 0x0c,
    0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d, 0x0e, 0x12, 0x10, 0x0d, 0x0e, 0x11, 0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10,
    0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0c, 0x0f, 0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff,
    0xdb, 0x00, 0x43, 0x01, 0x03, 0x04, 0x04, 0x05, 0x04, 0x05, 0x09, 0x05, 0x05, 0x09, 0x14, 0x0d, 0x0b, 0x0d,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0xff, 0xc0, 0x00, 0x11,
    0x08, 0x00, 0x04, 0x00, 0x07, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xff, 0xc4, 0x00,
    0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x09, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4, 0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x09, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0c,
    0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x3d, 0xd5, 0x4c, 0x1d, 0xff, 0xd9,
};

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

constexpr std::size_t kJpegFrameHeight = 163; // where the first frame header's height lies in the JPEG above

void Put16(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

std::string Bytes(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A bitmap file: 40-byte info header, the palette, then the given bits.
std::string Bitmap(int width, int height, int bitCount, const std::vector<std::uint32_t>& palette,
                   const std::string& bits, std::uint32_t compression = 0) {
    const std::size_t bitsOffset = 14 + 40 + 4 * palette.size();
    std::string bytes(bitsOffset, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(bytes, 2, static_cast<std::uint32_t>(bitsOffset + bits.size()));
    Put32(bytes, 10, static_cast<std::uint32_t>(bitsOffset));
    Put32(bytes, 14, 40);
    Put32(bytes, 18, static_cast<std::uint32_t>(width));
    Put32(bytes, 22, static_cast<std::uint32_t>(height));
    Put16(bytes, 26, 1);
    Put16(bytes, 28, static_cast<std::uint32_t>(bitCount));
    Put32(bytes, 30, compression);
    Put32(bytes, 34, static_cast<std::uint32_t>(bits.size()));
    Put32(bytes, 46, static_cast<std::uint32_t>(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i) {
        Put32(bytes, 54 + 4 * i, palette[i]);
    }
    return bytes + bits;
}

// Rows given top first as 0xRRGGBB; stored bottom-up unless topDown.
std::string Bitmap24(int width, const std::vector<std::vector<std::uint32_t>>& rows, bool topDown) {
    std::string bits;
    const int height = static_cast<int>(rows.size());
    for (int i = 0; i < height; ++i) {
        const auto& row = rows[static_cast<std::size_t>(topDown ? i : height - 1 - i)];
        std::string line;
        for (std::uint32_t pixel : row) {
            line += static_cast<char>(pixel & 0xFF);
            line += static_cast<char>((pixel >> 8) & 0xFF);
            line += static_cast<char>((pixel >> 16) & 0xFF);
        }
        line.resize((line.size() + 3) / 4 * 4, '\0');
        bits += line;
    }
    return Bitmap(width, topDown ? -height : height, 24, {}, bits);
}

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

TEST_F(PictureTest, TwentyFourBitRowsComeOutTopFirstWhicheverWayTheyAreStored) {
    const std::vector<std::vector<std::uint32_t>> rows = {{0xFF0000, 0x00FF00, 0x0000FF},
                                                          {0xFFFFFF, 0x000000, 0x102030}};
    const std::vector<std::uint32_t> expected = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x102030};
    for (bool topDown : {false, true}) {
        PicturePtr picture = Load(Bitmap24(3, rows, topDown));
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->WidthPixels(), 3);
        EXPECT_EQ(picture->HeightPixels(), 2);
        EXPECT_EQ(PixelsOf(*picture), expected) << "top-down: " << topDown;
    }
}

TEST_F(PictureTest, PalettedAndRunLengthBitmaps) {
    const std::vector<std::uint32_t> palette = {0x000000, 0xC0C0C0, 0x0000C0};
    // Two rows of two 8-bit indices, each row padded to four bytes; bottom row first.
    PicturePtr plain = Load(Bitmap(2, 2, 8, palette, std::string("\x01\x02\0\0\x02\x01\0\0", 8)));
    EXPECT_EQ(PixelsOf(*plain), (std::vector<std::uint32_t>{0x0000C0, 0xC0C0C0, 0xC0C0C0, 0x0000C0}));

    // Bottom row two of index 1, end of line; top row two of index 2, end of bitmap.
    PicturePtr runs = Load(Bitmap(2, 2, 8, palette, std::string("\x02\x01\0\0\x02\x02\0\x01", 8), 1));
    EXPECT_EQ(PixelsOf(*runs), (std::vector<std::uint32_t>{0x0000C0, 0x0000C0, 0xC0C0C0, 0xC0C0C0}));
}

TEST_F(PictureTest, HostileBitmapHeadersAreRefusedQuickly) {
    const std::string good = Bitmap24(3, {{1, 2, 3}, {4, 5, 6}}, false);
    ASSERT_EQ(CheckPictureBytes({reinterpret_cast<const unsigned char*>(good.data()), good.size()}).format,
              PictureFormat::Bitmap);
    const auto with = [&](auto change) {
        std::string bytes = good;
        change(bytes);
        return bytes;
    };
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"60000 by 60000", with([](std::string& b) { Put32(b, 18, 60000), Put32(b, 22, 60000); })},
        {"60000 by 60000 top-down", with([](std::string& b) { Put32(b, 18, 60000), Put32(b, 22, -60000); })},
        {"pixels cut short", good.substr(0, good.size() - 1)},
        {"bits beyond the end", with([](std::string& b) { Put32(b, 10, 1u << 30); })},
        {"bits inside the header", with([](std::string& b) { Put32(b, 10, 20); })},
        {"no width", with([](std::string& b) { Put32(b, 18, 0); })},
        {"negative width", with([](std::string& b) { Put32(b, 18, 0xFFFFFFFD); })},
        {"most negative height", with([](std::string& b) { Put32(b, 22, 0x80000000); })},
        {"seven bits a pixel", with([](std::string& b) { Put16(b, 28, 7); })},
        {"two planes", with([](std::string& b) { Put16(b, 26, 2); })},
        {"unknown info size", with([](std::string& b) { Put32(b, 14, 20); })},
        {"info larger than the file", with([](std::string& b) { Put32(b, 14, 124); })},
        {"embedded JPEG", with([](std::string& b) { Put32(b, 30, 4); })},
        {"run-length at 24 bits", with([](std::string& b) { Put32(b, 30, 1); })},
        {"more colours than 8 bits hold", Bitmap(2, 2, 8, std::vector<std::uint32_t>(300, 0), std::string(8, '\0'))},
        {"run-length stored top-down", Bitmap(2, -2, 8, {0, 0}, std::string("\0\x01", 2), 1)},
        {"only the file header", good.substr(0, 14)},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_EQ(CheckPictureBytes({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}).format,
                  PictureFormat::Unknown)
            << name;
        EXPECT_EQ(LoadError(bytes), 481) << name;
    }
}

TEST_F(PictureTest, GifAndJpegAreReadAtTheirSize) {
    PicturePtr gif = Load(Bytes(kRedGif5x3, sizeof kRedGif5x3), L"logo.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->WidthPixels(), 5);
    EXPECT_EQ(gif->HeightPixels(), 3);
    EXPECT_EQ(PixelsOf(*gif), std::vector<std::uint32_t>(15, 0xFF0000));

    PicturePtr jpeg = Load(Bytes(kBlueJpeg7x4, sizeof kBlueJpeg7x4), L"logo.jpg");
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->WidthPixels(), 7);
    EXPECT_EQ(jpeg->HeightPixels(), 4);
    const std::uint32_t corner = PixelsOf(*jpeg)[0];
    EXPECT_GT(corner & 0xFF, 0xF0u);
    EXPECT_LT(corner >> 8, 0x10u);
}

TEST_F(PictureTest, GifAndJpegClaimingHugeSizesAreRefused) {
    std::string gif = Bytes(kRedGif5x3, sizeof kRedGif5x3);
    Put16(gif, 6, 65535);
    Put16(gif, 8, 65535);
    EXPECT_EQ(LoadError(gif), 481);

    std::string jpeg = Bytes(kBlueJpeg7x4, sizeof kBlueJpeg7x4);
    ASSERT_EQ(static_cast<unsigned char>(jpeg[kJpegFrameHeight - 4]), 0xC0);
    jpeg[kJpegFrameHeight] = jpeg[kJpegFrameHeight + 1] = jpeg[kJpegFrameHeight + 2] = jpeg[kJpegFrameHeight + 3] =
        '\xFF';
    EXPECT_EQ(LoadError(jpeg), 481);
    EXPECT_EQ(LoadError(jpeg.substr(0, kJpegFrameHeight - 5)), 481) << "no frame header before the end";
}

TEST_F(PictureTest, IconAndPlaceableMetafileAreDrawnIntoBitmapsOfTheirSize) {
    // One 16 by 16 entry: a 32-bit bitmap of opaque green (twice the height for the mask) and its AND mask.
    std::string image = Bitmap(16, 32, 32, {}, std::string(16 * 16 * 4 + 16 * 4, '\0')).substr(14);
    for (std::size_t i = 0; i < 16 * 16; ++i) {
        Put32(image, 40 + 4 * i, 0xFF00FF00);
    }
    Put32(image, 20, 0);
    std::string icon(6 + 16, '\0');
    Put16(icon, 2, 1);
    Put16(icon, 4, 1);
    icon[6] = icon[7] = 16;
    Put16(icon, 10, 1);
    Put16(icon, 12, 32);
    Put32(icon, 14, static_cast<std::uint32_t>(image.size()));
    Put32(icon, 18, 22);
    PicturePtr picture = Load(icon + image, L"logo.ico");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->WidthPixels(), 16);
    EXPECT_EQ(picture->HeightPixels(), 16);
    EXPECT_EQ(PixelsOf(*picture)[8 * 16 + 8], 0x00FF00u);

    Put32(icon, 18, 1000);
    EXPECT_EQ(LoadError(icon + image), 481) << "image beyond the end of the file";

    // Its size at 100 % whatever the screen's scale: the picture box enlarges it by the window's.
    PicturePtr metafile = Load(Bytes(kQuarteredMetafile, sizeof kQuarteredMetafile), L"logo.wmf");
    ASSERT_TRUE(metafile);
    EXPECT_EQ(metafile->WidthPixels(), 120);
    EXPECT_EQ(metafile->HeightPixels(), 80);
    const std::vector<std::uint32_t> pixels = PixelsOf(*metafile);
    EXPECT_EQ((std::vector<std::uint32_t>{pixels[20 * 120 + 30], pixels[20 * 120 + 90], pixels[60 * 120 + 30],
                                          pixels[60 * 120 + 90]}),
              (std::vector<std::uint32_t>{0xC82828, 0x28A03C, 0x283CC8, 0xDCC828}));
}

TEST_F(PictureTest, WhatIsNoPictureRaisesInvalidPicture) {
    EXPECT_EQ(LoadError("Isto n\xc3\xa3o \xc3\xa9 uma imagem, apenas texto."), 481);
    EXPECT_EQ(LoadError(""), 481);
    EXPECT_EQ(LoadError(std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)), 481);
    EXPECT_EQ(LoadError("BM"), 481);
    EXPECT_EQ(LoadError("GIF89a\x05"), 481);
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
    Put32(header, 18, 8000);
    Put32(header, 22, 6000);
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

TEST(Pictures, LoadThroughAPathWithSpacesCyrillicAndCjk) {
    TempFolder folder{L"Logo da Empresa \u041a\u0438\u0440\u0438\u043b\u043b\u0438\u0446\u0430 \u6f22\u5b57"};
    const std::wstring path = folder / L"log\u00f3 \u5b57.bmp";
    WriteBytes(path, Bitmap24(2, {{0x123456, 0x654321}}, false));
    OsServices services;
    PicturePtr picture = services.LoadPictureFile(Narrow(path));
    ASSERT_TRUE(picture);
    EXPECT_EQ(PixelsOf(*picture), (std::vector<std::uint32_t>{0x123456, 0x654321}));
}

} // namespace
} // namespace tovira::win32::testing
