#!/usr/bin/env python3
"""`vrim diff` beside `vrim check` of both scenes, on two large versions of
one shot, in one run; and diff's peak resident memory.

Generates a scene of about --megabytes MB (shaken items, each with the
host's channel lines around its key block, as report_bench.py makes them)
and a new version of it in which one item in 20 has a key's period changed
and one in 50 its width written in another format; then times, alternating,
`vrim check OLD NEW` and `vrim diff OLD NEW`, and prints the medians of the
children's CPU time, their ratio (target: diff at most 2.5 times check) and
diff's peak resident memory (target: within the commands' 64 MB).

Usage: diff_bench.py --vrim PATH --work DIR [--megabytes N] [--repetitions N]
"""

import argparse
import os
import random
import statistics
import subprocess
import sys

TARGET_RATIO = 2.5
TARGET_RSS_MB = 64.0


def channel_lines(rng):
    lines = []
    for channel in range(9):
        lines += ["Channel %d" % channel, "{ Envelope", "  6"]
        lines += ["  Key %f %d 0 0 0 0 0 0 0" % (rng.uniform(-5, 5), frame)
                  for frame in (0, 12, 24, 48, 72, 120)]
        lines += ["  Behaviors 1 1", "}"]
    return lines


def item_lines(rng, number, version):
    # The same random draws for both versions; the new one differs after them.
    lines = ["AddNullObject Null%06d" % number, "ShowObject 6 3", "ObjectMotion",
             "NumChannels 9"] + channel_lines(rng)
    keys = rng.randint(1, 4)
    lines += ["Plugin ItemMotionHandler 1 VRIM_S", "VRIM_START", "KEY_NUM %f" % keys]
    start = rng.randint(0, 40)
    for k in range(keys):
        end = start + rng.randint(5, 60)
        period = rng.choice([0.1, 0.2, 0.25, 0.5, 1.0])
        width = rng.uniform(0, 0.2)
        if version == 1 and number % 20 == 0 and k == 0:
            period += 0.05
        width_text = "%f" % width
        if version == 1 and number % 50 == 1:
            width_text = "%.6g" % float(width_text)
        lines += ["KEY_START", "FREQ %f" % period, "FREQ_W_X " + width_text,
                  "FREQ_W_Y %f" % rng.uniform(0, 0.2), "FREQ_W_Z %f" % rng.uniform(0, 0.2),
                  "START_F %f" % start, "END_F %f" % end, "FALL_OFF %f" % rng.randint(0, 1)]
        start += rng.randint(10, 40)
    lines += ["VRIM_END", "EndPlugin", "ParentItem 10000000", ""]
    return lines


def write_scene(path, version, megabytes):
    if os.path.exists(path) and os.path.getsize(path) >= megabytes * 1e6:
        return
    rng = random.Random(29)
    size, number = 0, 0
    with open(path, "w", newline="\n") as f:
        head = "LWSC\n3\n\nFirstFrame 0\nLastFrame 240\nFrameStep 1\nFramesPerSecond 24\n\n"
        f.write(head)
        size += len(head)
        while size < megabytes * 1e6:
            text = "\n".join(item_lines(rng, number, version)) + "\n"
            f.write(text)
            size += len(text)
            number += 1


def timed(command):
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    err = child.stderr.read()
    child.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code not in (0, 1):
        sys.exit("%s failed (%d): %s" % (command[1], code, err[-400:]))
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vrim", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--megabytes", type=int, default=200)
    parser.add_argument("--repetitions", type=int, default=3)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    old = os.path.join(args.work, "diff-bench-v1.lws")
    new = os.path.join(args.work, "diff-bench-v2.lws")
    write_scene(old, 0, args.megabytes)
    write_scene(new, 1, args.megabytes)
    module = os.path.join(os.path.dirname(args.vrim), "vrim_s.p")
    check, diff, rss = [], [], []
    for _ in range(args.repetitions):
        check.append(timed([args.vrim, "check", "--module", module, old, new])[0])
        seconds, peak = timed([args.vrim, "diff", "--module", module, old, new, "--quiet"])
        diff.append(seconds)
        rss.append(peak)
    c, d = statistics.median(check), statistics.median(diff)
    ratio = d / c if c > 0 else float("inf")
    peak = max(rss)
    print("two scenes of %.0f and %.0f MB (median CPU of %d runs)" %
          (os.path.getsize(old) / 1e6, os.path.getsize(new) / 1e6, args.repetitions))
    print("  check of both %.2f s" % c)
    print("  diff          %.2f s  %.2fx check (target at most %gx: %s)" %
          (d, ratio, TARGET_RATIO, "met" if ratio <= TARGET_RATIO else "MISSED"))
    print("  diff peak resident memory %.1f MB (target within %.0f MB: %s)" %
          (peak, TARGET_RSS_MB, "met" if peak <= TARGET_RSS_MB else "MISSED"))
    return 0 if ratio <= TARGET_RATIO and peak <= TARGET_RSS_MB else 1


if __name__ == "__main__":
    sys.exit(main())
