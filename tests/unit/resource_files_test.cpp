// Reads the committed pictures back with a decoder of its own and checks the facts the program and its
// end-to-end tests rely on, and that the committed files are exactly what the generator draws today.
#include "ImageFiles.h"
#include "ResourceFiles.h"
#include "art/Artwork.h"
#include "art/RunLength.h"
#include "launcher/MediumFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kSourceDir = TOVIRA_SOURCE_DIR;

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned U16(const Bytes& b, size_t at) {
    return b.at(at) | (b.at(at + 1) << 8);
}
std::uint32_t U32(const Bytes& b, size_t at) {
    return U16(b, at) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}
std::int32_t S32(const Bytes& b, size_t at) {
    return static_cast<std::int32_t>(U32(b, at));
}

struct Colour {
    int r = 0, g = 0, b = 0;
    bool operator==(const Colour&) const = default;
};

struct Image {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int paletteSize = 0;
    std::vector<Colour> pixels; // from the top row down
    std::vector<bool> transparent;

    Colour At(int x, int y) const { return pixels.at(static_cast<size_t>(y * width + x)); }
    bool Transparent(int x, int y) const { return transparent.at(static_cast<size_t>(y * width + x)); }
};

// A device-independent bitmap at `at`: 24-bit or paletted, bottom-up; inside icons and cursors the height
// counts the mask too, and the mask follows the colour rows.
Image ReadDib(const Bytes& file, size_t at, size_t pixelsAt, bool withMask) {
    Image image;
    EXPECT_EQ(U32(file, at), 40u);
    image.width = S32(file, at + 4);
    const int storedHeight = S32(file, at + 8);
    image.height = withMask ? storedHeight / 2 : storedHeight;
    EXPECT_EQ(U16(file, at + 12), 1u);
    image.bitsPerPixel = static_cast<int>(U16(file, at + 14));
    EXPECT_EQ(U32(file, at + 16), 0u) << "compressed";
    std::vector<Colour> palette;
    if (image.bitsPerPixel <= 8) {
        image.paletteSize = U32(file, at + 32) ? static_cast<int>(U32(file, at + 32)) : 1 << image.bitsPerPixel;
        for (int i = 0; i < image.paletteSize; ++i) {
            const size_t entry = at + 40 + static_cast<size_t>(i) * 4;
            palette.push_back({file.at(entry + 2), file.at(entry + 1), file.at(entry)});
        }
        if (pixelsAt == 0)
            pixelsAt = at + 40 + static_cast<size_t>(image.paletteSize) * 4;
    }
    if (pixelsAt == 0)
        pixelsAt = at + 40;
    const size_t stride = static_cast<size_t>((image.width * image.bitsPerPixel + 31) / 32 * 4);
    const size_t maskStride = static_cast<size_t>((image.width + 31) / 32 * 4);
    const size_t maskAt = pixelsAt + stride * static_cast<size_t>(image.height);
    image.pixels.resize(static_cast<size_t>(image.width * image.height));
    image.transparent.assign(image.pixels.size(), false);
    for (int y = 0; y < image.height; ++y) {
        const size_t row = pixelsAt + stride * static_cast<size_t>(image.height - 1 - y);
        for (int x = 0; x < image.width; ++x) {
            Colour& c = image.pixels[static_cast<size_t>(y * image.width + x)];
            if (image.bitsPerPixel == 24) {
                const size_t p = row + static_cast<size_t>(x) * 3;
                c = {file.at(p + 2), file.at(p + 1), file.at(p)};
            } else {
                EXPECT_EQ(image.bitsPerPixel, 4);
                const std::uint8_t pair = file.at(row + static_cast<size_t>(x / 2));
                c = palette.at(x % 2 == 0 ? pair >> 4 : pair & 0x0F);
            }
            if (withMask) {
                const size_t m = maskAt + maskStride * static_cast<size_t>(image.height - 1 - y);
                image.transparent[static_cast<size_t>(y * image.width + x)] =
                    (file.at(m + static_cast<size_t>(x / 8)) & (0x80 >> (x % 8))) != 0;
            }
        }
    }
    return image;
}

