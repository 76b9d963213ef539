#!/usr/bin/env bash
# Builds the module for Linux and for 32-bit Windows, then previews the shake
# of a fresh instance's default key: a frame table and shake.svg.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for preset in native win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
echo
echo "Windows plug-in: build/win32/bin/vrim_s.p"
build/native/bin/vrim preview --svg shake.svg
echo "plot written to shake.svg"
