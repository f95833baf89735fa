"""Writes the GUI programs' images at build time, from pixel arrays.

    from images import Canvas, write_bmp8, write_ico

    canvas = Canvas(503, 314, background=0)          # palette indices
    canvas.fill_rect(0, 0, 168, 314, 1)
    canvas.fill_circle(80, 60, 20, 2)
    canvas.draw_text(20, 120, "TARVEX", 3, scale=4)
    write_bmp8("picture.bmp", canvas, palette)       # 256 (r, g, b) entries

    icon32, icon16 = Canvas(32, 32, 0), Canvas(16, 16, 0)
    ...
    write_ico("program.ico", [icon32, icon16], palette16)  # 16 (r, g, b)

Pixels are palette indices, rows top to bottom. Both formats are written
uncompressed, bottom-up, with their rows padded to 4 bytes as the formats
require. Icons are fully opaque (an all-zero AND mask).
"""

import struct

# 5 x 7 capitals and digits, enough for names and version marks.
_FONT = {
    "A": ("01110", "10001", "10001", "11111", "10001", "10001", "10001"),
    "B": ("11110", "10001", "10001", "11110", "10001", "10001", "11110"),
    "C": ("01110", "10001", "10000", "10000", "10000", "10001", "01110"),
    "D": ("11110", "10001", "10001", "10001", "10001", "10001", "11110"),
    "E": ("11111", "10000", "10000", "11110", "10000", "10000", "11111"),
    "F": ("11111", "10000", "10000", "11110", "10000", "10000", "10000"),
    "G": ("01110", "10001", "10000", "10111", "10001", "10001", "01111"),
    "H": ("10001", "10001", "10001", "11111", "10001", "10001", "10001"),
    "I": ("01110", "00100", "00100", "00100", "00100", "00100", "01110"),
    "J": ("00111", "00010", "00010", "00010", "00010", "10010", "01100"),
    "K": ("10001", "10010", "10100", "11000", "10100", "10010", "10001"),
    "L": ("10000", "10000", "10000", "10000", "10000", "10000", "11111"),
    "M": ("10001", "11011", "10101", "10101", "10001", "10001", "10001"),
    "N": ("10001", "11001", "10101", "10011", "10001", "10001", "10001"),
    "O": ("01110", "10001", "10001", "10001", "10001", "10001", "01110"),
    "P": ("11110", "10001", "10001", "11110", "10000", "10000", "10000"),
    "Q": ("01110", "10001", "10001", "10001", "10101", "10010", "01101"),
    "R": ("11110", "10001", "10001", "11110", "10100", "10010", "10001"),
    "S": ("01111", "10000", "10000", "01110", "00001", "00001", "11110"),
    "T": ("11111", "00100", "00100", "00100", "00100", "00100", "00100"),
    "U": ("10001", "10001", "10001", "10001", "10001", "10001", "01110"),
    "V": ("10001", "10001", "10001", "10001", "10001", "01010", "00100"),
    "W": ("10001", "10001", "10001", "10101", "10101", "10101", "01010"),
    "X": ("10001", "10001", "01010", "00100", "01010", "10001", "10001"),
    "Y": ("10001", "10001", "01010", "00100", "00100", "00100", "00100"),
    "Z": ("11111", "00001", "00010", "00100", "01000", "10000", "11111"),
    "0": ("01110", "10001", "10011", "10101", "11001", "10001", "01110"),
    "1": ("00100", "01100", "00100", "00100", "00100", "00100", "01110"),
    "2": ("01110", "10001", "00001", "00010", "00100", "01000", "11111"),
    "3": ("11110", "00001", "00001", "01110", "00001", "00001", "11110"),
    "4": ("00010", "00110", "01010", "10010", "11111", "00010", "00010"),
    "5": ("11111", "10000", "11110", "00001", "00001", "10001", "01110"),
    "6": ("00110", "01000", "10000", "11110", "10001", "10001", "01110"),
    "7": ("11111", "00001", "00010", "00100", "01000", "01000", "01000"),
    "8": ("01110", "10001", "10001", "01110", "10001", "10001", "01110"),
    "9": ("01110", "10001", "10001", "01111", "00001", "00010", "01100"),
    "-": ("00000", "00000", "00000", "11111", "00000", "00000", "00000"),
    " ": ("00000",) * 7,
}
GLYPH_WIDTH, GLYPH_HEIGHT = 5, 7


