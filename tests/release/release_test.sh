#!/usr/bin/env bash
# The release packages as their users meet them: packaged by
# scripts/release.sh from the test command's own builds of this working tree
# (the release's configurations), unpacked into clean folders, checked
# against their SHA256SUMS, the tool run from each without being told where
# its module is, the Windows files' version resources read back (exiftool),
# the DLL's imports held against Windows XP's, and each module file built
# again in another folder and compared byte for byte with the packaged one.
# Usage: tests/release/release_test.sh [WIN32_BUILD [NATIVE_BUILD]]
#   (default: build/win32 and build/native, builds of the win32 and native
#   presets from this working tree)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
win32_build=${1:-$root/build/win32}
native_build=${2:-$root/build/native}
tmp=$(mktemp -d)
export WINEPREFIX=$tmp/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT
passed=0 failed=0
check() {
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then
    echo "PASS: $name"
    passed=$((passed + 1))
  else
    echo "FAIL: $name"
    sed 's/^/    /' <<<"$out" | tail -25
    failed=$((failed + 1))
  fi
}
fail() { echo "$*"; return 1; }

echo "building the release (log: $tmp/release.log)"
if ! bash "$root/scripts/release.sh" --from-builds "$win32_build" "$native_build" \
    --work "$tmp/work" --out "$tmp/dist" >"$tmp/release.log" 2>&1; then
  tail -40 "$tmp/release.log"
  echo "0 passed, 1 failed"
  exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tmp/work/win32/CMakeCache.txt")
win=$tmp/win/vrim_s-$version-win32
linux=$tmp/linux/vrim-$version-linux-x86_64
mkdir -p "$tmp/win" "$tmp/linux"
unzip -q "$tmp/dist/vrim_s-$version-win32.zip" -d "$tmp/win"
tar -xzf "$tmp/dist/vrim-$version-linux-x86_64.tar.gz" -C "$tmp/linux"

# Every file of a package is listed in its SHA256SUMS, and every sum holds.
sums_hold() {
  cd "$1" && sha256sum --check --strict --quiet SHA256SUMS || return 1
  diff <(find . -type f ! -name SHA256SUMS -printf '%P\n' | sort) <(awk '{print $2}' SHA256SUMS | sort)
}
check "the archives' own SHA256SUMS" bash -c "cd '$tmp/dist' && sha256sum --check --strict SHA256SUMS"
check "Windows package: $(cd "$win" && echo *)" sums_hold "$win"
check "Linux package: $(cd "$linux" && find . -type f -printf '%P\n' | sort | tr '\n' ' ')" sums_hold "$linux"

# Each guide's pictures travel with it: a picture the guide names is beside it.
pictures_beside() {
  local guide missing=""
  for guide in "$@"; do
    [ -f "$guide" ] || { missing+=" $guide itself"; continue; }
    while read -r picture; do
      [ -f "$(dirname "$guide")/$picture" ] || missing+=" $(basename "$guide"):$picture"
    done < <(grep -o '](\([^)]*\.png\))' "$guide" | sed 's/^](//; s/)$//')
  done
  [ -z "$missing" ] || fail "pictures missing:$missing"
}
check "every picture the guides show is in both packages" pictures_beside \
  "$win/animators.txt" "$win/vrim.md" "$linux/share/doc/vrim/animators.md" "$linux/share/doc/vrim/vrim.md"

# The unpacked tool finds the module installed beside it, and says which.
linux_tool() {
  local said
  said=$("$linux/bin/vrim" --version) || return 1
  [ "$said" = "vrim $version"$'\n'"module: $linux/lib/vrim/vrim_s.p" ] || fail "--version says: $said"
  said=$(VRIM_MODULE=/elsewhere/vrim_s.p "$linux/bin/vrim" --version | tail -1)
  [[ "$said" == "module: /elsewhere/vrim_s.p"* ]] || fail "VRIM_MODULE ignored: $said"
  "$linux/bin/vrim" validate --level 3
}
check "Linux: vrim --version, vrim validate --level 3" linux_tool

# The manual page renders, and the bash completion is where bash looks.
linux_extras() {
  [ -f "$linux/share/bash-completion/completions/vrim" ] || fail "no bash completion"
  [ -f "$linux/share/zsh/site-functions/_vrim" ] || fail "no zsh completion"
  [ -f "$linux/share/fish/vendor_completions.d/vrim.fish" ] || fail "no fish completion"
  MANWIDTH=80 man -l "$linux/share/man/man1/vrim.1" 2>/dev/null | grep -q "vrim" || fail "vrim.1 does not render"
}
check "Linux: vrim.1 and the bash completion" linux_extras
# The package's Python module imports from where the package put it and
# finds the module installed beside it.
linux_python() {
  PYTHONPATH="$linux/lib/python3/dist-packages" /usr/bin/python3 -c '
import sys, vrim
assert vrim.module_path() == sys.argv[1], vrim.module_path()
scene = vrim.open(sys.argv[2])
assert [i.name for i in scene.items] == ["Camera_Rig", "Lamp_Swing"]
assert scene.item("Lamp_Swing").keys[0].period == 0.5
' "$linux/lib/vrim/vrim_s.p" "$root/samples/two-items.lws"
}
check "Linux: import vrim from lib/python3/dist-packages" linux_python

