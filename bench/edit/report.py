"""Prints vrim edit's time beside the plain copy's, and its peak memory.

Reads the JSON that vrim_edit_bench writes with --benchmark_out: medians of
wall time over the repetitions (the edit and the copy both wait for the
disk, so wall time is what a user waits). Exits 1 when a target is missed.
"""
import json
import sys

MAX_RATIO = 1.5
MAX_RSS_MB = 8.0


def main():
    with open(sys.argv[1]) as f:
        data = json.load(f)
    median = {}
    for run in data["benchmarks"]:
        if run.get("error_occurred"):
            sys.exit("benchmark %s failed: %s" % (run["run_name"], run.get("error_message")))
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        if run.get("run_type") == "iteration" and any(
                r.get("aggregate_name") == "median" for r in data["benchmarks"]):
            continue
        median[run["run_name"].split("/")[1]] = run
    copy = median["copy"]["real_time"]
    edit = median["vrim_edit_one_item"]["real_time"]
    rss = median["vrim_edit_one_item"]["peak_rss_mb"]
    ratio = edit / copy
    ok = ratio <= MAX_RATIO and rss < MAX_RSS_MB
    print("vrim edit, one item of the scene, against a plain copy of it (median wall time)")
    print("  copy      %8.0f ms" % copy)
    print("  vrim edit %8.0f ms   ratio %.2f (target %.1f: %s)"
          % (edit, ratio, MAX_RATIO, "met" if ratio <= MAX_RATIO else "MISSED"))
    print("  vrim edit peak resident memory %.1f MB (target under %.0f MB: %s)"
          % (rss, MAX_RSS_MB, "met" if rss < MAX_RSS_MB else "MISSED"))
    sys.exit(0 if ok else 1)


main()
