"""The disc kit from outside, as its users run it.

checks: each check on good and bad inputs, one line per problem, status 1 and nothing written on an error.
image: the ISO image read back with xorriso: Joliet names with accents, the exact autorun.inf, the volume label;
nothing left by a failing xorriso.
signing: the medium's program signed with a certificate made here, and the certificates that must be refused.
stop: the kit stopped by a signal while it lays out a medium of noise and while xorriso writes it (slowed here):
nothing left, the signal's status; a leftover of its temporary names not reused; progress on a terminal only.
"""

import hashlib
import os
import pty
import shutil
import signal
import struct
import subprocess
import tempfile
import time

import pytest

from kit_helpers import ACCENTED, LABEL, certificate, run

AUTORUN = b"[autorun]\r\nopen=Tovira.exe\r\nicon=Tovira.exe,0\r\nlabel=MANUAL 2024\r\n"
# The block that Tovira reserves for the list of its components: its mark, room for 64 SHA-256 digests, none yet.
LIST_MARK = b"Tovira\x1alist\x00\xc3\x5e\x91\x27"
EMPTY_LIST = LIST_MARK + struct.pack("<II", 64, 0xFFFFFFFF) + bytes(64 * 32)
# Names that Windows takes for one, in Latin, Latin-1 and beyond; names that it keeps for a device or refuses.
SAME_NAMES = (("alfa.dll", "ALFA.DLL"), ("Ação.ocx", "AÇÃO.OCX"), ("Ōx.dll", "ōx.dll"))
REFUSED_NAMES = ("con.dll", "a:b.dll", "nul .ocx")


def executable(machine=0x14C, dll=False):
    """The headers of a Windows program or DLL, as far as the kit reads them."""
    image = bytearray(0x200)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HH", image, 0x84, machine, 1)
    struct.pack_into("<H", image, 0x80 + 22, 0x2102 if dll else 0x0102)
    return bytes(image)


def listed(program):
    """The digests that the kit wrote into the program's list, in hexadecimal; None where it wrote none."""
    with open(program, "rb") as f:
        data = f.read().split(LIST_MARK)[1]
    count = struct.unpack_from("<I", data, 4)[0]
    return None if count == 0xFFFFFFFF else [data[8 + 32 * i:40 + 32 * i].hex() for i in range(count)]


def convert(folder, name, *options, kind=""):
    path = os.path.join(folder, name)
    subprocess.run(["convert", *options, kind + path], check=True, timeout=60)
    with open(path, "rb") as f:
        return f.read()


# A version record's text value naming the compilers, as the program's carries one.
BUILT_WITH = "i686-w64-mingw32-g++ (GCC) 14-posix; GNU ld (GNU Binutils) 2.44"
VERSION_TEXT = (struct.pack("<HHH", 24 + 2 * len(BUILT_WITH) + 2, len(BUILT_WITH) + 1, 1) +
                (f"Comments\0{BUILT_WITH}\0").encode("utf-16-le"))


def inputs(folder):
    """Every input file the cases use, by name."""
    jpeg = bytearray(convert(folder, "small.jpg", "-size", "40x30", "xc:red"))
    at = 2
    while jpeg[at + 1] != 0xC0:
        at += 2 + int.from_bytes(jpeg[at + 2:at + 4], "big")
    jpeg[at + 5:at + 9] = (10000).to_bytes(2, "big") * 2
    logo = convert(folder, "logo.bmp", "-size", "120x80", "xc:navy", kind="BMP3:")
    files = {
        "Tovira.exe": executable() + EMPTY_LIST + VERSION_TEXT, "Tovira64.exe": executable(0x8664) + EMPTY_LIST,
        "Indice.pdf": b"%PDF-1.4\n%\n", "notes.pdf": b"just text", "logo.bmp": logo, "cut.bmp": logo[:2000],
        "lying.jpg": bytes(jpeg), "big.jpg": convert(folder, "big.jpg", "-size", "600x400", "xc:teal"),
        "logo.png": convert(folder, "logo.png", "-size", "40x30", "xc:red"),
        "rs40eng.exe": executable(), ACCENTED: executable(dll=True), "leia.dll": b"texto", "programa.dll": executable(),
        "tabela.txt": executable(dll=True), **{name: executable(dll=True) for name in REFUSED_NAMES},
        **{name: executable(dll=True) for one, other in SAME_NAMES for name in (one, "other/" + other)},
        **{f"many/{i}.dll": executable(dll=True) + bytes([i]) for i in range(65)},
    }
    for name, content in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(content)
    return files