windows_tool() {
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1
  wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
  cd "$win" || return 1
  local said
  said=$(wine vrim.exe --version | tr -d '\r') || return 1
  [[ "$said" == "vrim $version"$'\n'"module: "*'\vrim_s.p' ]] || fail "--version says: $said"
  wine vrim.exe validate vrim_s.p --level 3
}
check "Windows under Wine: vrim.exe --version, vrim.exe validate vrim_s.p --level 3" windows_tool

version_resource() {
  local file=$1 want
  want=$(printf '%s\n' "FileDescription: ." "FileVersion: $version" "FileVersionNumber: $version.0" \
    "OriginalFileName: $(basename "$file")" "ProductName: VRIM_S item shake" \
    "ProductVersion: $version" "ProductVersionNumber: $version.0")
  diff <(printf '%s\n' "$want") <(exiftool -S -FileDescription -FileVersion -FileVersionNumber \
    -OriginalFileName -ProductName -ProductVersion -ProductVersionNumber "$file" |
    sed 's/^FileDescription: .*/FileDescription: ./')
}
check "version resource of vrim_s.p" version_resource "$win/vrim_s.p"
check "version resource of vrim.exe" version_resource "$win/vrim.exe"

dll_file() {
  local size
  size=$(stat -c %s "$win/vrim_s.p")
  [ "$size" -lt 102400 ] || fail "vrim_s.p is $size bytes"
  bash "$root/tests/artifact/check_module_file.sh" win32 "$win/vrim_s.p" "$tmp/work/native/bin/vrim_exports"
}
check "vrim_s.p: under 100 KB, exports only _mod_descrip, system DLLs only" dll_file

# Every function the DLL imports must be one that Windows XP's KERNEL32.dll
# or msvcrt.dll exports.
xp_imports() {
  local list=$root/packaging/windows-xp-imports.txt missing
  missing=$(i686-w64-mingw32-objdump -p "$win/vrim_s.p" | awk '
    /^[[:space:]]*DLL Name:/ { dll = tolower($3) }
    /^[[:space:]]*[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[_A-Za-z]/ && dll { print dll " " $3 }' |
    sort -u | comm -23 - <(grep -v '^#' "$list" | sort -u))
  [ -z "$missing" ] || fail "not in Windows XP: $missing"
}
check "vrim_s.p imports only functions Windows XP has" xp_imports

sse2_only() {
  local code
  code=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$win/vrim_s.p")
  grep -q 'xmm' <<<"$code" || fail "no SSE2 code: the guide's SSE2 requirement is out of date"
  ! grep -Em3 '[[:space:]](ymm|zmm)|[[:space:]](haddp|hsubp|addsubp|movddup|movs[hl]dup|lddqu|pshufb|palignr|phadd|phsub|pmaddubsw|pmulhrsw|psign|pabs|round[sp][sd]|blendv?p|pblend|ptest|pmulld|pmovzx|pmovsx|insertps|extractps|popcnt|crc32)' <<<"$code"
}
check "vrim_s.p needs SSE2 and nothing newer" sse2_only

# The repository's own folders, not its root alone: a short root such as
# /src also begins the paths the compiler's runtime carries for its own
# sources (../src/libstdc++-v3/...), which are no folder of ours.
no_paths() {
  local patterns=(-e "$tmp") dir
  for dir in "$root"/*/; do patterns+=(-e "$dir"); done
  ! grep -lF "${patterns[@]}" "$win/vrim_s.p" "$win/vrim.exe" "$linux/bin/vrim" "$linux/lib/vrim/vrim_s.p"
}
check "no build folder named in the binaries" no_paths

# The module built again from a copy of the sources, in another folder and
# with nothing else of the project configured, gives the packaged bytes: no
# folder, time or test build reaches the file animators install. The module's
# own sources only; the tool's objects are the same compiler's work on the
# same flags.
same_module_elsewhere() {
  local kind=$1 packaged=$2 strip=$3 dir=$tmp/again-$1 type
  shift 3
  type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$tmp/work/$kind/CMakeCache.txt")
  { cmake -S "$tmp/work/src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DVRIM_TESTS=OFF \
      -DVRIM_TOOLS=OFF "$@" && cmake --build "$dir" --target vrim_s; } >"$dir.log" 2>&1 ||
    { tail -20 "$dir.log"; return 1; }
  SOURCE_DATE_EPOCH=0 "$strip" -o "$dir/vrim_s.stripped" "$dir/bin/vrim_s.p" || return 1
  cmp "$dir/vrim_s.stripped" "$packaged"
}
check "vrim_s.p for Windows built again in another folder: the same bytes" same_module_elsewhere \
  win32 "$win/vrim_s.p" i686-w64-mingw32-strip --toolchain "$tmp/work/src/cmake/mingw-i686.cmake"
check "vrim_s.p for Linux built again in another folder: the same bytes" same_module_elsewhere \
  native "$linux/lib/vrim/vrim_s.p" strip

# Packaging again later, with other file times and modes, changes no byte.
same_archives() {
  find "$tmp/work/stage" -exec touch {} + && chmod -R go-r "$tmp/work/stage" || return 1
  bash "$root/scripts/release.sh" --package-only --work "$tmp/work" --out "$tmp/again" >/dev/null || return 1
  cmp "$tmp/dist/SHA256SUMS" "$tmp/again/SHA256SUMS"
}
check "archives packaged again are identical" same_archives

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
