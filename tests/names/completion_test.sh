#!/bin/bash
# The bash completion script in a bash started with it: commands, a
# command's options, and --item's addresses from the scene on the line.
# Run as: completion_test.sh BIN_DIR COMPLETION_SCRIPT
set -u
bin=$1 script=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'LWSC\n3\nAddNullObject Null\nVRIM_START\nVRIM_END\nAddNullObject Null\nVRIM_START\nVRIM_END\nAddNullObject Two Words\nVRIM_START\nVRIM_END\n' >"$work/shot.lws"

complete_line() { # the words of a line, the last one being completed
    bash --norc --noprofile -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _vrim
        printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$script" "$@"
}

failures=0
expect() { # what, got, wanted
    if [[ $2 != "$3" ]]; then
        printf 'FAIL %s:\n got: %q\nwant: %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}
expect "commands" "$(complete_line "$bin/vrim" "")" \
    "$(printf '%s\n' bake check edit ls preview report show validate)"
expect "a command's options" "$(complete_line "$bin/vrim" edit --bl)" "--block"
expect "check's options" "$(complete_line "$bin/vrim" check --js)" "--json"
expect "item addresses" "$(complete_line "$bin/vrim" ls "$work/shot.lws" --item "")" \
    "$(printf '%s\n' Null Null@2 'Two Words')"
expect "item addresses after the scene" "$(complete_line "$bin/vrim" bake "$work/shot.lws" --item Nu)" \
    "$(printf '%s\n' Null Null@2)"
exit $((failures > 0))
