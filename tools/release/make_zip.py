#!/usr/bin/env python3
"""Makes the release zip a user installs by opening it in the file manager: pluginst.inf at
the top, both widths of the plug-in and its matching library, the language files, the site
scripts, default settings and a short readme.

Usage: make_zip.py --source ROOT --win32 DIR --win64 DIR --out ZIP
"""
import argparse
import os
import sys
import zipfile

VERSION = "2.6.0"
INSTALL_INFO = (
    "[plugininstall]\r\n"
    "description=frameleaf: photo-hosting sites as a virtual drive\r\n"
    "type=wfx\r\n"
    "file=frameleaf.wfx\r\n"
    "defaultdir=frameleaf\r\n"
    f"version={VERSION}\r\n"
)


def folder_entries(source, name_in_zip):
    """Every file below source, named below name_in_zip, in a stable order."""
    entries = []
    for dirpath, dirnames, filenames in os.walk(source):
        dirnames.sort()
        for f in sorted(filenames):
            path = os.path.join(dirpath, f)
            rel = os.path.relpath(path, source).replace(os.sep, "/")
            entries.append((path, f"{name_in_zip}/{rel}"))
    return entries


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--source", required=True)
    p.add_argument("--win32", required=True)
    p.add_argument("--win64", required=True)
    p.add_argument("--out", required=True)
    args = p.parse_args()
    files = [
        (os.path.join(args.win32, "frameleaf.wfx"), "frameleaf.wfx"),
        (os.path.join(args.win32, "frameleaf.dll"), "frameleaf.dll"),
        (os.path.join(args.win64, "frameleaf.wfx64"), "frameleaf.wfx64"),
        (os.path.join(args.win64, "frameleaf64.dll"), "frameleaf64.dll"),
        (os.path.join(args.source, "resources", "frameleaf.ini"), "frameleaf.ini"),
        (os.path.join(args.source, "resources", "readme.txt"), "readme.txt"),
    ]
    files += folder_entries(os.path.join(args.source, "language"), "language")
    files += folder_entries(os.path.join(args.source, "sites"), "scripts")
    missing = [path for path, _ in files if not os.path.isfile(path)]
    if missing:
        sys.stderr.write("make_zip: missing " + ", ".join(missing) + "\n")
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    stamp = (2026, 1, 1, 0, 0, 0)  # a fixed date: the same inputs make the same zip
    with zipfile.ZipFile(args.out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("pluginst.inf", stamp), INSTALL_INFO)
        for folder in ("language/", "scripts/"):
            z.writestr(zipfile.ZipInfo(folder, stamp), b"")
        for path, name in files:
            info = zipfile.ZipInfo(name, stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                z.writestr(info, f.read())
    print(f"{args.out}: {len(files) + 1} files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
