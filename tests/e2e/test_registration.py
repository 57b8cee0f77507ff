"""Start-up without a logo: the component registration window comes first."""

import os

from harness import poll
from helpers import (COMPONENTS, check_placeholder_after_closing, check_registered, check_registration_window,
                     select_and_register, start_without_logo)


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


def test_registration_works_from_a_folder_with_a_space_and_an_accent(t):
    medium, program, window = start_without_logo(t, folder="Mídia de Instalação")
    check_registration_window(program, window)
    select_and_register(t, program, medium, window, "alfa.dll")


def test_registration_works_from_the_root_of_a_drive(t):
    medium, program, window = start_without_logo(t, drive="m")
    assert medium.windows_path("Tovira.exe") == "M:\\Tovira.exe", "the medium is not at a drive root"
    check_registration_window(program, window)
    select_and_register(t, program, medium, window, "gama.ocx")
