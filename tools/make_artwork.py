#!/usr/bin/python3
# Draws the updater's artwork: the interface sprite sheet, the six per-language button sheets,
# the window background and the map picture. Run: make_artwork.py [OUT_DIR] (default: resources/).
#
# Sheet positions below are texels counted from the picture's bottom-left corner, as the program
# addresses them (its PNG reader stores the bottom row first); the interface colour samples are
# counted from the top-left corner. The output is byte-for-byte reproducible: fixed encoder
# settings, no time or text chunks, and a gAMA chunk of 1/2.5 so the program's gamma-corrected
# reading keeps every byte as written.
import io
import os
import struct
import sys
import zlib

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.join(HERE, "..", "resources")
BOLD_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
SS = 4  # supersampling factor for shapes

# ---- Palette: the sampled interface colours and a few tints between them ----
NAVY = (23, 40, 60)        # colours 45 and 50
SLATE = (68, 85, 105)      # 43, the backdrop
INK = (49, 57, 71)         # 52, titles and labels
INK2 = (55, 60, 69)        # 54
INK3 = (51, 59, 71)        # 55
GREY = (97, 97, 92)        # 44
MIDGREY = (142, 143, 139)  # 46
BLUEGREY = (112, 118, 128)  # 51
LIGHT = (226, 226, 226)    # 53
PAPER = (241, 241, 241)    # 49
WHITE = (255, 255, 255)    # 47
MINT = (144, 226, 187)     # 56, the accent
MINT_DARK = (58, 158, 118)
MINT_DEEP = (31, 120, 88)
EDGE = (200, 204, 210)     # card borders on light grounds
NAVY_EDGE = (40, 60, 84)

# ---- What the program reads from the interface sheet ----
# Colour samples: (x, y) from the top-left corner and the exact value.
SAMPLES = [
    ((319, 356), (68, 85, 105)), ((319, 364), (97, 97, 92)), ((319, 372), (23, 40, 60)),
    ((319, 380), (142, 143, 139)), ((319, 388), (255, 255, 255)), ((319, 396), (241, 241, 241)),
    ((319, 404), (23, 40, 60)), ((319, 412), (112, 118, 128)), ((319, 420), (49, 57, 71)),
    ((319, 428), (55, 60, 69)), ((319, 436), (51, 59, 71)), ((319, 444), (144, 226, 187)),
    ((395, 396), (226, 226, 226)),
]
SAMPLE_GROUND = (160, 160, 160)  # the pixels around each sample: a colour no sample has
SAMPLE_REACH = 4                 # ground reaches this far around a sample

# Bars: style -> (cap, source width, height, u, v).
BARS = {
    0: (10, 100, 26, 1, 487), 1: (20, 100, 26, 102, 487), 2: (10, 52, 26, 304, 486),
    3: (10, 52, 26, 304, 459), 4: (10, 28, 16, 112, 161), 5: (10, 28, 16, 83, 161),
    7: (10, 65, 24, 240, 242), 8: (7, 16, 16, 289, 219), 9: (10, 51, 26, 262, 133),
    10: (26, 68, 24, 357, 488),
}
# Boxes: style -> (u, v, tile, side, bottom, top).
BOXES = {
    14: (1, 358, 100, 35, 30, 30), 15: (102, 358, 100, 35, 30, 30), 16: (203, 358, 100, 35, 30, 30),
    17: (304, 358, 100, 35, 30, 30), 18: (405, 358, 100, 35, 30, 30), 19: (1, 289, 68, 23.8, 20.4, 20.4),
    20: (70, 315, 42, 20, 26, 14), 21: (113, 315, 42, 14.7, 12.6, 12.6), 22: (440, 12, 44, 15.4, 13.2, 13.2),
}
# 18 x 18 sprites: name -> centre (u, v).
SPRITES = {
    "check": (148, 187), "check_mark": (148, 206), "radio": (92, 132), "radio_mark": (92, 151),
    "corner": (129, 187), "corner_pressed": (129, 206),
}

