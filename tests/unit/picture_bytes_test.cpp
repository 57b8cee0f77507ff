#include "CheckPictureBytes.h"
#include "picturefiles/PictureDecode.h"
#include "picturefiles/PictureScale.h"

#include "PictureFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace tovira {
namespace {

using Bytes = std::vector<unsigned char>;
using Rgb = std::vector<std::uint32_t>;

using test::Bitmap;
using test::Bitmap24;
using test::Put;

Bytes Of(const std::string& file) {
    return {file.begin(), file.end()};
}

// Small pictures made with an image editor: a red GIF of 5 by 3 and a blue JPEG of 7 by 4 pixels.
const unsigned char kRedGif5x3[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x05, 0x00, 0x03, 0x00, 0xf0, 0x00, 0x00, 0xff, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
    0x00, 0x00, 0x05, 0x00, 0x03, 0x00, 0x00, 0x02, 0x03, 0x84, 0x8f, 0x59, 0x00, 0x3b,
};

constexpr unsigned char kBlueJpeg7x4[] = {
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

constexpr std::size_t kJpegFrameHeight = 163; // where the first frame header's height lies in the JPEG above
static_assert(kBlueJpeg7x4[kJpegFrameHeight - 4] == 0xC0, "the frame header's marker");

const std::string kRedGif(reinterpret_cast<const char*>(kRedGif5x3), sizeof kRedGif5x3);
const std::string kBlueJpeg(reinterpret_cast<const char*>(kBlueJpeg7x4), sizeof kBlueJpeg7x4);

// An 8-bit run-length bitmap whose data is a single end-of-picture mark: a few bytes that claim any size. Colour 0
// is one that the skipped pixels must not take.
std::string RunLengthClaiming(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint32_t> palette(256, 0);
    palette[0] = 0x102030;
    return Bitmap(width, height, 8, palette, std::string("\0\1", 2), 1);
}

// The check and then the decoder, as the program runs them, into a target of at most width x height.
std::optional<Rgb> Decode(const Bytes& bytes, int width = kShownWidth, int height = kShownHeight) {
    const PictureCheck check = CheckPictureBytes(bytes);
    if (check.format == PictureFormat::Unknown) {
        return std::nullopt;
    }
    Rgb pixels(static_cast<std::size_t>(std::min(width, check.width) * std::min(height, check.height)));
    MemorySource source(bytes);
    if (!DecodePicture(source, check, {pixels.data(), std::min(width, check.width), std::min(height, check.height)})) {
        return std::nullopt;
    }
    return pixels;
}

// Files made by ImageMagick at test time from one smooth picture with a few edges, and its own reading of them.
class Converted {
public:
    static constexpr int kWidth = 77;
    static constexpr int kHeight = 53;

    Converted() {
        std::string ppm = "P6 " + std::to_string(kWidth) + " " + std::to_string(kHeight) + " 255\n";
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool box = x > 20 && x < 50 && y > 10 && y < 30;
                ppm += static_cast<char>(box ? 230 : 128 + 100 * std::sin(x / 9.0));
                ppm += static_cast<char>(box ? 40 : 128 + 100 * std::cos(y / 7.0));
                ppm += static_cast<char>((x * 3 + y * 2) % 256);
            }
        }
        Write("source.ppm", Bytes(ppm.begin(), ppm.end()));
    }
    ~Converted() { std::filesystem::remove_all(folder_); }

    Bytes Make(const std::string& options, const std::string& format) {
        Run("convert source.ppm " + options + " " + format + ":made");
        return Read("made");
    }
    // A progressive JPEG whose cost lies in its number of scans (tests/fuzz/crafted_jpeg.py).
    Bytes Crafted(const std::string& arguments) {
        Run(std::string("python3 '") + TOVIRA_SOURCE_DIR + "/tests/fuzz/crafted_jpeg.py' " + arguments);
        return Read("crafted");
    }
    // ImageMagick's pixels of the file last made (or of `name`), as 0xRRGGBB.
    Rgb Reference(const std::string& name = "made") {
        Run("convert " + name + " -colorspace sRGB -depth 8 rgb:made.rgb");
        const Bytes rgb = Read("made.rgb");
        Rgb pixels;
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
            pixels.push_back(std::uint32_t{rgb[i]} << 16 | std::uint32_t{rgb[i + 1]} << 8 | rgb[i + 2]);
        }
        return pixels;
    }

