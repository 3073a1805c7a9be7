#!/usr/bin/env python3
"""Writes the seed files of the bitmap, icon and region fuzz targets: small valid files of
each kind and depth, and a few broken ones. Run from the repository root; the output is
committed, so rerun only to change the seeds."""
import os
import struct

ROOT = os.path.join("tests", "fuzz", "corpus")


def put(kind, name, data):
    os.makedirs(os.path.join(ROOT, kind), exist_ok=True)
    with open(os.path.join(ROOT, kind, name), "wb") as f:
        f.write(data)


def stride(width, bits):
    return (width * bits + 31) // 32 * 4


def rows(width, height, bits, pixel, bottom_up=True):
    """Packed rows; pixel(x, y) gives an index or a 0xAARRGGBB value."""
    out = b""
    order = range(height - 1, -1, -1) if bottom_up else range(height)
    for y in order:
        row = bytearray(stride(width, bits))
        for x in range(width):
            p = pixel(x, y)
            if bits <= 8:
                bit = x * bits
                row[bit // 8] |= p << (8 - bits - bit % 8)
            else:
                n = bits // 8
                row[x * n:x * n + n] = struct.pack("<I", p)[:n]
        out += bytes(row)
    return out


def palette(colors):
    return b"".join(struct.pack("<BBBB", c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF, 0) for c in colors)


def info(width, height, bits, compression=0, used=0, size=40):
    head = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, 0, 2835, 2835,
                       used, 0)
    return head + bytes(size - 40)


def bmp(header, pal, pixels, extra=b""):
    offset = 14 + len(header) + len(extra) + len(pal)
    body = header + extra + pal + pixels
    return struct.pack("<HIHHI", 0x4D42, 14 + len(body), 0, 0, offset) + body


def gradient(x, y):
    return (x * 40 & 0xFF) << 16 | (y * 60 & 0xFF) << 8 | (x + y) * 20 & 0xFF


def bitmaps():
    put("bmp", "mono_8x2.bmp",
        bmp(info(8, 2, 1), palette([0, 0xFFFFFF]), rows(8, 2, 1, lambda x, y: (x + y) & 1)))
    put("bmp", "four_bit_5x3_partial_palette.bmp",
        bmp(info(5, 3, 4, used=3), palette([0x5E5E5E, 0xFF0000, 0x00FF00]),
            rows(5, 3, 4, lambda x, y: (x + y) % 3)))
    put("bmp", "eight_bit_4x4.bmp",
        bmp(info(4, 4, 8), palette([i * 0x010101 for i in range(256)]),
            rows(4, 4, 8, lambda x, y: x * 60 + y)))
    put("bmp", "true_colour_3x2_top_down.bmp",
        bmp(info(3, -2, 24), b"", rows(3, 2, 24, gradient, bottom_up=False)))
    put("bmp", "alpha_3x3_bit_fields.bmp",
        bmp(info(3, 3, 32, compression=3), b"", rows(3, 3, 32, lambda x, y: 0x80000000 | gradient(x, y)),
            extra=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)))
    v5 = bytearray(info(2, 2, 32, compression=3, size=124))
    v5[40:56] = struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000)
    put("bmp", "v5_header_2x2.bmp", bmp(bytes(v5), b"", rows(2, 2, 32, gradient)))
    good = bmp(info(3, 2, 24), b"", rows(3, 2, 24, gradient))
    put("bmp", "broken_truncated.bmp", good[:-5])
    put("bmp", "broken_signature.bmp", b"MB" + good[2:])
    put("bmp", "broken_rle.bmp", bmp(info(4, 4, 8, compression=1), palette([0, 0xFFFFFF]), bytes(16)))


def icon_image(size, bits, colors, pixel, mask):
    pal = palette(colors)
    xor = rows(size, size, bits, pixel)
    and_rows = rows(size, size, 1, mask)
    return info(size, 2 * size, bits) + pal + xor + and_rows


def icon_file(images):
    """images: list of (size, bits, colour count, image bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, count, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, count, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, _, data in images)


def shared_icon_file(entries, size, bits, data):
    """A directory of `entries` entries that all point at one image."""
    out = struct.pack("<HHH", 0, 1, entries)
    for _ in range(entries):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data),
                           6 + 16 * entries)
    return out + data


def icons():
    ring = lambda x, y: 1 if (x - 7.5) ** 2 + (y - 7.5) ** 2 > 56 else 0
    sixteen = icon_image(16, 4, [i * 0x111111 for i in range(16)], lambda x, y: (x ^ y) & 15, ring)
    put("icon", "sixteen_colour_16x16.ico", icon_file([(16, 4, 16, sixteen)]))
    put("icon", "two_images.ico", icon_file([
        (8, 8, 0, icon_image(8, 8, [i * 0x010101 for i in range(256)], lambda x, y: x * 30 + y,
                             lambda x, y: x == 0)),
        (4, 32, 0, icon_image(4, 32, [], lambda x, y: 0xFF000000 | gradient(x, y), lambda x, y: 0)),
    ]))
    put("icon", "true_colour_5x5.ico",
        icon_file([(5, 24, 0, icon_image(5, 24, [], gradient, lambda x, y: x > y))]))
    png = b"\x89PNG\r\n\x1a\n" + bytes(32)
    put("icon", "broken_png_entry.ico", icon_file([(16, 32, 0, png)]))
    put("icon", "broken_no_images.ico", struct.pack("<HHH", 0, 1, 0))
    put("icon", "broken_truncated.ico", icon_file([(16, 4, 16, sixteen)])[:200])
    # 64 KB whose 3000 entries share one 1-bit 255 x 255 image: 400 MB once decoded.
    mono = icon_image(255, 1, [0, 0xFFFFFF], lambda x, y: (x ^ y) & 1, lambda x, y: 0)
    put("icon", "broken_shared_image.ico", shared_icon_file(3000, 255, 1, mono))


def region(rects, hint=None, bounds=None, size=32, kind=1):
    if bounds is None:
        bounds = (min(r[0] for r in rects), min(r[1] for r in rects),
                  max(r[2] for r in rects), max(r[3] for r in rects)) if rects else (0, 0, 0, 0)
    hint = 16 * len(rects) if hint is None else hint
    out = struct.pack("<IIII", size, kind, len(rects), hint) + struct.pack("<4i", *bounds)
    return out + b"".join(struct.pack("<4i", *r) for r in rects)


def regions():
    mask = [(4, 0, 8, 1), (2, 1, 10, 3), (0, 3, 5, 6), (7, 3, 12, 6), (2, 6, 10, 8)]
    put("region", "mask.rgn", region(mask))
    put("region", "size_hint_zero.rgn", region(mask, hint=0))
    put("region", "overlapping_unbanded.rgn", region([(5, 5, 15, 15), (0, 0, 10, 10), (3, 12, 20, 13)]))
    put("region", "empty.rgn", region([]))
    put("region", "broken_header_size.rgn", region(mask, size=40))
    put("region", "broken_empty_rectangle.rgn", region([(0, 0, 4, 4), (6, 1, 6, 3)]))
    put("region", "broken_count.rgn", region(mask)[:-16])


if __name__ == "__main__":
    bitmaps()
    icons()
    regions()
