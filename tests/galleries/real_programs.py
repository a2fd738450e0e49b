#!/usr/bin/env python3
"""Browses galleries of two real gallery programs end to end, with the shipped scripts:

  apache-gallery  Apache::Gallery (Debian's libapache-gallery-perl) under mod_perl: apache2
                  runs on a free loopback port from a config this test writes, in a temp
                  folder, paging 4 entries (folders and photos as one sequence) a page.
  thumbsup        thumbsup 2.18.0 from npm, installed once into a cache folder outside the
                  clone (FL_THUMBSUP_CACHE, ~/.cache/frameleaf/thumbsup by default), making
                  a static gallery of 4 photos a page with the originals published.

The gallery is made from a tree of photos the test makes (names with blanks, "&", "%",
Greek and Cyrillic; a folder with photos and an album; an album inside that; folders long
enough to page). The fixture web server serves it under its host: thumbsup's output as
files, Apache's answers passed on from its port (".served-as: forward PORT"), so that the
Windows build reaches both through the same proxy as every other test. The module, with
the host bound to the program's script in [sites], must then list:

  - the gallery's top by its folder address and by its page's address, alike;
  - every folder at every level: its albums and its photos, each photo with the size and
    time of the file the gallery publishes as the photo's largest;
  - one photo of every folder copied out byte for byte that file.

Usage: real_programs.py PROGRAM --host FL_HOST --module MODULE --fixtures DIR --source ROOT
                        [--emulator WRAPPER]
Exit status: 0 pass, 1 fail, 77 skipped (a program or the emulator is not available here).
"""
import argparse
import json
import re
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "host"))
import run_cases  # noqa: E402  (the host-case runner's install and host driving)
from browse_galleries import listings  # noqa: E402  (what each "$ list" printed)

THUMBSUP_VERSION = "2.18.0"
PAGE_SIZE = 4
SKIP = 77

# The photo tree: folder path -> photo names. Sizes and times come from the files.
TREE = {
    (): ["Sunset & Sea.jpg", "100% Ωμέγα.jpg", "Пляж 1.jpg"],
    ("Trip 2024",): ["a & b.jpg", "50% off.jpg", "Ωραία θέα.jpg", "Город ночью.jpg",
                     "p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"],
    ("Trip 2024", "Острова & Islands"): ["Rocks 1.jpg", "Скалы.jpg"],
    ("Trip 2024", "Острова & Islands", "Beach 100%"): ["Sand & Sea.jpg", "Песок.jpg"],
    ("Город",): ["g1.jpg", "g2.jpg", "g3.jpg", "g4.jpg", "g5.jpg"],
}


def skip(why):
    print("SKIPPED:", why)
    return SKIP


def make_photos(source):
    """Writes every photo of TREE under source: noise JPEGs of sizes of their own (each well
    over 2 KB), with file times an hour apart."""
    stamp = 1714550400  # 2024-05-01T08:00:00Z
    n = 0
    for folder, names in TREE.items():
        os.makedirs(os.path.join(source, *folder), exist_ok=True)
        for name in names:
            path = os.path.join(source, *folder, name)
            subprocess.run(["gm", "convert", "-size", f"{96 + 8 * n}x{72 + 4 * n}", "xc:gray",
                            "+noise", "Random", "-quality", "90", path], check=True)
            stamp += 3600
            os.utime(path, (stamp, stamp))
            n += 1


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def answered(url, proc, seconds=60):
    """Waits until the server answers (or its process ended); the server's readiness is
    awaited, never assumed after a fixed time."""
    direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    end = time.monotonic() + seconds
    while time.monotonic() < end and proc.poll() is None:
        try:
            direct.open(url, timeout=5).read()
            return True
        except urllib.error.HTTPError:
            return True  # an answer all the same
        except OSError:
            time.sleep(0.2)
    return False


# ---- Apache::Gallery --------------------------------------------------------------------

APACHE = "/usr/sbin/apache2"
MODULES = "/usr/lib/apache2/modules"
GALLERY_PM = "/usr/share/perl5/Apache/Gallery.pm"
TEMPLATES = "/usr/share/libapache-gallery-perl/templates/default"

