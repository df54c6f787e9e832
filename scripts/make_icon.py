#!/usr/bin/env python3
"""Draws Sortella's 32x32, 16-colour icon (an envelope over a sorting tray)
and writes it as a Windows .ico file."""
import struct
import sys

W = H = 32
# Standard 16-colour palette (B, G, R, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, NAVY, GREY, SILVER, BLUE, YELLOW, WHITE = 0, 4, 8, 7, 12, 11, 15
CLEAR = None


def draw():
    px = [[CLEAR] * W for _ in range(H)]

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = c

    # Tray: three sorting slots.
    rect(2, 20, 29, 29, GREY)
    rect(3, 21, 28, 28, SILVER)
    for x in (11, 20):
        rect(x, 21, x, 28, GREY)
    rect(4, 22, 9, 27, YELLOW)
    rect(13, 22, 18, 27, BLUE)
    rect(22, 22, 27, 27, YELLOW)
    # Envelope above the tray.
    rect(6, 3, 25, 16, BLACK)
    rect(7, 4, 24, 15, WHITE)
    for i in range(9):
        px[4 + i][7 + i] = NAVY
        px[4 + i][24 - i] = NAVY
    # Arrow from the envelope into the middle slot.
    rect(15, 17, 16, 19, BLUE)
    return px


def ico(px):
    xor = bytearray()
    for y in range(H - 1, -1, -1):
        row = px[y]
        for x in range(0, W, 2):
            a = row[x] if row[x] is not None else 0
            b = row[x + 1] if row[x + 1] is not None else 0
            xor.append((a << 4) | b)
    mask = bytearray()
    for y in range(H - 1, -1, -1):
        for x in range(0, W, 8):
            byte = 0
            for bit in range(8):
                if px[y][x + bit] is None:
                    byte |= 0x80 >> bit
            mask.append(byte)
    header = struct.pack('<IiiHHIIiiII', 40, W, H * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in PALETTE)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack(
        '<BBBBHHII', W, H, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + image


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as f:
        f.write(ico(draw()))
