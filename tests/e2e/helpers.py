"""The steps and checks that several end-to-end test files share: the launcher's clicks, the menu's hover state,
the enlarged logo of four quarters, the window that a logo brings up, the registration window and the elevated
instance."""

import math
import os
import subprocess

from harness import SILVER, Program, is_bright_green, is_white, poll, unix_to_windows
from layout import (AT_96, LBLMSG, MENU_LABELS, Launcher, Layout, bmp, check_menu_panel, check_placeholder,
                    check_window_frame, logo_colour, wait_painted)

INSTALL_QUESTION = "Deseja iniciar a Instalação do Acrobat Reader agora?"
HANDBOOK = {"Indice.pdf": b"%PDF-1.4\n% handbook\n"}
SW_HIDE, SW_SHOWNORMAL, SW_SHOWMAXIMIZED = 0, 1, 3


def start_launcher(t, files=None, folder="medium", overrides="", env=None):
    medium = t.medium(files, folder=folder, logo=bmp(40, 30, logo_colour))
    t.move(5, 5)
    program = medium.start(overrides, env)
    return medium, Launcher(t, program)


def click_item(t, launcher, name, times=1):
    t.click(*launcher.twips_point(*MENU_LABELS[name]), times=times)


def boxes_titled_tovira(t):
    return [w for w in t.session.wintool("windows", 0) if w["title"] == "Tovira" and w["class"] == "#32770"]


def box_text(box):
    # A static control needs CR LF to break a line; the message itself holds lone CRs.
    return box.text.replace("\r\n", "\r")


def started_once(t, what, seconds=2.0):
    """The one record of a start, after no second one came for a while."""
    t.wait_recorded(1)
    assert not poll(lambda: len(t.recorded()) > 1, seconds, 0.25), f"{what} started more than once: {t.recorded()}"
    records = t.recorded()
    assert len(records) == 1, f"expected {what} to start once: {records}"
    return records[0]


def check_handbook_opened(t, medium, launcher):
    click_item(t, launcher, "Label3", times=2)
    record = started_once(t, "the reader")
    expected = medium.windows_path("Indice.pdf")
    assert expected.lower() in record["command_line"].lower(), (
        f"the reader got {record['command_line']!r}, not {expected!r}")
    assert record["show"] == SW_SHOWMAXIMIZED, f"the handbook was opened with show state {record['show']}"


def question_box(program):
    box = program.wait_message_box()
    assert box.title == "Tovira", f"the question is titled {box.title!r}"
    assert box_text(box) == INSTALL_QUESTION, f"the question reads {box_text(box)!r}"
    assert sorted(i for i, _ in box.buttons()) == [6, 7], f"the question offers {box.buttons()}, not Yes and No"
    return box


def check_installer_started(t, medium, launcher):
    click_item(t, launcher, "Label1", times=2)
    question_box(launcher.program).answer(6)
    record = started_once(t, "the installer")
    assert not boxes_titled_tovira(t), "a second question followed the first"
    expected = '"' + medium.windows_path("rs40eng.exe") + '"'
    assert record["command_line"] == expected, (f"installer command line {record['command_line']!r}, "
                                                f"expected {expected!r}")
    assert record["show"] == SW_SHOWNORMAL, f"the installer was started with show state {record['show']}"
    assert launcher.program.running(), "the launcher ended after starting the installer"


def check_file_manager_started(t, launcher):
    """With the recorder in the file manager's place."""
    click_item(t, launcher, "Label2", times=2)
    record = started_once(t, "the file manager")
    assert record["command_line"] == "Explorer.exe", f"the file manager got {record['command_line']!r}"
    assert record["show"] == SW_SHOWMAXIMIZED, f"the file manager was started with show state {record['show']}"
    assert launcher.program.running(), "the launcher ended after starting the file manager"


def check_finish_ends_the_program(t, launcher):
    click_item(t, launcher, "Label4", times=2)
    assert launcher.program.wait_exit(10), "the program did not end"
    assert not boxes_titled_tovira(t), "a box was left behind"
    assert t.recorded() == [], f"something was started: {t.recorded()}"


ROWS = ["Label3", "Label1", "Label2", "Label4"]  # the menu labels from the top row down
BACKGROUND = (2925, 2340)  # window surface right of "Explorar", left of the logo box, in twips


