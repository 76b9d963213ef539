#!/usr/bin/env bash
# Runs the libFuzzer targets of a build for a bounded time each.
#
#   scripts/run-fuzzers.sh BUILD_DIR [SECONDS] [TARGET...]
#
# BUILD_DIR is a build with VRIM_FUZZ=ON (the asan preset: build/asan).
# Without TARGETs every executable BUILD_DIR/bin/fuzz_* runs. Each starts from
# a copy of its seed corpus fuzz/corpus/<target>/ in BUILD_DIR/fuzz-corpus/,
# so new inputs never land in the repository; crash inputs are written to
# BUILD_DIR/fuzz-artifacts/<target>/. Exits non-zero when any target fails.
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

status=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$build/fuzz-corpus/$name"
  artifacts="$build/fuzz-artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  if [ -d "$repo/fuzz/corpus/$name" ]; then
    cp -n "$repo/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
  fi
  echo "== $name: ${seconds}s from $corpus"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$artifacts/" "$corpus"; then
    echo "== $name FAILED (inputs in $artifacts)" >&2
    status=1
  fi
done
exit $status
