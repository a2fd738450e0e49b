#!/usr/bin/env python3
"""Makes real galleries to browse: photos drawn with ImageMagick into albums with awkward
names, each of four Debian gallery generators run over them with its defaults and with
option sets people commonly use (originals published, other sizes, paging by rows and
columns, sub-galleries), and the results laid out as web sites for the fixture web server
(WORK/sites/<host>/...), a host per option set.

What each site should list is read back from the files the generators actually wrote (their
names, sizes and times), never from a list kept here: another version of a generator may
name or scale its files otherwise. Each photo is expected as the largest file its gallery
publishes: the original where there is one, else the largest copy. WORK/manifest.json
holds, per host: the script that serves it, the addresses its top page is opened at (its
folder, its page's name), the addresses of albums opened directly (as a bookmark or a typed
address would), and per folder (the top, each album, each album inside an album) its path
of readable names, the names of the albums it holds and each photo's listed name, served
path, size and time.

A generator that writes no page listing the albums is served with the web server's own
folder index: with its defaults once in each server's style (Apache, nginx, Python's
http.server), with other options in one of them.

Usage: make_galleries.py --work DIR
The work folder is reused while this file is unchanged (its digest is kept there), so that
several test runs of one build make the galleries once.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import urllib.parse
import zlib

# Album names with a blank, &, #, +, ', Cyrillic letters and a name longer than nginx's
# folder index shows (50 characters); photo names with a blank, &, %, Greek and Cyrillic
# letters. The first album holds enough photos to page; the last a panorama, which fgallery
# publishes at full size even by default.
LONG = "Summer holidays by the sea with the whole family and friends, 2024"
ALBUMS = [
    ("Harbour", ["pier at dawn"] + [f"IMG_{n:04d}" for n in range(1, 10)]),
    ("Mountains & Lakes", ["lake", "ridge", "IMG_0100"]),
    ("Городские улицы", ["Мост на закате", "tram", "IMG_0200"]),
    ("Tom's #1 + friends", ["party", "cake & candles", "50% off", "Ακρόπολη τη νύχτα",
                            "IMG_0300"]),
    (LONG, ["beach", "IMG_0400", "sunset panorama"]),
]
PANORAMA = "sunset panorama"
# The galleries of the other option sets hold fewer albums, to keep the test short: the one
# that pages, and the ones with the most awkward names.
PAGED = [ALBUMS[0][0], ALBUMS[3][0]]
AWKWARD = [ALBUMS[2][0], ALBUMS[3][0]]
# Folders inside an album, for the generators that nest (lazygal, llgal -R): an album and
# an album inside it, under an album that pages (lazygal shows its albums on every page).
# And photos in the top folder beside the albums.
NESTING = ALBUMS[3][0]
NESTED = [
    ((NESTING, "Night tram & bridges"), ["last tram", "IMG_0310"]),
    ((NESTING, "Night tram & bridges", "Ночь на мосту"), ["мост 2", "lamp"]),
]
TOP_PHOTOS = ["cover"]
# Photos a page where a generator pages its albums.
PER_PAGE = 4
FOLDER_INDEX_STYLES = ("apache", "nginx", "python")
# A file beside the albums, which a folder index lists and a script must pass over.
STRAY_FILE = "notes.txt"


def run(command, cwd=None):
    done = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True)
    if done.returncode != 0:
        sys.exit(f"{command[0]} failed ({done.returncode}):\n"
                 f"{done.stdout.decode(errors='replace')}{done.stderr.decode(errors='replace')}")


def make_photos(src, nested):
    """Each photo a different plasma picture (a fixed seed each), large enough that no
    photo is mistaken for a small error answer. SRC holds the albums; NESTED the same
    photos (hard links) with the folders of NESTED and TOP_PHOTOS added."""
    seed = 0
    folders = [((album,), photos) for album, photos in ALBUMS]
    for path, photos in folders + NESTED + [((), TOP_PHOTOS)]:
        base = src if path and path[0] in dict(ALBUMS) and len(path) == 1 else nested
        os.makedirs(os.path.join(base, *path), exist_ok=True)
        for stem in photos:
            seed += 1
            size = "1200x300" if stem == PANORAMA else "400x300"
            run(["convert", "-seed", str(seed), "-size", size, "plasma:fractal",
                 os.path.join(base, *path, stem + ".jpg")])
        if base == src:
            shutil.copytree(os.path.join(src, *path), os.path.join(nested, *path),
                            copy_function=os.link, dirs_exist_ok=True)


def source_folders(albums, nested):
    """The folders a gallery of ALBUMS shows, top first: (path of names, the names of the
    albums it holds, the stems of its photos). With NESTED the albums' folders inside them
    and the top's photos too."""
    paths = [((a,), s) for a, s in ALBUMS if a in albums]
    if nested:
        paths += [(p, s) for p, s in NESTED if p[0] in albums]
    paths.insert(0, ((), TOP_PHOTOS if nested else []))
    return [(p, [q[-1] for q, _ in paths if len(q) == len(p) + 1 and q[:len(p)] == p], s)
            for p, s in paths]


