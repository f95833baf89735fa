"""Writes the launcher's picture (bitmap 129) and icon (icon 128).

usage: make_images.py OUTPUT_FOLDER

The picture is 503 x 314 pixels, 8 bits per pixel: a coloured panel with the
product's name and logo shapes and the maker's name over its left third,
white elsewhere, where the dialog's buttons stand. The icon has a 32 x 32
and a 16 x 16 image in 16 colours.
"""

import os
import sys

# The image writer is in the top-level win32/, with the helpers both programs share.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "win32"))
from images import Canvas, write_bmp8, write_ico  # noqa: E402

WIDTH, HEIGHT = 503, 314
PANEL_WIDTH = WIDTH // 3

WHITE, LIGHT, ACCENT, DARK = 0, 1, 2, 3
GRADIENT_FIRST = 16
GRADIENT_STEPS = 200
TOP_COLOUR, BOTTOM_COLOUR = (18, 92, 120), (8, 40, 64)


def picture_palette():
    palette = [(255, 255, 255), (196, 228, 236), (240, 150, 40), (6, 30, 48)]
    palette += [(0, 0, 0)] * (GRADIENT_FIRST - len(palette))
    for step in range(GRADIENT_STEPS):
        t = step / (GRADIENT_STEPS - 1)
        palette.append(tuple(round(a + (b - a) * t) for a, b in zip(TOP_COLOUR, BOTTOM_COLOUR)))
    return palette + [(0, 0, 0)] * (256 - len(palette))


def centred_text(canvas, y, text, colour, scale):
    x = (PANEL_WIDTH - Canvas.text_width(text, scale)) // 2
    canvas.draw_text(x, y, text, colour, scale)


def picture():
    canvas = Canvas(WIDTH, HEIGHT, WHITE)
    for row in range(HEIGHT):
        step = row * (GRADIENT_STEPS - 1) // (HEIGHT - 1)
        canvas.fill_rect(0, row, PANEL_WIDTH, 1, GRADIENT_FIRST + step)
    # Product logo: a ring around a rising wave of three bars.
    cx, cy = PANEL_WIDTH // 2, 78
    canvas.fill_circle(cx, cy, 40, LIGHT)
    canvas.fill_circle(cx, cy, 33, GRADIENT_FIRST + 60)
    for index, height in enumerate((18, 30, 42)):
        canvas.fill_rect(cx - 24 + index * 18, cy + 21 - height, 12, height, ACCENT)
    centred_text(canvas, 140, "TARVEX", WHITE, 4)
    centred_text(canvas, 178, "INSTALLER", LIGHT, 2)
    # Maker's mark at the foot of the panel: a triangle beside its name.
    canvas.fill_triangle([(22, 290), (36, 266), (50, 290)], ACCENT)
    canvas.draw_text(58, 274, "DRAVENIK", LIGHT, 2)
    return canvas, picture_palette()


ICON_PALETTE = [(255, 255, 255), (196, 228, 236), (240, 150, 40), (6, 30, 48), (18, 92, 120)] + [
    (0, 0, 0)] * 11


def icon(size):
    unit = size // 16
    canvas = Canvas(size, size, DARK)
    canvas.fill_rect(unit, unit, size - 2 * unit, size - 2 * unit, 4)
    # A "T" over an orange bar.
    canvas.fill_rect(3 * unit, 3 * unit, 10 * unit, 2 * unit, WHITE)
    canvas.fill_rect(7 * unit, 5 * unit, 2 * unit, 6 * unit, WHITE)
    canvas.fill_rect(3 * unit, 12 * unit, 10 * unit, unit, ACCENT)
    return canvas


def main(output):
    canvas, palette = picture()
    write_bmp8(os.path.join(output, "picture.bmp"), canvas, palette)
    write_ico(os.path.join(output, "program.ico"), [icon(32), icon(16)], ICON_PALETTE)


if __name__ == "__main__":
    main(sys.argv[1])