APACHE_CONF = """ServerRoot {root}
PidFile {root}/httpd.pid
Listen 127.0.0.1:{port}
ServerName localhost
LoadModule mpm_prefork_module {modules}/mod_mpm_prefork.so
LoadModule authz_core_module {modules}/mod_authz_core.so
LoadModule mime_module {modules}/mod_mime.so
LoadModule perl_module {modules}/mod_perl.so
TypesConfig /etc/mime.types
ErrorLog {root}/error.log
DocumentRoot {photos}
<Directory {photos}>
  Require all granted
</Directory>
PerlSetVar GalleryTemplateDir {templates}
PerlSetVar GalleryCacheDir {root}/cache
PerlSetVar GalleryMaxThumbnailsPerPage {page}
PerlSetVar GalleryAllowOriginal 1
PerlOptions +GlobalRequest
<Location />
  SetHandler modperl
  PerlResponseHandler Apache::Gallery
</Location>
"""


def start_apache(work, photos):
    """apache2 in the foreground (-X: one process, ended with the test) on a free port.
    Returns (process, port) or a reason it cannot run."""
    for path in (APACHE, f"{MODULES}/mod_perl.so", GALLERY_PM, TEMPLATES):
        if not os.path.exists(path):
            return None, f"{path} is missing (scripts/setup.sh installs apache2, " \
                         "libapache2-mod-perl2 and libapache-gallery-perl)"
    root = os.path.join(work, "apache")
    os.makedirs(os.path.join(root, "cache"))
    # Run as root, Apache serves as an unprivileged user: it must read the photos and write
    # its thumbnail cache.
    for folder in (work, root):
        os.chmod(folder, 0o755)
    os.chmod(os.path.join(root, "cache"), 0o777)
    for attempt in range(3):  # a port taken between the probe and the bind: another one
        port = free_port()
        conf = os.path.join(root, "httpd.conf")
        with open(conf, "w") as f:
            f.write(APACHE_CONF.format(root=root, port=port, modules=MODULES, photos=photos,
                                       templates=TEMPLATES, page=PAGE_SIZE))
        proc = subprocess.Popen([APACHE, "-X", "-f", conf], stdout=subprocess.DEVNULL,
                                env=dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8"),
                                stderr=open(os.path.join(root, "stderr.log"), "wb"))
        if answered(f"http://127.0.0.1:{port}/", proc):
            return proc, port
        stop(proc)
    log = open(os.path.join(root, "error.log"), errors="replace").read()[-2000:]
    return None, "apache2 did not answer: " + log


def stop(proc):
    if proc is not None and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


# ---- thumbsup -----------------------------------------------------------------------------

def thumbsup_program():
    """thumbsup from the cache folder, installed there with npm when it is not yet.
    Returns the program's path or a reason it cannot run."""
    cache = os.environ.get("FL_THUMBSUP_CACHE",
                           os.path.join(os.path.expanduser("~"), ".cache", "frameleaf",
                                        "thumbsup"))
    program = os.path.join(cache, "node_modules", ".bin", "thumbsup")
    package = os.path.join(cache, "node_modules", "thumbsup", "package.json")

    def installed():
        try:
            with open(package, encoding="utf-8") as f:
                return json.load(f).get("version") == THUMBSUP_VERSION and os.path.exists(program)
        except (OSError, ValueError):
            return False

    if installed():
        return program, None
    if not shutil.which("npm"):
        return None, "npm is missing (node 20 with npm)"
    os.makedirs(cache, exist_ok=True)
    began = time.monotonic()
    done = subprocess.run(["npm", "install", "--prefix", cache, "--no-audit", "--no-fund",
                           "--save-exact", "--loglevel=error", f"thumbsup@{THUMBSUP_VERSION}"],
                          capture_output=True, text=True)
    print(f"thumbsup {THUMBSUP_VERSION} installed into {cache} in "
          f"{time.monotonic() - began:.0f} s (npm exit {done.returncode})")
    if done.returncode != 0 or not installed():
        return None, "npm could not install thumbsup: " + done.stderr[-2000:]
    return program, None


