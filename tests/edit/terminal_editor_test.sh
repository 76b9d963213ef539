#!/usr/bin/env bash
# The interactive key editor as a person uses it, inside tmux: focus in screen
# order, the delete confirmation and the module's message, a refused typed
# value, leaving with and without changes, every field of every key in the
# list by the width it has, a 30-key list at 120x40 and at the
# 60x16 minimum, go-to-key, a resize, a scene changed on disk before Ctrl-S,
# and Ctrl-S writing what the same clicks as a script write.
# Usage: terminal_editor_test.sh BIN_DIR SAMPLE_SCENE [PICTURE_DIR]
# Exits 77 (skipped) when tmux is missing. With PICTURE_DIR, the 100x30
# screen is left there as edit-terminal.ansi for scripts/terminal-picture.py,
# and the screens of names, the item list, the key list at 200x50, the
# review and the help as text (edit-terminal-*.txt).
set -euo pipefail
if ! command -v tmux >/dev/null; then
  echo "SKIPPED: tmux is not installed; the terminal editor is not tested"
  exit 77
fi
bin=$(cd "$1" && pwd)
sample=$2
pictures=${3:-}
work=$(mktemp -d)
server="vrim-edit-test-$$"
cleanup() { tmux -L "$server" kill-server 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
# One server for the whole test: a session that outlives every editor, so
# that killing an editor's session never ends the server while the next
# editor's client is starting.
tmux -L "$server" new-session -d -s keeper "sleep 86400"

passed=0
fail() {
  echo "FAILED: $case_name: $*" >&2
  echo "--- screen:" >&2
  tmux -L "$server" capture-pane -p -t editor >&2 || true
  exit 1
}
screen() { tmux -L "$server" capture-pane -p -t editor; }
# keep NAME: the screen as text beside the test's outputs, given PICTURE_DIR.
keep() { [ -z "$pictures" ] || screen >"$pictures/edit-terminal-$1.txt"; }
# Waits until the screen shows the text (-E: an extended regular expression).
shows() {
  local how=-F
  if [ "$1" = -E ]; then how=-E; shift; fi
  for _ in $(seq 200); do
    if screen | grep -q $how -- "$1"; then return 0; fi
    sleep 0.05
  done
  fail "the screen never showed '$1'"
}
hides() {
  for _ in $(seq 200); do
    if ! screen | grep -qF -- "$1"; then return 0; fi
    sleep 0.05
  done
  fail "the screen still shows '$1'"
}
keys() { tmux -L "$server" send-keys -t editor "$@"; }
# start CASE SCENE COLUMNS LINES [OPTIONS...]: the editor on SCENE (in
# $work), on the Camera_Rig unless the options name an item; a UTF-8 locale
# unless LOCALE says another.
start() {
  case_name=$1
  local scene=$2 cols=$3 lines=$4
  shift 4
  local options=(--item Camera_Rig)
  [ $# -eq 0 ] || options=("$@")
  rm -f "$work/exit"
  tmux -L "$server" kill-session -t editor 2>/dev/null || true
  tmux -L "$server" new-session -d -s editor -x "$cols" -y "$lines" \
    "cd '$work' && LC_ALL='${LOCALE:-C.UTF-8}' TERM=tmux-256color TMPDIR='$work' '$bin/vrim' edit '$(basename "$scene")' $(printf '%q ' "${options[@]}")--module '$bin/vrim_s.p' \
       ; echo \$? >'$work/exit'; sleep 60"
  shows "VRIM_S   ver1.0"
}
exited() {
  for _ in $(seq 200); do
    if [ -s "$work/exit" ]; then cat "$work/exit"; return 0; fi
    sleep 0.05
  done
  fail "the editor did not exit"
}
done_case() { passed=$((passed + 1)); }

# A scene whose Camera_Rig has 30 keys: key N spans frames 10(N-1) to 10(N-1)+8.
thirty_keys() {
  printf 'LWSC\n3\n\nFirstFrame 0\nLastFrame 300\nFramesPerSecond 30\n\n'
  printf 'AddNullObject Camera_Rig\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n'
  printf 'KEY_NUM 30.000000\n'
  for n in $(seq 0 29); do
    printf 'KEY_START\nFREQ 0.100000\nFREQ_W_X 0.050000\nFREQ_W_Y 0.080000\n'
    printf 'FREQ_W_Z 0.000000\nSTART_F %d.000000\nEND_F %d.000000\nFALL_OFF 1.000000\n' \
      $((n * 10)) $((n * 10 + 8))
  done
  printf 'VRIM_END\nEndPlugin\n'
}

cp "$sample" "$work/original.lws"
thirty_keys >"$work/thirty.lws"
cp "$work/thirty.lws" "$work/thirty-original.lws"

# --- Ctrl-S writes what the module saves after the same clicks as a script.
cp "$sample" "$work/shot.lws"
start "Ctrl-S saves" "$work/shot.lws" 100 30
shows "Start   0, End  24, Freq 0.100000"
shows "30 fps, frames 0-90; check finds nothing" # the status line: the scene and check
[ -z "$pictures" ] || tmux -L "$server" capture-pane -p -e -t editor >"$pictures/edit-terminal.ansi"
keys 0.5 Tab
shows "Freqency Time 0.5"
keys Tab Tab Tab Tab Tab Tab Enter # past the vector's other two fields and row 3 to ADD KEY
shows "Create Key" # the module's message
keys Enter
hides "Create Key"
shows "ADD KEY added key 3 (Start   0, End  30, Freq 0.100000) last; where they overlap it hides key 1"
keys Tab # the status line shows the scene and check's findings again, for the keys as they are now
shows "30 fps, frames 0-90; warning: key 1 (frames 0-24) is hidden by key 3 on frames 0-24"
shows "Start   0, End  30, Freq 0.100000"
keys C-s
shows "These lines change:"
shows "y: write it"
cmp "$work/shot.lws" "$work/original.lws" || fail "the review wrote before it asked"
keys y
[ "$(exited)" = 0 ] || fail "Ctrl-S did not exit with 0"
cp "$work/original.lws" "$work/scripted.lws"
printf 'type "Freqency Time" 0.5\npress "ADD KEY"\n' >"$work/clicks.txt"
"$bin/vrim" edit "$work/scripted.lws" --item Camera_Rig --script "$work/clicks.txt" \
  --module "$bin/vrim_s.p" >/dev/null
cmp "$work/shot.lws" "$work/scripted.lws" || fail "Ctrl-S saved other bytes than the script"
done_case

# --- Focus in screen order: rows top to bottom, each left to right (the
# module adds NEXT KEY before PREV KEY and DELETE KEY last of the buttons).
cp "$sample" "$work/shot.lws"
start "screen order" "$work/shot.lws" 100 30
shows "key 1 of 2"
# Freq, width x/y/z, start, end, fall-off, ADD KEY, DELETE KEY, PREV KEY: NEXT KEY.
keys Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Enter
shows "key 2 of 2"
# PREV KEY is left of NEXT KEY, DELETE KEY on the row above, right of ADD KEY.
keys BTab Enter
shows "key 1 of 2"
keys BTab Enter
shows "Delete key 1 (Start   0, End  24, Freq 0.100000)?"
keys n
hides "Delete key"
shows "key 1 of 2"
# Shift-Tab from the first control wraps to the list, and the list's left
# neighbour is NEXT KEY.
keys BTab BTab BTab BTab BTab BTab BTab BTab BTab BTab Enter
shows "key 2 of 2"
keys Escape
[ "$(exited)" = 0 ] || fail "Esc without changes did not leave at once"
cmp "$work/shot.lws" "$work/original.lws" || fail "moving about changed the file"
done_case

# --- DELETE KEY: confirmation, then the module's own message as a box.
start "delete" "$work/shot.lws" 100 30
keys Tab Tab Tab Tab Tab Tab Tab Tab Enter
shows "Delete key 1 (Start   0, End  24, Freq 0.100000)?"
keys y
shows "Delete Key!"
shows "Enter: OK"
keys Enter
hides "Delete Key!"
shows "key 1 of 1"
shows "Start  36, End  60, Freq 0.250000"
# The only key: no question the module would answer with a refusal.
keys Enter
shows "the key editor does not delete an item's only key"
hides "Delete key"
keys Escape
shows "Leave without saving them?"
keys y
[ "$(exited)" = 0 ] || fail "leaving after a delete did not exit with 0"
cmp "$work/shot.lws" "$work/original.lws" || fail "a cancelled delete changed the file"
done_case

# --- Typed values go through --set's checks: refused with the reason, the
# field keeps its value, and nothing counts as a change.
start "refused values" "$work/shot.lws" 100 30
keys Tab Tab Tab Tab 1e12 Enter
shows "'1e12' is not a frame"
shows "The field keeps 0."
keys Enter
shows -E "StartFrame +0 "
keys Tab -5.9 Tab
shows "'-5.9' is not a frame"
shows "The field keeps 24."
keys Enter
shows -E "EndFrame +24 "
shows "Start   0, End  24, Freq 0.100000"
keys BTab BTab BTab BTab BTab # back to the first control
# The same values through --set and through the fields: each refused with
# --set's reason. FIELD STOP VALUE, STOP counted in Tabs from the first control.
at=0
while read -r field stop value; do
  reason=$("$bin/vrim" edit "$work/shot.lws" --item Camera_Rig --set "$field=$value" \
    --module "$bin/vrim_s.p" 2>&1 >/dev/null | sed -n "s/^.*--set $field=$value: //p" || true)
  [ -n "$reason" ] || fail "--set $field=$value was not refused"
  for _ in $(seq $(((stop - at + 12) % 12))); do keys Tab; done
  at=$stop
  tmux -L "$server" send-keys -t editor -l -- "$value"
  keys Enter
  # A long reason wraps in the box: its first 60 characters are on one line.
  shows "${reason:0:60}"
  keys Enter
  hides "${reason:0:60}"
done <<'TABLE'
start 4 1e12
start 4 10.7
end 5 -5.9
freq 0 nan
width-x 1 abc
TABLE
cmp "$work/shot.lws" "$work/original.lws" || fail "--set changed the file"
keys Escape
[ "$(exited)" = 0 ] || fail "Esc after refused values asked or failed"
done_case

# --- Esc and Ctrl-C with changes ask first; n stays, y leaves the file as it was.
start "leaving with changes" "$work/shot.lws" 100 30
keys 7 Tab
shows "Freqency Time 7"
keys Escape
shows "Leave without saving them?"
keys n
hides "Leave without saving"
shows "Freqency Time 7"
keys C-c
shows "Leave without saving them?"
keys y
[ "$(exited)" = 0 ] || fail "Ctrl-C did not exit with 0"
cmp "$work/shot.lws" "$work/original.lws" || fail "leaving changed the file"
done_case

# --- 30 keys at 120x40 and at 60x16: every label and value readable, the
# list uses the free rows and says where it is; Up/Down pick, Enter goes there.
readable() {
  shows -E "Freqency Time +0\.1( |$)"
  shows -E "Freq Width X,Y,Z +0\.05 +0\.08 +0( |$)"
  shows -E "StartFrame +$1 +EndFrame +$2 +FallOff +\[x\]"
  shows -E "\[ ADD KEY \] +\[ DELETE KEY \]"
  shows -E "\[ PREV KEY \] +KEY_NO +$3 +\[ NEXT KEY \]"
  shows -E "Key List +key $3 of 30"
}
for size in "120 40 30" "60 16 6"; do
  read -r cols lines rows <<<"$size"
  start "30 keys at ${cols}x$lines" "$work/thirty.lws" "$cols" "$lines"
  readable 0 8 1
  shown=$(screen | grep -cE "Start +[0-9]+, End +[0-9]+, Freq 0.100000")
  [ "$shown" = "$rows" ] || fail "the list shows $shown rows, not $rows"
  [ "$rows" = 30 ] || shows "rows 1-$rows of 30"
  [ "$(screen | awk '{ if (length($0) > w) w = length($0) } END { print w }')" -le "$cols" ] ||
    fail "a line is wider than the terminal"
  keys BTab Down Down Down Enter
  shows "key 4 of 30"
  readable 30 38 4
  keys g 25 Enter
  shows "key 25 of 30"
  readable 240 248 25
  shows -E "> +Start 240, End 248, Freq 0.100000"
  keys g 31 Enter
  shows "there is no key 31 (the item has 30 keys)"
  keys Escape
  [ "$(exited)" = 0 ] || fail "Esc after moving did not exit with 0"
  done_case
done
cmp "$work/thirty.lws" "$work/thirty-original.lws" || fail "moving about changed the file"

# --- Every field of every key in the list where it fits: the widths and
# fall-off in aligned columns beside the module's text, each row the values
# of its own key; the typed values not yet stored stay in sight, and the
# stored ones show once the panel leaves the key.
cp "$sample" "$work/shot.lws"
widths_row() { # ROW: key ROW of the Lamp_Swing, every field
  case $1 in
  1) echo "Start   0, End  90, Freq 0.500000  Width X 0.2  Y 0     Z 0     FallOff on" ;;
  2) echo "Start  30, End  45, Freq 0.200000  Width X 0    Y 0.05  Z 0     FallOff off" ;;
  3) echo "Start  60, End  75, Freq 0.000000  Width X 0    Y 0     Z 0.05  FallOff on" ;;
  esac
}
while read -r cols lines fields pending; do
  start "key list at ${cols}x$lines" "$work/shot.lws" "$cols" "$lines" --item Lamp_Swing
  shows "key 1 of 3"
  for row in 1 2 3; do
    if [ "$fields" = all ]; then
      shows "$(widths_row $row)"
    else
      shows -E "$(widths_row $row | cut -c1-33)\$"
    fi
  done
  [ "$cols" != 200 ] || keep "list-${cols}x$lines"
  keys Tab 0.3 Tab # the X width of key 1, pending until the panel leaves the key
  shows -E "^ *> Start   0, End  90, Freq 0\.500000  $pending"
  [ "$(screen | awk '{ if (length($0) > w) w = length($0) } END { print w }')" -le "$cols" ] ||
    fail "a line is wider than the terminal"
  keys Tab Tab Tab Tab Tab Tab Tab Tab Enter # NEXT KEY stores the width into key 1
  shows "key 2 of 3"
  [ "$fields" != all ] ||
    shows "  Start   0, End  90, Freq 0.500000  Width X 0.3  Y 0     Z 0     FallOff on"
  hides "* pending"
  keys Escape y
  [ "$(exited)" = 0 ] || fail "leaving did not exit with 0"
  cmp "$work/shot.lws" "$work/original.lws" || fail "leaving changed the file"
  done_case
