"""The whole program from foreign media: hostile folder names, a drive root, planted programs and DLLs, and a
read-only folder.

Every medium here carries traps: copies of a marker DLL under the names of system DLLs that Windows or Wine may
load, and marker programs named like the programs that the launcher starts by a bare name or that an unquoted
path would reach. A trap that is loaded or started leaves a marker file; a session must leave none.
"""

import hashlib
import os
import shutil
import subprocess

from harness import is_bright_green, poll, unix_to_windows
from layout import LABEL7, LAMP_LEFT, LAMP_TOPS, MENU_LABELS, Launcher, bmp, logo_colour, wait_painted

PLANTED_DLLS = ["uxtheme.dll", "dwmapi.dll", "version.dll", "gdiplus.dll", "windowscodecs.dll", "comctl32.dll",
                "msimg32.dll", "oleacc.dll", "propsys.dll", "profapi.dll", "cryptbase.dll", "sspicli.dll",
                "shcore.dll", "ntmarta.dll", "wtsapi32.dll", "textinputframework.dll", "imm32.dll", "riched20.dll",
                "msctf.dll", "shfolder.dll", "userenv.dll", "winmm.dll", "apphelp.dll", "linkinfo.dll",
                "ntshrui.dll", "explorerframe.dll", "urlmon.dll", "wininet.dll", "iertutil.dll", "secur32.dll",
                "dbghelp.dll", "xmllite.dll", "dwrite.dll", "mpr.dll", "netapi32.dll", "setupapi.dll"]
PLANTED_PROGRAMS = ["Explorer.exe", "Regsvr32.exe"]
# Named so that an unquoted path into the medium's folder would start "...\Meus.exe" instead.
HOSTILE_FOLDER = "Meus Manuais Técnicos Документы 資料"
WEB_ADDRESS = "https://www.qev-systems.example/"
COMPONENT = "componente.ocx"
# Eight folders deep: the medium's path passes 300 characters, beyond the 260 that older Windows calls take.
DEEP_FOLDER = "/".join(f"Pasta {level} de um disco com nomes bem compridos" for level in range(1, 9))
SW_SHOWMAXIMIZED = 3


class Traps:
    def __init__(self, t):
        self.t = t
        self.folder = os.path.join(t.dir, "markers")
        os.makedirs(self.folder)
        self.env = {"TOVIRA_E2E_MARKERS": unix_to_windows(self.folder)}

    def plant(self, medium, beside_folder=()):
        """DLL and program traps on the medium, and `beside_folder` programs in the folder that holds it."""
        build = os.path.join(self.t.session.build, "tests", "e2e")
        for name in PLANTED_DLLS:
            shutil.copy(os.path.join(build, "marker.dll"), medium.file(name))
        for name in PLANTED_PROGRAMS:
            shutil.copy(os.path.join(build, "planted.exe"), medium.file(name))
        for name in beside_folder:
            shutil.copy(os.path.join(build, "planted.exe"), os.path.join(os.path.dirname(medium.path), name))

    def sprung(self):
        """Marker name -> its lines (host process, when), for every trap that was loaded or started."""
        found = {}
        for name in sorted(os.listdir(self.folder)):
            with open(os.path.join(self.folder, name), encoding="utf-8") as f:
                found[name] = [line.rstrip("\n").split("\t") for line in f if line.strip()]
        return found

    def check_none(self):
        """No planted program ran and the launcher loaded no planted DLL. Other programs of the medium, such as
        the reader's installer, search their own folder as any program does; that is only noted."""
        ours, theirs = [], []
        for name, lines in self.sprung().items():
            for host, when in lines:
                planted_program = name in PLANTED_PROGRAMS or name == "Meus.exe"
                target = ours if planted_program or host.lower().endswith("\\tovira.exe") else theirs
                target.append(f"{name} by {host} ({when})")
        if theirs:
            print("  note, loaded by other programs of the medium: " + "; ".join(theirs), flush=True)
        assert not ours, "planted files were used: " + "; ".join(ours)


def foreign_medium(t, traps, logo, folder="medium", drive=None, beside_folder=()):
    files = {"Indice.pdf": b"%PDF-1.4\n% handbook\n", COMPONENT: b"MZ componente", "leia-me.txt": b"texto"}
    medium = t.medium(files, folder=folder, logo=logo, drive=drive)
    shutil.copy(t.session.recorder, medium.file("rs40eng.exe"))
    traps.plant(medium, beside_folder)
    return medium


def record_matching(t, count, predicate, what):
    records = t.wait_recorded(count)
    assert len(records) == count and predicate(records[-1]), f"{what}: the started programs were {records}"
    return records[-1]


