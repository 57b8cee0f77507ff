"""The launcher and the registration window at larger screen scales: laid out in twips at the screen's DPI, drawn for
it, with texts as wide as the scale makes them, and working under the real pointer there."""

import math
import shutil

import pytest

from harness import is_light, poll
from helpers import (HANDBOOK, HEIGHT, WIDTH, check_each_row_lights_alone, check_enlarged_logo,
                     check_file_manager_started, check_finish_ends_the_program, check_handbook_opened,
                     check_installer_started, check_placeholder_after_closing, check_registration_window, item_point,
                     logo_corner, move_to, quarter, rest_state, start_launcher, start_without_logo)
from layout import (LBLMSG, MENU_LABELS, Launcher, Layout, bmp, check_menu_panel, check_text_widths, check_window_frame,
                    ink_width, wait_painted)

# The texts' widths at 96 DPI in this Wine's fonts, measured once a run.
AT_96 = {}


def at_96(t, what, measure):
    """The widths of `what` at 96 DPI; measured, where they are not yet, in this test before it changes the scale."""
    assert t.dpi == 96
    if what not in AT_96:
        AT_96[what] = measure()
    return AT_96[what]


def start_quarters(t, folder="medium"):
    t.move(5, 5)
    return t.medium(folder=folder, logo=bmp(WIDTH, HEIGHT, quarter)).start()


def launcher_texts(t, launcher):
    """The widths of the menu's captions at rest and of the hint of "Instalar Acrobat Reader"."""
    layout = launcher.layout
    rest_state(t, launcher)
    pixel = launcher.shot("captions")
    widths = {name: ink_width(pixel, (x0 - layout.slack, y0, x1 + 2 + layout.slack, y1), is_light)
              for name, (x0, y0, x1, y1) in ((n, layout.box(*box)) for n, box in MENU_LABELS.items())}
    move_to(t, launcher, item_point("Label1", layout))
    hint = layout.box(*LBLMSG)
    widths["lblMsg"] = ink_width(wait_painted(launcher, "hint", lambda p: ink_width(p, hint, is_light)), hint, is_light)
    return widths


def registration_texts(t, window):
    """The widths of the instruction and the error text (dark blue), and of the frame's and the buttons' captions
    (black), inside their borders; a frame's caption stands on its top edge, above what the frame holds."""
    layout = Layout(t.dpi)
    shot = t.screenshot(f"registration-{t.dpi}")
    inset = math.ceil(3 * layout.scale)
    widths = {}
    for child in window.children():
        kind, text, (left, top, right, bottom) = child["class"].lower(), child["title"], child["rect"]
        bottom = top + layout.px(240) if text.startswith("Arquivo") else bottom - inset
        box = (left + inset, top if text.startswith("Arquivo") else top + inset, right - inset, bottom)
        if text and kind == "static":
            widths[text[:9]] = ink_width(shot.pixel, box, lambda p: p[2] >= 128 and p[2] > max(p[:2]) + 60)
        elif text and kind == "button":
            widths[text] = ink_width(shot.pixel, box, lambda p: sum(p) < 3 * 80)
    return widths


@pytest.mark.parametrize("dpi", (120, 144, 192))
def test_launcher_is_laid_out_and_drawn_for_the_screen_scale(t, dpi):
    texts = at_96(t, "launcher", lambda: launcher_texts(t, Launcher(t, start_quarters(t, "at-96"))))
    t.set_dpi(dpi)
    launcher = Launcher(t, start_quarters(t))
    check_window_frame(launcher)
    pixel = wait_painted(launcher, "shot", lambda p: logo_corner(p, launcher.layout) is not None)
    check_menu_panel(pixel, launcher.layout.logo_left, launcher.layout)
    check_enlarged_logo(pixel, launcher.layout)
    check_text_widths(launcher_texts(t, launcher), texts, launcher.layout.scale, f"the launcher at {dpi} DPI")


def test_on_a_screen_whose_scale_is_not_the_systems_the_launcher_takes_its_screens(t):
    """The system's scale changed in a running session: Wine 10, as Windows with a screen of another scale, keeps
    the screen's for the window; Wine 8 answers the new one everywhere and cannot make the case."""
    t.set_dpi(192, sign_in=False)
    program = start_quarters(t)
    geometry = program.wait_window("Tovira").client()
    if geometry["screenDpi"] in (0, geometry["systemDpi"]):
        pytest.skip(f"this Wine answers the system's scale for every screen: {geometry}")
    launcher = Launcher(t, program, dpi=geometry["screenDpi"])
    expected = launcher.layout.client
    assert tuple(launcher.client) == expected, (
        f"the client area is {launcher.client}, not {expected} for its screen's {geometry['screenDpi']} DPI")
    pixel = wait_painted(launcher, "shot", lambda p: logo_corner(p, launcher.layout) is not None)
    check_menu_panel(pixel, launcher.layout.logo_left, launcher.layout)


def test_at_double_scale_the_pointer_lights_each_row_and_a_click_runs_its_item(t):
    t.set_dpi(192)
    t.replace_with_recorder("windows/system32/explorer.exe", "windows/explorer.exe")
    # The reader takes the handbook without a window of its own, which would cover the launcher.
    medium, launcher = start_launcher(t, HANDBOOK, overrides="explorer.exe=n", env={"TOVIRA_E2E_WINDOWLESS": "1"})
    shutil.copy(t.session.recorder, medium.file("rs40eng.exe"))
    check_each_row_lights_alone(t, launcher, rest_state(t, launcher))
    # The hand is drawn for the scale, with its hot spot still on the fingertip.
    move_to(t, launcher, item_point("Label3", launcher.layout))
    hot_spot = [math.floor(6.5 * launcher.layout.scale), math.floor(0.5 * launcher.layout.scale)]
    assert poll(lambda: t.cursor()["hotspot"] == hot_spot, 4, 0.2), (
        f"the hand's hot spot is {t.cursor()['hotspot']}, not {hot_spot}")
    check_handbook_opened(t, medium, launcher)
    for then in (lambda: check_installer_started(t, medium, launcher), lambda: check_file_manager_started(t, launcher),
                 lambda: check_finish_ends_the_program(t, launcher)):
        open(t.log_path, "wb").close()
        then()


@pytest.mark.parametrize("dpi", (120, 144, 192))
def test_the_registration_window_and_the_placeholder_keep_their_places_and_text_sizes_for_the_screen_scale(t, dpi):
    texts = at_96(t, "registration", lambda: registration_texts(t, start_without_logo(t, "at-96")[2]))
    t.set_dpi(dpi)
    _, program, window = start_without_logo(t)
    check_registration_window(program, window)
    check_text_widths(registration_texts(t, window), texts, dpi / 96, f"the registration window at {dpi} DPI")
    check_placeholder_after_closing(t, program, window)
