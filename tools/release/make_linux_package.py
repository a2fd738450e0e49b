#!/usr/bin/env python3
"""Makes the Linux package: a tar.gz holding one folder, frameleaf/, with the plug-in module
built for Linux, its matching library, the language files, the site scripts, the default
settings and a readme saying how to add it to the file manager.

The language files are Windows-1251 text, which a Windows system reads in its own code
page. Linux reads them in the locale's character set, so the package carries them as UTF-8
with a byte-order mark: the plug-in converts such a file to whatever the locale uses.

Usage: make_linux_package.py --source ROOT --build DIR --out TAR_GZ
"""
import argparse
import gzip
import io
import os
import sys
import tarfile

STAMP = 1767225600  # 2026-01-01: the same inputs make the same package
BOM = b"\xef\xbb\xbf"


def folder_entries(source, name):
    """Every file below source, named below name, in a stable order."""
    entries = []
    for dirpath, dirnames, filenames in os.walk(source):
        dirnames.sort()
        for f in sorted(filenames):
            path = os.path.join(dirpath, f)
            entries.append((path, name + "/" + os.path.relpath(path, source).replace(os.sep, "/")))
    return entries


def language_text(data):
    """A language file as the Linux package carries it."""
    if data.startswith(BOM) or data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        return data
    if all(b < 0x80 for b in data):
        return data
    return BOM + data.decode("cp1251").encode("utf-8")


def add(tar, name, data, mode):
    info = tarfile.TarInfo(name)
    info.size = len(data)
    info.mtime = STAMP
    info.mode = mode
    info.uname = info.gname = "root"
    tar.addfile(info, io.BytesIO(data))


def add_folder(tar, name):
    info = tarfile.TarInfo(name)
    info.type = tarfile.DIRTYPE
    info.mtime = STAMP
    info.mode = 0o755
    info.uname = info.gname = "root"
    tar.addfile(info)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--source", required=True)
    p.add_argument("--build", required=True)
    p.add_argument("--out", required=True)
    args = p.parse_args()
    files = [
        (os.path.join(args.build, "frameleaf.wfx"), "frameleaf.wfx", 0o755),
        (os.path.join(args.build, "frameleaf.dll"), "frameleaf.dll", 0o755),
        (os.path.join(args.source, "resources", "frameleaf.ini"), "frameleaf.ini", 0o644),
        (os.path.join(args.source, "resources", "readme-linux.txt"), "readme.txt", 0o644),
    ]
    files += [(p_, n, 0o644) for p_, n in folder_entries(os.path.join(args.source, "language"), "language")]
    files += [(p_, n, 0o644) for p_, n in folder_entries(os.path.join(args.source, "sites"), "scripts")]
    missing = [path for path, _, _ in files if not os.path.isfile(path)]
    if missing:
        sys.stderr.write("make_linux_package: missing " + ", ".join(missing) + "\n")
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", mtime=STAMP) as gz, \
            tarfile.open(fileobj=gz, mode="w", format=tarfile.GNU_FORMAT) as tar:
        for folder in ("frameleaf", "frameleaf/language", "frameleaf/scripts"):
            add_folder(tar, folder)
        for path, name, mode in files:
            with open(path, "rb") as f:
                data = f.read()
            if name.startswith("language/"):
                data = language_text(data)
            add(tar, "frameleaf/" + name, data, mode)
    print(f"{args.out}: {len(files)} files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