def folders_of(root, albums, nested, pick, prefix=""):
    """The manifest's folders of a gallery published at ROOT, which lays its folders out as
    its source does: pick(file name, stems) gives the listed name of a file that is a photo
    of a folder with photos STEMS, else None. PREFIX goes before each served path."""
    folders = []
    for path, dirs, stems in source_folders(albums, nested):
        found = []
        for file in sorted(f for f in os.listdir(os.path.join(root, *path))
                           if os.path.isfile(os.path.join(root, *path, f))):
            name = pick(file, stems)
            if name:
                found.append(photo(root, os.path.join(*path, file), name))
                found[-1]["path"] = prefix + found[-1]["path"]
        if len(found) != len(stems):
            sys.exit(f"{root}: {len(found)} photos published in {'/'.join(path)}, not "
                     f"{len(stems)}")
        folders.append({"path": list(path), "dirs": dirs, "photos": found})
    return folders


def flat(albums):
    """The manifest's folders of a gallery whose top lists ALBUMS (with their photos)."""
    return [{"path": [], "dirs": [a["name"] for a in albums], "photos": []}] + [
        {"path": [a["name"]], "dirs": [], "photos": a["photos"]} for a in albums]


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
    if len(found) != len(dict(ALBUMS)[album]):
        sys.exit(f"{root}: {len(found)} photos published for {album}, not "
                 f"{len(dict(ALBUMS)[album])}")
    return found


def subset(work, src, albums):
    """A source folder holding only ALBUMS of SRC (hard links to the photos: the same
    files), and the photos of SRC's top folder."""
    folder = os.path.join(work, os.path.basename(src) + "-" + "-".join(
        str(n) for n, (a, _) in enumerate(ALBUMS) if a in albums))
    if not os.path.isdir(folder):
        for album in albums:
            shutil.copytree(os.path.join(src, album), os.path.join(folder, album),
                            copy_function=os.link)
        for file in os.listdir(src):
            if os.path.isfile(os.path.join(src, file)):
                os.link(os.path.join(src, file), os.path.join(folder, file))
    return folder


def address(path):
    """A path as a typed address holds it: percent-encoded UTF-8."""
    return urllib.parse.quote(path, safe="/")


def host_entry(host, script, folders, urls=("",), index=None, direct=()):
    """A host of the manifest: its top page is opened at each of URLS (paths from "/"), the
    first of which its folders are listed under; each (path from "/", path of names) of
    DIRECT is an album's address opened directly."""
    entry = {"host": host, "script": script, "folders": folders,
             "urls": [f"http://{host}/{u}" for u in urls],
             "direct": [{"url": f"http://{host}/{address(u)}", "path": list(names)}
                        for u, names in direct]}
    if index:
        entry["index"] = index
    return entry


# lazygal: what is published and where the top page is. The largest published file of a
# photo is its original with -O, else the copy of the last size (lazygal's own "medium",
# or the last size given with -s), which is named after the source file with ".jpg". The
# galleries marked nested hold albums inside albums and photos beside the top's albums;
# each opens an album's address directly (its folder, or a page of its own).
LAZYGAL = [
    ("www", ["-n", str(PER_PAGE)], "medium", "", None, True,
     [(ALBUMS[2][0] + "/", ALBUMS[2][:1]),
      ("/".join(NESTED[1][0]) + "/index.html", NESTED[1][0])]),
    ("originals", ["-O", "-z", "-n", str(PER_PAGE)], "original", "photos/", PAGED, False,
     [("photos/Harbour/index.html", ("Harbour",))]),
    ("sizes", ["-s", "small=320x240,large=1280x960"], "large", "", AWKWARD, True,
     [("/".join(NESTED[0][0]) + "/index.html", NESTED[0][0])]),
    ("one-size", ["-s", "big=640x480", "-n", str(PER_PAGE)], "big", "gallery/", PAGED, False,
     []),
]


