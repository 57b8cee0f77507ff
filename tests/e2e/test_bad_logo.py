"""Logo files that are not what they claim: the launcher either shows the picture or opens the registration
window with an error number and its description, and never crashes, hangs or swells."""

import os
import random
import subprocess
import tempfile

import pytest

from harness import poll, unix_to_windows
from helpers import outcome, stop
from layout import CLIENT, Launcher, bmp, logo_colour

# Error descriptions of the program, by number.
DESCRIPTIONS = {7: "Memória insuficiente", 53: "Arquivo não encontrado", 57: "Erro de E/S no dispositivo",
                70: "Permissão negada", 75: "Erro de acesso ao caminho/arquivo", 481: "Imagem inválida"}
MAX_COMMITTED_BYTES = 64 * 1024 * 1024
LOGO_RGB = (200, 40, 40)


def header_claiming(width, height):
    """A 24-bit bitmap header for width x height pixels followed by one row's worth of bytes."""
    return bmp(1, 1, lambda x, y: (0, 0, 0))[:18] + width.to_bytes(4, "little") + height.to_bytes(4, "little") + \
        bmp(1, 1, lambda x, y: (0, 0, 0))[26:54] + bytes(64)


def rle_bomb(width, height):
    """An 8-bit run-length bitmap of width x height pixels whose data is only the end-of-picture mark."""
    palette = bytes(4 * 256)
    data = b"\x00\x01"
    offset = 54 + len(palette)
    header = b"BM" + (offset + len(data)).to_bytes(4, "little") + bytes(4) + offset.to_bytes(4, "little")
    info = (40).to_bytes(4, "little") + width.to_bytes(4, "little") + height.to_bytes(4, "little") + \
        (1).to_bytes(2, "little") + (8).to_bytes(2, "little") + (1).to_bytes(4, "little") + \
        len(data).to_bytes(4, "little") + bytes(16)
    return header + info + palette + data


def converted(fmt):
    """A small solid logo in another format, made by ImageMagick."""
    with tempfile.TemporaryDirectory() as folder:
        target = os.path.join(folder, "logo." + fmt)
        subprocess.run(["convert", "-size", "120x80", "xc:rgb({},{},{})".format(*LOGO_RGB), target], check=True,
                       timeout=60)
        with open(target, "rb") as f:
            return f.read()


def large(fmt, width, height):
    """A large logo made by ImageMagick: red, with a green and a blue block at its top-left corner and a yellow
    part beyond what the logo box shows."""
    with tempfile.TemporaryDirectory() as folder:
        target = os.path.join(folder, "logo")
        subprocess.run(["convert", "-size", f"{width}x{height}", "xc:rgb(200,40,40)",
                        "-fill", "rgb(40,200,40)", "-draw", "rectangle 0,0 99,59",
                        "-fill", "rgb(40,40,200)", "-draw", "rectangle 100,60 199,119",
                        "-fill", "rgb(230,230,0)", "-draw", f"rectangle 500,400 {width - 1},{height - 1}",
                        "-quality", "92", f"{fmt}:{target}"], check=True, timeout=120)
        with open(target, "rb") as f:
            return f.read()


def jpeg_claiming(width, height):
    """A small real JPEG whose frame header claims width x height pixels."""
    data = bytearray(converted("jpeg"))
    at = 2
    while data[at + 1] != 0xC0:
        at += 2 + int.from_bytes(data[at + 2:at + 4], "big")
    data[at + 5:at + 9] = height.to_bytes(2, "big") + width.to_bytes(2, "big")
    return bytes(data)


def committed_bytes(program):
    """The private memory the process has committed, touched or not. Wine's own counters count only touched
    pages, which would hide a large picture that was allocated but never drawn in full."""
    with open(f"/proc/{program.popen.pid}/status") as f:
        for line in f:
            if line.startswith("VmData:"):
                return int(line.split()[1]) * 1024
    raise AssertionError("no VmData for the program's process")


