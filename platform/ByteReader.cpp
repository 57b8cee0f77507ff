#include "platform/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace tovira {

void MemorySource::Read(std::uint64_t offset, std::span<unsigned char> out) {
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
}

ByteReader::ByteReader(ByteSource& source, std::size_t window)
    : source_(source), size_(source.Size()), window_(window) {}

void ByteReader::Fill(std::uint64_t offset) {
    start_ = offset;
    filled_ = static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), size_ - offset));
    source_.Read(offset, {window_.data(), filled_});
}

void ByteReader::Bytes(std::uint64_t offset, std::span<unsigned char> out) {
    if (out.size() > window_.size()) {
        source_.Read(offset, out);
        return;
    }
    if (offset < start_ || offset + out.size() > start_ + filled_) {
        Fill(offset);
    }
    std::memcpy(out.data(), window_.data() + (offset - start_), out.size());
}

} // namespace tovira
