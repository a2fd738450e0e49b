#!/usr/bin/env python3
"""Makes real galleries to browse: photos drawn with ImageMagick into albums with awkward
names, each of four Debian gallery generators run over them with its defaults, and the
results laid out as web sites for the fixture web server (WORK/sites/<host>/...).

What each site should list is read back from the files the generators actually wrote (their
names, sizes and times), never from a list kept here: another version of a generator may
name or scale its files otherwise. WORK/manifest.json holds, per host: the script that
serves it, its address, and per album the readable name and each photo's listed name, served
path, size and time.

A generator that writes no page listing the albums is served with the web server's own
folder index, once in each server's style (Apache, nginx, Python's http.server).

Usage: make_galleries.py --work DIR
The work folder is reused while this file is unchanged (its digest is kept there), so that
several test runs of one build make the galleries once.
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import zlib

# Album names with a blank, &, #, +, ', Cyrillic letters and a name longer than nginx's
# folder index shows (50 characters). The first album holds enough photos to page.
LONG = "Summer holidays by the sea with the whole family and friends, 2024"
ALBUMS = [
    ("Harbour", ["pier at dawn"] + [f"IMG_{n:04d}" for n in range(1, 10)]),
    ("Mountains & Lakes", ["lake", "ridge", "IMG_0100"]),
    ("Городские улицы", ["Мост на закате", "tram", "IMG_0200"]),
    ("Tom's #1 + friends", ["party", "cake & candles", "IMG_0300"]),
    (LONG, ["beach", "IMG_0400", "sunset"]),
]
# lazygal pages its albums only when asked: this many photos a page.
LAZYGAL_PER_PAGE = 4
FOLDER_INDEX_STYLES = ("apache", "nginx", "python")
# A file beside the albums, which a folder index lists and a script must pass over.
STRAY_FILE = "notes.txt"


def run(command, cwd=None):
    done = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True)
    if done.returncode != 0:
        sys.exit(f"{command[0]} failed ({done.returncode}):\n"
                 f"{done.stdout.decode(errors='replace')}{done.stderr.decode(errors='replace')}")


def make_photos(src):
    """Each photo a different plasma picture (a fixed seed each), large enough that no
    photo is mistaken for a small error answer."""
    seed = 0
    for album, photos in ALBUMS:
        os.makedirs(os.path.join(src, album))
        for stem in photos:
            seed += 1
            run(["convert", "-seed", str(seed), "-size", "400x300", "plasma:fractal",
                 os.path.join(src, album, stem + ".jpg")])


# Served photos get fixed times of their own in 2024. A photo written in the very second the
# test installs the module would otherwise carry the module's time, which the host program
# shows as the module's stand-in for "no time", and the check would depend on the clock.
PHOTO_TIMES_FROM = 1704067200  # 2024-01-01T00:00:00Z


def photo(root, path, name):
    full = os.path.join(root, path)
    stamp = PHOTO_TIMES_FROM + zlib.crc32(path.encode()) % (300 * 86400)
    os.utime(full, (stamp, stamp))
    info = os.stat(full)
    return {"name": name, "path": path, "size": info.st_size, "mtime": int(info.st_mtime)}


def album_photos(root, album, folder, pick):
    """The album's photos as served: pick(file name) gives the listed name of a file in
    FOLDER (a path inside the album) that is a photo, else None."""
    found = []
    for file in sorted(os.listdir(os.path.join(root, album, folder))):
        name = pick(file)
        if name:
            found.append(photo(root, os.path.join(album, folder, file), name))
    return found


def lazygal(work, src):
    """lazygal -n 4: the album pages hold 4 photos each. The photos are the "medium" copies
    (lazygal's largest without -O); each is named after its source file, as the page's
    thumbnail text says."""
    site = os.path.join(work, "sites", "www.lazygal.test")
    run(["lazygal", "--quiet", "-o", site, "-n", str(LAZYGAL_PER_PAGE), src])
    # The first album must page, or the browse would not test paging at all.
    pages = [f for f in os.listdir(os.path.join(site, ALBUMS[0][0])) if f.startswith("index_")
             and f[len("index_"):-len(".html")].isdigit()]
    if len(pages) < 2:
        sys.exit(f"lazygal wrote {len(pages) + 1} pages for {ALBUMS[0][0]}, not 3 or more")
    albums = []
    for album, _ in ALBUMS:
        pick = lambda f: f[:-len("_medium.jpg")] + ".jpg" if f.endswith("_medium.jpg") else None
        albums.append({"name": album, "photos": album_photos(site, album, "", pick)})
    return [{"host": "www.lazygal.test", "script": "lazygal", "albums": albums}]


def llgal(work, src):
    """llgal run in each album's folder with no options: the photos stay where they are,
    the thumbnails go to .llgal/. No page lists the albums."""
    out = os.path.join(work, "out", "llgal")
    shutil.copytree(src, out)
    albums = []
    for album, _ in ALBUMS:
        run(["llgal"], cwd=os.path.join(out, album))
        pick = lambda f: f if f.endswith(".jpg") else None
        albums.append({"name": album, "photos": album_photos(out, album, "", pick)})
    return served_by_folder_index(work, out, "llgal", albums)


def jigl(work, src):
    """jigl over all the albums with its defaults (slides and info pages), answering its
    question about blanks in file names with "no" (-rs n): the names stay. Each album's
    web/ folder is what is published, under the album's name; the slides are its photos."""
    out = os.path.join(work, "out", "jigl")
    shutil.copytree(src, out)
    run(["jigl", "-rs", "n"] + [album for album, _ in ALBUMS], cwd=out)
    published = os.path.join(work, "out", "jigl-web")
    albums = []
    for album, _ in ALBUMS:
        shutil.copytree(os.path.join(out, album, "web"), os.path.join(published, album))
        pick = lambda f: f[len("slide_"):] if f.startswith("slide_") else None
        albums.append({"name": album, "photos": album_photos(published, album, "slides", pick)})
    return served_by_folder_index(work, published, "jigl", albums)


def fgallery(work, src):
    """fgallery SOURCE OUTPUT NAME for each album, with its defaults; the album's photos
    are described by its data.json (the page itself is a script). The photos are the
    scaled copies in imgs/, under the names fgallery gave them."""
    out = os.path.join(work, "out", "fgallery")
    os.makedirs(out)
    albums = []
    for album, _ in ALBUMS:
        run(["fgallery", os.path.join(src, album), os.path.join(out, album), album])
        with open(os.path.join(out, album, "data.json"), encoding="utf-8") as f:
            data = json.load(f)
        photos = [photo(out, os.path.join(album, entry["img"][0]),
                        os.path.basename(entry["img"][0])) for entry in data["data"]]
        albums.append({"name": album, "photos": photos})
    return served_by_folder_index(work, out, "fgallery", albums)


def served_by_folder_index(work, out, generator, albums):
    """One host per folder-index style, each holding the galleries (hard links: the same
    files with the same times)."""
    with open(os.path.join(out, STRAY_FILE), "w") as f:
        f.write("not an album\n")
    hosts = []
    for style in FOLDER_INDEX_STYLES:
        host = f"{style}.{generator}.test"
        site = os.path.join(work, "sites", host)
        shutil.copytree(out, site, copy_function=os.link)
        hosts.append({"host": host, "script": generator, "index": style, "albums": albums})
    return hosts


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--work", required=True)
    args = p.parse_args()
    work = os.path.abspath(args.work)
    digest = hashlib.sha256(open(__file__, "rb").read()).hexdigest()
    stamp = os.path.join(work, "made-by")
    manifest = os.path.join(work, "manifest.json")
    if os.path.exists(stamp) and open(stamp).read() == digest and os.path.exists(manifest):
        return 0
    if os.path.isdir(work):
        shutil.rmtree(work)
    src = os.path.join(work, "src")
    os.makedirs(src)
    make_photos(src)
    hosts = []
    for make in (lazygal, llgal, jigl, fgallery):
        hosts += make(work, src)
    for entry in hosts:
        site = os.path.join(work, "sites", entry["host"])
        with open(os.path.join(site, ".served-as"), "w") as f:
            f.write(f"index {entry['index']}\n" if "index" in entry else "")
        entry["url"] = f"http://{entry['host']}/"
    with open(manifest, "w", encoding="utf-8") as f:
        json.dump(hosts, f, ensure_ascii=False, indent=1)
    with open(stamp, "w") as f:
        f.write(digest)
    return 0


if __name__ == "__main__":
    sys.exit(main())
