#!/usr/bin/env python3
"""Renders coloured terminal text (SGR escapes) as an SVG picture for docs.

Usage: tools/ansi-to-svg.py [COLUMNS] < capture.txt > docs/demo.svg
Lines are cut at COLUMNS (default 100), as on a terminal of that width.
Understands the escapes the client writes: reset, the 90-97 bright colours,
33 (yellow) and 24-bit foregrounds; other escapes are dropped.
"""
import html
import re
import sys

BASIC = {"33": "#c4a000", "91": "#ff5555", "92": "#55ff55", "93": "#ffff55",
         "94": "#5c8dff", "0": "#d0d0d0"}
CHAR_W, LINE_H, PAD = 8.4, 17, 12

def spans(text):
    colour = BASIC["0"]
    for piece in re.split(r"(\x1b\[[0-9;]*m)", text):
        match = re.fullmatch(r"\x1b\[([0-9;]*)m", piece)
        if not match:
            yield colour, re.sub(r"\x1b\][^\a]*\a|\x1b\[[0-9;]*[A-Za-z]", "", piece)
            continue
        codes = match.group(1).split(";")
        if codes[:2] == ["38", "2"] and len(codes) == 5:
            colour = "#%02x%02x%02x" % tuple(int(c) for c in codes[2:])
        else:
            colour = BASIC.get(codes[0] or "0", colour)

def cut(line, columns):
    kept, room = [], columns
    for colour, part in line:
        if room > 0:
            kept.append((colour, part[:room]))
            room -= len(part[:room])
    return kept

def main():
    columns = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    lines = [[]]
    for colour, text in spans(sys.stdin.read()):
        for i, part in enumerate(text.split("\n")):
            if i:
                lines.append([])
            if part:
                lines[-1].append((colour, part))
    while lines and not lines[-1]:
        lines.pop()
    lines = [cut(line, columns) for line in lines]
    width = max(sum(len(p) for _, p in line) for line in lines) * CHAR_W + 2 * PAD
    height = len(lines) * LINE_H + 2 * PAD
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width:.0f}" height="{height}" '
           f'font-family="DejaVu Sans Mono, monospace" font-size="14">',
           f'<rect width="100%" height="100%" fill="#1e1e1e" rx="6"/>']
    for row, line in enumerate(lines):
        y = PAD + (row + 1) * LINE_H - 4
        tspans = "".join(f'<tspan fill="{c}">{html.escape(p)}</tspan>' for c, p in line)
        out.append(f'<text x="{PAD}" y="{y}" xml:space="preserve">{tspans}</text>')
    out.append("</svg>")
    print("\n".join(out))

if __name__ == "__main__":
    main()