def fresh_output(folder):
    shutil.rmtree(os.path.join(folder, "out"), ignore_errors=True)
    os.makedirs(os.path.join(folder, "out"))


@pytest.fixture(scope="module")
def checks():
    """The inputs, beside a full folder, a loop of links, a PATH with sha256sum alone and an installer of 4 GiB;
    returns the folder and the input files by name."""
    with tempfile.TemporaryDirectory(prefix="tovira-kit-") as folder:
        files = inputs(folder)
        os.makedirs(os.path.join(folder, "full"))
        os.symlink("loop.bmp", os.path.join(folder, "loop.bmp"))
        os.makedirs(os.path.join(folder, "bin"))
        os.symlink(shutil.which("sha256sum"), os.path.join(folder, "bin", "sha256sum"))
        open(os.path.join(folder, "full", "x"), "w").close()
        with open(os.path.join(folder, "huge.exe"), "wb") as f:  # sparse: a large installer without the disc space
            f.write(executable())
            f.truncate(4 << 30)
        yield folder, files


def test_good_inputs_lay_out_the_medium_with_the_programs_list_of_its_components(kit, checks):
    folder, files = checks
    fresh_output(folder)
    status, lines = run(kit, folder, __logo="big.jpg", __iso=None)
    assert status == 0, f"good inputs: status {status}: {lines}"
    assert [line for line in lines if line.startswith(("error", "warning"))] == [
        f'warning: the logo "{folder}/big.jpg" is 600 x 400 pixels, larger than the logo box (414 x 325): '
        "only its top-left part is shown"], f"good inputs: {lines}"
    assert f"program built with: {BUILT_WITH}" in lines, f"the compilers are not named: {lines}"
    medium = os.path.join(folder, "out", "medium")
    laid = sorted(os.listdir(medium))
    assert laid == sorted(["Tovira.exe", "Indice.pdf", "imgLogo.bmp", "rs40eng.exe", ACCENTED, "alfa.dll",
                           "autorun.inf"]), f"the medium holds {laid}"
    with open(os.path.join(medium, "imgLogo.bmp"), "rb") as f:
        assert f.read() == files["big.jpg"], "imgLogo.bmp is not the logo given"
    digests = sorted({hashlib.sha256(files[name]).hexdigest() for name in (ACCENTED, "alfa.dll")})
    assert listed(os.path.join(medium, "Tovira.exe")) == digests, "the program does not list its components, each once"
    assert listed(os.path.join(folder, "Tovira.exe")) is None, "the program given to the kit was changed in place"


def test_without_logo_installer_and_components_the_medium_holds_the_rest(kit, checks):
    folder, _ = checks
    fresh_output(folder)
    status, lines = run(kit, folder, __logo=None, __no_logo=True, __installer=None, __component=None, __iso=None)
    assert status == 0 and lines[0] == ('warning: no installer: "Instalar Acrobat Reader" will end the program '
                                        "with an error report"), f"no logo, no installer: status {status}: {lines}"
    laid = sorted(os.listdir(os.path.join(folder, "out", "medium")))
    assert laid == ["Indice.pdf", "Tovira.exe", "autorun.inf"], f"without logo the medium holds {laid}"
    assert listed(os.path.join(folder, "out", "medium", "Tovira.exe")) == [], "a disc without components lists some"


def test_the_64_bit_program_is_laid_out_with_a_warning(kit, checks):
    folder, _ = checks
    fresh_output(folder)
    status, lines = run(kit, folder, __program="Tovira64.exe", __iso=None)
    assert status == 0 and lines[0].endswith("is the 64-bit build: it starts on 64-bit Windows only; ship the "
                                             "32-bit (i686) one"), f"64-bit program: status {status}: {lines}"


