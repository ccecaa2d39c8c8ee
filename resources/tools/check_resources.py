#!/usr/bin/env python3
"""Checks Lumenveil's resource files against what the program and Windows expect of them.

    check_resources.py [RESOURCES_DIR]

Reads every file with its own small parsers (standard library only), independently of the
generator that wrote them, and prints one line per failed check. Exit status 0 when all pass,
1 when any fails.
"""

import html.parser
import re
import struct
import sys
import xml.etree.ElementTree as ET
import zlib
from pathlib import Path

ICON_SIZES = (16, 32, 48)
PNG_SIZES = (16, 32, 48, 128, 256)
LINK_FACE = (323, 177, 453, 194)  # x0, y0, x1, y1 of the About window's link hot spot
DESKTOP_ENTRY = "org.lumenveil.lumenveil.desktop"

failures = []
passed = 0


def check(condition, what):
    global passed
    if condition:
        passed += 1
    else:
        failures.append(what)
    return condition


# --- PNG (8-bit RGBA or RGB, not interlaced: what Qt writes) --------------------------------


def read_png(path):
    data = path.read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path.name}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(f"{path.name}: PNG kind {depth}/{colour}/{interlace} not handled")
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * channels:(x + 1) * channels]) + ((255,) if channels == 3 else ())
                     for x in range(width)])
        previous = line
    return width, height, rows  # rows[y][x] = (r, g, b, a)


# --- Icon and cursor files -------------------------------------------------------------------


