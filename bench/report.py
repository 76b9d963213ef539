"""Pairs each benchmark of the module with its floor and prints the ratios.

Reads the JSON that vrim_bench writes with --benchmark_out and takes the
median CPU time of each benchmark over its repetitions.
"""
import json
import sys

UNITS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def medians(path):
    with open(path) as f:
        data = json.load(f)
    times = {}
    for run in data["benchmarks"]:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        if run.get("error_occurred"):
            sys.exit("benchmark %s failed: %s" % (run["run_name"], run.get("error_message")))
        times[run["run_name"]] = run["cpu_time"] * UNITS[run.get("time_unit", "ns")]
    return times


def show(ns):
    if ns >= 1e6:
        return "%8.2f ms" % (ns / 1e6)
    if ns >= 1e3:
        return "%8.2f us" % (ns / 1e3)
    return "%8.1f ns" % ns


def verdict(ratio, target):
    if target is None:
        return ""
    return "  (target %.1f: %s)" % (target, "met" if ratio <= target else "MISSED")


def line(label, module, floor, target=None):
    ratio = module / floor
    print("  %-34s module %s   floor %s   ratio %5.2f%s"
          % (label, show(module), show(floor), ratio, verdict(ratio, target)))


def main():
    t = medians(sys.argv[1])

    print("\nshakeEvaluate (floor: get-parameter, one sine, set-parameter; "
          "with more than one key, plus a bare walk of the same chain)")
    for keys in (1, 16, 256):
        for selected in ("first", "last", "none"):
            for falloff in ("on", "off"):
                name = "evaluate/keys:%d/selected:%s/falloff:%s" % (keys, selected, falloff)
                if name not in t:
                    continue
                shaken = selected != "none"
                floor = t["evaluate_floor/shake" if shaken else "evaluate_floor/still"]
                if keys > 1:
                    floor += t["walk/keys:%d/selected:%s" % (keys, selected)]
                label = "%3d keys, selected %-5s fall-off %-3s" % (keys, selected, falloff)
                # The targets are set for an evaluation that shakes the item.
                target = 1.2 if shaken and keys in (1, 256) else None
                line(label, t[name], floor, target)

    for what, floor_what in (("load", "reads, one strtod per number line"),
                             ("save", "writes, one \" %f\" per value")):
        sizes = sorted(int(n.split(":")[1]) for n in t if n.startswith(what + "/keys:"))
        if not sizes:
            continue
        print("\nshake%s (floor: the same host %s)" % (what.capitalize(), floor_what))
        for keys in sizes:
            line("%6d keys" % keys, t["%s/keys:%d" % (what, keys)],
                 t["%s_floor/keys:%d" % (what, keys)], 1.5 if keys == max(sizes) else None)
        if 256 in sizes and max(sizes) > 256:
            big = max(sizes)
            for kind in (what, what + "_floor"):
                per_small = t["%s/keys:256" % kind] / 256
                per_big = t["%s/keys:%d" % (kind, big)] / big
                print("  %-34s time per key at %d keys / at 256 keys: %.2f"
                      % ("scaling, " + ("module" if kind == what else "floor"), big,
                         per_big / per_small))

    sessions = ("key_editor/keys:256/presses:0", "key_editor/keys:256/presses:16")
    if all(name in t for name in sessions):
        print("\nrebuildKeyList, 256 keys: one PREV KEY press at the first key, which only "
              "rebuilds the list and has the host redraw it (a session with 16 presses less "
              "one without, over 16; floor: 256 lines formatted once and the same redraw)")
        press = (t[sessions[1]] - t[sessions[0]]) / 16
        line("per press", press, t["key_list_floor/keys:256"])
        print("  %-34s %s, %.0f%% of a press" % ("the host's redraw alone",
              show(t["key_list_redraw/keys:256"]), 100 * t["key_list_redraw/keys:256"] / press))

if __name__ == "__main__":
    main()
