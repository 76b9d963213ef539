#!/usr/bin/env python3
"""Names and addresses through the built vrim binary.

Scenes with duplicate names, a real item named like a generated address, a
block before any item, two modifiers on one item, UTF-8 and Windows-1252
names and control characters: every address ls --json lists, fed back to
--item, and every block number, fed to --block, reach the same block on
every command; every --json document holds to its schema; JSON and CSV keep
names byte for byte; text output never carries a control character raw.

Run as: names_test.py BIN_DIR SCHEMA_DIR
"""
import csv
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest

try:
    import jsonschema
except ImportError:
    print("SKIP: python3-jsonschema is not installed")
    sys.exit(77)

BIN, SCHEMAS = sys.argv[1], sys.argv[2]
VRIM = os.path.join(BIN, "vrim")

KEYS = [b"VRIM_START", b"KEY_NUM 1.000000", b"KEY_START", b"FREQ 0.100000",
        b"FREQ_W_X 0.050000", b"FREQ_W_Y 0.080000", b"FREQ_W_Z 0.000000",
        b"START_F 0.000000", b"END_F 24.000000", b"FALL_OFF 0.000000", b"VRIM_END"]
WRAPPED = [b"Plugin ItemMotionHandler 1 VRIM_S"] + KEYS + [b"EndPlugin"]
HEADER = [b"LWSC", b"3", b"FirstFrame 0", b"LastFrame 30", b"FramesPerSecond 30"]


def null(name):
    return [b"AddNullObject " + name, b"ShowObject 6 3"]


# Each scene: its lines, and the (address as UTF-8, name or None) of each
# block in file order.
SCENES = {
    "duplicates": (HEADER + null(b"Null") + WRAPPED + null(b"Null") + WRAPPED,
                   [("Null", "Null"), ("Null@2", "Null")]),
    "like-generated": (HEADER + null(b"Null") + WRAPPED + null(b"Null") + WRAPPED
                       + null(b"Null@2") + WRAPPED + null(b"@1") + WRAPPED,
                       [("Null", "Null"), ("Null@2", "Null"), ("Null@2@3", "Null@2"),
                        ("@1@4", "@1")]),
    "before-any-item": (HEADER + KEYS + null(b"After") + WRAPPED,
                        [("@1", None), ("After", "After")]),
    "two-modifiers": (HEADER + null(b"TwoMods") + WRAPPED + WRAPPED,
                      [("TwoMods", "TwoMods"), ("TwoMods@2", "TwoMods")]),
    "utf8": (HEADER + null("Kamera_Größe".encode()) + WRAPPED,
             [("Kamera_Größe", "Kamera_Größe")]),
    "windows-1252": (HEADER + null("Kamera_Größe €".encode("cp1252")) + WRAPPED,
                     [("Kamera_Größe €", "Kamera_Größe €")]),
    "control": (HEADER + null(b"x\x01\x1b[31mred") + WRAPPED + null(b"tab\there") + WRAPPED,
                [("x\x01\x1b[31mred", "x\x01\x1b[31mred"), ("tab\there", "tab\there")]),
    # A NUL cannot travel on a command line: its address spells it \x00,
    # kept apart from a name spelled that way.
    "nul": (HEADER + null(b"Nul\0Name") + WRAPPED + null(b"Nul\\x00Name") + WRAPPED,
            [("Nul\\x00Name", "Nul\0Name"), ("Nul\\x00Name@2", "Nul\\x00Name")]),
    "hostile": (HEADER + null("\u202eevil\ufeff".encode()) + WRAPPED
                + null(b"$(touch PWNED);`x`|'\"*") + WRAPPED,
                [("\u202eevil\ufeff", "\u202eevil\ufeff"),
                 ("$(touch PWNED);`x`|'\"*", "$(touch PWNED);`x`|'\"*")]),
}
# The bytes of the values check calls errors: a key whose widths the module
# reads as not finite.
NAN_KEYS = [line.replace(b"FREQ_W_X 0.050000", b"FREQ_W_X nan") for line in KEYS]


