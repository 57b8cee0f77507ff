#include "platform/ComponentList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tovira {

namespace {

constexpr std::size_t kCapacityAt = kComponentListMarkSize;
constexpr std::size_t kCountAt = kCapacityAt + 4;
constexpr std::size_t kDigestsAt = kCountAt + 4;
constexpr std::uint32_t kNotFilled = 0xFFFFFFFF;

// The mark is spelt out here only, inside the block itself, so that the kit finds it in the program once. Volatile
// and kept, so that the compiler neither drops the block nor reads its unfilled values from anywhere else.
__attribute__((used)) const volatile unsigned char ownBlock[kComponentListSize] = {
    'T', 'o', 'v', 'i',  'r',  'a',  0x1A, 'l', 'i', 's', 't', 0x00, 0xC3, 0x5E, 0x91, 0x27, kComponentListCapacity,
    0,   0,   0,   0xFF, 0xFF, 0xFF, 0xFF};

std::uint32_t ReadUint32(std::span<const unsigned char> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void WriteUint32(unsigned char* at, std::size_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

} // namespace

bool ComponentList::Lists(const Sha256Digest& digest) const {
    return std::find(digests.begin(), digests.end(), digest) != digests.end();
}

std::vector<unsigned char> OwnComponentBlock() {
    std::vector<unsigned char> block(kComponentListSize);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = ownBlock[i];
    }
    return block;
}

ComponentList ParseComponentList(std::span<const unsigned char> block) {
    ComponentList list;
    if (block.size() < kDigestsAt) {
        return list;
    }
    const std::uint32_t count = ReadUint32(block, kCountAt);
    if (count == kNotFilled) {
        return list;
    }
    list.filled = true;
    const std::size_t room = (block.size() - kDigestsAt) / sizeof(Sha256Digest);
    if (count > ReadUint32(block, kCapacityAt) || count > room) {
        return list;
    }
    list.digests.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(list.digests[i].data(), block.data() + kDigestsAt + i * sizeof(Sha256Digest), sizeof(Sha256Digest));
    }
    return list;
}

std::string FillComponentList(std::vector<unsigned char>& program, std::vector<Sha256Digest> digests) {
    const std::vector<unsigned char> own = OwnComponentBlock();
    const auto mark = own.begin(), markEnd = own.begin() + kComponentListMarkSize;
    const auto found = std::search(program.begin(), program.end(), mark, markEnd);
    if (found == program.end()) {
        return "has no place for the list of its components: it is older than this kit, or not Tovira";
    }
    if (std::search(found + 1, program.end(), mark, markEnd) != program.end()) {
        return "holds the mark of the list of its components more than once: it is not a build of Tovira";
    }
    const auto at = static_cast<std::size_t>(found - program.begin());
    const std::span<const unsigned char> rest(program.data() + at, program.size() - at);
    const std::size_t capacity = rest.size() >= kDigestsAt ? ReadUint32(rest, kCapacityAt) : 0;
    if (capacity > (rest.size() - std::min(rest.size(), kDigestsAt)) / sizeof(Sha256Digest)) {
        return "has a list of its components that ends past the file: it is not a build of Tovira";
    }
    std::sort(digests.begin(), digests.end());
    digests.erase(std::unique(digests.begin(), digests.end()), digests.end());
    if (digests.size() > capacity) {
        return "has room for " + std::to_string(capacity) + " components, not " + std::to_string(digests.size());
    }
    unsigned char* block = program.data() + at;
    WriteUint32(block + kCountAt, digests.size());
    for (std::size_t i = 0; i < capacity; ++i) {
        unsigned char* slot = block + kDigestsAt + i * sizeof(Sha256Digest);
        if (i < digests.size()) {
            std::memcpy(slot, digests[i].data(), sizeof(Sha256Digest));
        } else {
            std::memset(slot, 0, sizeof(Sha256Digest));
        }
    }
    return {};
}

} // namespace tovira
