#!/usr/bin/python3
"""Paints Korvalin's skin pictures and writes its skin files.

Input: the layout JSON written by skingen_layout (every control's skin key,
id, rectangle and legend). Output, into resources/Skins: the backgrounds,
masks and face pictures of the three skinned dialogs, the lighting panel's
bitmaps, Main.ini, Composite.ini, Profile.ini and language.ini (UTF-16 LE
with a byte-order mark, which the profile-string reader of Windows and Wine
reads with its Chinese texts intact).

Faces are cut by the image buttons one pixel up and left of a control's
placement, so every face picture is the window's scene moved by (-1, -1).

Needs Debian's python3-pil, fonts-dejavu-core and fonts-droid-fallback.
"""

import json
import os
import re
import sys

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = "/usr/share/fonts/truetype"
SANS = os.path.join(FONT_DIR, "dejavu/DejaVuSans.ttf")
SANS_BOLD = os.path.join(FONT_DIR, "dejavu/DejaVuSans-Bold.ttf")
CJK = os.path.join(FONT_DIR, "droid/DroidSansFallbackFull.ttf")

_fonts = {}


def font(size, bold=False, cjk=False):
    path = CJK if cjk else (SANS_BOLD if bold else SANS)
    key = (path, size)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(path, size)
    return _fonts[key]


# ---- palette ----
WINDOW_TOP = (38, 42, 51)
WINDOW_BOTTOM = (20, 22, 27)
EDGE = (70, 76, 90)
PLATE = (16, 18, 22)
PLATE_EDGE = (58, 63, 74)
PANEL = (27, 30, 37)
PANEL_EDGE = (52, 57, 68)
TEXT = (228, 228, 228)
DIM_TEXT = (140, 146, 158)
CYAN = (32, 200, 232)
ORANGE = (255, 138, 31)
GREEN = (60, 220, 110)

CAP = {  # key caps: (side, top face, border, legend)
    "normal": ((30, 33, 40), (50, 55, 66), (70, 76, 90), (226, 229, 235)),
    "over": ((28, 48, 58), (52, 78, 92), CYAN, (255, 255, 255)),
    "down": ((16, 18, 22), (30, 40, 48), (24, 150, 176), (190, 220, 230)),
    "set": ((54, 36, 18), (82, 56, 30), ORANGE, (255, 190, 120)),
}
GCAP = {
    "normal": ((36, 30, 48), (60, 50, 82), (96, 84, 126), (226, 220, 245)),
    "over": ((28, 48, 58), (52, 78, 92), CYAN, (255, 255, 255)),
    "down": ((16, 18, 22), (30, 40, 48), (24, 150, 176), (190, 220, 230)),
    "set": ((54, 36, 18), (82, 56, 30), ORANGE, (255, 190, 120)),
}
BUTTON = {  # (fill top, fill bottom, border)
    "normal": ((62, 68, 82), (44, 48, 58), (84, 92, 108)),
    "over": ((56, 104, 124), (36, 72, 88), CYAN),
    "down": ((26, 52, 64), (22, 40, 50), (24, 150, 176)),
    "set": ((120, 72, 28), (86, 50, 18), ORANGE),
    "disable": ((44, 46, 52), (38, 40, 45), (58, 60, 66)),
    "grey": ((70, 70, 70), (58, 58, 58), (90, 90, 90)),
    # Apply while changes wait: it stands out from its neighbours.
    "lit": ((44, 132, 82), (28, 92, 56), GREEN),
}

# The Apply button of the main window and the editor: lit while changes wait
# (enabled), dimmed while nothing does (disabled).
APPLY_KEY = "CONTROL2_APPLY"


def gradient(img, box, top, bottom):
    x0, y0, x1, y1 = box
    d = ImageDraw.Draw(img)
    h = max(1, y1 - y0)
    for y in range(y0, y1):
        t = (y - y0) / h
        c = tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
        d.line([(x0, y), (x1 - 1, y)], fill=c)


