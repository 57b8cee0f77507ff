#include "platform/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace tovira {

void MemorySource::Read(std::uint64_t offset, std::span<unsigned char> out) {
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
}

ByteReader::ByteReader(ByteSource& source, std::size_t window)
    : source_(source), size_(source.Size()), window_(window) {}

void ByteReader::Fill(std::uint64_t offset, std::size_t count) {
    // A bottom-up bitmap is read from its last row to its first. After a step back the window ends at the bytes
    // asked for, so that it holds the rows still to come: one read of the source per window, not per row.
    const std::uint64_t end = offset + count;
    if (offset >= start_) {
        start_ = offset;
    } else {
        start_ = end > window_.size() ? end - window_.size() : 0;
    }
    filled_ = static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), size_ - start_));
    source_.Read(start_, {window_.data(), filled_});
}

void ByteReader::Bytes(std::uint64_t offset, std::span<unsigned char> out) {
    if (out.size() > window_.size()) {
        source_.Read(offset, out);
        return;
    }
    if (offset < start_ || offset + out.size() > start_ + filled_) {
        Fill(offset, out.size());
    }
    std::memcpy(out.data(), window_.data() + (offset - start_), out.size());
}

} // namespace tovira
