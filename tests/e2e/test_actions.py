"""The clicks: the handbook, the reader's installer, the file manager, the end and the vendor's logo.

Everything the launcher starts is the recorder, so a test reads the command line and show state it got. Where a
user may double-click out of habit, the tests double-click: the first click acts, the second press acts no more.
"""

import shutil

import pytest

from harness import poll, same_cursor
from layout import LABEL7, MENU_LABELS, Launcher, bmp, logo_colour

WEB_ADDRESS = "https://www.qev-systems.example/"
MANUAL_WARNING = ("Não foi possível abrir o Manual.\r\r"
                  "Se o Acrobat Reader não estiver Instalado em seu Computador, clique em ''Instalar Acrobat Reader'' "
                  "para Instala-lo agora.\r"
                  "Se já estiver Instalado, e mesmo assim o Aplicativo não pode abrir o Manual, verifique se o "
                  "arquivo ''Indice.pdf'' esta localizado no mesmo diretório que este Aplicativo (tovira.exe).")
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


def check_no_box(t, program, seconds=2.0):
    """No message box for a bounded while, and the launcher the only window titled "Tovira"."""
    assert not poll(lambda: boxes_titled_tovira(t), seconds, 0.25), "a message box titled 'Tovira' appeared"
    titled = [w for w in t.session.wintool("windows", 0) if w["title"] == "Tovira"]
    assert len(titled) == 1 and titled[0]["pid"] == program.pid, f"windows titled 'Tovira': {titled}"


def check_nothing_started(t, seconds=1.5):
    assert not poll(t.recorded, seconds, 0.25), f"something was started: {t.recorded()}"


def started_once(t, what, seconds=2.0):
    """The one record of a start, after no second one came for a while."""
    t.wait_recorded(1)
    assert not poll(lambda: len(t.recorded()) > 1, seconds, 0.25), f"{what} started more than once: {t.recorded()}"
    records = t.recorded()
    assert len(records) == 1, f"expected {what} to start once: {records}"
    return records[0]


def answer_manual_warning(t, program):
    box = program.wait_message_box()
    assert box.title == "Tovira", f"the warning is titled {box.title!r}"
    assert box_text(box) == MANUAL_WARNING, f"the warning reads {box_text(box)!r}"
    assert [caption for _, caption in box.buttons()] == ["OK"], f"the warning offers {box.buttons()}"
    assert box.icon_drawn(), "the warning shows no icon"
    assert len(boxes_titled_tovira(t)) == 1, "more than one box titled 'Tovira'"
    box.answer(1)
    assert poll(lambda: not box.alive(), 5), "the warning did not close on OK"


def check_handbook_opened(t, medium, launcher):
    click_item(t, launcher, "Label3", times=2)
    record = started_once(t, "the reader")
    expected = medium.windows_path("Indice.pdf")
    assert expected.lower() in record["command_line"].lower(), (
        f"the reader got {record['command_line']!r}, not {expected!r}")
    assert record["show"] == SW_SHOWMAXIMIZED, f"the handbook was opened with show state {record['show']}"


def test_manual_opens_through_the_pdf_association_without_a_box(t):
    medium, launcher = start_launcher(t, HANDBOOK)
    check_handbook_opened(t, medium, launcher)
    assert poll(lambda: t.session.wintool("wait-window", "Acrobat Reader", 100), 10), "the reader's window is missing"
    check_no_box(t, launcher.program)


def test_manual_opened_by_a_reader_without_a_window_is_no_failure(t):
    medium, launcher = start_launcher(t, HANDBOOK, env={"TOVIRA_E2E_WINDOWLESS": "1"})
    click_item(t, launcher, "Label3")
    records = t.wait_recorded(1)
    assert len(records) == 1 and medium.windows_path("Indice.pdf").lower() in records[0]["command_line"].lower(), (
        f"the reader did not get the handbook: {records}")
    check_no_box(t, launcher.program)
    assert launcher.program.running(), "the launcher ended"


def test_manual_missing_warns_once_per_click_and_the_launcher_goes_on(t):
    _, launcher = start_launcher(t)
    for _ in range(2):
        click_item(t, launcher, "Label3", times=2)
        answer_manual_warning(t, launcher.program)
        check_no_box(t, launcher.program, 1.0)
    assert launcher.program.running() and launcher.window.alive(), "the launcher did not stay open"
    assert t.recorded() == [], f"something was started: {t.recorded()}"


def question_box(program):
    box = program.wait_message_box()
    assert box.title == "Tovira", f"the question is titled {box.title!r}"
    assert box_text(box) == INSTALL_QUESTION, f"the question reads {box_text(box)!r}"
    assert sorted(i for i, _ in box.buttons()) == [6, 7], f"the question offers {box.buttons()}, not Yes and No"
    return box