def read_dib(blob, width, height):
    """Decodes one icon or cursor image: rows top-down of (r, g, b, a or None) and mask bits."""
    (size, w, h2, planes, bpp, compression, image_size) = struct.unpack("<IiiHHII", blob[:24])
    check(size == 40, f"DIB header is {size} bytes, not 40")
    check((w, h2) == (width, 2 * height), f"DIB is {w} x {h2}, not {width} x {2 * height}")
    check(planes == 1 and compression == 0, "DIB planes/compression are not 1/BI_RGB")
    pos = 40
    palette = []
    if bpp <= 8:
        for i in range(1 << bpp):
            b, g, r, _ = blob[pos + 4 * i:pos + 4 * i + 4]
            palette.append((r, g, b))
        pos += 4 << bpp
    stride = (width * bpp + 31) // 32 * 4
    mask_stride = (width + 31) // 32 * 4
    expected = pos + stride * height + mask_stride * height
    check(len(blob) == expected, f"{width}x{width}x{bpp} image holds {len(blob)} bytes, "
                                 f"expected {expected}")
    check(image_size in (0, stride * height + mask_stride * height),
          f"{width}x{width}x{bpp} biSizeImage is {image_size}")
    pixels = [[None] * width for _ in range(height)]
    for row in range(height):
        y = height - 1 - row
        line = blob[pos + row * stride:pos + (row + 1) * stride]
        for x in range(width):
            if bpp == 32:
                b, g, r, a = line[4 * x:4 * x + 4]
                pixels[y][x] = (r, g, b, a)
            elif bpp == 24:
                b, g, r = line[3 * x:3 * x + 3]
                pixels[y][x] = (r, g, b, None)
            elif bpp == 8:
                pixels[y][x] = palette[line[x]] + (None,)
    mask = [[0] * width for _ in range(height)]
    base = pos + stride * height
    for row in range(height):
        y = height - 1 - row
        line = blob[base + row * mask_stride:base + (row + 1) * mask_stride]
        for x in range(width):
            mask[y][x] = (line[x // 8] >> (7 - x % 8)) & 1
    return bpp, pixels, mask


def read_icon_file(path, kind):
    data = path.read_bytes()
    reserved, file_kind, count = struct.unpack("<HHH", data[:6])
    check(reserved == 0 and file_kind == kind, f"{path.name}: header kind {file_kind}, not {kind}")
    entries, end = [], 6 + 16 * count
    for i in range(count):
        w, h, colours, zero, a, b, size, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        w, h = w or 256, h or 256
        check(zero == 0, f"{path.name}: entry {i} reserved byte is {zero}")
        check(offset == end, f"{path.name}: entry {i} starts at {offset}, not {end}")
        end = offset + size
        entries.append((w, h, colours, a, b, data[offset:offset + size]))
    check(end == len(data), f"{path.name}: images end at {end}, the file at {len(data)}")
    return entries


def check_icon(res):
    entries = read_icon_file(res / "lumenveil.ico", 1)
    found = sorted((w, bpp) for w, h, _, _, bpp, _ in entries)
    check(found == sorted((s, d) for s in ICON_SIZES for d in (8, 32)),
          f"lumenveil.ico holds {found}, not 16/32/48 at 8 and 32 bpp")
    images = {}
    for w, h, colours, planes, bpp, blob in entries:
        check(w == h and planes == 1 and colours == 0,
              f"lumenveil.ico {w}x{h}x{bpp}: planes {planes}, colour count {colours}")
        dib_bpp, pixels, mask = read_dib(blob, w, h)
        check(dib_bpp == bpp, f"lumenveil.ico {w}x{h}: entry says {bpp} bpp, image {dib_bpp}")
        images[(w, bpp)] = (pixels, mask)

    for size in ICON_SIZES:
        if (size, 32) not in images or (size, 8) not in images:
            continue
        full, full_mask = images[(size, 32)]
        indexed, indexed_mask = images[(size, 8)]
        alphas = {p[3] for row in full for p in row}
        check(0 in alphas and 255 in alphas, f"{size}px 32-bit icon has no transparent border "
                                             f"or no opaque body")
        check(all(full_mask[y][x] == (full[y][x][3] < 128)
                  for y in range(size) for x in range(size)),
              f"{size}px 32-bit icon: AND mask and alpha disagree")
        check(indexed_mask == full_mask, f"{size}px: 8-bit and 32-bit icons differ in shape")
        # The 256-colour image must look like the true-colour one.
        error, count = 0, 0
        for y in range(size):
            for x in range(size):
                if not full_mask[y][x]:
                    error += sum(abs(a - b) for a, b in zip(full[y][x][:3], indexed[y][x][:3]))
                    count += 3
        check(count and error / count < 6, f"{size}px 8-bit icon strays from the 32-bit one by "
                                           f"{error / max(count, 1):.1f} per component")
        check(all(indexed[y][x][:3] == (0, 0, 0)
                  for y in range(size) for x in range(size) if indexed_mask[y][x]),
              f"{size}px 8-bit icon: masked pixels are not black")

    for size in PNG_SIZES:
        path = res / f"icons/hicolor/{size}x{size}/apps/lumenveil.png"
        if not check(path.exists(), f"{path} is missing"):
            continue
        w, h, rows = read_png(path)
        check((w, h) == (size, size), f"{path.name} ({size}) is {w} x {h}")
        if (size, 32) in images:
            pixels, _ = images[(size, 32)]
            check(rows == pixels, f"{size}px PNG and the icon's 32-bit image differ")


def check_cursor(res):
    path = res / "hand.cur"
    check(path.stat().st_size == 3262, f"hand.cur is {path.stat().st_size} bytes, not 3262")
    entries = read_icon_file(path, 2)
    if not check(len(entries) == 1, f"hand.cur holds {len(entries)} images"):
        return
    w, h, _, hot_x, hot_y, blob = entries[0]
    check((w, h) == (32, 32), f"hand.cur is {w} x {h}")
    check((hot_x, hot_y) == (0, 0), f"hand.cur hot spot is ({hot_x}, {hot_y})")
    bpp, pixels, mask = read_dib(blob, 32, 32)
    check(bpp == 24, f"hand.cur has {bpp} bpp, not 24")
    shown = {pixels[y][x][:3] for y in range(32) for x in range(32) if not mask[y][x]}
    check(shown == {(0, 0, 0), (255, 255, 255)}, f"hand.cur shows colours {shown}")
    check(all(pixels[y][x][:3] == (0, 0, 0) for y in range(32) for x in range(32) if mask[y][x]),
          "hand.cur: masked pixels are not black")
    top = [x for x in range(32) if not mask[0][x]]
    check(top and 3 <= min(top) and max(top) <= 7,
          f"hand.cur: the finger tip on the top row lies at {top}, not about five from the left")
    # Every white pixel is enclosed: no white pixel touches a transparent one or the edge.
    bare = [(x, y) for y in range(32) for x in range(32)
            if not mask[y][x] and pixels[y][x][:3] == (255, 255, 255) and
            not all(0 <= nx < 32 and 0 <= ny < 32 and not mask[ny][nx]
                    for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)))]
    check(not bare, f"hand.cur: white pixels without outline at {bare[:5]}")
    w, h, rows = read_png(res / "hand.png")
    check((w, h) == (32, 32), f"hand.png is {w} x {h}")
    same = all((rows[y][x][3] >= 128) == (not mask[y][x]) and
               (mask[y][x] or rows[y][x][:3] == pixels[y][x][:3])
               for y in range(32) for x in range(32))
    check(same, "hand.png and hand.cur show different hands")