done <<'TABLE'
200 50 all Width X 0\.2  Y 0     Z 0     FallOff on  \* pending: Freq Width X,Y,Z 0\.3 0 0$
120 40 all Width X 0\.2  Y 0     Z 0  \* pending: Freq Width X,Y,Z 0\.3 0 0$
100 30 all \* pending: Freq Width X,Y,Z 0\.3 0 0$
60 16 none \* pending:$
TABLE

# --- Resizing redraws: from 120x40 to the minimum and past it.
start "resize" "$work/thirty.lws" 120 40
shows "key 1 of 30"
tmux -L "$server" resize-window -t editor -x 60 -y 16
shows "rows 1-6 of 30"
readable 0 8 1
tmux -L "$server" resize-window -t editor -x 50 -y 16
shows "(60x16 at least)."
tmux -L "$server" resize-window -t editor -x 120 -y 40
hides "too small"
readable 0 8 1
keys Escape
[ "$(exited)" = 0 ] || fail "Esc after resizing did not exit with 0"
done_case

# --- The scene changed on disk before Ctrl-S: read it again with the
# session replayed, or save to another file; the session is never lost.
cp "$sample" "$work/shot.lws"
start "changed on disk: read again" "$work/shot.lws" 100 30
keys 0.5 Tab
shows "Freqency Time 0.5"
sed -i 's/^LastFrame 90$/LastFrame 91/' "$work/shot.lws"
cp "$work/shot.lws" "$work/theirs.lws"
keys C-s
shows "Someone changed the scene since it was read."
keys r
shows "1 action of this session replayed"
shows "Freqency Time 0.5"
keys C-s
shows "y: write it"
keys y
[ "$(exited)" = 0 ] || fail "Ctrl-S after reading again did not exit with 0"
printf 'type "Freqency Time" 0.5\n' >"$work/clicks.txt"
"$bin/vrim" edit "$work/theirs.lws" --item Camera_Rig --script "$work/clicks.txt" \
  --module "$bin/vrim_s.p" >/dev/null
