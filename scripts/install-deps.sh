#!/usr/bin/env bash
# Installs what the builds, the release and the tests need on a fresh Debian
# 12 machine. Safe to run again: it only installs what is missing. Needs root.
# Every program a build, a test or the release calls is here, so that a
# missing one fails loudly instead of being skipped: help2man makes the
# manual page the Linux package ships and man-db reads it back; patch and
# git apply edit's diffs; acl, attr, zsh, fish and Python's build, wheel and
# venv serve the tests of file attributes, shell completions and the Python
# package; ccache is the compiler cache the developers' builds use.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest libgmock-dev
      libbenchmark-dev libcli11-dev mingw-w64 g++-mingw-w64-i686-posix valgrind
      locales librsvg2-bin libxml2-utils python3 binutils-mingw-w64-i686 wine wine32:i386
      nlohmann-json3-dev chromium libncurses-dev tmux libxxhash-dev libdtl-dev util-linux libssl-dev tidy
      zip unzip libimage-exiftool-perl pybind11-dev python3-dev python3-pytest python3-numpy mypy
      python3-jsonschema help2man man-db patch git ca-certificates ccache acl attr zsh fish
      python3-build python3-wheel python3-venv
      pkgconf # pkg-config: the wide-character ncurses of the terminal editor
      universal-ctags # scripts/long-functions.sh: where each function starts and ends
      file procps) # the module-file check reads the ELF type; the editor test finds its child
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
