// The Huffman tables of JPEG's entropy coding: read from their segments and built from the counts and symbols
// there, with a lookup of the short codes by their first bits, and the codes of a scan's data read through them.
#include "picturefiles/JpegParts.h"

namespace tovira::jpeg {

bool Huffman::Build(const std::array<std::uint8_t, 16>& counts, const std::vector<std::uint8_t>& symbols) {
    symbols_ = symbols;
    fast_.fill(0);
    std::int32_t code = 0;
    std::size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
        offset_[static_cast<std::size_t>(length)] = static_cast<std::int32_t>(k) - code;
        for (int i = 0; i < counts[static_cast<std::size_t>(length - 1)]; ++i, ++code, ++k) {
            if (code >= 1 << length) {
                return false;
            }
            if (length <= kFastBits) {
                const int spare = kFastBits - length;
                for (int fill = 0; fill < 1 << spare; ++fill) {
                    fast_[static_cast<std::size_t>(code << spare | fill)] =
                        static_cast<std::uint16_t>(length << 8 | symbols_[k]);
                }
            }
        }
        maxCode_[static_cast<std::size_t>(length)] = code - 1;
        code <<= 1;
    }
    BuildShort();
    return true;
}

void Huffman::BuildShort() {
    for (std::size_t i = 0; i < short_.size(); ++i) {
        const int length = fast_[i] >> 8;
        const int run = fast_[i] >> 4 & 15;
        const int size = fast_[i] & 15;
        if (length != 0 && run == 0 && size == 0) {
            short_[i] = kShortEnd | length;
            continue;
        }
        if (length == 0 || size == 0 || length + size > kFastBits) {
            short_[i] = 0;
            continue;
        }
        const int bits = static_cast<int>(i) >> (kFastBits - length - size) & ((1 << size) - 1);
        const int value = bits >= 1 << (size - 1) ? bits : bits - (1 << size) + 1;
        short_[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << 16) | run << 8 | (length + size);
    }
}

std::pair<int, int> Huffman::MatchLong(std::uint32_t next16) const {
    for (int length = kFastBits + 1; length <= 16; ++length) {
        const auto code = static_cast<std::int32_t>(next16 >> (16 - length));
        if (code <= maxCode_[static_cast<std::size_t>(length)]) {
            return {symbols_[static_cast<std::size_t>(code + offset_[static_cast<std::size_t>(length)])], length};
        }
    }
    return {0, 0};
}

bool ReadHuffmanTables(ByteReader& in, const Segment& s, Tables& tables) {
    for (std::uint64_t at = s.at; at < s.at + s.size;) {
        if (s.at + s.size - at < 17) {
            return false;
        }
        const std::uint32_t kind = in.U8(at);
        if (kind >> 4 > 1 || (kind & 15) > 3) {
            return false;
        }
        std::array<std::uint8_t, 16> counts{};
        std::size_t total = 0;
        for (std::size_t i = 0; i < 16; ++i) {
            counts[i] = static_cast<std::uint8_t>(in.U8(at + 1 + i));
            total += counts[i];
        }
        at += 17;
        if (total > 256 || s.at + s.size - at < total) {
            return false;
        }
        std::vector<std::uint8_t> symbols(total);
        for (std::size_t i = 0; i < total; ++i) {
            symbols[i] = static_cast<std::uint8_t>(in.U8(at + i));
        }
        at += total;
        auto& table = (kind >> 4 == 0 ? tables.dc : tables.ac)[kind & 15];
        table.emplace();
        if (!table->Build(counts, symbols)) {
            return false;
        }
    }
    return true;
}

} // namespace tovira::jpeg