def rounded_gradient(img, box, radius, top, bottom, outline=None, width=1):
    x0, y0, x1, y1 = box
    layer = Image.new("RGB", (x1 - x0, y1 - y0))
    gradient(layer, (0, 0, x1 - x0, y1 - y0), top, bottom)
    mask = Image.new("L", layer.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, layer.size[0] - 1, layer.size[1] - 1], radius, fill=255)
    img.paste(layer, (x0, y0), mask)
    if outline:
        ImageDraw.Draw(img).rounded_rectangle([x0, y0, x1 - 1, y1 - 1], radius, outline=outline, width=width)


def runs(text):
    """Splits a text into runs of CJK and of other characters."""
    out = []
    for ch in text:
        cjk = ord(ch) > 0x2E80
        if out and out[-1][0] == cjk:
            out[-1][1] += ch
        else:
            out.append([cjk, ch])
    return out


def mixed_extent(d, text, fnt):
    size = fnt.size
    bold = fnt.path == SANS_BOLD
    width, top, bottom = 0, 0, 0
    for cjk, part in runs(text):
        f = font(size, bold, cjk)
        l, t, r, b = d.textbbox((0, 0), part, font=f)
        width += r
        top, bottom = min(top, t), max(bottom, b)
    return width, top, bottom


def text_center(d, box, text, fnt, fill):
    """Centres a text in a box; CJK characters come from the CJK font."""
    if not text:
        return
    x0, y0, x1, y1 = box
    width, top, bottom = mixed_extent(d, text, fnt)
    x = x0 + (x1 - x0 - width) / 2
    y = y0 + (y1 - y0 - (bottom - top)) / 2 - top
    bold = fnt.path == SANS_BOLD
    for cjk, part in runs(text):
        f = font(fnt.size, bold, cjk)
        d.text((x, y), part, font=f, fill=fill)
        x += d.textbbox((0, 0), part, font=f)[2]


def has_cjk(text):
    return any(ord(ch) > 0x2E80 for ch in text)


def fitting_font(d, text, width, sizes, bold=True):
    for s in sizes:
        f = font(s, bold)
        if mixed_extent(d, text, f)[0] <= width:
            return f
    return font(sizes[-1], bold)


# ---- controls ----

def draw_cap(img, c, state, palette):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    side, top, border, legend = palette[state]
    inset = 1 if state == "down" else 0
    d.rounded_rectangle([x, y, x + w - 1, y + h - 1], 6, fill=side, outline=border, width=1)
    face = [x + 3 + inset, y + 2 + inset, x + w - 4 + inset, y + h - 6 + inset]
    rounded_gradient(img, (face[0], face[1], face[2], face[3]), 4,
                     tuple(min(255, v + 12) for v in top), top)
    if state == "set":
        d.rectangle([x + 5, y + h - 5, x + w - 6, y + h - 3], fill=ORANGE)
        d.ellipse([x + w - 11, y + 5, x + w - 6, y + 10], fill=ORANGE)
    if state == "over":
        d.rounded_rectangle([x, y, x + w - 1, y + h - 1], 6, outline=CYAN, width=2)
    main, sub = c["legend"], c["sub"]
    fx0, fy0, fx1, fy1 = face
    if sub:
        text_center(d, (fx0, fy0 + 1, fx1, fy0 + (fy1 - fy0) * 0.55), main,
                    fitting_font(d, main, fx1 - fx0 - 4, [14, 12, 10]), legend)
        text_center(d, (fx0, fy0 + (fy1 - fy0) * 0.5, fx1, fy1 - 1), sub,
                    fitting_font(d, sub, fx1 - fx0 - 4, [9, 8], bold=False), legend)
    elif main:
        sizes = [16, 14] if len(main) <= 2 else [12, 11, 10, 9]
        text_center(d, (fx0, fy0, fx1, fy1), main, fitting_font(d, main, fx1 - fx0 - 6, sizes), legend)


def draw_button(img, c, state, radius=6, legend="", sub=""):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    top, bottom, border = BUTTON[state]
    rounded_gradient(img, (x, y, x + w, y + h), radius, top, bottom, outline=border,
                     width=2 if state in ("over", "set", "lit") else 1)
    colour = TEXT if state not in ("disable", "grey") else (120, 122, 128)
    if legend and sub:
        text_center(d, (x, y + 2, x + w, y + h * 0.62), legend, fitting_font(d, legend, w - 6, [13, 12, 11]), colour)
        text_center(d, (x, y + h * 0.55, x + w, y + h - 3), sub, font(10), colour)
    elif legend:
        text_center(d, (x, y, x + w, y + h), legend, fitting_font(d, legend, w - 6, [13, 12, 11]), colour)


