#pragma once

#include "platform/Sha256.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace tovira {

// The components that the disc kit laid out beside this program, by content. The kit writes their SHA-256 into a
// block of fixed size that the program reserves, before it signs the program, so that the signature covers the list
// and the program's layout stays as built.
struct ComponentList {
    bool filled = false; // else no kit has written it: the program vouches for no component by itself
    std::vector<Sha256Digest> digests;

    bool Lists(const Sha256Digest& digest) const;
};

// The block as this program's file holds it: a mark found nowhere else in the file, the capacity, the count (all
// ones until the kit writes it) and the digests.
inline constexpr std::size_t kComponentListMarkSize = 16;
inline constexpr std::size_t kComponentListCapacity = 64;
inline constexpr std::size_t kComponentListSize =
    kComponentListMarkSize + 8 + kComponentListCapacity * sizeof(Sha256Digest);

// The bytes of this program's own block, read where the loader put them: never folded into what it was built with.
std::vector<unsigned char> OwnComponentBlock();

// The list that a block holds; a count beyond the block's capacity or its bytes lists nothing.
ComponentList ParseComponentList(std::span<const unsigned char> block);

// For the kit: writes the digests, sorted and each once, into the one block of the program's bytes. Returns why it
// cannot (no block, more than one, more components than it holds), or "" once written.
std::string FillComponentList(std::vector<unsigned char>& program, std::vector<Sha256Digest> digests);

} // namespace tovira
