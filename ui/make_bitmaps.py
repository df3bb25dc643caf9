#!/usr/bin/env python3
"""Draws the folder picker's two 16x16 tree images as 24-bit BMP files: pickroot.bmp (the
address book, a small open book) and pickfolder.bmp (a folder). Magenta is the transparent colour.
Run from this folder; the .bmp files are committed, so the build does not need Python."""
import struct

M = (255, 0, 255)  # transparent
PALETTE = {'.': M, 'k': (64, 64, 64), 'y': (255, 214, 90), 'o': (214, 160, 40),
           'b': (40, 90, 190), 'w': (255, 255, 255), 'l': (150, 180, 230)}

ROOT = [
    "................",
    "................",
    "..kkkkkk.kkkkkk.",
    ".kbbbbbbkbbbbbbk",
    ".kbwwwwbkbwwwwbk",
    ".kbwllwbkbwllwbk",
    ".kbwwwwbkbwwwwbk",
    ".kbwllwbkbwllwbk",
    ".kbwwwwbkbwwwwbk",
    ".kbwllwbkbwllwbk",
    ".kbwwwwbkbwwwwbk",
    ".kbbbbbbkbbbbbbk",
    "..kkkkkkkkkkkkk.",
    "................",
    "................",
    "................",
]

FOLDER = [
    "................",
    "................",
    "................",
    ".kkkkk..........",
    "kyyyyyk.........",
    "kyyyyyykkkkkkkk.",
    "kyyyyyyyyyyyyyyk",
    "kooooooooooooook",
    "kyyyyyyyyyyyyyyk",
    "kyyyyyyyyyyyyyyk",
    "kyyyyyyyyyyyyyyk",
    "kyyyyyyyyyyyyyyk",
    "kyyyyyyyyyyyyyyk",
    ".kkkkkkkkkkkkkk.",
    "................",
    "................",
]


def write_bmp(path, rows):
    width, height = 16, len(rows)
    stride = (width * 3 + 3) & ~3
    pixels = b''
    for row in reversed(rows):  # bottom-up
        line = b''.join(struct.pack('BBB', *reversed(PALETTE[c])) for c in row)
        pixels += line + b'\0' * (stride - len(line))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + pixels)


write_bmp('pickroot.bmp', ROOT)
write_bmp('pickfolder.bmp', FOLDER)