def draw_tool(img, c, state):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    fill = {"normal": None, "set": None, "disable": None, "over": (60, 66, 80), "down": (24, 28, 34)}[state]
    if c["legend"] == "close" and state == "over":
        fill = (200, 50, 50)
    if fill:
        d.rounded_rectangle([x, y, x + w - 1, y + h - 1], 6, fill=fill)
    col = (255, 255, 255) if state == "over" else TEXT
    cx, cy = x + w // 2 + (1 if state == "down" else 0), y + h // 2 + (1 if state == "down" else 0)
    kind = c["legend"]
    if kind == "help":
        d.ellipse([cx - 9, cy - 9, cx + 9, cy + 9], outline=col, width=2)
        text_center(d, (cx - 9, cy - 10, cx + 9, cy + 9), "?", font(13, True), col)
    elif kind == "minimize":
        d.line([cx - 8, cy + 5, cx + 8, cy + 5], fill=col, width=3)
    elif kind == "menu":
        for dy in (-6, 0, 6):
            d.line([cx - 8, cy + dy, cx + 8, cy + dy], fill=col, width=2)
    elif kind == "close":
        d.line([cx - 7, cy - 7, cx + 7, cy + 7], fill=col, width=3)
        d.line([cx - 7, cy + 7, cx + 7, cy - 7], fill=col, width=3)
    elif kind == "keyboard":
        d.rounded_rectangle([cx - 13, cy - 8, cx + 13, cy + 8], 3, outline=col, width=2)
        for i in range(5):
            d.rectangle([cx - 10 + i * 5, cy - 4, cx - 8 + i * 5, cy - 2], fill=col)
        d.rectangle([cx - 7, cy + 2, cx + 7, cy + 4], fill=col)


