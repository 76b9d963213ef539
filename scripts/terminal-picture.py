"""Turns a tmux screen (capture-pane -p -e) into an SVG picture of the terminal.

Knows the attributes the key editor uses: reverse (7), bold (1), underline
(4), and reset (0, 27, 39, 49). Usage: terminal-picture.py SCREEN.ansi OUT.svg
"""
import re
import sys
from xml.sax.saxutils import escape

CELL_W, CELL_H, PAD = 8.4, 17, 10
FG, BG = "#d8d8d8", "#1e1e1e"


def cells(line):
    attrs = set()
    out = []
    for part in re.split(r"(\x1b\[[0-9;]*m)", line):
        m = re.fullmatch(r"\x1b\[([0-9;]*)m", part)
        if m:
            for code in (m.group(1) or "0").split(";"):
                if code in ("0", ""):
                    attrs.clear()
                elif code == "7":
                    attrs.add("reverse")
                elif code == "1":
                    attrs.add("bold")
                elif code == "4":
                    attrs.add("underline")
                elif code == "27":
                    attrs.discard("reverse")
            continue
        out.extend((ch, frozenset(attrs)) for ch in part)
    return out


def main():
    lines = open(sys.argv[1], encoding="utf-8").read().split("\n")
    lines = lines[:-1] if lines and lines[-1] == "" else lines
    cols = max(len(cells(l)) for l in lines)
    width, height = cols * CELL_W + 2 * PAD, len(lines) * CELL_H + 2 * PAD
    svg = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
           'font-family="DejaVu Sans Mono, monospace" font-size="14" xml:space="preserve">'
           % (width, height),
           '<rect width="100%%" height="100%%" rx="6" fill="%s"/>' % BG]
    for row, line in enumerate(lines):
        y = PAD + row * CELL_H
        for col, (ch, attrs) in enumerate(cells(line)):
            x = PAD + col * CELL_W
            fg = FG
            if "reverse" in attrs:
                svg.append('<rect x="%.1f" y="%d" width="%.1f" height="%d" fill="%s"/>'
                           % (x, y, CELL_W + 0.3, CELL_H, FG))
                fg = BG
            if "underline" in attrs:
                svg.append('<rect x="%.1f" y="%d" width="%.1f" height="1" fill="#8a8a8a"/>'
                           % (x, y + CELL_H - 2, CELL_W + 0.3))
            if ch != " ":
                weight = ' font-weight="bold"' if "bold" in attrs else ""
                svg.append('<text x="%.1f" y="%d" fill="%s"%s>%s</text>'
                           % (x, y + CELL_H - 4, fg, weight, escape(ch)))
    svg.append("</svg>")
    open(sys.argv[2], "w", encoding="utf-8").write("\n".join(svg) + "\n")


main()