cmp "$work/shot.lws" "$work/theirs.lws" ||
  fail "reading again did not give their change with the session's edit"
done_case

cp "$sample" "$work/shot.lws"
start "changed on disk: save elsewhere" "$work/shot.lws" 100 30
keys 0.5 Tab Tab Tab Tab Tab Tab Tab Enter
shows "Create Key"
keys Enter
shows "Start   0, End  30, Freq 0.100000"
sed -i 's/^LastFrame 90$/LastFrame 91/' "$work/shot.lws"
cp "$work/shot.lws" "$work/theirs.lws"
keys C-s
shows "Someone changed the scene since it was read."
keys a
shows "Save to: shot.lws.mine_"
keys Enter
[ "$(exited)" = 0 ] || fail "saving elsewhere did not exit with 0"
cmp "$work/shot.lws" "$work/theirs.lws" || fail "saving elsewhere touched the changed scene"
cp "$work/original.lws" "$work/scripted.lws"
printf 'type "Freqency Time" 0.5\npress "ADD KEY"\n' >"$work/clicks.txt"
"$bin/vrim" edit "$work/scripted.lws" --item Camera_Rig --script "$work/clicks.txt" \
  --module "$bin/vrim_s.p" >/dev/null
cmp "$work/shot.lws.mine" "$work/scripted.lws" ||
  fail "the other file is not the scene as read with the session's edits"