def make_thumbsup(program, photos, output):
    made = subprocess.run([program, "--input", photos, "--output", output,
                           "--album-page-size", str(PAGE_SIZE), "--photo-download", "copy",
                           "--log", "default"], capture_output=True, text=True,
                          env=dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8"))
    if made.returncode != 0:
        return "thumbsup failed: " + (made.stdout + made.stderr)[-3000:]
    # The copies are as new as the run; the module installed just after may bear the same
    # second, which the host prints as "module-time". Dated a minute after their sources,
    # the published files keep times of their own on every run.
    for folder, names in TREE.items():
        for name in names:
            stamp = os.stat(os.path.join(photos, *folder, name)).st_mtime + 60
            os.utime(os.path.join(output, "media", "original", *folder, name), (stamp, stamp))
    return None


# ---- Browsing -------------------------------------------------------------------------------

def expectations(program, photos, site):
    """folder path -> (album names, {photo name: published file})."""
    want = {}
    for folder, names in TREE.items():
        albums = sorted(f[-1] for f in TREE if len(f) == len(folder) + 1 and f[:-1] == folder)
        if program == "apache-gallery":
            files = {n: os.path.join(photos, *folder, n) for n in names}
        else:
            files = {n: os.path.join(site, "media", "original", *folder, n) for n in names}
        want[folder] = (albums, files)
    return want


def make_case(case, source, host, script, urls):
    """The case folder run_cases.install reads: settings with [sites], one bookmark a url."""
    files = os.path.join(case, "files")
    os.makedirs(files)
    with open(os.path.join(source, "resources", "frameleaf.ini"), encoding="utf-8") as f:
        settings = f.read()
    with open(os.path.join(files, "frameleaf.ini"), "w", encoding="utf-8") as f:
        f.write(settings + f"\n[sites]\n{host}={script}\n")
    with open(os.path.join(files, "frameleaf.tab"), "w", encoding="cp1251") as f:
        f.write("[tabs]\n" + "".join(f"{i + 1}={name}\n" for i, (name, _) in enumerate(urls)))
        for name, url in urls:
            f.write(f"[{name}]\nurl={url}\n")


def quoted(path):
    return '"' + path.replace("\\", "\\\\") + '"'


def chosen_photo(names):
    """The photo of a folder to copy out: the one with the most awkward name."""
    return max(names, key=lambda n: (any(ord(c) > 127 for c in n), "&" in n or "%" in n, n))


def utc(path):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(os.stat(path).st_mtime))


def check(want, output, tab, top_alias, root, downloads):
    failures = []
    got = listings(output)
    for folder, (albums, files) in want.items():
        path = tab + "".join("\\" + f for f in folder)
        entries = got.get(path)
        if entries is None:
            failures.append(f"{path}: not listed")
            continue
        dirs = sorted(name for kind, _, _, name in entries if kind == "dir")
        listed = {name: (size, when) for kind, size, when, name in entries if kind == "file"}
        wanted = {n: (os.path.getsize(p), utc(p)) for n, p in files.items()}
        if dirs != albums:
            failures.append(f"{path}: albums {dirs}, not {albums}")
        if listed != wanted or len(entries) != len(albums) + len(wanted):
            failures.append(f"{path}: lists {[e[3] for e in entries]}; photos "
                            f"{ {n: v for n, v in listed.items() if wanted.get(n) != v} } "
                            f"where { {n: v for n, v in wanted.items() if listed.get(n) != v} } "
                            "is published")
    if got.get(top_alias) != got.get(tab):
        failures.append(f"{top_alias} lists {got.get(top_alias)}, not what {tab} lists")
    for folder, name, local in downloads:
        file = want[folder][1][name]
        copied = os.path.join(root, "dl", local)
        data = open(copied, "rb").read() if os.path.exists(copied) else None
        if data is None:
            failures.append(f"{'/'.join(folder + (name,))} was not copied out")
        elif data != open(file, "rb").read():
            failures.append(f"{'/'.join(folder + (name,))}: {len(data)} bytes copied out "
                            f"differ from the {os.path.getsize(file)} published")
    return failures


