#include "picturefiles/PictureScale.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace tovira {

namespace {

// The two source pixels that a target pixel falls between along one axis, and the second one's weight in 256ths.
struct Tap {
    int first = 0;
    int second = 0;
    std::uint32_t weight = 0;
};

std::vector<Tap> TapsAlong(int targetLength, int sourceLength, double factor) {
    std::vector<Tap> taps(static_cast<std::size_t>(targetLength));
    for (int i = 0; i < targetLength; ++i) {
        // Pixel centres line up: the target pixel's centre, where it lies in the source.
        const double at = std::clamp((i + 0.5) / factor - 0.5, 0.0, static_cast<double>(sourceLength - 1));
        const int first = static_cast<int>(at);
        taps[static_cast<std::size_t>(i)] = {first, std::min(first + 1, sourceLength - 1),
                                             static_cast<std::uint32_t>(std::lround((at - first) * 256))};
    }
    return taps;
}

// Red and blue, then green, each in a 16-bit lane of its own, so that one multiplication weighs two channels.
std::uint32_t Blend(std::uint32_t a, std::uint32_t b, std::uint32_t weight) {
    const std::uint32_t redBlue =
        (((a & 0xFF00FF) * (256 - weight) + (b & 0xFF00FF) * weight + 0x800080) >> 8) & 0xFF00FF;
    const std::uint32_t green = (((a & 0xFF00) * (256 - weight) + (b & 0xFF00) * weight + 0x8000) >> 8) & 0xFF00;
    return redBlue | green;
}

} // namespace

void EnlargePicture(const PixelSource& source, double factor, const PixelTarget& target) {
    if (source.width <= 0 || source.height <= 0) {
        return;
    }
    const std::vector<Tap> columns = TapsAlong(target.width, source.width, factor);
    const std::vector<Tap> rows = TapsAlong(target.height, source.height, factor);
    // Each source row is widened once and kept while the target's rows fall on it: about four times at 200 %.
    struct Widened {
        int source = -1;
        std::vector<std::uint32_t> pixels;
    };
    Widened upper, lower;
    const auto widen = [&](Widened& row, int sourceRow) {
        if (row.source == sourceRow) {
            return;
        }
        const std::uint32_t* from =
            source.pixels + static_cast<std::size_t>(sourceRow) * static_cast<std::size_t>(source.width);
        row.pixels.resize(static_cast<std::size_t>(target.width));
        for (std::size_t x = 0; x < columns.size(); ++x) {
            row.pixels[x] = Blend(from[columns[x].first], from[columns[x].second], columns[x].weight);
        }
        row.source = sourceRow;
    };
    for (int y = 0; y < target.height; ++y) {
        const Tap& row = rows[static_cast<std::size_t>(y)];
        if (lower.source == row.first) {
            std::swap(upper, lower);
        }
        widen(upper, row.first);
        widen(lower, row.second);
        for (int x = 0; x < target.width; ++x) {
            const auto at = static_cast<std::size_t>(x);
            target.Put(x, y, Blend(upper.pixels[at], lower.pixels[at], row.weight));
        }
    }
}

} // namespace tovira
