#!/usr/bin/env bash
# Checks a built vrim_s.p the way an animator's host will meet it:
# the right file format, one export (_mod_descrip), no dependency beyond the
# system's own libraries, and no static constructors to run at load.
# Usage: check_module_file.sh native|win32 PATH EXPORTS-COMMAND...
#   EXPORTS-COMMAND: the build's vrim_exports (after "wine" for a Windows build)
set -euo pipefail
kind=$1 file=$2
shift 2
fail() { echo "FAIL: $*" >&2; exit 1; }

exports=$("$@" "$file" | tr -d '\r') || fail "vrim_exports could not read $file"
[ "$exports" = "_mod_descrip" ] || fail "exports are '$exports', want only _mod_descrip"

case "$kind" in
win32)
  dump=$(i686-w64-mingw32-objdump -p "$file")
  grep -q 'Magic.*010b.*(PE32)' <<<"$dump" || fail "not a PE32 image"
  grep -q 'i386' <<<"$(i686-w64-mingw32-objdump -f "$file")" || fail "not an i386 image"
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll|msvcrt.dll|ucrtbase.dll|api-ms-win-crt-*.dll) ;;
      *) fail "imports non-system DLL $dll" ;;
    esac
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
  nm=i686-w64-mingw32-nm
  ;;
native)
  file -L "$file" | grep -q 'ELF 64-bit LSB shared object' || fail "not an ELF shared object"
  nm=nm
  ;;
*) fail "unknown kind $kind" ;;
esac

# GCC names the function that runs a file's static constructors _GLOBAL__sub_I_*.
if "$nm" "$file" 2>/dev/null | grep -q '_GLOBAL__sub_I'; then
  fail "has static constructors: $("$nm" "$file" | grep _GLOBAL__sub_I | head -3)"
fi
echo "PASS: $kind $file"