def browse(args, host, want, urls):
    """Installs the module with the program's script bound to host, lists and copies."""
    root = tempfile.mkdtemp(prefix="fl-real-")
    case = tempfile.mkdtemp(prefix="fl-real-case-")
    try:
        make_case(case, args.source, host, args.program, urls)
        run_cases.install(args, case, root)
        os.makedirs(os.path.join(root, "dl"))
        seen = run_cases.windows_path(root) if args.emulator else root
        separator = "\\" if args.emulator else "/"
        tab, alias = "\\" + urls[0][0], "\\" + urls[1][0]
        lines = ["list " + alias]
        downloads = []
        for n, (folder, (albums, files)) in enumerate(want.items()):
            path = tab + "".join("\\" + f for f in folder)
            lines.append("list " + path)
            name = chosen_photo(list(files))
            local = f"{n}.jpg"
            lines.append(f"get {quoted(path + chr(92) + name)} "
                         f"{quoted(seen + separator + 'dl' + separator + local)}")
            downloads.append((folder, name, local))
        commands = os.path.join(root, "commands.txt")
        with open(commands, "w", encoding="utf-8") as out:
            out.write("\n".join(lines) + "\n")
        module = seen + ("\\" if args.emulator else "/") + run_cases.module_name(args)
        command = ([args.emulator] if args.emulator else []) + [
            args.host, module, "--wide", "-f",
            run_cases.windows_path(commands) if args.emulator else commands]
        returncode, stdout, stderr, _ = run_cases.run_host(command, root, encoding="utf-8")
        if returncode == SKIP:
            sys.stderr.write(stderr.decode(errors="replace"))
            return SKIP
        output = stdout.decode("utf-8").replace("\r\n", "\n")
        failures = check(want, output, tab, alias, root, downloads)
        if returncode != 0:
            failures.append(f"host exited {returncode}: {stderr.decode(errors='replace')}")
        for f in failures:
            print("FAIL:", f)
        if failures or os.environ.get("FL_GALLERIES_OUTPUT"):
            print(output)
            page = os.path.join(root, "frameleaf.htm")
            if os.path.exists(page):
                print("error page:", open(page, "rb").read().decode("utf-8", "replace"))
        if not failures:
            print(f"{args.program}: {len(want)} folders, "
                  f"{sum(len(f) for _, f in want.values())} photos listed, "
                  f"{len(downloads)} copied out intact")
        return 1 if failures else 0
    finally:
        shutil.rmtree(case, ignore_errors=True)
        if os.environ.get("FL_KEEP_CASE"):
            print("kept:", root)
        else:
            shutil.rmtree(root, ignore_errors=True)


def main():
    if not sys.flags.utf8_mode:
        # The photos' names are UTF-8 on disk whatever the locale the test runs in (the
        # native tests run under a Windows-1251 locale, which the host keeps).
        os.execv(sys.executable, [sys.executable, "-X", "utf8"] + sys.argv)
    sys.stdout.reconfigure(errors="backslashreplace")
    p = argparse.ArgumentParser()
    p.add_argument("program", choices=("apache-gallery", "thumbsup"))
    for name in ("host", "module", "fixtures", "source"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--emulator", default="")
    args = p.parse_args()
    began = time.monotonic()
    if not shutil.which("gm"):
        return skip("GraphicsMagick's gm is missing (scripts/setup.sh installs graphicsmagick)")

    # A temp folder of its own: Apache, run as root, serves as an unprivileged user, who
    # must reach the photos and the config.
    work = tempfile.mkdtemp(prefix=f"fl-{args.program}-")
    photos = os.path.join(work, "photos")
    make_photos(photos)
    host = f"{args.program}.test"
    sites = os.path.join(work, "sites")
    site = os.path.join(sites, host)
    os.makedirs(site)
    server = None
    try:
        if args.program == "apache-gallery":
            server, port = start_apache(work, photos)
            if server is None:
                return skip(port)
            with open(os.path.join(site, ".served-as"), "w") as f:
                f.write(f"forward {port}\n")
            urls = [("AG", f"http://{host}/"), ("AG first page", f"http://{host}/?start=1")]
        else:
            program, why = thumbsup_program()
            if program is None:
                return skip(why)
            why = make_thumbsup(program, photos, site)
            if why:
                print("FAIL:", why)
                return 1
            with open(os.path.join(site, ".served-as"), "w") as f:
                f.write("# served as a web server serves the folder: paths percent-decoded\n")
            urls = [("TS", f"http://{host}/"), ("TS index", f"http://{host}/index.html")]
        try:
            run_cases.control("mount", dir=sites)
        except OSError as e:
            print(f"FAIL: the fixture server did not mount the gallery: {e}")
            return 1
        try:
            result = browse(args, host, expectations(args.program, photos, site), urls)
        finally:
            try:
                run_cases.control("unmount")
            except OSError:
                pass
        print(f"{args.program}: {time.monotonic() - began:.0f} s in all")
        return result
    finally:
        stop(server)
        if os.environ.get("FL_KEEP_CASE"):
            print("kept:", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
