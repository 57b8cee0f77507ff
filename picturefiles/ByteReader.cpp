#include "picturefiles/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace tovira {

ByteReader::ByteReader(ByteSource& source, std::size_t window)
    : source_(source), size_(source.Size()), memory_(std::make_unique_for_overwrite<unsigned char[]>(window)),
      window_(memory_.get(), window) {}

void ByteReader::Fill(std::uint64_t offset, std::size_t count) {
    // The window keeps a 32nd of itself (2 KiB) behind the way the reader goes: ahead of the bytes asked for when
    // it steps back (a bottom-up bitmap's rows, last to first), before them when it steps forward. A reader that
    // looks a byte or a field ahead and then back, or back and then ahead, stays within the window, so each byte
    // of the source is read about once whatever the order of the asking.
    const std::uint64_t end = offset + count;
    const std::uint64_t slack = window_.size() / 32;
    if (offset >= start_) {
        start_ = offset > slack ? offset - slack : 0;
    } else {
        const std::uint64_t reach = std::min(size_, end + slack);
        start_ = reach > window_.size() ? reach - window_.size() : 0;
    }
    // Near the end of the source the window reaches back instead, so that it is always full.
    start_ = std::min(start_, size_ > window_.size() ? size_ - window_.size() : 0);
    filled_ = static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), size_ - start_));
    source_.Read(start_, {window_.data(), filled_});
}

void ByteReader::Bytes(std::uint64_t offset, std::span<unsigned char> out) {
    if (out.size() > window_.size() / 2) { // more than a window with its slack holds
        source_.Read(offset, out);
        return;
    }
    std::memcpy(out.data(), Ahead(offset, out.size()).data(), out.size());
}

std::span<const unsigned char> ByteReader::Ahead(std::uint64_t offset, std::size_t least) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(least, size_ - offset));
    if (offset < start_ || offset + count > start_ + filled_) {
        Fill(offset, count);
    }
    return {window_.data() + (offset - start_), static_cast<std::size_t>(start_ + filled_ - offset)};
}

} // namespace tovira
