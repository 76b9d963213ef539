"""vrim.diff against `vrim diff --json`: the same document through the
library, and the library's refusals in Python terms."""
import json
import os
import shutil
import subprocess

import pytest
import vrim

BIN = os.environ["VRIM_BIN"]
TWO = os.path.join(os.environ["VRIM_SAMPLES"], "two-items.lws")


@pytest.fixture
def versions(tmp_path):
    old, new = tmp_path / "v1.lws", tmp_path / "v2.lws"
    shutil.copyfile(TWO, old)
    with open(TWO) as f:
        text = f.read()
    new.write_text(text.replace("FREQ 0.250000", "FREQ 0.2").replace("Lamp_Swing", "Lamp_Sway"))
    return str(old), str(new)


@pytest.mark.parametrize("tolerance", [1e-6, 0.05, 1.0])
def test_diff_is_the_commands_document(versions, tolerance):
    done = subprocess.run([os.path.join(BIN, "vrim"), "diff", *versions, "--json",
                           "--tolerance", repr(tolerance)], capture_output=True, text=True)
    assert done.returncode in (0, 1), done.stderr
    assert vrim.diff(*versions, tolerance=tolerance) == json.loads(done.stdout)


def test_diff_names_what_changed(versions):
    document = vrim.diff(*versions)
    items = document["scenes"][0]["items"]
    assert [(i["change"], i["item"]) for i in items] == \
        [("changed", "Camera_Rig"), ("renamed", "Lamp_Sway")]
    assert items[0]["keys"][0]["fields"] == [{"field": "period", "old": 0.25, "new": 0.2}]
    assert document["status"] == 1


@pytest.mark.parametrize("arguments, error", [
    ({"tolerance": -1.0}, ValueError),
    ({"tolerance": "small"}, TypeError),
    ({"recursive": "yes"}, TypeError),
])
def test_diff_refuses_arguments(versions, arguments, error):
    with pytest.raises(error):
        vrim.diff(*versions, **arguments)


def test_diff_of_a_folder_against_a_file_is_refused(versions, tmp_path):
    with pytest.raises(vrim.Error):
        vrim.diff(str(tmp_path), versions[1])


def test_diff_after_validate_uses_a_live_module(versions):
    # The validator activates the module in a host of its own; the library's
    # session must not go on with the services of that host once it is gone.
    before = vrim.diff(*versions)
    assert vrim.validate().passed
    assert vrim.diff(*versions) == before