tmux -L "$server" capture-pane -p -J -t editor |
  grep -qF "the session was saved to 'shot.lws.mine'" || fail "the editor did not say where it saved"
done_case

# --- Names as every command shows them: Windows-1252 and UTF-8 decoded, a
# control and a bidirectional character escaped, and the title's right edge
# where it belongs whatever the name (capture-pane drops trailing blanks, so
# the title line is as wide as the terminal but one column).
named_block() {
  printf 'AddNullObject %b\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_NUM 1.000000\n' "$1"
  printf 'KEY_START\nFREQ 0.100000\nFREQ_W_X 0.050000\nFREQ_W_Y 0.080000\nFREQ_W_Z 0.000000\n'
  printf 'START_F 0.000000\nEND_F 24.000000\nFALL_OFF 1.000000\nVRIM_END\nEndPlugin\n\n'
}
{
  printf 'LWSC\n3\n\nFirstFrame 0\nLastFrame 90\nFramesPerSecond 30\n\n'
  named_block 'Kopf_\xc4\xd6\xdc_Stra\xdfe_\x80'
  named_block 'T\xc3\xaate_\xe6\x97\xa5\xe6\x9c\xac'
  named_block 'Bell\x07Esc\x1b[31m\xe2\x80\xaeevil'
} >"$work/names.lws"
# Display columns of the widest line and of the title line (wide characters 2).
columns() {
  python3 -c '
import sys, unicodedata
w = lambda t: sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in t)
lines = sys.stdin.read().split("\n")
print(max(w(l) for l in lines), w(lines[0]))'
}
while read -r block shown; do
  for size in "60 16" "100 30"; do
    read -r cols lines <<<"$size"
    start "name $block at ${cols}x$lines" "$work/names.lws" "$cols" "$lines" --block "$block"
    shows "names.lws, $shown"
    read -r widest title <<<"$(screen | columns)"
    [ "$widest" -le "$cols" ] || fail "a line takes $widest columns"
    [ "$title" = $((cols - 1)) ] || fail "the title line takes $title columns, not $((cols - 1))"
    keep "name$block-${cols}x$lines"
    keys Escape
    [ "$(exited)" = 0 ] || fail "Esc did not leave"
    done_case
  done