NOT_SHOWN = "is not a picture that Tovira shows"
NOT_LIBRARY = "is not a Windows DLL or OCX"
# Each: what is wrong, the arguments changed ("env" names the only folder on PATH), the error expected; %s is the
# folder of the inputs.
ERRORS = [
    ("handbook missing", {"__handbook": "nowhere.pdf"}, 'the handbook "%s/nowhere.pdf" is missing'),
    ("handbook not a PDF", {"__handbook": "notes.pdf"}, "is not a PDF document"),
    ("logo missing", {"__logo": "nowhere.bmp"}, 'the logo "%s/nowhere.bmp" is missing'),
    ("logo a PNG", {"__logo": "logo.png"}, NOT_SHOWN),
    ("logo a JPEG claiming 10000 x 10000", {"__logo": "lying.jpg"}, NOT_SHOWN),
    ("logo cut short", {"__logo": "cut.bmp"}, NOT_SHOWN),
    ("no logo given", {"__logo": None}, "no logo: give one, or --no-logo"),
    ("installer a DLL", {"__installer": "alfa.dll"}, "is not a Windows program"),
    ("installer of 4 GiB", {"__installer": "huge.exe"}, 'the installer "%s/huge.exe" is 4 GiB or more'),
    ("program a DLL", {"__program": "alfa.dll"}, "is not a build of Tovira.exe for Windows"),
    *[(f"{one} and {other}", {"__component": [one, "other/" + other]}, f'"{one}" and "{other}" are one name on '
       "the disc") for one, other in SAME_NAMES],
    *[(f"component named {name}", {"__component": [name]}, f'the component "%s/{name}" has a name that '
       "Windows keeps for a device or refuses") for name in REFUSED_NAMES],
    ("more components than the program lists", {"__component": [f"many/{i}.dll" for i in range(65)]},
     "has room for 64 components, not 65"),
    ("program without a list", {"__program": "rs40eng.exe"}, "has no place for the list of its components"),
    ("text named .dll", {"__component": ["leia.dll"]}, NOT_LIBRARY),
    ("program named .dll", {"__component": ["programa.dll"]}, NOT_LIBRARY),
    ("DLL named .txt", {"__component": ["tabela.txt"]}, NOT_LIBRARY),
    ("label with an accent", {"__label": "Manual Técnico"}, 'the label "Manual Técnico" must be'),
    ("label too long", {"__label": "A" * 17}, "must be 1 to 16 letters"),
    ("medium folder not empty", {"__medium": "full"}, "exists and is not empty"),
    ("image inside the medium folder", {"__medium": "out", "__iso": "out/disc.iso"}, "would lie inside the medium"),
    ("logo a loop of links", {"__logo": "loop.bmp"}, '/loop.bmp": Too many levels of symbolic links'),
    ("medium in a folder of 300 characters", {"__medium": "out/" + "a" * 300 + "/medium"}, "File name too long"),
    ("xorriso missing", {"env": "bin"}, "xorriso is not on PATH"),
]


@pytest.mark.parametrize("changes, expected", [pytest.param(c, e, id=name) for name, c, e in ERRORS])
def test_an_error_is_one_line_and_nothing_is_written(kit, checks, changes, expected):
    folder, _ = checks
    fresh_output(folder)
    changes = dict(changes)
    env = {"PATH": os.path.join(folder, changes.pop("env"))} if "env" in changes else None
    status, lines = run(kit, folder, env, **changes)
    errors = [line for line in lines if line.startswith("error: ")]
    assert status == 1 and len(errors) == 1 and expected.replace("%s", folder) in errors[0] and (
        lines[-1] == "nothing was written"), f"status {status}: {lines}"
    assert os.listdir(os.path.join(folder, "out")) == [] and os.listdir(os.path.join(folder, "full")) == ["x"], (
        "something was written")


@pytest.fixture(scope="module")
def image_inputs():
    with tempfile.TemporaryDirectory(prefix="tovira-kit-") as folder:
        inputs(folder)
        yield folder