class MenuState:
    """Lit lamps, how far right each caption's light pixels reach, and whether the status box holds text."""

    def __init__(self, pixel, layout=AT_96):
        left, size = layout.lamp_left, layout.lamp_size
        self.lit = tuple(sum(map(is_bright_green, (pixel(x, y) for y in range(top, top + size)
                                                   for x in range(left, left + size)))) >= 10
                         for top in layout.lamp_tops)
        self.reach = []
        for name in ROWS:
            x0, y0, _, y1 = layout.box(*MENU_LABELS[name])
            xs = [x for y in range(y0, y1) for x in range(x0, layout.px(2850)) if is_white(pixel(x, y))]
            self.reach.append(max(xs, default=-1))
        self.reach = tuple(self.reach)
        x0, y0, x1, y1 = layout.box(*LBLMSG)
        self.status = sum(is_white(pixel(x, y)) for y in range(y0, y1) for x in range(x0, x1)) >= 15

    def bold(self, rest):
        return tuple(now > then + 1 for now, then in zip(self.reach, rest.reach))

    def same_as(self, other):
        return (self.lit == other.lit and self.status == other.status
                and all(abs(a - b) <= 1 for a, b in zip(self.reach, other.reach)))

    def __repr__(self):
        return f"lit={self.lit} reach={self.reach} status={self.status}"


def rest_state(t, launcher):
    """The menu once it is painted, with the pointer on the window's surface."""
    rest = wait_state(t, launcher, background(launcher), "rest", lambda s: s.reach[3] > 0 and not any(s.lit))
    assert not rest.status, f"the status box shows text at rest: {rest}"
    return rest


def background(launcher):
    return launcher.layout.centre(*BACKGROUND)


def move_to(t, launcher, point):
    x, y = launcher.screen_point(*point)
    t.move(x - 1, y)
    t.move(x, y)


def wait_state(t, launcher, point, label, ready, move=True):
    """Moves the pointer to a client point (unless `move` is false) and waits for the menu to show `ready`."""
    if move:
        move_to(t, launcher, point)
    seen = {}

    def probe():
        seen["state"] = MenuState(launcher.shot(label), launcher.layout)
        return ready(seen["state"])

    assert poll(probe, 6, 0.2), f"{label}: the menu did not settle, it shows {seen.get('state')}"
    return seen["state"]


def highlighted(rest, rows):
    """Exactly these rows (indexes from the top) lit and bold, and a hint shown."""
    wanted = tuple(i in rows for i in range(4))
    return lambda s: s.lit == wanted and s.bold(rest) == wanted and s.status


def at_rest(rest):
    return lambda s: not any(s.lit) and s.reach == rest.reach and not s.status


def item_point(name, layout=AT_96):
    return layout.centre(*MENU_LABELS[name])


def check_each_row_lights_alone(t, launcher, rest):
    """Each row lights its own lamp, whatever the label's number, and the surface puts it back."""
    for row, name in enumerate(ROWS):
        wait_state(t, launcher, item_point(name, launcher.layout), f"row-{row}", highlighted(rest, {row}))
        wait_state(t, launcher, background(launcher), f"row-{row}-left", at_rest(rest))


# A logo of four flat quarters: enlarged with a smooth filter, each stays one colour away from where two meet.
QUARTERS = ((200, 40, 40), (40, 160, 60), (40, 60, 200), (220, 200, 40))
WIDTH, HEIGHT = 120, 80