Image ReadBitmap(const Bytes& file) {
    EXPECT_EQ(file.at(0), 'B');
    EXPECT_EQ(file.at(1), 'M');
    EXPECT_EQ(U32(file, 2), file.size());
    EXPECT_GT(S32(file, 22), 0) << "rows must run bottom-up";
    return ReadDib(file, 14, U32(file, 10), false);
}

Image ReadBitmapFile(const fs::path& path) {
    return ReadBitmap(ReadFile(path));
}

struct IconEntry {
    int width = 0, height = 0, colourCount = 0, planesOrHotX = 0, bitsOrHotY = 0;
    Image image;
};

// Icon (type 1) or cursor (type 2) file: the directory, then each image with its mask.
std::vector<IconEntry> ReadIcon(const Bytes& file, unsigned type) {
    EXPECT_EQ(U16(file, 0), 0u);
    EXPECT_EQ(U16(file, 2), type);
    std::vector<IconEntry> entries;
    for (unsigned i = 0; i < U16(file, 4); ++i) {
        const size_t at = 6 + i * 16;
        IconEntry e;
        e.width = file.at(at) ? file.at(at) : 256;
        e.height = file.at(at + 1) ? file.at(at + 1) : 256;
        e.colourCount = file.at(at + 2);
        e.planesOrHotX = static_cast<int>(U16(file, at + 4));
        e.bitsOrHotY = static_cast<int>(U16(file, at + 6));
        const std::uint32_t size = U32(file, at + 8), offset = U32(file, at + 12);
        EXPECT_LE(offset + size, file.size());
        e.image = ReadDib(file, offset, 0, true);
        EXPECT_EQ(e.image.width, e.width);
        EXPECT_EQ(e.image.height, e.height);
        entries.push_back(e);
    }
    return entries;
}

std::vector<IconEntry> ReadIconFile(const fs::path& path, unsigned type) {
    return ReadIcon(ReadFile(path), type);
}

// The screen pixel under the centre of a design pixel at a scale.
int At(int designPixel, double k) {
    return static_cast<int>(std::floor((designPixel + 0.5) * k));
}

bool NearWhite(Colour c) {
    return c.r > 230 && c.g > 230 && c.b > 230;
}
bool NearBlack(Colour c) {
    return c.r < 40 && c.g < 40 && c.b < 40;
}

TEST(GeneratedFiles, CommittedPicturesAreWhatTheGeneratorDrawsToday) {
    const fs::path out = fs::path(::testing::TempDir()) / ("tovira-resources-" + std::to_string(::getpid()));
    fs::remove_all(out);
    const std::vector<std::string> written = tovira::tools::WriteResourceFiles(out);
    const std::vector<std::string> expected = {
        "resources/MenuPanel.bmp", "resources/MenuPanel.rle", "resources/Tovira.ico", "resources/HandPointer.cur",
        "resources/DarkLamp.ico",  "resources/LitLamp.ico",   "demo/imgLogo.bmp"};
    EXPECT_EQ(written, expected);
    size_t filesInOut = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out))
        filesInOut += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(filesInOut, expected.size());
    for (const std::string& name : expected) {
        const Bytes committed = ReadFile(kSourceDir / name);
        ASSERT_FALSE(committed.empty()) << name << " is not committed";
        EXPECT_TRUE(ReadFile(out / name) == committed) << name << " differs: run tovira_resgen on the source tree";
    }
    fs::remove_all(out);
}