def test_a_failing_xorriso_leaves_nothing_and_the_same_command_then_writes_the_image(kit, image_inputs):
    folder = image_inputs
    fresh_output(folder)
    failing = os.path.join(folder, "bin", "xorriso")
    os.makedirs(os.path.dirname(failing))
    with open(failing, "w") as f:  # writes part of the image, then gives up
        f.write('#!/bin/sh\nwhile [ $# -gt 1 ]; do [ "$1" = -o ] && head -c 300000 /dev/zero >"$2"; shift; done\n'
                "echo 'xorriso : FAILURE : disc full' >&2\nexit 5\n")
    os.chmod(failing, 0o755)
    paths = {"__medium": "-medium", "__iso": "-disc.iso"}
    env = dict(os.environ, PATH=os.path.dirname(failing) + os.pathsep + os.environ["PATH"])
    before = sorted(os.listdir(folder))
    status, lines = run(kit, folder, env=env, **paths)
    assert status == 1 and "error: xorriso failed to write the image: xorriso : FAILURE : disc full" in lines, (
        f"a failing xorriso: status {status}: {lines}")
    assert sorted(os.listdir(folder)) == before, f"a failing xorriso left {set(os.listdir(folder)) - set(before)}"
    status, lines = run(kit, folder, **paths)
    assert status == 0, f"the image was not made on the second try: {lines}"
    with open(os.path.join(folder, "-disc.iso"), "rb") as f:
        assert f"sha256: {hashlib.sha256(f.read()).hexdigest()}" in lines, f"no SHA-256 of the image: {lines}"


def volume_labels(image):
    """The primary volume's label and the Joliet volume's, which Windows shows."""
    labels = {}
    with open(image, "rb") as f:
        for sector in range(16, 32):
            f.seek(sector * 2048)
            descriptor = f.read(2048)
            if descriptor[0] == 255:
                break
            if descriptor[0] == 1:
                labels["primary"] = descriptor[40:72].decode("ascii").rstrip()
            elif descriptor[0] == 2 and descriptor[88:91] in (b"%/@", b"%/C", b"%/E"):
                labels["joliet"] = descriptor[40:72].decode("utf-16-be").rstrip()
    return labels


def test_the_image_holds_the_joliet_names_the_exact_autorun_inf_and_the_label(kit, image_inputs):
    folder = image_inputs
    fresh_output(folder)
    status, lines = run(kit, folder)
    assert status == 0, f"the image was not made: {lines}"
    image = os.path.join(folder, "out", "disc.iso")
    env = dict(os.environ, LC_ALL="C.UTF-8")
    joliet = ["xorriso", "-indev", image, "-rockridge", "off", "-joliet", "on"]
    listing = subprocess.run(joliet + ["-find", "/", "-type", "f"], capture_output=True, text=True, env=env,
                             check=True, timeout=60).stdout.splitlines()
    names = sorted(line[2:-1] for line in listing if line.startswith("'/"))
    assert names == sorted(["Indice.pdf", "Tovira.exe", "alfa.dll", "autorun.inf", "imgLogo.bmp", "rs40eng.exe",
                            ACCENTED]), f"the Joliet tree holds {names}"
    extracted = os.path.join(folder, "autorun.inf")
    subprocess.run(joliet + ["-osirrox", "on", "-extract", "/autorun.inf", extracted], capture_output=True,
                   env=env, check=True, timeout=60)
    with open(extracted, "rb") as f:
        content = f.read()
    assert content == AUTORUN, f"autorun.inf reads {content!r}"
    labels = volume_labels(image)
    assert labels == {"primary": LABEL, "joliet": LABEL}, f"the volume labels are {labels}"


