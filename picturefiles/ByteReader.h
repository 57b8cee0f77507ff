#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tovira {

// A file's bytes, read where they are needed: a picture may be far larger than the part of it that is kept.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Fills out from offset; the caller keeps the range within Size(). Raises a run-time error when the bytes
    // cannot be read.
    virtual void Read(std::uint64_t offset, std::span<unsigned char> out) = 0;
};

// Random access to a source through a window of its bytes, so that reading a header field by field or data
// byte by byte asks the source only once per window.
class ByteReader {
public:
    explicit ByteReader(ByteSource& source, std::size_t window = 64 * 1024);

    std::uint64_t Size() const { return size_; }
    bool Has(std::uint64_t offset, std::uint64_t count) const { return offset <= size_ && count <= size_ - offset; }

    // Every read below is of bytes that the caller has checked with Has.
    std::uint32_t U8(std::uint64_t offset) {
        if (offset - start_ >= filled_) { // also when offset lies before the window
            Fill(offset, 1);
        }
        return window_[static_cast<std::size_t>(offset - start_)];
    }
    std::uint32_t U16(std::uint64_t offset) { return U8(offset) | U8(offset + 1) << 8; }
    std::uint32_t U16Big(std::uint64_t offset) { return U8(offset) << 8 | U8(offset + 1); }
    std::uint32_t U32(std::uint64_t offset) { return U16(offset) | U16(offset + 2) << 16; }
    std::int32_t I32(std::uint64_t offset) { return static_cast<std::int32_t>(U32(offset)); }
    void Bytes(std::uint64_t offset, std::span<unsigned char> out);
    // The window's bytes from offset on, at least `least` of them unless the source ends sooner (least at most
    // half the window): for a caller that walks through data byte by byte without a check for each.
    std::span<const unsigned char> Ahead(std::uint64_t offset, std::size_t least);

private:
    void Fill(std::uint64_t offset, std::size_t count);

    ByteSource& source_;
    std::uint64_t size_;
    // Not filled beforehand: only the bytes read into it are ever looked at, and a small file leaves most of its
    // pages untouched.
    std::unique_ptr<unsigned char[]> memory_;
    std::span<unsigned char> window_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
};

} // namespace tovira