done <<'TABLE'
1 Kopf_ÄÖÜ_Straße_€
2 Tête_日本
3 Bell\x07Esc\x1b[31m\u202eevil
TABLE
# A terminal in another character set sees escapes, never other characters.
LOCALE=C start "name in the C locale" "$work/names.lws" 100 30 --block 1
shows 'names.lws, Kopf_\u00c4\u00d6\u00dc_Stra\u00dfe_\u20ac'
keys Escape
[ "$(exited)" = 0 ] || fail "Esc did not leave"
done_case

# --- Without --item: the scene's items with a shake to pick from.
cp "$sample" "$work/shot.lws"
case_name="item list"
rm -f "$work/exit"
tmux -L "$server" kill-session -t editor 2>/dev/null || true
tmux -L "$server" new-session -d -s editor -x 100 -y 30 \
  "cd '$work' && LC_ALL=C.UTF-8 TERM=tmux-256color '$bin/vrim' edit shot.lws --module '$bin/vrim_s.p'; echo \$? >'$work/exit'; sleep 60"
shows "Items with a shake in shot.lws"
shows "> Camera_Rig"
shows "  Lamp_Swing"
keep items
keys Down Enter
shows "shot.lws, Lamp_Swing"
shows "key 1 of 3"
keys Escape
[ "$(exited)" = 0 ] || fail "Esc after picking did not leave with 0"
done_case

# --- Ctrl-S is a review: the lines to be written, those the module rewrites
# unasked marked; n goes back with the edits, --strict refuses, --dry-run
# writes nothing.
sed 's/^FREQ 0.250000$/FREQ 0,25/' "$sample" >"$work/comma.lws"
cp "$work/comma.lws" "$work/comma-original.lws"
for mode in plain strict dry; do
  case $mode in
  plain) start "review" "$work/comma.lws" 100 30 ;;
  strict) start "review --strict" "$work/comma.lws" 100 30 --item Camera_Rig --strict ;;
  dry) start "review --dry-run" "$work/comma.lws" 100 30 --item Camera_Rig --dry-run ;;
  esac
  keys 0.5 Tab C-s
  shows "These lines change:"
  shows -E '^  \+FREQ 0\.500000'
  shows -E '^! \+FREQ 0\.000000'
  shows "Not asked for (1)"
  keep "review-$mode"
  cmp "$work/comma.lws" "$work/comma-original.lws" || fail "the review wrote"
  case $mode in
  plain)
    keys n
    shows "VRIM_S   ver1.0 [modified]"
    shows "Freqency Time 0.5"
    keys Escape y ;;
  strict)
    shows "--strict refuses the changes marked !"
    keys y
    shows "These lines change:" # y is not an answer here
    keys Escape
    shows "Freqency Time 0.5"
    keys Escape y ;;
  dry)
    shows "--dry-run: nothing is written"
    keys y ;;
  esac
  [ "$(exited)" = 0 ] || fail "leaving after the review did not exit with 0"
  cmp "$work/comma.lws" "$work/comma-original.lws" || fail "the file changed"
  done_case
