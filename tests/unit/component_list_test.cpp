#include "platform/ComponentList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace tovira {
namespace {

std::string Hex(const Sha256Digest& digest) {
    std::string hex;
    for (unsigned char byte : digest) {
        hex += "0123456789abcdef"[byte >> 4];
        hex += "0123456789abcdef"[byte & 15];
    }
    return hex;
}

// The FIPS 180-4 examples, and two lengths at the padding's edges as Python's hashlib gives them, each also fed in
// uneven pieces, so that every way a piece meets the 64-byte blocks is taken.
TEST(Sha256, GivesTheStandardsDigestsInPiecesOfAnySize) {
    const struct {
        std::string message;
        const char* digest;
    } vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
    };
    for (const auto& v : vectors) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(v.message.data());
        EXPECT_EQ(Hex(Sha256Of({bytes, v.message.size()})), v.digest) << v.message.size() << " bytes";
        for (std::size_t piece : {1u, 7u, 63u, 65u}) {
            Sha256 sum;
            for (std::size_t at = 0; at < v.message.size(); at += piece) {
                sum.Add({bytes + at, std::min(piece, v.message.size() - at)});
            }
            EXPECT_EQ(Hex(sum.Finish()), v.digest) << v.message.size() << " bytes in pieces of " << piece;
        }
    }
}

// A program's bytes are noise around the one block, as code and data are; the kit fills the block in place.
struct ComponentListTest : ::testing::Test {
    std::mt19937 noise{28};
    std::vector<unsigned char> program;
    std::size_t at = 0;

    void SetUp() override {
        program.resize(200000);
        std::generate(program.begin(), program.end(), [&] { return static_cast<unsigned char>(noise()); });
        const std::vector<unsigned char> block = OwnComponentBlock();
        at = 123457;
        std::copy(block.begin(), block.end(), program.begin() + static_cast<std::ptrdiff_t>(at));
    }
    Sha256Digest Random() {
        Sha256Digest digest;
        std::generate(digest.begin(), digest.end(), [&] { return static_cast<unsigned char>(noise()); });
        return digest;
    }
    ComponentList Parsed() const { return ParseComponentList({program.data() + at, program.size() - at}); }
};

TEST_F(ComponentListTest, IsFoundFilledInPlaceAndReadBackSortedAndEachOnce) {
    EXPECT_FALSE(ParseComponentList(OwnComponentBlock()).filled) << "the program as built lists nothing";
    EXPECT_FALSE(Parsed().filled);
    const std::vector<unsigned char> before = program;
    const Sha256Digest a = Random(), b = Random();
    ASSERT_EQ(FillComponentList(program, {b, a, b}), "");
    EXPECT_EQ(program.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(at), program.begin()));
    EXPECT_TRUE(std::equal(before.begin() + static_cast<std::ptrdiff_t>(at + kComponentListSize), before.end(),
                           program.begin() + static_cast<std::ptrdiff_t>(at + kComponentListSize)));
    const ComponentList list = Parsed();
    EXPECT_TRUE(list.filled);
    EXPECT_EQ(list.digests, (std::vector<Sha256Digest>{std::min(a, b), std::max(a, b)}));
    EXPECT_TRUE(list.Lists(a) && list.Lists(b) && !list.Lists(Random()));

    // Filled again with fewer, as a program taken from a laid-out medium would be: nothing of the first list stays.
    ASSERT_EQ(FillComponentList(program, {}), "");
    EXPECT_TRUE(Parsed().filled);
    EXPECT_TRUE(Parsed().digests.empty());
    EXPECT_EQ(std::count(program.begin() + static_cast<std::ptrdiff_t>(at + 24),
                         program.begin() + static_cast<std::ptrdiff_t>(at + kComponentListSize), 0),
              static_cast<std::ptrdiff_t>(kComponentListCapacity * 32));
}

TEST_F(ComponentListTest, IsRefusedWhereMissingTwiceOrTooSmallAndReadsNothingBeyondItsBounds) {
    std::vector<Sha256Digest> many(kComponentListCapacity + 1);
    std::generate(many.begin(), many.end(), [&] { return Random(); });
    const std::vector<unsigned char> before = program;
    EXPECT_EQ(FillComponentList(program, many), "has room for 64 components, not 65");
    many.pop_back();
    EXPECT_EQ(program, before);
    EXPECT_EQ(FillComponentList(program, many), "");
    EXPECT_EQ(Parsed().digests.size(), kComponentListCapacity);

    std::vector<unsigned char> twice = before;
    twice.insert(twice.end(), before.begin() + static_cast<std::ptrdiff_t>(at),
                 before.begin() + static_cast<std::ptrdiff_t>(at + kComponentListSize));
    EXPECT_NE(FillComponentList(twice, {}).find("more than once"), std::string::npos);
    std::vector<unsigned char> none(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_NE(FillComponentList(none, {}).find("no place"), std::string::npos);
    std::vector<unsigned char> cut(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(at + 100));
    EXPECT_NE(FillComponentList(cut, {}).find("past the file"), std::string::npos);

    // A count beyond the capacity, or beyond the bytes there are, lists nothing: every component is refused.
    program[at + 20] = 65;
    program[at + 21] = program[at + 22] = program[at + 23] = 0;
    EXPECT_TRUE(Parsed().filled && Parsed().digests.empty());
    program[at + 20] = 3;
    EXPECT_TRUE(ParseComponentList({program.data() + at, 24 + 2 * 32}).digests.empty());
    EXPECT_FALSE(ParseComponentList({program.data() + at, 10}).filled);
}

} // namespace
} // namespace tovira
