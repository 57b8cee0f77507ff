#include "art/RunLength.h"

#include <algorithm>
#include <cstring>

namespace tovira {

namespace {

constexpr std::uint8_t kMagic[] = {'T', 'R', 'L', 'E'};
constexpr std::size_t kHeaderSize = 8;
constexpr int kLongestRun = 255;

} // namespace

std::vector<std::uint8_t> EncodeBuiltInRunLength(const Pixels24& picture) {
    std::vector<std::uint8_t> out(std::begin(kMagic), std::end(kMagic));
    for (int size : {picture.width, picture.height}) {
        out.push_back(static_cast<std::uint8_t>(size & 0xFF));
        out.push_back(static_cast<std::uint8_t>((size >> 8) & 0xFF));
    }
    const auto width = static_cast<std::size_t>(picture.width);
    for (std::size_t row = 0; row < static_cast<std::size_t>(picture.height); ++row) {
        const std::uint8_t* pixels = picture.bgr.data() + row * width * 3;
        for (std::size_t x = 0; x < width;) {
            std::size_t run = 1;
            while (x + run < width && run < kLongestRun &&
                   std::memcmp(pixels + x * 3, pixels + (x + run) * 3, 3) == 0) {
                ++run;
            }
            out.push_back(static_cast<std::uint8_t>(run));
            out.insert(out.end(), pixels + x * 3, pixels + x * 3 + 3);
            x += run;
        }
    }
    return out;
}

std::optional<Pixels24> DecodeBuiltInRunLength(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || !std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin())) {
        return std::nullopt;
    }
    Pixels24 picture;
    picture.width = bytes[4] | bytes[5] << 8;
    picture.height = bytes[6] | bytes[7] << 8;
    if (picture.width == 0 || picture.height == 0) {
        return std::nullopt;
    }
    const auto width = static_cast<std::size_t>(picture.width);
    picture.bgr.reserve(width * static_cast<std::size_t>(picture.height) * 3);
    std::size_t at = kHeaderSize;
    for (int row = 0; row < picture.height; ++row) {
        for (std::size_t x = 0; x < width;) {
            if (bytes.size() - at < 4) {
                return std::nullopt;
            }
            const std::size_t run = bytes[at];
            if (run == 0 || x + run > width) {
                return std::nullopt;
            }
            for (std::size_t i = 0; i < run; ++i) {
                picture.bgr.insert(picture.bgr.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
            }
            x += run;
            at += 4;
        }
    }
    if (at != bytes.size()) {
        return std::nullopt;
    }
    return picture;
}

} // namespace tovira
