#!/usr/bin/env python3
"""The guides stay whole and agree with each other.

- Every picture a guide shows (README.md, docs/*.md) is a file beside it.
- docs/vrim.md, the tool's guide in the packages, repeats sections of the
  README. Where both have a section of the same heading, the prose is the
  same: the words may be wrapped differently, a picture is named from its own
  folder, and the commands in code blocks may differ (the package's guide
  runs the installed `vrim`, the README the one in the build folder).

Usage: check_guides.py ROOT     prints each fault, exits 1 when there is one.
"""

import os
import re
import sys

PICTURE = re.compile(r"!\[[^\]]*\]\(([^)]+)\)")


def sections(text):
    """Heading text -> the lines under it, up to the next heading. A title
    (a level-1 heading) is the guide's own and is left out."""
    found, heading, lines = {}, None, []
    fenced = False
    for line in text.splitlines():
        if line.startswith("```"):
            fenced = not fenced
        match = None if fenced else re.match(r"(#+) (.*)", line)
        if match:
            if heading is not None:
                found[heading] = lines
            heading = match.group(2).strip() if len(match.group(1)) > 1 else None
            lines = []
        else:
            lines.append(line)
    if heading is not None:
        found[heading] = lines
    return found


def prose(lines):
    """The words outside code blocks, pictures by file name alone."""
    words, fenced = [], False
    for line in lines:
        if line.startswith("```"):
            fenced = not fenced
            continue
        if fenced or line.startswith("    ") or line.startswith("\t"):
            continue
        line = PICTURE.sub(lambda m: "![](%s)" % os.path.basename(m.group(1)), line)
        words += line.split()
    return words


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    faults = []
    docs = os.path.join(root, "docs")
    guides = [os.path.join(root, "README.md")] + sorted(
        os.path.join(docs, name) for name in os.listdir(docs) if name.endswith(".md"))
    for guide in guides:
        with open(guide, encoding="utf-8") as f:
            text = f.read()
        for picture in PICTURE.findall(text):
            if not os.path.isfile(os.path.join(os.path.dirname(guide), picture)):
                faults.append("%s shows %s, which is not there" %
                              (os.path.relpath(guide, root), picture))

    with open(os.path.join(root, "README.md"), encoding="utf-8") as f:
        readme = sections(f.read())
    with open(os.path.join(docs, "vrim.md"), encoding="utf-8") as f:
        tool = sections(f.read())
    shared = [heading for heading in tool if heading in readme]
    if not shared:
        faults.append("docs/vrim.md shares no section with README.md")
    for heading in shared:
        a, b = prose(readme[heading]), prose(tool[heading])
        if a != b:
            at = first_difference(a, b)
            faults.append("section '%s' differs: README has '%s', docs/vrim.md has '%s'" %
                          (heading, " ".join(a[max(at - 3, 0):at + 6]),
                           " ".join(b[max(at - 3, 0):at + 6])))
    for fault in faults:
        print(fault)
    print("%d shared sections compared, %d faults" % (len(shared), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