# ---- What the program reads from the button sheets ----
LANGUAGES = ["English", "French", "German", "Russian", "Italian", "Spanish"]
# Column where picture i starts, per language (picture i runs to row i + 1).
ELEMENTS_U = [
    [0, 0, 0, 0, 0, 0], [56, 91, 96, 75, 54, 60], [145, 172, 181, 144, 212, 156],
    [246, 284, 256, 211, 312, 269], [357, 477, 422, 346, 480, 421], [489, 695, 611, 422, 673, 606],
    [605, 874, 762, 501, 840, 789], [691, 958, 859, 616, 921, 892],
]
PICTURES = {0: "Quit", 1: "Back", 2: "Next", 6: "Preferences"}
BANDS = {"normal": 46, "hover": 0, "held": 23}  # lowest pixel row; each band is 22 rows
BAND_H = 22
WORD_MARGIN = 3
# Bar styles on the button sheet: style -> (u, cap, width); 31 texels at half the sheet's
# vertical resolution, from row 96 up to the middle of row 111.
ELEMENT_BARS = {11: 926, 12: 975, 13: 877}
ELEMENT_BAR_W = 48
ELEMENT_BAR_V = 96
ELEMENT_BAR_H = 31  # drawn units
PANEL_BOX = (982, 2, 41)  # box style 23: u, v, tile
# Languages without a translation table of their own carry their words here.
CARRIED_WORDS = {
    "Italian": {"Quit": "Esci", "Back": "Indietro", "Next": "Avanti", "Preferences": "Preferenze"},
    "Spanish": {"Quit": "Salir", "Back": "Atrás", "Next": "Siguiente", "Preferences": "Preferencias"},
}


# ---- PNG output ----
def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_bytes(img):
    """Encodes with fixed settings and rebuilds the file as IHDR, gAMA 1/2.5, IDAT, IEND."""
    buf = io.BytesIO()
    img.save(buf, "PNG", compress_level=9, optimize=False)
    data = buf.getvalue()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, ihdr, idat = 8, None, b""
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            ihdr = body
        elif kind == b"IDAT":
            idat += body
    # One IDAT, recompressed at a fixed level, so the layout never depends on the encoder's buffers.
    idat = zlib.compress(zlib.decompress(idat), 9)
    return (data[:8] + png_chunk(b"IHDR", ihdr) + png_chunk(b"gAMA", struct.pack(">I", 40000))
            + png_chunk(b"IDAT", idat) + png_chunk(b"IEND", b""))


def write_png(out_dir, name, img):
    with open(os.path.join(out_dir, name), "wb") as f:
        f.write(png_bytes(img))


# ---- Drawing helpers ----
def rgba(c, a=255):
    return (c[0], c[1], c[2], a)


def canvas(w, h):
    return Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))


def shrink(img, w, h):
    """Supersampled canvas to w x h with coverage averaged on premultiplied colour."""
    return img.convert("RGBa").resize((w, h), Image.BOX).convert("RGBA")


def rrect(img, box, radius, colour, alpha=255):
    """A rounded rectangle on its own layer, composited over img; box in units (x0, y0, x1, y1)."""
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    x0, y0, x1, y1 = (round(c * SS) for c in box)
    ImageDraw.Draw(layer).rounded_rectangle((x0, y0, x1 - 1, y1 - 1), radius=round(radius * SS),
                                            fill=rgba(colour, alpha))
    img.alpha_composite(layer)


def card(img, box, radius, fill, border=None, border_w=1.0):
    if border is not None:
        rrect(img, box, radius, border)
        x0, y0, x1, y1 = box
        box = (x0 + border_w, y0 + border_w, x1 - border_w, y1 - border_w)
        radius = max(radius - border_w, 0)
    rrect(img, box, radius, fill)


