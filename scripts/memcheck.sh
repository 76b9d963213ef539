#!/usr/bin/env bash
# Runs test programs of a native build under Valgrind's memcheck: any memory
# error or leak fails the run.
#
# Usage: scripts/memcheck.sh [BUILD_DIR] [--all]   (default build/native)
#
# By default, the programs that run the module through the stand-in host,
# in process: what Valgrind sees there and the AddressSanitizer build does
# not is a read of memory the module never wrote (a key record or panel
# state left uninitialised), which the host would turn into a random shake.
# The tool's code is left to the sanitizer build, whose leak and bounds
# checks cover it; the programs that start the vrim binary would check only
# their own harness here. --all runs every test program, as before a
# release by hand. VRIM_MEMCHECK_JOBS programs run at a time (default 2).
set -euo pipefail
build=build/native
all=false
for arg in "$@"; do
  case "$arg" in
    --all) all=true ;;
    *) build=$arg ;;
  esac
done
module_programs='^(foundation_tests|panel_tests|keyblock_tests|oom_tests|footprint_tests|validate_vrim_s)$'
mapfile -t tests < <(ctest --test-dir "$build" --show-only=json-v1 |
  ALL=$all PICK="$module_programs" python3 -c '
import json, os, re, sys
pick = None if os.environ["ALL"] == "true" else re.compile(os.environ["PICK"])
for t in json.load(sys.stdin)["tests"]:
    cmd = t.get("command") or []
    wd = next((p["value"] for p in t.get("properties", []) if p["name"] == "WORKING_DIRECTORY"), ".")
    # Only the test programs themselves; shell-script checks have nothing to leak.
    if not cmd or cmd[0].endswith(("sh", "bash", "python3")) or "/bin/" not in cmd[0]:
        continue
    if pick is None or pick.search(t["name"]):
        print(t["name"] + "\t" + wd + "\t" + "\x1f".join(cmd))
')
if [ "$all" = false ] && [ "${#tests[@]}" -lt 6 ]; then
  # A renamed program would otherwise drop out of the check unnoticed.
  echo "memcheck: ${#tests[@]} of the 6 module programs found in $build: ${tests[*]%%$'\t'*}" >&2
  exit 1
fi

run_one() {
  local name=$1 wd=$2 cmdline=$3 cmd
  IFS=$'\x1f' read -r -a cmd <<<"$cmdline"
  (cd "$wd" && VRIM_UNDER_VALGRIND=1 valgrind --quiet --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect,possible --show-leak-kinds=definite,indirect,possible \
    "${cmd[@]}") >"$build/memcheck-$name.log" 2>&1
}

jobs=${VRIM_MEMCHECK_JOBS:-2}
declare -A pids=()
names=()
for row in "${tests[@]}"; do
  IFS=$'\t' read -r name wd cmdline <<<"$row"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  run_one "$name" "$wd" "$cmdline" &
  pids[$name]=$!
  names+=("$name")
done
failed=0
for name in "${names[@]}"; do
  if wait "${pids[$name]}"; then
    echo "memcheck ok:     $name"
  else
    echo "memcheck FAILED: $name (see $build/memcheck-$name.log)"
    tail -n 30 "$build/memcheck-$name.log"
    failed=1
  fi
done
exit $failed
