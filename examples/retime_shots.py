#!/usr/bin/env python3
"""Re-time every shake of a shot folder by a frame offset, then gate on check.

    retime_shots.py SHOTS_FOLDER FRAMES [--apply]

Without --apply it only shows what would change (a dry run of every scene).
With --apply it edits each scene (keeping the first original as SCENE.bak:
a second --apply leaves that backup alone) and then runs vrim's
check over the folder: the exit status is 1 when check found an error, so a
publish step can stop there.
"""

import argparse
import sys
from pathlib import Path
from typing import List

import vrim


def scenes_in(folder: Path) -> List[Path]:
    return sorted(p for p in folder.rglob("*.lws") if p.is_file())


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=Path)
    parser.add_argument("frames", type=int)
    parser.add_argument("--apply", action="store_true", help="edit the scenes (default: dry run)")
    args = parser.parse_args()

    shift = [vrim.Action.shift(args.frames)]
    for path in scenes_in(args.folder):
        scene = vrim.open(path)
        if not scene.items:
            print(f"{path}: no shake")
            continue
        # The first run's backup is the original: a later run keeps it.
        keep = args.apply and not path.with_name(path.name + ".bak").exists()
        try:
            result = vrim.edit(path, all_items=True, actions=shift, dry_run=not args.apply,
                               backup=keep)
        except vrim.Error as refused:
            print(f"{path}: refused: {refused}", file=sys.stderr)
            return 2
        verb = "shifted" if result.written else "would shift"
        print(f"{path}: {verb} {result.edited} of {len(scene.items)} items by {args.frames}")
        if not args.apply:
            sys.stdout.write(result.diff)

    gate = vrim.check(args.folder, recursive=True)
    for finding in sorted(gate):
        if finding.severity is vrim.Severity.ERROR:
            print(f"{finding.scene}:{finding.line or ''}: {finding.item}: {finding.message}")
    return 0 if gate.passed else 1


if __name__ == "__main__":
    sys.exit(main())