def outside(rect, launcher, candidates):
    """The first client point whose screen position lies outside `rect`."""
    left, top, right, bottom = rect
    for x, y in candidates:
        sx, sy = launcher.screen_point(x, y)
        if not (left <= sx < right and top <= sy < bottom):
            return sx, sy
    return None


def test_installer_question_shows_the_hourglass_and_no_starts_nothing(t):
    hourglass = t.session.wait_reference()
    medium, launcher = start_launcher(t)
    shutil.copy(t.session.recorder, medium.file("rs40eng.exe"))
    hand = t.session.cursor_shape(medium.windows_path("Tovira.exe"), 101)
    click_item(t, launcher, "Label1")
    box = question_box(launcher.program)
    spot = outside(box.info["rect"], launcher, [(5, 5), (195, 300), (600, 300), (5, 300), (600, 5)])
    assert spot is not None, "the question box covers the whole launcher"

    def pointer_at(x, y):
        t.move(x - 1, y)
        t.move(x, y)
        return t.cursor()

    assert poll(lambda: same_cursor(pointer_at(*spot), hourglass), 4, 0.2), (
        "the pointer over the launcher is not the hourglass while the question is shown")
    box.answer(7)
    assert poll(lambda: not box.alive(), 5), "the question did not close on No"
    item = launcher.twips_point(*MENU_LABELS["Label1"])
    assert poll(lambda: same_cursor(pointer_at(*item), hand), 4, 0.2), "the pointer is not the hand again after No"
    check_nothing_started(t)
    assert launcher.program.running(), "the launcher ended after No"


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


@pytest.mark.parametrize("folder", ("medium", "Mídia de Instalação"), ids=("plain", "space-and-accents"))
def test_installer_yes_starts_the_quoted_installer(t, folder):
    medium, launcher = start_launcher(t, folder=folder)
    shutil.copy(t.session.recorder, medium.file("rs40eng.exe"))
    check_installer_started(t, medium, launcher)


def test_installer_missing_gives_the_error_report_and_the_end(t):
    _, launcher = start_launcher(t)
    click_item(t, launcher, "Label1")
    question_box(launcher.program).answer(6)
    box = launcher.program.wait_message_box()
    assert box.title == "Tovira", f"the error report is titled {box.title!r}"
    lines = [line for line in box.text.replace("\r", "\n").split("\n") if line]
    assert lines == ["Erro em tempo de execução '53':", "Arquivo não encontrado"], f"the report reads {lines}"
    box.answer(1)
    assert launcher.program.wait_exit(10), "the program did not end after the error report"
    assert t.recorded() == [], f"something was started: {t.recorded()}"


def test_explore_starts_the_file_manager_maximised(t):
    # With the override Wine runs the file in the prefix, here the recorder, instead of its own explorer;
    # its desktop process, started before, keeps running as it is.
    t.replace_with_recorder("windows/system32/explorer.exe", "windows/explorer.exe")
    _, launcher = start_launcher(t, overrides="explorer.exe=n")
    check_file_manager_started(t, launcher)


def check_file_manager_started(t, launcher):
    """With the recorder in the file manager's place."""
    click_item(t, launcher, "Label2", times=2)
    record = started_once(t, "the file manager")
    assert record["command_line"] == "Explorer.exe", f"the file manager got {record['command_line']!r}"
    assert record["show"] == SW_SHOWMAXIMIZED, f"the file manager was started with show state {record['show']}"
    assert launcher.program.running(), "the launcher ended after starting the file manager"


def test_finish_ends_the_program_at_once(t):
    _, launcher = start_launcher(t)
    check_finish_ends_the_program(t, launcher)


def check_finish_ends_the_program(t, launcher):
    click_item(t, launcher, "Label4", times=2)
    assert launcher.program.wait_exit(10), "the program did not end"
    assert not boxes_titled_tovira(t), "a box was left behind"
    assert t.recorded() == [], f"something was started: {t.recorded()}"


def test_vendor_logo_uses_the_start_command_and_else_the_web_association(t):
    t.start_command(present=True)
    _, launcher = start_launcher(t)
    t.click(*launcher.twips_point(*LABEL7), times=2)
    record = started_once(t, "the start command")
    expected = "c:\\windows\\command\\start " + WEB_ADDRESS
    assert record["command_line"] == expected, f"start command line {record['command_line']!r}"
    assert record["show"] == SW_HIDE, f"the start command was started with show state {record['show']}"
    check_no_box(t, launcher.program, 1.0)

    t.start_command(present=False)
    open(t.log_path, "wb").close()
    t.click(*launcher.twips_point(*LABEL7))
    records = t.wait_recorded(1)
    assert len(records) == 1, f"expected the web handler once: {records}"
    assert (records[0]["command_line"].startswith('"C:\\e2e\\browser.exe"') and
          records[0]["command_line"].rstrip().endswith(WEB_ADDRESS + '"')), (
          f"the web handler got {records[0]['command_line']!r}")
    check_no_box(t, launcher.program, 1.0)
    assert launcher.program.running(), "the launcher ended"