@pytest.fixture(scope="module")
def signing():
    """The inputs with a whole program (osslsigncode signs only such; the kit writes its list before it signs),
    three certificates (good, expired, for web servers) and their password files, and three more of those."""
    with tempfile.TemporaryDirectory(prefix="tovira-kit-") as folder:
        inputs(folder)
        source = "static const volatile unsigned char list[] = {%s};\nint main(void) { return list[0]; }\n"
        subprocess.run(["i686-w64-mingw32-gcc-posix", "-x", "c", "-", "-o", os.path.join(folder, "Tovira.exe")],
                       input=(source % ", ".join(map(str, EMPTY_LIST))).encode(), check=True, timeout=60)
        for name, usage, end in (("good", "codeSigning", "20991231235959Z"),
                                 ("expired", "codeSigning", "20210101000000Z"),
                                 ("web", "serverAuth", "20991231235959Z")):
            certificate(folder, name, usage, end=end)
        for name, text in (("wrong.txt", b"senha errada\n"), ("windows.txt", b"senha secreta\r\n\r\n"),
                           ("two.txt", b"senha secreta\nsenha errada\n")):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(text)
        yield folder


def test_the_medium_program_is_signed_and_verifies_and_the_given_one_is_left_alone(kit, signing):
    folder = signing
    fresh_output(folder)  # saved by a Windows editor: CR LF line ends
    status, lines = run(kit, folder, __sign_pkcs12="good.p12", __sign_password_file="windows.txt")
    assert status == 0, f"signing failed: {lines}"
    verify = ["osslsigncode", "verify", "-CAfile", os.path.join(folder, "good.pem"), "-in"]
    verified = subprocess.run(verify + [os.path.join(folder, "out", "medium", "Tovira.exe")], capture_output=True)
    assert verified.returncode == 0, f"the signature does not verify: {verified.stdout[-300:]}"
    assert listed(os.path.join(folder, "out", "medium", "Tovira.exe")) is not None, "the signed program lists nothing"
    unsigned = subprocess.run(verify + [os.path.join(folder, "Tovira.exe")], capture_output=True)
    assert unsigned.returncode != 0, "the program given to the kit was signed in place"


@pytest.mark.parametrize("pkcs12, password, expected", [
    ("good.p12", "wrong.txt", 'the password in "%s/wrong.txt" does not open'),
    ("good.p12", "two.txt", 'the password file "%s/two.txt" holds more than one line'),
    ("expired.p12", "expired.txt", 'the signing certificate "%s/expired.p12" expired on Jan  1 00:00:00 2021'),
    ("web.p12", "web.txt", "is not for code signing")],
    ids=("wrong password", "two lines", "expired", "for web servers"))
def test_a_password_or_certificate_that_cannot_sign_is_refused(kit, signing, pkcs12, password, expected):
    folder = signing
    fresh_output(folder)
    status, lines = run(kit, folder, __sign_pkcs12=pkcs12, __sign_password_file=password)
    errors = [line for line in lines if line.startswith("error: ")]
    assert status == 1 and len(errors) == 1 and expected.replace("%s", folder) in errors[0] and (
        os.listdir(os.path.join(folder, "out")) == []), f"status {status}: {lines}"


def slowed(command):
    """The command with every write it makes 20 ms slower, so that it can be stopped part way."""
    return ["strace", "-D", "-f", "-o", "/dev/null", "-e", "trace=write", "-e", "inject=write:delay_exit=20000",
            *command]


@pytest.fixture(scope="module")
def stopping():
    """The inputs with an installer of noise (some 40 MB on the medium and in the image), and a folder each for a
    stand-in xorriso, which starts a process of its own and writes 300,000 bytes of the image, and for the real
    one slowed; returns the folder and the environments that put either first on PATH."""
    with tempfile.TemporaryDirectory(prefix="tovira-kit-") as folder:
        inputs(folder)
        with open(os.path.join(folder, "rs40eng.exe"), "wb") as f:
            f.write(executable() + os.urandom(40 << 20))
        stand_in = 'sleep 60 & echo $! >"$0.pid"\n' \
                   'while [ $# -gt 1 ]; do [ "$1" = -o ] && head -c 300000 /dev/urandom >"$2"; shift; done; wait\n'
        envs = {}
        for name, script in (("stand-in", stand_in),
                             ("real", f'exec {" ".join(slowed([shutil.which("xorriso")]))} "$@"')):
            os.makedirs(os.path.join(folder, name))
            with open(os.path.join(folder, name, "xorriso"), "w") as f:
                f.write("#!/bin/sh\n" + script)
            os.chmod(os.path.join(folder, name, "xorriso"), 0o755)
            envs[name] = dict(os.environ, PATH=os.path.join(folder, name) + os.pathsep + os.environ["PATH"])
        yield folder, envs


