// Decodes a picture file as the program does, natively: its checks, then the part that a window can show,
// read from the file a part at a time. bench/decode.sh times it against libjpeg-turbo's djpeg.
//
// usage: decode PICTURE [OUT.ppm]; prints the picture's size, the decoded part and a checksum of its pixels, and
// writes the pixels to OUT.ppm when given, to be compared with another decoder's.
#include "picturefiles/PictureDecode.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>

namespace {

class FileSource final : public tovira::ByteSource {
public:
    explicit FileSource(const char* path) : file_(open(path, O_RDONLY)) {
        if (file_ < 0) {
            throw std::runtime_error("cannot open the picture");
        }
        size_ = static_cast<std::uint64_t>(lseek(file_, 0, SEEK_END));
    }
    ~FileSource() override { close(file_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<unsigned char> out) override {
        if (pread(file_, out.data(), out.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(out.size())) {
            throw std::runtime_error("cannot read the picture");
        }
    }

private:
    int file_;
    std::uint64_t size_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: decode PICTURE [OUT.ppm]\n");
        return 2;
    }
    FileSource file(argv[1]);
    tovira::ByteReader reader(file);
    const tovira::PictureCheck check = tovira::CheckPicture(reader);
    const int width = std::min(check.width, tovira::kShownWidth);
    const int height = std::min(check.height, tovira::kShownHeight);
    // Left as the system hands it over, as the program's bitmap section is: the decoders write every pixel, and a
    // fill beforehand would be a pass over the picture that the program never makes.
    const std::size_t count =
        static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
    const auto memory = std::make_unique_for_overwrite<std::uint32_t[]>(count);
    const std::span<const std::uint32_t> pixels(memory.get(), count);
    if (width <= 0 || height <= 0 || !tovira::DecodePicture(file, check, {memory.get(), width, height})) {
        std::printf("%s: not a picture that the program shows\n", argv[1]);
        return 1;
    }
    // Four sums side by side, each times 31 as a shift, so that the check costs the processor no chain of
    // dependent multiplications and the compiler may use vector registers.
    std::uint32_t sums[4] = {};
    const std::size_t whole = pixels.size() / 4 * 4;
    for (std::size_t i = 0; i < whole; i += 4) {
        for (std::size_t lane = 0; lane < 4; ++lane) {
            sums[lane] = (sums[lane] << 5) - sums[lane] + pixels[i + lane];
        }
    }
    for (std::size_t i = whole; i < pixels.size(); ++i) {
        sums[i % 4] = (sums[i % 4] << 5) - sums[i % 4] + pixels[i];
    }
    const std::uint32_t sum = ((sums[0] * 31 + sums[1]) * 31 + sums[2]) * 31 + sums[3];
    if (argc == 3) {
        std::FILE* out = std::fopen(argv[2], "wb");
        if (out == nullptr) {
            throw std::runtime_error("cannot write the pixels");
        }
        std::fprintf(out, "P6\n%d %d\n255\n", width, height);
        for (const std::uint32_t pixel : pixels) {
            const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                          static_cast<unsigned char>(pixel >> 8), static_cast<unsigned char>(pixel)};
            std::fwrite(rgb, 1, 3, out);
        }
        std::fclose(out);
    }
    std::printf("%d x %d, decoded %d x %d, checksum %08x\n", check.width, check.height, width, height, sum);
    return 0;
}