TEST(MenuPanel, TheCompressedCopyThatShipsHoldsExactlyTheSamePixels) {
    const Image panel = ReadBitmapFile(kSourceDir / "resources/MenuPanel.bmp");
    const Bytes packed = ReadFile(kSourceDir / "resources/MenuPanel.rle");
    const auto decoded = tovira::DecodeBuiltInRunLength(packed);
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->width, panel.width);
    ASSERT_EQ(decoded->height, panel.height);
    for (int y = 0; y < panel.height; ++y) {
        for (int x = 0; x < panel.width; ++x) {
            const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(panel.width) + static_cast<size_t>(x)) * 3;
            const Colour c = panel.At(x, y);
            ASSERT_EQ((Colour{decoded->bgr[at + 2], decoded->bgr[at + 1], decoded->bgr[at]}), c) << x << "," << y;
        }
    }
    EXPECT_LT(packed.size(), 40u * 1024) << "the stripes must compress";
}

// The screen scales the pictures are drawn for, in percent; at 100 % the committed files, elsewhere the drawing that
// the program does for that scale.
class PicturesAtScale : public ::testing::TestWithParam<int> {
protected:
    tovira::PixelScale Scale() const { return tovira::PixelScale(GetParam() * tovira::kDesignDpi / 100); }
};

TEST_P(PicturesAtScale, MenuPanelHasStripesEverywhereAndTheVendorLogoOnlyInsideItsBox) {
    const int percent = GetParam();
    const double k = Scale().Factor();
    const Image panel = percent == 100 ? ReadBitmapFile(kSourceDir / "resources/MenuPanel.bmp")
                                       : ReadBitmap(tovira::tools::EncodeBitmap(tovira::art::DrawMenuPanel(Scale())));
    ASSERT_EQ(panel.width, static_cast<int>(std::lround(211 * k)));
    ASSERT_EQ(panel.height, static_cast<int>(std::lround(412 * k)));
    ASSERT_EQ(panel.bitsPerPixel, 24);

    // Outside the logo every row is one colour; the dark bands repeat every three design rows, each as
    // many whole pixels high as the scale allows, exactly the design's scaled at whole-number scales.
    const Colour darkBlue{0, 64, 128}, black{0, 0, 0};
    std::vector<bool> dark;
    for (int y = 0; y < panel.height; ++y) {
        const Colour c = panel.At(0, y);
        ASSERT_TRUE(c == darkBlue || c == black) << y;
        dark.push_back(c == darkBlue);
    }
    int bands = 0;
    for (int y = 0; y < panel.height; ++y) {
        if (!dark[static_cast<size_t>(y)] || (y > 0 && dark[static_cast<size_t>(y - 1)]))
            continue;
        int height = 0;
        while (y + height < panel.height && dark[static_cast<size_t>(y + height)])
            ++height;
        EXPECT_NEAR(y, (3 * bands + 1) * k, 0.5 + 1e-9) << "band " << bands << " starts at " << y;
        if (y + height < panel.height) { // the last band may be cut off by the panel's bottom edge
            EXPECT_TRUE(height == std::floor(k) || height == std::ceil(k)) << "band at " << y << ": " << height;
        }
        ++bands;
    }
    EXPECT_EQ(bands, 137); // design rows 1, 4, ... 409

    // The vendor's logo paints within pixels 43 to 172 across and 10 to 60 down at 100 %, and within that part of
    // the design at every scale.
    const tovira::art::Box logo{43, 10, 173, 61};
    int left = panel.width, right = -1, top = panel.height, bottom = -1, whites = 0, violets = 0;
    for (int y = 0; y < panel.height; ++y) {
        for (int x = 0; x < panel.width; ++x) {
            const Colour c = panel.At(x, y);
            if (c == (dark[static_cast<size_t>(y)] ? darkBlue : black))
                continue;
            ASSERT_TRUE(x >= std::floor(logo.left * k) && x < std::ceil(logo.right * k) &&
                        y >= std::floor(logo.top * k) && y < std::ceil(logo.bottom * k))
                << "logo paint at " << x << "," << y;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            whites += NearWhite(c) ? 1 : 0;
            violets += (c.r > 100 && c.b > 180 && c.g < 120) ? 1 : 0;
        }
    }
    EXPECT_GT(whites, 200 * k * k);
    EXPECT_GT(violets, 200 * k * k);
    // The web-site label covers pixels 48..169 x 12..57 at 100 %, so the logo must fill that area for the
    // link to lie over it.
    EXPECT_LE(left, 48 * k);
    EXPECT_GE(right, 165 * k);
    EXPECT_LE(top, 14 * k);
    EXPECT_GE(bottom, 55 * k);
}

