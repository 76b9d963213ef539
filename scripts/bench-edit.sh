#!/usr/bin/env bash
# vrim edit on a generated scene (200 MB unless told) beside a plain copy of
# the same file in the same run: the ratio of their median wall times, and
# the tool's peak resident memory. Needs about three times the scene's size
# of free disk in build/release.
# Usage: scripts/bench-edit.sh [--scene-mb N] [--repetitions N]
set -euo pipefail
cd "$(dirname "$0")/.."
scene_mb=200
repetitions=5
while [ $# -gt 0 ]; do
  case "$1" in
    --scene-mb) scene_mb=$2; shift 2 ;;
    --repetitions) repetitions=$2; shift 2 ;;
    *) echo "usage: $0 [--scene-mb N] [--repetitions N]" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target vrim_edit_bench
results=build/release/edit-bench-results.json
(cd build/release && bin/vrim_edit_bench --scene-mb "$scene_mb" \
  --benchmark_repetitions="$repetitions" --benchmark_min_time=0.01 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$(basename "$results")" --benchmark_out_format=json >/dev/null)
python3 bench/edit/report.py "$results"
