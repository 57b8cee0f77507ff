#include "ImageFiles.h"

#include <cstddef>

namespace tovira::tools {
namespace {

void Put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Patch32(Bytes& out, size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

size_t Stride(int width, int bitsPerPixel) {
    return static_cast<size_t>((width * bitsPerPixel + 31) / 32 * 4);
}

// BITMAPINFOHEADER; images inside icon and cursor files count the mask into the height and leave the
// resolution at zero.
void PutInfoHeader(Bytes& out, int width, int height, int bitsPerPixel, std::uint32_t imageSize,
                   std::uint32_t pixelsPerMetre = 0) {
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bitsPerPixel));
    Put32(out, 0); // uncompressed
    Put32(out, imageSize);
    Put32(out, pixelsPerMetre);
    Put32(out, pixelsPerMetre);
    Put32(out, 0);
    Put32(out, 0);
}

// The colour rows of an icon's image; transparent pixels stay black so that the mask alone decides what shows
// through.
void PutMaskedPixels24(Bytes& out, const Canvas& canvas) {
    const size_t padding = Stride(canvas.Width(), 24) - static_cast<size_t>(canvas.Width()) * 3;
    for (int y = canvas.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            const Rgb c = canvas.Opaque(x, y) ? canvas.Colour(x, y) : Rgb{};
            out.push_back(art::ChannelByte(c.b));
            out.push_back(art::ChannelByte(c.g));
            out.push_back(art::ChannelByte(c.r));
        }
        out.insert(out.end(), padding, 0);
    }
}

template <typename IsTransparent> void PutMask(Bytes& out, int width, int height, IsTransparent isTransparent) {
    const size_t stride = Stride(width, 1);
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(stride, 0);
        for (int x = 0; x < width; ++x) {
            if (isTransparent(x, y))
                row[static_cast<size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

} // namespace

Bytes EncodeBitmap(const Pixels24& picture) {
    const size_t stride = Stride(picture.width, 24);
    const auto imageSize = static_cast<std::uint32_t>(stride * static_cast<size_t>(picture.height));
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + imageSize);
    Put32(out, 0);
    Put32(out, 54);
    PutInfoHeader(out, picture.width, picture.height, 24, imageSize, 2835); // 72 dots per inch
    const size_t rowBytes = static_cast<size_t>(picture.width) * 3;
    for (int y = picture.height - 1; y >= 0; --y) {
        const auto row = picture.bgr.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(y) * rowBytes);
        out.insert(out.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
        out.insert(out.end(), stride - rowBytes, 0);
    }
    return out;
}

Bytes EncodeIcon(const std::vector<const Canvas*>& images) {
    Bytes out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, static_cast<unsigned>(images.size()));
    std::vector<size_t> entries;
    for (const Canvas* image : images) {
        out.push_back(static_cast<std::uint8_t>(image->Width() % 256));
        out.push_back(static_cast<std::uint8_t>(image->Height() % 256));
        out.push_back(0); // no palette
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 24);
        entries.push_back(out.size());
        Put32(out, 0); // size and offset, patched below
        Put32(out, 0);
    }
    for (size_t i = 0; i < images.size(); ++i) {
        const Canvas& image = *images[i];
        const size_t start = out.size();
        const auto xorSize =
            static_cast<std::uint32_t>(Stride(image.Width(), 24) * static_cast<size_t>(image.Height()));
        const auto andSize = static_cast<std::uint32_t>(Stride(image.Width(), 1) * static_cast<size_t>(image.Height()));
        PutInfoHeader(out, image.Width(), image.Height() * 2, 24, xorSize + andSize);
        PutMaskedPixels24(out, image);
        PutMask(out, image.Width(), image.Height(), [&](int x, int y) { return !image.Opaque(x, y); });
        Patch32(out, entries[i], static_cast<std::uint32_t>(out.size() - start));
        Patch32(out, entries[i] + 4, static_cast<std::uint32_t>(start));
    }
    return out;
}

Bytes EncodeCursor(const IndexedImage& image, int hotSpotX, int hotSpotY) {
    Bytes out;
    Put16(out, 0);
    Put16(out, 2); // cursor
    Put16(out, 1);
    out.push_back(static_cast<std::uint8_t>(image.width % 256));
    out.push_back(static_cast<std::uint8_t>(image.height % 256));
    out.push_back(16);
    out.push_back(0);
    Put16(out, static_cast<unsigned>(hotSpotX));
    Put16(out, static_cast<unsigned>(hotSpotY));
    const size_t sizeAt = out.size();
    Put32(out, 0);
    Put32(out, 22);

    const size_t start = out.size();
    const size_t xorStride = Stride(image.width, 4);
    const auto xorSize = static_cast<std::uint32_t>(xorStride * static_cast<size_t>(image.height));
    const auto andSize = static_cast<std::uint32_t>(Stride(image.width, 1) * static_cast<size_t>(image.height));
    PutInfoHeader(out, image.width, image.height * 2, 4, xorSize + andSize);
    for (const Rgb& c : image.palette) {
        out.push_back(art::ChannelByte(c.b));
        out.push_back(art::ChannelByte(c.g));
        out.push_back(art::ChannelByte(c.r));
        out.push_back(0);
    }
    const auto at = [&](int x, int y) {
        return static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x);
    };
    for (int y = image.height - 1; y >= 0; --y) {
        Bytes row(xorStride, 0);
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t index = image.transparent[at(x, y)] ? 0 : image.indices[at(x, y)];
            row[static_cast<size_t>(x / 2)] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    PutMask(out, image.width, image.height, [&](int x, int y) { return image.transparent[at(x, y)]; });
    Patch32(out, sizeAt, static_cast<std::uint32_t>(out.size() - start));
    return out;
}

} // namespace tovira::tools