// The drawing rounds channels by hand: it must give lround's bytes, halves away from zero, at and beside every
// half step, and clamp what lies outside 0..1.
TEST(ChannelByte, RoundsAsLroundDoesAtEveryHalfStep) {
    for (int k = 0; k <= 255; ++k) {
        for (double at : {k / 255.0, (k + 0.5) / 255.0}) {
            for (double channel : {std::nextafter(at, 0.0), at, std::nextafter(at, 1.0)}) {
                const long expected = std::lround(std::clamp(channel, 0.0, 1.0) * 255.0);
                ASSERT_EQ(tovira::art::ChannelByte(channel), expected) << "channel " << channel;
            }
        }
    }
    EXPECT_EQ(tovira::art::ChannelByte(-0.3), 0);
    EXPECT_EQ(tovira::art::ChannelByte(1.7), 255);
}

// The demo logo fills the logo box's visible part, so no silver shows beside it, and what the window's edges clip
// off is white margin, not drawing.
TEST(SampleLogo, FillsTheVisibleLogoBoxAndLosesOnlyWhiteToTheClip) {
    const Image logo = ReadBitmapFile(kSourceDir / "demo/imgLogo.bmp");
    constexpr tovira::PixelScale kDesign;
    constexpr int kBoxWidth =
        static_cast<int>(kDesign.Pixels(tovira::medium::kClientWidth - tovira::medium::kLogoLeft));
    constexpr int kBoxHeight = static_cast<int>(kDesign.Pixels(tovira::medium::kClientHeight));
    ASSERT_GE(logo.width, kBoxWidth);
    ASSERT_GE(logo.height, kBoxHeight);
    for (int y = 0; y < logo.height; ++y) {
        for (int x = y < kBoxHeight ? kBoxWidth : 0; x < logo.width; ++x) {
            ASSERT_EQ(logo.At(x, y), (Colour{255, 255, 255})) << x << "," << y;
        }
    }
}

TEST_P(PicturesAtScale, DarkAndLitLampsAreOvalsWithTransparentCorners) {
    const double k = Scale().Factor();
    const auto lamp = [&](bool lit) {
        if (GetParam() == 100)
            return ReadIconFile(kSourceDir / (lit ? "resources/LitLamp.ico" : "resources/DarkLamp.ico"), 1);
        const tovira::tools::Canvas drawn = tovira::art::DrawLamp(lit, Scale());
        return ReadIcon(tovira::tools::EncodeIcon({&drawn}), 1);
    };
    const auto dark = lamp(false);
    const auto lit = lamp(true);
    ASSERT_EQ(dark.size(), 1u);
    ASSERT_EQ(lit.size(), 1u);
    const int size = static_cast<int>(std::lround(16 * k));
    for (const auto* l : {&dark[0], &lit[0]}) {
        EXPECT_EQ(l->width, size);
        EXPECT_EQ(l->height, size);
        EXPECT_EQ(l->bitsOrHotY, 24);
        EXPECT_EQ(l->image.bitsPerPixel, 24);
        for (const auto& [x, y] : {std::pair{0, 0}, {15, 0}, {0, 15}, {15, 15}, {8, 0}, {8, 15}})
            EXPECT_TRUE(l->image.Transparent(At(x, k), At(y, k))) << x << "," << y;
        EXPECT_FALSE(l->image.Transparent(At(8, k), At(8, k)));
        EXPECT_FALSE(l->image.Transparent(At(1, k), At(8, k))) << "the oval spans the width";
        int firstOpaque = 0;
        while (l->image.Transparent(firstOpaque, At(8, k)))
            ++firstOpaque;
        EXPECT_TRUE(NearBlack(l->image.At(firstOpaque, At(8, k)))) << "black outline";
    }
    const int centre = static_cast<int>(std::lround(8 * k)); // the four pixels around the lamp's centre
    for (const auto& [x, y] :
         {std::pair{centre, centre}, {centre - 1, centre - 1}, {centre - 1, centre}, {centre, centre - 1}}) {
        const Colour d = dark[0].image.At(x, y);
        EXPECT_TRUE(d.g >= 60 && d.g <= 140 && d.r < 40 && d.b < 40)
            << "dull dark green " << d.r << "," << d.g << "," << d.b;
        const Colour l = lit[0].image.At(x, y);
        EXPECT_TRUE(l.g >= 240 && l.r >= 150 && l.b >= 150)
            << "pale glowing centre " << l.r << "," << l.g << "," << l.b;
    }
    const Colour litRim = lit[0].image.At(At(3, k), At(8, k));
    EXPECT_TRUE(litRim.g >= 180 && litRim.r < 100 && litRim.b < 100) << "bright green body";
}