def lazygal(work, src, nested_src):
    """lazygal with each option set of LAZYGAL: a gallery page lists the albums it holds
    and its photos, 4 a page with -n 4, each leading to the photo's own page."""
    hosts = []
    for name, options, largest, folder, only, nested, direct in LAZYGAL:
        host = f"{name}.lazygal.test"
        site = os.path.join(work, "sites", host, folder)
        base = nested_src if nested else src
        run(["lazygal", "--quiet", "-o", site] + options + [subset(work, base, only) if only
                                                             else base])
        # The first album must page, or paging would go untested; and the album holding
        # albums, or their repeats on its later pages would.
        paged = [ALBUMS[0][0]] + ([NESTING] if nested else []) if "-n" in options else []
        for album in paged:
            pages = [f for f in os.listdir(os.path.join(site, album))
                     if re.fullmatch(r"index_[0-9]+\.html", f)]
            if not pages:
                sys.exit(f"lazygal wrote one page for {album}")
        if largest == "original":
            pick = lambda f, stems: f if f[:-len(".jpg")] in stems else None
        else:
            pick = lambda f, stems, end=f"_{largest}.jpg": \
                f[:-len(end)] + ".jpg" if f.endswith(end) else None
        folders = folders_of(site, only or dict(ALBUMS), nested, pick, folder)
        hosts.append(host_entry(host, "lazygal", folders, (folder, folder + "index.html"),
                                direct=direct))
    return hosts


def llgal(work, src, nested_src):
    """llgal run in each album's folder (the photos stay where they are, the thumbnails go
    to .llgal/; no page lists the albums): with no options, and with scaled slides (--sx,
    --sy). And llgal over the folder of albums with its sub-galleries at every level and
    direct links to the photos (-R -S -s), whose top page lists the albums beside its own
    photos: at the host's top, and under a folder with its pages named otherwise (-i). The
    photos are the originals."""
    pick = lambda f, stems: f if f.endswith(".jpg") else None
    hosts = []
    for name, options, style, only in ((None, [], None, None),
                                       ("scaled", ["--sx", "200", "--sy", "150"], "nginx",
                                        AWKWARD)):
        out = os.path.join(work, "out", "llgal-" + (name or "defaults"))
        shutil.copytree(subset(work, src, only) if only else src, out)
        for album in only or dict(ALBUMS):
            run(["llgal"] + options, cwd=os.path.join(out, album))
        folders = folders_of(out, only or dict(ALBUMS), False, pick)
        # An album's folder, as a bookmark of an album made before holds it.
        album = (only or [a for a, _ in ALBUMS])[-1]
        hosts += served_by_folder_index(work, out, "llgal", folders,
                                        (style,) if style else FOLDER_INDEX_STYLES, name,
                                        [(album + "/", (album,))])
    for name, options, folder, urls, only, direct in (
            ("sub", ["-R", "-S", "-s"], "", ["", "index.html"], None,
             [(NESTING + "/", (NESTING,)),
              ("/".join(NESTED[0][0]) + "/index.html", NESTED[0][0])]),
            ("named", ["-R", "-S", "-s", "-i", "gallery"], "galleries/",
             ["galleries/gallery.html"], AWKWARD,
             [("galleries/" + "/".join(NESTED[1][0]) + "/gallery.html", NESTED[1][0])])):
        host = f"{name}.llgal.test"
        site = os.path.join(work, "sites", host, folder)
        shutil.copytree(subset(work, nested_src, only) if only else nested_src, site)
        run(["llgal"] + options, cwd=site)
        folders = folders_of(site, only or dict(ALBUMS), True, pick, folder)
        hosts.append(host_entry(host, "llgal", folders, urls, direct=direct))
    return hosts


