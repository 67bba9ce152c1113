#!/usr/bin/env python3
"""Draws Kestrane's icons, a desk joystick seen from the front left, as XPM pictures.

kestrane.xpm (32 x 32) is the program icon, tray.xpm (16 x 16) the tray picture; both use colours
of the 16-colour standard palette and are transparent around the drawing. Run it from this folder
and convert the results to PNG with ImageMagick:
    ./draw_icons.py && convert kestrane.xpm kestrane.png && convert tray.xpm tray.png
"""

COLOURS = {
    ".": "None",
    "k": "#000000",  # black
    "g": "#808080",  # grey
    "s": "#C0C0C0",  # light grey
    "w": "#FFFFFF",  # white
    "t": "#008080",  # teal
}


def inside(poly, x, y):
    hit = False
    for i, (x1, y1) in enumerate(poly):
        x2, y2 = poly[(i + 1) % len(poly)]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def draw(size):
    f = size / 32.0
    px = [["." for _ in range(size)] for _ in range(size)]

    def fill_poly(poly, colour):
        poly = [(x * f, y * f) for x, y in poly]
        for y in range(size):
            for x in range(size):
                if inside(poly, x + 0.5, y + 0.5):
                    px[y][x] = colour

    def outline():
        cells = {(x, y) for y in range(size) for x in range(size) if px[y][x] != "."}
        for x, y in cells:
            if any((x + dx, y + dy) not in cells for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                px[y][x] = "k"

    def disc(cx, cy, r, colour):
        for y in range(size):
            for x in range(size):
                if (x + 0.5 - cx * f) ** 2 + (y + 0.5 - cy * f) ** 2 <= (r * f) ** 2:
                    px[y][x] = colour

    def curve(p0, p1, p2, r, colour):
        for i in range(101):
            t = i / 100
            x = (1 - t) ** 2 * p0[0] + 2 * (1 - t) * t * p1[0] + t * t * p2[0]
            y = (1 - t) ** 2 * p0[1] + 2 * (1 - t) * t * p1[1] + t * t * p2[1]
            disc(x, y, r, colour)

    # Base: the top face in light grey, the front and the right side in grey.
    fill_poly([(4, 24), (25, 24), (25, 29), (4, 29)], "g")
    fill_poly([(25, 24), (29, 19), (29, 24), (25, 29)], "g")
    fill_poly([(8, 19), (29, 19), (25, 24), (4, 24)], "s")
    outline()
    # The stick: curved, black edged grey, from the middle of the base towards the upper left.
    stick = ((15, 22), (16, 12), (9, 7))
    curve(*stick, 2.3, "k")
    curve(*stick, 1.1 if size >= 32 else 0.9, "g")
    # Its knob, with a highlight.
    disc(8.5, 6.5, 4.6, "k")
    disc(8.5, 6.5, 3.4, "g")
    disc(7.5, 5.5, 1.6, "s")
    disc(7.0, 5.0, 0.8 if size >= 32 else 0.9, "w")
    # The teal button on the right of the base.
    disc(23.5, 21.5, 2.0, "k")
    disc(23.5, 21.5, 1.2, "t")
    return ["".join(row) for row in px]


def write_xpm(name, size):
    rows = draw(size)
    used = [c for c in COLOURS if any(c in r for r in rows)]
    lines = [f'"{size} {size} {len(used)} 1",']
    lines += [f'"{c} c {COLOURS[c]}",' for c in used]
    lines += [f'"{r}",' for r in rows]
    lines[-1] = lines[-1].rstrip(",")
    with open(name, "w") as out:
        out.write("/* XPM */\nstatic char *%s[] = {\n" % name.split(".")[0])
        out.write("\n".join(lines) + "\n};\n")


write_xpm("kestrane.xpm", 32)
write_xpm("tray.xpm", 16)