def shadow(img, box, radius, steps=4, alpha=28, dy=2.0):
    """A soft drop shadow: rings of falling opacity below the card's place."""
    x0, y0, x1, y1 = box
    for i in range(steps, 0, -1):
        rrect(img, (x0 - i * 0.5, y0 + dy - i * 0.25, x1 + i * 0.5, y1 + dy + i * 0.5), radius + i * 0.5,
              NAVY, alpha // steps)


def band(img, box, radius, colour, band_bottom, border=None):
    """Fills the top of a rounded card down to band_bottom (units) with colour."""
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    x0, y0, x1, y1 = (round(c * SS) for c in box)
    d = ImageDraw.Draw(layer)
    d.rounded_rectangle((x0, y0, x1 - 1, y1 - 1), radius=round(radius * SS), fill=rgba(colour))
    d.rectangle((0, round(band_bottom * SS), layer.size[0], layer.size[1]), fill=(0, 0, 0, 0))
    img.alpha_composite(layer)


def line(img, p0, p1, colour, width, alpha=255):
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    ImageDraw.Draw(layer).line([tuple(round(c * SS) for c in p0), tuple(round(c * SS) for c in p1)],
                               fill=rgba(colour, alpha), width=max(1, round(width * SS)), joint="curve")
    img.alpha_composite(layer)


def ellipse(img, box, colour, alpha=255):
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    x0, y0, x1, y1 = (round(c * SS) for c in box)
    ImageDraw.Draw(layer).ellipse((x0, y0, x1 - 1, y1 - 1), fill=rgba(colour, alpha))
    img.alpha_composite(layer)


def place(sheet, sprite, u, v):
    """Pastes a sprite whose lower-left texel is (u, v); rows above the sheet's top wrap to the
    sheet's bottom row, which must stay transparent, so they are dropped and must be empty."""
    w, h = sprite.size
    top = sheet.size[1] - v - h
    if top < 0:
        cut = sprite.crop((0, 0, w, -top))
        assert cut.getbbox() is None or cut.split()[3].getbbox() is None, "sprite reaches past the sheet's top"
        sprite = sprite.crop((0, -top, w, h))
        top = 0
    sheet.alpha_composite(sprite, (u, top))


def bleed(img):
    """Gives every transparent pixel next to a visible one that neighbour's colour, so filtering
    at a sprite's edge blends toward the sprite instead of black."""
    w, h = img.size
    px = img.load()
    src = img.copy().load()
    for y in range(h):
        for x in range(w):
            if src[x, y][3] != 0:
                continue
            r = g = b = n = 0
            for dy in (-1, 0, 1):
                for dx in (-1, 0, 1):
                    xx, yy = x + dx, y + dy
                    if 0 <= xx < w and 0 <= yy < h:
                        p = src[xx, yy]
                        if p[3]:
                            r += p[0] * p[3]
                            g += p[1] * p[3]
                            b += p[2] * p[3]
                            n += p[3]
            if n:
                px[x, y] = ((r + n // 2) // n, (g + n // 2) // n, (b + n // 2) // n, 0)


# ---- Interface sheet ----
def draw_bar(style):
    cap, width, height, _, _ = BARS[style]
    img = canvas(width, height)
    inner = (1, 1, width - 1, height - 1)
    if style in (0, 1):
        # Header strips (menu bar, window top bar); the top row wraps to the sheet's bottom: empty.
        rrect(img, (0, 2, width, height - 1), 0, NAVY_EDGE)
        rrect(img, (0, 2, width, height - 2), 0, NAVY)
        if style == 1:
            line(img, (0, height - 2.5), (width, height - 2.5), MINT, 1, 160)
    elif style == 2:  # push button
        rrect(img, (1, 3, width - 1, height - 1), 6, NAVY, 40)
        card(img, (1, 2, width - 1, height - 2), 6, WHITE, EDGE)
    elif style == 3:  # push button, held
        card(img, (1, 3, width - 1, height - 1), 6, LIGHT, MIDGREY)
    elif style == 4:  # progress track
        card(img, (0, 2, width, height - 2), 6, LIGHT, EDGE)
    elif style == 5:  # progress fill
        card(img, (0, 2, width, height - 2), 6, MINT, MINT_DARK)
    elif style == 7:
        card(img, inner, 5, PAPER, EDGE)
    elif style == 8:
        card(img, (0, 2, width, height - 2), 6, SLATE, NAVY_EDGE)
    elif style == 9:  # text field
        card(img, (1, 1, width - 1, height - 1), 5, WHITE, BLUEGREY)
    elif style == 10:  # drop-down: dark box with the chevron in its right cap
        card(img, (1, 1, width - 1, height - 1), 6, INK, NAVY)
        cx, cy = width - 13, height / 2
        line(img, (cx - 4, cy - 2), (cx, cy + 2), MINT, 1.6)
        line(img, (cx, cy + 2), (cx + 4, cy - 2), MINT, 1.6)
    return shrink(img, width, height)


def draw_box(style):
    _, _, s, _, _, _ = BOXES[style]
    img = canvas(s, s)
    if style == 14:  # window: dark title band, light body
        body = (5, 1, s - 5, s - 8)
        shadow(img, body, 8)
        card(img, body, 8, PAPER, NAVY_EDGE)
        band(img, (6, 2, s - 6, s - 9), 7, NAVY, 23)
    elif style == 15:  # window, plain: all light, a quiet title band
        body = (5, 1, s - 5, s - 8)
        shadow(img, body, 8)
        card(img, body, 8, PAPER, EDGE)
        band(img, (6, 2, s - 6, s - 9), 7, LIGHT, 23)
    elif style == 16:  # panel
        body = (6, 2, s - 6, s - 11)
        shadow(img, body, 6, alpha=20, dy=1.5)
        card(img, body, 6, WHITE, EDGE)
        rrect(img, (7, 25, s - 7, 26), 0, LIGHT)
    elif style == 17:  # hover help: dark
        body = (5, 2, s - 5, s - 10)
        shadow(img, body, 6, alpha=40)
        card(img, body, 6, NAVY, SLATE)
    elif style == 18:  # start-up message: dark with an accent along its top edge
        body = (5, 2, s - 5, s - 10)
        shadow(img, body, 8, alpha=40)
        card(img, body, 8, NAVY, NAVY_EDGE)
        band(img, body, 8, MINT, 4.5)
    elif style == 19:
        card(img, (2, 2, s - 2, s - 2), 6, PAPER, EDGE)
    elif style == 20:  # menus and pop-up lists: dark
        body = (3, 1, s - 3, s - 8)
        shadow(img, body, 5, steps=3, alpha=40, dy=1.5)
        card(img, body, 5, INK, NAVY)
    elif style == 21:
        card(img, (2, 2, s - 2, s - 2), 5, INK3, NAVY)
    elif style == 22:
        card(img, (2, 2, s - 2, s - 5), 6, WHITE, EDGE)
    return shrink(img, s, s)


def draw_sprite(name):
    img = canvas(18, 18)
    if name == "check":
        card(img, (2, 2, 16, 16), 3, WHITE, BLUEGREY, 1.2)
    elif name == "check_mark":
        card(img, (2, 2, 16, 16), 3, MINT, MINT_DARK, 1.2)
        line(img, (5.2, 9.2), (7.8, 11.8), NAVY, 2)
        line(img, (7.8, 11.8), (12.8, 5.8), NAVY, 2)
    elif name == "radio":
        ellipse(img, (2, 2, 16, 16), BLUEGREY)
        ellipse(img, (3.2, 3.2, 14.8, 14.8), WHITE)
    elif name == "radio_mark":
        ellipse(img, (2, 2, 16, 16), MINT_DARK)
        ellipse(img, (3.2, 3.2, 14.8, 14.8), MINT)
        ellipse(img, (6, 6, 12, 12), NAVY)
    elif name in ("corner", "corner_pressed"):
        pressed = name == "corner_pressed"
        ellipse(img, (2, 2, 16, 16), MINT if pressed else SLATE)
        cross = NAVY if pressed else PAPER
        line(img, (6.3, 6.3), (11.7, 11.7), cross, 1.6)
        line(img, (6.3, 11.7), (11.7, 6.3), cross, 1.6)
    return shrink(img, 18, 18)


def interface_sheet():
    sheet = Image.new("RGBA", (512, 512), (0, 0, 0, 0))
    for style, (_, _, _, u, v) in BARS.items():
        place(sheet, draw_bar(style), u, v)
    for style, (u, v, _, _, _, _) in BOXES.items():
        place(sheet, draw_box(style), u, v)
    for name, (cu, cv) in SPRITES.items():
        place(sheet, draw_sprite(name), cu - 9, cv - 9)
    bleed(sheet)
    # Sample pixels last, each alone on a ground of another colour, so a sampler one row or column
    # off reads the ground instead.
    d = ImageDraw.Draw(sheet)
    for (x, y), _ in SAMPLES:
        d.rectangle((x - SAMPLE_REACH, y - SAMPLE_REACH, x + SAMPLE_REACH, y + SAMPLE_REACH), fill=rgba(SAMPLE_GROUND))
    for (x, y), value in SAMPLES:
        sheet.putpixel((x, y), rgba(value))
    assert sheet.getpixel((511, 511))[3] == 0 and all(sheet.getpixel((x, 511))[3] == 0 for x in range(512)), \
        "the bottom row repeats above the top bars and must stay transparent"
    return sheet


# ---- Button sheets ----
def read_table_words(language):
    words = {}
    with open(os.path.join(RESOURCES, language + ".txt"), encoding="utf-8-sig") as f:
        for row in f:
            row = row.rstrip("\n")
            if row.startswith("STRING ") and "====" in row:
                english, translated = row[7:].split("====", 1)
                words[english] = translated
    missing = [w for w in PICTURES.values() if w not in words]
    if missing:
        sys.exit(f"make_artwork: {language}.txt has no row for {', '.join(missing)}")
    return {w: words[w] for w in PICTURES.values()}


def button_words(language):
    if language == "English":
        return {w: w for w in PICTURES.values()}
    if language in CARRIED_WORDS:
        return CARRIED_WORDS[language]
    return read_table_words(language)


def word_mask(font, text):
    """The word's coverage and its ink box, with the baseline at row 64 of a roomy canvas."""
    mask = Image.new("L", (512, 128), 0)
    ImageDraw.Draw(mask).text((16, 64), text, font=font, fill=255, anchor="ls")
    return mask, mask.getbbox()


def fit_words(lang_index, words):
    """The largest whole pixel size at which every word keeps WORD_MARGIN free on each side inside its
    picture's range and band; returns (font, baseline offset in the band, ink boxes)."""
    for size in range(30, 5, -1):
        font = ImageFont.truetype(BOLD_FONT, size, layout_engine=ImageFont.Layout.BASIC)
        _, cap = word_mask(font, "H")
        cap_h = cap[3] - cap[1]
        # Baseline so that the capitals sit in the middle of the band (top-down rows in the band).
        baseline = (BAND_H + cap_h) // 2
        ok = True
        for index, english in PICTURES.items():
            width = ELEMENTS_U[index + 1][lang_index] - ELEMENTS_U[index][lang_index]
            _, box = word_mask(font, words[english])
            top = baseline - (64 - box[1])
            bottom = baseline + (box[3] - 64)
            if box[2] - box[0] > width - 2 * WORD_MARGIN or top < WORD_MARGIN or bottom > BAND_H - WORD_MARGIN:
                ok = False
                break
        if ok:
            return font, baseline
    sys.exit(f"make_artwork: the {LANGUAGES[lang_index]} words do not fit their pictures")


WORD_COLOURS = {"normal": NAVY, "hover": MINT_DEEP, "held": NAVY}


def draw_element_bar(style):
    w, h = ELEMENT_BAR_W, 32  # drawn units; the sheet holds half the rows
    img = canvas(w, h)
    box = (1, 2, w - 1, h)  # the top drawn row is the hidden half of the sheet's row 111
    if style == 11:  # normal and pointer-over
        rrect(img, (1, 3, w - 1, h), 8, NAVY, 60)
        card(img, (1, 2, w - 1, h - 1.5), 8, WHITE, EDGE, 1.5)
    elif style == 12:  # held
        card(img, box, 8, MINT, MINT_DARK, 1.5)
    elif style == 13:  # dimmed
        card(img, box, 8, BLUEGREY, GREY, 1.5)
    return shrink(img, w, h // 2)


def draw_panel_box():
    _, _, s = PANEL_BOX
    img = canvas(s, s)
    card(img, (0, 0, s, s), 6, WHITE, EDGE)
    return shrink(img, s, s)


def elements_sheet(lang_index):
    language = LANGUAGES[lang_index]
    words = button_words(language)
    font, baseline = fit_words(lang_index, words)
    sheet = Image.new("RGBA", (1024, 128), (0, 0, 0, 0))
    for index, english in PICTURES.items():
        a, b = ELEMENTS_U[index][lang_index], ELEMENTS_U[index + 1][lang_index]
        mask, box = word_mask(font, words[english])
        ink = mask.crop(box)
        left = a + ((b - a) - ink.size[0]) // 2
        for band_name, v in BANDS.items():
            band_top = 128 - v - BAND_H
            top = band_top + baseline - (64 - box[1])
            colour = WORD_COLOURS[band_name]
            word = Image.new("RGBA", ink.size, rgba(colour, 0))
            word.putalpha(ink)
            # The whole picture carries the word's colour, so filtering at the ink's edge stays clean.
            ground = Image.new("RGBA", (b - a, BAND_H), rgba(colour, 0))
            sheet.paste(ground, (a, band_top))
            sheet.paste(word, (left, top))
    for style, u in ELEMENT_BARS.items():
        place(sheet, draw_element_bar(style), u, ELEMENT_BAR_V)
    u, v, _ = PANEL_BOX
    place(sheet, draw_panel_box(), u, v)
    return sheet


# ---- Background and map ----
def background():
    """1024 x 1024, shown from its lower-left corner: an 800 x 600 window shows the bottom-left
    800 x 600, where the wizard's panels cover most of it."""
    size = 1024
    img = Image.new("RGB", (size, size))
    d = ImageDraw.Draw(img)
    top_c, bottom_c = NAVY, SLATE
    for y in range(size):  # y from the top; the window's bottom edge is row 1023
        t = min(1.0, max(0.0, (y - (size - 620)) / 600.0))
        d.line((0, y, size, y), fill=tuple(round(top_c[i] + (bottom_c[i] - top_c[i]) * t) for i in range(3)))
    deco = Image.new("RGBA", (size * 2, size * 2), (0, 0, 0, 0))
    dd = ImageDraw.Draw(deco)
    # Two large faint rings and a flight-path arc in the accent colour, behind the header.
    for cx, cy, r, a in ((720, 360, 300, 14), (880, 300, 180, 10)):
        dd.ellipse(((cx - r) * 2, (cy - r) * 2, (cx + r) * 2, (cy + r) * 2), outline=(255, 255, 255, a), width=6)
    dd.arc((-600 * 2, 440 * 2, 1500 * 2, 1400 * 2), 200, 330, fill=rgba(MINT, 70), width=3)
    deco = deco.resize((size, size), Image.BOX)
    img = img.convert("RGBA")
    img.alpha_composite(deco)
    img = img.convert("RGB")
    d = ImageDraw.Draw(img)
    # The footer strip behind the picture buttons (window rows 0 to 43).
    d.rectangle((0, size - 44, size, size), fill=NAVY)
    d.line((0, size - 45, size, size - 45), fill=NAVY_EDGE)
    return img


def map_picture():
    return Image.new("RGB", (64, 64), SLATE)


def main(argv):
    out_dir = argv[1] if len(argv) > 1 else RESOURCES
    try:
        os.makedirs(out_dir, exist_ok=True)
        write_png(out_dir, "interface.png", interface_sheet())
        for i, language in enumerate(LANGUAGES):
            write_png(out_dir, f"elements_{language}.png", elements_sheet(i))
        write_png(out_dir, "background.png", background())
        write_png(out_dir, "map.png", map_picture())
    except OSError as e:
        sys.exit(f"make_artwork: {e}")


if __name__ == "__main__":
    main(sys.argv)
