#pragma once

// Pictures held in memory, for the tests and the fuzzer: the program reads its pictures from files.
#include "picturefiles/ByteReader.h"
#include "picturefiles/PictureCheck.h"

#include <cstring>
#include <span>

namespace tovira {

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void Read(std::uint64_t offset, std::span<unsigned char> out) override {
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
    }

private:
    std::span<const unsigned char> bytes_;
};

inline PictureCheck CheckPictureBytes(std::span<const unsigned char> bytes) {
    MemorySource source(bytes);
    ByteReader in(source);
    return CheckPicture(in);
}

} // namespace tovira