class Canvas:
    """A width x height grid of palette indices with a few drawing shapes."""

    def __init__(self, width, height, background=0):
        self.width, self.height = width, height
        self.rows = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def fill_rect(self, x, y, width, height, colour):
        for row in range(max(y, 0), min(y + height, self.height)):
            for column in range(max(x, 0), min(x + width, self.width)):
                self.rows[row][column] = colour

    def fill_circle(self, cx, cy, radius, colour):
        for row in range(cy - radius, cy + radius + 1):
            for column in range(cx - radius, cx + radius + 1):
                if (column - cx) ** 2 + (row - cy) ** 2 <= radius * radius:
                    self.put(column, row, colour)

    def fill_triangle(self, points, colour):
        """Fills the triangle with corners points[0..2] (x, y)."""
        (x0, y0), (x1, y1), (x2, y2) = points
        area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0)
        if area == 0:
            return
        for row in range(min(y0, y1, y2), max(y0, y1, y2) + 1):
            for column in range(min(x0, x1, x2), max(x0, x1, x2) + 1):
                w0 = (x1 - column) * (y2 - row) - (x2 - column) * (y1 - row)
                w1 = (x2 - column) * (y0 - row) - (x0 - column) * (y2 - row)
                w2 = (x0 - column) * (y1 - row) - (x1 - column) * (y0 - row)
                if all(w * area >= 0 for w in (w0, w1, w2)):
                    self.put(column, row, colour)

    def draw_text(self, x, y, text, colour, scale=1, spacing=1):
        """Block capitals from (x, y), top left; returns the x after the text."""
        for character in text.upper():
            glyph = _FONT[character]
            for row, bits in enumerate(glyph):
                for column, bit in enumerate(bits):
                    if bit == "1":
                        self.fill_rect(x + column * scale, y + row * scale, scale, scale, colour)
            x += (GLYPH_WIDTH + spacing) * scale
        return x

    @staticmethod
    def text_width(text, scale=1, spacing=1):
        return len(text) * (GLYPH_WIDTH + spacing) * scale - spacing * scale


def _pad(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def _palette_bytes(palette, size):
    if len(palette) > size:
        raise ValueError(f"palette has {len(palette)} colours, the format holds {size}")
    entries = list(palette) + [(0, 0, 0)] * (size - len(palette))
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in entries)


def _info_header(width, height, bits, colours, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 2835, 2835,
                       colours, 0)


def _pixels_8bpp(canvas):
    return b"".join(_pad(bytes(row)) for row in reversed(canvas.rows))


def _pixels_4bpp(canvas):
    data = b""
    for row in reversed(canvas.rows):
        if any(index > 15 for index in row):
            raise ValueError("a 16-colour image uses palette indices 0 to 15")
        padded = row + [0] * (len(row) % 2)
        data += _pad(bytes(padded[i] << 4 | padded[i + 1] for i in range(0, len(padded), 2)))
    return data


def write_bmp8(path, canvas, palette):
    """Uncompressed 8-bit BMP with a 256-entry palette."""
    pixels = _pixels_8bpp(canvas)
    colours = _palette_bytes(palette, 256)
    info = _info_header(canvas.width, canvas.height, 8, 256, len(pixels))
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(header + info + colours + pixels)


def write_ico(path, canvases, palette):
    """ICO with one 16-colour entry per canvas (square, at most 255 pixels)."""
    colours = _palette_bytes(palette, 16)
    images = []
    for canvas in canvases:
        mask = _pad(b"\0" * ((canvas.width + 7) // 8)) * canvas.height
        pixels = _pixels_4bpp(canvas)
        # An icon's header counts the colour rows and the mask rows.
        info = _info_header(canvas.width, 2 * canvas.height, 4, 0, len(pixels) + len(mask))
        images.append((canvas, info + colours + pixels + mask))
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for canvas, data in images:
        directory += struct.pack("<BBBBHHII", canvas.width, canvas.height, 16, 0, 1, 4, len(data),
                                 offset)
        offset += len(data)
    with open(path, "wb") as out:
        out.write(directory + b"".join(data for _, data in images))
