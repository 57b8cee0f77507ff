"""The large logos that the benchmarks and the end-to-end tests measure: photo-like pictures made by ImageMagick from
its plasma fractal (noise, as a camera's photo is, never flat colour, which would cost a decoder next to nothing),
and two crafted progressive JPEGs whose cost a decoder must bound by the file rather than by its scans.

usage: pictures.py FOLDER [NAME...]: writes the named pictures (all of them unless named) into FOLDER.
"""

import os
import subprocess
import sys

PHOTO_WIDTH, PHOTO_HEIGHT = 6000, 4000  # 24 Mpixel; the 12-Mpixel photo is its 4000 x 3000 corner
PHOTOS = ("photo-12mp-baseline.jpg", "photo-24mp-progressive.jpg", "photo-24mp.bmp")
CRAFTED = ("many-scans.jpg", "deep-progression.jpg")


def make_photos(folder):
    """Writes the three photos from one plasma, in one ImageMagick run; returns their paths by name."""
    paths = {name: os.path.join(folder, name) for name in PHOTOS}
    subprocess.run(["convert", "-seed", "21", "-size", f"{PHOTO_WIDTH}x{PHOTO_HEIGHT}", "plasma:fractal",
                    "-type", "TrueColor", "-write", "bmp3:" + paths["photo-24mp.bmp"], "-quality", "92",
                    "-interlace", "Plane", "-write", paths["photo-24mp-progressive.jpg"], "-interlace", "None",
                    "-crop", "4000x3000+0+0", "+repage", paths["photo-12mp-baseline.jpg"]],
                   check=True, timeout=600)
    return paths


def _segment(marker, payload):
    return bytes((0xFF, marker)) + (len(payload) + 2).to_bytes(2, "big") + payload


class _Bits:
    """Entropy-coded data: bits from the most significant, 0xFF bytes stuffed, the last byte padded with ones."""

    def __init__(self):
        self.out = bytearray()
        self.value = self.count = 0

    def put(self, value, count):
        self.value, self.count = self.value << count | value, self.count + count
        while self.count >= 8:
            self.count -= 8
            byte = self.value >> self.count & 0xFF
            self.out += b"\xff\x00" if byte == 0xFF else bytes((byte,))
        self.value &= (1 << self.count) - 1

    def done(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.out)


def _grey_progressive(width, height):
    """The header of a one-component progressive JPEG: flat quantisation; a DC table whose one code, "0", is
    difference 0; an AC table of the end-of-band runs EOB0..EOB14, four bits each."""
    quantisation = _segment(0xDB, bytes(1) + bytes([1] * 64))
    frame = _segment(0xC2, bytes((8,)) + height.to_bytes(2, "big") + width.to_bytes(2, "big") + bytes((1, 1, 0x11, 0)))
    dc = _segment(0xC4, bytes((0x00, 1)) + bytes(15) + bytes(1))
    ac = _segment(0xC4, bytes((0x10, 0, 0, 0, 15)) + bytes(12) + bytes(run << 4 for run in range(15)))
    return b"\xff\xd8" + quantisation + frame + dc + ac


def _scan(start, end, high, low, data):
    return _segment(0xDA, bytes((1, 1, 0x00, start, end, high << 4 | low))) + data


def _dc_scan(blocks):
    bits = _Bits()
    for _ in range(blocks):
        bits.put(0, 1)
    return _scan(0, 0, 0, 0, bits.done())


def _end_of_band_runs(blocks):
    """Coded data that passes over `blocks` blocks with end-of-band runs of at most 32767."""
    bits = _Bits()
    while blocks:
        run = min(blocks, 32767)
        size = run.bit_length() - 1
        bits.put(size, 4)
        bits.put(run - (1 << size), size)
        blocks -= run
    return bits.done()


def many_scans(count=5000):
    """One 8 x 8 block and `count` identical AC scans over it: some 55 KB."""
    ac = _scan(1, 63, 0, 0, _end_of_band_runs(1))
    return _grey_progressive(8, 8) + _dc_scan(1) + ac * count + b"\xff\xd9"


def deep_progression(side=16384):
    """A grey side x side picture whose 63 AC coefficients each come in a band of their own, refined bit by bit 13
    times: 882 AC scans, each an end-of-band run over every block; some 0.8 MB at 16384 x 16384."""
    blocks = (side // 8) ** 2
    runs = _end_of_band_runs(blocks)
    scans = [_scan(k, k, 0, 13, runs) + b"".join(_scan(k, k, bit + 1, bit, runs) for bit in reversed(range(13)))
             for k in range(1, 64)]
    return _grey_progressive(side, side) + _dc_scan(blocks) + b"".join(scans) + b"\xff\xd9"


def write_pictures(folder, names=PHOTOS + CRAFTED):
    """Writes the named pictures into folder; returns their paths by name."""
    os.makedirs(folder, exist_ok=True)
    paths = make_photos(folder) if set(names) & set(PHOTOS) else {}
    for name, make in (("many-scans.jpg", many_scans), ("deep-progression.jpg", deep_progression)):
        if name in names:
            paths[name] = os.path.join(folder, name)
            with open(paths[name], "wb") as f:
                f.write(make())
    return {name: paths[name] for name in names}


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__.strip())
    for path in write_pictures(sys.argv[1], tuple(sys.argv[2:]) or PHOTOS + CRAFTED).values():
        print(path)