def run(*args, check=True):
    done = subprocess.run([VRIM, *args], capture_output=True, cwd=BIN)
    if check and done.returncode not in (0, 1):
        raise AssertionError("vrim %s: exit %d\n%s" % (" ".join(args), done.returncode,
                                                       done.stderr.decode(errors="replace")))
    return done


class Names(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.schemas = {}
        for command in ("ls", "check", "show", "edit", "report", "validate"):
            with open(os.path.join(SCHEMAS, command + ".json"), encoding="utf-8") as f:
                schema = json.load(f)
            jsonschema.Draft202012Validator.check_schema(schema)
            cls.schemas[command] = jsonschema.Draft202012Validator(schema)
        cls.paths = {}
        for stem, (lines, _) in SCENES.items():
            path = os.path.join(cls.dir.name, stem + ".lws")
            with open(path, "wb") as f:
                f.write(b"\n".join(lines) + b"\n")
            cls.paths[stem] = path

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def document(self, command, *args, check=True):
        done = run(command, "--json", *args, check=check)
        document = json.loads(done.stdout.decode("utf-8"))
        self.schemas[command].validate(document)
        self.assertEqual(document["formatVersion"], 1)
        return document

    def test_every_address_and_number_reaches_its_block_on_every_command(self):
        for stem, (_, expected) in SCENES.items():
            path = self.paths[stem]
            listed = self.document("ls", path)["scenes"][0]["items"]
            self.assertEqual([(i["item"], i["name"]) for i in listed], expected, stem)
            for item in listed:
                number = item["block"]
                for pick in (["--item", item["item"]], ["--block", str(number)]):
                    with self.subTest(scene=stem, pick=pick):
                        self.reaches(path, pick, number, item["item"])

    def reaches(self, path, pick, number, address):
        ls = self.document("ls", path, *pick)["scenes"][0]["items"]
        self.assertEqual([i["block"] for i in ls], [number])
        check = self.document("check", path, *pick)["files"][0]["blocks"]
        self.assertEqual([(b["block"], b["item"]) for b in check], [(number, address)])
        show = self.document("show", path, *pick)["scenes"][0]["blocks"]
        self.assertEqual([b["block"] for b in show], [number])
        page = os.path.join(self.dir.name, "page.html")
        report = self.document("report", path, *pick, "-o", page)
        self.assertEqual(report["scenes"][0]["blocks"], 1)
        edit = self.document("edit", path, *pick, "--shift", "1", "--dry-run")
        self.assertEqual([(b["block"], b["item"], b["outcome"])
                          for b in edit["scenes"][0]["blocks"]], [(number, address, "edited")])
        bake = run("bake", path, *pick).stdout
        self.assertEqual(bake, run("bake", path, "--block", str(number)).stdout)
        preview = run("preview", path, *pick).stdout.decode("utf-8")
        self.assertIn("(block %d, lines" % number, preview)

    def test_csv_and_json_keep_names_byte_for_byte(self):
        for stem, (_, expected) in SCENES.items():
            rows = run("bake", self.paths[stem], "--all-items").stdout.decode("utf-8")
            items = []
            for row in csv.DictReader(io.StringIO(rows, newline="")):
                if not items or items[-1] != row["item"]:
                    items.append(row["item"])
            self.assertEqual(items, [address for address, _ in expected], stem)

    def test_text_output_never_carries_a_control_character(self):
        path = self.paths["control"]
        for args in (["ls", path], ["check", path], ["show", path], ["preview", path],
                     ["edit", path, "--item", "nothing", "--shift", "1"]):
            done = run(*args, check=False)
            for stream in (done.stdout, done.stderr):
                text = stream.decode("utf-8")
                self.assertFalse([c for c in text if ord(c) < 0x20 and c not in "\n\r"],
                                 " ".join(args[:1]) + ": " + text)
        self.assertIn("x\\x01\\x1b[31mred", run("ls", path).stdout.decode())

    def test_encoding_option_decodes_every_name_one_way(self):
        path = self.paths["utf8"]
        forced = self.document("ls", path, "--encoding", "windows-1252")
        self.assertEqual(forced["scenes"][0]["items"][0]["item"],
                         "Kamera_Größe".encode().decode("cp1252"))
        self.assertEqual(run("ls", path, "--encoding", "ebcdic", check=False).returncode, 2)

    def test_base_track_with_holes_is_refused_unless_allowed(self):
        base = os.path.join(self.dir.name, "track.csv")
        with open(base, "w") as f:
            f.write("frame,x,y,z\n" + "".join("%d,0,0,0\n" % frame
                                               for frame in range(31) if frame not in (3, 4, 9)))
        args = ["bake", self.paths["duplicates"], "--base", base]
        refused = run(*args, check=False)
        self.assertEqual(refused.returncode, 2)
        self.assertIn("has no row for frames 3, 4, 9 of 0-30", refused.stderr.decode())
        allowed = run(*args, "--allow-holes")
        self.assertEqual(allowed.returncode, 0)
        self.assertEqual(len(allowed.stdout.decode().splitlines()), 1 + 28)
        self.assertIn("frames 3, 4, 9 of 0-30", allowed.stderr.decode())

    def test_ls_item_over_many_scenes_notes_those_without_it(self):
        scenes = [self.paths["duplicates"], self.paths["two-modifiers"]]
        found = run("ls", *scenes, "--item", "TwoMods@2")
        self.assertEqual(found.returncode, 0, found.stderr)
        self.assertEqual(found.stderr, b"")
        self.assertIn("note: --item 'TwoMods@2'", found.stdout.decode())
        none = run("ls", *scenes, "--item", "Nobody", check=False)
        self.assertEqual(none.returncode, 2)
        self.assertEqual(none.stderr.decode().count("\n"), 1, none.stderr)
        document = self.document("ls", *scenes, "--item", "Nobody", check=False)
        self.assertEqual(document["status"], 2)

    def test_validate_json_gives_each_check_its_outcome(self):
        # A crash in the module is caught by the validator's own signal
        # handler, which a sanitizer build leaves to the sanitizer.
        sanitized = os.environ.get("VRIM_SANITIZED") == "1"
        # module, the outcomes in check order, the exit status
        cases = [
            ("vrim_s.p", ["passed"] * 8, 0),
            ("no-handler.p", ["failed", "failed"] + ["not run"] * 6, 1),
            ("wrong-magic.p", ["failed"] + ["not run"] * 7, 1),
            ("broken_crash.p", ["passed"] * 5 + ["failed"] + ["not run"] * 2, 1),
        ]
        for module, outcomes, status in cases:
            with self.subTest(module=module):
                if not os.path.exists(os.path.join(BIN, module)):
                    self.skipTest("%s is not built" % module)
                if sanitized and module == "broken_crash.p":
                    self.skipTest("a crash is the sanitizer's to report in this build")
                done = run("validate", "--json", module, "--level", "1", "--seed",
                           "18446744073709551615")
                document = json.loads(done.stdout.decode("utf-8"))
                self.schemas["validate"].validate(document)
                self.assertEqual([c["outcome"] for c in document["checks"]], outcomes)
                self.assertEqual([c["number"] for c in document["checks"]], list(range(1, 9)))
                self.assertEqual((done.returncode, document["status"]), (status, status))
                self.assertEqual(document["seed"], "18446744073709551615")
                self.assertEqual(document["notRun"], outcomes.count("not run"))
        if sanitized:
            self.skipTest("a crash is the sanitizer's to report in this build")
        crashed = json.loads(run("validate", "--json", "broken_crash.p", "--level", "1")
                             .stdout.decode("utf-8"))["checks"][5]["message"]
        self.assertRegex(crashed, r"^the module crashed \(signal [0-9]+\)$")

    def test_validate_of_a_file_that_is_no_module_is_one_line(self):
        for path in (self.paths["utf8"], "no-descriptor.p", "missing.p"):
            for json_flag in ([], ["--json"]):
                with self.subTest(path=path, json=json_flag):
                    done = run("validate", *json_flag, path, check=False)
                    self.assertEqual(done.returncode, 2)
                    self.assertEqual(done.stdout, b"")
                    self.assertEqual(done.stderr.decode().count("\n"), 1, done.stderr)

    def test_terminal_text_escapes_what_turns_or_hides_text(self):
        out = run("ls", self.paths["hostile"]).stdout.decode("utf-8")
        self.assertIn("\\u202eevil\\ufeff", out)
        self.assertNotIn("\u202e", out)
        self.assertNotIn("\ufeff", out)
        # A NUL is shown, never cut or turned into '?'.
        self.assertIn("Nul\\x00Name", run("ls", self.paths["nul"]).stdout.decode())

    def test_empty_is_never_success(self):
        empty = os.path.join(self.dir.name, "empty")
        os.makedirs(os.path.join(empty, "sub"), exist_ok=True)
        path = self.paths["duplicates"]
        page = os.path.join(self.dir.name, "empty.html")
        cases = [["ls", path, "--item", ""], ["check", path, "--item="],
                 ["show", "--item=", path], ["bake", path, "--item", ""],
                 ["preview", path, "--item", ""], ["report", path, "--item", "", "-o", page],
                 ["edit", path, "--item", "", "--shift", "1", "--dry-run"]]
        cases += [[command, empty] for command in ("ls", "check", "show")]
        cases += [["report", empty, "-o", page], ["edit", empty, "--all-items", "--shift", "1"]]
        for args in cases:
            with self.subTest(args=args):
                done = run(*args, check=False)
                self.assertEqual(done.returncode, 2, done.stdout)
                self.assertEqual(done.stderr.decode().count("\n"), 1, done.stderr)
                if empty in args:
                    self.assertIn(empty, done.stderr.decode())
        self.assertFalse(os.path.exists(page))

    def test_blocks_in_error_are_not_evaluated_silently(self):
        path = os.path.join(self.dir.name, "nan.lws")
        with open(path, "wb") as f:
            f.write(b"\n".join(HEADER + null(b"Bad") + NAN_KEYS) + b"\n")
        self.assertEqual(run("check", path, check=False).returncode, 2)
        for command in ("bake", "preview"):
            with self.subTest(command=command):
                refused = run(command, path, check=False)
                self.assertEqual(refused.returncode, 2)
                self.assertEqual(refused.stdout, b"")
                self.assertIn("check finds", refused.stderr.decode())
                self.assertIn("--allow-errors", refused.stderr.decode())
                self.assertEqual(run(command, path, "--allow-errors").returncode, 0)
        self.assertEqual(run("bake", path, "--all-items", check=False).returncode, 2)
        # The key's value is no number: the document says null, as its schema allows.
        key = self.document("show", path)["scenes"][0]["blocks"][0]["keys"][0]
        self.assertIsNone(key["widthX"])

    def test_cr_line_ends_are_named(self):
        path = os.path.join(self.dir.name, "mac.lws")
        with open(path, "wb") as f:
            f.write(b"\r".join(HEADER + null(b"Cam") + WRAPPED) + b"\r")
        done = run("check", path, check=False)
        self.assertEqual(done.returncode, 2)
        self.assertIn("lines end in CR alone", done.stdout.decode() + done.stderr.decode())

    def test_check_json_validates(self):
        for stem in SCENES:
            document = self.document("check", self.paths[stem])
            self.assertEqual(len(document["files"]), 1)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=1)
