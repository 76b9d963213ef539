"""The Python module against the vrim commands: the same names, findings,
offsets and edits, through the same module file."""

import dataclasses
import json
import os
import resource
import shutil
import subprocess
import sys
import threading

import pytest

import vrim

BIN = os.environ["VRIM_BIN"]
SAMPLES = os.environ["VRIM_SAMPLES"]
VRIM = os.path.join(BIN, "vrim")
TWO = os.path.join(SAMPLES, "two-items.lws")


def run(*args, check=True):
    done = subprocess.run([VRIM, *args], capture_output=True, text=True)
    if check and done.returncode not in (0, 1):
        raise AssertionError(f"vrim {' '.join(args)}: {done.returncode}\n{done.stderr}")
    return done


@pytest.fixture
def scene(tmp_path):
    path = tmp_path / "shot.lws"
    shutil.copyfile(TWO, path)
    return str(path)


def test_module_is_the_one_the_tool_names():
    assert os.path.samefile(vrim.module_path(), os.path.join(BIN, "vrim_s.p"))
    assert vrim.validate().passed


@pytest.mark.parametrize("sample", ["two-items.lws", "shot-24fps.lws"])
def test_names_addresses_and_findings_match_ls_and_check(sample):
    path = os.path.join(SAMPLES, sample)
    scene = vrim.open(path)
    listed = json.loads(run("ls", path, "--json").stdout)
    blocks = [b for f in listed["scenes"] for b in f["items"]]
    assert [(i.name, i.block) for i in scene.items] == [(b["item"], b["block"]) for b in blocks]
    assert [i.key_count for i in scene.items] == [b["keys"] for b in blocks]
    checked = json.loads(run("check", path, "--json").stdout)
    expected = [(b["item"], f["line"], f["severity"], f["message"])
                for f_ in checked["files"] for b in f_["blocks"] for f in b["findings"]]
    found = [(f.item, f.line, f.severity, f.message) for i in scene.items for f in i.findings]
    assert found == expected
    assert [(f.item, f.line, f.message) for f in vrim.check(path) if f.item] == \
        [(e[0], e[1], e[3]) for e in expected]


def test_scene_header_and_keys_as_written():
    scene = vrim.open(TWO)
    assert (scene.fps, scene.first_frame, scene.last_frame) == (30.0, 0, 90)
    rig = scene.item("Camera_Rig")
    # The first two keys of the sample, read off the file by hand.
    assert rig.keys[0] == vrim.Key(0, 24, 0.1, (0.0, 0.08, 0.0), True)
    assert rig.keys[1].start == 36 and rig.keys[1].end == 60 and rig.keys[1].period == 0.25
    assert scene.block(rig.block) is rig


def test_offsets_equal_bake_for_the_same_frames():
    scene = vrim.open(TWO)
    for item in scene.items:
        baked = run("bake", TWO, "--item", item.name).stdout.splitlines()
        assert baked[0] == "frame,time,x,y,z"
        rows = item.offsets()
        assert len(rows) == len(baked) - 1
        for row, line in zip(rows, baked[1:]):
            frame, time, x, y, z = row
            assert line == "%.10g,%.15g,%.15g,%.15g,%.15g" % (frame, time, x, y, z)


def test_offsets_as_list_array_times_and_base_agree():
    numpy = pytest.importorskip("numpy")
    item = vrim.open(TWO).item("Lamp_Swing")
    frames = [0, 10.5, 37, 44, 90]
    rows = item.offsets(frames)
    table = item.offsets_array(numpy.array(frames))
    assert table.shape == (5, 5)
    assert [tuple(r) for r in table.tolist()] == rows
    assert item.offsets(times=[f / 30.0 for f in frames])[2][2:] == rows[2][2:]
    base = [(f, 1.0, 2.0, 3.0) for f in frames]
    baked = item.bake(base)
    for row, shaken in zip(rows, baked):
        # The module adds its offset to the item's own position.
        assert shaken[2:] == pytest.approx((1.0 + row[2], 2.0 + row[3], 3.0 + row[4]))


def test_bake_with_base_equals_the_command(tmp_path):
    item = vrim.open(TWO).item("Lamp_Swing")
    base = [(f, 0.5 * f, -1.0, 2.25) for f in range(30, 50)]
    track = tmp_path / "track.csv"
    track.write_text("frame,x,y,z\n" + "".join("%g,%g,%g,%g\n" % r for r in base))
    # The track covers frames 30-49 only: the command bakes those frames
    # (a track with holes in the range is refused).
    lines = run("bake", TWO, "--item", item.name, "--base", str(track),
                "--frames", "30:49").stdout.splitlines()[1:]
    assert ["%.10g,%.15g,%.15g,%.15g,%.15g" % r for r in item.bake(base)] == lines


