#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tovira {

using Sha256Digest = std::array<unsigned char, 32>;

// SHA-256 of a stream of bytes given in pieces of any size. The program and the disc kit share it, so that what the
// kit lists is what the program compares.
class Sha256 {
public:
    Sha256();
    void Add(std::span<const unsigned char> bytes);
    // The digest of everything added; the object is spent afterwards.
    Sha256Digest Finish();

private:
    void Compress(const unsigned char* block);

    std::array<std::uint32_t, 8> state_;
    std::array<unsigned char, 64> pending_{};
    std::size_t pendingLength_ = 0;
    std::uint64_t totalLength_ = 0;
};

Sha256Digest Sha256Of(std::span<const unsigned char> bytes);

} // namespace tovira
