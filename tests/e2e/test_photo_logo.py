"""Large logos: a camera's photos (12-Mpixel baseline and 24-Mpixel progressive JPEG, a 24-Mpixel bitmap) bring up
the launcher with their top-left corner in the logo box, and the two crafted JPEGs of many scans bring up the
launcher or the registration window; for each, the program's peak memory stays within 64 MiB of a small logo's. The
time-outs only keep a hang from blocking the run: bench/run.sh logos measures how fast."""

import os
import subprocess
import sys

from harness import check, e2e_test
from layout import Launcher, bmp, logo_colour, read_bmp, wait_painted
from test_bad_logo import outcome, stop
from test_screen_scale import QUARTERS, check_enlarged_logo, logo_corner

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import pictures  # noqa: E402

MAX_EXTRA_PEAK = 64 * 1024 * 1024


def start(t, name, logo):
    """(window kind, program, its peak working set) once the launcher or the registration window is up."""
    t.move(5, 5)
    program = t.medium(folder=name, logo=logo).start()
    kind, _ = outcome(program, timeout=120)
    return kind, program, t.session.wintool("resources", program.pid)["peakWorkingSet"]


def check_peaks(t, made):
    """Starts the launcher with a small logo, then with each made picture, checking each one's window and peak."""
    kind, program, small = start(t, "small", bmp(300, 200, logo_colour))
    check(kind == "logo" and small > 0, f"the small logo gave {kind}, peak {small}")
    stop(t, program)
    for name, (path, expect) in made.items():
        with open(path, "rb") as f:
            kind, program, peak = start(t, name, f.read())
        print(f"  {name}: {kind}, peak working set {peak / 2**20:.1f} MiB, small logo {small / 2**20:.1f} MiB")
        check(kind in expect, f"{name} brought up the {kind} window")
        check(peak - small <= MAX_EXTRA_PEAK, f"{name}: peak {peak // 2**20} MiB, {(peak - small) // 2**20} MiB "
                                               f"above the small logo's")
        if kind == "logo":
            expect[kind](path, Launcher(t, program))
        stop(t, program)


def corner_shown(path, launcher, tolerance):
    """The screen's logo box against the picture's top-left part as ImageMagick decodes it, on a grid of samples:
    nineteen in twenty within `tolerance` of each channel (decoders may round apart), at the box's corner or one to
    three pixels in where a border pushes it."""
    reference = path + ".corner.bmp"
    width, height = launcher.client[0] - launcher.layout.logo_left, launcher.client[1]
    subprocess.run(["convert", path, "-crop", f"{width}x{height}+0+0", "+repage", "-type", "TrueColor",
                    "bmp3:" + reference], check=True, timeout=300)
    _, _, colour = read_bmp(reference)
    samples = [(x, y) for x in range(0, width - 4, 13) for y in range(0, height - 4, 11)]

    def matches(pixel):
        for border in range(4):
            off = sorted(max(abs(a - b) for a, b in zip(pixel(launcher.layout.logo_left + border + x, border + y),
                                                         colour(x, y))) for x, y in samples)
            if off[len(off) * 19 // 20] <= tolerance:
                return True
        return False

    pixel = wait_painted(launcher, os.path.basename(path), matches, timeout=10)
    check(matches(pixel), f"the logo box does not show the top-left part of {os.path.basename(path)}")


@e2e_test
def photo_logos_show_their_corner_and_cost_at_most_64_mib_more_at_their_peak(t):
    folder = os.path.join(t.dir, "pictures")
    made = pictures.write_pictures(folder, pictures.PHOTOS)
    jpeg = {"logo": lambda path, launcher: corner_shown(path, launcher, 4)}
    bitmap = {"logo": lambda path, launcher: corner_shown(path, launcher, 0)}
    check_peaks(t, {name: (path, bitmap if name.endswith(".bmp") else jpeg) for name, path in made.items()})


@e2e_test
def jpegs_of_many_scans_bring_a_window_and_cost_at_most_64_mib_more_at_their_peak(t):
    made = pictures.write_pictures(os.path.join(t.dir, "pictures"), pictures.CRAFTED)
    either = {"logo": lambda path, launcher: None, "error": None}
    check_peaks(t, {name: (path, either) for name, path in made.items()})


def metafile(width, height, quarters):
    """A placeable metafile of width x height twips whose four quarters are filled with the colours given."""
    records = [(0x020B, 0, 0), (0x020C, height, width)]
    for i, (r, g, b) in enumerate(quarters):
        x, y = i % 2 * width // 2, i // 2 * height // 2
        records += [(0x02FC, 0, g << 8 | r, b, 0), (0x012D, 0), (0x061D, 0x21, 0xF0, height // 2, width // 2, y, x),
                    (0x01F0, 0)]
    body = b"".join((3 + len(r) - 1).to_bytes(4, "little") + b"".join(w.to_bytes(2, "little") for w in r)
                    for r in records + [(0,)])
    placeable = bytearray(b"\xd7\xcd\xc6\x9a" + bytes(6) + width.to_bytes(2, "little") + height.to_bytes(2, "little")
                          + (1440).to_bytes(2, "little") + bytes(6))
    for at in range(0, 20, 2):
        placeable[20] ^= placeable[at]
        placeable[21] ^= placeable[at + 1]
    header = b"\x01\x00\x09\x00\x00\x03" + ((18 + len(body)) // 2).to_bytes(4, "little") + b"\x01\x00" + \
        (9).to_bytes(4, "little") + bytes(2)
    return bytes(placeable) + header + body


@e2e_test
def at_double_scale_a_metafile_logo_is_twice_its_size(t):
    # 120 x 80 pixels at 100 %, as the quarters of test_screen_scale's bitmap logo.
    t.set_dpi(192)
    t.move(5, 5)
    launcher = Launcher(t, t.medium(logo=metafile(1800, 1200, QUARTERS)).start())
    pixel = wait_painted(launcher, "metafile", lambda p: logo_corner(p, launcher.layout) is not None)
    check_enlarged_logo(pixel, launcher.layout)
    stop(t, launcher.program)