def check_jpeg(res):
    data = (res / "about.jpg").read_bytes()
    check(20_000 <= len(data) <= 60_000, f"about.jpg is {len(data)} bytes")
    check(data[:2] == b"\xff\xd8", "about.jpg does not start with SOI")
    check(data[2:4] == b"\xff\xe0" and data[6:11] == b"JFIF\x00",
          "about.jpg does not start with a JFIF APP0 segment")
    check(data[11:13] == b"\x01\x02", f"about.jpg says JFIF {data[11]}.{data[12]:02d}")
    pos, frames = 2, []
    while pos + 4 <= len(data):
        if data[pos] != 0xFF:
            failures.append(f"about.jpg: no marker at {pos}")
            return
        marker = data[pos + 1]
        if marker == 0xDA:  # start of scan: the header is over
            break
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        body = data[pos + 4:pos + 2 + length]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            frames.append((marker, body))
        if marker == 0xDB:  # quantisation tables must be 8-bit for a baseline decoder
            q = 0
            while q < len(body):
                check(body[q] >> 4 == 0, "about.jpg has a 16-bit quantisation table")
                q += 65
        pos += 2 + length
    if not check(len(frames) == 1 and frames[0][0] == 0xC0,
                 f"about.jpg frames are {[hex(m) for m, _ in frames]}, not one baseline SOF0"):
        return
    body = frames[0][1]
    precision, height, width, components = struct.unpack(">BHHB", body[:6])
    check((precision, width, height, components) == (8, 460, 200, 3),
          f"about.jpg is {precision}-bit {width} x {height} with {components} components")
    sampling = [body[6 + 3 * i + 1] for i in range(components)]
    check(all(s == 0x11 for s in sampling), f"about.jpg sampling factors {sampling}, not 1x1")


def check_rc(res):
    # A template: CMake fills in the names and the version (cmake/LumenveilNames.cmake).
    text = (res / "lumenveil.rc.in").read_text(encoding="ascii")
    squeezed = re.sub(r"\s+", " ", text)
    for needle in ('1 ICON "@LUMENVEIL_ICON_ICO@"', "FILEVERSION @LUMENVEIL_VERSION_COMMAS@",
                   "PRODUCTVERSION @LUMENVEIL_VERSION_COMMAS@", "FILEFLAGSMASK 0x0L",
                   "FILEOS VOS__WINDOWS32",
                   "FILETYPE VFT_APP", 'BLOCK "040904B0"', 'VALUE "Translation", 0x0409, 0x04B0'):
        check(needle in squeezed, f"lumenveil.rc.in lacks {needle}")
    values = dict(re.findall(r'VALUE\s+"(\w+)",\s*"([^"]*)"', text))
    expected = {
        "Comments": "Embeds hidden text messages in bitmap files.",
        "FileDescription": "Embeds hidden text messages in bitmap files.",
        "FileVersion": "@PROJECT_VERSION@",
        "ProductVersion": "@PROJECT_VERSION@",
        "InternalName": "@LUMENVEIL_TITLE@",
        "OriginalFilename": "@LUMENVEIL_TITLE@.exe",
        "ProductName": "@PROJECT_NAME@",
    }
    for key, value in expected.items():
        check(values.get(key) == value, f"lumenveil.rc.in {key} is {values.get(key)!r}")
    for key in ("CompanyName", "LegalCopyright", "LegalTrademarks"):
        check(values.get(key), f"lumenveil.rc.in has no {key}")