ACTIONS = [
    ([vrim.Action.key(2), vrim.Action.set("end", 48)], "END_F 48.000000"),
    ([vrim.Action.set("freq", 0.2)], "FREQ 0.200000"),
    ([vrim.Action.add_key(), vrim.Action.set("start", 70)], "START_F 70.000000"),
    ([vrim.Action.shift(5)], "START_F 5.000000"),
    ([vrim.Action.set("fall-off", False)], "FALL_OFF 0.000000"),
    ([("set", "width-x=0.5")], "FREQ_W_X 0.500000"),
]


@pytest.mark.parametrize("actions,line", ACTIONS)
def test_every_action_writes_what_the_command_writes(tmp_path, scene, actions, line):
    twin = str(tmp_path / "twin.lws")
    shutil.copyfile(scene, twin)
    result = vrim.edit(scene, item="Camera_Rig", actions=actions)
    assert result.written and result.edited == 1
    args = []
    for a in actions:
        option, value = (a.option, a.value) if isinstance(a, vrim.Action) else a
        args += ["--" + option] + ([value] if value else [])
    run("edit", twin, "--item", "Camera_Rig", *args)
    with open(scene, "rb") as mine, open(twin, "rb") as theirs:
        written = mine.read()
        assert written == theirs.read()
    assert line.encode() in written


def test_dry_run_writes_nothing_and_gives_the_diff(scene):
    before = open(scene, "rb").read()
    result = vrim.edit(scene, block=2, actions=[vrim.Action.shift(12)], dry_run=True)
    assert not result.written and result.edited == 1
    assert "+START_F 72.000000" in result.diff
    assert open(scene, "rb").read() == before


def test_backup_keeps_the_old_file(scene):
    before = open(scene, "rb").read()
    vrim.edit(scene, all_items=True, actions=[vrim.Action.shift(1)], backup=True)
    assert open(scene + ".bak", "rb").read() == before
    with pytest.raises(vrim.EditRefused) as refused:
        vrim.edit(scene, all_items=True, actions=[vrim.Action.shift(1)], backup=True)
    assert "overwrite_backup=True" in str(refused.value) and "--" not in str(refused.value)


REFUSALS = [
    (dict(item="Nobody", actions=[vrim.Action.shift(1)]), vrim.ItemError, "Camera_Rig"),
    (dict(block=9, actions=[vrim.Action.shift(1)]), vrim.ItemError, "no block 9"),
    (dict(item="Camera_Rig", actions=[vrim.Action.set("colour", 1)]), vrim.UsageError, "colour"),
    (dict(item="Camera_Rig", actions=[vrim.Action.set("start", "1e12")]), vrim.UsageError, "1e12"),
    (dict(item="Camera_Rig", actions=[vrim.Action.key(7)]), vrim.EditRefused, "key 7"),
]


@pytest.mark.parametrize("kwargs,kind,text", REFUSALS)
def test_refusals_leave_the_file_and_say_what(scene, kwargs, kind, text):
    before = open(scene, "rb").read()
    with pytest.raises(kind) as refused:
        vrim.edit(scene, **kwargs)
    assert isinstance(refused.value, vrim.Error)
    assert text in str(refused.value)
    assert refused.value.scene == scene
    assert open(scene, "rb").read() == before


def test_unknown_item_lists_the_items_with_a_shake():
    with pytest.raises(vrim.ItemError) as missing:
        vrim.open(TWO).item("Cam")
    assert "Camera_Rig, Lamp_Swing" in str(missing.value)


@pytest.mark.parametrize("content,kind", [
    (None, vrim.SceneError),        # no such file
    (b"LWSC\n3\n", None),           # a scene without a shake opens, with no items
])
def test_scenes_that_are_not_what_they_claim(tmp_path, content, kind):
    path = tmp_path / "odd.lws"
    if content is not None:
        path.write_bytes(content)
    if kind is None:
        assert vrim.open(path).items == ()
    else:
        with pytest.raises(kind):
            vrim.open(path)


def test_a_changed_scene_is_not_read_from_its_old_places(scene):
    opened = vrim.open(scene)
    with open(scene, "ab") as f:
        f.write(b"\n")
    with pytest.raises(vrim.SceneError) as changed:
        opened.items[0].keys
    assert "changed on disk" in str(changed.value)


def test_module_errors():
    with pytest.raises(vrim.ModuleError):
        vrim.open(TWO, module="/nonexistent/vrim_s.p")


