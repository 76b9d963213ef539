#!/bin/sh
# Lists the functions of the tree longer than a limit (100 lines unless
# given), longest first: "LINES path:first-last name". Universal Ctags finds
# each function's definition and its closing line; a lambda is counted in
# the function around it, not on its own.
#   scripts/long-functions.sh [LIMIT]
set -eu
limit=${1:-100}
cd "$(dirname "$0")/.."
if ! ctags --version 2>/dev/null | grep -q 'Universal Ctags'; then
    echo "long-functions.sh: needs Universal Ctags (Debian package universal-ctags)" >&2
    exit 2
fi
find abi plugin text standin tools python bench fuzz tests \
    \( -name '*.cpp' -o -name '*.h' \) -type f | sort |
    ctags -L - --languages=C++ --kinds-C++=f --fields=+ne --extras=+q -o - |
    awk -F '\t' -v limit="$limit" '
        $1 ~ /__anon/ { next }           # lambdas: part of their function
        {
            first = ""; last = ""; scope = ""
            for (i = 4; i <= NF; i++) {
                if ($i ~ /^line:/) first = substr($i, 6)
                else if ($i ~ /^end:/) last = substr($i, 5)
                else if ($i ~ /^(class|struct|namespace):/) scope = $i
            }
            if (first == "" || last == "") next
            key = $2 ":" first
            if (key in done) next        # --extras=+q lists a member twice
            done[key] = 1
            lines = last - first + 1
            if (lines > limit) {
                name = $1
                if (scope ~ /^(class|struct):/) {
                    sub(/^(class|struct):/, "", scope)
                    n = split(scope, part, "::")
                    if (index(name, "::") == 0) name = part[n] "::" name
                }
                printf "%5d %s:%d-%d %s\n", lines, $2, first, last, name
            }
        }' | sort -rn
