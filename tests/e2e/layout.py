"""Checks of the launcher's look on a screenshot, in its client coordinates (pixels = twips / 15)."""

import struct

from harness import (BLACK, SILVER, STRIPE_BLUE, WHITE, check, is_bright_green, is_green, is_light, poll, px)

CLIENT = (622, 325)
PANEL_WIDTH = 211
LAMP_TOPS = [84, 116, 148, 180]
LAMP_LEFT = 12
VENDOR_LOGO = (43, 10, 173, 61)
# Left, top, width, height of the menu labels at regular weight, row by row.
MENU_LABELS = {"Label3": (480, 1260, 1125, 240), "Label1": (480, 1740, 2130, 240),
               "Label2": (465, 2220, 750, 240), "Label4": (480, 2700, 750, 240)}
LABEL6 = (4620, 2100, 3555, 615)
LABEL7 = (720, 180, 1815, 675)
SHAPE1 = (40, 228, 160, 292)  # outline corners, inclusive


def stripe(y):
    return STRIPE_BLUE if y % 3 == 1 else BLACK


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
    check(bits == 24 and compression == 0, f"{path} is not a plain 24-bit bitmap")
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
    """The launcher window of a started program, with its client origin on screen."""

    def __init__(self, context, program, timeout=20.0):
        self.context = context
        self.program = program
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
        return self.screen_point(px(left + width / 2), px(top + height / 2))

    def shot(self, label):
        image = self.context.screenshot(label)
        ox, oy = self.origin
        return lambda x, y: image.pixel(ox + x, oy + y)


def check_window_frame(launcher):
    check(launcher.client == CLIENT, f"client area is {launcher.client}, not {CLIENT}")
    left, top, right, bottom = launcher.outer
    sw, sh = launcher.screen
    check(abs(left - (sw - (right - left)) / 2) <= 1 and abs(top - (sh - (bottom - top)) / 2) <= 1,
          f"window {launcher.outer} is not centred on the {sw}x{sh} screen")