private:
    void Run(const std::string& command) {
        ASSERT_EQ(std::system(("cd '" + folder_.string() + "' && " + command).c_str()), 0) << command;
    }
    void Write(const std::string& name, const Bytes& bytes) {
        std::ofstream(folder_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    Bytes Read(const std::string& name) {
        std::ifstream file(folder_ / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), {});
    }

    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("tovira-pictures-" + std::to_string(getpid()));
    bool made_ = std::filesystem::create_directories(folder_);
};

// Largest and mean difference of any colour channel; the top-left width x height of the reference, whose rows are
// referenceWidth long.
std::pair<int, double> Difference(const Rgb& ours, const Rgb& reference, int width, int height,
                                  int referenceWidth = Converted::kWidth) {
    int largest = 0;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t a = ours[static_cast<std::size_t>(y * width + x)];
            const std::uint32_t b = reference[static_cast<std::size_t>(y * referenceWidth + x)];
            for (int shift : {0, 8, 16}) {
                const int difference =
                    std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
                largest = std::max(largest, difference);
                sum += difference;
            }
        }
    }
    return {largest, sum / (3.0 * width * height)};
}

TEST(PictureDecode, EveryKindOfBitmapGifAndJpegReadsAsImageMagickReadsIt) {
    Converted made;
    struct Case {
        const char* options;
        const char* format;
    };
    const Case cases[] = {
        {"", "BMP3"},
        {"-type Palette", "BMP3"},
        {"-type Palette -compress RLE", "BMP3"},
        {"-colors 16 -type Palette -depth 4", "BMP3"},
        {"-type Bilevel", "BMP3"},
        {"-define bmp:subtype=RGB565", "BMP"},
        {"-alpha on -channel A -fx 0.5", "BMP"},
        {"-colors 200", "GIF"},
        {"-colors 200 -interlace GIF", "GIF"},
        {"-sampling-factor 2x2", "JPEG"},
        {"-sampling-factor 2x1 -define jpeg:restart-interval=2", "JPEG"},
        {"-sampling-factor 1x1 -quality 98", "JPEG"},
        {"-interlace Plane -sampling-factor 2x2", "JPEG"},
        {"-interlace Plane -sampling-factor 1x1 -define jpeg:restart-interval=1", "JPEG"},
        {"-colorspace Gray -interlace Plane", "JPEG"},
        {"-colorspace CMYK -quality 98", "JPEG"},
    };
    for (const Case& c : cases) {
        const Bytes file = made.Make(c.options, c.format);
        const Rgb reference = made.Reference();
        const auto whole = Decode(file);
        ASSERT_TRUE(whole) << c.format << " " << c.options;
        const auto [largest, mean] = Difference(*whole, reference, Converted::kWidth, Converted::kHeight);
        // JPEG decoders may round a subsampled component's interpolation differently by a few levels; without
        // subsampling, and the other formats, the pixels are exact.
        const bool rounded = std::string(c.format) == "JPEG" &&
                             std::string(c.options).find("1x1") == std::string::npos &&
                             std::string(c.options).find("Gray") == std::string::npos;
        EXPECT_LE(largest, rounded ? 4 : 0) << c.format << " " << c.options;
        EXPECT_LE(mean, rounded ? 0.5 : 0) << c.format << " " << c.options;
        // Only the top-left part is decoded into a smaller target, the same pixels as in the whole.
        const auto part = Decode(file, 30, 21);
        ASSERT_TRUE(part) << c.format << " " << c.options;
        for (int y = 0; y < 21; ++y) {
            for (int x = 0; x < 30; ++x) {
                ASSERT_EQ((*part)[static_cast<std::size_t>(y * 30 + x)],
                          (*whole)[static_cast<std::size_t>(y * Converted::kWidth + x)])
                    << c.format << " " << c.options << " at " << x << "," << y;
            }
        }
    }
}

