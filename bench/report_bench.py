#!/usr/bin/env python3
"""`vrim check` beside its floor, and `vrim report` beside `vrim check`, on the
same shot folder, in one run.

Generates 300 scenes (about 30 MB, about 11,000 shaken items, each item with
the host's channel lines around its key block as a real scene has), then
times the floor (vrim_check_floor: the files read and every block loaded by
the module, nothing more), check and report on all of them, alternating, and
prints the medians of the children's CPU time and the ratios against their
targets (check at most 2 times the floor, report at most 1.5 times check).
Also prints the page's size, and times report beside check on a scene of
50,000,000 frames whose keys act on a few of them (report at most 10 times
check): the page's samples are capped, so its work must not grow with the
range.

Usage: report_bench.py --vrim PATH --work DIR [--floor PATH] [--repetitions N]
"""

import argparse
import os
import random
import resource
import statistics
import subprocess
import sys

SCENES = 300
ITEMS_PER_SCENE = 37  # 11,100 items, about 30 MB
TARGET_RATIO = 1.5  # report against check
LONG_RATIO = 10.0  # report against check on the 50,000,000-frame scene
LONG_FRAMES = 50000000
FLOOR_RATIO = 2.0  # check against its floor


def channel_lines(rng):
    # One motion channel's envelope as the host writes it.
    lines = []
    for channel in range(9):
        lines += ["Channel %d" % channel, "{ Envelope", "  6"]
        lines += ["  Key %f %d 0 0 0 0 0 0 0" % (rng.uniform(-5, 5), frame)
                  for frame in (0, 12, 24, 48, 72, 120)]
        lines += ["  Behaviors 1 1", "}"]
    return lines


def key_lines(rng, start):
    end = start + rng.randint(5, 60)
    return ["KEY_START", "FREQ %f" % rng.choice([0.1, 0.2, 0.25, 0.5, 1.0]),
            "FREQ_W_X %f" % rng.uniform(0, 0.2), "FREQ_W_Y %f" % rng.uniform(0, 0.2),
            "FREQ_W_Z %f" % rng.uniform(0, 0.2), "START_F %f" % start, "END_F %f" % end,
            "FALL_OFF %f" % rng.randint(0, 1)]


def scene_text(rng, number):
    lines = ["LWSC", "3", "", "FirstFrame 0", "LastFrame 120", "FrameStep 1",
             "FramesPerSecond %g" % rng.choice([24, 25, 30]), ""]
    for item in range(ITEMS_PER_SCENE):
        lines += ["AddNullObject Shot%03d_Null%02d" % (number, item), "ShowObject 6 3",
                  "ObjectMotion", "NumChannels 9"]
        lines += channel_lines(rng)
        keys = rng.randint(1, 4)
        lines += ["Plugin ItemMotionHandler 1 VRIM_S", "VRIM_START", "KEY_NUM %f" % keys]
        start = rng.randint(0, 40)
        for _ in range(keys):
            lines += key_lines(rng, start)
            start += rng.randint(10, 40)
        lines += ["VRIM_END", "EndPlugin", "ParentItem 10000000", "PivotPosition 0 0 0",
                  "ShadowOptions 7", ""]
    return "\n".join(lines) + "\n"


def timed(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode not in (0, 1):
        sys.exit("%s failed (%d): %s" % (command[1], done.returncode, done.stderr[-400:]))
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def long_scene(path):
    lines = ["LWSC", "3", "", "FirstFrame 0", "LastFrame %d" % LONG_FRAMES, "FrameStep 1",
             "FramesPerSecond 30", "", "AddNullObject Long_Range", "ShowObject 6 3",
             "ObjectMotion", "NumChannels 9", "Plugin ItemMotionHandler 1 VRIM_S",
             "VRIM_START", "KEY_NUM 3.000000"]
    # One key over the whole range, two short ones inside it.
    for start, end in ((0, LONG_FRAMES), (900, 960), (24000000, 24000300)):
        lines += ["KEY_START", "FREQ 0.100000", "FREQ_W_X 0.100000", "FREQ_W_Y 0.050000",
                  "FREQ_W_Z 0.000000", "START_F %f" % start, "END_F %f" % end,
                  "FALL_OFF 0.000000"]
    lines += ["VRIM_END", "EndPlugin", ""]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines))


def long_range(args, module):
    scene = os.path.join(args.work, "report-bench-long.lws")
    long_scene(scene)
    page = os.path.join(args.work, "report-bench-long.html")
    check, report = [], []
    for _ in range(max(args.repetitions, 5)):
        check.append(timed([args.vrim, "check", "--module", module, scene]))
        report.append(timed([args.vrim, "report", "--module", module, scene, "-o", page]))
    c, r = statistics.median(check), statistics.median(report)
    ratio = r / c if c > 0 else float("inf")
    print("%d-frame scene (median CPU of %d runs)" % (LONG_FRAMES, len(check)))
    print("  check  %.4f s" % c)
    print("  report %.4f s  %.2fx check (target at most %gx: %s)" %
          (r, ratio, LONG_RATIO, "met" if ratio <= LONG_RATIO else "MISSED"))
    return ratio <= LONG_RATIO


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vrim", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--floor", help="vrim_check_floor, built beside vrim")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--long-only", action="store_true",
                        help="only the 50,000,000-frame scene")
    args = parser.parse_args()
    if args.long_only:
        module = os.path.join(os.path.dirname(args.vrim), "vrim_s.p")
        return 0 if long_range(args, module) else 1
    folder = os.path.join(args.work, "report-bench-scenes")
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(13)
    paths, size = [], 0
    for number in range(SCENES):
        path = os.path.join(folder, "shot%03d.lws" % number)
        text = scene_text(rng, number)
        if not os.path.exists(path) or os.path.getsize(path) != len(text):
            with open(path, "w", newline="\n") as f:
                f.write(text)
        paths.append(path)
        size += len(text)
    page = os.path.join(args.work, "report-bench.html")

    module = os.path.join(os.path.dirname(args.vrim), "vrim_s.p")
    floor, check, report = [], [], []
    for _ in range(args.repetitions):
        if args.floor:
            floor.append(timed([args.floor, module, *paths]))
        check.append(timed([args.vrim, "check", "--module", module, *paths]))
        report.append(timed([args.vrim, "report", "--module", module, *paths, "-o", page]))
    c, r = statistics.median(check), statistics.median(report)
    ratio = r / c if c > 0 else float("inf")
    met = ratio <= TARGET_RATIO
    print("%d scenes, %.1f MB, %d items (median CPU of %d runs)" %
          (SCENES, size / 1e6, SCENES * ITEMS_PER_SCENE, args.repetitions))
    if floor:
        f = statistics.median(floor)
        over = c / f if f > 0 else float("inf")
        print("  floor  %.3f s  (%.1f MB/s)" % (f, size / 1e6 / f if f > 0 else 0))
        print("  check  %.3f s  %.2fx the floor (target at most %.0fx: %s)" %
              (c, over, FLOOR_RATIO, "met" if over <= FLOOR_RATIO else "MISSED"))
        met = met and over <= FLOOR_RATIO
    else:
        print("  check  %.3f s" % c)
    print("  report %.3f s  %.2fx check (target at most %gx: %s)" %
          (r, ratio, TARGET_RATIO, "met" if ratio <= TARGET_RATIO else "MISSED"))
    print("  page: %.2f MB" % (os.path.getsize(page) / 1e6))
    met = long_range(args, module) and met
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