done

# --- Undo and redo, back to the opened bytes.
cp "$sample" "$work/shot.lws"
start "undo" "$work/shot.lws" 100 30
keys 0.5 Tab
shows "> Start   0, End  24, Freq 0.100000  * pending: Freqency Time 0.5"
keys Tab Tab Tab Tab Tab Tab Enter
shows "Create Key"
keys Enter
shows "key 1 of 3"
keys u
shows "undone: ADD KEY"
keys Tab
shows "30 fps, frames 0-90; check finds nothing"
shows "key 1 of 2"
hides "Start   0, End  30"
shows "Freqency Time 0.5"
keys C-z
shows "undone: Freqency Time 0.5"
shows -E "Freqency Time 0\.1( |$)"
hides "[modified]"
keys u
shows "nothing to undo: the item is as it was opened"
keys C-y
shows "redone: Freqency Time 0.5"
shows "VRIM_S   ver1.0 [modified]"
keys C-z
shows "undone: Freqency Time 0.5"
keys C-s
[ "$(exited)" = 0 ] || fail "Ctrl-S with everything undone did not exit with 0"
cmp "$work/shot.lws" "$work/original.lws" || fail "undoing everything changed the file"
done_case

# --- The help lists every key, at the smallest size too; any key closes it.
for size in "60 16" "100 30"; do
  read -r cols lines <<<"$size"
  start "help at ${cols}x$lines" "$work/shot.lws" "$cols" "$lines"
  keys '?'
  for key in "Tab, Shift-Tab" "Enter, Space" "Left, Right" "Backspace, Delete" "PgUp, PgDn" \
    "Ctrl-Z or u, Ctrl-Y" "Ctrl-S" "Esc, Ctrl-C" "?, F1"; do
    shows "$key"
  done
  keep "help-${cols}x$lines"
  keys x
  hides "Backspace, Delete"
  keys F1
  shows "Backspace, Delete"
  keys Escape
  hides "Backspace, Delete"
  shows "? help"
  keys Escape
  [ "$(exited)" = 0 ] || fail "Esc did not leave"
  done_case
done