// Files made by hand whose every pixel is known: rows stored either way, a palette, run-length data, and an image
// editor's GIF and JPEG (within a few levels, as JPEG decoders round).
TEST(PictureDecode, HandMadeFilesDecodeToTheirPixels) {
    const std::vector<std::vector<std::uint32_t>> rows = {{0xFF0000, 0x00FF00, 0x0000FF},
                                                          {0xFFFFFF, 0x000000, 0x102030}};
    const Rgb topFirst = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x102030};
    const std::vector<std::uint32_t> palette = {0x000000, 0xC0C0C0, 0x0000C0};
    // Two rows of two 8-bit indices, each row padded to four bytes; bottom row first.
    const std::string indices("\x01\x02\0\0\x02\x01\0\0", 8);
    // Bottom row two of index 1, end of line; top row two of index 2, end of bitmap.
    const std::string runs("\x02\x01\0\0\x02\x02\0\x01", 8);
    struct Case {
        const char* name;
        std::string file;
        int width;
        int height;
        Rgb pixels;
        int tolerance;
    };
    const Case cases[] = {
        {"24-bit bottom-up", Bitmap24(3, rows, false), 3, 2, topFirst, 0},
        {"24-bit top-down", Bitmap24(3, rows, true), 3, 2, topFirst, 0},
        {"8-bit palette", Bitmap(2, 2, 8, palette, indices), 2, 2, {0x0000C0, 0xC0C0C0, 0xC0C0C0, 0x0000C0}, 0},
        {"8-bit run-length", Bitmap(2, 2, 8, palette, runs, 1), 2, 2, {0x0000C0, 0x0000C0, 0xC0C0C0, 0xC0C0C0}, 0},
        {"GIF", kRedGif, 5, 3, Rgb(15, 0xFF0000), 0},
        {"JPEG", kBlueJpeg, 7, 4, Rgb(28, 0x0000FF), 4},
    };
    for (const Case& c : cases) {
        const PictureCheck check = CheckPictureBytes(Of(c.file));
        EXPECT_EQ(check.width, c.width) << c.name;
        EXPECT_EQ(check.height, c.height) << c.name;
        const auto pixels = Decode(Of(c.file));
        ASSERT_TRUE(pixels) << c.name;
        ASSERT_EQ(pixels->size(), c.pixels.size()) << c.name;
        EXPECT_LE(Difference(*pixels, c.pixels, c.width, c.height, c.width).first, c.tolerance) << c.name;
    }
}