def hover_lights_each_lamp(t, launcher):
    for row, (name, box) in enumerate(MENU_LABELS.items()):
        x, y = launcher.twips_point(*box)
        t.move(x - 1, y)
        t.move(x, y)
        top = LAMP_TOPS[row]

        def lit(pixel):
            return sum(is_bright_green(pixel(px, py)) for py in range(top, top + 16)
                       for px in range(LAMP_LEFT, LAMP_LEFT + 16)) >= 20

        assert lit(wait_painted(launcher, f"hover-{name}", lit)), f"the pointer on {name} does not light its lamp"


def use_every_action(t, medium, traps):
    """Hovers the menu, then opens the handbook, installs the reader, explores, opens the site and ends."""
    t.replace_with_recorder("windows/system32/explorer.exe", "windows/explorer.exe")
    t.move(5, 5)
    # The installer stand-in on the medium may meet a planted DLL and crash; no debugger window may then cover
    # the launcher.
    program = medium.start("explorer.exe=n;winedbg.exe=d", traps.env)
    launcher = Launcher(t, program)
    hover_lights_each_lamp(t, launcher)

    t.click(*launcher.twips_point(*MENU_LABELS["Label3"]))
    # At a drive root the handbook's path holds two backslashes in a row, which the shell passes on; from a deep
    # folder the reader gets the 8.3 form.
    handbook = medium.windows_path("Indice.pdf").lower()

    def reader_got_handbook(record):
        document = record["command_line"].rstrip().rstrip('"').rsplit('"', 1)[-1]
        named = (t.session.wintool("long-path", document) or "").lower().replace("\\\\", "\\")
        return named == handbook and "acrord32" in record["command_line"].lower()

    record_matching(t, 1, reader_got_handbook, "the handbook did not open in the reader")
    reader = t.session.wintool("wait-window", "Acrobat Reader", 10000)
    assert reader, "the reader's window did not appear"
    t.session.wintool("close", reader["hwnd"])
    assert poll(lambda: not t.session.wintool("wait-window", "Acrobat Reader", 100), 10), "the reader did not close"

    t.click(*launcher.twips_point(*MENU_LABELS["Label1"]))
    program.wait_message_box().answer(6)
    installer = '"' + medium.windows_path("rs40eng.exe") + '"'
    record_matching(t, 2, lambda r: r["command_line"] == installer, "the installer did not start")

    t.click(*launcher.twips_point(*MENU_LABELS["Label2"]))
    record_matching(t, 3, lambda r: r["command_line"] == "Explorer.exe" and r["show"] == SW_SHOWMAXIMIZED,
                    "the file manager did not start")

    t.click(*launcher.twips_point(*LABEL7))
    record_matching(t, 4, lambda r: r["command_line"].rstrip().endswith(WEB_ADDRESS + '"') and r["show"] == 1,
                    "the web site did not open in a normal window")
    assert program.running(), "the launcher ended before Finalizar"

    t.click(*launcher.twips_point(*MENU_LABELS["Label4"]))
    assert program.wait_exit(10), "Finalizar did not end the program"


def register_a_component(t, medium, traps):
    """Start-up without a logo: the registration window, then the component copied and registered."""
    open(t.log_path, "wb").close()
    program = medium.start("", traps.env)
    window = program.wait_window("QEV Register")
    errors = [c["title"] for c in window.children() if c["title"].startswith("Erro N°: ")]
    assert errors == ["Erro N°: 53\r\nDescrição: Arquivo não encontrado"], f"lblErro reads {errors}"
    items = window.list_box()["items"]
    assert COMPONENT in items and "marker.dll" not in items, f"the list reads {items}"
    index = items.index(COMPONENT)
    assert window.select(index), f"could not select {COMPONENT}"
    assert poll(lambda: window.list_box()["selected"] == index, 5), "the selection did not take"
    window.press("&Registrar Agora")
    assert program.wait_exit(15), "the program did not end after starting the registration"
    expected = 'Regsvr32 "C:\\windows\\system32\\' + COMPONENT + '"'
    record_matching(t, 1, lambda r: r["command_line"] == expected, "the registration tool did not start")
    copy = os.path.join(t.session.system32, COMPONENT)
    with open(copy, "rb") as f:
        assert f.read() == b"MZ componente", "the component's copy in the system folder differs"
    assert os.stat(copy).st_mode & 0o200, "the component's copy in the system folder is read-only"


def test_every_action_works_from_a_folder_named_in_four_scripts_and_nothing_planted_runs(t):
    traps = Traps(t)
    medium = foreign_medium(t, traps, bmp(120, 80, logo_colour), folder=HOSTILE_FOLDER, beside_folder=["Meus.exe"])
    use_every_action(t, medium, traps)
    traps.check_none()


