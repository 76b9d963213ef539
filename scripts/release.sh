#!/usr/bin/env bash
# Builds the release packages from a clean copy of the sources and writes
# them to dist/:
#   vrim_s-VERSION-win32.zip          for animators: vrim_s.p, vrim.exe, guides
#   vrim-VERSION-linux-x86_64.tar.gz  for pipelines: bin/vrim, lib/vrim/vrim_s.p
#   SHA256SUMS                        of the two archives
# VERSION is the CMake project version. Two runs on the same commit, in any
# folders and at any time, give the same bytes: the binaries carry no time
# stamp and no build path, and the archives take their file times from the
# commit and list their files in one order.
#
# Usage: scripts/release.sh [--out DIR] [--work DIR] [--worktree] [--package-only]
#                           [--from-builds WIN32_BUILD NATIVE_BUILD]
#   --out DIR       where the archives go (default: dist/ in the repository)
#   --work DIR      the build folder, kept afterwards (default: a temporary
#                   folder, removed at the end)
#   --worktree      build the files of the working tree (tracked and new, not
#                   ignored) instead of the commit, still dated by the commit;
#                   the release test uses it to test what is checked out
#   --package-only  package again what an earlier run with the same --work
#                   installed, without building
#   --from-builds W N  package what the builds W (win32 preset) and N (native
#                   preset) already made instead of building again: the test
#                   command's own builds, whose binaries are the release's
#                   bytes (their configurations are the release's, and no
#                   folder reaches the binaries); the sources beside them
#                   are the working tree's
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/dist
work=
from_worktree=false
package_only=false
from_builds=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --worktree) from_worktree=true; shift ;;
    --package-only) package_only=true; shift ;;
    --from-builds) from_builds=("$2" "$3"); shift 3 ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "release.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
  esac
done
if [ -z "$work" ]; then
  if $package_only; then
    echo "release.sh: --package-only needs the --work folder of an earlier run" >&2
    exit 2
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$out" "$work"
out=$(cd "$out" && pwd)
work=$(cd "$work" && pwd)
jobs=${VRIM_JOBS:-2}

# Every time inside the packages, and __DATE__ if anything used it, is the
# commit's: a rebuild next year gives the same bytes. Packaging again uses
# the time of the commit that was built.
if $package_only; then
  SOURCE_DATE_EPOCH=$(cat "$work/source-date-epoch")
else
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct HEAD)
  echo "$SOURCE_DATE_EPOCH" >"$work/source-date-epoch"
fi
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C