// Headers that do not hold together, or claim more than the limits allow, are refused by the check, before
// anything is allocated for them.
TEST(PictureBytes, HostileHeadersAreRefused) {
    const std::string good = Bitmap24(3, {{1, 2, 3}, {4, 5, 6}}, false);
    const auto with = [](std::string bytes, auto change) {
        change(bytes);
        return bytes;
    };
    const std::pair<std::string, PictureFormat> accepted[] = {
        {good, PictureFormat::Bitmap},
        {with(kRedGif, [](std::string& b) { Put(b, 6, 10000, 2), Put(b, 8, 10000, 2); }), PictureFormat::Gif},
        {kBlueJpeg, PictureFormat::Jpeg},
        {test::GreenIcon16(), PictureFormat::Icon},
    };
    for (const auto& [bytes, format] : accepted) {
        ASSERT_EQ(CheckPictureBytes(Of(bytes)).format, format);
    }
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"60000 by 60000", with(good, [](std::string& b) { Put(b, 18, 60000, 4), Put(b, 22, 60000, 4); })},
        {"60000 by 60000 top-down",
         with(good, [](std::string& b) { Put(b, 18, 60000, 4), Put(b, 22, static_cast<std::uint32_t>(-60000), 4); })},
        {"pixels cut short", good.substr(0, good.size() - 1)},
        {"bits beyond the end", with(good, [](std::string& b) { Put(b, 10, 1u << 30, 4); })},
        {"bits inside the header", with(good, [](std::string& b) { Put(b, 10, 20, 4); })},
        {"no width", with(good, [](std::string& b) { Put(b, 18, 0, 4); })},
        {"negative width", with(good, [](std::string& b) { Put(b, 18, 0xFFFFFFFD, 4); })},
        {"most negative height", with(good, [](std::string& b) { Put(b, 22, 0x80000000, 4); })},
        {"seven bits a pixel", with(good, [](std::string& b) { Put(b, 28, 7, 2); })},
        {"two planes", with(good, [](std::string& b) { Put(b, 26, 2, 2); })},
        {"unknown info size", with(good, [](std::string& b) { Put(b, 14, 20, 4); })},
        {"info larger than the file", with(good, [](std::string& b) { Put(b, 14, 124, 4); })},
        {"embedded JPEG", with(good, [](std::string& b) { Put(b, 30, 4, 4); })},
        {"run-length at 24 bits", with(good, [](std::string& b) { Put(b, 30, 1, 4); })},
        {"more colours than 8 bits hold", Bitmap(2, 2, 8, std::vector<std::uint32_t>(300, 0), std::string(8, '\0'))},
        {"run-length stored top-down", Bitmap(2, -2, 8, {0, 0}, std::string("\0\x01", 2), 1)},
        {"run-length of 2^31 by 1", RunLengthClaiming(1u << 31, 1)},
        {"run-length of 2^15 by 2^14", RunLengthClaiming(1u << 15, 1u << 14)},
        {"only the file header", good.substr(0, 14)},
        {"GIF screen of 65535 by 65535",
         with(kRedGif, [](std::string& b) { Put(b, 6, 65535, 2), Put(b, 8, 65535, 2); })},
        {"JPEG frame of 65535 by 65535",
         with(kBlueJpeg, [](std::string& b) { b.replace(kJpegFrameHeight, 4, 4, '\xFF'); })},
        {"JPEG without a frame header before the end", kBlueJpeg.substr(0, kJpegFrameHeight - 5)},
        {"icon whose image lies beyond the end", test::GreenIcon16(1000)},
        {"text", "Isto n\xc3\xa3o \xc3\xa9 uma imagem, apenas texto."},
        {"empty", ""},
        {"PNG", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)},
        {"a bitmap's mark alone", "BM"},
        {"a GIF's signature and a byte", "GIF89a\x05"},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_EQ(CheckPictureBytes(Of(bytes)).format, PictureFormat::Unknown) << name;
    }
}

TEST(PictureDecode, HeadersClaimingMoreThanTheDataHoldsAreRefused) {
    Converted made;
    // A JPEG and a GIF whose frame says 10000 x 10000 (100 Mpixel, within the limit) over data for 77 x 53.
    Bytes jpeg = made.Make("", "JPEG");
    std::size_t frame = 2;
    while (jpeg[frame + 1] != 0xC0) {
        frame += 2 + static_cast<std::size_t>(jpeg[frame + 2] << 8 | jpeg[frame + 3]);
    }
    jpeg[frame + 5] = jpeg[frame + 7] = 10000 >> 8;
    jpeg[frame + 6] = jpeg[frame + 8] = 10000 & 0xFF;
    EXPECT_EQ(CheckPictureBytes(jpeg).width, 10000);
    EXPECT_FALSE(Decode(jpeg));

    Bytes gif = made.Make("-colors 200", "GIF");
    Put(gif, 6, 10000, 2);
    Put(gif, 8, 10000, 2);
    EXPECT_TRUE(Decode(gif)) << "a large screen with a small image on it";
    const std::size_t image = 13 + 3 * (std::size_t{2} << (gif[10] & 7));
    ASSERT_EQ(gif[image], 0x21); // ImageMagick writes a control extension before the image
    const std::size_t descriptor = image + 8;
    ASSERT_EQ(gif[descriptor], 0x2C);
    Put(gif, descriptor + 5, 10000, 2);
    Put(gif, descriptor + 7, 10000, 2);
    EXPECT_FALSE(Decode(gif));

    Bytes bitmap = made.Make("", "BMP3");
    Put(bitmap, 18, 10000, 4);
    Put(bitmap, 22, 10000, 4);
    EXPECT_FALSE(Decode(bitmap));
    Put(bitmap, 18, 1u << 16, 4);
    Put(bitmap, 22, 1u << 15, 4);
    EXPECT_EQ(CheckPictureBytes(bitmap).format, PictureFormat::Unknown) << "beyond the limit";
}

