#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian 12 machine.
# Safe to run again: it only installs what is missing. Needs root.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest libgmock-dev
      libbenchmark-dev libcli11-dev mingw-w64 g++-mingw-w64-i686-posix valgrind
      locales librsvg2-bin libxml2-utils python3 binutils-mingw-w64-i686 wine wine32:i386
      nlohmann-json3-dev chromium libncurses-dev tmux libxxhash-dev libdtl-dev util-linux libssl-dev tidy
      zip unzip libimage-exiftool-perl pybind11-dev python3-dev python3-pytest python3-numpy mypy
      python3-jsonschema
      pkgconf) # pkg-config: the wide-character ncurses of the terminal editor
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
# The browser test fetches axe-core with npm. Node.js may come from elsewhere
# than Debian (NodeSource's nodejs carries its own npm and conflicts with
# Debian's), so the command is what counts, not the package.
command -v npm >/dev/null 2>&1 || need+=(npm)

if [ "${#need[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages (run as root to install): ${need[*]}" >&2
    exit 1
  fi
  if printf '%s\n' "${need[@]}" | grep -q ':i386$'; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
fi

# A comma-decimal locale for the scene tests: a host on a German system may
# have switched the process locale before it loads a scene.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8
  else
    echo "locale de_DE.UTF-8 missing (run as root to generate it)" >&2
  fi
fi