TEST(ProgramIcon, SixteenPixelTrueColourImageComesFirst) {
    const auto icon = ReadIconFile(kSourceDir / "resources/Tovira.ico", 1);
    ASSERT_FALSE(icon.empty());
    const Image& small = icon[0].image;
    EXPECT_EQ(icon[0].width, 16);
    EXPECT_EQ(icon[0].height, 16);
    EXPECT_EQ(icon[0].bitsOrHotY, 24);
    EXPECT_EQ(small.bitsPerPixel, 24);
    int transparent = 0, paper = 0, text = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (small.Transparent(x, y)) {
                ++transparent;
                EXPECT_EQ(small.At(x, y), (Colour{})) << "transparent pixels must be black under the mask";
                continue;
            }
            const Colour c = small.At(x, y);
            paper += (c.r > 190 && c.r == c.g) ? 1 : 0;
            text += (c.b > 180 && c.r < 60) ? 1 : 0;
        }
    }
    EXPECT_GT(transparent, 20);
    EXPECT_GT(paper, 30);
    EXPECT_GE(text, 8);
}

TEST_P(PicturesAtScale, HandPointerIsASixteenColourCursorWithTheHotSpotAtTheFingertip) {
    const double k = Scale().Factor();
    const auto cursor = GetParam() == 100 ? ReadIconFile(kSourceDir / "resources/HandPointer.cur", 2)
                                          : ReadIcon(tovira::tools::EncodeCursor(tovira::art::DrawHandPointer(Scale()),
                                                                                 tovira::art::HandHotSpotX(Scale()),
                                                                                 tovira::art::HandHotSpotY(Scale())),
                                                     2);
    ASSERT_EQ(cursor.size(), 1u);
    const IconEntry& e = cursor[0];
    const int size = static_cast<int>(std::lround(32 * k));
    EXPECT_EQ(e.width, size);
    EXPECT_EQ(e.height, size);
    EXPECT_EQ(e.colourCount, 16);
    EXPECT_EQ(e.planesOrHotX, At(6, k));
    EXPECT_EQ(e.bitsOrHotY, At(0, k));
    EXPECT_EQ(e.image.bitsPerPixel, 4);
    EXPECT_EQ(e.image.paletteSize, 16);

    EXPECT_FALSE(e.image.Transparent(e.planesOrHotX, e.bitsOrHotY)) << "the hot spot is on the hand";
    for (int x = 0; x < size; ++x) {
        if (!e.image.Transparent(x, 0)) {
            EXPECT_LE(std::abs(x - e.planesOrHotX), 1.5 * k + 1) << "the fingertip is the highest point";
        }
    }
    for (int y = 1; y <= 5; ++y)
        EXPECT_TRUE(NearWhite(e.image.At(At(6, k), At(y, k)))) << "the index finger runs down from the tip";
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (!e.image.Transparent(x, y)) {
                EXPECT_TRUE(NearWhite(e.image.At(x, y)) || NearBlack(e.image.At(x, y))) << x << "," << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, PicturesAtScale, ::testing::Values(100, 125, 150, 175, 200, 250, 300));

} // namespace