// A DC scan and 99 repeated AC scans make the most scans that decode; one more, or a band-by-band progression of
// 882 scans, is refused at once.
// Beyond 100 scans, and where the blocks right of the kept part would need more than 16 MiB of bookkeeping (a
// progressive picture over 29000 pixels wide in three full components), a progressive JPEG is refused.
TEST(PictureDecode, JpegProgressionsBeyondTheLimitsAreRefused) {
    Converted made;
    EXPECT_TRUE(Decode(made.Crafted("repeats crafted 99 512")));
    EXPECT_FALSE(Decode(made.Crafted("repeats crafted 100 512")));
    EXPECT_FALSE(Decode(made.Crafted("bands crafted 2048")));
    EXPECT_TRUE(Decode(made.Crafted("wide crafted 24000 1700 3")));
    EXPECT_FALSE(Decode(made.Crafted("wide crafted 30000 1700 3")));
}

// Where the markers disagree, JFIF's says luminance and colour difference whatever Adobe's says; a crafted table's
// short codes may carry long values; and DC values that a crafted file sums beyond 16 bits wrap as a coefficient
// does, one block to the next.
TEST(PictureDecode, JpegColoursAndDcSumsAreTakenAsLibjpegTakesThem) {
    Converted made;
    const Bytes jfif = made.Make("-sampling-factor 1x1", "JPEG");
    ASSERT_EQ(jfif[3], 0xE0);
    Bytes both = jfif;
    const unsigned char adobe[] = {0xFF, 0xEE, 0, 14, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 0}; // transform 0
    both.insert(both.begin() + 4 + (jfif[4] << 8 | jfif[5]), std::begin(adobe), std::end(adobe));
    EXPECT_EQ(Decode(both), Decode(jfif));

    // 1-bit codes for 8-bit values: the short codes' table holds values wider than its codes.
    const auto ac = Decode(made.Crafted("ac crafted"));
    EXPECT_EQ(ac, made.Reference("crafted"));

    const auto dc = Decode(made.Crafted("dc crafted 129"));
    ASSERT_TRUE(dc);
    for (int block = 0; block < 129; ++block) {
        // Block n's DC is 2047 (n + 1) << 13 in 16 bits: 8192 times (-(n + 1) mod 8), as a signed value.
        const int eighths = (7 - block % 8) % 8;
        const std::uint32_t grey = eighths == 0 ? 128 : eighths < 4 ? 255 : 0;
        EXPECT_EQ((*dc)[static_cast<std::size_t>(block * 8)], grey * 0x010101u) << "block " << block;
    }
}

TEST(PictureDecode, RunLengthDataMayLeaveAHugePictureBlackButOnlyItsShownPartIsKept) {
    const Bytes huge = Of(RunLengthClaiming(8000, 8000));
    EXPECT_EQ(CheckPictureBytes(huge).width, 8000);
    const auto shown = Decode(huge);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->size(), static_cast<std::size_t>(kShownWidth * kShownHeight));
    EXPECT_EQ(std::count(shown->begin(), shown->end(), 0u), static_cast<std::ptrdiff_t>(shown->size()));
}

