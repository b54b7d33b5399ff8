#!/usr/bin/env python3
"""The adaptor's wiring, drawn and tabled from the firmware's pin table (pins.h), so
the guide cannot drift from what the firmware does.

    wiring.py table          the Markdown table, as in the README
    wiring.py svg            the picture, as in docs/adaptor-wiring.svg
    wiring.py check README SVG   fails when either differs from the pin table
"""
import pathlib
import re
import sys

HERE = pathlib.Path(__file__).resolve().parent
PINS_H = HERE / "placaio_adaptor" / "pins.h"
GROUNDS = range(18, 26)
REGISTERS = {"DATA": ("data", 888), "CONTROL": ("control", 890), "STATUS": ("status", 889)}
COLOURS = {"DATA": "#1f6fb4", "CONTROL": "#d9731a", "STATUS": "#2f9a3c"}
TABLE_START, TABLE_END = "<!-- wiring table: firmware/wiring.py table -->", "<!-- end of wiring table -->"


def pins():
    rows = re.findall(r'X\((\w+), (\d+), (\d+), ([BCD]), (\d), (\d+), ([01]), "(\w+)"\)', PINS_H.read_text())
    return [dict(reg=r, bit=int(b), arduino=int(a), db25=int(d), inverted=i == "1", name=n)
            for r, b, a, _port, _bit, d, i, n in rows]


def arduino_name(pin):
    return f"D{pin}" if pin < 14 else f"A{pin - 14}"


def direction(row):
    return "input" if row["reg"] == "STATUS" else "output"


def table():
    lines = ["| Arduino pin | DB25 pin | signal | register bit | |",
             "| --- | --- | --- | --- | --- |"]
    for row in pins():
        name, port = REGISTERS[row["reg"]]
        note = f"{direction(row)}, inverted" if row["inverted"] else direction(row)
        lines.append(f"| {arduino_name(row['arduino'])} | {row['db25']} | {row['name']} | "
                     f"{name} ({port}) bit {row['bit']} | {note} |")
    lines.append(f"| GND | {GROUNDS.start}-{GROUNDS.stop - 1} | ground | | |")
    return "\n".join(lines) + "\n"


def svg():
    rows = sorted(pins(), key=lambda r: r["arduino"])
    step, top = 26, 70
    height = top + step * (len(rows) + 1) + 40
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="760" height="{height}" '
           f'font-family="sans-serif" font-size="13">',
           f'<rect width="760" height="{height}" fill="white"/>',
           '<text x="20" y="28" font-size="16" font-weight="bold">Arduino Uno or Nano</text>',
           '<text x="430" y="28" font-size="16" font-weight="bold">DB25 of the board\'s cable</text>',
           '<text x="430" y="46" fill="#555">(the pins of a PC\'s parallel port)</text>',
           f'<rect x="20" y="{top - 20}" width="120" height="{step * (len(rows) + 1) + 14}" rx="6" '
           'fill="#0f7d8c"/>',
           f'<rect x="560" y="{top - 20}" width="180" height="{step * (len(rows) + 1) + 14}" rx="6" '
           'fill="#9aa0a6"/>']
    db25_order = sorted(rows, key=lambda r: r["db25"])
    db25_y = {r["db25"]: top + step * i for i, r in enumerate(db25_order)}
    for i, row in enumerate(rows + [None]):
        y = top + step * i
        if row is None:
            colour, left, right, label, ry = "#000", "GND", f"{GROUNDS.start}-{GROUNDS.stop - 1}", "ground", y
        else:
            colour = COLOURS[row["reg"]]
            left, right, ry = arduino_name(row["arduino"]), str(row["db25"]), db25_y[row["db25"]]
            name, _ = REGISTERS[row["reg"]]
            label = f"{row['name']} ({name} bit {row['bit']}{', inverted' if row['inverted'] else ''})"
        out += [f'<circle cx="130" cy="{y}" r="5" fill="{colour}"/>',
                f'<text x="32" y="{y + 5}" fill="white" font-weight="bold">{left}</text>',
                f'<path d="M135 {y} C 330 {y}, 370 {ry}, 565 {ry}" stroke="{colour}" stroke-width="2.5" fill="none"/>',
                f'<circle cx="570" cy="{ry}" r="5" fill="{colour}"/>',
                f'<text x="582" y="{ry + 5}" font-weight="bold">{right}</text>',
                f'<text x="630" y="{ry + 5}" font-size="11">{label.split(" (")[0]}</text>']
    legend_y = height - 16
    for x, (reg, colour) in zip((20, 270, 520), COLOURS.items()):
        name, port = REGISTERS[reg]
        kind = "inputs" if reg == "STATUS" else "outputs"
        out.append(f'<text x="{x}" y="{legend_y}" fill="{colour}" font-weight="bold" font-size="12">'
                   f'{name} register ({port}): {kind}</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def check(readme, picture):
    text = pathlib.Path(readme).read_text()
    start, end = text.find(TABLE_START), text.find(TABLE_END)
    ok = True
    if start < 0 or end < 0 or text[start + len(TABLE_START):end].strip() != table().strip():
        print(f"{readme}: the wiring table differs from the pin table; paste `firmware/wiring.py table`")
        ok = False
    if pathlib.Path(picture).read_text() != svg():
        print(f"{picture} differs from the pin table; make it with `firmware/wiring.py svg > {picture}`")
        ok = False
    return ok


if __name__ == "__main__":
    what = sys.argv[1] if len(sys.argv) > 1 else ""
    if what == "table":
        sys.stdout.write(table())
    elif what == "svg":
        sys.stdout.write(svg())
    elif what == "check" and len(sys.argv) == 4:
        sys.exit(0 if check(sys.argv[2], sys.argv[3]) else 1)
    else:
        sys.exit(__doc__)
