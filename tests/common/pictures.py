"""The large logos that the benchmarks and the end-to-end tests measure: photo-like pictures made by ImageMagick from
its plasma fractal (noise, as a camera's photo is, never flat colour, which would cost a decoder next to nothing),
pictures of that kind small enough to be decoded whole, as most logos are, and two crafted progressive JPEGs whose
cost a decoder must bound by the file rather than by its scans.

usage: pictures.py FOLDER [NAME...]: writes the named pictures (all of them unless named) into FOLDER.
"""

import os
import subprocess
import sys

PHOTO_WIDTH, PHOTO_HEIGHT = 6000, 4000  # 24 Mpixel; the 12-Mpixel photo is its 4000 x 3000 corner
PHOTOS = ("photo-12mp-baseline.jpg", "photo-24mp-progressive.jpg", "photo-24mp.bmp")
CRAFTED = ("many-scans.jpg", "deep-progression.jpg")
# Pictures that fit the shown part, coded by libjpeg-turbo's cjpeg as authors' tools code them: name, size, options.
WHOLE = {"logo-414x325-baseline.jpg": ("414x325", []), "whole-2000x1500-baseline.jpg": ("2000x1500", []),
         "whole-2000x1500-progressive.jpg": ("2000x1500", ["-progressive"])}


def make_photos(folder):
    """Writes the three photos from one plasma, in one ImageMagick run; returns their paths by name."""
    paths = {name: os.path.join(folder, name) for name in PHOTOS}
    subprocess.run(["convert", "-seed", "21", "-size", f"{PHOTO_WIDTH}x{PHOTO_HEIGHT}", "plasma:fractal",
                    "-type", "TrueColor", "-write", "bmp3:" + paths["photo-24mp.bmp"], "-quality", "92",
                    "-interlace", "Plane", "-write", paths["photo-24mp-progressive.jpg"], "-interlace", "None",
                    "-crop", "4000x3000+0+0", "+repage", paths["photo-12mp-baseline.jpg"]],
                   check=True, timeout=600)
    return paths


def make_whole(folder, name):
    """Writes one of the pictures decoded whole, from a plasma of its size; returns its path."""
    size, options = WHOLE[name]
    path = os.path.join(folder, name)
    plasma = subprocess.run(["convert", "-seed", "31", "-size", size, "plasma:fractal", "ppm:-"], check=True,
                            timeout=120, stdout=subprocess.PIPE).stdout
    with open(path, "wb") as out:
        subprocess.run(["cjpeg", "-quality", "90", *options], input=plasma, stdout=out, check=True, timeout=120)
    return path


# The fuzz corpus's writer of JPEGs whose cost lies in their scans: 5,000 identical AC scans over 8 x 8 blocks
# (some 65 KB), and each of the 63 AC bands scanned and refined 13 times over a 16384 x 16384 grey picture (0.9 MB).
CRAFTED_WRITER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "crafted_jpeg.py")
CRAFTED_KINDS = {"many-scans.jpg": "repeats", "deep-progression.jpg": "bands"}


def write_pictures(folder, names=PHOTOS + tuple(WHOLE) + CRAFTED):
    """Writes the named pictures into folder; returns their paths by name."""
    os.makedirs(folder, exist_ok=True)
    paths = make_photos(folder) if set(names) & set(PHOTOS) else {}
    paths.update({name: make_whole(folder, name) for name in WHOLE if name in names})
    for name, kind in CRAFTED_KINDS.items():
        if name in names:
            paths[name] = os.path.join(folder, name)
            subprocess.run([sys.executable, CRAFTED_WRITER, kind, paths[name]], check=True, timeout=120)
    return {name: paths[name] for name in names}


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__.strip())
    for path in write_pictures(sys.argv[1], tuple(sys.argv[2:]) or PHOTOS + tuple(WHOLE) + CRAFTED).values():
        print(path)
