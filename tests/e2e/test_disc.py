"""The disc as a customer gets it: an image made by the disc kit, mounted read-only and given to Wine as the
CD-ROM drive D:, Tovira started from D:\\Tovira.exe."""

import os
import shutil
import subprocess

from harness import Medium, poll
from helpers import check_registered, click_item, question_box, started_once
from layout import MENU_LABELS, Launcher, bmp
LOGO_RGB = (40, 120, 200)
COMPONENT = "Gráficos Tovira.ocx"
DRIVES_KEY = r"HKLM\Software\Wine\Drives"


def fuse_works():
    return os.path.exists("/dev/fuse") and shutil.which("fuseiso") and shutil.which("fusermount")


class Disc:
    """An image that the kit made from the given files, mounted read-only as drive D: until close()."""

    def __init__(self, t, name, logo=None, components=()):
        self.t = t
        source = os.path.join(t.dir, name)
        os.makedirs(source)
        files = {"Indice.pdf": b"%PDF-1.4\n% handbook\n", "logo.bmp": logo}
        for file_name, content in files.items():
            if content is not None:
                with open(os.path.join(source, file_name), "wb") as f:
                    f.write(content)
        shutil.copy(t.session.recorder, os.path.join(source, "rs40eng.exe"))
        for component in components:
            shutil.copy(os.path.join(t.session.build, "tests", "e2e", "marker.dll"), os.path.join(source, component))
        self.image = os.path.join(t.dir, name + ".iso")
        kit = os.path.join(os.path.dirname(t.session.build), "native", "kit", "tovira-kit")
        assert os.path.exists(kit), f"the disc kit is not built: {kit} (build the native configuration)"
        args = [kit, "--program", t.session.tovira, "--handbook", os.path.join(source, "Indice.pdf"),
                "--installer", os.path.join(source, "rs40eng.exe"), "--label", "TOVIRA " + name.upper(),
                "--medium", os.path.join(t.dir, name + "-medium"), "--iso", self.image]
        args += ["--logo", os.path.join(source, "logo.bmp")] if logo else ["--no-logo"]
        for component in components:
            args += ["--component", os.path.join(source, component)]
        made = subprocess.run(args, capture_output=True, text=True, timeout=120)
        assert made.returncode == 0, f"the kit failed: {made.stdout} {made.stderr}"

        self.path = os.path.join(t.dir, name + "-mounted")
        os.makedirs(self.path)
        self.fuse = fuse_works()
        if self.fuse:
            assert subprocess.run(["fuseiso", self.image, self.path], capture_output=True).returncode == 0, (
                "fuseiso could not mount the image")
            print(f"  {name}: the image is mounted read-only with fuseiso", flush=True)
        else:
            subprocess.run(["xorriso", "-osirrox", "on", "-indev", self.image, "-extract", "/", self.path],
                           check=True, capture_output=True, timeout=120)
            subprocess.run(["chmod", "-R", "a-w", self.path], check=True)
            print(f"  {name}: no FUSE on this host: the image is extracted into a read-only folder", flush=True)

        self.link = os.path.join(t.session.prefix, "dosdevices", "d:")
        assert not os.path.lexists(self.link), "drive D: is taken in the prefix"
        os.symlink(self.path, self.link)
        self.registry("add", "/t", "REG_SZ", "/d", "cdrom")
        self.medium = Medium(t, self.path, "D:\\")

    def registry(self, verb, *args):
        subprocess.run(["wine", "reg", verb, DRIVES_KEY, "/v", "d:", *args, "/f"], env=self.t.session.env,
                       cwd=self.t.session.neutral, check=True, capture_output=True, timeout=60)

    def close(self, *programs):
        for program in programs:
            self.t.session.wintool("kill", program.pid)
            program.wait_exit(10)
        if os.path.lexists(self.link):
            os.remove(self.link)
        self.registry("delete")
        if self.fuse:
            subprocess.run(["fusermount", "-u", "-z", self.path], capture_output=True)
        else:
            subprocess.run(["chmod", "-R", "u+w", self.path], check=True)


def check_read_only(t, disc, name):
    attributes = t.session.wintool("attrib", disc.medium.windows_path(name), "")
    assert attributes and attributes["readonly"], f"D:\\{name} is not read-only to Windows: {attributes}"


def test_disc_with_a_logo_shows_it_opens_the_handbook_and_starts_the_installer_from_the_cdrom_drive(t):
    disc = Disc(t, "logo", logo=bmp(100, 60, lambda x, y: LOGO_RGB))
    program = None
    try:
        check_read_only(t, disc, "Tovira.exe")
        t.move(5, 5)
        program = disc.medium.start()
        launcher = Launcher(t, program)
        assert launcher.program.running(), "the launcher ended"
        near = lambda rgb: all(abs(a - b) <= 8 for a, b in zip(rgb, LOGO_RGB))  # noqa: E731
        shot = {}

        def painted():
            shot["pixel"] = launcher.shot("disc-logo")
            return all(near(shot["pixel"](x, y)) for x, y in ((210, 2), (250, 30), (306, 58)))

        assert poll(painted, 10, 0.3), f"the disc's logo is not shown: {shot['pixel'](250, 30)}"

        click_item(t, launcher, "Label3")
        record = started_once(t, "the reader")
        # The program names D:\\Indice.pdf, two backslashes at a drive root; the shell may pass on either form.
        assert "d:\\indice.pdf" in record["command_line"].lower().replace("\\\\", "\\"), (
            f"the reader got {record['command_line']!r}, not the handbook on D:")
        reader = t.session.wintool("wait-window", "Acrobat Reader", 10000)
        assert reader, "the reader's window did not appear"
        t.session.wintool("close", reader["hwnd"])
        open(t.log_path, "wb").close()

        t.click(*launcher.twips_point(*MENU_LABELS["Label1"]))
        question_box(launcher.program).answer(6)
        record = started_once(t, "the installer")
        assert record["command_line"] == '"D:\\rs40eng.exe"', f"installer command line {record['command_line']!r}"
    finally:
        disc.close(*([program] if program else []))


def test_disc_without_a_logo_registers_its_component_twice_in_a_row(t):
    disc = Disc(t, "parts", components=[COMPONENT])
    programs = []
    try:
        check_read_only(t, disc, COMPONENT)
        for attempt in ("first", "second"):
            open(t.log_path, "wb").close()
            program = disc.medium.start()
            programs.append(program)
            window = program.wait_window("QEV Register")
            items = window.list_box()["items"]
            assert items == [COMPONENT], f"{attempt} run: the list shows {items}"
            assert window.select(0), "could not select the component"
            assert poll(lambda: window.list_box()["selected"] == 0, 5), "the selection did not take"
            window.press("&Registrar Agora")
            box = poll(lambda: [w for w in t.session.wintool("windows", program.pid)
                                if w["class"] == "#32770"], 3, 0.3)
            assert not box, (f"{attempt} registration: a box appeared: "
                             f"{[program.wait_message_box().text] if box else ''}")
            check_registered(t, program, disc.medium, COMPONENT)
    finally:
        disc.close(*programs)
