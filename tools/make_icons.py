#!/usr/bin/python3
"""Draws Korvalin's icons: 128 no keyboard, 141 keyboard attached, 142 busy.

Run from the repository root: python3 tools/make_icons.py
Needs python3-pil. The .ico files are committed; rerun only to change them.
"""
import struct

from PIL import Image, ImageDraw

LOOKS = {
    # name: (body, keys, accent or None)
    "disconnected": ((96, 96, 104), (150, 150, 158), None),
    "connected": ((24, 28, 36), (60, 200, 255), None),
    "busy": ((24, 28, 36), (60, 200, 255), (255, 150, 0)),
}


def draw(size, body, keys, accent):
    scale = 8
    s = size * scale
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    # keyboard body
    top, bottom = int(s * 0.28), int(s * 0.80)
    d.rounded_rectangle([int(s * 0.04), top, int(s * 0.96), bottom], radius=int(s * 0.10), fill=body)
    # three rows of keys and a space bar
    cols = 6
    kw = (s * 0.84) / cols
    for row in range(3):
        y0 = top + s * 0.06 + row * s * 0.13
        for c in range(cols - (1 if row == 2 else 0)):
            x0 = s * 0.08 + c * kw + (kw / 2 if row == 1 else 0)
            if x0 + kw * 0.8 > s * 0.93:
                continue
            d.rectangle([x0, y0, x0 + kw * 0.72, y0 + s * 0.09], fill=keys)
    d.rectangle([s * 0.25, bottom - s * 0.13, s * 0.75, bottom - s * 0.05], fill=keys)
    if accent:
        d.ellipse([s * 0.58, s * 0.02, s * 0.98, s * 0.42], fill=accent, outline=(255, 255, 255), width=scale)
    return img.resize((size, size), Image.LANCZOS)


def dib(img):
    """One icon image as a 32-bit DIB with its AND mask (what every loader reads)."""
    w, h = img.size
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    px = img.load()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
    row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(row)
        for x in range(w):
            if px[x, y][3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def write_ico(path, images):
    blobs = [dib(i) for i in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for img, blob in zip(images, blobs):
        w, h = img.size
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


def main():
    # 16 and 32 at 100 %; 20, 24, 40 and 64 for the small and large icons at
    # 125-200 %; 48 for the shell's large views.
    for name, (body, keys, accent) in LOOKS.items():
        write_ico(f"resources/icons/{name}.ico", [draw(n, body, keys, accent) for n in (16, 20, 24, 32, 40, 48, 64)])


if __name__ == "__main__":
    main()
