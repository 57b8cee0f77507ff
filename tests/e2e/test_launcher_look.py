"""The launcher with a logo: layout by pixel, the logo box, pointers and the site label's tooltip."""

import os

from harness import SILVER, poll, same_cursor
from layout import (CLIENT, LABEL7, MENU_LABELS, Launcher, bmp, check_menu_panel, check_window_frame,
                    find_logo_offset, logo_colour, read_bmp, wait_painted)

DEMO_LOGO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo", "imgLogo.bmp")

WEB_ADDRESS = "https://www.qev-systems.example/"


def start_with_logo(t, width, height, logo=None):
    medium = t.medium(logo=logo or bmp(width, height, logo_colour))
    t.move(5, 5)
    program = medium.start()
    launcher = Launcher(t, program)
    assert [w["title"] for w in program.windows()] == ["Tovira"], (
        f"the launcher is not the only window: {[w['title'] for w in program.windows()]}")
    check_window_frame(launcher)
    return medium, launcher


def test_launcher_shows_panel_and_a_small_logo_unscaled_on_silver(t):
    _, launcher = start_with_logo(t, 300, 200)
    pixel = wait_painted(launcher, "small-logo", lambda p: find_logo_offset(p, logo_colour) is not None)
    border = find_logo_offset(pixel, logo_colour)
    assert border is not None, f"the logo's corner is not at (208,0): {pixel(208, 0)}"
    check_menu_panel(pixel, 208)
    x0, y0 = 208 + border, border
    for i, j in ((0, 0), (299, 0), (0, 199), (299, 199), (150, 100), (77, 33)):
        assert pixel(x0 + i, y0 + j) == logo_colour(i, j), f"logo pixel ({i},{j}) is moved or scaled"
    for x in range(x0 + 300, CLIENT[0], 7):
        assert pixel(x, 50) == SILVER, f"({x},50) right of the logo is {pixel(x, 50)}, not silver"
    for y in range(y0 + 200, CLIENT[1], 5):
        assert pixel(400, y) == SILVER, f"(400,{y}) below the logo is {pixel(400, y)}, not silver"


def test_launcher_clips_a_large_logo_at_the_window_edges(t):
    _, launcher = start_with_logo(t, 700, 500)
    pixel = wait_painted(launcher, "large-logo", lambda p: find_logo_offset(p, logo_colour) is not None)
    border = find_logo_offset(pixel, logo_colour)
    assert border is not None, f"the logo's corner is not at (208,0): {pixel(208, 0)}"
    x0, y0 = 208 + border, border
    right, bottom = CLIENT[0] - 1, CLIENT[1] - 1
    # Borders, if any, lie beyond the client area, since the box reaches past the window's edges.
    for x, y in ((right, 0), (right, bottom), (300, bottom), (right, 160)):
        assert pixel(x, y) == logo_colour(x - x0, y - y0), f"({x},{y}) does not show the unscaled logo"
    check_menu_panel(pixel, 208)


def test_launcher_shows_the_demo_logo(t):
    with open(DEMO_LOGO, "rb") as f:
        _, launcher = start_with_logo(t, 0, 0, logo=f.read())
    width, height, colour = read_bmp(DEMO_LOGO)
    pixel = wait_painted(launcher, "demo-logo", lambda p: find_logo_offset(p, colour) is not None)
    border = find_logo_offset(pixel, colour)
    assert border is not None, f"the demo logo's corner is not at (208,0): {pixel(208, 0)}"
    x0, y0 = 208 + border, border
    for x in range(x0, CLIENT[0], 9):
        for y in range(y0, CLIENT[1], 9):
            if x - x0 < width and y - y0 < height:
                assert pixel(x, y) == colour(x - x0, y - y0), f"({x},{y}) does not show the demo logo's pixel"
            else:
                assert pixel(x, y) == SILVER, f"({x},{y}) beyond the demo logo is {pixel(x, y)}, not silver"


def test_pointer_is_the_hand_over_menu_items_and_the_site_label_with_its_tooltip(t):
    medium, launcher = start_with_logo(t, 300, 200)
    hand = t.session.cursor_shape(medium.windows_path("Tovira.exe"), 101)
    assert hand and hand["hotspot"] == [6, 0], f"the hand pointer resource is wrong: {hand and hand['hotspot']}"
    arrow = t.session.arrow_reference()

    def pointer_at(x, y):
        # Two moves, so that the window sees movement even when the pointer already was at the spot.
        t.move(x - 1, y)
        t.move(x, y)
        return t.cursor()

    for name, box in MENU_LABELS.items():
        x, y = launcher.twips_point(*box)
        assert poll(lambda: same_cursor(pointer_at(x, y), hand), 4, 0.2), f"the pointer over {name} is not the hand"
        background = launcher.screen_point(195, 40 + 32 * list(MENU_LABELS).index(name))
        assert poll(lambda: same_cursor(pointer_at(*background), arrow), 4, 0.2), (
            f"the pointer over the background beside {name} is not the arrow")
    assert poll(lambda: same_cursor(pointer_at(*launcher.screen_point(400, 100)), arrow), 4, 0.2), (
        "the pointer over the logo is not the arrow")
    x, y = launcher.twips_point(*LABEL7)
    assert poll(lambda: same_cursor(pointer_at(x, y), hand), 4, 0.2), "the pointer over Label7 is not the hand"
    tips = poll(lambda: t.session.wintool("tooltips", launcher.program.pid), 8, 0.3)
    assert tips, "no tooltip appeared over Label7"
    assert [tip["title"] for tip in tips] == [WEB_ADDRESS], f"the tooltip reads {[tip['title'] for tip in tips]}"
    t.move(*launcher.screen_point(195, 300))
    assert poll(lambda: not t.session.wintool("tooltips", launcher.program.pid), 8, 0.3), (
        "the tooltip stays after the pointer left Label7")
