#!/usr/bin/env python3
"""Browses real galleries end to end: makes them (make_galleries.py), serves them with the
fixture web server, installs the plug-in with the shipped site scripts and binds each
gallery's host to its generator's script in frameleaf.ini's [sites] section, then drives
the real module with the host program through the module's wide functions (names in
UTF-8: Greek names have no place in the Windows-1251 code page of the tests):

  - the gallery's top lists every album, with its readable name, and the photos beside
    them, at each of its addresses (its folder, its page's name);
  - every album, and every album inside an album, lists the albums it holds and every
    photo, with the served file's size and time;
  - an album's own address, opened as a bookmark (as one made before, or typed), lists
    that album;
  - one photo of each folder with photos copies out byte for byte the served file.

Expectations come from the manifest the maker wrote from the generated files.

Usage: browse_galleries.py --host FL_HOST --module MODULE --fixtures DIR --source ROOT
                           --work DIR [--emulator WRAPPER] [--only HOST]
Exit status: 0 pass, 1 fail, 77 skipped (the emulator cannot run the host).
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "host"))
import run_cases  # noqa: E402  (the host-case runner's install and host driving)

ENTRY = re.compile(r"entry (dir |file) attr=\S+ size=(\d+) time=(\S+) (.*)")


def tab_name(host, n=0):
    """A bookmark per address of the host (its top page's, then its albums'): its host
    with blanks for dots, and the number of the address after the first."""
    return host.replace(".", " ") + (f" {n + 1}" if n else "")


def bookmarks(h):
    """The addresses of the host's bookmarks, and per bookmark the path of names of the
    folder it lists."""
    return h["urls"] + [d["url"] for d in h["direct"]], \
        [[]] * len(h["urls"]) + [d["path"] for d in h["direct"]]


def folder_path(h, names):
    """The host path of a folder inside the gallery (names from its top)."""
    return "\\" + "\\".join([tab_name(h["host"])] + names)


def quoted(path):
    """A path as one word of a host command: in quotes, its backslashes doubled."""
    return '"' + path.replace("\\", "\\\\") + '"'


def chosen_photo(photos):
    """The photo of an album to copy out: the one with the most awkward name."""
    return max(photos, key=lambda p: (any(ord(c) > 127 for c in p["name"]),
                                      " " in p["name"] or "&" in p["name"], p["name"]))


def make_case(case, args, hosts):
    """The case folder run_cases.install reads: settings with [sites], the bookmarks."""
    files = os.path.join(case, "files")
    os.makedirs(files)
    with open(os.path.join(args.source, "resources", "frameleaf.ini"), encoding="utf-8") as f:
        settings = f.read()
    settings += "\n[sites]\n" + "".join(f"{h['host']}={h['script']}\n" for h in hosts)
    with open(os.path.join(files, "frameleaf.ini"), "w", encoding="utf-8") as f:
        f.write(settings)
    tabs = [(tab_name(h["host"], n), url) for h in hosts
            for n, url in enumerate(bookmarks(h)[0])]
    with open(os.path.join(files, "frameleaf.tab"), "w", encoding="cp1251") as f:
        f.write("[tabs]\n" + "".join(f"{i + 1}={tab}\n" for i, (tab, _) in enumerate(tabs)))
        for tab, url in tabs:
            f.write(f"[{tab}]\nurl={url}\n")


def commands_for(hosts, target):
    """The host commands, and per download (host, folder, photo, local file name)."""
    lines, downloads = [], []
    for h in hosts:
        lines += ["list \\" + tab_name(h["host"], n) for n in range(len(bookmarks(h)[0]))]
        for folder in h["folders"]:
            if folder["path"]:
                lines.append("list " + folder_path(h, folder["path"]))
        for n, folder in enumerate(f for f in h["folders"] if f["photos"]):
            photo = chosen_photo(folder["photos"])
            local = f"{h['host']}-{n}.jpg"
            lines.append(f"get {quoted(folder_path(h, folder['path'] + [photo['name']]))} "
                         f"{quoted(target + local)}")
            downloads.append((h, folder, photo, local))
    return lines, downloads


def listings(output):
    """What each "$ list PATH" printed: PATH -> [(kind, size, time, name)]."""
    found, current = {}, None
    for line in output.splitlines():
        if line.startswith("$ "):
            current = line[len("$ list "):] if line.startswith("$ list ") else None
            if current is not None:
                found[current] = []
            continue
        m = ENTRY.fullmatch(line)
        if m and current is not None:
            found[current].append((m.group(1).strip(), int(m.group(2)), m.group(3), m.group(4)))
    return found


def utc(mtime):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(mtime))


def error_page(root):
    """The text of the plug-in's error page, for a failure's report."""
    path = os.path.join(root, "frameleaf.htm")
    if not os.path.exists(path):
        return ""
    raw = open(path, "rb").read()
    text = raw.decode("utf-8") if b"charset=utf-8" in raw.lower() else raw.decode("cp1251")
    return re.sub(r"\s+", " ", re.sub(r"<[^>]*>", " ", text)).strip()


def differences(entries, folder):
    """What a listing got wrong against the folder it should show, or None."""
    dirs = sorted(name for kind, _, _, name in entries if kind == "dir")
    listed = {name: (size, when) for kind, size, when, name in entries if kind == "file"}
    wanted = {p["name"]: (p["size"], utc(p["mtime"])) for p in folder["photos"]}
    if dirs != sorted(folder["dirs"]) or len(entries) != len(wanted) + len(dirs):
        return (f"lists {[e[3] for e in entries]}, not the albums {sorted(folder['dirs'])} "
                f"and the photos {sorted(wanted)}")
    if listed != wanted:
        missing = {n: v for n, v in wanted.items() if listed.get(n) != v}
        extra = {n: v for n, v in listed.items() if wanted.get(n) != v}
        return f"lists {extra} where {missing} was served"
    return None


def check(hosts, output, downloads, root, sites):
    failures = []
    got = listings(output)
    unlisted = set()  # folders not listed as they should be: their copies are not checked
    for h in hosts:
        style = f" ({h['index']} folder index)" if "index" in h else ""
        where = f"{h['host']}{style}"
        folders = {tuple(f["path"]): f for f in h["folders"]}
        for n, (url, path) in enumerate(zip(*bookmarks(h))):
            wrong = differences(got.get("\\" + tab_name(h["host"], n), []), folders[tuple(path)])
            if wrong:
                failures.append(f"{where}: {url} {wrong}")
                if not path:
                    unlisted.add((h["host"], ()))
        for folder in h["folders"]:
            if not folder["path"] or (h["host"], ()) in unlisted:
                continue
            wrong = differences(got.get(folder_path(h, folder["path"]), []), folder)
            if wrong:
                failures.append(f"{where}: {'/'.join(folder['path'])!r} {wrong}")
                unlisted.add((h["host"], tuple(folder["path"])))
    for h, folder, photo, local in downloads:
        if {(h["host"], ()), (h["host"], tuple(folder["path"]))} & unlisted:
            continue
        where = "\\".join(folder["path"] + [photo["name"]])
        path = os.path.join(os.fsencode(root), b"dl", local.encode("utf-8"))
        served = os.path.join(os.fsencode(sites), h["host"].encode(), photo["path"].encode())
        data = open(path, "rb").read() if os.path.exists(path) else None
        if data is None:
            failures.append(f"{h['host']}: {where} was not copied out")
        elif data != open(served, "rb").read():
            failures.append(f"{h['host']}: {where} copied out {len(data)} bytes that differ "
                            f"from the {photo['size']} served")
    return failures


def main():
    sys.stdout.reconfigure(errors="backslashreplace")
    p = argparse.ArgumentParser()
    for name in ("host", "module", "fixtures", "source", "work"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--emulator", default="")
    p.add_argument("--only", action="append", help="browse only this host (repeatable)")
    args = p.parse_args()

    # The generators run in a UTF-8 locale whatever the test's own locale is.
    env = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8")
    made = subprocess.run([sys.executable, os.path.join(HERE, "make_galleries.py"),
                           "--work", args.work], env=env)
    if made.returncode != 0:
        print("FAIL: the galleries could not be made")
        return 1
    with open(os.path.join(args.work, "manifest.json"), encoding="utf-8") as f:
        hosts = json.load(f)
    if args.only:
        hosts = [h for h in hosts if h["host"] in args.only]
    sites = os.path.join(args.work, "sites")

    root = tempfile.mkdtemp(prefix="fl-galleries-")
    case = tempfile.mkdtemp(prefix="fl-galleries-case-")
    try:
        make_case(case, args, hosts)
        run_cases.install(args, case, root)
        os.makedirs(os.path.join(root, "dl"))
        try:
            run_cases.control("mount", dir=sites)
        except OSError as e:
            print(f"FAIL: the fixture server did not mount the galleries: {e}")
            return 1
        seen = run_cases.windows_path(root) if args.emulator else root
        separator = "\\" if args.emulator else "/"
        lines, downloads = commands_for(hosts, seen + separator + "dl" + separator)
        commands = os.path.join(root, "commands.txt")
        with open(commands, "wb") as out:
            out.write(("\n".join(lines) + "\n").encode("utf-8"))
        module = (seen + "\\" if args.emulator else seen + "/") + run_cases.module_name(args)
        command = ([args.emulator] if args.emulator else []) + [
            args.host, module, "--wide", "-f", run_cases.windows_path(commands) if args.emulator
            else commands]
        returncode, stdout, stderr, _ = run_cases.run_host(command, root)
        if returncode == 77:
            sys.stderr.write(stderr.decode(errors="replace"))
            return 77
        output = stdout.decode("utf-8").replace("\r\n", "\n")
        failures = check(hosts, output, downloads, root, sites)
        if returncode != 0:
            failures.append(f"host exited {returncode}: {stderr.decode(errors='replace')}")
        for f in failures:
            print("FAIL:", f)
        if failures:
            print("error page:", error_page(root))
        if os.environ.get("FL_GALLERIES_OUTPUT"):  # the host's whole output, for a look
            print(output)
        else:
            print(f"galleries: {len(hosts)} hosts, "
                  f"{sum(len(h['folders']) for h in hosts)} folders, "
                  f"{sum(len(h['direct']) for h in hosts)} albums opened directly, "
                  f"{sum(len(f['photos']) for h in hosts for f in h['folders'])} photos "
                  f"listed; {len(downloads)} copied out intact")
        return 1 if failures else 0
    finally:
        try:
            run_cases.control("unmount")
        except OSError:
            pass
        shutil.rmtree(case, ignore_errors=True)
        if os.environ.get("FL_KEEP_CASE"):
            print("kept:", root)
        else:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
