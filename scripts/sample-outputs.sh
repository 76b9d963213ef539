#!/bin/sh
# Records everything vrim writes for the scenes in samples/ (and a few
# variants made from them: CRLF line ends, a damaged block, a Windows-1252
# name, a changed key) into OUTDIR, one file per command and stream plus its
# exit status, and the files the commands wrote. Run it with the tool built
# before a change and again after, then compare the two folders with
# `diff -r`: a change meant to keep the behaviour leaves them identical.
#   scripts/sample-outputs.sh OUTDIR [VRIM]
# VRIM is the vrim binary (default build/native/bin/vrim). Its folder (the
# module beside it) is copied into a new temporary folder whose name has the
# same length every time, and all runs there, the binary by the name "vrim":
# the page names its scenes and module by full path and says its size. That
# folder is masked as WORK and the page's time as TIME, so two builds in
# different places compare equal.
set -eu
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: scripts/sample-outputs.sh OUTDIR [VRIM]" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
vrim=${2:-$root/build/native/bin/vrim}
bindir=$(cd "$(dirname "$vrim")" && pwd)
out=$1
if [ -e "$out" ]; then
    echo "sample-outputs.sh: $out exists; give a new folder" >&2
    exit 2
fi
dest=$out
out=$(mktemp -d "${TMPDIR:-/tmp}/vrim-samples.XXXXXXXX")
trap 'rm -rf "$out"' EXIT
mkdir "$out/scenes" "$out/older" "$out/out" "$out/bin"
cp -R "$bindir/." "$out/bin"
PATH=$out/bin:$PATH
export PATH
unset VRIM_MODULE

# run NAME ARGS...: vrim ARGS in the scenes folder, its output, errors and
# exit status kept as NAME.out, NAME.err and NAME.status.
run() {
    name=$1
    shift
    status=0
    (cd "$out/scenes" && vrim "$@" >"$out/out/$name.out" 2>"$out/out/$name.err") ||
        status=$?
    echo "$status" >"$out/out/$name.status"
}

# run_in NAME INPUT ARGS...: the same with INPUT on standard input.
run_in() {
    name=$1
    input=$2
    shift 2
    status=0
    (cd "$out/scenes" && vrim "$@" <"$input" >"$out/out/$name.out" 2>"$out/out/$name.err") ||
        status=$?
    echo "$status" >"$out/out/$name.status"
}

make_scenes() {
    cp "$root"/samples/*.lws "$out/scenes/"
    cp "$root/fuzz/corpus/fuzz_scene_reader/crlf-findings.lws" "$out/scenes/"
    s=$out/scenes
    sed 's/$/\r/' "$s/two-items.lws" >"$s/crlf.lws"
    sed -e '20s/.*/FREQ_W_Y abc/' -e '45s/.*/KEY_NUM 9.000000/' \
        "$s/two-items.lws" >"$s/damaged.lws"
    e_acute=$(printf '\351')
    sed "s/Lamp_Swing/Lamp_${e_acute}t${e_acute}/" "$s/two-items.lws" >"$s/cp1252.lws"
    sed -e 's/^END_F 24.000000/END_F 30.000000/' -e 's/^FREQ 0.200000/FREQ 0.300000/' \
        "$s/two-items.lws" >"$s/changed.lws"
    long=$(printf '%0300d' 1)
    sed -e '17s/.*/FREQ 0,5/' -e '18s/.*/FREQ_W_X 0.05abc/' -e '19s/.*/FREQ_W_Y /' \
        -e '21s/.*/START_F 1.5/' -e '22s/.*/END_F 1e12/' -e "25s/.*/FREQ 0.$long/" \
        -e '29s/.*/START_F inf/' "$s/two-items.lws" >"$s/numbers.lws"
    sed 's/^FramesPerSecond 30/FramesPerSecond 25/' "$s/two-items.lws" >"$out/older/two-items.lws"
    sed 's/^START_F 1020.000000/START_F 1025.000000/' \
        "$root/samples/shot-24fps.lws" >"$out/older/shot-24fps.lws"
}

