"""The Python module against the vrim commands: the same names, findings,
offsets and edits, through the same module file."""

import dataclasses
import json
import os
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


# Block numbers go to the edit as they are, beside names: each block asked
# for is edited once, however it was asked for.
@pytest.mark.parametrize("kwargs,edited", [
    (dict(block=2), {("Lamp_Swing", 2)}),
    (dict(blocks=[1, 2]), {("Camera_Rig", 1), ("Lamp_Swing", 2)}),
    (dict(item="Lamp_Swing", block=2), {("Lamp_Swing", 2)}),
    (dict(item="Camera_Rig", block=2), {("Camera_Rig", 1), ("Lamp_Swing", 2)}),
])
def test_blocks_by_number_and_name_are_each_edited_once(scene, kwargs, edited):
    result = vrim.edit(scene, actions=[vrim.Action.shift(12)], dry_run=True, **kwargs)
    assert result.edited == len(edited)
    assert {(c.item, c.block) for c in result.changes} == edited


REFUSALS = [
    (dict(item="Nobody", actions=[vrim.Action.shift(1)]), vrim.ItemError, "Camera_Rig"),
    (dict(block=9, actions=[vrim.Action.shift(1)]), vrim.ItemError, "block 9 is out of range"),
    (dict(item="Camera_Rig", actions=[("set", "colour=1")]), vrim.UsageError, "colour"),
    (dict(item="Camera_Rig", actions=[vrim.Action.set("start", "1e12")]), vrim.UsageError, "1e12"),
    (dict(item="Camera_Rig", actions=[vrim.Action.key(7)]), vrim.EditRefused, "Action.key(7)"),
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


HOSTILE = "Lamp\u202eGNIWS\x1b[31m"


@pytest.mark.parametrize("call", [
    lambda path: vrim.open(path).item("Cam"),
    lambda path: vrim.open(path).item(HOSTILE + "x"),
    lambda path: vrim.edit(path, item=HOSTILE + "x", actions=[vrim.Action.shift(1)]),
], ids=["listed", "asked", "edit"])
def test_a_hostile_name_in_a_message_is_escaped_and_kept_as_is(tmp_path, call):
    # A message goes to a terminal: the name's escape sequence and
    # right-to-left override are shown, not obeyed; the attributes stay raw.
    path = tmp_path / "hostile\x1b]0;title\x07.lws"
    path.write_bytes(open(TWO, "rb").read().replace(b"Lamp_Swing", HOSTILE.encode()))
    with pytest.raises(vrim.ItemError) as missing:
        call(str(path))
    text = str(missing.value)
    assert "\\u202e" in text and "\\x1b" in text, text
    assert not any(c in text for c in "\x1b\x07\u202e"), text
    assert missing.value.scene == str(path)


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


def _in_threads(work, count):
    """Runs work(i) on count threads at once; their results, or the first
    exception one raised."""
    results, errors = [None] * count, []

    def run_one(i):
        try:
            results[i] = work(i)
        except BaseException as e:  # noqa: B902 (handed to the test)
            errors.append(e)

    threads = [threading.Thread(target=run_one, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        raise errors[0]
    return results


# Threads at once on one Item or several, each with its own base track:
# rows equal, bit for bit, to the same calls made one at a time.
THREADED = [
    ("offsets", lambda item, i: item.offsets([f / 4 for f in range(4000)])),
    ("times", lambda item, i: item.offsets(times=[f / 97 for f in range(4000)])),
    ("bake", lambda item, i: item.bake([(f, i, -i, 2 * i) for f in range(4000)])),
    ("keys", lambda item, i: item.keys),
]


@pytest.mark.parametrize("name,call", THREADED)
def test_threads_at_once_get_the_rows_of_one_at_a_time(tmp_path, name, call):
    paths = []
    for i in range(4):
        paths.append(tmp_path / f"shot{i}.lws")
        shutil.copyfile(TWO, paths[-1])
    items = [vrim.open(p).item(("Camera_Rig", "Lamp_Swing")[i % 2]) for i, p in enumerate(paths)]
    expected = [call(item, i) for i, item in enumerate(items)]
    for _ in range(5):
        assert _in_threads(lambda i: call(items[i], i), 4) == expected
        # One item shared by every thread.
        assert _in_threads(lambda i: call(items[0], 0), 4) == [expected[0]] * 4


def test_the_module_loaded_again_under_running_evaluations(tmp_path):
    # The validator loads the module into a host of its own, ending the
    # session the evaluations use: each waits for the other, none reads a
    # session that is gone.
    item = vrim.open(TWO).item("Lamp_Swing")
    frames = [f / 3 for f in range(3000)]
    expected = item.offsets(frames)
    done = threading.Event()

    def evaluate(_):
        rounds = 0
        while not done.is_set() or rounds < 3:
            assert item.offsets(frames) == expected
            rounds += 1
        return rounds

    def validate(_):
        try:
            return [vrim.validate().passed for _ in range(3)]
        finally:
            done.set()

    results = _in_threads(lambda i: (validate if i == 0 else evaluate)(i), 4)
    assert results[0] == [True] * 3 and min(results[1:]) >= 3


@pytest.mark.parametrize("call", [vrim.open, vrim.check])
def test_other_scenes_are_evaluated_while_a_big_one_is_read(many_items, call):
    # The old library held its lock through a whole open or check: an
    # evaluation on another scene waited for it to end. Now the longest
    # wait between two evaluations is a small part of the reading.
    import time

    path, _ = many_items
    item = vrim.open(TWO).item("Lamp_Swing")
    reading = threading.Event()
    read = threading.Event()
    ends = []

    def evaluate():
        reading.wait()
        while not read.is_set():
            item.offsets([1, 2, 3])
            ends.append(time.perf_counter())

    def read_big():
        reading.set()
        start = time.perf_counter()
        call(path)
        read.set()
        return start, time.perf_counter()

    start, end = _in_threads(lambda i: read_big() if i == 0 else evaluate(), 2)[0]
    waits = [b - a for a, b in zip([start] + ends, ends + [end])]
    print(f"{call.__name__}: {end - start:.2f} s; {len(ends)} evaluations meanwhile, "
          f"the longest wait {max(waits):.3f} s")
    assert max(waits) < (end - start) / 4


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
    ([vrim.Action.key(2), vrim.Action.set("period", 0.5)], "",
     [C("field", 2, 2, "period", "0.250000", "0.500000")]),
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
     [C("field", 1, 1, "period", "0.1", "0.100000", asked=False),
      C("field", 2, 2, "end", "60.000000", "61.000000")]),
    # A value the file holds as the old one: the block is unchanged, and says so.
    ([vrim.Action.key(1), vrim.Action.set("width_x", 1e-7)], "",
     [C("field", 1, 1, "width_x", "0.000000", "0.000000", asked=False)]),
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
    jsonschema = pytest.importorskip("jsonschema")
    with open(os.path.join(os.path.dirname(SAMPLES), "docs", "schema", "edit.json")) as schema:
        jsonschema.validate(listed, json.load(schema))
    # The command names fields as its --set does; a Change as a Key does.
    field = {"freq": "period", "width-x": "width_x", "fall-off": "fall_off"}
    from_json = [vrim.Change(b["item"], b["block"], c["kind"], c["key"], c["was"],
                             field.get(c["field"], c["field"]), c["old"], c["new"], c["asked"])
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


# ---------------------------------------------------------------------------
# The boundary: wrong arguments refused with the caller's own names

def _lamp():
    return vrim.open(TWO).item("Lamp_Swing")


BAD_CALLS = [
    (lambda: _lamp().offsets("10"), TypeError, "frames must be an iterable of numbers, not str"),
    (lambda: _lamp().offsets_array("10"), TypeError, "frames must be an iterable"),
    (lambda: _lamp().offsets([1, "2"]), TypeError, "frames[1] must be a number, not str"),
    (lambda: _lamp().offsets([1, True]), TypeError, "frames[1] must be a number, not bool"),
    (lambda: _lamp().offsets([1, float("nan")]), ValueError, "frames[1] must be a finite"),
    (lambda: _lamp().offsets(times=[float("inf")]), ValueError, "times[0] must be a finite"),
    (lambda: _lamp().offsets([1], times=[1]), TypeError, "frames or times"),
    (lambda: _lamp().offsets([1], fps=0), ValueError, "fps must be a number above 0"),
    (lambda: _lamp().bake([(1, float("nan"), 0, 0)]), ValueError, "base[0][1] must be a finite"),
    (lambda: _lamp().bake([(1, 2, 3)]), ValueError, "base[0] must be a row"),
    (lambda: vrim.open(TWO).block("2"), TypeError, "number must be a block number, not str"),
    (lambda: vrim.open(TWO).block(0), ValueError, "from 1, not 0"),
    (lambda: vrim.open(TWO).item(2), TypeError, "name must be an item name (str), not int"),
    (lambda: vrim.open(3), TypeError, "path must be a path"),
    (lambda: vrim.check(), TypeError, "at least one"),
    (lambda: vrim.check(TWO, recursive="yes"), TypeError, "recursive must be True or False"),
    (lambda: vrim.report(TWO, page="x.html", block=-1), ValueError, "block must be a block"),
    (lambda: vrim.Action.set("start", object()), TypeError, "value must be a number"),
    (lambda: vrim.Action.set("start", float("nan")), ValueError, "value must be a finite"),
    (lambda: vrim.Action.key(0), ValueError, "number must be a key number from 1"),
]


@pytest.mark.parametrize("call,kind,text", BAD_CALLS)
def test_wrong_arguments_are_refused_naming_the_parameter(call, kind, text):
    with pytest.raises(kind) as refused:
        call()
    assert text in str(refused.value)


BAD_EDITS = [
    (dict(block=-1), ValueError, "block must be a block number from 1, not -1"),
    (dict(item=["Camera_Rig"]), TypeError, "item must be an item name (str), not list"),
    (dict(items="Lamp_Swing"), TypeError, "items must be a list of item names, not str"),
    (dict(item="Camera_Rig", dry_run="no"), TypeError, "dry_run must be True or False, not str"),
    (dict(item="Camera_Rig", force=1), TypeError, "force must be True or False, not int"),
    (dict(item="Camera_Rig", actions=vrim.Action.shift(1)), TypeError, "list of Action"),
    (dict(item="Camera_Rig", actions=["shift"]), TypeError, "actions[0] must be an Action"),
    (dict(item="Camera_Rig", actions=[]), ValueError, "at least one Action"),
    # The command's pairs: a backup of a dry run, an overwrite without a backup.
    (dict(item="Camera_Rig", dry_run=True, backup=True), vrim.UsageError, "dry_run writes"),
    (dict(item="Camera_Rig", overwrite_backup=True), vrim.UsageError, "without backup"),
]


@pytest.mark.parametrize("kwargs,kind,text", BAD_EDITS)
def test_wrong_edit_arguments_leave_the_file(scene, kwargs, kind, text):
    kwargs.setdefault("actions", [vrim.Action.shift(1)])
    before = open(scene, "rb").read()
    with pytest.raises(kind) as refused:
        vrim.edit(scene, **kwargs)
    assert text in str(refused.value)
    assert open(scene, "rb").read() == before and not os.path.exists(scene + ".bak")


def test_numpy_arrays_of_any_number_type_are_frames_and_shapes_are_checked():
    numpy = pytest.importorskip("numpy")
    item = _lamp()
    expected = item.offsets([0, 10, 37])
    for dtype in (numpy.int16, numpy.int64, numpy.uint8, numpy.float32, numpy.float64):
        frames = numpy.array([0, 10, 37], dtype=dtype)
        assert item.offsets(frames) == expected, dtype
        assert [tuple(r) for r in item.offsets_array(frames).tolist()] == expected, dtype
    # Every other frame of a strided view, not the array's memory as it lies.
    assert item.offsets(numpy.arange(0, 74, dtype=numpy.int32)[::37]) == \
        [expected[0], expected[2]]
    with pytest.raises(ValueError, match=r"frames must be of shape \(n,\), not \(1, 3\)"):
        item.offsets_array(numpy.array([[0, 10, 37]]))
    with pytest.raises(TypeError, match="frames must hold integers or floats"):
        item.offsets(numpy.array(["0"]))
    with pytest.raises(ValueError, match="base must be of shape"):
        item.bake(numpy.zeros((3, 3)))


def test_times_are_the_samples_own_times():
    numpy = pytest.importorskip("numpy")
    item = _lamp()
    times = [0.1, 1.0 / 3.0, 2.05]
    rows = item.offsets(times=times)
    assert [r[1] for r in rows] == times
    assert [r[0] for r in rows] == [t * 30.0 for t in times]
    assert [tuple(r) for r in item.offsets_array(times=numpy.array(times)).tolist()] == rows


# ---------------------------------------------------------------------------
# Views that cannot be written, values that can be copied

def test_views_are_read_only_and_keys_are_values():
    import pickle

    scene = vrim.open(TWO)
    item = scene.item("Camera_Rig")
    for target, name, value in [(scene, "fps", 48), (scene, "items", ()), (item, "name", "X"),
                                (item, "block", 3), (item.keys[0], "start", 3),
                                (scene.item("Lamp_Swing").findings[0], "line", 1)]:
        with pytest.raises(AttributeError):
            setattr(target, name, value)
    assert scene.fps == 30.0 and item.name == "Camera_Rig"
    key = item.keys[0]
    assert pickle.loads(pickle.dumps(key)) == key
    moved = dataclasses.replace(key, start=5)
    assert (moved.start, moved.end) == (5, key.end) and key.start == 0
    match key:
        case vrim.Key(start, end, _, (_, wy, _), fall_off):
            assert (start, end, wy, fall_off) == (0, 24, 0.08, True)
        case _:
            pytest.fail("a Key does not match its own pattern")


# ---------------------------------------------------------------------------
# Refusals in Python terms

def test_refusals_name_the_python_parameter_the_item_and_the_action(scene):
    os.chmod(scene, 0o444)
    try:
        with pytest.raises(vrim.EditRefused) as refused:
            vrim.edit(scene, item="Camera_Rig", actions=[vrim.Action.shift(1)])
        assert "force=True" in str(refused.value) and "--" not in str(refused.value)
        assert vrim.edit(scene, item="Camera_Rig", actions=[vrim.Action.shift(1)],
                         force=True).written
    finally:
        os.chmod(scene, 0o644)


def test_hard_linked_scene_is_replaced_only_when_asked(scene, tmp_path):
    twin = tmp_path / "twin.lws"
    os.link(scene, twin)
    with pytest.raises(vrim.EditRefused) as refused:
        vrim.edit(scene, item="Camera_Rig", actions=[vrim.Action.shift(1)])
    assert "break_hard_links=True" in str(refused.value)
    assert vrim.edit(scene, item="Camera_Rig", actions=[vrim.Action.shift(1)],
                     break_hard_links=True).written
    assert twin.read_bytes() == open(TWO, "rb").read()


@pytest.mark.parametrize("kwargs,item,action,text", [
    (dict(item="Lamp_Swng", actions=[vrim.Action.shift(1)]), "Lamp_Swng", None,
     "did you mean 'Lamp_Swing'?"),
    (dict(item="Camera_Rig", actions=[vrim.Action.shift(1), vrim.Action.key(7)]), "Camera_Rig",
     "Action.key(7)", "Action.key(7)"),
    (dict(item="Camera_Rig", actions=[("set", "colour=2")]), None,
     "Action.set('colour', '2')", "unknown field"),
])
def test_exceptions_carry_scene_item_and_action(scene, kwargs, item, action, text):
    with pytest.raises(vrim.Error) as refused:
        vrim.edit(scene, **kwargs)
    assert (refused.value.scene, refused.value.item, refused.value.action) == \
        (scene, item, action)
    assert text in str(refused.value) and "--" not in str(refused.value)


# Each field as a Key reads it, its old name (the command's), a value, and
# what the file then holds.
FIELDS = [
    ("start", "start", 3, "3.000000"),
    ("end", "end", 30, "30.000000"),
    ("period", "freq", 0.5, "0.500000"),
    ("width_x", "width-x", 0.125, "0.125000"),
    ("width_y", "width-y", 0.25, "0.250000"),
    ("width_z", "width-z", 0.375, "0.375000"),
    ("fall_off", "fall-off", False, "0.000000"),
]


@pytest.mark.parametrize("name,old_name,value,held", FIELDS)
def test_one_vocabulary_for_the_fields_an_edit_sets_and_reports(scene, name, old_name, value,
                                                               held):
    # A key's field named as the Key reads it (width_x: width[0]).
    assert name in {f.name for f in dataclasses.fields(vrim.Key)} | {"width_x", "width_y",
                                                                     "width_z"}
    results = [vrim.edit(scene, item="Camera_Rig", dry_run=True,
                         actions=[vrim.Action.set(given, value)]) for given in (name, old_name)]
    # The old name still sets the same field; both report it by the Key's name,
    # and what a change reports, an action takes back.
    assert results[0] == results[1]
    assert [(c.field, c.new, c.asked) for c in results[0].changes] == [(name, held, True)]
    assert vrim.Action.set(results[0].changes[0].field, value) == vrim.Action.set(name, value)
    assert repr(vrim.Action.set(old_name, value)).startswith(f"Action.set({name!r}, ")


def test_a_field_a_key_does_not_have_is_refused_naming_the_parameter():
    with pytest.raises(ValueError) as refused:
        vrim.Action.set("width", 1e-7)
    assert "field_name 'width'" in str(refused.value)
    assert "width is three fields" in str(refused.value) and "width_x, width_y" in \
        str(refused.value)
    with pytest.raises(ValueError, match="did you mean 'period'"):
        vrim.Action.set("periods", 1)


# ---------------------------------------------------------------------------
# Stale scenes, and the gate

def test_an_edit_through_the_library_makes_the_open_scene_stale(scene):
    opened = vrim.open(scene)
    rig = opened.item("Camera_Rig")
    assert rig.keys[0].start == 0
    vrim.edit(scene, item="Camera_Rig", actions=[vrim.Action.shift(3)])
    for read in (lambda: rig.keys, lambda: rig.findings, lambda: rig.offsets([1])):
        with pytest.raises(vrim.StaleSceneError) as stale:
            read()
        assert "reload()" in str(stale.value) and stale.value.item == "Camera_Rig"
    assert opened.reload().item("Camera_Rig").keys[0].start == 3
    # A dry run changes nothing: the scene stays fresh.
    fresh = vrim.open(scene)
    vrim.edit(scene, item="Camera_Rig", actions=[vrim.Action.shift(3)], dry_run=True)
    assert fresh.item("Camera_Rig").keys[0].start == 3


def test_check_is_a_gate_with_the_commands_status(tmp_path):
    shots = tmp_path / "shots"
    (shots / "a").mkdir(parents=True)
    shutil.copyfile(TWO, shots / "a" / "one.lws")
    with pytest.raises(vrim.SceneError, match="recursive=True"):
        vrim.check(shots)
    gate = vrim.check(shots, recursive=True)
    listed = json.loads(run("check", str(shots), "-r", "--json").stdout)
    assert (gate.blocks, gate.keys, gate.errors, gate.warnings, gate.status) == \
        (listed["blocks"], listed["keys"], listed["errors"], listed["warnings"], listed["status"])
    assert [f.path for f in gate.files] == [s["path"] for s in listed["files"]]
    assert all(isinstance(f.severity, vrim.Severity) for f in gate)
    assert sorted(gate, reverse=True)[0].line == max(f.line or 0 for f in gate)
    missing = tmp_path / "missing.lws"
    failed = vrim.check(missing)
    assert failed.status == run("check", str(missing), check=False).returncode == 2
    assert not failed.passed and failed.findings[0].severity is vrim.Severity.ERROR
    assert failed.findings[0].line is None and failed.files[0].error


def test_module_shows_only_its_own_names():
    assert set(dir(vrim)) == set(vrim.__all__) | {"__version__"}
    for name in ("Scene", "Item", "Finding", "CheckResult"):
        doc = getattr(vrim, name).__doc__
        for attribute in {"Scene": ("path", "fps", "first_frame"), "Item": ("name", "block"),
                          "Finding": ("severity", "line"),
                          "CheckResult": ("status", "files")}[name]:
            assert f"``{attribute}``" in doc, (name, attribute)


# ---------------------------------------------------------------------------
# Writing keys

def _halved(key):
    return dataclasses.replace(key, width=tuple(w / 2 for w in key.width))


CHAINS = [
    # Fewer keys: the ones past the chain are deleted.
    (lambda keys: list(keys[:1]), lambda keys: list(keys[:1])),
    # The same keys with half the width.
    (lambda keys: [_halved(k) for k in keys], lambda keys: [_halved(k) for k in keys]),
    # One more key, added at the end.
    (lambda keys: list(keys) + [vrim.Key(70, 80, 0.3, (0.1, 0.2, 0.3), False)],
     lambda keys: list(keys) + [vrim.Key(70, 80, 0.3, (0.1, 0.2, 0.3), False)]),
    # A key moved past its own old end: its start and end both as asked.
    (lambda keys: [vrim.Key(100, 120, 0.5, (1.0, 0.0, 0.0), False)],
     lambda keys: [vrim.Key(100, 120, 0.5, (1.0, 0.0, 0.0), False)]),
]


@pytest.mark.parametrize("make,expected", CHAINS)
def test_a_chain_of_keys_is_written_as_given(scene, make, expected):
    before = vrim.open(scene).item("Camera_Rig").keys
    dry = vrim.edit(scene, item="Camera_Rig", keys=make(before), dry_run=True)
    assert not dry.written and all(c.asked for c in dry.changes)
    result = vrim.edit(scene, item="Camera_Rig", keys=make(before))
    assert result.written and result.changes == dry.changes
    reopened = vrim.open(scene)
    assert list(reopened.item("Camera_Rig").keys) == expected(before)
    assert reopened.item("Lamp_Swing").keys == vrim.open(TWO).item("Lamp_Swing").keys


def test_values_the_file_cannot_hold_are_reported_not_rounded_silently(scene):
    keys = vrim.open(scene).item("Camera_Rig").keys
    # 1e-7 is kept as 0 (the old value: no line changes); 0.0123456789 as 0.012346.
    wanted = [dataclasses.replace(keys[0], width=(1e-7, 0.0123456789, 0.0))] + list(keys[1:])
    result = vrim.edit(scene, item="Camera_Rig", keys=wanted, dry_run=True)
    inexact = {(c.key, c.field, c.old, c.new) for c in result.changes if not c.asked}
    assert inexact == {(1, "width_x", "0.000000", "0.000000"),
                       (1, "width_y", "0.080000", "0.012346")}


# A plain action's value, and what the file holds of key 1 (width_x was
# 0.000000, period 0.100000): held otherwise than given is not asked for.
ROUNDED = [
    ("width_x", 1e-7, "0.000000", False),       # kept as the old value: no line changes
    ("width_x", 0.0123456789, "0.012346", False),
    ("period", 1 / 3, "0.333333", False),
    ("width_x", 0.125, "0.125000", True),       # held exactly
    ("period", "0.25", "0.250000", True),
    ("start", 5, "5.000000", True),
]


@pytest.mark.parametrize("field,value,held,asked", ROUNDED)
def test_plain_actions_report_values_the_file_cannot_hold(scene, field, value, held, asked):
    result = vrim.edit(scene, item="Camera_Rig", dry_run=True,
                       actions=[vrim.Action.key(1), vrim.Action.set(field, value)])
    assert [(c.key, c.field, c.new, c.asked) for c in result.changes] == \
        [(1, field, held, asked)]
    # The same rule for a chain of keys.
    if field != "start":
        keys = list(vrim.open(scene).item("Camera_Rig").keys)
        given = float(value)
        keys[0] = dataclasses.replace(keys[0], period=given) if field == "period" else \
            dataclasses.replace(keys[0], width=(given,) + keys[0].width[1:])
        chain = vrim.edit(scene, item="Camera_Rig", keys=keys, dry_run=True)
        assert [(c.key, c.field, c.new, c.asked) for c in chain.changes] == \
            [(1, field, held, asked)]


def test_each_item_gets_its_own_actions_in_one_pass(scene):
    result = vrim.edit(scene, actions={"Camera_Rig": [vrim.Action.shift(2)],
                                       "Lamp_Swing": [vrim.Action.key(3),
                                                      vrim.Action.delete_key()]})
    assert result.written and result.edited == 2
    reopened = vrim.open(scene)
    assert [k.start for k in reopened.item("Camera_Rig").keys] == [2, 38]
    assert len(reopened.item("Lamp_Swing").keys) == 2
    with pytest.raises(vrim.EditRefused) as refused:
        vrim.edit(scene, actions={"Camera_Rig": [vrim.Action.shift(1)],
                                  "Lamp_Swing": [vrim.Action.shift(1), vrim.Action.key(9)]})
    assert (refused.value.item, refused.value.action) == ("Lamp_Swing", "Action.key(9)")


@pytest.mark.parametrize("kwargs,kind,text", [
    (dict(item="Camera_Rig", keys=[]), ValueError, "at least one Key"),
    (dict(item="Camera_Rig", keys=[(0, 1, 0.1, (0, 0, 0), False)]), TypeError,
     "keys[0] must be a Key, not tuple"),
    (dict(item="Camera_Rig", keys=[vrim.Key(0, 1, float("nan"), (0, 0, 0), False)]),
     ValueError, "keys[0].period must be a finite number"),
    (dict(item="Camera_Rig", keys=[vrim.Key(0, 1, 0.1, (0, 0), False)]), TypeError,
     "keys[0].width must be three numbers"),
    (dict(items=["Camera_Rig", "Lamp_Swing"], keys=[vrim.Key(0, 1, 0.1, (0, 0, 0), False)]),
     TypeError, "dict of item names"),
    (dict(item="Camera_Rig", keys=[vrim.Key(0, 1, 0.1, (0, 0, 0), False)],
          actions=[vrim.Action.shift(1)]), TypeError, "actions or keys"),
])
def test_wrong_keys_are_refused_before_anything_is_read(scene, kwargs, kind, text):
    with pytest.raises(kind) as refused:
        vrim.edit(scene, **kwargs)
    assert text in str(refused.value)


# ---------------------------------------------------------------------------
# Where the package finds itself

def _copied_build(tmp_path, built_for=None):
    """The package and the module file copied, as a build tree moved elsewhere."""
    package = os.path.dirname(vrim.__file__)
    shutil.copytree(package, tmp_path / "python" / "vrim")
    (tmp_path / "bin").mkdir()
    shutil.copyfile(vrim.module_path(), tmp_path / "bin" / "vrim_s.p")
    if built_for:
        where = tmp_path / "python" / "vrim" / "_where.py"
        where.write_text(where.read_text().replace(
            "BUILT_FOR = \"%d.%d\"" % sys.version_info[:2], f"BUILT_FOR = \"{built_for}\""))
    return tmp_path


PACKAGING = [
    # A moved build tree uses its own module file, not the one it was built beside.
    (None, "import vrim; print(vrim.module_path())", "{tree}/bin/vrim_s.p"),
    # A package built for another CPython says so instead of failing obscurely.
    ("3.99", "import vrim", "built for CPython 3.99; this is CPython"),
    # NumPy missing: the one call that needs it names the package to install.
    (None, "import sys; sys.modules['numpy'] = None; import vrim; "
           "vrim.open(sys.argv[1]).items[0].offsets_array([1])", "install python3-numpy"),
]


@pytest.mark.parametrize("built_for,code,expected", PACKAGING)
def test_the_package_as_copied_or_run_elsewhere(tmp_path, built_for, code, expected):
    tree = _copied_build(tmp_path, built_for)
    env = {k: v for k, v in os.environ.items() if k != "VRIM_MODULE"}
    env["PYTHONPATH"] = str(tree / "python")
    done = subprocess.run([sys.executable, "-c", code, TWO], capture_output=True, text=True,
                          env=env)
    assert expected.format(tree=tree) in done.stdout + done.stderr


# ---------------------------------------------------------------------------
# A scene's items made when asked for, and read one at a time

HEADER = b"LWSC\n3\n\nFirstFrame 0\nLastFrame 30\nFramesPerSecond 30\n\n"


def _described(item):
    return (item.name, item.block, item.kind, item.first_line, item.last_line, item.key_count,
            item.errors, item.warnings, item.keys, item.findings,
            item.offsets([0, 7.5, 24]))


@pytest.mark.parametrize("kind", ["two-items.lws", "shot-24fps.lws"] + sorted(NAMED))
def test_iter_items_yields_the_items_open_holds(tmp_path, kind):
    if kind in NAMED:
        path = tmp_path / (kind + ".lws")
        path.write_bytes(HEADER + NAMED[kind])
    else:
        path = os.path.join(SAMPLES, kind)
    scene = vrim.open(path)
    streamed = list(vrim.iter_items(path))
    assert [_described(i) for i in streamed] == [_described(i) for i in scene.items]
    # Each streamed item's scene is its header alone.
    for item in streamed:
        header = item.scene
        assert (header.path, header.fps, header.first_frame, header.last_frame,
                header.frame_step) == (scene.path, scene.fps, scene.first_frame,
                                       scene.last_frame, scene.frame_step)
        assert len(header.items) == 0 and "header" in repr(header)


def test_iter_items_refusals(tmp_path):
    cut = tmp_path / "cut.lws"
    cut.write_bytes(HEADER + null(b"First") + WRAPPED + null(b"x" * 300) + WRAPPED)
    read = []
    with pytest.raises(vrim.SceneError) as stopped:
        for item in vrim.iter_items(cut):
            read.append(item.name)
    assert read == ["First"] and "longer than 256 bytes" in str(stopped.value)
    assert stopped.value.scene == str(cut)
    # Refused at the call, before any item is asked for.
    for path, kind in [(tmp_path / "none.lws", vrim.SceneError), (3, TypeError),
                       ("", ValueError)]:
        with pytest.raises(kind):
            vrim.iter_items(path)
    with pytest.raises(vrim.ModuleError):
        vrim.iter_items(TWO, module="/nonexistent/vrim_s.p")


def test_a_scenes_items_are_a_read_only_sequence_of_the_same_objects(tmp_path):
    path = tmp_path / "many.lws"
    # More items than are made in one batch, two blocks sharing one item.
    path.write_bytes(HEADER + b"".join(null(b"N%d" % n) + WRAPPED for n in range(300)) +
                     null(b"Twice") + WRAPPED + WRAPPED)
    scene = vrim.open(path)
    items = scene.items
    assert len(items) == len(scene) == 302
    names = [i.name for i in items]
    assert names[:2] == ["N0", "N1"] and names[-2:] == ["Twice", "Twice@302"]
    held = items[299]
    cases = [(items[-1], items[301]), (items[-302], items[0]), (scene.item("N299"), held),
             (scene.block(300), held), (list(scene)[299], held), (items[298:300][1], held)]
    for got, expected in cases:
        assert got is expected
    assert items == tuple(items) and items != tuple(items)[1:] and items != list(items)
    assert isinstance(items[5:8], tuple) and [i.name for i in items[::150]] == \
        ["N0", "N150", "Twice"]
    for index, kind in [(302, IndexError), (-303, IndexError), ("1", TypeError),
                        (1.0, TypeError)]:
        with pytest.raises(kind):
            items[index]
    with pytest.raises(TypeError):
        items[0] = held
    with pytest.raises(dataclasses.FrozenInstanceError):
        items._scene = None
    with pytest.raises(vrim.ItemError) as missing:
        scene.item("N2999")
    assert "did you mean 'N299'" in str(missing.value) and "N0, N1" in str(missing.value)


# ---------------------------------------------------------------------------
# The frames and numbers of bake

def _stepped(tmp_path, step):
    text = open(TWO).read()
    path = tmp_path / f"step-{step}.lws"
    path.write_text(text.replace("FrameStep 1\n", f"FrameStep {step}\n", 1))
    return str(path)


@pytest.mark.parametrize("step,rows", [(None, 91), (2, 46), (7, 13), ("0.5", 91), ("x", 91)])
def test_offsets_sample_the_frames_bake_samples_bit_for_bit(tmp_path, step, rows):
    path = TWO if step is None else _stepped(tmp_path, step)
    scene = vrim.open(path)
    for item in scene.items:
        baked = run("bake", path, "--item", item.name, "--precision", "17").stdout.splitlines()
        assert len(baked) - 1 == rows == len(item.offsets())
        # Seventeen digits read back as the very double the module gave.
        assert [tuple(float(v) for v in line.split(",")) for line in baked[1:]] == \
            item.offsets()
    assert scene.frame_step == (float(step) if step in (2, 7) else 1.0)


# ---------------------------------------------------------------------------
# Ctrl-C during long work

def _many_items(path, megabytes, keys=2):
    block = "".join("KEY_START\nFREQ 0.1\nFREQ_W_X 0.1\nFREQ_W_Y 0.1\nFREQ_W_Z 0.1\n"
                    "START_F %d\nEND_F %d\nFALL_OFF 1\n" % (k, k + 10) for k in range(keys))
    with open(path, "w") as f:
        f.write("LWSC\n3\n\nFirstFrame 0\nLastFrame 600\nFramesPerSecond 30\n\n")
        n = 0
        while f.tell() < megabytes * 1024 * 1024:
            n += 1
            f.write("AddNullObject N%d\nPlugin ItemMotionHandler 1 VRIM_S\nVRIM_START\n"
                    "KEY_NUM %d\n%sVRIM_END\nEndPlugin\n" % (n, keys, block))
    return n


@pytest.fixture(scope="module")
def many_items(tmp_path_factory):
    path = tmp_path_factory.mktemp("many") / "many.lws"
    return str(path), _many_items(path, 40)


# Each long call on a scene of 150,000 items; none may write anything.
INTERRUPTED = [
    "vrim.open(path)",
    "vrim.check(path)",
    "sum(1 for _ in vrim.iter_items(path))",
    "vrim.edit(path, all_items=True, actions=[vrim.Action.shift(1)])",
    "vrim.report(path, page=page)",
]


@pytest.mark.parametrize("call", INTERRUPTED)
def test_ctrl_c_raises_keyboard_interrupt_within_a_second(tmp_path, many_items, call):
    import hashlib
    import signal
    import time

    path, _ = many_items
    page = tmp_path / "page.html"
    before = hashlib.sha256(open(path, "rb").read()).hexdigest()
    code = ("import sys, vrim\npath, page = sys.argv[1:]\nprint('ready', flush=True)\n"
            "try:\n    %s\n    print('finished', flush=True)\n"
            "except KeyboardInterrupt:\n    print('interrupted', flush=True)\n" % call)
    child = subprocess.Popen([sys.executable, "-c", code, path, str(page)],
                             stdout=subprocess.PIPE, text=True, env=dict(os.environ))
    assert child.stdout.readline() == "ready\n"
    time.sleep(0.3)
    sent = time.monotonic()
    child.send_signal(signal.SIGINT)
    said = child.stdout.readline().strip()
    waited = time.monotonic() - sent
    child.communicate(timeout=60)
    print(f"{call}: KeyboardInterrupt {waited:.3f} s after SIGINT")
    if said == "finished":
        pytest.skip(f"{call} ended before the signal came; no interruption to time")
    assert said == "interrupted"
    assert waited <= 1.0, f"{waited:.2f} s"
    # Nothing written: the scene as it was, no page.
    assert hashlib.sha256(open(path, "rb").read()).hexdigest() == before
    assert not page.exists()
    assert os.listdir(os.path.dirname(path)) == ["many.lws"]


def test_what_a_signal_handler_raises_ends_the_call_as_it_is(many_items):
    # A script's own handler (a time limit, say) is not turned into Ctrl-C.
    import signal

    class TimeLimit(Exception):
        pass

    def limit(*_):
        raise TimeLimit()

    old = signal.signal(signal.SIGALRM, limit)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        with pytest.raises(TimeLimit):
            vrim.open(many_items[0])
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, old)


def test_the_validator_leaves_the_programs_crash_signals_as_they_were():
    # A crash after vrim.validate() is the program's, not a validator check's
    # (which ended the process with 1 and the check's line).
    import signal

    code = "import os, vrim; assert vrim.validate().passed; os.abort()"
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          env=dict(os.environ))
    assert done.returncode == -signal.SIGABRT, (done.returncode, done.stdout[-300:])


def test_the_wheel_installs_into_a_virtual_environment_and_edits(tmp_path, scene):
    import venv  # noqa: F401  (python3-venv)

    build = os.path.dirname(os.path.dirname(os.path.dirname(vrim.__file__)))
    if not os.path.isdir(os.path.join(build, "python", "installed")):
        pytest.skip("no build tree beside the package to make a wheel from")
    maker = os.path.join(os.path.dirname(os.path.dirname(__file__)), "make_wheel.py")
    made = subprocess.run([sys.executable, maker, "--build", build, "--out", str(tmp_path)],
                          capture_output=True, text=True, check=True).stdout.strip()
    assert os.path.basename(made) == "vrim-1.0.0-cp%d%d-cp%d%d-linux_x86_64.whl" % (
        sys.version_info[:2] * 2)
    made_env = subprocess.run([sys.executable, "-m", "venv", str(tmp_path / "env")],
                              capture_output=True, text=True)
    if made_env.returncode != 0:
        pytest.skip("no virtual environment here: " + made_env.stderr.strip()[-200:])
    python = str(tmp_path / "env" / "bin" / "python")
    subprocess.run([python, "-m", "pip", "install", "-q", "--no-index", made], check=True)
    code = ("import sys, vrim; r = vrim.edit(sys.argv[1], item='Lamp_Swing', "
            "actions=[vrim.Action.shift(2)]); print(r.written, vrim.check(sys.argv[1]).status, "
            "vrim.module_path().startswith(sys.prefix))")
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "VRIM_MODULE")}
    done = subprocess.run([python, "-c", code, scene], capture_output=True, text=True, env=env)
    assert done.stdout.split() == ["True", "1", "True"], done.stderr
