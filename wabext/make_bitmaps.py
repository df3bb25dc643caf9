#!/usr/bin/env python3
"""Writes the two 16x16, 8-bits-per-pixel menu pictures of the extension (import.bmp, export.bmp).

The pictures are drawn below as text so that they can be reviewed and changed without an editor:
a contact card with a green arrow going into it (import) or an orange arrow leaving it (export).
Run it from this folder after changing a picture; the .bmp files are kept in the repository.
"""
import struct

PALETTE = {
    ".": (255, 255, 255),  # background
    "K": (0, 0, 128),      # card outline
    "W": (255, 255, 224),  # card
    "L": (128, 128, 128),  # text lines on the card
    "F": (64, 96, 160),    # the person's picture on the card
    "G": (0, 150, 0),      # import arrow
    "R": (230, 100, 0),    # export arrow
}

CARD = [
    "KWWWWWWWWWWWWWWK",
    "KWFFFWWWWWWWWWWK",
    "KWFFFWLLLLLLLWWK",
    "KWFFFWWWWWWWWWWK",
    "KWWWWWLLLLLWWWWK",
    "KWWWWWWWWWWWWWWK",
    "KKKKKKKKKKKKKKKK",
]

IMPORT = [
    "......GGGG......",
    "......GGGG......",
    "......GGGG......",
    "......GGGG......",
    "...GGGGGGGGGG...",
    "....GGGGGGGG....",
    ".....GGGGGG.....",
    "......GGGG......",
    "KKKKKKKGGKKKKKKK",
] + CARD

EXPORT = [
    ".......RR.......",
    "......RRRR......",
    ".....RRRRRR.....",
    "....RRRRRRRR....",
    "...RRRRRRRRRR...",
    "......RRRR......",
    "......RRRR......",
    "......RRRR......",
    "KKKKKKRRRRKKKKKK",
] + CARD


def write_bmp(path, rows):
    assert len(rows) == 16 and all(len(r) == 16 for r in rows)
    keys = list(PALETTE)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in (PALETTE[k] for k in keys))
    palette += b"\0\0\0\0" * (256 - len(keys))
    # Rows are stored bottom-up; 16 bytes per row is already a multiple of four.
    pixels = b"".join(bytes(keys.index(c) for c in row) for row in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


if __name__ == "__main__":
    write_bmp("import.bmp", IMPORT)
    write_bmp("export.bmp", EXPORT)
