#!/usr/bin/env bash
# Builds what a newcomer runs first, and nothing else: the module for Linux and
# for 32-bit Windows, the vrim tool and the Python module; then previews the
# shake of a fresh instance's default key (a frame table and shake.svg) and
# opens the sample scene from Python. The tests build with the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target vrim vrim_s vrim_python
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target vrim_s
echo
echo "Windows plug-in: build/win32/bin/vrim_s.p"
build/native/bin/vrim preview --svg shake.svg
echo "plot written to shake.svg"
echo
PYTHONPATH=build/native/python /usr/bin/python3 -c '
import vrim
scene = vrim.open("samples/two-items.lws")
for item in scene.items:
    print(f"python: {item.name}: {len(item.keys)} keys, offsets at frame 10: {item.offsets([10])[0][2:]}")
'
cat <<'NEXT'

Next steps:
  bash scripts/test-all.sh          every test: native, Windows under Wine, sanitizers, fuzzers, packages
  build/native/bin/vrim --help      the tool; its guide is docs/vrim.md
  docs/animators.md                 the key editor, for animators
  PYTHONPATH=build/native/python python3 -c 'import vrim; help(vrim)'
NEXT