# --- Fields: a visible cursor, Left/Home/Delete inside the value, widths
# typed together, refusals naming the axis, a warning for a huge width.
cursor() { tmux -L "$server" display -p -t editor '#{cursor_flag} #{cursor_x}'; }
# Waits until the terminal's cursor is as given: "0 *" hidden, "1 X" shown at X.
cursor_is() {
  for _ in $(seq 200); do
    # shellcheck disable=SC2053
    if [[ "$(cursor)" == $1 ]]; then return 0; fi
    sleep 0.05
  done
  fail "the cursor is at '$(cursor)', not '$1'"
}
start "cursor editing" "$work/shot.lws" 100 30
cursor_is "0 *"
keys Enter
shows "Enter or Tab types the value in"
cursor_is "1 *"
x0=$(cursor | cut -d' ' -f2)
keys Home
cursor_is "1 $((x0 - 3))" # before '0.1'
keys Delete 3 Enter
shows -E "Freqency Time 3\.1( |$)"
keys Tab '0.1 0 0.05' Enter
shows -E "Freq Width X,Y,Z 0\.1 +0 +0\.05( |$)"
keys Tab
tmux -L "$server" send-keys -t editor -l -- '1 2 3'
keys Enter
shows "3 widths from Y on, but only 2 axes are left"
keys Enter
tmux -L "$server" send-keys -t editor -l -- '0.2 abc'
keys Enter
shows "Freq Width X,Y,Z Z: 'abc'"
keys Enter BTab 1e12 Enter
shows "no shake needs a width this large"
keys Enter
shows -E "Freq Width X,Y,Z 1e\+12 +0 +0\.05"
keys Tab Tab Tab End Left 7 Enter # Start: '0' becomes '70'
shows -E "StartFrame +70 "
keys Escape y
[ "$(exited)" = 0 ] || fail "leaving did not exit with 0"
cmp "$work/shot.lws" "$work/original.lws" || fail "leaving changed the file"
done_case

# --- The scene turns read-only before Ctrl-S: the session is kept; retry,
# save elsewhere, or retry once it is writable again.
cp "$sample" "$work/shot.lws"
start "read-only before Ctrl-S" "$work/shot.lws" 100 30
keys 0.5 Tab
chmod a-w "$work/shot.lws"
keys C-s
shows "The scene cannot be written: read-only"
keys r
shows "Still not saved: the scene: read-only."
shows "Freqency Time 0.5"
chmod u+w "$work/shot.lws"
keys C-s r
shows "y: write it"
keys y
[ "$(exited)" = 0 ] || fail "saving once writable did not exit with 0"
printf 'type "Freqency Time" 0.5\n' >"$work/clicks.txt"
cp "$work/original.lws" "$work/scripted.lws"
"$bin/vrim" edit "$work/scripted.lws" --item Camera_Rig --script "$work/clicks.txt" \
  --module "$bin/vrim_s.p" >/dev/null
cmp "$work/shot.lws" "$work/scripted.lws" || fail "the retried save wrote other bytes"
done_case

cp "$sample" "$work/shot.lws"
rm -f "$work/shot.lws.mine"
chmod a-w "$work/shot.lws"
start "read-only: viewing, save elsewhere" "$work/shot.lws" 100 30
shows "[viewing: read-only]"
keys 0.5 Tab C-s
shows "The scene cannot be written: read-only"
keys a
shows "Save to: shot.lws.mine_"
keys Enter
[ "$(exited)" = 0 ] || fail "saving elsewhere did not exit with 0"
cmp "$work/shot.lws" "$work/original.lws" || fail "the read-only scene changed"
cmp "$work/shot.lws.mine" "$work/scripted.lws" || fail "the other file lacks the session's edit"
chmod u+w "$work/shot.lws"
done_case

# --- Stopped by a signal mid-session, the editor leaves nothing behind.
for signal in TERM HUP INT; do
  cp "$sample" "$work/shot.lws"
  start "SIG$signal" "$work/shot.lws" 100 30
  keys 0.5 Tab
  shows "Freqency Time 0.5"
  pane=$(tmux -L "$server" display -p -t editor '#{pane_pid}')
  kill -s "$signal" "$(pgrep -P "$pane" -x vrim)"
  code=$(exited)
  case $signal in TERM) want=143 ;; HUP) want=129 ;; INT) want=130 ;; esac
  [ "$code" = "$want" ] || fail "SIG$signal: exit $code, not $want"
  cmp "$work/shot.lws" "$work/original.lws" || fail "SIG$signal changed the file"
  done_case
done

leftover=$(ls -A "$work" | grep -vE '^(clicks.txt|exit|original.lws|scripted.lws|shot.lws|shot.lws.mine|theirs.lws|thirty.lws|thirty-original.lws|names.lws|comma.lws|comma-original.lws)$' || true)
[ -z "$leftover" ] || { case_name=files; fail "files left behind: $leftover"; }
echo "terminal editor: $passed passed, 0 failed"