def test_threads_share_the_library_and_get_the_same_rows():
    item = vrim.open(TWO).item("Camera_Rig")
    expected = item.offsets()
    results = [None] * 4

    def work(i):
        results[i] = item.offsets()

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(r == expected for r in results)


def test_opening_a_big_scene_keeps_memory_bounded(tmp_path):
    # 200 MB of items, each with a block of 50 keys: the scene object keeps
    # the places, not the lines.
    block = "".join("KEY_START\nFREQ 0.1\nFREQ_W_X 0.1\nFREQ_W_Y 0.1\nFREQ_W_Z 0.1\n"
                    "START_F %d\nEND_F %d\nFALL_OFF 1\n" % (k, k + 10) for k in range(50))
    path = tmp_path / "big.lws"
    with open(path, "w") as f:
        f.write("LWSC\n3\n\nFirstFrame 0\nLastFrame 600\nFramesPerSecond 30\n\n")
        n = 0
        while f.tell() < 200 * 1024 * 1024:
            n += 1
            f.write("AddNullObject N%d\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n"
                    "KEY_NUM 50\n%sVRIM_END\nEndPlugin\n" % (n, block))
    code = ("import resource, vrim, sys; s = vrim.open(sys.argv[1]); "
            "assert len(s.items) == %d; s.items[-1].keys; s.items[-1].findings; "
            "print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)" % n)
    done = subprocess.run([sys.executable, "-c", code, str(path)], capture_output=True, text=True,
                          env=dict(os.environ))
    assert done.returncode == 0, done.stderr
    peak_mb = int(done.stdout) / 1024
    print(f"vrim.open of {n} items, {path.stat().st_size >> 20} MB: peak {peak_mb:.0f} MB")
    # The bound the commands keep on the same kind of scene.
    assert 0 < peak_mb < 64, f"{peak_mb:.0f} MB"


def test_help_and_docstrings():
    for name in vrim.__all__:
        assert getattr(vrim, name).__doc__, name
    for method in ("keys", "offsets", "offsets_array", "bake"):
        assert getattr(vrim.Item, method).__doc__, method


def test_changes_not_asked_for_are_listed_and_strict_refuses_them(scene):
    # The module writes every number with six decimals: a short "0.1" comes
    # back as "0.100000" although no action asked for it.
    text = open(scene).read().replace("FREQ 0.100000", "FREQ 0.1", 1)
    open(scene, "w").write(text)
    result = vrim.edit(scene, item="Camera_Rig", actions=[vrim.Action.shift(1)], dry_run=True)
    assert len(result.unasked) == 1
    assert "'FREQ 0.1' becomes 'FREQ 0.100000'" in result.unasked[0]
    with pytest.raises(vrim.EditRefused) as refused:
        vrim.edit(scene, item="Camera_Rig", actions=[vrim.Action.shift(1)], strict=True)
    assert refused.value.unasked == result.unasked
    assert open(scene).read() == text


def C(kind, key, was, field=None, old=None, new=None, asked=True, item="Camera_Rig", block=1):
    return vrim.Change(item, block, kind, key, was, field, old, new, asked)


CHANGES = [
    # A typed field.
    ([vrim.Action.key(2), vrim.Action.set("freq", 0.5)], "",
     [C("field", 2, 2, "freq", "0.250000", "0.500000")]),
    # A shift moves both ends of every key.
    ([vrim.Action.shift(2)], "",
     [C("field", 1, 1, "start", "0.000000", "2.000000"),
      C("field", 1, 1, "end", "24.000000", "26.000000"),
      C("field", 2, 2, "start", "36.000000", "38.000000"),
      C("field", 2, 2, "end", "60.000000", "62.000000")]),
    # A key deleted moves the next one up, and the count follows.
    ([vrim.Action.key(1), vrim.Action.delete_key()], "",
     [C("deleted-key", None, 1), C("key-count", None, None, None, "2.000000", "1.000000")]),
    # What the module's save rewrites on its own is a change not asked for.
    ([vrim.Action.key(2), vrim.Action.set("end", 61)], "FREQ 0.1\n",
     [C("field", 1, 1, "freq", "0.1", "0.100000", asked=False),
      C("field", 2, 2, "end", "60.000000", "61.000000")]),
]


