#include "platform/win32/PictureBytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tovira::win32 {
namespace {

void Put(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// An 8-bit run-length bitmap whose data is a single end-of-picture mark: a few bytes that claim any size.
std::vector<unsigned char> RunLengthClaiming(std::uint32_t width, std::uint32_t height) {
    const std::size_t offset = 54 + 4 * 256;
    std::vector<unsigned char> bytes(offset + 2, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put(bytes, 2, static_cast<std::uint32_t>(bytes.size()), 4);
    Put(bytes, 10, static_cast<std::uint32_t>(offset), 4);
    Put(bytes, 14, 40, 4);
    Put(bytes, 18, width, 4);
    Put(bytes, 22, height, 4);
    Put(bytes, 26, 1, 2);
    Put(bytes, 28, 8, 2);
    Put(bytes, 30, 1, 4); // run-length, 8 bits
    Put(bytes, 34, 2, 4);
    bytes[offset + 1] = 1; // end of picture
    return bytes;
}

TEST(PictureBytes, RunLengthDataCannotClaimMoreThanTheLimit) {
    const auto small = CheckPictureBytes(RunLengthClaiming(421, 332));
    EXPECT_EQ(small.format, PictureFormat::Bitmap);
    EXPECT_EQ(small.width, 421);
    EXPECT_EQ(CheckPictureBytes(RunLengthClaiming(2048, 2048)).format, PictureFormat::Bitmap);
    EXPECT_EQ(CheckPictureBytes(RunLengthClaiming(2049, 2048)).format, PictureFormat::Unknown);
    EXPECT_EQ(CheckPictureBytes(RunLengthClaiming(8000, 8000)).format, PictureFormat::Unknown);
    EXPECT_EQ(CheckPictureBytes(RunLengthClaiming(1u << 31, 1)).format, PictureFormat::Unknown);
}

TEST(PictureBytes, GifScreenSizesAreHeldToTheSameLimit) {
    std::vector<unsigned char> gif = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0};
    Put(gif, 6, 2048, 2);
    Put(gif, 8, 2048, 2);
    EXPECT_EQ(CheckPictureBytes(gif).format, PictureFormat::Gif);
    Put(gif, 6, 65535, 2);
    Put(gif, 8, 65535, 2);
    EXPECT_EQ(CheckPictureBytes(gif).format, PictureFormat::Unknown);
}

} // namespace
} // namespace tovira::win32
