#include "art/RunLength.h"

#include <gtest/gtest.h>

namespace tovira {
namespace {

Pixels24 Striped(int width, int height) {
    Pixels24 picture{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool blue = y % 3 == 1;
            const bool spot = x == width / 2 && y == height / 2;
            picture.bgr.push_back(static_cast<std::uint8_t>(spot ? 255 : blue ? 128 : 0));
            picture.bgr.push_back(static_cast<std::uint8_t>(spot ? 255 : blue ? 64 : 0));
            picture.bgr.push_back(static_cast<std::uint8_t>(spot ? 255 : 0));
        }
    }
    return picture;
}

TEST(RunLength, RoundTripsRowsLongerThanOneRunAndSinglePixels) {
    for (const Pixels24& picture : {Striped(600, 7), Striped(1, 1), Striped(255, 2), Striped(256, 3)}) {
        const auto packed = EncodeBuiltInRunLength(picture);
        const auto decoded = DecodeBuiltInRunLength(packed);
        ASSERT_TRUE(decoded.has_value()) << picture.width;
        EXPECT_EQ(*decoded, picture) << picture.width;
    }
    EXPECT_LT(EncodeBuiltInRunLength(Striped(211, 412)).size(), 211u * 412u / 10);
}

TEST(RunLength, RejectsEverythingThatIsNotExactlyAPicture) {
    const auto good = EncodeBuiltInRunLength(Striped(20, 4));
    auto corrupt = [&](auto change) {
        auto bytes = good;
        change(bytes);
        return DecodeBuiltInRunLength(bytes).has_value();
    };
    EXPECT_FALSE(corrupt([](auto& b) { b[0] = 'X'; }));
    EXPECT_FALSE(corrupt([](auto& b) { b.resize(7); }));
    EXPECT_FALSE(corrupt([](auto& b) { b.pop_back(); }));
    EXPECT_FALSE(corrupt([](auto& b) { b.push_back(0); }));
    EXPECT_FALSE(corrupt([](auto& b) { b[4] = 0, b[5] = 0; }));       // no width
    EXPECT_FALSE(corrupt([](auto& b) { b[8] = 0; }));                 // empty run
    EXPECT_FALSE(corrupt([](auto& b) { b[8] = 21; }));                // run past the row's end
    EXPECT_FALSE(corrupt([](auto& b) { b[6] = 0xFF, b[7] = 0xFF; })); // claims more rows than it holds
    EXPECT_TRUE(corrupt([](auto&) {}));
}

} // namespace
} // namespace tovira