def test_registration_works_from_a_folder_named_in_four_scripts_and_nothing_planted_runs(t):
    traps = Traps(t)
    medium = foreign_medium(t, traps, None, folder=HOSTILE_FOLDER, beside_folder=["Meus.exe"])
    register_a_component(t, medium, traps)
    traps.check_none()


def test_every_action_and_the_registration_work_from_a_folder_of_over_300_characters(t):
    traps = Traps(t)
    medium = foreign_medium(t, traps, bmp(120, 80, logo_colour), folder=DEEP_FOLDER)
    assert len(medium.windows_path()) > 300, f"the medium's path has only {len(medium.windows_path())} characters"
    use_every_action(t, medium, traps)
    os.remove(medium.file("imgLogo.bmp"))
    register_a_component(t, medium, traps)
    traps.check_none()


def test_every_action_works_from_a_drive_root_with_a_jpeg_logo(t):
    # A JPEG goes through Windows' own decoders, which load further DLLs after start-up.
    jpeg = os.path.join(t.dir, "logo.jpg")
    subprocess.run(["convert", "-size", "120x80", "gradient:red-blue", jpeg], check=True, timeout=60)
    with open(jpeg, "rb") as f:
        logo = f.read()
    traps = Traps(t)
    medium = foreign_medium(t, traps, logo, drive="m")
    assert medium.windows_path("Tovira.exe") == "M:\\Tovira.exe", "the medium is not at a drive root"
    use_every_action(t, medium, traps)
    traps.check_none()


def snapshot(folder):
    """Every entry below the folder with its size, modification time and content hash."""
    entries = {}
    for root, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(root, name)
            info = os.lstat(path)
            digest = None
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
            entries[os.path.relpath(path, folder)] = (info.st_size, info.st_mtime_ns, digest)
    return entries


def mount_read_only(path):
    """Binds the folder onto itself read-only; False where the sandbox forbids mounts."""
    if subprocess.run(["mount", "--bind", path, path], capture_output=True).returncode != 0:
        return False
    if subprocess.run(["mount", "-o", "remount,ro,bind", path], capture_output=True).returncode != 0:
        subprocess.run(["umount", path], capture_output=True)
        return False
    return True


def test_a_read_only_medium_serves_every_action_and_the_registration_unchanged(t):
    traps = Traps(t)
    medium = foreign_medium(t, traps, bmp(120, 80, logo_colour))
    os.remove(medium.file("imgLogo.bmp"))
    with_logo = foreign_medium(t, traps, bmp(120, 80, logo_colour), folder="with logo")
    for m in (medium, with_logo):  # as on a disc, every file is read-only
        for name in os.listdir(m.path):
            os.chmod(m.file(name), 0o444)
    before = {m.path: snapshot(m.path) for m in (medium, with_logo)}
    mounted = [m.path for m in (medium, with_logo) if mount_read_only(m.path)]
    try:
        if mounted:
            probe = os.path.join(mounted[0], "probe.txt")
            assert subprocess.run(["touch", probe], capture_output=True).returncode != 0, (
                "the read-only mount accepts writes")
        print(f"  read-only media: {'read-only bind mounts' if len(mounted) == 2 else 'snapshots only'}",
              flush=True)
        use_every_action(t, with_logo, traps)
        # Twice in a row, as a second run or an updated disc does; the second time over a read-only copy, as the
        # copies of earlier versions were.
        register_a_component(t, medium, traps)
        os.chmod(os.path.join(t.session.system32, COMPONENT), 0o444)
        register_a_component(t, medium, traps)
    finally:
        for path in mounted:
            subprocess.run(["umount", path], capture_output=True)
    for m in (medium, with_logo):
        assert snapshot(m.path) == before[m.path], f"the medium {m.path} changed during the session"
    traps.check_none()


def test_planted_dlls_are_loadable_from_the_medium_without_hardening(t):
    """The control: a program without hardening, run from the same kind of medium, shows which planted DLLs
    Wine would take from there; the extra marker proves that the markers work at all."""
    traps = Traps(t)
    medium = foreign_medium(t, traps, None)
    shutil.copy(medium.file("uxtheme.dll"), medium.file("e2e-marker.dll"))
    shutil.copy(os.path.join(t.session.build, "tests", "e2e", "dllprobe.exe"), medium.file("dllprobe.exe"))
    subprocess.run(["wine", medium.windows_path("dllprobe.exe"), *PLANTED_DLLS, "e2e-marker.dll"],
                   env=dict(t.session.env, **traps.env), cwd=t.session.neutral, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    sprung = traps.sprung()
    assert "e2e-marker.dll" in sprung, f"the control DLL left no marker: {sorted(sprung)}"
    loaded = sorted(name for name in sprung if name != "e2e-marker.dll")
    print("  Wine would have loaded without hardening: " + (", ".join(loaded) or "none"), flush=True)
