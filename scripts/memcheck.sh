#!/usr/bin/env bash
# Runs every test executable of a native build under Valgrind's memcheck:
# any memory error or leak fails the run.
# Usage: scripts/memcheck.sh [BUILD_DIR]   (default build/native)
set -euo pipefail
build=${1:-build/native}
mapfile -t tests < <(ctest --test-dir "$build" --show-only=json-v1 | python3 -c '
import json, sys
for t in json.load(sys.stdin)["tests"]:
    cmd = t.get("command") or []
    wd = next((p["value"] for p in t.get("properties", []) if p["name"] == "WORKING_DIRECTORY"), ".")
    # Only the test programs themselves; shell-script checks have nothing to leak.
    if cmd and not cmd[0].endswith(("sh", "bash", "python3")) and "/bin/" in cmd[0]:
        print(t["name"] + "\t" + wd + "\t" + "\x1f".join(cmd))
')
failed=0
for row in "${tests[@]}"; do
  IFS=$'\t' read -r name wd cmdline <<<"$row"
  IFS=$'\x1f' read -r -a cmd <<<"$cmdline"
  log="$build/memcheck-$name.log"
  if (cd "$wd" && VRIM_UNDER_VALGRIND=1 valgrind --quiet --error-exitcode=99 --leak-check=full \
        --errors-for-leak-kinds=definite,indirect,possible --show-leak-kinds=definite,indirect,possible \
        "${cmd[@]}") >"$log" 2>&1; then
    echo "memcheck ok:     $name"
  else
    echo "memcheck FAILED: $name (see $log)"; tail -n 30 "$log"; failed=1
  fi
done
exit $failed
