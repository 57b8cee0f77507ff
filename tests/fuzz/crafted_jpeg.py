#!/usr/bin/env python3
"""Writes progressive grey JPEGs whose cost lies in their number of scans rather than in their size:

  crafted_jpeg.py repeats OUT [scans] [side]   one band (1 to 63) scanned again and again, the same each time
  crafted_jpeg.py bands OUT [side]             each of the 63 bands scanned first and refined 13 times
  crafted_jpeg.py wide OUT width height components   one band scan per component, of a wide picture
  crafted_jpeg.py dc OUT [blocks]              a DC scan, shifted by 13 bits, whose blocks each add 2047 to the last
  crafted_jpeg.py ac OUT                       a baseline block whose AC codes are 1 bit long for values of 8 bits

Every block but the dc kind's is flat grey, so the scans are all band runs: a few bytes cover many thousand blocks. A decoder that
keeps state per scan, or visits every block of every scan, pays for what the file only claims."""
import struct
import sys


class Bits:
    def __init__(self):
        self.out = bytearray()
        self.value = 0
        self.count = 0

    def put(self, value, count):
        for i in reversed(range(count)):
            self.value = self.value << 1 | (value >> i & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.value)
                if self.value == 0xFF:
                    self.out.append(0)
                self.value = self.count = 0

    def done(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.out)


def segment(marker, body):
    return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body


def band_runs(blocks):
    """A scan's data that passes over `blocks` blocks in band runs: the code n (4 bits) is a run of 2**n and the n
    bits that follow, so that one code covers up to 32767 blocks."""
    bits = Bits()
    while blocks > 0:
        n = min(blocks.bit_length() - 1, 14)
        run = min(blocks, (1 << (n + 1)) - 1)
        bits.put(n, 4)
        bits.put(run - (1 << n), n)
        blocks -= run
    return bits.done()


def jpeg(width, height, bands, components=1):
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    ids = range(1, components + 1)
    body = b"\xFF\xD8" + segment(0xDB, b"\x00" + b"\x01" * 64)
    frame = struct.pack(">BHHB", 8, height, width, components) + b"".join(bytes([i, 0x11, 0]) for i in ids)
    body += segment(0xC2, frame)
    body += segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00")  # DC: code 0, difference 0
    body += segment(0xC4, b"\x10" + bytes([0, 0, 0, 15] + [0] * 12) + bytes(n << 4 for n in range(15)))
    dc = Bits()
    dc.out += bytes(blocks * components // 8)
    dc.put(0, blocks * components % 8)
    header = bytes([components]) + b"".join(bytes([i, 0]) for i in ids) + b"\x00\x00\x00"
    body += segment(0xDA, header) + dc.done()
    runs = band_runs(blocks)
    for start, end, high, low in bands:
        for i in ids:
            body += segment(0xDA, bytes([1, i, 0x00, start, end, high << 4 | low])) + runs
    return body + b"\xFF\xD9"


def rising_dc(blocks):
    """A DC scan whose sum of differences leaves 16 bits, and 32 once shifted by its 13 bits: one 1-bit code for an
    11-bit difference, then 2047, in every block of a grey picture one block high."""
    body = b"\xFF\xD8" + segment(0xDB, b"\x00" + b"\x01" * 64)
    body += segment(0xC2, struct.pack(">BHHB", 8, 8, blocks * 8, 1) + bytes([1, 0x11, 0]))
    body += segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x0B")
    dc = Bits()
    for _ in range(blocks):
        dc.put(0, 1)
        dc.put(2047, 11)
    return body + segment(0xDA, bytes([1, 1, 0x00, 0, 0, 13])) + dc.done() + b"\xFF\xD9"


def short_codes_long_values():
    """One grey baseline block: DC 0, then AC coefficients of 8-bit values (-255 to 255) under a 1-bit code, so that
    a decoder's table of short codes must hold a value wider than its code."""
    body = b"\xFF\xD8" + segment(0xDB, b"\x00" + b"\x01" * 64)
    body += segment(0xC0, struct.pack(">BHHB", 8, 8, 8, 1) + bytes([1, 0x11, 0]))
    body += segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00")
    body += segment(0xC4, b"\x10" + bytes([1, 1] + [0] * 14) + b"\x08\x00")  # 0: 8-bit value, 10: end of block
    bits = Bits()
    bits.put(0, 1)
    for value in (255, 0, 200, 129):  # 0 is -255, 129 is 129
        bits.put(0, 1)
        bits.put(value, 8)
    bits.put(2, 2)
    return body + segment(0xDA, bytes([1, 1, 0x00, 0, 63, 0])) + bits.done() + b"\xFF\xD9"


def main():
    kind, out = sys.argv[1], sys.argv[2]
    if kind == "repeats":
        scans = int(sys.argv[3]) if len(sys.argv) > 3 else 5000
        side = int(sys.argv[4]) if len(sys.argv) > 4 else 64
        bands = [(1, 63, 0, 0)] * scans
    elif kind == "dc":
        with open(out, "wb") as file:
            file.write(rising_dc(int(sys.argv[3]) if len(sys.argv) > 3 else 129))
        return
    elif kind == "ac":
        with open(out, "wb") as file:
            file.write(short_codes_long_values())
        return
    elif kind == "wide":
        with open(out, "wb") as file:
            file.write(jpeg(int(sys.argv[3]), int(sys.argv[4]), [(1, 63, 0, 0)], int(sys.argv[5])))
        return
    else:
        side = int(sys.argv[3]) if len(sys.argv) > 3 else 16384
        bands = [(k, k, 0, 13) for k in range(1, 64)]
        bands += [(k, k, high, high - 1) for k in range(1, 64) for high in range(13, 0, -1)]
    with open(out, "wb") as file:
        file.write(jpeg(side, side, bands))


main()