src=$work/src
if ! $package_only; then
  rm -rf "$src" "$work/win32" "$work/native" "$work/stage"
  mkdir -p "$src"
  if $from_worktree || [ ${#from_builds[@]} -gt 0 ]; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
      tar --null -T - -cf -) | tar -xf - -C "$src"
  else
    if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
      echo "release.sh: note: uncommitted changes are not in the release (it builds HEAD)" >&2
    fi
    git -C "$root" archive --format=tar HEAD | tar -xf - -C "$src"
  fi

  # The build types are the presets': the Windows files Release, the Linux
  # ones RelWithDebInfo (stripped when installed), so that the test
  # command's builds are the release's bytes and packaging them needs no
  # build of its own.
  build_type() { if [ "$1" = win32 ]; then echo Release; else echo RelWithDebInfo; fi; }

  # name, then extra configure arguments
  build() {
    local name=$1
    shift
    echo "release.sh: building $name in $work/$name" >&2
    { cmake -S "$src" -B "$work/$name" -G Ninja -DCMAKE_BUILD_TYPE="$(build_type "$name")" \
        -DVRIM_TESTS=OFF "$@" &&
      cmake --build "$work/$name" -j "$jobs"; } >"$work/$name.log" 2>&1 ||
      { tail -40 "$work/$name.log" >&2; exit 1; }
    # binutils' strip stamps a Windows file with the time it runs unless
    # SOURCE_DATE_EPOCH names one; 0 keeps the linker's "no time stamp".
    SOURCE_DATE_EPOCH=0 cmake --install "$work/$name" --prefix "$work/stage/$name" --strip \
      >>"$work/$name.log"
  }
  # name, then the build folder to install from
  installed() {
    local name=$1 dir
    dir=$(cd "$2" && pwd) || exit 1
    local type
    type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$dir/CMakeCache.txt")
    if [ "$type" != "$(build_type "$name")" ]; then
      echo "release.sh: $dir is a '$type' build; the $name release is built $(build_type "$name")" >&2
      exit 1
    fi
    echo "release.sh: installing $name from $dir" >&2
    ln -sfn "$dir" "$work/$name"
    SOURCE_DATE_EPOCH=0 cmake --install "$dir" --prefix "$work/stage/$name" --strip \
      >"$work/$name.log" 2>&1 || { tail -40 "$work/$name.log" >&2; exit 1; }
  }
  if [ ${#from_builds[@]} -gt 0 ]; then
    installed win32 "${from_builds[0]}"
    installed native "${from_builds[1]}"
  else
    build win32 --toolchain "$src/cmake/mingw-i686.cmake"
    build native
  fi
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/win32/CMakeCache.txt")
[ -n "$version" ] || { echo "release.sh: no project version in $work/win32" >&2; exit 1; }
said=$("$work/stage/native/bin/vrim" --version | head -1)
if [ "$said" != "vrim $version" ]; then
  echo "release.sh: the tool says '$said', the project version is $version" >&2
  exit 1
fi

# Files and folders get fixed modes and the commit's time, so that neither
# the umask nor the build's clock reaches the archives.
settle() {
  find "$1" -type d -exec chmod 755 {} +
  find "$1" -type f -exec chmod 644 {} +
  for f in "${@:2}"; do chmod 755 "$f"; done
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# Windows text files get Windows line ends: older Notepads show a file with
# bare line feeds as one line.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }

pkg=$work/package
rm -rf "$pkg"
mkdir -p "$pkg"

win=vrim_s-$version-win32
mkdir "$pkg/$win"
cp "$work/stage/win32/bin/vrim_s.p" "$work/stage/win32/bin/vrim.exe" "$pkg/$win/"
crlf "$src/docs/animators.md" "$pkg/$win/animators.txt"
# The pictures the two guides show.
cp "$src/docs/key-editor.png" "$src/docs/shake.png" "$src/docs/report.png" \
  "$src/docs/edit-terminal.png" "$pkg/$win/"
crlf "$src/docs/vrim.md" "$pkg/$win/vrim.md"
crlf "$src/CHANGELOG.md" "$pkg/$win/CHANGELOG.md"
crlf "$src/LICENSE" "$pkg/$win/LICENSE.txt"
(cd "$pkg/$win" && find . -type f ! -name SHA256SUMS -printf '%P\n' | sort |
  xargs sha256sum >SHA256SUMS)
settle "$pkg/$win" "$pkg/$win/vrim.exe"

linux=vrim-$version-linux-x86_64
cp -r "$work/stage/native" "$pkg/$linux"
(cd "$pkg/$linux" && find . -type f ! -name SHA256SUMS -printf '%P\n' | sort |
  xargs sha256sum >SHA256SUMS)
settle "$pkg/$linux" "$pkg/$linux/bin/vrim"

zipfile=$out/$win.zip
tarfile=$out/$linux.tar.gz
rm -f "$zipfile" "$tarfile"
# -X: no owner ids or extra time fields; -D: no folder entries; the file list
# comes sorted on standard input.
(cd "$pkg" && find "$win" -type f | sort | zip -X -D -9 -q "$zipfile" -@)
tar -C "$pkg" --sort=name --format=gnu --mtime="@$SOURCE_DATE_EPOCH" \
  --owner=0 --group=0 --numeric-owner -cf - "$linux" | gzip -9 -n >"$tarfile"
# The Python package as a wheel beside the tarball, for pip in a virtual
# environment (a native build without the Python module gives none).
wheel=()
if [ -d "$work/native/python/vrim" ]; then
  made=$(python3 "$src/python/make_wheel.py" --build "$work/native" --out "$out" \
    --version "$version") || exit 1
  wheel=("$(basename "$made")")
fi
(cd "$out" && sha256sum "$win.zip" "$linux.tar.gz" "${wheel[@]}" >SHA256SUMS)

echo "release $version:"
(cd "$out" && ls -l "$win.zip" "$linux.tar.gz" "${wheel[@]}" SHA256SUMS | awk '{printf "  %s  %d bytes\n", $NF, $5}')
echo "  in $out"