def jigl(work, src):
    """jigl over all the albums, answering its question about blanks in file names with
    "no" (-rs n): the names stay. With its defaults (slides and info pages) each album's
    web/ folder is what is published, under the album's name, and the slides are its
    photos; with the originals linked (-lo) or made the slides (-uo) jigl writes into the
    album's folder, which is published whole, and the originals are its photos. The
    option sets with -ir and -iw page the index in rows and columns."""
    hosts = []
    for name, options, style, only in (
            ("", [], None, [a for a, _ in ALBUMS]),
            ("originals", ["-lo", "-ir", "2", "-iw", "3"], "nginx", PAGED),
            ("as-slides", ["-uo", "-ir", "1", "-iw", "4"], "apache", AWKWARD)):
        out = os.path.join(work, "out", "jigl-" + (name or "defaults"))
        shutil.copytree(src, out)
        run(["jigl", "-rs", "n"] + options + only, cwd=out)
        published = os.path.join(work, "out", "jigl-web-" + (name or "defaults"))
        albums = []
        for album, stems in ALBUMS:
            if album not in only:
                continue
            if options:
                shutil.copytree(os.path.join(out, album), os.path.join(published, album))
                folder, pick = "", lambda f, s=stems: f if f[:-len(".jpg")] in s else None
            else:
                shutil.copytree(os.path.join(out, album, "web"),
                                os.path.join(published, album))
                folder = "slides"
                pick = lambda f: f[len("slide_"):] if f.startswith("slide_") else None
            albums.append({"name": album,
                           "photos": album_photos(published, album, folder, pick)})
        # An album must page, or paging by rows and columns would go untested.
        if "-ir" in options and not any(os.path.exists(os.path.join(published, a, "index1.html"))
                                        for a in only):
            sys.exit(f"jigl {' '.join(options)} wrote one index page for each album")
        direct = [(ALBUMS[0][0] + "/index.html", ALBUMS[0][:1])] if not name else []
        hosts += served_by_folder_index(work, published, "jigl", flat(albums),
                                        (style,) if name else FOLDER_INDEX_STYLES, name or None,
                                        direct)
    return hosts


def fgallery(work, src):
    """fgallery SOURCE OUTPUT NAME for each album: with its defaults, with the originals
    included (-i), and slim (-s, nothing at full size) with smaller copies. An album's
    photos are described by its data.json (the page itself is a script): each photo is its
    original where data.json names one (files/: every photo with -i, by default the
    panorama), else its scaled copy (imgs/), under the names fgallery gave them."""
    hosts = []
    for name, options, style, only in (
            ("", [], None, None),
            ("originals", ["-i", "-d"], "python", AWKWARD),
            ("slim", ["-s", "--max-full", "320x240"], "nginx", AWKWARD)):
        out = os.path.join(work, "out", "fgallery-" + (name or "defaults"))
        os.makedirs(out)
        albums = []
        for album, _ in ALBUMS:
            if only and album not in only:
                continue
            run(["fgallery"] + options + [os.path.join(src, album), os.path.join(out, album),
                                          album])
            with open(os.path.join(out, album, "data.json"), encoding="utf-8") as f:
                data = json.load(f)
            photos = []
            for entry in data["data"]:
                largest = entry.get("file", entry["img"])[0]
                photos.append(photo(out, os.path.join(album, largest),
                                    os.path.basename(largest)))
            albums.append({"name": album, "photos": photos})
        files = [p for a in albums for p in a["photos"] if "/files/" in p["path"]]
        want = {"": 1, "originals": sum(len(s) for a, s in ALBUMS if a in AWKWARD),
                "slim": 0}[name]
        if len(files) != want:
            sys.exit(f"fgallery {' '.join(options)} published {len(files)} originals, "
                     f"not {want}")
        direct = [(ALBUMS[1][0] + "/data.json", ALBUMS[1][:1])] if not name else []
        hosts += served_by_folder_index(work, out, "fgallery", flat(albums),
                                        (style,) if name else FOLDER_INDEX_STYLES, name or None,
                                        direct)
    return hosts


def served_by_folder_index(work, out, generator, folders, styles=FOLDER_INDEX_STYLES,
                           name=None, direct=()):
    """A host per folder-index style (named after the style, or NAME with one style), each
    holding the galleries (hard links: the same files with the same times)."""
    with open(os.path.join(out, STRAY_FILE), "w") as f:
        f.write("not an album\n")
    hosts = []
    for style in styles:
        host = f"{name or style}.{generator}.test"
        site = os.path.join(work, "sites", host)
        shutil.copytree(out, site, copy_function=os.link)
        hosts.append(host_entry(host, generator, folders, index=style, direct=direct))
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
    src, nested = os.path.join(work, "src"), os.path.join(work, "nested")
    os.makedirs(src)
    make_photos(src, nested)
    hosts = lazygal(work, src, nested) + llgal(work, src, nested)
    for make in (jigl, fgallery):
        hosts += make(work, src)
    for entry in hosts:
        site = os.path.join(work, "sites", entry["host"])
        with open(os.path.join(site, ".served-as"), "w") as f:
            f.write(f"index {entry['index']}\n" if "index" in entry else "")
    with open(manifest, "w", encoding="utf-8") as f:
        json.dump(hosts, f, ensure_ascii=False, indent=1)
    with open(stamp, "w") as f:
        f.write(digest)
    return 0


if __name__ == "__main__":
    sys.exit(main())
