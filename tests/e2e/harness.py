"""Drives the real Tovira.exe under Wine on a virtual X server.

One Session per run: Xvfb, a fresh 32-bit Wine prefix whose file and web associations lead only to
stand-ins (the recorder), and a guard that notices any attempt to start a program on the host. One
Context per test: temporary media, the processes the test started (stopped by id afterwards) and the
recorder's log. conftest.py hands both to the tests as pytest fixtures.
"""

import ctypes
import ctypes.util
import json
import os
import shutil
import subprocess
import tempfile
import time

from PIL import ImageGrab

TWIPS_PER_PIXEL = 15
SCREEN = (1280, 1024)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
SILVER = (192, 192, 192)
STRIPE_BLUE = (0, 64, 128)

# Wine's own services; everything else a test leaves behind is stopped, Wine's explorer included (the
# file manager that "Explorer.exe" starts, or a desktop process that comes back at the next window).
# The wintool commands that only ask, and so may be asked again.
WINTOOL_QUESTIONS = {"windows", "tree", "list", "client", "tooltips", "procs", "resources", "current-cursor", "sysdir",
                     "long-path"}
WINE_SYSTEM_PROCESSES = {"services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "rpcss.exe", "conhost.exe"}
# Wine runs its own build of a program found in the system folder before the file there; the stand-ins that
# replace such programs must be taken as they are.
WINE_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d;regsvr32.exe=n;winebrowser.exe=n"
HOST_OPENERS = ["xdg-open", "sensible-browser", "x-www-browser", "www-browser", "firefox", "chromium",
                "google-chrome", "gnome-open", "kde-open", "gio", "evince", "okular"]

def poll(probe, timeout=10.0, interval=0.1):
    """Calls probe until it returns something truthy; returns that, or the last falsy value at the timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def px(twips):
    return int(round(twips / TWIPS_PER_PIXEL))


def unix_to_windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Image:
    """A screenshot: its RGB pixels and the PNG saved of it."""

    def __init__(self, picture, png_path):
        self.png_path = png_path
        self.width, self.height = picture.size
        self.pixels = picture.load()

    def pixel(self, x, y):
        return self.pixels[x, y]

    def region(self, left, top, right, bottom):
        """All pixels of the half-open rectangle, row by row."""
        return [self.pixel(x, y) for y in range(top, bottom) for x in range(left, right)]


def is_bright_green(rgb):
    r, g, b = rgb
    return g >= 160 and g > r + 40 and g > b + 40


def is_green(rgb):
    r, g, b = rgb
    return g >= 40 and g > r + 20 and g > b + 20


def is_white(rgb):
    return all(c >= 240 for c in rgb)


def is_light(rgb):
    return sum(rgb) >= 3 * 160


class XCursor:
    """The pointer image the X server shows, through XFixes (so what the user sees, whatever Wine did)."""

    class _Image(ctypes.Structure):
        _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                    ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                    ("serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                    ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]

    def __init__(self, display):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes") or "libXfixes.so.3")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(self._Image)
        self.xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(display.encode())
        assert self.display, "cannot open the X display for the cursor"

    def shape(self):
        """Hot spot, size and the drawn pixels ('#') of the current pointer, as rows of text."""
        image = self.xfixes.XFixesGetCursorImage(self.display)
        assert image, "XFixes gave no cursor image"
        c = image.contents
        rows = []
        for y in range(c.height):
            rows.append("".join("#" if (c.pixels[y * c.width + x] >> 24) & 0xFF else "."
                                for x in range(c.width)))
        shape = {"hotspot": [c.xhot, c.yhot], "size": [c.width, c.height], "rows": rows}
        self.x11.XFree(image)
        return shape

    def close(self):
        self.x11.XCloseDisplay(self.display)


def trimmed(shape):
    """The drawn pixels relative to the hot spot, so that padding to a larger cursor size does not matter."""
    hx, hy = shape["hotspot"]
    return {(x - hx, y - hy) for y, row in enumerate(shape["rows"]) for x, ch in enumerate(row) if ch == "#"}


def same_cursor(a, b):
    pa, pb = trimmed(a), trimmed(b)
    return bool(pa) and len(pa ^ pb) <= max(2, len(pa) // 50)


class Window:
    def __init__(self, session, info):
        self.session = session
        self.hwnd = info["hwnd"]
        self.info = info

    @property
    def title(self):
        return self.info["title"]

    def tree(self):
        return self.session.wintool("tree", self.hwnd)

    def children(self):
        return self.tree()["children"]

    def child_texts(self):
        return [c["title"] for c in self.children()]

    def child(self, class_name=None, text=None, control_id=None):
        for c in self.children():
            if class_name is not None and c["class"].lower() != class_name.lower():
                continue
            if text is not None and c["title"].replace("&", "") != text.replace("&", ""):
                continue
            if control_id is not None and c["id"] != control_id:
                continue
            return c
        return None

    def list_box(self):
        return self.session.wintool("list", self.hwnd)

    def select(self, index):
        return self.session.wintool("select", self.hwnd, index)

    def press(self, caption_or_id):
        """BM_CLICK on a button given by caption or "id:N"; posted, so a modal box it opens does not block."""
        assert self.session.wintool("click", self.hwnd, caption_or_id), f"no button {caption_or_id!r} in {self.title!r}"

    def close(self):
        return self.session.wintool("close", self.hwnd)

    def client(self):
        return self.session.wintool("client", self.hwnd)

    def refresh(self):
        self.info = self.session.wintool("tree", self.hwnd)["window"]
        return self

    def alive(self):
        return any(w["hwnd"] == self.hwnd for w in self.session.wintool("windows", self.info["pid"]))


class MessageBox(Window):
    @property
    def text(self):
        texts = [c["title"] for c in self.children() if c["class"].lower() == "static" and c["title"]]
        return "\n".join(texts)

    def buttons(self):
        return [(c["id"], c["title"]) for c in self.children() if c["class"].lower() == "button" and c["visible"]]

    def answer(self, button_id):
        """Presses the button with this id (1 OK, 6 Yes, 7 No): ids do not depend on Wine's language."""
        self.press(f"id:{button_id}")

    def icon_drawn(self):
        """Whether the box shows an icon: coloured pixels where message boxes put it, left of the text."""
        shot = self.session.screenshot("messagebox")
        left, top, right, bottom = self.info["rect"]
        statics = [c for c in self.children() if c["class"].lower() == "static" and c["title"]]
        text_left = min((c["rect"][0] for c in statics), default=right)
        pixels = shot.region(max(left, 0) + 4, top + 4, min(text_left, shot.width), min(bottom, shot.height) - 4)
        return any(max(p) - min(p) > 60 for p in pixels)


class Program:
    """A process that the test started: the unix wine process and its Windows process id."""

    def __init__(self, context, popen, windows_pid):
        self.context = context
        self.session = context.session
        self.popen = popen
        self.pid = windows_pid

    def windows(self, visible_only=True):
        found = self.session.wintool("windows", self.pid)
        return [w for w in found if w["visible"] or not visible_only]

    def wait_window(self, title, timeout=15.0):
        """A visible top-level window of this process, not a message box, whose title equals or begins
        with `title`."""

        def probe():
            for w in self.windows():
                if w["title"].startswith(title) and w["class"] != "#32770":
                    return w
            return None

        found = poll(probe, timeout, 0.2)
        assert found, (f"no window titled {title!r} appeared; visible: {[w['title'] for w in self.windows()]}"
                       f"{'' if self.running() else ' (the process has ended)'}")
        return Window(self.session, found)

    def wait_message_box(self, timeout=10.0):
        found = poll(lambda: [w for w in self.windows() if w["class"] == "#32770"], timeout, 0.2)
        assert found, "no message box appeared" + ("" if self.running() else " (the process has ended)")
        assert len(found) == 1, f"{len(found)} message boxes at once"
        return MessageBox(self.session, found[0])

    def running(self):
        return self.popen.poll() is None

    def wait_exit(self, timeout=10.0):
        try:
            self.popen.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False


class Medium:
    """A temporary folder holding a copy of Tovira.exe and the files a test asks for."""

    def __init__(self, context, path, windows_dir):
        self.context = context
        self.path = path
        self.windows_dir = windows_dir

    def file(self, name):
        return os.path.join(self.path, name)

    def windows_path(self, name=""):
        if not name:
            return self.windows_dir
        return self.windows_dir.rstrip("\\") + "\\" + name

    def hide(self, name):
        """Marks a file hidden the Windows way (Wine keeps it as an extended attribute)."""
        attrs = self.context.session.wintool("attrib", self.windows_path(name), "+h")
        assert attrs and attrs["hidden"], f"could not hide {name}"

    def start(self, overrides="", env=None):
        return self.context.start_program(self.windows_path("Tovira.exe"), overrides, env)


class Context:
    """What one test owns; everything is undone by cleanup()."""

    def __init__(self, session, name):
        self.session = session
        self.name = name
        self.dir = tempfile.mkdtemp(prefix="t-", dir=session.work)
        self.log_path = os.path.join(self.dir, "recorder.log")
        open(self.log_path, "wb").close()
        self.programs = []
        self.drives = []
        self.replaced = []
        self.baseline = {p["pid"] for p in session.wintool("procs")}
        self.system32_before = set(os.listdir(session.system32))
        self.dpi = 96

    # Media -------------------------------------------------------------------------------------
    def medium(self, files=None, folder="medium", logo=None, drive=None, stand_ins=()):
        """A medium folder with Tovira.exe and `files` (name -> bytes; a name ending in "/" makes a folder).

        `logo`: bytes of imgLogo.bmp, or None for no logo. `drive`: a letter to map the folder to as a
        drive root (D:\\Tovira.exe). `stand_ins`: names of recorder copies to put beside Tovira.exe, e.g.
        "Explorer.exe" or "Regsvr32.exe", to show that a program named without a folder is not taken
        from the medium: the log must stay without their lines.
        """
        path = os.path.join(self.dir, "media", folder)
        os.makedirs(path)
        assert os.path.exists(self.session.tovira), f"Tovira.exe is not built: {self.session.tovira}"
        shutil.copy(self.session.tovira, os.path.join(path, "Tovira.exe"))
        if logo is not None:
            files = dict(files or {}, **{"imgLogo.bmp": logo})
        for name, content in (files or {}).items():
            target = os.path.join(path, name)
            if name.endswith("/"):
                os.makedirs(target)
            else:
                with open(target, "wb") as f:
                    f.write(content)
        for name in stand_ins:
            shutil.copy(self.session.recorder, os.path.join(path, name))
        if drive:
            link = os.path.join(self.session.prefix, "dosdevices", drive.lower() + ":")
            assert not os.path.lexists(link), f"drive {drive}: is taken"
            os.symlink(path, link)
            self.drives.append(link)
            windows_dir = drive.upper() + ":\\"
        else:
            windows_dir = unix_to_windows(path)
        return Medium(self, path, windows_dir)

    def start_program(self, windows_exe, overrides="", env=None):
        """Starts a program with wine from a neutral current folder and finds its Windows process id.

        `overrides`: more Wine DLL overrides for this program and the programs it starts; `env`: more
        environment variables, which its children inherit too.
        """
        env = dict(self.session.env, **(env or {}), TOVIRA_E2E_LOG=unix_to_windows(self.log_path))
        if overrides:
            env["WINEDLLOVERRIDES"] += ";" + overrides
        popen = subprocess.Popen(["wine", windows_exe], cwd=self.session.neutral, env=env,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wanted = windows_exe.lower()

        def find():
            for p in self.session.wintool("procs"):
                if p["pid"] not in self.baseline and p["image"].lower() == wanted:
                    return p["pid"]
            return None

        pid = poll(find, 15.0, 0.2)
        program = Program(self, popen, pid)
        self.programs.append(program)
        assert pid, f"{windows_exe} did not start" + ("" if program.running() else " (wine exited)")
        return program

    # What the stand-ins saw ----------------------------------------------------------------------
    def recorded(self):
        """The recorder's log: one dict per started stand-in (pid, show state or None, command line)."""
        with open(self.log_path, "rb") as f:
            lines = f.read().decode("utf-8").splitlines()
        records = []
        for line in lines:
            pid, show, command_line = line.split("\t", 2)
            records.append({"pid": int(pid), "show": None if show == "-" else int(show),
                            "command_line": command_line})
        return records

    def wait_recorded(self, count=1, timeout=10.0):
        poll(lambda: len(self.recorded()) >= count, timeout, 0.2)
        return self.recorded()

    def new_processes(self):
        """Processes started since the test began, e.g. Wine's own explorer.exe that "Explorer.exe" runs:
        it cannot be replaced by a stand-in, since Wine's desktop is the same program."""
        return [p for p in self.session.wintool("procs") if p["pid"] not in self.baseline
                and p["exe"].lower() != "wintool.exe"]

    def replace_with_recorder(self, *paths):
        """Puts the recorder in place of programs of the prefix (paths below drive_c, with "/") until the test ends.

        The originals are moved aside, out of the prefix, rather than overwritten: a running process may
        have them mapped.
        """
        for relative in paths:
            target = os.path.join(self.session.prefix, "drive_c", relative)
            backup = os.path.join(self.dir, f"original-{len(self.replaced)}")
            shutil.move(target, backup)
            self.replaced.append((backup, target))
            shutil.copy(self.session.recorder, target)

    def run_console(self, windows_exe, *args, timeout=300):
        """Runs a console program to its end; returns its exit status and its output."""
        with tempfile.TemporaryFile(dir=self.dir) as out:
            result = subprocess.run(["wine", windows_exe, *[str(a) for a in args]], env=self.session.env,
                                    cwd=self.session.neutral, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            return result.returncode, out.read().decode("utf-8", "replace")

    def start_command(self, present):
        """Puts the recorder at c:\\windows\\command\\start.exe, or removes it."""
        target = os.path.join(self.session.prefix, "drive_c", "windows", "command", "start.exe")
        if present:
            shutil.copy(self.session.recorder, target)
        elif os.path.exists(target):
            os.remove(target)

    # Screen and pointer -------------------------------------------------------------------------
    def screenshot(self, label):
        return self.session.screenshot(f"{self.name}-{label}")

    def move(self, x, y):
        self.session.xdotool("mousemove", str(x), str(y))

    def click(self, x, y, times=1):
        """`times` 2 is a double-click: xdotool's presses follow each other well inside the double-click time."""
        self.move(x, y)
        self.session.xdotool("click", "--repeat", str(times), "1")

    def cursor(self):
        return self.session.settled_cursor()

    def set_dpi(self, dpi, sign_in=True):
        """Programs that this test starts from now on run at this screen scale (Session.set_dpi); cleanup puts 96
        back, since the prefix serves the whole run. Call it before starting anything: a sign-in ends every
        program."""
        self.dpi = dpi
        self.session.set_dpi(dpi, sign_in)
        self.baseline = {p["pid"] for p in self.session.wintool("procs")}

    def cleanup(self):
        errors = []
        if self.dpi != 96:
            self.set_dpi(96)
        for p in self.session.wintool("procs"):
            if p["pid"] in self.baseline:
                continue
            system_process = p["exe"].lower() in WINE_SYSTEM_PROCESSES and "\\system32\\" in p["image"].lower()
            if not system_process:
                self.session.end_process(p["pid"])
        for program in self.programs:
            if not program.wait_exit(5):
                program.popen.kill()
                program.popen.wait()
        for backup, target in reversed(self.replaced):
            shutil.move(backup, target)
        for name in set(os.listdir(self.session.system32)) - self.system32_before:
            os.remove(os.path.join(self.session.system32, name))
        for link in self.drives:
            os.remove(link)
        self.start_command(present=False)
        leaks = self.session.host_leaks()
        if leaks:
            errors.append("a host program was started: " + "; ".join(leaks))
        return errors


class Session:
    def __init__(self, build, out_dir, display_from=90, prefix=None):
        self.build = os.path.abspath(build)
        self.tovira = os.path.join(self.build, "Tovira.exe")
        self.wintool_exe = os.path.join(self.build, "tests", "e2e", "wintool.exe")
        self.recorder = os.path.join(self.build, "tests", "e2e", "recorder.exe")
        self.bench = os.path.join(self.build, "bench", "bench.exe")
        for tool in (self.wintool_exe, self.recorder):
            if not os.path.exists(tool):
                raise RuntimeError(f"{tool} is missing: build this Windows configuration first")
        self.out_dir = out_dir
        os.makedirs(out_dir, exist_ok=True)
        self.work = tempfile.mkdtemp(prefix="tovira-e2e-")
        self.neutral = os.path.join(self.work, "neutral")
        os.makedirs(self.neutral)
        self.prefix = prefix or os.path.join(self.work, "prefix")
        self.xvfb = None
        self.cursor = None
        try:
            self._set_up(display_from)
        except BaseException:
            self.close()
            raise

    def _set_up(self, display_from):
        self._start_xvfb(display_from)
        self._make_guard()
        # run.sh sets WINEARCH, and the loader to go with it, from the machine of the build's Tovira.exe.
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEARCH=os.environ["WINEARCH"], WINEDEBUG="-all",
                        WINEDLLOVERRIDES=WINE_OVERRIDES, DISPLAY=self.display,
                        LC_ALL="C.UTF-8", PATH=self.guard_bin + os.pathsep + os.environ.get("PATH", ""))
        self.env.pop("TOVIRA_E2E_LOG", None)
        self.system32 = os.path.join(self.prefix, "drive_c", "windows", "system32")
        self.cursor = XCursor(self.display)
        self._references = {}
        self._make_prefix()

    # Set-up ---------------------------------------------------------------------------------------
    def _start_xvfb(self, first):
        for number in range(first, first + 40):
            if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            proc = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                                     "-nolisten", "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            up = poll(lambda: proc.poll() is not None or subprocess.run(
                ["xdpyinfo", "-display", f":{number}"], stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL).returncode == 0, 10.0, 0.1)
            if up and proc.poll() is None:
                self.xvfb = proc
                self.display = f":{number}"
                return
            proc.kill()
            proc.wait()
        raise RuntimeError("no free X display for Xvfb")

    def _make_guard(self):
        """Programs on the host PATH that a Wine association might reach: each one only notes the call."""
        self.guard_bin = os.path.join(self.work, "guard-bin")
        self.guard_log = os.path.join(self.work, "host-leaks.log")
        os.makedirs(self.guard_bin)
        open(self.guard_log, "w").close()
        for name in HOST_OPENERS:
            script = os.path.join(self.guard_bin, name)
            with open(script, "w") as f:
                f.write(f'#!/bin/sh\necho "{name} $*" >> "{self.guard_log}"\n')
            os.chmod(script, 0o755)

    def _make_prefix(self):
        fresh = not os.path.exists(os.path.join(self.prefix, "system.reg"))
        if not fresh:
            # A Wine session left over on a reused prefix would still talk to its own, perhaps gone, display.
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=60)
        else:
            subprocess.run(["wineboot", "-i"], env=self.env, check=True, timeout=300,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p"], env=self.env)  # already running is fine
        self._install_stand_ins()
        # A first window brings up Wine's desktop process, so that it belongs to the baseline of every test.
        self.arrow_reference()
        self._hold_desktop()

    def _hold_desktop(self):
        """Wine closes its desktop a moment after the last program that uses it ends and starts it again, through
        explorer.exe, with the next one; tests that put the recorder in explorer.exe's place would then leave the
        launcher without a desktop. A hidden window, kept for the whole session, holds the desktop open."""
        self.desktop_holder = subprocess.Popen(
            ["wine", r"C:\e2e\browser.exe", "--window", "e2e desktop holder", "--hidden"],
            env=dict(self.env, TOVIRA_E2E_LOG=unix_to_windows(os.path.join(self.work, "holder.log"))),
            cwd=self.neutral, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def holder():
            try:
                return any(p["image"].lower().endswith("\\browser.exe") for p in self.wintool("procs"))
            except AssertionError:  # the process list can fail while a new session starts
                return False

        if not poll(holder, 15.0, 0.2):
            raise RuntimeError("the process that holds Wine's desktop did not start")

    def _install_stand_ins(self):
        stand_ins = os.path.join(self.prefix, "drive_c", "e2e")
        os.makedirs(stand_ins, exist_ok=True)
        shutil.copy(self.wintool_exe, os.path.join(stand_ins, "wintool.exe"))
        shutil.copy(self.recorder, os.path.join(stand_ins, "AcroRd32.exe"))
        shutil.copy(self.recorder, os.path.join(stand_ins, "browser.exe"))
        # Nothing the launcher starts may reach Wine's real tools or, through them, the host.
        for target in ("regsvr32.exe", "winebrowser.exe"):
            shutil.copy(self.recorder, os.path.join(self.system32, target))
        # A 64-bit prefix has no such folder; the start command's stand-in goes there.
        start = os.path.join(self.prefix, "drive_c", "windows", "command", "start.exe")
        os.makedirs(os.path.dirname(start), exist_ok=True)
        if os.path.exists(start):
            os.remove(start)
        reader = r'\"C:\\e2e\\AcroRd32.exe\" \"%1\"'
        browser = r'\"C:\\e2e\\browser.exe\" \"%1\"'
        lines = ["REGEDIT4", "",
                 r"[-HKEY_CURRENT_USER\Software\Classes\.pdf]",
                 r"[-HKEY_CURRENT_USER\Software\Classes\http]",
                 r"[-HKEY_CURRENT_USER\Software\Classes\https]",
                 r"[HKEY_CLASSES_ROOT\.pdf]", '@="ToviraE2E.Document"', "",
                 r"[HKEY_CLASSES_ROOT\ToviraE2E.Document\shell\open\command]", f'@="{reader}"', ""]
        for scheme in ("http", "https"):
            lines += [f"[HKEY_CLASSES_ROOT\\{scheme}]", '@="URL"', '"URL Protocol"=""', "",
                      f"[-HKEY_CLASSES_ROOT\\{scheme}\\shell\\open\\ddeexec]",
                      f"[HKEY_CLASSES_ROOT\\{scheme}\\shell\\open\\command]", f'@="{browser}"', ""]
        self.regedit("stand-ins", lines)

    def regedit(self, name, lines):
        """Imports registry lines (a REGEDIT4 file's, first line included) into the prefix."""
        reg = os.path.join(self.work, name + ".reg")
        with open(reg, "w") as f:
            f.write("\r\n".join(lines) + "\r\n")
        subprocess.run(["wine", "regedit", "/S", unix_to_windows(reg)], env=self.env, check=True, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def end_process(self, pid):
        """Ends a Wine process; one that ended by itself since it was listed (a new session's helpers come and go)
        is no failure, one that is still there is."""
        try:
            self.wintool("kill", pid)
        except AssertionError:
            if any(p["pid"] == pid for p in self.wintool("procs")):
                raise

    def set_dpi(self, dpi, sign_in=True):
        """Wine's screen scale (LogPixels, 96 is 100 %). As a new scale on Windows, it takes effect at a sign-in: a
        new Wine session. Without one, Wine 10 answers it for the system only, not for the screen (Wine 8 for both)."""
        lines = ["REGEDIT4", ""]
        for key in (r"HKEY_CURRENT_USER\Control Panel\Desktop",
                    r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"):
            lines += [f"[{key}]", f'"LogPixels"=dword:{dpi:08x}', ""]
        self.regedit("dpi", lines)
        if sign_in:
            self._sign_in()

    def _sign_in(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        self.desktop_holder.wait(10)
        subprocess.run(["wineserver", "-p"], env=self.env)
        # The pointers are drawn for the scale.
        self._references = {}
        self.arrow_reference()
        self._hold_desktop()

    # Tools ----------------------------------------------------------------------------------------
    def wintool(self, *args):
        # Answers go through a file, not a pipe: a Wine process that this call happens to start (the desktop
        # process on first use) inherits the output and would hold a pipe open long after the tool ends.
        # Wine fails to start a program now and then while another starts or ends (status 1, nothing said): the
        # tool's first line says that it ran, so a call without it is made again, a command that acts too. A
        # question is asked once more if it fails after it ran; a command that acts is never repeated then.
        started = b"started\n"
        runs = 0
        for attempt in range(4):
            with tempfile.TemporaryFile(dir=self.work) as out, tempfile.TemporaryFile(dir=self.work) as err:
                result = subprocess.run(["wine", r"C:\e2e\wintool.exe", *[str(a) for a in args]], env=self.env,
                                        cwd=self.neutral, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                        timeout=60)
                out.seek(0)
                err.seek(0)
                answer = out.read()
                said = err.read().decode("utf-8", "replace").strip()[-300:]
            ran = answer.startswith(started)
            if result.returncode == 0 and ran:
                return json.loads(answer[len(started):].decode("utf-8"))
            runs += ran
            if ran and (args[0] not in WINTOOL_QUESTIONS or runs > 1):
                break
            time.sleep(0.5)
        raise AssertionError(f"wintool {' '.join(map(str, args))} failed with status {result.returncode} "
                             f"after {attempt + 1} tries: {said}")

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=True, timeout=30)

    def screenshot(self, label):
        """Saves the screen as PNG under the output folder and returns it as an Image."""
        png = os.path.join(self.out_dir, "".join(c if c.isalnum() or c in "-_" else "_" for c in label) + ".png")
        picture = ImageGrab.grab(xdisplay=self.display)
        picture.save(png, compress_level=1)
        return Image(picture, png)

    def host_leaks(self):
        with open(self.guard_log) as f:
            leaks = [line.strip() for line in f if line.strip()]
        open(self.guard_log, "w").close()
        return leaks

    def settled_cursor(self, timeout=3.0):
        """The pointer image once Wine has caught up with the last move: two equal reads in a row."""
        previous = self.cursor.shape()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            time.sleep(0.15)
            current = self.cursor.shape()
            if current == previous:
                return current
            previous = current
        return previous

    def cursor_shape(self, *what):
        """A cursor as Windows loads it: a system name ("arrow", "wait") or (exe path, resource id)."""
        return self.wintool("cursor-shape", *what)

    def _reference(self, name, cursor_option):
        """The X pointer over a stand-in window whose class cursor is the named system cursor."""
        if name not in self._references:
            title = f"e2e reference {name}"
            popen = subprocess.Popen(["wine", r"C:\e2e\browser.exe", "--window", title, *cursor_option],
                                     env=dict(self.env, TOVIRA_E2E_LOG=unix_to_windows(os.path.join(self.work, "ref.log"))),
                                     cwd=self.neutral, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                window = self.wintool("wait-window", title, 15000)
                assert window, "the reference window did not open"
                left, top, right, bottom = window["rect"]
                x, y = (left + right) // 2, (top + bottom) // 2
                self.xdotool("mousemove", str(x - 1), str(y))
                self.xdotool("mousemove", str(x), str(y))
                self._references[name] = self.settled_cursor()
                self.wintool("close", window["hwnd"])
                popen.wait(10)
            finally:
                if popen.poll() is None:
                    popen.kill()
                    popen.wait()
        return self._references[name]

    def arrow_reference(self):
        return self._reference("arrow", [])

    def wait_reference(self):
        return self._reference("wait", ["--cursor", "wait"])

    def close(self):
        if self.cursor:
            self.cursor.close()
        if not hasattr(self, "env"):
            shutil.rmtree(self.work, ignore_errors=True)
            if self.xvfb:
                self.xvfb.terminate()
                self.xvfb.wait()
            return
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()
        shutil.rmtree(self.work, ignore_errors=True)
