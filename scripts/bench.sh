#!/usr/bin/env bash
# Builds the benchmarks (release preset) and the Windows plug-in, times each
# hot callback beside its floor, times `vrim report` beside `vrim check` on
# the same 300 generated scenes, and reports the plug-in's footprint.
#
# One line per module/floor pair: the module's time, the floor's time (the
# least the same host calls and unavoidable conversions cost, measured in the
# same run) and their ratio. Times are medians of CPU time over repetitions
# run in random order, so that a busy machine spreads its noise over all.
# Usage: scripts/bench.sh [--repetitions N] [--min-time SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=9
min_time=0.2
while [ $# -gt 0 ]; do
  case "$1" in
    --repetitions) repetitions=$2; shift 2 ;;
    --min-time) min_time=$2; shift 2 ;;
    *) echo "usage: $0 [--repetitions N] [--min-time SECONDS]" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
cmake --preset win32 -DVRIM_BENCHMARKS=ON >/dev/null
cmake --build --preset win32 --target vrim_s vrim_s_test vrim_footprint

results=build/release/bench-results.json
echo
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
if ! build/release/bin/vrim_bench \
  --benchmark_repetitions="$repetitions" \
  --benchmark_min_time="$min_time" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results" --benchmark_out_format=json >/dev/null 2>build/release/bench.log; then
  cat build/release/bench.log >&2
  exit 1
fi
python3 bench/report.py "$results"

echo
python3 bench/report_bench.py --vrim build/release/bin/vrim --floor build/release/bin/vrim_check_floor --work build/release || true

echo
echo "footprint of the plug-in"
stripped=build/win32/vrim_s.stripped.p
cp build/win32/bin/vrim_s.p "$stripped"
i686-w64-mingw32-strip "$stripped"
size=$(stat -c %s "$stripped")
dump=$(i686-w64-mingw32-objdump -p "$stripped")
awk -v size="$size" 'BEGIN { printf "  vrim_s.p (PE32, stripped): %d bytes, %.1f KB (target under 150 KB: %s)\n", size, size / 1024, size < 150 * 1024 ? "met" : "MISSED" }'
echo "  imports: $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | paste -sd' ')"
echo "  exports: $(build/release/bin/vrim_exports "$stripped" | paste -sd' ')"
(cd build/release/bin && ./vrim_footprint) | sed 's/^/  /'
(cd build/win32/bin && WINEPREFIX="$PWD/../wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
   wine vrim_footprint.exe </dev/null 2>/dev/null | tr -d '\r') | sed 's/^/  /' ||
  echo "  (the 32-bit footprint needs Wine)"
