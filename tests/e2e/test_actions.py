"""The clicks: the handbook, the reader's installer, the file manager, the end and the vendor's logo.

Everything the launcher starts is the recorder, so a test reads the command line and show state it got. Where a
user may double-click out of habit, the tests double-click: the first click acts, the second press acts no more.
"""

import shutil

import pytest

from harness import poll, same_cursor
from helpers import (HANDBOOK, SW_HIDE, box_text, boxes_titled_tovira, check_file_manager_started,
                     check_finish_ends_the_program, check_handbook_opened, check_installer_started, click_item,
                     question_box, start_launcher, started_once)
from layout import LABEL7, MENU_LABELS

WEB_ADDRESS = "https://www.qev-systems.example/"
MANUAL_WARNING = ("Não foi possível abrir o Manual.\r\r"
                  "Se o Acrobat Reader não estiver Instalado em seu Computador, clique em ''Instalar Acrobat Reader'' "
                  "para Instala-lo agora.\r"
                  "Se já estiver Instalado, e mesmo assim o Aplicativo não pode abrir o Manual, verifique se o "
                  "arquivo ''Indice.pdf'' esta localizado no mesmo diretório que este Aplicativo (tovira.exe).")


def check_no_box(t, program, seconds=2.0):
    """No message box for a bounded while, and the launcher the only window titled "Tovira"."""
    assert not poll(lambda: boxes_titled_tovira(t), seconds, 0.25), "a message box titled 'Tovira' appeared"
    titled = [w for w in t.session.wintool("windows", 0) if w["title"] == "Tovira"]
    assert len(titled) == 1 and titled[0]["pid"] == program.pid, f"windows titled 'Tovira': {titled}"


def check_nothing_started(t, seconds=1.5):
    assert not poll(t.recorded, seconds, 0.25), f"something was started: {t.recorded()}"


def answer_manual_warning(t, program):
    box = program.wait_message_box()
    assert box.title == "Tovira", f"the warning is titled {box.title!r}"
    assert box_text(box) == MANUAL_WARNING, f"the warning reads {box_text(box)!r}"
    assert [caption for _, caption in box.buttons()] == ["OK"], f"the warning offers {box.buttons()}"
    assert box.icon_drawn(), "the warning shows no icon"
    assert len(boxes_titled_tovira(t)) == 1, "more than one box titled 'Tovira'"
    box.answer(1)
    assert poll(lambda: not box.alive(), 5), "the warning did not close on OK"


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


def test_finish_ends_the_program_at_once(t):
    _, launcher = start_launcher(t)
    check_finish_ends_the_program(t, launcher)


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