# Base tracks for bake --base: good ones and each way one can be wrong.
tracks() {
    t=$out/tracks
    mkdir "$t"
    awk 'BEGIN { print "frame,x,y,z"; for (f = 0; f <= 90; f++) printf "%d, %g,%g ,%g\r\n", f, f / 10, 1, -f }' \
        >"$t/good.csv"
    awk 'BEGIN { for (f = 0; f <= 90; f += 3) printf "%d,0,0,0\n", f }' >"$t/holes.csv"
    printf '0,1,2,3\n1,1,2' >"$t/short-row.csv"
    printf '0,1,2,3\n\n2,1,2,3\n1,1,2,3\n' >"$t/backwards.csv"
    printf '0,1,2,%05000d\n' 3 >"$t/long-line.csv"
    printf '0,0,0,0\n1,0,0,1' >"$t/no-newline.csv"
    : >"$t/empty.csv"
    for track in good holes short-row backwards long-line no-newline empty; do
        run "bake-base-$track" bake two-items.lws --block 2 --base "../tracks/$track.csv"
    done
    run bake-base-holes-allowed bake two-items.lws --base ../tracks/holes.csv --allow-holes \
        --format chan
}

# Files given as the module that are none, or one for another system.
modules() {
    m=$out/modules
    mkdir "$m"
    { printf 'MZ'; head -c 58 /dev/zero; printf '\100\000\000\000PE\000\000\144\206'; } >"$m/pe64.p"
    { printf 'MZ'; head -c 58 /dev/zero; printf '\100\000\000\000PE\000\000\114\001'; } >"$m/pe32.p"
    { printf 'MZ'; head -c 58 /dev/zero; printf '\377\377\000\000'; } >"$m/pe-cut.p"
    { printf '\177ELF\001'; head -c 59 /dev/zero; } >"$m/elf32.p"
    cp "$out/scenes/two-items.lws" "$m/scene.p"
    for module in pe64 pe32 pe-cut elf32 scene missing; do
        run "module-$module" ls two-items.lws --module "../modules/$module.p"
        run "validate-$module" validate "../modules/$module.p" --seed 1 --level 1
    done
    run validate-folder validate ../modules --seed 1 --level 1
}

