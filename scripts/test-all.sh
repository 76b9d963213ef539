#!/usr/bin/env bash
# Everything CI checks, on a fresh Debian 12 machine (run as root the first
# time, to install what is missing):
#   1. native Linux build: unit, scene, panel, tool, browser and validator
#      tests, side by side (those that need the machine alone run alone)
#   2. the product: 32-bit Windows DLL, the same suites under Wine
#   3. AddressSanitizer + UBSan build of the native suite
#   4. the release packages (scripts/release.sh) made from builds 1 and 2,
#      unpacked and checked, and the module built again in another folder
#   5. the fuzzers, each once
#   6. Valgrind memcheck of the programs that run the module in process
# A test that skips in the native or the sanitizer suite fails the command:
# on this machine everything can run, and a missing tool must not pass as a
# test that was not run. The time of each step is printed at the end.
# Usage: scripts/test-all.sh [--fuzz-seconds N]
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=60
if [ "${1:-}" = "--fuzz-seconds" ]; then fuzz_seconds=$2; fi

steps=()
started=$SECONDS
# name, then the command; the step's time goes into the table.
step() {
  local name=$1 t0=$SECONDS status=0
  shift
  printf '\n=== %s\n' "$name"
  # In a subshell of its own, outside any || list: set -e stops the step at
  # its first failing command.
  set +e
  (set -e; "$@")
  status=$?
  set -e
  steps+=("$(printf '%-44s %3d:%02d' "$name" $(((SECONDS - t0) / 60)) $(((SECONDS - t0) % 60)))")
  if [ "$status" -ne 0 ]; then
    echo "=== FAILED: $name (exit $status)" >&2
    exit "$status"
  fi
}
table() {
  local total=$((SECONDS - started))
  printf '\n=== time per step\n'
  printf '  %s\n' "${steps[@]}"
  printf '  %-44s %3d:%02d\n' "total" $((total / 60)) $((total % 60))
}
trap table EXIT

build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

# The suite's results; with no_skips, a skipped test or case fails it.
run_tests() {
  local preset=$1 allow_skips=${2:-} junit
  junit=$PWD/build/$preset/ctest-results.xml
  ctest --preset "$preset" --output-junit "$junit" --test-output-size-passed 1048576
  if [ -n "$allow_skips" ]; then return 0; fi
  python3 - "$junit" <<'PY'
import sys
import xml.etree.ElementTree as ET
skipped = []
for case in ET.parse(sys.argv[1]).iter("testcase"):
    out = "".join(e.text or "" for e in case.iter("system-out"))
    if case.get("status") in ("notrun", "disabled") or case.find("skipped") is not None \
            or "[  SKIPPED ]" in out:
        skipped.append(case.get("name"))
if skipped:
    print("skipped, which this machine must run (install what it lacks with "
          "scripts/install-deps.sh):", ", ".join(skipped), file=sys.stderr)
    sys.exit(1)
PY
}

step "installing missing packages" bash scripts/install-deps.sh
step "native: configure and build" build native
step "native: tests" run_tests native
step "win32: configure and build" build win32
# Wine lacks links, FIFOs and modes: those cases report themselves skipped.
step "win32: tests under Wine" run_tests win32 allow-skips
step "asan: configure and build" build asan
step "asan: tests" run_tests asan
step "release: packaged from the builds, unpacked, checked" \
  bash tests/release/release_test.sh build/win32 build/native
step "fuzzing, ${fuzz_seconds}s per target" \
  env VRIM_FUZZ_JOBS="$(nproc)" scripts/run-fuzzers.sh build/asan "$fuzz_seconds"
step "valgrind memcheck of the module's programs" scripts/memcheck.sh build/native
echo
echo "=== all checks passed"
