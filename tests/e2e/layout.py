"""Checks of the launcher's look on a screenshot, in its client coordinates: pixels = twips * DPI / 1440, so 15
twips a pixel at 96 DPI, where every pixel is as designed; at other screen scales rounding may move an edge by one."""

import math
import struct

from harness import BLACK, SILVER, STRIPE_BLUE, WHITE, is_bright_green, is_green, is_light, poll

# Left, top, width, height of the menu labels at regular weight, row by row.
MENU_LABELS = {"Label3": (480, 1260, 1125, 240), "Label1": (480, 1740, 2130, 240),
               "Label2": (465, 2220, 750, 240), "Label4": (480, 2700, 750, 240)}
LABEL6 = (4620, 2100, 3555, 615)
LABEL7 = (720, 180, 1815, 675)
LBLMSG = (720, 3540, 1575, 795)
LAMP_TOPS_TWIPS = (1260, 1740, 2220, 2700)


class Layout:
    """Where the launcher's parts lie at a screen scale, in client pixels."""

    def __init__(self, dpi=96):
        self.dpi = dpi
        self.scale = dpi / 96
        self.slack = 0 if dpi == 96 else 1
        self.client = (self.px(9330), self.px(4875))
        # The panel picture and the lamps are drawn for the scale; lines are as thick to the eye.
        self.panel_width = math.floor(211 * self.scale + 0.5)
        self.lamp_left = self.px(180)
        self.lamp_tops = [self.px(top) for top in LAMP_TOPS_TWIPS]
        self.lamp_size = round(16 * self.scale)
        self.line = max(1, round(self.scale))
        self.logo_left = self.px(3120)
        # Shape1's outline corners, inclusive.
        self.shape1 = (self.px(600), self.px(3420), self.px(600 + 1815) - 1, self.px(3420 + 975) - 1)

    def px(self, twips):
        return math.floor(twips * self.dpi / 1440 + 0.5)

    def box(self, left, top, width, height):
        """A twips box as client pixels: left, top, right and bottom (exclusive)."""
        return self.px(left), self.px(top), self.px(left + width), self.px(top + height)

    def centre(self, left, top, width=0, height=0):
        return self.px(left + width / 2), self.px(top + height / 2)

    def stripe(self, y):
        """The panel's pinstripes: every third design row dark blue, each as many whole pixels high as it takes."""
        return STRIPE_BLUE if math.floor((y + 0.5) / self.scale) % 3 == 1 else BLACK

    def check_stroke(self, cells, start, what):
        """A white line `self.line` pixels thick from `start` (give or take the slack) across cells(i), with no white
        next to it."""
        white = [i for i in range(start - self.slack - 1, start + self.line + self.slack + 1) if cells(i) == WHITE]
        assert len(white) == self.line and white[-1] - white[0] == self.line - 1, f"{what}: white at {white}"
        assert abs(white[0] - start) <= self.slack, f"{what}: white at {white}, not {self.line} from {start}"


AT_96 = Layout()
CLIENT = AT_96.client
LAMP_TOPS = AT_96.lamp_tops
LAMP_LEFT = AT_96.lamp_left


def bmp(width, height, colour):
    """A 24-bit bottom-up Windows bitmap whose pixel (x, y) is colour(x, y)."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(height)):
        row = b"".join(bytes((b, g, r)) for r, g, b in (colour(x, y) for x in range(width)))
        rows.append(row + b"\0" * (stride - width * 3))
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def read_bmp(path):
    """A 24-bit uncompressed bitmap as colour(x, y)."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    assert bits == 24 and compression == 0, f"{path} is not a plain 24-bit bitmap"
    stride = (width * 3 + 3) & ~3

    def colour(x, y):
        row = y if height < 0 else abs(height) - 1 - y
        at = offset + row * stride + 3 * x
        b, g, r = data[at:at + 3]
        return r, g, b

    return width, abs(height), colour


def logo_colour(x, y):
    """A pattern in which every sampled position has its own colour, so a shift or a stretch shows."""
    return (30 + (x * 7) % 200, 30 + (y * 11) % 200, 250 - (x + y) % 90)


class Launcher:
    """The launcher window of a started program, with its client origin on screen and the layout at the scale
    that the test started it at (or `dpi`, the scale of its screen)."""

    def __init__(self, context, program, timeout=20.0, dpi=None):
        self.context = context
        self.program = program
        self.layout = Layout(dpi or context.dpi)
        self.window = program.wait_window("Tovira", timeout)
        geometry = self.window.client()
        self.origin = tuple(geometry["origin"])
        self.client = tuple(geometry["client"])
        self.outer = geometry["window"]
        self.screen = geometry["screen"]

    def screen_point(self, x, y):
        return self.origin[0] + x, self.origin[1] + y

    def twips_point(self, left, top, width=0, height=0):
        """The screen pixel at the centre of a twips box (or at a twips point)."""
        return self.screen_point(*self.layout.centre(left, top, width, height))

    def shot(self, label):
        image = self.context.screenshot(label)
        ox, oy = self.origin
        return lambda x, y: image.pixel(ox + x, oy + y)


