#pragma once

#include "picturefiles/ByteReader.h"
#include "picturefiles/JpegParts.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace tovira::jpeg {

// The entropy-coded bits of one scan. Where the data meets a marker or the file's end, zero bits follow; taking
// one of those means that the data was too short for the blocks the header states. The bytes are taken straight
// from the reader's window, which is moved on when fewer than two are left in it.
class BitReader {
public:
    BitReader(ByteReader& in, std::uint64_t at) : in_(in), base_(at) {}

    std::uint32_t Take(int n) {
        Fill(n);
        Bits bits = Borrow();
        const std::uint32_t value = bits.Take(n);
        GiveBack(bits);
        return value;
    }
    void Discard(int n) {
        for (; n > 16; n -= 16) {
            Take(16);
        }
        Take(n);
    }
    // The bit buffer by value, for a loop that decodes a whole block: held in registers, where the reader's own
    // fields would go through memory at every code. Borrowed, kept filled with Fill, and given back when the loop
    // is done.
    class Bits {
    public:
        std::uint32_t Peek16() const { return static_cast<std::uint32_t>(bits_ >> (count_ - 16)) & 0xFFFF; }
        void Skip(int n) { count_ -= n; }
        std::uint32_t Take(int n) {
            if (n == 0) {
                return 0;
            }
            const auto value = static_cast<std::uint32_t>(bits_ >> (count_ - n)) & ((1u << n) - 1);
            count_ -= n;
            return value;
        }
        // A value of n bits as the standard stores differences: the lower half stands for the negative ones.
        int Signed(int n) {
            const auto value = static_cast<int>(Take(n));
            return n == 0 || value >= 1 << (n - 1) ? value : value - (1 << n) + 1;
        }

    private:
        friend class BitReader;
        Bits(std::uint64_t bits, int count) : bits_(bits), count_(count) {}

        std::uint64_t bits_;
        int count_;
    };
    Bits Borrow() const { return {bits_, count_}; }
    // At least 32 bits in the buffer: a code and the bits of its value.
    void Fill(Bits& bits) {
        if (bits.count_ < 32) {
            GiveBack(bits);
            Refill();
            bits = Borrow();
        }
    }
    void GiveBack(const Bits& bits) {
        bits_ = bits.bits_;
        count_ = bits.count_;
        NoteOverrun();
    }
    bool Overrun() const { return overrun_; }
    std::uint64_t Position() const { return base_ + static_cast<std::uint64_t>(next_ - data_); }

    // At the end of a restart interval: the rest of the byte is padding, then comes a restart marker.
    bool Restart() {
        std::uint64_t at = Position();
        bits_ = 0;
        count_ = 0;
        padding_ = 0;
        atMarker_ = false;
        while (in_.Has(at, 2) && in_.U8(at) == 0xFF && in_.U8(at + 1) == 0xFF) {
            ++at;
        }
        const bool restart = in_.Has(at, 2) && in_.U8(at) == 0xFF && in_.U8(at + 1) >= 0xD0 && in_.U8(at + 1) <= 0xD7;
        base_ = restart ? at + 2 : at;
        data_ = next_ = end_ = nullptr;
        return restart;
    }

private:
    void NoteOverrun() {
        if (count_ < padding_) {
            overrun_ = true;
            padding_ = count_;
        }
    }
    void Fill(int need) {
        if (count_ < need) {
            Refill();
        }
    }
    // As many whole bytes as the buffer takes: a word of them at once where the window holds eight more without a
    // 0xFF among them, else without a check for the window's end or a marker while neither is near, then byte by
    // byte.
    void Refill() {
        if (end_ - next_ >= 8) {
            std::uint64_t word;
            std::memcpy(&word, next_, sizeof word);
            if constexpr (std::endian::native == std::endian::little) {
                word = __builtin_bswap64(word);
            }
            constexpr std::uint64_t ones = 0x0101010101010101;
            if (((~word - ones) & word & ones << 7) == 0) { // no byte of the word is 0xFF
                const int bytes = (63 - count_) >> 3;
                bits_ = bits_ << (8 * bytes) | word >> (64 - 8 * bytes);
                next_ += bytes;
                count_ += 8 * bytes;
                return;
            }
        }
        while (count_ <= 56 && end_ - next_ >= 2 && (next_[0] != 0xFF || next_[1] == 0)) {
            bits_ = bits_ << 8 | next_[0];
            next_ += next_[0] == 0xFF ? 2 : 1;
            count_ += 8;
        }
        while (count_ <= 56) {
            if (end_ - next_ < 2 && !atMarker_) {
                Fetch();
            }
            std::uint32_t byte = 0;
            if (!atMarker_ && next_ < end_ && (*next_ != 0xFF || (end_ - next_ >= 2 && next_[1] == 0))) {
                byte = *next_;
                next_ += byte == 0xFF ? 2 : 1;
            } else {
                atMarker_ = true;
                padding_ += 8;
            }
            bits_ = bits_ << 8 | byte;
            count_ += 8;
        }
    }
    void Fetch() {
        base_ = Position();
        data_ = next_ = end_ = nullptr;
        if (in_.Has(base_, 1)) {
            const std::span<const unsigned char> bytes = in_.Ahead(base_, 2);
            data_ = next_ = bytes.data();
            end_ = data_ + bytes.size();
        }
    }

    ByteReader& in_;
    std::uint64_t base_; // where data_ lies in the file
    const unsigned char* data_ = nullptr;
    const unsigned char* next_ = nullptr;
    const unsigned char* end_ = nullptr;
    std::uint64_t bits_ = 0;
    int count_ = 0;
    int padding_ = 0;
    bool atMarker_ = false;
    bool overrun_ = false;
};

// One scan's decoder state, alive while that scan is decoded.
class ScanState {
public:
    ScanState(ByteReader& in, const Scan& scanToRead, std::uint64_t at) : bits(in, at), scan(scanToRead) {}

    // Before each unit of the scan (a block or, interleaved, a group of blocks): at the end of a restart
    // interval, the predictions and band runs start afresh.
    bool NextUnit() {
        if (bits.Overrun()) {
            return false;
        }
        if (scan.restartInterval == 0) {
            return true;
        }
        if (untilRestart_ == 0 && started_) {
            if (!bits.Restart()) {
                return false;
            }
            predictions.fill(0);
            endOfBands = 0;
        }
        started_ = true;
        untilRestart_ = (untilRestart_ == 0 ? scan.restartInterval : untilRestart_) - 1;
        return true;
    }
    // How many of the next `most` units the band run passes over at once: it never crosses a restart.
    int RunLength(int most) const {
        const auto units = std::min<std::uint32_t>(endOfBands, static_cast<std::uint32_t>(most));
        return static_cast<int>(scan.restartInterval == 0 ? units : std::min(units, untilRestart_ + 1));
    }
    // Passes over units within the band run, the first of which NextUnit has begun.
    void PassOver(int units) {
        endOfBands -= static_cast<std::uint32_t>(units);
        if (scan.restartInterval != 0) {
            untilRestart_ -= static_cast<std::uint32_t>(units - 1);
        }
    }

    BitReader bits;
    const Scan& scan;
    std::array<int, 4> predictions{};
    std::uint32_t endOfBands = 0;

private:
    std::uint32_t untilRestart_ = 0;
    bool started_ = false;
};

} // namespace tovira::jpeg