def check_menu_panel(pixel, panel_right):
    """The striped panel, its lamps, lines, rectangle and captions; `panel_right` is the first column not
    belonging to the panel (the logo box's left edge, or the picture's width when the box is hidden)."""
    lamp_rows = [range(t, t + 16) for t in LAMP_TOPS]
    # Stripes where nothing lies over them: the left margin, the band right of the menu and the bottom band.
    for x in (0, 5, 11):
        for y in range(CLIENT[1]):
            check(pixel(x, y) == stripe(y), f"panel pixel ({x},{y}) is {pixel(x, y)}, expected {stripe(y)}")
    for x in range(190, panel_right):
        for y in range(0, CLIENT[1], 7):
            check(pixel(x, y) == stripe(y), f"panel pixel ({x},{y}) is {pixel(x, y)}, expected {stripe(y)}")
    for y in range(294, CLIENT[1]):
        for x in range(panel_right):
            check(pixel(x, y) == stripe(y), f"panel pixel ({x},{y}) below the rectangle is {pixel(x, y)}")
    # Line1 down through the lamps, Line2 to the rectangle.
    for y in range(0, 261):
        if not any(y in rows for rows in lamp_rows):
            check(pixel(20, y) == WHITE, f"Line1 missing at (20,{y}): {pixel(20, y)}")
    check(pixel(20, 261) != WHITE, "Line1 runs past y=260")
    for x in range(20, 41):
        check(pixel(x, 260) == WHITE, f"Line2 missing at ({x},260): {pixel(x, 260)}")
    # Shape1: a white outline, hollow.
    left, top, right, bottom = SHAPE1
    for y in range(top, bottom + 1):
        check(pixel(left, y) == WHITE and pixel(right, y) == WHITE, f"Shape1's side is not white at y={y}")
    for x in range(left, right + 1):
        check(pixel(x, top) == WHITE and pixel(x, bottom) == WHITE, f"Shape1's top or bottom is not white at x={x}")
    check(pixel(right + 1, 250) == stripe(250) and pixel(100, bottom + 1) == stripe(bottom + 1),
          "Shape1 is larger than 121 x 65 pixels")
    for y in range(top + 2, bottom - 1):
        for x in (left + 2, 60, 100, right - 2):
            check(pixel(x, y) == stripe(y), f"inside Shape1 ({x},{y}) is {pixel(x, y)}: filled or text shown")
    # Four dark lamps.
    for lamp_top in LAMP_TOPS:
        box = [pixel(x, y) for y in range(lamp_top, lamp_top + 16) for x in range(LAMP_LEFT, LAMP_LEFT + 16)]
        check(sum(map(is_green, box)) >= 40, f"no dark lamp at ({LAMP_LEFT},{lamp_top})")
        check(not any(map(is_bright_green, box)), f"the lamp at ({LAMP_LEFT},{lamp_top}) is lit at rest")
        check(pixel(LAMP_LEFT - 1, lamp_top + 8) == stripe(lamp_top + 8), f"lamp at {lamp_top} reaches left of x=12")
    # Captions: white text inside each label's box, starting at its left edge, and none in the gap to its right.
    for name, (left_tw, top_tw, width_tw, height_tw) in MENU_LABELS.items():
        x0, y0, x1, y1 = px(left_tw), px(top_tw), px(left_tw + width_tw), px(top_tw + height_tw)
        light = [(x, y) for y in range(y0, y1) for x in range(x0, x1) if is_light(pixel(x, y))]
        check(len(light) >= 20, f"{name}'s caption is not shown in ({x0},{y0})-({x1},{y1})")
        check(min(x for x, _ in light) <= x0 + 4, f"{name}'s caption does not start at x={x0}")
        check(not any(is_light(pixel(x, y)) for y in range(y0, y1) for x in range(x1 + 2, 188)),
              f"{name}'s caption runs past its box")
    # The vendor's logo inside the panel picture: white and coloured artwork over the stripes.
    vx0, vy0, vx1, vy1 = VENDOR_LOGO
    artwork = [pixel(x, y) for y in range(vy0, vy1) for x in range(vx0, vx1)]
    check(sum(1 for p in artwork if p == WHITE) >= 50, "the vendor's logo shows no white")
    check(sum(1 for p in artwork if p not in (WHITE, BLACK, STRIPE_BLUE)) >= 50, "the vendor's logo shows no colour")


def find_logo_offset(pixel, colour):
    """Where the logo's top-left pixel lies relative to the box's corner (208, 0): a border may push it in."""
    for border in range(4):
        if all(pixel(208 + border + i, border + j) == colour(i, j) for i, j in ((0, 0), (5, 3), (40, 20))):
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


def check_placeholder(pixel):
    """Logo box hidden: black right of the panel, with Label6's white text centred in its box."""
    x0, y0 = px(LABEL6[0]), px(LABEL6[1])
    x1, y1 = px(LABEL6[0] + LABEL6[2]), px(LABEL6[1] + LABEL6[3])
    inside = [(x, y) for y in range(y0, y1) for x in range(x0, x1)]
    light = [(x, y) for x, y in inside if is_light(pixel(x, y))]
    check(len(light) >= 100, f"the placeholder text is not shown in ({x0},{y0})-({x1},{y1})")
    check(all(max(pixel(x, y)) - min(pixel(x, y)) < 30 for x, y in inside), "the placeholder is not white on black")
    check(min(y for _, y in light) <= y0 + 4, "the placeholder text does not start at the top of its box")
    left_gap = min(x for x, _ in light) - x0
    right_gap = x1 - 1 - max(x for x, _ in light)
    check(abs(left_gap - right_gap) <= 12, f"the placeholder text is not centred (gaps {left_gap}, {right_gap})")
    for y in range(0, CLIENT[1], 3):
        for x in range(PANEL_WIDTH, CLIENT[0], 5):
            if not (x0 <= x < x1 and y0 <= y < y1):
                check(pixel(x, y) == BLACK, f"({x},{y}) right of the panel is {pixel(x, y)}, not black")
    check(all(pixel(x, 100) != SILVER for x in range(208, CLIENT[0])), "the hidden logo box shows")
