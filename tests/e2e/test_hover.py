"""The menu's hover feedback under the real pointer, read off screenshots, and the long movement soak."""

import os
import re

import pytest

from harness import is_bright_green, is_white, poll, px, same_cursor, unix_to_windows
from layout import AT_96, LABEL6, LABEL7, LAMP_LEFT, LAMP_TOPS, LBLMSG, MENU_LABELS, Launcher, bmp, logo_colour

DEMO_LOGO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo", "imgLogo.bmp")
ROWS = ["Label3", "Label1", "Label2", "Label4"]  # the menu labels from the top row down
BACKGROUND = (2925, 2340)  # window surface right of "Explorar", left of the logo box, in twips
LOGO_BOX = (400, 100)


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


def start_launcher(t, logo=True):
    medium = t.medium(logo=bmp(60, 40, logo_colour) if logo else None)
    t.move(5, 5)
    program = medium.start()
    if not logo:
        program.wait_window("QEV Register").close()
    launcher = Launcher(t, program)
    return launcher, rest_state(t, launcher)


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
    launcher, rest = start_launcher(t)
    state = wait_state(t, launcher, item_point("Label2"), "explorar", highlighted(rest, {2}))
    assert state.reach[2] > rest.reach[2] + 1, f"Explorar is not bold: {state.reach[2]} vs {rest.reach[2]}"
    wait_state(t, launcher, background(launcher), "explorar-left", at_rest(rest))
    check_each_row_lights_alone(t, launcher, rest)


def check_each_row_lights_alone(t, launcher, rest):
    """Each row lights its own lamp, whatever the label's number, and the surface puts it back."""
    for row, name in enumerate(ROWS):
        wait_state(t, launcher, item_point(name, launcher.layout), f"row-{row}", highlighted(rest, {row}))
        wait_state(t, launcher, background(launcher), f"row-{row}-left", at_rest(rest))


def test_hover_stays_over_lamps_and_the_status_box_and_rests_over_the_logos(t):
    launcher, rest = start_launcher(t)
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
    launcher, rest = start_launcher(t)
    wait_state(t, launcher, item_point("Label3"), "manual", highlighted(rest, {0}))
    # One warp is one movement event: nothing falls on the band between the rows.
    t.move(*launcher.screen_point(*item_point("Label1")))
    wait_state(t, launcher, None, "manual-then-install", highlighted(rest, {0, 1}), move=False)
    wait_state(t, launcher, background(launcher), "both-left", at_rest(rest))


def test_hover_over_the_placeholder_changes_nothing_while_the_logo_is_hidden(t):
    launcher, rest = start_launcher(t, logo=False)
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