def staged(folder, name, pid):
    """The size of what the kit has written so far under its temporary name."""
    path = os.path.join(folder, "out", name % pid)
    return os.path.getsize(path) if os.path.exists(path) else 0


MEDIUM, IMAGE = "new/.medium.tovira-kit-%d/rs40eng.exe", ".disc.iso.tovira-kit-%d"
# Each phase: the kit slowed or not, the xorriso on PATH (None: the system's), and when the kit is in that phase.
PHASES = {"laying out": (True, None, lambda folder, pid: staged(folder, MEDIUM, pid) > 1 << 20),
          "a stand-in xorriso": (False, "stand-in", lambda folder, pid: staged(folder, IMAGE, pid) >= 300000),
          "the real xorriso": (False, "real", lambda folder, pid: staged(folder, IMAGE, pid) > 1 << 20)}


@pytest.mark.parametrize("stop", (signal.SIGINT, signal.SIGTERM), ids=lambda stop: stop.name)
@pytest.mark.parametrize("phase", PHASES)
def test_a_stop_leaves_nothing_and_ends_with_the_signals_status(kit, stopping, phase, stop):
    folder, envs = stopping
    slow, xorriso, ready = PHASES[phase]
    fresh_output(folder)
    before = sorted(os.listdir(folder))
    process = run(slowed([kit]) if slow else kit, folder, envs.get(xorriso), True, __medium="out/new/medium")
    deadline = time.monotonic() + 60
    while not ready(folder, process.pid) and process.poll() is None and time.monotonic() < deadline:
        time.sleep(0.005)
    process.send_signal(stop)
    out, err = process.communicate(timeout=60)
    assert process.returncode == -stop and out.splitlines()[-1:] == [f"stopped by {stop.name}: nothing was written"] \
        and err == "", f"status {process.returncode}: {out} {err}"
    assert os.listdir(os.path.join(folder, "out")) == [] and sorted(os.listdir(folder)) == before, (
        f"left {os.listdir(os.path.join(folder, 'out'))}")
    if xorriso == "stand-in":
        with open(os.path.join(folder, "stand-in", "xorriso.pid")) as f:
            started = f"/proc/{f.read().strip()}/stat"
        time.sleep(0.5)  # a process killed with its parent is reaped by whoever adopts it, if at all
        assert not os.path.exists(started) or open(started).read().split(") ")[1][0] == "Z", (
            "what the stand-in xorriso started still runs")


def test_a_leftover_of_an_earlier_run_is_not_reused_and_a_terminal_shows_progress(kit, stopping):
    """A run whose process id names a leftover of an earlier one makes its own."""
    folder, _ = stopping
    fresh_output(folder)
    leftover = "out/.medium.tovira-kit-$$"
    keep = f'mkdir {leftover} && echo old >{leftover}/stale && echo old >out/.disc.iso.tovira-kit-$$ && exec "$0" "$@"'
    master, terminal = pty.openpty()
    process = run(["sh", "-c", keep, kit], folder, None, True, terminal)
    os.close(terminal)
    shown = b""
    while True:
        try:
            shown += os.read(master, 4096)
        except OSError:
            break
    out, _ = process.communicate(timeout=120)
    with open(os.path.join(folder, "out", "disc.iso"), "rb") as f:
        assert process.returncode == 0 and f"sha256: {hashlib.sha256(f.read()).hexdigest()}" in out.splitlines(), (
            f"the rerun: status {process.returncode}: {out}")
    assert b"\rlaying out the medium: 100 %" in shown and b"\rwriting the image: 100 %" in shown, (
        f"no progress on a terminal: {shown[-200:]}")
    laid = sorted(os.listdir(os.path.join(folder, "out")))
    assert len(laid) == 4 and os.listdir(os.path.join(folder, "out", laid[1])) == ["stale"] and (
        "stale" not in os.listdir(os.path.join(folder, "out", "medium"))), f"a leftover was reused: {laid}"
