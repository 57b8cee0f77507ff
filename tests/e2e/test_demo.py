"""The demo medium as scripts/run-demo.sh lays it out: "Instalar Acrobat Reader" then Yes starts the demo's
stand-in installer, which says in a window of its own what it stands in for."""

import os
import shutil

from harness import MessageBox
from helpers import click_item, question_box, start_launcher


def test_demo_installer_yes_starts_the_stand_in_that_says_what_it_is(t):
    medium, launcher = start_launcher(t)
    shutil.copy(os.path.join(t.session.build, "demo", "rs40eng.exe"), medium.file("rs40eng.exe"))
    click_item(t, launcher, "Label1")
    question_box(launcher.program).answer(6)
    window = t.session.wintool("wait-window", "Instalador de demonstração", 15000)
    assert window, "the stand-in installer's window did not appear"
    text = MessageBox(t.session, window).text
    assert text.startswith("Este programa está no lugar do instalador do Acrobat Reader."), f"it says {text!r}"
    assert launcher.program.running(), "the launcher ended after starting the stand-in"