def peak_resident_bytes(program):
    """The most memory the process has had in use at once, decoding included; shared libraries count too."""
    with open(f"/proc/{program.popen.pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    raise AssertionError("no VmHWM for the program's process")


def error_shown(t, program):
    """(number, description) from the registration window's lblErro."""
    window = program.wait_window("QEV Register")
    texts = [c["title"].replace("\r\n", "\r") for c in window.children() if c["class"].lower() == "static"
             and c["title"].startswith("Erro N°: ")]
    assert len(texts) == 1, f"no error label in the registration window: {window.child_texts()}"
    first, _, second = texts[0].partition("\r")
    assert second.startswith("Descrição: "), f"the error label reads {texts[0]!r}"
    return int(first[len("Erro N°: "):]), second[len("Descrição: "):]


def try_logo(t, name, logo_bytes=None, folder_instead=False, prepare=None, timeout=20.0):
    """Starts the launcher with this imgLogo.bmp and returns (result, detail, program) after checking that it
    lives and stays small."""
    files = {"imgLogo.bmp/": None} if folder_instead else {"imgLogo.bmp": logo_bytes}
    medium = t.medium(files, folder=name)
    if prepare:
        prepare(medium)
    t.move(5, 5)
    program = medium.start()
    result, _ = outcome(program, timeout)
    used = committed_bytes(program)
    if result == "error":
        number, description = error_shown(t, program)
        assert DESCRIPTIONS.get(number) == description, f"{name}: error {number} described as {description!r}"
        detail = f"registration window, error {number} {description}"
    else:
        detail = "logo shown"
    print(f"  imgLogo.bmp as {name}: {detail}; {used // 1024} KiB committed, "
          f"{peak_resident_bytes(program) // 1024} KiB peak resident", flush=True)
    assert used < MAX_COMMITTED_BYTES, f"{name}: {used // 1024} KiB committed ({detail})"
    return result, detail, program


class Locked:
    """A helper process holding a medium file open with no sharing, until close()."""

    def __init__(self, t):
        self.t = t
        self.popen = None
        self.status = os.path.join(t.dir, "locker.out")

    def __call__(self, medium):
        locker = os.path.join(self.t.session.build, "tests", "e2e", "locker.exe")
        with open(self.status, "wb") as out:
            self.popen = subprocess.Popen(["wine", unix_to_windows(locker), medium.windows_path("imgLogo.bmp")],
                                          env=self.t.session.env, cwd=self.t.session.neutral,
                                          stdin=subprocess.PIPE, stdout=out, stderr=subprocess.DEVNULL)

        def answer():
            with open(self.status) as f:
                return f.read().strip()

        assert poll(answer, 15, 0.2) == "locked", f"the locker did not lock the logo: {answer()!r}"

    def close(self):
        if self.popen:
            self.popen.stdin.close()
            try:
                self.popen.wait(10)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait()


def test_unreadable_logos_open_the_registration_window_with_a_described_error(t):
    truncated = bmp(300, 200, logo_colour)[:54]
    noise = random.Random(20240611).randbytes(4096)
    cases = [("empty", b"", 481), ("cut-after-header", truncated, 481),
             ("header-claiming-60000x60000", header_claiming(60000, 60000), 481),
             ("jpeg-claiming-10000x10000", jpeg_claiming(10000, 10000), 481),
             ("random-bytes", noise, 481), ("png", converted("png"), 481)]
    for name, data, expected in cases:
        result, detail, program = try_logo(t, name, data)
        assert result == "error", f"{name}: {detail}"
        assert detail.startswith(f"registration window, error {expected} "), f"{name}: {detail}, expected {expected}"
        stop(t, program)

    result, detail, program = try_logo(t, "folder", folder_instead=True)
    assert result == "error" and " error 70 " in detail + " ", f"folder: {detail}, expected error 70"
    stop(t, program)

    locker = Locked(t)
    try:
        result, detail, program = try_logo(t, "locked-file", bmp(40, 30, logo_colour), prepare=locker)
        assert result == "error" and " error 75 " in detail + " ", f"locked file: {detail}, expected error 75"
        stop(t, program)
    finally:
        locker.close()


@pytest.mark.parametrize("fmt", ("jpeg", "gif"))
def test_jpeg_and_gif_logos_are_shown_as_pictures(t, fmt):
    result, detail, program = try_logo(t, fmt, converted(fmt))
    assert result == "logo", f"{fmt}: {detail}"
    launcher = Launcher(t, program)
    near = lambda rgb: all(abs(a - b) <= 24 for a, b in zip(rgb, LOGO_RGB))  # noqa: E731 JPEG is lossy
    shot = {}

    def painted():
        shot["pixel"] = launcher.shot(fmt)
        return all(near(shot["pixel"](x, y)) for x, y in ((215, 8), (260, 40), (320, 70)))

    assert poll(painted, 5, 0.3), f"the {fmt} logo is not painted at the logo box's corner: {shot['pixel'](260, 40)}"
    assert not near(shot["pixel"](CLIENT[0] - 5, CLIENT[1] - 5)), f"the {fmt} logo is stretched"


def test_a_tiny_logo_file_claiming_a_huge_picture_commits_little_memory(t):
    # Whichever window it gives, a one-kilobyte file must not cost hundreds of megabytes.
    _, _, program = try_logo(t, "run-length-data-claiming-8000x8000", rle_bomb(8000, 8000))
    stop(t, program)


# A logo exported at print resolution and a phone photo: far larger than the box, which shows their corner.
@pytest.mark.parametrize("fmt, width, height", (("bmp3", 3000, 2000), ("jpeg", 4000, 3000)))
def test_large_bitmap_and_jpeg_logos_show_their_top_left_part_at_natural_size(t, fmt, width, height):
    name = f"{fmt}-{width}x{height}"
    result, detail, program = try_logo(t, name, large(fmt, width, height), timeout=60)
    assert result == "logo", f"{name}: {detail}"
    launcher = Launcher(t, program)
    near = lambda rgb, want: all(abs(a - b) <= 24 for a, b in zip(rgb, want))  # noqa: E731 JPEG is lossy
    left = 3120 // 15
    expected = [((left + 50, 30), (40, 200, 40)), ((left + 150, 90), (40, 40, 200)),
                ((left + 250, 200), (200, 40, 40)), ((CLIENT[0] - 5, CLIENT[1] - 5), (200, 40, 40))]
    shot = {}

    def painted():
        shot["pixel"] = launcher.shot(name)
        return all(near(shot["pixel"](x, y), rgb) for (x, y), rgb in expected)

    assert poll(painted, 10, 0.3), (f"{name}: the corner is not shown at natural size: " +
                                    ", ".join(f"{xy} {shot['pixel'](*xy)}" for xy, _ in expected))
