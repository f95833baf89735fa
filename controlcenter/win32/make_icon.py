"""Writes the program icon: a measurement trace over a board, 32 x 32 and
16 x 16 pixels, 16 colours.

    python3 make_icon.py OUTPUT.ico
"""

import math
import os
import sys

# The image writer is in the top-level win32/, with the helpers both programs share.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "win32"))
from images import Canvas, write_ico  # noqa: E402

BACKGROUND, FRAME, BOARD, TRACE, PIN = 0, 1, 2, 3, 4
PALETTE = [(255, 255, 255), (16, 40, 96), (24, 120, 72), (250, 210, 40), (200, 200, 200)] + [
    (0, 0, 0)] * 11


def draw(size):
    canvas = Canvas(size, size, BACKGROUND)
    unit = size / 32
    canvas.fill_rect(0, 0, size, size, FRAME)
    inset = round(3 * unit)
    canvas.fill_rect(inset, inset, size - 2 * inset, size - 2 * inset, BOARD)
    # Connector pins along the bottom edge.
    for pin in range(4):
        x = round((6 + 6 * pin) * unit)
        canvas.fill_rect(x, size - inset, max(1, round(2 * unit)), inset, PIN)
    # One period of a sine across the board.
    middle, amplitude = size / 2 - unit, 8 * unit
    thickness = max(1, round(2 * unit))
    for x in range(inset + 1, size - inset - 1):
        phase = (x - inset) / (size - 2 * inset) * 2 * math.pi
        y = round(middle - amplitude * math.sin(phase))
        canvas.fill_rect(x, y, 1, thickness, TRACE)
    return canvas


if __name__ == "__main__":
    write_ico(sys.argv[1], [draw(32), draw(16)], PALETTE)