per_scene() {
    for scene in "$out"/scenes/*.lws; do
        s=$(basename "$scene" .lws)
        f=$s.lws
        run "$s.ls" ls "$f"
        run "$s.ls-json" ls "$f" --json
        run "$s.ls-print0" ls "$f" --print0
        run "$s.ls-block2" ls "$f" --block 2
        run "$s.show" show "$f"
        run "$s.show-json" show "$f" --json
        run "$s.show-item" show "$f" --item Camera_Rig
        run "$s.check" check "$f"
        run "$s.check-json" check "$f" --json
        run "$s.check-range" check "$f" --fps 25 --frames 0:50
        run "$s.preview" preview "$f" --svg "../out/$s.preview.svg"
        run "$s.preview-block2" preview "$f" --block 2 --frames 0:100 --at 1,2,3
        run "$s.preview-errors" preview "$f" --allow-errors
        run "$s.bake" bake "$f"
        run "$s.bake-chan" bake "$f" --block 2 --format chan --step 0.5
        run "$s.bake-precise" bake "$f" --precision 17 --frames 0:20
        run "$s.bake-all" bake "$f" --all-items
        run "$s.textconv" diff --textconv "$f"
        run "$s.report" report "$f" -o "../out/$s.report.html"
        run "$s.report-json" report "$f" -o "../out/$s.report-json.html" --json --plots 1
    done
}

whole() {
    run_in stdin-ls "$out/scenes/two-items.lws" ls -
    run_in stdin-show "$out/scenes/two-items.lws" show -
    run_in stdin-bake "$out/scenes/shot-24fps.lws" bake - --item ShotCam
    run folder-ls ls . --json
    run folder-check check . -r
    run folder-show show .
    run preview-default preview
    run preview-default-svg preview --svg ../out/default.svg --frames 0:30
    run diff-pair diff two-items.lws changed.lws
    run diff-pair-json diff two-items.lws changed.lws --json
    run diff-pair-quiet diff two-items.lws changed.lws -q
    run diff-same diff two-items.lws crlf.lws
    run diff-tolerance diff two-items.lws changed.lws --tolerance 1
    run diff-folders diff ../older . --json
    run diff-header diff ../older/two-items.lws two-items.lws
    run diff-missing diff two-items.lws no-such.lws
    run diff-missing-json diff two-items.lws no-such.lws --json
    run diff-folders-text diff ../older .
    run report-all report . -o ../out/all.html --title 'All of them'
    run report-against report shot-24fps.lws -o ../out/against.html --against ../older/shot-24fps.lws
    run bad-frames preview two-items.lws --frames 9:1
    run same-out preview -o ../out/same.txt --svg ../out/same.txt
    run same-out-spelled preview -o ../out/same2.txt --svg ../scenes/../out/same2.txt
    ln -s ../out/linked.txt "$out/scenes/link.txt"
    run same-out-linked preview -o ../out/linked.txt --svg link.txt
    rm "$out/scenes/link.txt"
    run missing-file show no-such.lws
    run bad-item bake two-items.lws --item Nobody
    run bake-base-missing bake two-items.lws --base no-track.csv
    run bake-base-folder bake two-items.lws --base ../older
    tracks
    run validate validate --seed 1 --level 1
    modules
    run version --version
    run refused-flag-value ls two-items.lws --json=0
    run refused-option ls two-items.lws --colour
    run refused-empty show two-items.lws --item ''
    run refused-command plot --help
    run refused-encoding --encoding latin-9 ls two-items.lws
    run no-command
    run help --help
    for c in preview bake check show ls validate edit report diff; do
        run "help-$c" "$c" --help
    done
}

edits() {
    e=$out/scenes
    run edit-twice edit two-items.lws ./two-items.lws ../scenes/two-items.lws --all-items \
        --shift 1 --dry-run
    run edit-dry edit two-items.lws --item Camera_Rig --key 2 --set end=48 --set freq=0.2 --dry-run
    run edit-dry-json edit two-items.lws --all-items --shift 12 --dry-run --json
    run edit-add edit two-items.lws --item Lamp_Swing --add-key --set start=80 --dry-run
    run edit-strict edit crlf-findings.lws --all-items --shift 1 --strict
    printf '# the second key\npress "NEXT KEY"\ntype "EndFrame" 50\ntype "Freq Width X,Y,Z" 0.1 0 0.05\nclose\n' \
        >"$out/script.txt"
    run_in edit-script "$out/script.txt" edit changed.lws --block 1 --script -
    n=0
    for bad in 'wave "OK"' 'press "NEXT KEY' 'type "StartFrame"' 'pick 1 2' 'close now' \
        'type "StartFrame" x1' 'press NEXT'; do
        n=$((n + 1))
        printf '# a script with a fault\n%s\n' "$bad" >"$out/bad-script-$n.txt"
        run_in "edit-bad-script-$n" "$out/bad-script-$n.txt" edit two-items.lws --block 1 \
            --script - --dry-run
    done
    run edit-backup edit shot-24fps.lws --item ShotCam --set width-x=0.5 --backup
    run edit-backup-again edit shot-24fps.lws --item ShotCam --set width-y=0.5 --backup
    run edit-bad-field edit two-items.lws --item Camera_Rig --set colour=1
    run edit-bad-frame edit two-items.lws --item Camera_Rig --set start=x --dry-run
    run edit-bad-fall-off edit two-items.lws --item Camera_Rig --set fall-off=maybe --dry-run
    run edit-bad-number edit two-items.lws --item Camera_Rig --set freq=abc --dry-run
    run edit-no-value edit two-items.lws --item Camera_Rig --set end --dry-run
    run edit-bad-key edit two-items.lws --item Camera_Rig --key 0 --dry-run
    run edit-bad-shift edit two-items.lws --item Camera_Rig --shift 1.5 --dry-run
    run edit-fields edit two-items.lws --block 2 --key 3 --set fall-off=off --set width-y=0.25 \
        --set start=61 --set freq=0.75 --dry-run --json
    run edit-json edit cp1252.lws --block 2 --delete-key --json
    cp "$e/shot-24fps.lws" "$out/out/shot-24fps.edited.lws"
}

make_scenes
whole
per_scene
edits
# The time of day, the temporary folder and a process number (a lock's
# holder) are the only parts that differ between two runs of the same tool.
for f in "$out"/out/*; do
    sed -e 's/[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] UTC/TIME/g' \
        -e "s|$out|WORK|g" -e 's/vrim process [0-9]* /vrim process PID /g' "$f" >"$f.masked"
    mv "$f.masked" "$f"
done
rm -rf "$out/bin"
mkdir -p "$dest"
cp -R "$out/." "$dest"
echo "sample-outputs.sh: $(find "$dest" -type f | wc -l) files in $dest"
