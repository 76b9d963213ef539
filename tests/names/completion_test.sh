#!/bin/bash
# The completion scripts in the shells they are for: bash (the real
# completion function, its replies read back by a new bash as a typed word
# would be), fish (its own completion engine, complete -C) and zsh (the
# function, with compadd recording what it is handed). The scene's item
# names are hostile: command substitutions, quotes, blanks, glob
# characters, a tab, non-ASCII, bidirectional controls, a NUL. Nothing may
# run, and every name must complete to its address.
# Run as: completion_test.sh BIN_DIR PACKAGING_DIR
set -u
bin=$1 packaging=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
pwned=$work/PWNED

# The scene: one null item per name, each with a key block.
names=(
    'Null' 'Two Words' '$(touch '"$pwned"')' '`touch '"$pwned"'`' 'Quote"Name' "It's"
    $'Tab\tName' 'semi;colon' 'pipe|line' '*' 'glob[ab]?' 'back\slash' '~tilde' '!bang'
    'Café Ñ' $'Line\u2028Sep' $'\u202eevil' '{a,b}' '$HOME' 'a&b'
)
{
    printf 'LWSC\n3\n'
    for name in "${names[@]}"; do
        printf 'AddNullObject %s\nVRIM_START\nVRIM_END\n' "$name"
    done
    printf 'AddNullObject Nul\0Name\nVRIM_START\nVRIM_END\n'
} >shot.lws
# Addresses as ls --json lists them: the completions must be these.
mapfile -d '' addresses < <("$bin/vrim" ls --print0 shot.lws)

failures=0
fail() {
    printf 'FAIL %s\n' "$*"
    failures=$((failures + 1))
}
expect() { # what, got, wanted
    [[ $2 == "$3" ]] || fail "$(printf '%s:\n got: %q\nwant: %q' "$1" "$2" "$3")"
}

json=$("$bin/vrim" ls --json shot.lws)
wanted=$(python3 -c 'import json,sys
for s in json.load(sys.stdin)["scenes"]:
    for i in s["items"]: sys.stdout.write(i["item"] + "\0")' <<<"$json" | od -c)
expect "ls --print0 lists what ls --json lists" "$(printf '%s\0' "${addresses[@]}" | od -c)" "$wanted"
expect "every block listed" "${#addresses[@]}" "$((${#names[@]} + 1))"

# --- bash ---------------------------------------------------------------
complete_bash() { # the words of a line, the last one being completed
    bash --norc --noprofile -c '
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _vrim
        printf "%s\0" "${COMPREPLY[@]}"' _ "$packaging/vrim.bash-completion" "$@"
}
# What a shell makes of a reply inserted on the line.
typed_word() {
    bash --norc --noprofile -c "printf '%s' $1"
}
mapfile -d '' replies < <(complete_bash "$bin/vrim" show shot.lws --item "")
expect "bash: one reply per address" "${#replies[@]}" "${#addresses[@]}"
for reply in "${replies[@]}"; do
    word=$(typed_word "$reply")
    found=0
    for address in "${addresses[@]}"; do
        [[ $word == "$address" ]] && found=1
    done
    ((found)) || fail "bash: the reply $reply reads as $(printf %q "$word"), no address"
done
# The typed start of a name, quoted as a user would type it.
for typed in "'Two W" 'Two\ W' '"Quote\"' "\$'Tab\\t" 'Caf' "'\$(touch" '\`touch' "It\\'" 'glob['; do
    mapfile -d '' replies < <(complete_bash "$bin/vrim" bake shot.lws --item "$typed")
    expect "bash: one reply to $typed" "${#replies[@]}" 1
done
expect "bash: commands" "$(complete_bash "$bin/vrim" "" | tr '\0' ' ')" \
    "preview bake check show ls validate edit report "
expect "bash: a command's options" "$(complete_bash "$bin/vrim" edit --bl | tr '\0' ' ')" "--block "
expect "bash: ls's options" "$(complete_bash "$bin/vrim" ls --pr | tr '\0' ' ')" "--print0 "

# --- fish ---------------------------------------------------------------
if command -v fish >/dev/null; then
    fish_candidates=$(fish --no-config -c "
        set fish_complete_path
        source '$packaging/vrim.fish'
        complete -C\"\$argv[1] show shot.lws --item \"" "$bin/vrim" | cut -f1 | sort)
    # A tab or a line feed cannot be in a fish candidate (see the script).
    fish_wanted=$(printf '%s\n' "${addresses[@]}" | grep -v $'\t' | sort)
    expect "fish: the addresses" "$fish_candidates" "$fish_wanted"
    expect "fish: ls's options" "$(fish --no-config -c "source '$packaging/vrim.fish'
        complete -C\"\$argv[1] ls --pr\"" "$bin/vrim" | cut -f1)" "--print0"
else
    echo "SKIP fish: not installed"
fi

# --- zsh ----------------------------------------------------------------
if command -v zsh >/dev/null; then
    zsh_added=$(zsh -f -c '
        compadd() { [[ $1 == -a ]] && print -rN -- "${(@P)2}" || print -rN -- "${@:#--}" }
        _files() { : }
        fpath=($1 $fpath)
        words=($2 show shot.lws --item ""); CURRENT=5; PREFIX=""
        source $1/vrim.zsh-completion' _ "$packaging" "$bin/vrim" | od -c)
    expect "zsh: every address handed to compadd as it is" "$zsh_added" \
        "$(printf '%s\0' "${addresses[@]}" | od -c)"
else
    echo "SKIP zsh: not installed"
fi

[[ ! -e $pwned ]] || fail "a name from the scene ran as a command"
exit $((failures > 0))
