#!/usr/bin/env bash
# Runs the libFuzzer targets of a build for a bounded time each, and prints
# how fast each ran.
#
#   scripts/run-fuzzers.sh BUILD_DIR [SECONDS] [TARGET...]
#
# BUILD_DIR is a build with VRIM_FUZZ=ON (the asan preset: build/asan).
# Without TARGETs every executable BUILD_DIR/bin/fuzz_* runs. Each starts from
# a copy of its seed corpus fuzz/corpus/<target>/ in BUILD_DIR/fuzz-corpus/,
# so new inputs never land in the repository; crash inputs are written to
# BUILD_DIR/fuzz-artifacts/<target>/. Exits non-zero when any target fails.
# The last lines give each target's executions per second and peak resident
# memory, as libFuzzer counted them.
#
# A long (nightly) run: give each target hours, one target per free core,
# e.g.
#
#   scripts/run-fuzzers.sh build/asan 28800 fuzz_scene_reader &
#   scripts/run-fuzzers.sh build/asan 28800 fuzz_keyblock fuzz_panel_script
#
# At the rates the short run prints (over 1,000 a second for the scene
# reader under the sanitizers on a small, busy machine) eight hours are some
# tens of millions of inputs per target. The corpus it grows stays in
# BUILD_DIR/fuzz-corpus/ and is picked up by the next run. To keep what it
# found as regression inputs, merge it into the repository's seeds, which
# keeps only the inputs that reach something new:
#
#   BUILD_DIR/bin/TARGET -merge=1 fuzz/corpus/TARGET BUILD_DIR/fuzz-corpus/TARGET
#
# The test command replays every seed (CTest's TARGET_corpus tests).
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [SECONDS] [TARGET...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
repo=$(cd "$(dirname "$0")/.." && pwd)

targets=()
if [ $# -gt 0 ]; then
  for name in "$@"; do targets+=("$build/bin/$name"); done
else
  for path in "$build"/bin/fuzz_*; do
    [ -x "$path" ] && targets+=("$path")
  done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in $build/bin (configure with the asan preset)" >&2
  exit 1
fi

# One target: its run's log is BUILD_DIR/fuzz-artifacts/TARGET.log.
fuzz_one() {
  local target=$1 name corpus artifacts
  name=$(basename "$target")
  corpus="$build/fuzz-corpus/$name"
  artifacts="$build/fuzz-artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  if [ -d "$repo/fuzz/corpus/$name" ]; then
    cp -n "$repo/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
  fi
  "$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" >"$artifacts.log" 2>&1
}

# VRIM_FUZZ_JOBS targets at a time (default 1): libFuzzer runs on one core,
# so a machine with free cores fuzzes as long in less time.
jobs=${VRIM_FUZZ_JOBS:-1}
declare -A pids=()
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  echo "== $(basename "$target"): ${seconds}s from $build/fuzz-corpus/$(basename "$target")"
  fuzz_one "$target" &
  pids[$target]=$!
done

status=0
rates=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  artifacts="$build/fuzz-artifacts/$name"
  log="$artifacts.log"
  if ! wait "${pids[$target]}"; then
    tail -n 40 "$log"
    echo "== $name FAILED (inputs in $artifacts, log $log)" >&2
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
  rates+=("$(printf '%-20s %8s exec/s  %9s inputs  %5s MB peak resident' \
    "$name" "${rate:-?}" "${runs:-?}" "${rss:-?}")")
done
echo "== fuzzing rates, ${seconds}s per target:"
printf '   %s\n' "${rates[@]}"
exit $status
