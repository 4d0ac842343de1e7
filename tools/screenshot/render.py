#!/usr/bin/python3
"""Renders a terminal capture (tmux capture-pane -p -e) to a PNG picture.

    render.py CAPTURE.txt OUTPUT.png TITLE

Each character is drawn in its terminal cell, East Asian wide characters
in two; the SGR colour codes in the capture are honoured. Uses Pillow and
the WenQuanYi Zen Hei Mono font (Debian: python3-pil, fonts-wqy-zenhei).
"""
import re
import sys
import unicodedata

from PIL import Image, ImageDraw, ImageFont

FONT_FILE = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
FONT_INDEX = 1  # WenQuanYi Zen Hei Mono inside the collection
FONT_SIZE = 18
PADDING = 14
TITLE_HEIGHT = 30

BACKGROUND = (12, 12, 12)
FOREGROUND = (204, 204, 204)
TITLE_BACKGROUND = (32, 32, 32)
TITLE_FOREGROUND = (230, 230, 230)
# The Windows console's palette, in ANSI order.
PALETTE = [
    (12, 12, 12), (197, 15, 31), (19, 161, 14), (193, 156, 0),
    (0, 55, 218), (136, 23, 152), (58, 150, 221), (204, 204, 204),
    (118, 118, 118), (231, 72, 86), (22, 198, 12), (249, 241, 165),
    (59, 120, 255), (180, 0, 158), (97, 214, 214), (242, 242, 242),
]

SGR = re.compile(r"\x1b\[([0-9;]*)m")


def colour_256(n):
    if n < 16:
        return PALETTE[n]
    if n < 232:
        n -= 16
        steps = [0, 95, 135, 175, 215, 255]
        return (steps[n // 36], steps[n // 6 % 6], steps[n % 6])
    level = 8 + 10 * (n - 232)
    return (level, level, level)


def parse(text):
    """Lines of (character, foreground, background) cells."""
    lines = []
    fg, bg, reverse = FOREGROUND, BACKGROUND, False
    for raw in text.split("\n"):
        cells = []
        pos = 0
        for match in list(SGR.finditer(raw)) + [None]:
            end = match.start() if match else len(raw)
            for ch in raw[pos:end]:
                colours = (bg, fg) if reverse else (fg, bg)
                cells.append((ch,) + colours)
            if match is None:
                break
            pos = match.end()
            codes = [int(c) if c else 0 for c in match.group(1).split(";")]
            i = 0
            while i < len(codes):
                code = codes[i]
                if code == 0:
                    fg, bg, reverse = FOREGROUND, BACKGROUND, False
                elif code == 7:
                    reverse = True
                elif code == 27:
                    reverse = False
                elif 30 <= code <= 37:
                    fg = PALETTE[code - 30]
                elif 90 <= code <= 97:
                    fg = PALETTE[code - 90 + 8]
                elif 40 <= code <= 47:
                    bg = PALETTE[code - 40]
                elif 100 <= code <= 107:
                    bg = PALETTE[code - 100 + 8]
                elif code == 39:
                    fg = FOREGROUND
                elif code == 49:
                    bg = BACKGROUND
                elif code in (38, 48) and i + 1 < len(codes):
                    if codes[i + 1] == 5 and i + 2 < len(codes):
                        colour = colour_256(codes[i + 2])
                        i += 2
                    elif codes[i + 1] == 2 and i + 4 < len(codes):
                        colour = tuple(codes[i + 2:i + 5])
                        i += 4
                    else:
                        colour = None
                    if colour is not None:
                        if code == 38:
                            fg = colour
                        else:
                            bg = colour
                i += 1
        lines.append(cells)
    while lines and all(ch == " " for ch, _, _ in lines[-1]):
        lines.pop()
    return lines


def width(ch):
    return 2 if unicodedata.east_asian_width(ch) in ("W", "F") else 1


def main():
    capture, output, title = sys.argv[1:4]
    with open(capture, encoding="utf-8") as f:
        lines = parse(f.read())
    font = ImageFont.truetype(FONT_FILE, FONT_SIZE, index=FONT_INDEX)
    cell_w = round(font.getlength("M"))
    ascent, descent = font.getmetrics()
    cell_h = ascent + descent + 4
    columns = max([80] + [sum(width(ch) for ch, _, _ in line) for line in lines])

    image = Image.new("RGB", (columns * cell_w + 2 * PADDING,
                              TITLE_HEIGHT + len(lines) * cell_h + 2 * PADDING), BACKGROUND)
    draw = ImageDraw.Draw(image)
    draw.rectangle([0, 0, image.width, TITLE_HEIGHT], fill=TITLE_BACKGROUND)
    draw.text((PADDING, (TITLE_HEIGHT - FONT_SIZE) // 2), title, font=font, fill=TITLE_FOREGROUND)
    for row, line in enumerate(lines):
        column = 0
        y = TITLE_HEIGHT + PADDING + row * cell_h
        for ch, fg, bg in line:
            x = PADDING + column * cell_w
            w = width(ch)
            if bg != BACKGROUND:
                draw.rectangle([x, y, x + w * cell_w - 1, y + cell_h - 1], fill=bg)
            if ch != " ":
                draw.text((x, y + 2), ch, font=font, fill=fg)
            column += w
    image.save(output, optimize=True)


if __name__ == "__main__":
    main()