def draw_indicator(img, c, lit):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    led = GREEN if lit else (38, 60, 44)
    d.ellipse([x + w // 2 - 5, y + 3, x + w // 2 + 5, y + 13], fill=led, outline=(20, 30, 24))
    text_center(d, (x, y + 15, x + w, y + h), c["legend"], font(9), DIM_TEXT if not lit else TEXT)


def draw_bank(img, c, bank_b):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    for i, name in enumerate((c["legend"], c["sub"])):
        lit = (i == 1) == bank_b
        bx = x + 2 + i * (w // 2)
        d.ellipse([bx + 4, y + 3, bx + 14, y + 13], fill=CYAN if lit else (30, 52, 60))
        text_center(d, (bx, y + 15, bx + w // 2 - 4, y + h), name, font(10, True), TEXT if lit else DIM_TEXT)


def draw_flip_panel(img, c, on):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    d.rounded_rectangle([x, y, x + w - 1, y + h - 1], 8, fill=(22, 25, 31), outline=ORANGE if on else PANEL_EDGE)


def draw_page(img, c, page, grey):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    tint = {"key": (30, 44, 54), "macro": (30, 48, 44), "media": (44, 34, 54), "function": (50, 42, 30)}[page]
    if grey:
        tint = (40, 40, 40)
    rounded_gradient(img, (x, y, x + w, y + h), 10, tuple(v + 8 for v in tint), tint, outline=PANEL_EDGE)
    mark = (tuple(v + 14 for v in tint))
    cx, cy = x + w - 70, y + h - 60
    if page == "key":
        for r in range(3):
            for k in range(5):
                d.rounded_rectangle([cx - 50 + k * 22, cy - 22 + r * 22, cx - 32 + k * 22, cy - 6 + r * 22], 3,
                                    outline=mark, width=2)
    elif page == "macro":
        for r in range(4):
            d.line([cx - 50, cy - 24 + r * 14, cx + 50, cy - 24 + r * 14], fill=mark, width=4)
    elif page == "media":
        d.ellipse([cx - 40, cy + 4, cx - 16, cy + 24], fill=mark)
        d.rectangle([cx - 20, cy - 40, cx - 16, cy + 14], fill=mark)
        d.polygon([(cx - 16, cy - 40), (cx + 20, cy - 30), (cx - 16, cy - 20)], fill=mark)
    else:
        d.ellipse([cx - 30, cy - 30, cx + 30, cy + 30], outline=mark, width=8)
        d.ellipse([cx - 8, cy - 8, cx + 8, cy + 8], fill=mark)


def draw_title(img, c, grey):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    col = (120, 120, 120) if grey else CYAN
    d.rounded_rectangle([x + 2, y + 5, x + 30, y + h - 5], 4, outline=col, width=2)
    d.rectangle([x + 8, y + 11, x + 12, y + 14], fill=col)
    d.rectangle([x + 18, y + 11, x + 22, y + 14], fill=col)
    d.rectangle([x + 8, y + 18, x + 24, y + 20], fill=col)
    d.text((x + 40, y + 5), "KORVALIN", font=font(17, True), fill=TEXT if not grey else (130, 130, 130))


def draw_field(img, c, state):
    d = ImageDraw.Draw(img)
    x, y, w, h = c["x"], c["y"], c["w"], c["h"]
    border = {"normal": PANEL_EDGE, "disable": PANEL_EDGE, "over": CYAN, "down": (24, 150, 176), "set": ORANGE}[state]
    # No drop-down arrow: the profiles button opens the profile manager, not a menu.
    d.rounded_rectangle([x, y, x + w - 1, y + h - 1], 6, fill=(14, 16, 20), outline=border, width=1)


def draw_flip_button(img, c, state):
    draw_button(img, c, state, radius=5, legend=c["legend"])


def draw_control(img, c, state, dialog, page="key", grey=False):
    kind = c["kind"]
    if kind == "key" or kind == "fn":
        draw_cap(img, c, state, CAP)
    elif kind == "gkey":
        draw_cap(img, c, state, GCAP)
    elif kind == "tool":
        draw_tool(img, c, state)
    elif kind == "tab":
        draw_button(img, c, "grey" if grey else state, radius=8)
    elif kind == "button":
        if c["key"] == APPLY_KEY and not grey and state == "normal":
            state = "lit"
        draw_button(img, c, "grey" if grey else state)
    elif kind == "macro":
        if page != "macro":
            return  # shown on the macro page only
        draw_button(img, c, "disable" if state == "disable" else state, radius=5, legend=c["legend"])
    elif kind == "report":
        draw_button(img, c, state, radius=6, legend=c["legend"], sub=c["sub"])
    elif kind == "labelled":
        draw_button(img, c, state, radius=6, legend=c["legend"], sub=c["sub"])
    elif kind == "field":
        draw_field(img, c, state)
    elif kind == "indicator":
        draw_indicator(img, c, state in ("down", "set", "over"))
    elif kind == "bank":
        draw_bank(img, c, state in ("down", "set", "over"))
    elif kind == "panel":
        draw_flip_panel(img, c, state == "set")
    elif kind == "flip":
        draw_flip_button(img, c, state)
    elif kind == "page":
        draw_page(img, c, page, grey)
    elif kind == "title":
        draw_title(img, c, grey)
    # labels, lists, combo boxes, edits, pictures, links, arrows and hidden
    # controls draw themselves over the background.


# ---- windows ----

def window_base(layout, title_words):
    w, h = layout["width"], layout["height"]
    img = Image.new("RGB", (w, h), (255, 255, 255))
    rounded_gradient(img, (0, 0, w, h), 18, WINDOW_TOP, WINDOW_BOTTOM, outline=EDGE)
    d = ImageDraw.Draw(img)
    d.line([(18, 52), (w - 18, 52)], fill=(52, 57, 68))
    if title_words:
        d.text((28, 14), title_words[0], font=font(22, True), fill=TEXT)
        if len(title_words) > 1:
            w1 = mixed_extent(d, title_words[1], font(11))[0]
            text_center(d, (180, 18, 180 + w1, 36), title_words[1], font(11), DIM_TEXT)
    return img


def mask_of(layout):
    w, h = layout["width"], layout["height"]
    m = Image.new("RGB", (w, h), (255, 255, 255))
    ImageDraw.Draw(m).rounded_rectangle([0, 0, w - 1, h - 1], 18, fill=(0, 0, 0))
    return m


def main_base(layout):
    img = window_base(layout, ["KORVALIN", "GAMING KEYBOARD"])
    d = ImageDraw.Draw(img)
    # keyboard plate
    d.rounded_rectangle([24, 114, layout["width"] - 25, 432], 14, fill=PLATE, outline=PLATE_EDGE, width=2)
    # lighting and settings panel
    rounded_gradient(img, (24, 448, layout["width"] - 24, 620), 12, (34, 38, 46), PANEL, outline=PANEL_EDGE)
    d.line([(110, 462), (110, 606)], fill=PANEL_EDGE)
    d.line([(836, 462), (836, 606)], fill=PANEL_EDGE)
    flip = next(c for c in layout["controls"] if c["key"] == "FLIP_0")
    text_center(d, (flip["x"], flip["y"] + flip["h"] + 2, flip["x"] + flip["w"], flip["y"] + flip["h"] + 16),
                flip["legend"] + "  ⇄  " + flip["sub"], font(9), DIM_TEXT)
    return img


def scene(layout, base, state, skip=(), **kw):
    img = base.copy()
    for c in layout["controls"]:
        if c["key"] in skip:
            continue
        draw_control(img, c, state, layout, **kw)
    return img


def as_face(img, fill):
    """The scene moved by (-1, -1): face pixel (x - 1, y - 1) shows scene pixel (x, y)."""
    out = Image.new("RGB", img.size, fill)
    out.paste(img, (-1, -1))
    return out


def save_jpeg(img, path):
    img.save(path, "JPEG", quality=95, subsampling=0)


def save_bmp(img, path):
    img.convert("RGB").save(path, "BMP")


def save_mask(img, path):
    # One bit a pixel: pure black and pure white, and small.
    img.convert("L").point(lambda v: 255 if v >= 128 else 0).convert("1").save(path, "BMP")


# ---- lighting panel bitmaps ----

def slider_picture(pos, accent):
    w, h = 122, 22
    img = Image.new("RGB", (w, h), PANEL)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([6, 8, w - 7, 13], 3, fill=(14, 16, 20), outline=PANEL_EDGE)
    kx = 6 + int((w - 13) * pos / 4)
    d.rounded_rectangle([6, 8, kx, 13], 3, fill=accent)
    for i in range(5):
        tx = 6 + int((w - 13) * i / 4)
        d.line([(tx, 16), (tx, 19)], fill=DIM_TEXT)
    d.ellipse([kx - 7, 3, kx + 7, 17], fill=(235, 238, 242), outline=accent, width=2)
    return img


def progress_picture(frame):
    w, h = 150, 14
    img = Image.new("RGB", (w, h), PANEL)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([0, 2, w - 1, h - 3], 4, fill=(14, 16, 20), outline=PANEL_EDGE)
    for i in range(10):
        x0 = 4 + i * 14
        lit = (i - frame) % 10 < 3
        col = CYAN if lit else (30, 60, 70)
        d.rectangle([x0, 5, x0 + 10, h - 6], fill=col)
    return img


def lamp_picture(on):
    img = Image.new("RGB", (48, 48), PANEL)
    d = ImageDraw.Draw(img)
    if on:
        for r, a in ((22, 40), (18, 70)):
            d.ellipse([24 - r, 20 - r, 24 + r, 20 + r], fill=tuple(int(PANEL[i] + (ORANGE[i] - PANEL[i]) * a / 255)
                                                                 for i in range(3)))
    bulb = (255, 214, 120) if on else (90, 94, 104)
    d.ellipse([12, 6, 36, 30], fill=bulb, outline=(40, 40, 40) if not on else (255, 240, 200))
    d.rectangle([18, 28, 30, 38], fill=(150, 154, 162))
    d.line([(18, 32), (30, 32)], fill=(90, 94, 100))
    d.line([(18, 35), (30, 35)], fill=(90, 94, 100))
    d.rectangle([20, 38, 28, 42], fill=(110, 114, 122))
    return img


def tool_picture(kind, selected):
    img = Image.new("RGB", (40, 28), PANEL)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([0, 0, 39, 27], 6, fill=(56, 104, 124) if selected else (44, 48, 58),
                        outline=CYAN if selected else PANEL_EDGE, width=2 if selected else 1)
    col = (255, 255, 255) if selected else TEXT
    if kind == "paint":
        d.line([(12, 20), (26, 6)], fill=col, width=4)
        d.polygon([(9, 23), (12, 17), (15, 20)], fill=ORANGE)
    else:
        d.polygon([(10, 18), (20, 8), (30, 16), (20, 24)], fill=col)
        d.polygon([(10, 18), (15, 13), (23, 21), (20, 24)], fill=(230, 90, 110))
    return img


def square_picture(selected):
    img = Image.new("RGB", (28, 24), PANEL)
    d = ImageDraw.Draw(img)
    if selected:
        d.rounded_rectangle([1, 1, 26, 22], 5, fill=(26, 52, 64), outline=CYAN, width=2)
        d.rounded_rectangle([8, 7, 19, 16], 2, fill=CYAN)
    else:
        d.rounded_rectangle([1, 1, 26, 22], 5, fill=(52, 57, 68), outline=(84, 92, 108))
        d.rounded_rectangle([8, 7, 19, 16], 2, outline=TEXT, width=2)
    return img


def swatch_picture(colour, chosen):
    img = Image.new("RGB", (24, 24), PANEL)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([2, 2, 21, 21], 5, fill=colour, outline=(255, 255, 255) if chosen else (20, 20, 20),
                        width=2)
    if chosen:
        d.line([(7, 12), (11, 16), (17, 8)], fill=(255, 255, 255), width=2)
    return img


def direction_picture(kind, selected):
    """The direction choices (28x24): arrows left and right for the moving
    effects, out from and into the middle for spread and gather."""
    img = square_frame(selected)
    d = ImageDraw.Draw(img)
    col = CYAN if selected else TEXT
    y = 12
    def head(x, dx):
        d.polygon([(x, y), (x - dx * 5, y - 5), (x - dx * 5, y + 5)], fill=col)
    if kind == "left":
        d.line([(10, y), (21, y)], fill=col, width=2)
        head(6, -1)
    elif kind == "right":
        d.line([(6, y), (17, y)], fill=col, width=2)
        head(21, 1)
    elif kind == "spread":
        d.line([(9, y), (18, y)], fill=col, width=2)
        head(5, -1)
        head(22, 1)
    else:  # gather
        d.line([(3, y), (9, y)], fill=col, width=2)
        d.line([(18, y), (24, y)], fill=col, width=2)
        head(13, 1)
        head(14, -1)
    return img


def square_frame(selected):
    img = Image.new("RGB", (28, 24), PANEL)
    d = ImageDraw.Draw(img)
    if selected:
        d.rounded_rectangle([1, 1, 26, 22], 5, fill=(26, 52, 64), outline=CYAN, width=2)
    else:
        d.rounded_rectangle([1, 1, 26, 22], 5, fill=(52, 57, 68), outline=(84, 92, 108))
    return img


def arrow_picture(main_layout, base):
    """Arrow.jpg: four 16×20 frames at (2,2), (22,2), (42,2), (62,2): up-left,
    down-left, up-right, down-right, on the colour of the Flip panel."""
    img = Image.new("RGB", (84, 26), (22, 25, 31))
    d = ImageDraw.Draw(img)
    for i, (up, col) in enumerate(((True, ORANGE), (False, DIM_TEXT), (True, ORANGE), (False, DIM_TEXT))):
        x0 = 2 + i * 20
        cx = x0 + 8
        if up:
            d.polygon([(cx, 4), (cx + 6, 12), (cx + 2, 12), (cx + 2, 19), (cx - 2, 19), (cx - 2, 12),
                       (cx - 6, 12)], fill=col)
        else:
            d.polygon([(cx, 19), (cx + 6, 11), (cx + 2, 11), (cx + 2, 4), (cx - 2, 4), (cx - 2, 11),
                       (cx - 6, 11)], fill=col)
    return img


def colour_scene(layout, base, lit):
    """Keys as the per-key lighting preview shows them: lit white or dark."""
    img = scene(layout, base, "normal")
    d = ImageDraw.Draw(img)
    for c in layout["controls"]:
        if c["kind"] in ("key", "gkey", "fn"):
            x, y, w, h = c["x"], c["y"], c["w"], c["h"]
            col = (235, 240, 245) if lit else (8, 8, 10)
            d.rounded_rectangle([x + 3, y + 2, x + w - 4, y + h - 6], 4, fill=col)
            text_center(d, (x, y, x + w, y + h - 4), c["legend"], fitting_font(d, c["legend"], w - 8, [12, 10, 9]),
                        (40, 40, 40) if lit else (90, 90, 90))
    return img


# ---- INI files ----

def project_version():
    """The one version number, set in the top-level CMakeLists.txt; the
    version label's texts carry it as @KORVALIN_VERSION@."""
    with open(os.path.join(HERE, "..", "..", "CMakeLists.txt"), encoding="utf-8") as f:
        m = re.search(r"project\(\s*Korvalin\s+VERSION\s+([0-9.]+)", f.read())
    if not m:
        sys.exit("CMakeLists.txt: no project(Korvalin VERSION ...)")
    return m.group(1)


def read_source(name):
    with open(os.path.join(HERE, "texts", name), encoding="utf-8") as f:
        lines = [l.rstrip("\n").rstrip("\r").replace("@KORVALIN_VERSION@", project_version()) for l in f]
    return [l for l in lines if not l.startswith(";")]


def keep_blanks(line):
    """The profile-string reader strips blanks around a value unless it is
    quoted: a text that starts or ends with a blank is written in quotes."""
    if line.startswith(("[", ";")) or "=" not in line:
        return line
    key, value = line.split("=", 1)
    if value and value != value.strip() and not (value.startswith('"') and value.endswith('"')):
        return key + '="' + value + '"'
    return line


def write_utf16(path, lines):
    text = "\r\n".join(lines).rstrip("\r\n") + "\r\n"
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))


def placement_lines(layout):
    out = ["[BUTTONINFO]"]
    out += ["%s=%d,%d,%d,%d" % (c["key"], c["x"], c["y"], c["w"], c["h"]) for c in layout["controls"]]
    if layout["origins"]:
        out.append("[BUTTONINFO2]")
        out += ["%s=%d,%d,%d,%d" % (o["key"], o["x"], o["y"], o["w"], o["h"]) for o in layout["origins"]]
    return out


def write_skin_file(path, background, mask, layout, extra_screen=(), extra=()):
    lines = ["[SCREEN]", "Main=" + background, "Mask=" + mask] + list(extra_screen) + [""]
    lines += placement_lines(layout) + [""] + list(extra)
    write_utf16(path, lines)


def split_sections(lines):
    """Source lines -> (SCREEN entries, the other lines)."""
    screen, rest, section = [], [], None
    for l in lines:
        if l.startswith("[") and l.endswith("]"):
            section = l[1:-1]
            if section == "SCREEN":
                continue
        if section == "SCREEN":
            if l.strip():
                screen.append(l)
        else:
            rest.append(l)
    return screen, rest


# ---- everything ----

def paint(layout_path, out):
    with open(layout_path, encoding="utf-8") as f:
        layouts = json.load(f)
    os.makedirs(out, exist_ok=True)

    # Main window.
    main = layouts["main"]
    base = main_base(main)
    save_jpeg(scene(main, base, "normal"), os.path.join(out, "main_bg.jpg"))
    save_mask(mask_of(main), os.path.join(out, "main_mask.bmp"))
    for name, state in (("main_normal", "normal"), ("main_over", "over"), ("main_down", "down"),
                        ("main_disable", "set")):
        save_jpeg(as_face(scene(main, base, state), WINDOW_BOTTOM), os.path.join(out, name + ".jpg"))
    # The dimmed face of Apply (disabled: nothing waits), over the normal scene.
    dim = scene(main, base, "normal")
    draw_button(dim, next(c for c in main["controls"] if c["key"] == APPLY_KEY), "disable")
    save_jpeg(as_face(dim, WINDOW_BOTTOM), os.path.join(out, "main_dim.jpg"))
    save_jpeg(as_face(colour_scene(main, base, False), WINDOW_BOTTOM), os.path.join(out, "main_color0.jpg"))
    save_jpeg(as_face(colour_scene(main, base, True), WINDOW_BOTTOM), os.path.join(out, "main_color1.jpg"))
    save_jpeg(arrow_picture(main, base), os.path.join(out, "Arrow.jpg"))

    # Lighting panel bitmaps.
    for p in range(5):
        save_bmp(slider_picture(p, (255, 200, 60)), os.path.join(out, "%d.bmp" % p))
        save_bmp(slider_picture(p, CYAN), os.path.join(out, "%d.bmp" % (5 + p)))
    for i in range(10):
        save_bmp(progress_picture(i), os.path.join(out, "jdt%d.bmp" % (i + 1)))
    save_bmp(lamp_picture(False), os.path.join(out, "dengup.bmp"))
    save_bmp(lamp_picture(True), os.path.join(out, "dengdown.bmp"))
    save_bmp(tool_picture("paint", False), os.path.join(out, "user1up.bmp"))
    save_bmp(tool_picture("paint", True), os.path.join(out, "user1down.bmp"))
    save_bmp(tool_picture("erase", False), os.path.join(out, "user2up.bmp"))
    save_bmp(tool_picture("erase", True), os.path.join(out, "user2down.bmp"))
    save_bmp(square_picture(False), os.path.join(out, "sjsup.bmp"))
    save_bmp(square_picture(True), os.path.join(out, "sjsdown.bmp"))
    for kind in ("left", "right", "spread", "gather"):
        save_bmp(direction_picture(kind, False), os.path.join(out, "fx%s.bmp" % kind))
        save_bmp(direction_picture(kind, True), os.path.join(out, "fx%sok.bmp" % kind))
    for name, colour in (("hong", (230, 40, 40)), ("huang", (240, 210, 40)), ("lv", (40, 200, 80)),
                         ("lan", (40, 100, 240))):
        save_bmp(swatch_picture(colour, False), os.path.join(out, name + ".bmp"))
        save_bmp(swatch_picture(colour, True), os.path.join(out, name + "ok.bmp"))

    screen, rest = split_sections(read_source("main.ini"))
    write_skin_file(os.path.join(out, "Main.ini"), "main_bg.jpg", "main_mask.bmp", main, screen, rest)

    # Composite editor: five image sets, one per page look.
    comp = layouts["composite"]
    cbase = window_base(comp, [])
    save_jpeg(scene(comp, cbase, "normal"), os.path.join(out, "composite_bg.jpg"))
    save_mask(mask_of(comp), os.path.join(out, "composite_mask.bmp"))
    # The key set's disabled picture gives the editor's Apply its dimmed face.
    sets = (("key", "key", False, ("normal", "over", "down", "disable")),
            ("macro", "macro", False, ("normal", "over", "down", "disable")),
            ("macro2", "macro", True, ("normal", "over", "down", "disable")),
            ("media", "media", False, ("normal", "over", "down")),
            ("function", "function", False, ("normal", "over", "down")))
    for name, page, grey, states in sets:
        for state in states:
            img = scene(comp, cbase, state, page=page, grey=grey)
            save_jpeg(as_face(img, WINDOW_BOTTOM), os.path.join(out, "%s_%s.jpg" % (name, state)))
    write_skin_file(os.path.join(out, "Composite.ini"), "composite_bg.jpg", "composite_mask.bmp", comp)

    # Profile manager.
    prof = layouts["profile"]
    pbase = window_base(prof, ["KORVALIN", "Profiles \u00b7 \u914d\u7f6e\u6587\u4ef6"])
    d = ImageDraw.Draw(pbase)
    d.rounded_rectangle([14, 50, prof["width"] - 15, 310], 10, fill=PANEL, outline=PANEL_EDGE)
    save_jpeg(scene(prof, pbase, "normal"), os.path.join(out, "profile_bg.jpg"))
    save_mask(mask_of(prof), os.path.join(out, "profile_mask.bmp"))
    # The disabled face (greyed legends) for the manager's Apply while nothing waits to be applied.
    for name, state in (("Profile_normal", "normal"), ("Profile_over", "over"), ("Profile_down", "down"),
                        ("Profile_disable", "disable")):
        save_jpeg(as_face(scene(prof, pbase, state), WINDOW_BOTTOM), os.path.join(out, name + ".jpg"))
    write_skin_file(os.path.join(out, "Profile.ini"), "profile_bg.jpg", "profile_mask.bmp", prof)

    write_utf16(os.path.join(out, "language.ini"), [keep_blanks(l) for l in read_source("language.ini")])


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: paint.py layout.json resources/Skins")
    paint(sys.argv[1], sys.argv[2])
