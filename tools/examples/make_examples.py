#!/usr/bin/env python3
"""Writes the example pictures (images/*.bmp) and the demo page (demo.json).

The pictures are small BMP files of 1, 4, 8 and 24 bits made from formulas, so they can be
made again at any time; the outputs are committed beside this script.
"""
import json
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write_bmp(name, width, height, bits, pixel, palette=()):
    """pixel(x, y) gives an index (1, 4, 8 bits) or an (r, g, b) triple (24 bits)."""
    stride = (width * bits + 31) // 32 * 4
    rows = []
    for y in range(height - 1, -1, -1):  # BMP rows go bottom up
        row = bytearray(stride)
        for x in range(width):
            value = pixel(x, y)
            if bits == 24:
                row[3 * x:3 * x + 3] = bytes((value[2], value[1], value[0]))
            elif bits == 8:
                row[x] = value
            elif bits == 4:
                row[x // 2] |= value << (0 if x % 2 else 4)
            else:
                row[x // 8] |= value << (7 - x % 8)
        rows.append(bytes(row))
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 11811, 11811,
                       len(palette), 0)
    with open(os.path.join(HERE, "images", name), "wb") as out:
        out.write(header + info + colours + data)


def clamp(v):
    return max(0, min(255, int(v)))


def make_pictures():
    # The ROP chart's shared destination and source, 48 x 32.
    write_bmp("rop_dest.bmp", 48, 32, 24,
              lambda x, y: (0xF8, 0xE0, 0x90) if y < 16 else (0x30, 0x28, 0x70))
    def disc(x, y):
        inside = (x - 23.5) ** 2 + (y - 15.5) ** 2 < 12.5 ** 2
        return (0xE0, 0x30, 0x20) if inside else (0xFF, 0xFF, 0xFF)
    write_bmp("rop_source.bmp", 48, 32, 24, disc)

    # An 8-bit picture with a 256-entry palette of smooth colours.
    palette8 = [(clamp(128 + 127 * math.sin(i / 40.7)), clamp(128 + 127 * math.sin(i / 25.5 + 2)),
                 clamp(128 + 127 * math.sin(i / 61.0 + 4))) for i in range(256)]
    def plasma(x, y):
        v = math.sin(x / 9.0) + math.sin(y / 7.0) + math.sin((x + y) / 13.0)
        v += math.sin(math.hypot(x - 48, y - 32) / 6.0)
        return int((v + 4) / 8 * 255) & 0xFF
    write_bmp("plasma8.bmp", 96, 64, 8, plasma, palette8)

    # A 4-bit picture: sixteen colour rings.
    palette4 = [(clamp(255 * (i & 1) * 0.8 + 40 * (i >> 3)), clamp(255 * ((i >> 1) & 1) * 0.8 + 40),
                 clamp(255 * ((i >> 2) & 1) * 0.8 + 40 * (i >> 3))) for i in range(16)]
    write_bmp("rings4.bmp", 63, 47, 4,
              lambda x, y: int(math.hypot(x - 31, y - 23) / 3) % 16, palette4)

    # A 1-bit picture: a checkered disc, black on a pale yellow palette entry.
    def checker_disc(x, y):
        inside = math.hypot(x - 31.5, y - 23.5) < 22
        return (1 if ((x // 6 + y // 6) % 2) else 0) if inside else 0
    write_bmp("disc1.bmp", 64, 48, 1, checker_disc, [(0xFF, 0xF4, 0xC0), (0x20, 0x20, 0x60)])

    # Pattern brush tiles: 8 x 8 colour bricks and a 1-bit weave of 8 x 8.
    def brick(x, y):
        mortar = y % 4 == 3 or (x + (4 if y >= 4 else 0)) % 8 == 7
        return (0xD0, 0xD0, 0xC8) if mortar else (0xB0 + 8 * (x % 3), 0x40 + 6 * y, 0x30)
    write_bmp("brick24.bmp", 8, 8, 24, brick)
    write_bmp("weave1.bmp", 8, 8, 1, lambda x, y: 1 if (x + y) % 4 == 0 or (x - y) % 8 == 0 else 0,
              [(0xFF, 0xFF, 0xFF), (0x00, 0x60, 0x30)])
    # A colour tile for text.
    write_bmp("rainbow24.bmp", 16, 16, 24,
              lambda x, y: (clamp(128 + 127 * math.sin((x + y) / 5.0)),
                            clamp(128 + 127 * math.sin((x + y) / 5.0 + 2.1)),
                            clamp(128 + 127 * math.sin((x + y) / 5.0 + 4.2))))


NAMED = {0xCC: "SRCCOPY", 0xEE: "SRCPAINT", 0x88: "SRCAND", 0x66: "SRCINVERT",
         0x44: "SRCERASE", 0x33: "NOTSRCCOPY", 0x11: "NOTSRCERASE", 0xC0: "MERGECOPY",
         0xBB: "MERGEPAINT", 0xF0: "PATCOPY", 0xFB: "PATPAINT", 0x5A: "PATINVERT",
         0x55: "DSTINVERT", 0x00: "BLACKNESS", 0xFF: "WHITENESS"}


def text(at, string, **more):
    op = {"op": "text", "at": list(at), "text": string}
    op.update(more)
    return op


def rop_chart(ops, left, top):
    cell = 52
    ops.append(text((left, top - 40), "All 256 ROP3 codes over D, S and P (named codes in red)",
                    color="#000000"))
    for code in range(256):
        x = left + (code % 16) * cell
        y = top + (code // 16) * cell
        ops.append({"op": "blit", "at": [x, y], "source": "images/rop_dest.bmp", "code": "SRCCOPY"})
        ops.append({"op": "blit", "at": [x, y], "source": "images/rop_source.bmp",
                    "code": "0x%02X" % code, "brush": "ropPattern"})
        ops.append(text((x + 8, y + 33), "%02X" % code,
                        color="#C00000" if code in NAMED else "#000000"))
    legend = top + 16 * cell + 8
    ops.append(text((left, legend + 8), "D", color="#000000"))
    ops.append({"op": "blit", "at": [left + 16, legend], "source": "images/rop_dest.bmp",
                "code": "SRCCOPY"})
    ops.append(text((left + 80, legend + 8), "S", color="#000000"))
    ops.append({"op": "blit", "at": [left + 96, legend], "source": "images/rop_source.bmp",
                "code": "SRCCOPY"})
    ops.append(text((left + 160, legend + 8), "P", color="#000000"))
    ops.append({"op": "blit", "rect": [left + 176, legend, 48, 32], "code": "PATCOPY",
                "brush": "ropPattern"})
    ops.append(text((left + 240, legend + 8), "tile = code(P, S, D); 0x8E, 0xB8, 0xE2 ...",
                    color="#000000"))


FACTORS = [(1, 1), (2, 1), (2, 2), (4, 2), (4, 4)]


def hatch_brushes(brushes):
    colours = ["#B01010", "#1040B0", "#108030", "#806000", "#600080", "#000000"]
    for hatch in range(6):
        for fx, fy in FACTORS:
            brushes["hatch%d_%dx%d" % (hatch, fx, fy)] = {
                "style": "hatched", "hatch": hatch, "factor": [fx, fy],
                "color": colours[hatch], "backColor": "#FFFFF0"}


def hatch_chart(ops, left, top):
    ops.append(text((left, top - 40), "Hatch styles 0-5 at the five device factors",
                    color="#000000"))
    for column, (fx, fy) in enumerate(FACTORS):
        ops.append(text((left + 40 + column * 76, top - 18), "%dx%d" % (fx, fy), color="#000000"))
    for hatch in range(6):
        y = top + hatch * 76
        ops.append(text((left, y + 24), "h%d" % hatch, color="#000000"))
        for column, (fx, fy) in enumerate(FACTORS):
            ops.append({"op": "fill", "rect": [left + 32 + column * 76, y, 68, 68],
                        "brush": "hatch%d_%dx%d" % (hatch, fx, fy)})


def line_star(ops, cx, cy, radius):
    ops.append(text((cx - radius, cy - radius - 32), "A star of lines in every octant",
                    color="#000000"))
    ops.append({"op": "fill", "rect": [cx - radius - 4, cy - radius - 4, 2 * radius + 9,
                                       2 * radius + 9], "color": "#F4F4FF"})
    colours = ["#D00000", "#D07000", "#A0A000", "#00A000", "#00A0A0", "#0000D0", "#7000D0",
               "#D000A0"]
    for i in range(48):
        angle = 2 * math.pi * i / 48
        end = [cx + round(radius * math.cos(angle)), cy - round(radius * math.sin(angle))]
        octant = int(((angle + math.pi / 8) % (2 * math.pi)) // (math.pi / 4)) % 8
        ops.append({"op": "line", "from": [cx, cy], "to": end, "color": colours[octant]})
    # Lines under the distance code over a grey bar show the contone XOR.
    ops.append({"op": "fill", "rect": [cx - radius, cy + radius + 12, 2 * radius, 24],
                "color": "#808080"})
    for i in range(0, 2 * radius, 6):
        ops.append({"op": "line", "from": [cx - radius + i, cy + radius + 8],
                    "to": [cx - radius + i + 12, cy + radius + 40], "color": "#FFC000",
                    "code": "PATINVERT"})


def pictures(ops, left, top):
    ops.append(text((left, top - 24), "8-, 4- and 1-bit pictures, 1-bit expanded and masked",
                    color="#000000"))
    ops.append({"op": "blit", "at": [left, top], "source": "images/plasma8.bmp",
                "code": "SRCCOPY"})
    ops.append({"op": "blit", "at": [left + 104, top], "source": "images/rings4.bmp",
                "code": "SRCCOPY"})
    ops.append({"op": "blit", "at": [left + 176, top], "source": "images/disc1.bmp",
                "code": "SRCCOPY"})
    ops.append({"op": "blit", "at": [left + 248, top], "source": "images/disc1.bmp",
                "code": "SRCCOPY", "palette": False, "monoExpand": True,
                "textColor": "#FFFFFF", "backColor": "#C02060"})
    ops.append({"op": "fill", "rect": [left + 320, top, 64, 48], "brush": "bricks"})
    ops.append({"op": "blit", "at": [left + 320, top], "source": "images/disc1.bmp",
                "code": "SRCAND", "palette": False,
                "textColor": "#FFFFFF", "backColor": "#000000"})


def polygons(ops, left, top):
    ops.append(text((left, top - 24), "Even-odd and winding stars, pattern brushes",
                    color="#000000"))
    star = [[50, 0], [79, 90], [3, 34], [97, 34], [21, 90]]
    for index, rule in enumerate(["evenodd", "winding"]):
        ox = left + index * 110
        ops.append({"op": "fill", "points": [[ox + x, top + y] for x, y in star],
                    "rule": rule, "brush": "weave"})
        ops.append(text((ox + 14, top + 96), rule, color="#000000"))
    ops.append({"op": "fill", "rect": [left + 230, top, 90, 90], "brush": "bricks"})
    ops.append({"op": "fill", "points": [[left + 240, top + 80], [left + 275, top + 10],
                                         [left + 310, top + 80]], "color": "#2060FF",
                "code": "0x5A"})


def pattern_text(ops, left, top):
    ops.append(text((left, top), "Text through a pattern brush", font="Lat15-TerminusBold32x16",
                    scale=2, brush="rainbow", code="0xE2"))
    ops.append(text((left, top + 80), "drawn as 1-bit glyph blits under 0xE2 ...",
                    font="Lat15-TerminusBold32x16", brush="bricks", code="0xE2"))
    ops.append(text((left, top + 120), "... and under 0xB8 with the ink clear",
                    font="Lat15-TerminusBold32x16", brush="weave", code="0xB8", ink="clear"))


def demo_page():
    brushes = {
        "ropPattern": {"style": "hatched", "hatch": 5, "color": "#2050E0", "backColor": "#F0F0F0",
                       "origin": [16, 96]},
        "bricks": {"style": "pattern", "image": "images/brick24.bmp", "factor": [2, 2]},
        "weave": {"style": "pattern", "image": "images/weave1.bmp", "factor": [1, 1]},
        "rainbow": {"style": "pattern", "image": "images/rainbow24.bmp", "factor": [2, 2]},
    }
    hatch_brushes(brushes)
    ops = []
    ops.append(text((16, 8), "MARLREND demo page", font="Lat15-TerminusBold32x16", scale=1,
                    color="#000060"))
    rop_chart(ops, 16, 96)
    hatch_chart(ops, 900, 96)
    line_star(ops, 1130, 720, 130)
    pictures(ops, 920, 940)
    polygons(ops, 920, 1040)
    pattern_text(ops, 16, 1000)
    page = {
        "comment": "Written by make_examples.py: every primitive of the library on one page.",
        "width": 1440, "height": 1200, "resolution": 150, "bandHeight": 64,
        "background": "#FFFFFF", "brushes": brushes, "operations": ops,
    }
    write_page("demo.json", page)


def write_page(name, page):
    """One operation per line, so that the pages read and compare well."""
    with open(os.path.join(HERE, name), "w") as out:
        out.write("{\n")
        for key, value in list(page.items())[:-1]:
            out.write("  %s: %s,\n" % (json.dumps(key), json.dumps(value)))
        out.write('  "operations": [\n')
        out.write(",\n".join("    " + json.dumps(op) for op in page["operations"]))
        out.write("\n  ]\n}\n")


PARAGRAPH = [
    "This page is 2480 x 3508 pixels, A4 at 300 dpi, and the host draws it",
    "in bands of 64 rows: 55 bands, each a three-plane bitmap of its own.",
    "Every line, span, transfer and glyph is cut at the band edges, and",
    "every brush is realized once for the page and released at its end.",
]


def a4_page():
    brushes = {
        "banner": {"style": "hatched", "hatch": 5, "factor": [4, 4], "color": "#A0C0FF",
                   "backColor": "#E8F0FF"},
        "rainbow": {"style": "pattern", "image": "images/rainbow24.bmp", "factor": [4, 4]},
        "bricks": {"style": "pattern", "image": "images/brick24.bmp", "factor": [6, 6],
                   "origin": [200, 2300]},
        "weave": {"style": "pattern", "image": "images/weave1.bmp", "factor": [3, 3]},
        "grid": {"style": "hatched", "hatch": 4, "factor": [4, 4], "color": "#D0D0D0",
                 "backColor": "#FFFFFF"},
    }
    ops = []
    ops.append({"op": "fill", "rect": [0, 0, 2480, 320], "brush": "banner"})
    ops.append(text((200, 96), "MARLREND on A4 at 300 dpi", font="Lat15-TerminusBold32x16",
                    scale=4, brush="rainbow", code="0xE2"))
    for i, line in enumerate(PARAGRAPH):
        ops.append(text((200, 420 + 60 * i), line, scale=3, color="#202020"))
    # A bar chart over a grid, axes as lines.
    left, bottom = 200, 1500
    ops.append({"op": "fill", "rect": [left, bottom - 800, 2080, 800], "brush": "grid"})
    values = [420, 610, 380, 720, 540, 300, 660, 480]
    colours = ["#E04030", "#F0A020", "#40A040", "#2080D0", "#8040C0", "#C04080", "#20A0A0",
               "#808020"]
    for i, (value, colour) in enumerate(zip(values, colours)):
        ops.append({"op": "fill", "rect": [left + 60 + 250 * i, bottom - value, 160, value],
                    "color": colour})
        ops.append(text((left + 90 + 250 * i, bottom + 20), "Q%d" % (i + 1), scale=3,
                        color="#000000"))
    ops.append({"op": "fill", "rect": [left + 40, bottom - 560, 2000, 90], "color": "#FFFFFF",
                "code": "0x5A"})
    ops.append({"op": "line", "from": [left, bottom], "to": [left + 2080, bottom],
                "color": "#000000"})
    ops.append({"op": "line", "from": [left, bottom], "to": [left, bottom - 800],
                "color": "#000000"})
    # A pie of eight slices as polygons, and a frame of lines around it.
    cx, cy, r = 700, 2250, 450
    start = 0.0
    total = float(sum(values))
    for value, colour in zip(values, colours):
        sweep = 2 * math.pi * value / total
        points = [[cx, cy]]
        steps = max(2, int(sweep * 40))
        for k in range(steps + 1):
            a = start + sweep * k / steps
            points.append([cx + round(r * math.cos(a)), cy - round(r * math.sin(a))])
        ops.append({"op": "fill", "points": points, "color": colour})
        start += sweep
    for k in range(0, 360, 15):
        a = math.radians(k)
        ops.append({"op": "line", "from": [cx, cy],
                    "to": [cx + round((r + 60) * math.cos(a)), cy - round((r + 60) * math.sin(a))],
                    "color": "#FFFFFF", "code": "DSTINVERT"})
    # A brick wall with a window of woven pattern and a disc picture.
    ops.append({"op": "fill", "rect": [1300, 1800, 980, 900], "brush": "bricks"})
    ops.append({"op": "fill", "points": [[1500, 2000], [2080, 2000], [2080, 2500], [1790, 2650],
                                         [1500, 2500]], "brush": "weave"})
    for i in range(6):
        ops.append({"op": "blit", "at": [1540 + 90 * i, 2540], "source": "images/disc1.bmp",
                    "code": "SRCAND", "palette": False,
                    "textColor": "#FFFFFF", "backColor": "#000000"})
    for i in range(10):
        ops.append({"op": "blit", "at": [200 + 208 * i, 2850], "source": "images/plasma8.bmp",
                    "code": "SRCCOPY"})
        ops.append({"op": "blit", "at": [200 + 208 * i + 100, 2860],
                    "source": "images/rings4.bmp", "code": "SRCINVERT"})
    # Page frame and footer.
    for a, b in [((100, 100), (2379, 100)), ((2379, 100), (2379, 3407)),
                 ((2379, 3407), (100, 3407)), ((100, 3407), (100, 100))]:
        ops.append({"op": "line", "from": list(a), "to": list(b), "color": "#000060"})
    ops.append(text((200, 3200), "marlrend-host: page 1 of 1", scale=2, color="#404040"))
    write_page("a4.json", {
        "comment": "Written by make_examples.py: an A4 page at 300 dpi in bands of 64 rows.",
        "paper": "A4", "resolution": 300, "bandHeight": 64, "background": "#FFFFFF",
        "brushes": brushes, "operations": ops,
    })


if __name__ == "__main__":
    os.makedirs(os.path.join(HERE, "images"), exist_ok=True)
    make_pictures()
    demo_page()
    a4_page()
