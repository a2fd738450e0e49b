#!/usr/bin/env python3
"""Checks the release zip as a user meets it: makes it from the two Windows builds, checks its
file list and the install keys of pluginst.inf, unpacks it into a fresh folder and runs the
plug-in of this build's width from there through the host program under Wine: the root, the
language folder and the demo site (mounted on the fixture web server) through its bundled
site script.

Usage: check_release.py --source ROOT --win32 DIR --win64 DIR --width 32|64 --emulator WRAPPER
Exit status: 0 pass, 1 fail, 77 skipped (the emulator cannot run the host).
"""
import argparse
import configparser
import os
import shutil
import subprocess
import sys
import tempfile
import urllib.parse
import urllib.request
import zipfile

WANT_TOP = {"pluginst.inf", "frameleaf.wfx", "frameleaf.dll", "frameleaf.wfx64",
            "frameleaf64.dll", "frameleaf.ini", "readme.txt"}
WANT_KEYS = {"description": None, "type": "wfx", "file": "frameleaf.wfx",
             "defaultdir": "frameleaf", "version": "2.6.0"}
COMMANDS = ("list \\\nlist \\[choose language]\n"
            "answer http://photos.example.test/user/demo/\nlist \\[connection]\n"
            "list \\[connection]\\photos.example.test_user_demo\n")


def fixture_control(path):
    """Asks the fixture web server (the proxy the Windows tests use) to mount or unmount."""
    proxy = os.environ.get("FL_WINE_PROXY", "")
    if not proxy:
        return False
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({"http": "http://" + proxy}))
    try:
        return opener.open("http://fixture.control" + path, timeout=30).read() != b""
    except OSError:
        return False


def main():
    p = argparse.ArgumentParser()
    for name in ("source", "win32", "win64", "width", "emulator", "host"):
        p.add_argument("--" + name, required=True)
    args = p.parse_args()
    failures = []
    work = tempfile.mkdtemp(prefix="fl-release-")
    try:
        archive = os.path.join(work, "frameleaf-2.6.0.zip")
        made = subprocess.run([sys.executable, os.path.join(args.source, "tools", "release",
                                                            "make_zip.py"),
                               "--source", args.source, "--win32", args.win32, "--win64",
                               args.win64, "--out", archive], capture_output=True, text=True)
        if made.returncode != 0:
            print("FAIL: the zip was not made:", made.stderr)
            return 1
        with zipfile.ZipFile(archive) as z:
            names = z.namelist()
            if names[0] != "pluginst.inf":
                failures.append(f"pluginst.inf is not first: {names[:3]}")
            top = {n for n in names if "/" not in n}
            if top != WANT_TOP:
                failures.append(f"top-level files {sorted(top)}")
            # The shipped site scripts: the demo site's and one per gallery generator.
            for folder in ("language/english.lng", "language/russian.lng", "scripts/",
                           "scripts/example.test", "scripts/lazygal", "scripts/llgal",
                           "scripts/jigl", "scripts/fgallery"):
                if folder not in names:
                    failures.append(f"{folder} is missing")
            info = configparser.ConfigParser()
            info.read_string(z.read("pluginst.inf").decode("ascii"))
            keys = dict(info["plugininstall"]) if info.has_section("plugininstall") else {}
            for key, value in WANT_KEYS.items():
                if key not in keys or (value is not None and keys[key] != value):
                    failures.append(f"pluginst.inf: {key}={keys.get(key)!r}")
            # Each plug-in carries its version record, naming its own file.
            for module in ("frameleaf.wfx", "frameleaf.wfx64"):
                data = z.read(module)
                for text in ("ProductVersion", "2.6.0", "OriginalFilename",
                             module + "\0", "FileDescription"):
                    if text.encode("utf-16-le") not in data:
                        failures.append(f"{module}: no {text!r} in its version record")
            folder = os.path.join(work, "installed")
            z.extractall(folder)
        module = "frameleaf.wfx64" if args.width == "64" else "frameleaf.wfx"
        with open(os.path.join(folder, "commands.txt"), "w") as f:
            f.write(COMMANDS)
        windows_folder = "Z:" + folder.replace("/", "\\")
        # The demo site, served as the proxy's own, for the bundled site script.
        demo = os.path.join(args.source, "demo")
        if not fixture_control("/_/mount?dir=" + urllib.parse.quote(demo)):
            failures.append("the fixture web server did not mount the demo site")
        run = subprocess.run([args.emulator, args.host, windows_folder + "\\" + module, "-f",
                              windows_folder + "\\commands.txt"], cwd=folder,
                             capture_output=True, timeout=300)
        if run.returncode == 77:
            sys.stderr.write(run.stderr.decode(errors="replace"))
            return 77
        fixture_control("/_/unmount")
        out = run.stdout.decode("cp1251").replace("\r\n", "\n")
        for line in ("init: 0", "entry file attr=00000080 size=0 time=no-time settings",
                     "list: 4 entries", " english.lng", " russian.lng",
                     "entry dir  attr=00000010 size=0 time=no-time Harbour at dawn",
                     "list: 3 entries"):
            if line not in out:
                failures.append(f"the installed plug-in did not print {line!r}:\n{out}")
        # The shipped settings keep the update check off, and nothing was written beside the
        # modules but the commands.
        if "dialog:" in out:
            failures.append("the update check ran")
        for f in failures:
            print("FAIL:", f)
        if not failures:
            print(f"release: {len(names)} entries; the {args.width}-bit plug-in runs from the "
                  "unpacked folder")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