@pytest.mark.parametrize("actions,short,expected", CHANGES)
def test_changes_as_objects_equal_edit_json(scene, actions, short, expected):
    if short:
        text = open(scene).read().replace("FREQ 0.100000\n", short, 1)
        open(scene, "w").write(text)
    result = vrim.edit(scene, item="Camera_Rig", actions=actions, dry_run=True)
    assert sorted(result.changes, key=repr) == sorted(expected, key=repr)
    args = []
    for a in actions:
        args += ["--" + a.option] + ([a.value] if a.value else [])
    listed = json.loads(run("edit", scene, "--item", "Camera_Rig", *args, "--dry-run",
                            "--json").stdout)
    from_json = [vrim.Change(b["item"], b["block"], c["kind"], c["key"], c["was"], c["field"],
                             c["old"], c["new"], c["asked"])
                 for s in listed["scenes"] for b in s["blocks"] for c in b.get("changes", [])]
    assert from_json == list(result.changes)


def test_an_added_key_is_one_change_with_the_count():
    result = vrim.edit(TWO, item="Lamp_Swing", actions=[vrim.Action.add_key()], dry_run=True)
    kinds = [(c.kind, c.key, c.was, c.asked) for c in result.changes]
    assert ("added-key", 4, None, True) in kinds
    assert [(c.old, c.new) for c in result.changes if c.kind == "key-count"] == \
        [("3.000000", "4.000000")]
    assert {c.item for c in result.changes} == {"Lamp_Swing"}


def test_report_writes_the_page_the_command_writes(tmp_path):
    shot = os.path.join(SAMPLES, "shot-24fps.lws")
    page = tmp_path / "review.html"
    done = vrim.report(TWO, shot, page=page, title="Dailies")
    assert done.page == str(page) and done.bytes == page.stat().st_size
    listed = json.loads(run("report", TWO, shot, "-o", str(tmp_path / "cli.html"),
                            "--title", "Dailies", "--json").stdout)
    assert [dataclasses.asdict(s) for s in done.scenes] == listed["scenes"]
    assert (done.errors, done.warnings) == (listed["errors"], listed["warnings"])
    html = page.read_text()
    assert "<title>Dailies</title>" in html and "Camera_Rig" in html
    # One item, one page: the block picked as --item picks it.
    one = vrim.report(TWO, page=tmp_path / "one.html", item="Lamp_Swing")
    assert [(s.blocks, s.plotted) for s in one.scenes] == [(1, 1)]


@pytest.mark.parametrize("where,text", [
    ("input", "read"),
    ("folder", ""),
    ("missing/review.html", ""),
])
def test_report_refuses_a_page_it_may_not_write(tmp_path, scene, where, text):
    target = {"input": scene, "folder": str(tmp_path)}.get(where, str(tmp_path / where))
    before = open(scene, "rb").read()
    with pytest.raises(vrim.WriteError) as refused:
        vrim.report(scene, page=target)
    assert isinstance(refused.value, OSError) and text in str(refused.value)
    assert open(scene, "rb").read() == before
    assert not os.path.exists(str(tmp_path / "missing"))


WRAPPED = ("Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_NUM 1\nKEY_START\nFREQ 0.1\n"
           "FREQ_W_X 0.05\nFREQ_W_Y 0\nFREQ_W_Z 0\nSTART_F 0\nEND_F 24\nFALL_OFF 0\nVRIM_END\n"
           "EndPlugin\n").encode()
BARE = WRAPPED.split(b"\n", 1)[1].rsplit(b"EndPlugin", 1)[0]


def null(name):
    return b"AddNullObject " + name + b"\n"


NAMED = {
    "duplicates": null(b"Null") + WRAPPED + null(b"Null") + WRAPPED,
    "like-generated": null(b"Null") + WRAPPED + null(b"Null") + WRAPPED + null(b"Null@2") + WRAPPED,
    "before-any-item": BARE + null(b"After") + WRAPPED,
    "two-modifiers": null(b"TwoMods") + WRAPPED + WRAPPED,
    "windows-1252": null("Kamera_Größe €".encode("cp1252")) + WRAPPED,
    "control": null(b"x\x01\x1b[31mred") + WRAPPED,
}


@pytest.mark.parametrize("kind", sorted(NAMED))
def test_names_as_ls_json_lists_them_reach_the_same_block(tmp_path, kind):
    path = tmp_path / (kind + ".lws")
    path.write_bytes(b"LWSC\n3\n\nFirstFrame 0\nLastFrame 30\nFramesPerSecond 30\n\n" + NAMED[kind])
    scene = vrim.open(path)
    listed = json.loads(run("ls", str(path), "--json").stdout)
    blocks = [b for f in listed["scenes"] for b in f["items"]]
    assert [(i.name, i.block) for i in scene.items] == [(b["item"], b["block"]) for b in blocks]
    for item in scene.items:
        assert scene.item(item.name) is item and scene.block(item.block) is item
        shown = json.loads(run("show", str(path), "--item", item.name, "--json").stdout)
        assert [b["block"] for s in shown["scenes"] for b in s["blocks"]] == [item.block]