// A reader's walks through a file in a small window: the right bytes, and the file asked about once per window
// whatever the order: a bottom-up bitmap's rows last to first, a scan's bytes with a look a byte ahead (the
// later byte asked first), forwards and backwards, and the spans of the window that a scan's bits are taken from.
TEST(ByteReader, EveryWalkFillsTheWindowAboutOncePerWindow) {
    struct CountingSource final : ByteSource {
        explicit CountingSource(const Bytes& bytes) : file(bytes) {}
        MemorySource file;
        int reads = 0;
        std::uint64_t Size() const override { return file.Size(); }
        void Read(std::uint64_t offset, std::span<unsigned char> out) override { ++reads, file.Read(offset, out); }
    };
    Bytes file(100 * 1000);
    for (std::size_t i = 0; i < file.size(); ++i) {
        file[i] = static_cast<unsigned char>(i * 7 % 251);
    }
    constexpr std::size_t kWindow = 10 * 1000;
    const auto rowsBackwards = [&](ByteReader& reader) {
        Bytes row(1000);
        for (int r = 99; r >= 0; --r) {
            reader.Bytes(static_cast<std::uint64_t>(r) * 1000, row);
            ASSERT_TRUE(std::equal(row.begin(), row.end(), file.begin() + r * 1000)) << "row " << r;
        }
    };
    const auto pairs = [&](ByteReader& reader, bool forwards) {
        for (std::size_t i = 0; i + 1 < file.size(); ++i) {
            const std::size_t at = forwards ? i : file.size() - 2 - i;
            ASSERT_EQ(reader.U8(at + 1), file[at + 1]) << at;
            ASSERT_EQ(reader.U8(at), file[at]) << at;
        }
    };
    const auto spans = [&](ByteReader& reader) {
        for (std::size_t at = 0; at < file.size();) {
            const std::span<const unsigned char> bytes = reader.Ahead(at, 2);
            ASSERT_GE(bytes.size(), std::min<std::size_t>(2, file.size() - at)) << at;
            ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at))) << at;
            at += std::max<std::size_t>(bytes.size() - 1, 1); // the last byte again with the next span
        }
    };
    const std::function<void(ByteReader&)> walks[] = {rowsBackwards, [&](ByteReader& reader) { pairs(reader, true); },
                                                      [&](ByteReader& reader) { pairs(reader, false); }, spans};
    for (const auto& walk : walks) {
        CountingSource source(file);
        ByteReader reader(source, kWindow);
        walk(reader);
        EXPECT_LE(source.reads, static_cast<int>(file.size() * 8 / (7 * kWindow) + 2));
    }
}

} // namespace
} // namespace tovira

// Pixel centres line up: the corners keep their colours, the pixels between blend in steps, and where the target
// reaches past the enlargement the edge repeats.
TEST(PictureScale, EnlargingBlendsBetweenPixelCentresAndRepeatsTheEdges) {
    const std::vector<std::uint32_t> source = {0x000000, 0xFF8040};
    std::vector<std::uint32_t> out(5 * 2, 0x123456);
    tovira::EnlargePicture({source.data(), 2, 1}, 2.0, {out.data(), 5, 2});
    const std::vector<std::uint32_t> row = {0x000000, 0x402010, 0xBF6030, 0xFF8040, 0xFF8040};
    EXPECT_EQ(std::vector<std::uint32_t>(out.begin(), out.begin() + 5), row);
    EXPECT_EQ(std::vector<std::uint32_t>(out.begin() + 5, out.end()), row);
    std::vector<std::uint32_t> column(5);
    tovira::EnlargePicture({source.data(), 1, 2}, 2.0, {column.data(), 1, 5});
    EXPECT_EQ(column, row);

    std::vector<std::uint32_t> flat(7 * 7);
    const std::vector<std::uint32_t> grey(3 * 3, 0x808080);
    tovira::EnlargePicture({grey.data(), 3, 3}, 2.5, {flat.data(), 7, 7});
    EXPECT_EQ(flat, std::vector<std::uint32_t>(7 * 7, 0x808080));
}
