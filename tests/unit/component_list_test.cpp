#include "platform/ComponentList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace tovira {
namespace {

// The FIPS 180-4 examples, each also fed in uneven pieces, so that every way a piece meets the 64-byte blocks is taken.
TEST(Sha256, GivesTheStandardsDigestsInPiecesOfAnySize) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, expected] : vectors) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
        for (std::size_t piece : {message.size() + 1, std::size_t{1}, std::size_t{63}, std::size_t{65}}) {
            Sha256 sum;
            for (std::size_t at = 0; at < message.size(); at += piece) {
                sum.Add({bytes + at, std::min(piece, message.size() - at)});
            }
            std::string hex;
            for (unsigned char byte : sum.Finish()) {
                hex += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
            }
            EXPECT_EQ(hex, expected) << message.size() << " bytes in pieces of " << piece;
        }
    }
}

// A program's bytes are noise around the one block, as code and data are; the kit fills the block in place, and a
// count that the block cannot hold lists nothing.
TEST(ComponentList, IsFoundFilledInPlaceReadBackAndRefusedWhereItCannotBe) {
    std::mt19937 noise(28);
    const auto random = [&](auto& bytes) {
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<unsigned char>(noise()); });
    };
    std::vector<unsigned char> program(200000);
    random(program);
    const std::vector<unsigned char> block = OwnComponentBlock();
    const auto at = std::ptrdiff_t{123457};
    std::copy(block.begin(), block.end(), program.begin() + at);
    const std::vector<unsigned char> before = program;
    const auto parsed = [&] { return ParseComponentList({program.data() + at, program.size() - 123457}); };
    EXPECT_FALSE(parsed().filled) << "the program as built lists nothing";

    std::vector<Sha256Digest> digests(kComponentListCapacity + 1);
    std::for_each(digests.begin(), digests.end(), random);
    EXPECT_EQ(FillComponentList(program, digests), "has room for 64 components, not 65");
    EXPECT_EQ(program, before);
    digests.resize(3);
    digests[2] = digests[0];
    ASSERT_EQ(FillComponentList(program, digests), "");
    EXPECT_TRUE(
        std::equal(program.begin() + at + kComponentListSize, program.end(), before.begin() + at + kComponentListSize));
    EXPECT_TRUE(std::equal(program.begin(), program.begin() + at, before.begin()));
    EXPECT_EQ(parsed().digests,
              (std::vector<Sha256Digest>{std::min(digests[0], digests[1]), std::max(digests[0], digests[1])}));
    EXPECT_TRUE(parsed().filled && parsed().Lists(digests[1]) && !parsed().Lists(Sha256Of({})));

    program[at + 20] = 65; // the count
    EXPECT_TRUE(parsed().filled && parsed().digests.empty());
    program[at + 20] = 3;
    EXPECT_TRUE(ParseComponentList({program.data() + at, 24 + 2 * 32}).digests.empty());

    std::vector<unsigned char> twice = before;
    twice.insert(twice.end(), block.begin(), block.end());
    EXPECT_NE(FillComponentList(twice, {}).find("more than once"), std::string::npos);
    std::vector<unsigned char> cut(before.begin(), before.begin() + at + 100);
    EXPECT_NE(FillComponentList(cut, {}).find("past the file"), std::string::npos);
    cut.resize(123457);
    EXPECT_NE(FillComponentList(cut, {}).find("no place"), std::string::npos);
}

} // namespace
} // namespace tovira
