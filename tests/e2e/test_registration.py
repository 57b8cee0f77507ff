"""Start-up without a logo: the component registration window comes first."""

import os

from harness import poll
from layout import Launcher, Layout, check_menu_panel, check_placeholder, check_window_frame, wait_painted

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


def test_registration_window_opens_first_and_warns_without_selection(t):
    _, program, window = start_without_logo(t)
    check_registration_window(program, window)
    window.press("&Registrar Agora")
    box = program.wait_message_box()
    assert box.title == "Tovira", f"the warning box is titled {box.title!r}"
    assert box.text == "Selecione um Arquivo para Registro.", f"the warning reads {box.text!r}"
    assert [caption for _, caption in box.buttons()] == ["OK"], f"the warning offers {box.buttons()}"
    assert box.icon_drawn(), "the warning box shows no icon"
    box.answer(1)
    assert poll(lambda: not box.alive(), 5), "the warning box did not close"
    assert program.running() and window.alive(), "the registration window did not stay open after the warning"
    assert window.list_box()["selected"] == -1, "the warning changed the selection"
    assert t.recorded() == [], f"something was started: {t.recorded()}"


def test_registration_copies_the_clicked_component_and_starts_regsvr32(t):
    medium, program, window = start_without_logo(t)
    listing = window.list_box()
    index = listing["items"].index("beta.dll")
    left, top, right, bottom = listing["screenRects"][index]
    t.click((left + right) // 2, (top + bottom) // 2)
    assert poll(lambda: window.list_box()["selected"] == index, 5), "clicking the entry did not select it"
    button = window.child("Button", "&Registrar Agora")
    left, top, right, bottom = button["rect"]
    t.click((left + right) // 2, (top + bottom) // 2)
    check_registered(t, program, medium, "beta.dll")


def test_cancel_ends_the_program_at_once_even_with_a_selection(t):
    _, program, window = start_without_logo(t)
    assert window.select(0), "could not select the first entry"
    assert poll(lambda: window.list_box()["selected"] == 0, 5), "the selection did not take"
    window.press("&Cancela")
    assert program.wait_exit(10), "the program did not end on Cancela"
    assert t.recorded() == [], f"Cancela started something: {t.recorded()}"
    copies = [n for n in COMPONENTS if os.path.exists(os.path.join(t.session.system32, n))]
    assert not copies, f"Cancela copied {copies} into the system folder"


def test_closing_the_registration_window_shows_the_launcher_with_the_placeholder(t):
    _, program, window = start_without_logo(t)
    check_placeholder_after_closing(t, program, window)


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


def test_registration_works_from_a_folder_with_a_space_and_an_accent(t):
    medium, program, window = start_without_logo(t, folder="Mídia de Instalação")
    check_registration_window(program, window)
    select_and_register(t, program, medium, window, "alfa.dll")


def test_registration_works_from_the_root_of_a_drive(t):
    medium, program, window = start_without_logo(t, drive="m")
    assert medium.windows_path("Tovira.exe") == "M:\\Tovira.exe", "the medium is not at a drive root"
    check_registration_window(program, window)
    select_and_register(t, program, medium, window, "gama.ocx")
