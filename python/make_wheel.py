#!/usr/bin/env python3
"""Builds the wheel of the vrim package from a build tree, to the wheel
format by hand (a zip with its .dist-info): the package, its compiled side
and stubs, and the module file installed as <prefix>/lib/vrim/vrim_s.p, where
the package looks for it.

    make_wheel.py --build build/native --out DIR [--version 1.0.0]

Prints the wheel's path.
"""

import argparse
import base64
import hashlib
import os
import sys
import sysconfig
import zipfile


def record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def wheel_files(build, version):
    package = os.path.join(build, "python", "vrim")
    compiled = [f for f in os.listdir(package) if f.startswith("_vrim.") and f.endswith(".so")]
    if len(compiled) != 1:
        sys.exit(f"make_wheel: {package} holds {len(compiled)} compiled modules, not one")
    files = {}
    for name in ("__init__.py", "__init__.pyi", "py.typed", compiled[0]):
        with open(os.path.join(package, name), "rb") as f:
            files["vrim/" + name] = f.read()
    # An installed package has no build tree to look in.
    with open(os.path.join(build, "python", "installed", "_where.py"), "rb") as f:
        files["vrim/_where.py"] = f.read()
    with open(os.path.join(build, "bin", "vrim_s.p"), "rb") as f:
        files[f"vrim-{version}.data/data/lib/vrim/vrim_s.p"] = f.read()
    return files, compiled[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--version", default="1.0.0")
    args = parser.parse_args()
    files, compiled = wheel_files(args.build, args.version)
    # The tag of the CPython the compiled side was built for: "cpython-311-..." is cp311.
    python = "cp" + compiled.split(".")[1].split("-")[1]
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    tag = f"{python}-{python}-{platform}"
    info = f"vrim-{args.version}.dist-info"
    files[f"{info}/METADATA"] = (
        "Metadata-Version: 2.1\nName: vrim\nVersion: %s\n"
        "Summary: Shake keys of VRIM_S scene files, through the module itself\n"
        "Requires-Python: ==%s.%s.*\n" % (args.version, python[2], python[3:])).encode()
    files[f"{info}/WHEEL"] = ("Wheel-Version: 1.0\nGenerator: vrim make_wheel.py\n"
                              "Root-Is-Purelib: false\nTag: %s\n" % tag).encode()
    lines = [record_line(name, data) for name, data in files.items()] + [f"{info}/RECORD,,"]
    files[f"{info}/RECORD"] = ("\n".join(lines) + "\n").encode()
    os.makedirs(args.out, exist_ok=True)
    wheel = os.path.join(args.out, f"vrim-{args.version}-{tag}.whl")
    partial = wheel + ".part"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in files.items():
            entry = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            entry.external_attr = (0o755 if name.endswith((".so", ".p")) else 0o644) << 16
            archive.writestr(entry, data, zipfile.ZIP_DEFLATED)
    os.replace(partial, wheel)
    print(wheel)


if __name__ == "__main__":
    main()