def quarter(x, y):
    return QUARTERS[(x >= WIDTH // 2) + 2 * (y >= HEIGHT // 2)]


def near(a, b):
    return all(abs(p - q) <= 6 for p, q in zip(a, b))


def logo_corner(pixel, layout):
    """The logo's top-left corner in the box, whose border, if any, pushes it in."""
    return next(((layout.logo_left + b, b) for b in range(4 * math.ceil(layout.scale))
                 if near(pixel(layout.logo_left + b, b), QUARTERS[0])), None)


def check_enlarged_logo(pixel, layout):
    """The logo `scale` times its size: its quarters meet, and it gives way to silver, at the scaled places; only
    pixels within two of such an edge may be blended."""
    corner, s = logo_corner(pixel, layout), layout.scale
    assert corner, f"the logo's corner is not at ({layout.logo_left},0) at {layout.dpi} DPI"
    x0, y0 = corner
    across = [(u, v * s) for u in range(round(140 * s)) for v in (20, 60)]
    down = [(u * s, v) for v in range(round(100 * s)) for u in (30, 90)]
    edges_x, edges_y = (WIDTH / 2 * s, WIDTH * s), (HEIGHT / 2 * s, HEIGHT * s)
    for u, v in across + down:
        if all(abs(u - e) > 2 for e in edges_x) and all(abs(v - e) > 2 for e in edges_y):
            expected = quarter(u / s, v / s) if u < WIDTH * s and v < HEIGHT * s else SILVER
            x, y = x0 + round(u), y0 + round(v)
            assert near(pixel(x, y), expected), (f"({x},{y}) is {pixel(x, y)}, not {expected}: the logo is not {s} "
                                                 f"times its size from ({x0},{y0})")


def outcome(program, timeout=20.0):
    """("logo", window) or ("error", window) once one of the two windows is up; fails on a crash or a hang."""

    def probe():
        titles = {w["title"]: w for w in program.windows() if w["class"] != "#32770"}
        return titles.get("QEV Register") or titles.get("Tovira")

    found = poll(probe, timeout, 0.2)
    assert found, ("neither the launcher nor the registration window appeared" +
                   ("" if program.running() else " and the program has ended"))
    assert program.running(), "the program ended"
    return ("error" if found["title"] == "QEV Register" else "logo"), found


def stop(t, program):
    t.session.wintool("kill", program.pid)
    assert program.wait_exit(10), "the program did not stop"


COMPONENTS = {"alfa.dll": b"MZ alfa", "beta.dll": b"MZ beta", "gama.ocx": b"MZ gama"}
ERROR_TEXT = "Erro N°: 53\rDescrição: Arquivo não encontrado"
# The client area's size and place on the screen, and the windows inside it by class and text, in twips.
CLIENT_TWIPS = (3495, 2535, 5010, 3750)
PLACES = {("Button", "Arquivo para Registro no Windows"): (120, 1200, 4755, 1335),
          ("Button", "&Registrar Agora"): (3120, 1500, 1575, 375), ("Button", "&Cancela"): (3120, 1920, 1575, 375),
          ("ListBox", None): (300, 1500, 2655, 840)}
INSTRUCTION = ("Selecione o Arquivo que foi solicitado pela mensagem abaixo. Se o Arquivo solicitado não estiver "
               "na Lista, entre em contato com o Fornecedor deste Aplicativo, e solicite que este Arquivo lhe seja "
               "enviado.")


def start_without_logo(t, folder="medium", drive=None):
    """A medium with two dlls, an ocx and things that must not be listed; returns (medium, program, window)."""
    files = dict(COMPONENTS, **{"oculto.dll": b"MZ hidden", "pasta.dll/": None, "leia.txt": b"texto"})
    medium = t.medium(files, folder=folder, drive=drive)
    medium.hide("oculto.dll")
    program = medium.start()
    return medium, program, program.wait_window("QEV Register")


def label_text(window, text_start):
    found = [c["title"] for c in window.children() if c["class"].lower() == "static"
             and c["title"].startswith(text_start)]
    assert len(found) == 1, f"no single label starting {text_start!r}: {window.child_texts()}"
    # A static control needs CR LF to break the line; the caption itself holds the lone CR.
    return found[0].replace("\r\n", "\r")


def check_registration_window(program, window):
    visible = program.windows()
    assert [w["title"] for w in visible] == ["QEV Register"], (
        f"the registration window is not the only visible window: {[w['title'] for w in visible]}")
    check_places(window, Layout(program.context.dpi))
    listing = window.list_box()
    assert listing is not None, "the registration window has no list"
    items = listing["items"]
    assert len(items) == 3 and sorted(items[:2]) == ["alfa.dll", "beta.dll"] and items[2] == "gama.ocx", (
        f"the list should be the two dlls then the ocx, nothing hidden or folder: {items}")
    assert listing["selected"] == -1, f"an entry is selected at the start: {listing['selected']}"
    assert label_text(window, "Erro") == ERROR_TEXT, f"lblErro reads {label_text(window, 'Erro')!r}"
    assert label_text(window, "Selecione") == INSTRUCTION, "the instruction label differs"


def check_places(window, layout):
    """The client area and the windows inside it where their twips fall at the program's screen scale."""
    geometry = window.client()
    ox, oy = geometry["origin"]
    places = [("client area", [ox, oy, ox + geometry["client"][0], oy + geometry["client"][1]], CLIENT_TWIPS, 0, 0)]
    places += [(text or kind, (window.child(kind, text) or {}).get("rect"), box, ox, oy)
               for (kind, text), box in PLACES.items()]
    for name, rect, box, dx, dy in places:
        x0, y0, x1, y1 = layout.box(*box)
        wanted = [x0 + dx, y0 + dy, x1 + dx, y1 + dy]
        assert rect and all(abs(a - b) <= layout.slack for a, b in zip(rect, wanted)), (
            f"the {name} is at {rect}, not {wanted}, at {layout.dpi} DPI")


def check_registered(t, program, medium, name):
    assert program.wait_exit(15) and program.popen.returncode == 0, f"it did not end well: {program.popen.returncode}"
    records = t.wait_recorded(1)
    assert len(records) == 1, f"expected one started program, got {records}"
    expected = 'Regsvr32 "C:\\windows\\system32\\' + name + '"'
    assert records[0]["command_line"] == expected, (
        f"registration command line {records[0]['command_line']!r}, expected {expected!r}")
    assert records[0]["show"] == 1, f"the registration tool was started with show state {records[0]['show']}"
    copy = os.path.join(t.session.system32, name)
    assert os.path.isfile(copy), f"{name} was not copied into the system folder"
    with open(copy, "rb") as f, open(medium.file(name), "rb") as g:
        assert f.read() == g.read(), f"the copy of {name} differs from the original"


def check_refused(t, program, window, name, error):
    """Registers the component in the window: the box reports the error, and the window stays for another try."""
    assert window.select(window.list_box()["items"].index(name)), f"could not select {name}"
    window.press("&Registrar Agora")
    box = program.wait_message_box(15)
    text = box.text.replace("\r\n", "\r")
    assert text == "O Arquivo não pode ser Registrado.\r" + error, repr(text)
    box.answer(1)
    assert poll(lambda: not box.alive(), 5) and program.running() and window.refresh().info["enabled"] and (
        t.recorded() == []), f"the window is not open for another try, or this was started: {t.recorded()}"


def check_placeholder_after_closing(t, program, window):
    t.move(5, 5)
    window.close()
    launcher = Launcher(t, program)
    assert not window.alive(), "the registration window is still there"
    check_window_frame(launcher)
    layout = launcher.layout
    pixel = wait_painted(launcher, "placeholder", lambda p: p(5, 1) == layout.stripe(1))
    check_menu_panel(pixel, layout.panel_width, layout)
    check_placeholder(pixel, layout)


def select_and_register(t, program, medium, window, name):
    """Picks an entry through the list box's own messages and presses the register button."""
    index = window.list_box()["items"].index(name)
    assert window.select(index), f"could not select {name}"
    assert poll(lambda: window.list_box()["selected"] == index, 5), "the selection did not take"
    window.press("&Registrar Agora")
    check_registered(t, program, medium, name)


def start_traced(t, medium, *arguments, env=None):
    """Tovira.exe with the arguments, logging to the test's log; returns the Program and the path of Wine's trace."""
    trace = os.path.join(t.dir, f"trace-{len(t.programs)}.log")
    env = dict(t.session.env, **(env or {}), TOVIRA_E2E_LOG=unix_to_windows(t.log_path), WINEDEBUG="-all,+process")
    with open(trace, "wb") as err:
        popen = subprocess.Popen(["wine", medium.windows_path("Tovira.exe"), *arguments], cwd=t.session.neutral,
                                 env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
    t.programs.append(Program(t, popen, None))
    return t.programs[-1], trace


def check_registrar_refuses(t, medium, status, *names):
    """The elevated instance ends with the status for each name, having copied and started nothing."""
    for name in names:
        program, _ = start_traced(t, medium, "/registrar", name)
        assert program.wait_exit(30) and program.popen.returncode == status, f"{name}: {program.popen.returncode}"
    copies = set(os.listdir(t.session.system32)) - t.system32_before
    assert not copies and t.recorded() == [], f"a refusal copied {copies} or started {t.recorded()}"