def check_window_frame(launcher):
    expected, slack = launcher.layout.client, launcher.layout.slack
    assert all(abs(a - b) <= slack for a, b in zip(launcher.client, expected)), (
        f"client area is {launcher.client}, not {expected}")
    left, top, right, bottom = launcher.outer
    sw, sh = launcher.screen
    assert abs(left - (sw - (right - left)) / 2) <= 1 and abs(top - (sh - (bottom - top)) / 2) <= 1, (
        f"window {launcher.outer} is not centred on the {sw}x{sh} screen")


def check_menu_panel(pixel, panel_right, layout=AT_96):
    """The striped panel, its lamps, lines, rectangle and captions; `panel_right` is the first column not
    belonging to the panel (the logo box's left edge, or the picture's width when the box is hidden)."""
    at, stripe, line, slack = layout.px, layout.stripe, layout.line, layout.slack
    width, height = layout.client
    size = layout.lamp_size
    lamp_rows = [range(t - slack, t + size + slack) for t in layout.lamp_tops]
    left, top, right, bottom = layout.shape1
    # Stripes where nothing lies over them: the left margin, the band right of the menu and the bottom band.
    for x in (0, at(75), layout.lamp_left - 1 - slack):
        for y in range(height):
            assert pixel(x, y) == stripe(y), f"panel pixel ({x},{y}) is {pixel(x, y)}, expected {stripe(y)}"
    for x in range(at(2850), panel_right):
        for y in range(0, height, 7):
            assert pixel(x, y) == stripe(y), f"panel pixel ({x},{y}) is {pixel(x, y)}, expected {stripe(y)}"
    for y in range(bottom + 2 + slack, height):
        for x in range(panel_right):
            assert pixel(x, y) == stripe(y), f"panel pixel ({x},{y}) below the rectangle is {pixel(x, y)}"
    # Line1 down through the lamps to Line2, which runs to the rectangle; both as thick as the scale makes them.
    x1, y2 = at(300), at(3900)
    for y in range(0, y2 - line - slack):
        if not any(y in rows for rows in lamp_rows):
            layout.check_stroke(lambda i: pixel(i, y), x1 - line // 2, f"Line1 at y={y}")
    assert all(pixel(x, y2 + line + slack) != WHITE for x in range(x1 - line - 1, x1 + line + 2)), (
        f"Line1 runs past y={y2}")
    for x in range(x1 - line // 2 + line + slack, left - slack):
        layout.check_stroke(lambda i: pixel(x, i), y2 - line // 2, f"Line2 at x={x}")
    # Shape1: a white outline inside its box, hollow.
    for y in range(top + line + slack, bottom - line - slack + 1):
        if abs(y - y2) > line + slack:
            layout.check_stroke(lambda i: pixel(i, y), left, f"Shape1's left side at y={y}")
        layout.check_stroke(lambda i: pixel(i, y), right - line + 1, f"Shape1's right side at y={y}")
    for x in range(left + line + slack, right - line - slack + 1):
        layout.check_stroke(lambda i: pixel(x, i), top, f"Shape1's top at x={x}")
        layout.check_stroke(lambda i: pixel(x, i), bottom - line + 1, f"Shape1's bottom at x={x}")
    inner = line + slack + 1
    for y in range(top + inner, bottom - inner + 1):
        for x in (left + inner, at(900), at(1500), right - inner):
            assert pixel(x, y) == stripe(y), f"inside Shape1 ({x},{y}) is {pixel(x, y)}: filled or text shown"
    # Four dark lamps.
    for lamp_top in layout.lamp_tops:
        x0 = layout.lamp_left
        box = [pixel(x, y) for y in range(lamp_top, lamp_top + size) for x in range(x0, x0 + size)]
        assert sum(map(is_green, box)) >= 40 * layout.scale ** 2, f"no dark lamp at ({x0},{lamp_top})"
        assert not any(map(is_bright_green, box)), f"the lamp at ({x0},{lamp_top}) is lit at rest"
        y = lamp_top + size // 2
        assert pixel(x0 - 1 - slack, y) == stripe(y), f"lamp at {lamp_top} reaches left of x={x0}"
    # Captions: white text inside each label's box, starting at its left edge and reaching most of the way to its
    # right (so drawn in a font for the scale), with none in the gap to its right.
    for name, box in MENU_LABELS.items():
        x0, y0, x1, y1 = layout.box(*box)
        light = [(x, y) for y in range(y0, y1) for x in range(x0 - slack, x1 + 2 + slack) if is_light(pixel(x, y))]
        assert len(light) >= 20 * layout.scale ** 2, f"{name}'s caption is not shown in ({x0},{y0})-({x1},{y1})"
        assert min(x for x, _ in light) <= x0 + 4 * layout.scale, f"{name}'s caption does not start at x={x0}"
        assert max(x for x, _ in light) >= x0 + 0.75 * (x1 - x0), f"{name}'s caption is too narrow for its box"
        assert not any(is_light(pixel(x, y)) for y in range(y0, y1) for x in range(x1 + 2 + slack, at(2820))), (
            f"{name}'s caption runs past its box")
    # The vendor's logo inside the panel picture: white and coloured artwork over the stripes, under the web-site
    # label that turns it into a link.
    vx0, vy0, vx1, vy1 = layout.box(*LABEL7)
    artwork = [pixel(x, y) for y in range(vy0, vy1) for x in range(vx0, vx1)]
    assert sum(1 for p in artwork if p == WHITE) >= 50 * layout.scale ** 2, "the vendor's logo shows no white"
    assert sum(1 for p in artwork if p not in (WHITE, BLACK, STRIPE_BLUE)) >= 50 * layout.scale ** 2, (
        "the vendor's logo shows no colour")


def ink_width(pixel, box, ink):
    """The width of the text in a box (left, top, right, bottom exclusive): its lines' widths together, which a word
    that wraps elsewhere at another scale does not change. Rows with ink that follow each other are one line."""
    x0, y0, x1, y1 = box
    total, span = 0, []
    for y in range(y0, y1 + 1):
        xs = [x for x in range(x0, x1) if y < y1 and ink(pixel(x, y))]
        if xs:
            span = [min(xs + span[:1]), max(xs + span[1:])]
        elif span:
            total, span = total + span[1] - span[0] + 1, []
    return total


def check_text_widths(widths, at_96, scale, where):
    """Texts drawn for the scale: each `scale` times its width at 96 DPI, within 5 %."""
    for name, width in at_96.items():
        assert abs(widths[name] - width * scale) <= 0.05 * width * scale, (
            f"{name} in {where} is {widths[name]} pixels wide, not {width * scale:.0f} ({width} at 96 DPI)")


def find_logo_offset(pixel, colour, layout=AT_96):
    """Where the logo's top-left pixel lies relative to the box's corner: a border may push it in. Compared
    exactly, so for a logo shown pixel for pixel."""
    left = layout.logo_left
    for border in range(4):
        if all(pixel(left + border + i, border + j) == colour(i, j) for i, j in ((0, 0), (5, 3), (40, 20))):
            return border
    return None


def wait_painted(launcher, label, ready, timeout=5.0):
    """A screenshot taken once `ready(pixel)` holds, so that a check does not race the first paint."""
    result = {}

    def probe():
        result["pixel"] = launcher.shot(label)
        return ready(result["pixel"])

    poll(probe, timeout, 0.3)
    return result["pixel"]


def check_placeholder(pixel, layout=AT_96):
    """Logo box hidden: black right of the panel, with Label6's white text centred in its box."""
    x0, y0, x1, y1 = layout.box(*LABEL6)
    inside = [(x, y) for y in range(y0, y1) for x in range(x0, x1)]
    light = [(x, y) for x, y in inside if is_light(pixel(x, y))]
    assert len(light) >= 100 * layout.scale ** 2, f"the placeholder text is not shown in ({x0},{y0})-({x1},{y1})"
    assert all(max(pixel(x, y)) - min(pixel(x, y)) < 30 for x, y in inside), "the placeholder is not white on black"
    assert min(y for _, y in light) <= y0 + 4 * layout.scale, "the placeholder text does not start at its box's top"
    left_gap = min(x for x, _ in light) - x0
    right_gap = x1 - 1 - max(x for x, _ in light)
    assert abs(left_gap - right_gap) <= 12 * layout.scale, (
        f"the placeholder text is not centred (gaps {left_gap}, {right_gap})")
    width, height = layout.client
    for y in range(0, height, 3):
        for x in range(layout.panel_width, width, 5):
            if not (x0 <= x < x1 and y0 <= y < y1):
                assert pixel(x, y) == BLACK, f"({x},{y}) right of the panel is {pixel(x, y)}, not black"
    assert all(pixel(x, 100) != SILVER for x in range(layout.logo_left, width)), "the hidden logo box shows"
