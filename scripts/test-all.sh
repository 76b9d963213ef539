#!/usr/bin/env bash
# Everything CI checks, on a fresh Debian 12 machine (run as root the first
# time, to install what is missing):
#   1. native Linux build: unit, scene, panel, tool and validator tests
#   2. the product: 32-bit Windows DLL, the same suites under Wine
#   3. AddressSanitizer + UBSan build of the native suite, then the fuzzers
#   4. the release packages (scripts/release.sh) as their users unpack them
#   5. Valgrind memcheck of the native suite
# Usage: scripts/test-all.sh [--fuzz-seconds N]
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=60
if [ "${1:-}" = "--fuzz-seconds" ]; then fuzz_seconds=$2; fi

step() { printf '\n=== %s\n' "$*"; }

step "installing missing packages"
bash scripts/install-deps.sh

for preset in native win32 asan; do
  step "$preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  step "$preset: tests"
  ctest --preset "$preset"
done

step "release packages: built, unpacked and checked; the same bytes as build/win32"
bash tests/release/release_test.sh build/win32

if [ -x scripts/run-fuzzers.sh ]; then
  step "fuzzing, ${fuzz_seconds}s per target"
  scripts/run-fuzzers.sh build/asan "$fuzz_seconds"
fi

step "valgrind memcheck of the native suite"
scripts/memcheck.sh build/native

step "all checks passed"
