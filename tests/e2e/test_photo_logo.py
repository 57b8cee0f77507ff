"""Large logos bring up a window, photos with their corner on screen, and peak within 64 MiB of a small logo's; the
time-outs only keep a hang from blocking the run (bench/run.sh logos measures time). A metafile at 200 %."""

import os
import subprocess

import pictures
from helpers import check_enlarged_logo, logo_corner, outcome, stop
from layout import Launcher, bmp, logo_colour, read_bmp, wait_painted

MAX_EXTRA_PEAK = 64 * 1024 * 1024


def start(t, name, logo):
    """(window kind, program, its peak working set) once the launcher ("logo") or the registration window is up."""
    t.move(5, 5)
    program = t.medium(folder=name, logo=logo).start()
    kind, _ = outcome(program, timeout=120)
    return kind, program, t.session.wintool("resources", program.pid)["peakWorkingSet"]


def check_logos(t, names, windows):
    """Starts the launcher with a small logo, then with each named picture: each brings up one of `windows` and
    peaks within 64 MiB of the small logo; the launcher shows a photo's top-left part."""
    made = pictures.write_pictures(os.path.join(t.dir, "pictures"), names)
    kind, program, small = start(t, "small", bmp(300, 200, logo_colour))
    assert kind == "logo" and small > 0, f"the small logo gave {kind}, peak {small}"
    stop(t, program)
    for name, path in made.items():
        with open(path, "rb") as f:
            kind, program, peak = start(t, name, f.read())
        print(f"  {name}: {kind}, peak working set {peak / 2**20:.1f} MiB, small logo {small / 2**20:.1f} MiB")
        assert kind in windows, f"{name} brought up the {kind} window"
        assert peak - small <= MAX_EXTRA_PEAK, f"{name}: peak {(peak - small) // 2**20} MiB above the small logo's"
        if name in pictures.PHOTOS:
            check_corner(path, Launcher(t, program), 0 if name.endswith(".bmp") else 2)
        stop(t, program)


def check_corner(path, launcher, tolerance):
    """The logo box against the picture's top-left part as ImageMagick decodes it, sampled on a grid: nineteen in
    twenty within `tolerance` (JPEG decoders round apart; a pixel's shift is 9 or more), at the corner or where a
    border pushes it in."""
    reference = path + ".corner.bmp"
    width, height = launcher.client[0] - launcher.layout.logo_left, launcher.client[1]
    subprocess.run(["convert", path, "-crop", f"{width}x{height}+0+0", "+repage", "-type", "TrueColor",
                    "bmp3:" + reference], check=True, timeout=300)
    _, _, colour = read_bmp(reference)
    samples = [(x, y) for x in range(0, width - 4, 13) for y in range(0, height - 4, 11)]

    def matches(pixel):
        return any(sorted(max(abs(a - b) for a, b in zip(pixel(launcher.layout.logo_left + d + x, d + y), colour(x, y)))
                          for x, y in samples)[len(samples) * 19 // 20] <= tolerance for d in range(4))

    pixel = wait_painted(launcher, os.path.basename(path), matches, timeout=10)
    assert matches(pixel), f"the logo box does not show the top-left part of {os.path.basename(path)}"


def test_photo_logos_show_their_corner_and_peak_within_64_mib_of_a_small_logo(t):
    check_logos(t, pictures.PHOTOS, ("logo",))


def test_jpegs_of_many_scans_bring_a_window_and_peak_within_64_mib_of_a_small_logo(t):
    check_logos(t, pictures.CRAFTED, ("logo", "error"))


# The logo of four quarters (helpers.QUARTERS) as a placeable metafile of 1800 x 1200 twips, 120 x 80 pixels at
# 100 %: its records fill each quarter with PatBlt.
QUARTERED_METAFILE = bytes.fromhex(
    "d7cdc69a0000000000000807b004a005000000000951010009000003760000000100090000000000050000000b02000000000500"
    "00000c02b004080707000000fc020000c82828000000040000002d010000090000001d062100f000580284030000000004000000"
    "f001000007000000fc02000028a03c000000040000002d010000090000001d062100f000580284030000840304000000f0010000"
    "07000000fc020000283cc8000000040000002d010000090000001d062100f000580284035802000004000000f001000007000000"
    "fc020000dcc828000000040000002d010000090000001d062100f000580284035802840304000000f0010000030000000000")


def test_at_double_scale_a_metafile_logo_is_twice_its_size(t):
    t.set_dpi(192)
    t.move(5, 5)
    launcher = Launcher(t, t.medium(logo=QUARTERED_METAFILE).start())
    pixel = wait_painted(launcher, "metafile", lambda p: logo_corner(p, launcher.layout) is not None)
    check_enlarged_logo(pixel, launcher.layout)
    stop(t, launcher.program)
