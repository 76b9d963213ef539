"""The library's peak memory on scenes of 200 MB, within the bound the
commands keep (64 MB): ``vrim.open`` with every item touched, and
``vrim.iter_items``, each in a child of its own that reads its peak
resident memory from the kernel (VmHWM) as it ends: the peak of its own
program, not of the test process it was started from. Scenes of many small
items (2 keys each), of fewer large ones (50 keys), and of one item with a
block after block (1 key each), whose last block is far from its item's
line."""

import os
import subprocess
import sys

import pytest

LIMIT_MB = 64
SCENE_MB = 200

KEY = ("KEY_START\nFREQ 0.1\nFREQ_W_X 0.1\nFREQ_W_Y 0.1\nFREQ_W_Z 0.1\n"
       "START_F %d\nEND_F %d\nFALL_OFF 1\n")


def write_scene(path, keys, items):
    """Blocks of ``keys`` keys, as short as a host writes them (the most a
    megabyte holds), each of a null item of its own or (``items`` False) all
    of one; a megabyte a write. Returns how many blocks."""
    block = "".join(KEY % (k * 6, k * 6 + 10) for k in range(keys))
    block = (f"Plugin ItemMotionHandler 1 VRIM_S\nVRIM_START\nKEY_NUM {keys}\n{block}"
             "VRIM_END\nEndPlugin\n")
    per_write = max(1, (1 << 20) // len(block))
    count = size = 0
    with open(path, "w") as f:
        f.write("LWSC\n3\n\nFirstFrame 0\nLastFrame 600\nFramesPerSecond 30\n\n")
        if not items:
            f.write("AddNullObject Shaker\n")
        while size < SCENE_MB << 20:
            piece = "".join(f"AddNullObject Null_{count + i}\n{block}" if items else block
                            for i in range(1, per_write + 1))
            f.write(piece)
            count += per_write
            size += len(piece)
    return count


SCENES = {"2-key items": (2, True), "50-key items": (50, True),
          "1-key blocks of one item": (1, False)}


@pytest.fixture(scope="module", params=sorted(SCENES))
def big_scene(request, tmp_path_factory):
    keys, items = SCENES[request.param]
    path = tmp_path_factory.mktemp("scenes") / "big.lws"
    count = write_scene(path, keys, items)
    yield str(path), keys, count
    os.unlink(path)


# What each child does with the scene: every item made and its key count
# looked at, the keys of every thousandth read from the file. It prints the
# items seen, the items with the keys written, the keys read and its peak.
CALLS = {
    "open": "scene = vrim.open(path)\nitems = scene.items\n",
    "iter_items": "items = vrim.iter_items(path)\n",
}
TOUCH = """seen = right = read = 0
for item in items:
    seen += 1
    right += item.key_count == keys
    if seen % 1000 == 1:
        read += len(item.keys)
peak = [line.split()[1] for line in open("/proc/self/status") if line.startswith("VmHWM:")]
print(seen, right, read, *peak)
"""


@pytest.mark.parametrize("call", sorted(CALLS))
def test_peak_memory_within_the_commands_bound(big_scene, call, tmp_path):
    path, keys, count = big_scene
    code = "import sys, vrim\npath, keys = sys.argv[1], int(sys.argv[2])\n" + CALLS[call] + TOUCH
    out, err = tmp_path / "out", tmp_path / "err"
    with open(out, "w") as stdout, open(err, "w") as stderr:
        subprocess.run([sys.executable, "-c", code, path, str(keys)], stdout=stdout,
                       stderr=stderr, env=dict(os.environ), check=False)
    *counted, peak_kb = out.read_text().split() or ["no output: " + err.read_text()]
    thousands = (count + 999) // 1000
    assert counted == [str(count), str(count), str(thousands * keys)], err.read_text()
    peak_mb = int(peak_kb) / 1024
    print(f"vrim.{call} of {count} blocks of {keys} keys, {os.path.getsize(path) >> 20} MB: "
          f"peak {peak_mb:.1f} MB")
    assert peak_mb <= LIMIT_MB