def check_desktop(res):
    lines = (res / DESKTOP_ENTRY).read_text(encoding="utf-8").splitlines()
    check(lines[0] == "[Desktop Entry]", f"{DESKTOP_ENTRY} does not open with [Desktop Entry]")
    keys = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
    for key, value in {"Type": "Application", "Name": "Lumenveil",
                       "Comment": "Embeds hidden text messages in bitmap files.",
                       "Exec": "lumenveil %f", "Icon": "lumenveil", "Terminal": "false",
                       "Categories": "Graphics;2DGraphics;RasterGraphics;",
                       "MimeType": "image/bmp;image/jpeg;image/gif;image/png;"}.items():
        check(keys.get(key) == value, f"{DESKTOP_ENTRY} {key} is {keys.get(key)!r}")


class PageParser(html.parser.HTMLParser):
    VOID = {"meta", "br", "link", "img", "hr", "input", "wbr"}

    def __init__(self):
        super().__init__()
        self.open, self.ids, self.links, self.errors = [], set(), [], []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        for name in ("href", "src"):
            if name in attrs:
                self.links.append(attrs[name])
        if tag not in self.VOID:
            self.open.append(tag)

    def handle_endtag(self, tag):
        if not self.open or self.open[-1] != tag:
            self.errors.append(f"</{tag}> closes <{self.open[-1] if self.open else ''}>")
        else:
            self.open.pop()


def check_help(res):
    text = (res / "help.htm.in").read_text(encoding="utf-8")
    page = PageParser()
    page.feed(text)
    check(not page.errors and not page.open, f"help.htm tags do not nest: {page.errors[:3]}"
                                             f"{page.open}")
    check(all(link.startswith("#") and link[1:] in page.ids for link in page.links),
          f"help.htm links outside itself or to missing anchors: "
          f"{[l for l in page.links if not l.startswith('#') or l[1:] not in page.ids]}")
    check(not re.search(r"url\(|@import|https?:", text), "help.htm refers to outside assets")
    plain = re.sub(r"\s+", " ", html.unescape(re.sub(r"<[^>]+>", "", text)))
    for phrase in ("Load Image...", "Get Embedded Text", "Embed Text & Save...",
                   "Text is N characters longer than this picture can store!",
                   "This image has no secret message!",
                   "The hidden message is incomplete: its end marker is missing.",
                   "COMDLG32.OCX missing.", "Manifest file missing.",
                   "Are you sure you want to quit?", "end message", "102,376",
                   "Windows-1252", "lumenveil-cli hide PICTURE OUTPUT [--text TEXT | --file FILE]",
                   "lumenveil-cli reveal PICTURE...", "lumenveil-cli capacity PICTURE"):
        check(phrase in plain, f"help.htm does not say {phrase!r}")
    for keys in ("Ctrl+L", "Ctrl+G", "Ctrl+E", "Ctrl+X", "F1", "Ctrl+A", "Esc", "Alt+L",
                 "Alt+G", "Alt+E"):
        check(keys in plain.replace(" + ", "+"), f"help.htm does not list {keys}")


def check_qrc(res):
    root = ET.parse(res / "resources.qrc").getroot()
    listed = {}
    for group in root.iter("qresource"):
        for item in group.iter("file"):
            check((res / item.text).is_file(), f"resources.qrc lists missing {item.text}")
            name = item.get("alias", item.text)
            listed[group.get("prefix").rstrip("/") + "/" + name] = item.text
    check(listed.get("/artwork/about.jpg") == "about.jpg", "resources.qrc lacks :/artwork/about.jpg")
    check(listed.get("/cursors/hand.png") == "hand.png", "resources.qrc lacks :/cursors/hand.png")
    for size in PNG_SIZES:
        check(listed.get(f"/icons/lumenveil-{size}.png") ==
              f"icons/hicolor/{size}x{size}/apps/lumenveil.png",
              f"resources.qrc lacks :/icons/lumenveil-{size}.png")


def main():
    res = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    for part in (check_icon, check_cursor, check_jpeg, check_rc, check_desktop, check_help,
                 check_qrc):
        try:
            part(res)
        except (OSError, ValueError, struct.error, ET.ParseError, IndexError) as error:
            failures.append(f"{part.__name__}: {error}")
    for failure in failures:
        print(f"FAIL {failure}")
    print(f"resources: {passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
