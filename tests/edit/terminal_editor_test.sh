#!/usr/bin/env bash
# The interactive key editor as a person uses it, inside tmux: it shows the
# module's panel and key list, a typed field and ADD KEY reach the module,
# Ctrl-S writes what the module saved, Esc leaves the file as it was.
# Usage: terminal_editor_test.sh BIN_DIR SAMPLE_SCENE
set -euo pipefail
bin=$(cd "$1" && pwd)
sample=$2
work=$(mktemp -d)
server="vrim-edit-test-$$"
cleanup() { tmux -L "$server" kill-server 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  echo "--- screen:" >&2
  tmux -L "$server" capture-pane -p -t editor >&2 || true
  exit 1
}
screen() { tmux -L "$server" capture-pane -p -t editor; }
# Waits until the screen shows text (the editor draws after each key).
shows() {
  for _ in $(seq 100); do
    if screen | grep -qF -- "$1"; then return 0; fi
    sleep 0.05
  done
  fail "the screen never showed '$1'"
}
keys() { tmux -L "$server" send-keys -t editor "$@"; }
start() {
  rm -f "$work/exit"
  tmux -L "$server" new-session -d -s editor -x 100 -y 30 \
    "TERM=xterm-256color '$bin/vrim' edit '$work/shot.lws' --item Camera_Rig --module '$bin/vrim_s.p'; echo \$? >'$work/exit'; sleep 60"
}
exited() {
  for _ in $(seq 100); do
    if [ -s "$work/exit" ]; then cat "$work/exit"; return 0; fi
    sleep 0.05
  done
  fail "the editor did not exit"
}

cp "$sample" "$work/shot.lws"
cp "$sample" "$work/original.lws"

# Ctrl-S: a new period for key 1 and a new key, saved.
start
shows "VRIM_S   ver1.0"
shows "Start   0, End  24, Freq 0.100000"
shows "Start  36, End  60, Freq 0.250000"
shows "[ ADD KEY ]"
keys 0.5 Tab
shows "Freqency Time 0.5"
keys Tab Tab Tab Tab Tab Tab Enter
shows "Start   0, End  30, Freq 0.100000"
keys C-s
[ "$(exited)" = 0 ] || fail "Ctrl-S did not exit with 0"
tmux -L "$server" kill-session -t editor

# The file holds what the module saves after the same clicks as a script.
cp "$work/original.lws" "$work/scripted.lws"
printf 'type "Freqency Time" 0.5\npress "ADD KEY"\n' >"$work/clicks.txt"
"$bin/vrim" edit "$work/scripted.lws" --item Camera_Rig --script "$work/clicks.txt" \
  --module "$bin/vrim_s.p" >/dev/null
cmp "$work/shot.lws" "$work/scripted.lws" || fail "Ctrl-S saved other bytes than the script"
cmp -s "$work/shot.lws" "$work/original.lws" && fail "Ctrl-S left the file unchanged"

# Esc: edits made, then cancelled; the file stays byte for byte.
cp "$work/original.lws" "$work/shot.lws"
start
shows "VRIM_S   ver1.0"
keys 7 Tab
shows "Freqency Time 7"
keys Tab Tab Tab Tab Tab Tab Enter
shows "Start   0, End  30, Freq 0.100000"
keys Escape
[ "$(exited)" = 0 ] || fail "Esc did not exit with 0"
cmp "$work/shot.lws" "$work/original.lws" || fail "Esc changed the file"
[ "$(ls -A "$work" | sort | tr '\n' ' ')" = "clicks.txt exit original.lws scripted.lws shot.lws " ] ||
  fail "files left behind: $(ls -A "$work")"
echo "terminal editor: 2 passed, 0 failed"
