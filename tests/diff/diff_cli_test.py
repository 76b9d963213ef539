#!/usr/bin/env python3
"""vrim diff through the built binary: exit statuses, --quiet, --json against
its schema, folders, and git's diff driver (textconv) and difftool set up in
a real repository with the lines the guide shows.

Usage: diff_cli_test.py BIN_DIR SCHEMA_DIR
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

try:
    import jsonschema
except ImportError:
    print("SKIP: python3-jsonschema is not installed")
    sys.exit(77)

BIN, SCHEMAS = (os.path.abspath(arg) for arg in sys.argv[1:3])
VRIM = os.path.join(BIN, "vrim")
SAMPLE = os.path.join(BIN, "samples", "two-items.lws")


def run(*args, cwd=None):
    return subprocess.run([VRIM, *args], capture_output=True, text=True, cwd=cwd)


class Diff(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="vrim-diff-")
        with open(SAMPLE, newline="") as f:
            cls.text = f.read()
        cls.old = cls.scene("old.lws", cls.text)
        with open(os.path.join(SCHEMAS, "diff.json")) as f:
            schema = json.load(f)
        jsonschema.Draft202012Validator.check_schema(schema)
        cls.schema = jsonschema.Draft202012Validator(schema)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    @classmethod
    def scene(cls, name, text):
        path = os.path.join(cls.work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", newline="") as f:
            f.write(text)
        return path

    def test_status_and_words(self):
        period = self.scene("period.lws", self.text.replace("FREQ 0.250000", "FREQ 0.2"))
        resaved = self.scene("resaved.lws", self.text.replace("FREQ 0.250000", "FREQ 0.25"))
        crlf = self.scene("crlf.lws", self.text.replace("\n", "\r\n"))
        cases = [
            # (arguments, status, what standard output holds)
            ([self.old, period], 1,
             "Camera_Rig: key 2 period 0.25 \u2192 0.2; moves up to 0.09303 on X, frames 37\u201360"),
            ([self.old, resaved], 0, "0 changed, 0 added, 0 removed, 0 renamed, 2 unchanged"),
            ([self.old, crlf], 0, "no motion differs"),
            ([self.old, period, "--quiet"], 1, None),
            ([self.old, resaved, "--quiet"], 0, None),
            ([self.old, os.path.join(self.work, "absent.lws")], 2, ""),
            ([self.old, period, "--tolerance", "-1"], 2, ""),
            ([self.old, period, "--tolerance", "0.1"], 0, "no motion differs"),
            ([self.old], 2, ""),
            (["-", period], 2, ""),
            (["--textconv", self.old, period], 2, ""),
        ]
        for args, status, words in cases:
            with self.subTest(args=args[1:]):
                done = run("diff", *args)
                self.assertEqual(done.returncode, status, done.stderr)
                if words is None:
                    self.assertEqual(done.stdout, "")
                else:
                    self.assertIn(words, done.stdout)
                if status == 2:
                    self.assertRegex(done.stderr, "^vrim: ")

    def test_json_holds_to_its_schema(self):
        renamed = self.text.replace("Lamp_Swing", "Lamp_Sway").replace(
            "FramesPerSecond 30", "FramesPerSecond 24")
        pairs = [
            (self.old, self.scene("renamed.lws", renamed)),
            (self.old, self.scene("same.lws", self.text)),
            (self.old, os.path.join(self.work, "absent.lws")),
        ]
        for old, new in pairs:
            with self.subTest(new=os.path.basename(new)):
                done = run("diff", old, new, "--json")
                document = json.loads(done.stdout)
                self.schema.validate(document)
                self.assertEqual(document["status"], done.returncode)
        document = json.loads(run("diff", *pairs[0], "--json").stdout)
        scene = document["scenes"][0]
        self.assertEqual([h["what"] for h in scene["header"]], ["frame rate"])
        self.assertEqual([(i["change"], i["oldItem"], i["item"]) for i in scene["items"]],
                         [("changed", None, "Camera_Rig"), ("renamed", "Lamp_Swing", "Lamp_Sway")])

    def test_folders_pair_scenes_by_path(self):
        self.scene("week1/a.lws", self.text)
        self.scene("week1/gone.lws", self.text)
        self.scene("week2/a.lws", self.text)
        self.scene("week2/sub/new.lws", self.text)
        week1, week2 = (os.path.join(self.work, w) for w in ("week1", "week2"))
        flat = run("diff", week1, week2)
        self.assertEqual(flat.returncode, 1)
        self.assertIn("gone.lws: scene removed", flat.stdout)
        self.assertNotIn("sub/new.lws", flat.stdout)
        deep = run("diff", week1, week2, "--recursive", "--json")
        document = json.loads(deep.stdout)
        self.schema.validate(document)
        self.assertEqual([(s["path"], s["old"] is None, s["new"] is None)
                          for s in document["scenes"]],
                         [("a.lws", False, False), ("gone.lws", False, True),
                          ("sub/new.lws", True, False)])
        self.assertEqual((document["added"], document["removed"]), (2, 2))

    def test_git_shows_key_changes_in_words(self):
        if shutil.which("git") is None:
            self.skipTest("git is not installed")
        repo = os.path.join(self.work, "repo")
        os.makedirs(repo)
        env = dict(os.environ, GIT_CONFIG_GLOBAL=os.devnull, GIT_CONFIG_NOSYSTEM="1",
                   GIT_AUTHOR_NAME="t", GIT_AUTHOR_EMAIL="t@t", GIT_COMMITTER_NAME="t",
                   GIT_COMMITTER_EMAIL="t@t", GIT_PAGER="cat")

        def git(*args):
            done = subprocess.run(["git", *args], cwd=repo, env=env, capture_output=True,
                                  text=True)
            self.assertEqual(done.returncode, 0, done.stderr)
            return done.stdout

        git("init", "-q")
        # The lines the guide shows, the tool named by its full path.
        with open(os.path.join(repo, ".gitattributes"), "w") as f:
            f.write("*.lws diff=vrim\n")
        with open(os.path.join(repo, ".git", "config"), "a") as f:
            f.write('[diff "vrim"]      textconv = %s diff --textconv\n' % VRIM)
            f.write('[difftool "vrim"]  cmd = %s diff "$LOCAL" "$REMOTE"\n' % VRIM)
        shot = os.path.join(repo, "shot.lws")
        with open(shot, "w", newline="") as f:
            f.write(self.text)
        git("add", ".")
        git("commit", "-qm", "v1")
        with open(shot, "w", newline="") as f:
            f.write(self.text.replace("FREQ 0.250000", "FREQ 0.2"))
        git("commit", "-qam", "v2")
        patch = git("log", "-p", "-1", "--format=")
        changed = [line for line in patch.splitlines()
                   if re.match(r"^[-+][^-+]", line)]
        self.assertEqual(changed, [
            "-Camera_Rig key 2: start 36, end 60, period 0.25, width X 0.05 Y 0 Z 0.03, fall-off off",
            "+Camera_Rig key 2: start 36, end 60, period 0.2, width X 0.05 Y 0 Z 0.03, fall-off off",
        ])
        tool = git("difftool", "-y", "--tool=vrim", "HEAD~1", "HEAD")
        self.assertIn("Camera_Rig: key 2 period 0.25 \u2192 0.2", tool)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
