#!/bin/sh
# Runs vrim validate on a deliberately faulty module and checks that it says
# so: the exit status is 1, the module file and activation checks still pass,
# every line PATTERN names (an extended regular expression) is there, and a
# second run with the same seed prints the same lines.
# Usage: expect_failures.sh PATTERN VRIM [ARGUMENT...]
# VRIM may be several words (an emulator before the tool); the arguments
# follow "validate".
set -u
pattern=$1 vrim=$2
shift 2
seed=20240611
first=$($vrim validate "$@" --seed "$seed"); status=$?
printf '%s\n' "$first"
fail() { echo "expect_failures: $*" >&2; exit 1; }
[ "$status" -eq 1 ] || fail "exit status $status, want 1"
printf '%s\n' "$first" | grep -q '^PASS  1 ' || fail "the module file check did not pass"
printf '%s\n' "$first" | grep -q '^PASS  2 ' || fail "the activation check did not pass"
printf '%s\n' "$first" | grep -Eq "$pattern" || fail "no line matches: $pattern"
second=$($vrim validate "$@" --seed "$seed")
[ "$first" = "$second" ] || fail "the same seed printed other lines the second time"
echo "expect_failures: ok"
