#!/usr/bin/env python3
"""One million evaluations into a NumPy array from Python, beside the same
evaluations from C++ through the tool's library interface, in one run.

The binding hands the module a buffer and lets it write every row: no Python
work per sample, so Python should cost at most 1.2 times the C++ floor.
Prints the medians of each side's CPU time and the ratio; exits 1 when the
ratio is above the target.

Usage (any Linux build with the Python module; ctest's python_bench runs it
with --report-only):
    PYTHONPATH=build/release/python python3 bench/python_bench.py \\
        --bin build/release/bin --scene samples/two-items.lws --item Lamp_Swing
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

TARGET_RATIO = 1.2


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--scene", required=True)
    parser.add_argument("--item", required=True)
    parser.add_argument("--samples", type=int, default=1_000_000)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--report-only", action="store_true",
                        help="print the ratio and exit 0 whatever it is")
    args = parser.parse_args()

    import numpy
    import vrim

    module = os.path.join(args.bin, "vrim_s.p")
    item = vrim.open(args.scene, module=module).item(args.item)
    frames = numpy.arange(args.samples, dtype=numpy.float64) % 1000 + 0.25

    # Each side warmed by one unmeasured run, then measured in turn, so that
    # the machine's load falls on both alike.
    item.offsets_array(frames)
    python_times, floor_times = [], []
    for _ in range(args.repetitions):
        start = time.process_time()
        rows = item.offsets_array(frames)
        python_times.append(time.process_time() - start)
        assert rows.shape == (args.samples, 5)
        floor = subprocess.run(
            [os.path.join(args.bin, "vrim_library_evaluate"), module, args.scene, args.item,
             str(args.samples), "2"], capture_output=True, text=True, check=True)
        floor_times.append(float(floor.stdout.split()[1]))
    python_s = statistics.median(python_times)
    floor_s = statistics.median(floor_times)
    ratio = python_s / floor_s
    print(f"{args.samples} evaluations: Python into NumPy {python_s:.3f} s, "
          f"C++ floor {floor_s:.3f} s: {ratio:.2f}x (target at most {TARGET_RATIO}x)")
    return 0 if ratio <= TARGET_RATIO or args.report_only else 1


if __name__ == "__main__":
    sys.exit(main())
