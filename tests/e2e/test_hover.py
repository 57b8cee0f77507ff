"""The menu's hover feedback under the real pointer, read off screenshots, and the long movement soak."""

import os
import re

import pytest

from harness import poll, px, same_cursor, unix_to_windows
from helpers import (MenuState, at_rest, background, check_each_row_lights_alone, highlighted, item_point, rest_state,
                     wait_state)
from layout import AT_96, LABEL6, LABEL7, LAMP_LEFT, LAMP_TOPS, LBLMSG, Launcher, bmp, logo_colour

DEMO_LOGO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo", "imgLogo.bmp")
LOGO_BOX = (400, 100)


def start_at_rest(t, logo=True):
    medium = t.medium(logo=bmp(60, 40, logo_colour) if logo else None)
    t.move(5, 5)
    program = medium.start()
    if not logo:
        program.wait_window("QEV Register").close()
    launcher = Launcher(t, program)
    return launcher, rest_state(t, launcher)


def check_unchanged(t, launcher, point, label, expected):
    """Moves from a hand-pointer item onto an arrow-pointer spot: once the arrow shows, the window has seen the
    movement, and the menu must still show what it showed before."""
    arrow = t.session.arrow_reference()
    x, y = launcher.screen_point(*point)
    t.move(x, y)
    assert poll(lambda: same_cursor(t.cursor(), arrow), 4, 0.2), f"{label}: the pointer did not become the arrow"
    for attempt in range(2):
        state = MenuState(launcher.shot(f"{label}-{attempt}"))
        assert state.same_as(expected), f"{label}: the menu changed to {state}, was {expected}"


def test_hover_over_explorar_lights_its_row_and_the_surface_puts_it_back(t):
    launcher, rest = start_at_rest(t)
    state = wait_state(t, launcher, item_point("Label2"), "explorar", highlighted(rest, {2}))
    assert state.reach[2] > rest.reach[2] + 1, f"Explorar is not bold: {state.reach[2]} vs {rest.reach[2]}"
    wait_state(t, launcher, background(launcher), "explorar-left", at_rest(rest))
    check_each_row_lights_alone(t, launcher, rest)


def test_hover_stays_over_lamps_and_the_status_box_and_rests_over_the_logos(t):
    launcher, rest = start_at_rest(t)
    lit = wait_state(t, launcher, item_point("Label2"), "explorar", highlighted(rest, {2}))
    check_unchanged(t, launcher, (LAMP_LEFT + 8, LAMP_TOPS[2] + 8), "own-lamp", lit)
    check_unchanged(t, launcher, (LAMP_LEFT + 8, LAMP_TOPS[0] + 8), "other-lamp", lit)
    wait_state(t, launcher, item_point("Label2"), "explorar-again", highlighted(rest, {2}))
    check_unchanged(t, launcher, AT_96.centre(*LBLMSG), "status-box", lit)
    wait_state(t, launcher, LOGO_BOX, "logo", at_rest(rest))
    wait_state(t, launcher, item_point("Label2"), "explorar-third", highlighted(rest, {2}))
    wait_state(t, launcher, AT_96.centre(*LABEL7), "vendor-logo",
               at_rest(rest))


def test_hover_jump_between_items_without_the_surface_leaves_both_lit(t):
    launcher, rest = start_at_rest(t)
    wait_state(t, launcher, item_point("Label3"), "manual", highlighted(rest, {0}))
    # One warp is one movement event: nothing falls on the band between the rows.
    t.move(*launcher.screen_point(*item_point("Label1")))
    wait_state(t, launcher, None, "manual-then-install", highlighted(rest, {0, 1}), move=False)
    wait_state(t, launcher, background(launcher), "both-left", at_rest(rest))


def test_hover_over_the_placeholder_changes_nothing_while_the_logo_is_hidden(t):
    launcher, rest = start_at_rest(t, logo=False)
    lit = wait_state(t, launcher, item_point("Label3"), "manual", highlighted(rest, {0}))
    check_unchanged(t, launcher, AT_96.centre(*LABEL6), "placeholder", lit)
    # Beside the placeholder the hidden logo box takes nothing: that is the surface.
    wait_state(t, launcher, (px(LABEL6[0]) + 20, 40), "beside-placeholder", at_rest(rest))


def parse_counts(line):
    return {key: int(value) for key, value in re.findall(r"(\w+)=(\d+)", line)}


@pytest.mark.timeout(900)
def test_soak_of_movement_events_keeps_memory_and_handles_flat(t):
    assert os.path.exists(t.session.bench), f"the benchmark program is not built: {t.session.bench}"
    with open(DEMO_LOGO, "rb") as f:
        medium = t.medium(logo=f.read())
    status, output = t.run_console(unix_to_windows(t.session.bench), "soak", medium.windows_path("Tovira.exe"),
                                   10000, timeout=600)
    lines = {line.split(" ", 1)[0].split("=")[0]: line for line in output.splitlines() if line.strip()}
    assert {"before", "after", "responsive"} <= set(lines), f"the soak printed {output!r} (status {status})"
    before, after = parse_counts(lines["before"]), parse_counts(lines["after"])
    print(f"soak: {lines['before']} | {lines['after']}", flush=True)
    assert lines["responsive"] == "responsive=1" and status == 0, "the launcher stopped answering after the soak"
    # Wine leaves the private figure of another process at 0 and fills the page-file one (anonymous memory).
    memory = "private" if before["private"] else "pagefile"
    assert before[memory] > 0, f"neither private nor page-file bytes are reported: {lines['before']}"
    growth = after[memory] - before[memory]
    assert growth < 256 << 10, f"{memory} bytes grew by {growth} over the soak"
    for kind in ("handles", "gdi", "user"):
        if before[kind] == 0 and after[kind] == 0:
            print(f"soak: no {kind} count is reported (0 before and after); not judged", flush=True)
        else:
            assert after[kind] <= before[kind], f"{kind} grew from {before[kind]} to {after[kind]}"
