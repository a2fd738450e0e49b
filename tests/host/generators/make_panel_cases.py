#!/usr/bin/env python3
"""Writes the cases that drive the module as a two-pane file manager does: several album
folders listed before their photos are copied, two panels listing in turn, a find handle
kept open across another listing, equal names, and a folder whose kept listing was dropped.
Run it after changing it; then accept the cases' output (tests/host/accept_output.sh)."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
CASES = os.path.join(HERE, "..", "cases")

SCRIPT = """[panels.test]
FileExpression=^http://[^/]+/(u/([^/]+)/a/([^/]+)/)$
DirExpression=^http://[^/]+/(u/([^/]+)/)?$
AlbumExpression=<a class="album" href="([^"]+)">([^<]*)</a>
FotoExpression=<img src="[^"]+" alt="[^"]*">
OrigExpression=<img src="(/p/[^"]+)" alt="([^"]*)">
UrlFoto=%s`Match[1]
UrlPrev=%s`Match[1]
UrlAlbum=%s`Match[1]
NameFoto=%s`Match[2]
NameAlbum=%s`Match[2]
IfNextPageAlbum=<a class="next" href="([^"]+)">
NextPageAlbum=%s`Match[1]
IfNextPageFoto=<a class="next" href="([^"]+)">
NextPageFoto=%s`Match[1]
User=2
Album=3
Utf=0
ServFoto=img.panels.test
"""

BOOKMARKS = """[tabs]
count=2
1=Ann
2=Bulk
[Ann]
url=http://www.panels.test/u/ann/
[Bulk]
url=http://www.panels.test/u/bulk/
"""

# Albums of user ann: (name, folder on the site, [(photo name, file), ...], photos on page 2).
ANN = [
    ("Harbour", "harbour", [("boats.jpg", "boats.jpg"), ("gulls.jpg", "gulls.jpg"),
                            ("Twice.jpg", "t1.jpg"), ("twice.jpg", "t2.jpg")], []),
    ("Mountains", "mountains", [("boats.jpg", "boats.jpg"), ("peak.jpg", "peak.jpg")], []),
    ("City", "city", [("street.jpg", "street.jpg")], [("more.jpg", "more.jpg")]),
    ("Echo", "echo1", [("sound.jpg", "sound.jpg")], []),
    ("Echo", "echo2", [("sound.jpg", "sound.jpg")], []),
]
BULK = 70  # more albums than the module keeps listings of


def page(body):
    return "<html><body>\n" + body + "</body></html>\n"


def photo_bytes(album, name):
    # Distinct bytes per photo, above the size under which a second spelling is asked for.
    seed = (album + "/" + name).encode()
    return (seed + b"\x00\xff") * (3000 // (len(seed) + 2) + 1)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def site_files(root, bulk):
    albums = "".join('<a class="album" href="/u/ann/a/%s/">%s</a>\n' % (d, n)
                     for n, d, _, _ in ANN)
    write(os.path.join(root, "sites/www.panels.test/u/ann/index.html"), page(albums))
    for _, folder, photos, more in ANN:
        base = "sites/www.panels.test/u/ann/a/%s/" % folder
        imgs = "".join('<img src="/p/%s/%s" alt="%s">\n' % (folder, f, n) for n, f in photos)
        nxt = '<a class="next" href="/u/ann/a/%s/2/">next</a>\n' % folder if more else ""
        write(os.path.join(root, base + "index.html"), page(imgs + nxt))
        if more:
            imgs2 = "".join('<img src="/p/%s/%s" alt="%s">\n' % (folder, f, n) for n, f in more)
            write(os.path.join(root, base + "2/index.html"), page(imgs2))
        for _, f in photos + more:
            write(os.path.join(root, "sites/img.panels.test/p/%s/%s" % (folder, f)),
                  photo_bytes(folder, f))
    if not bulk:
        write(os.path.join(root, "files/scripts/panels.test"), SCRIPT)
        write(os.path.join(root, "files/frameleaf.tab"), BOOKMARKS)
        return
    albums = "".join('<a class="album" href="/u/bulk/a/b%02d/">B%02d</a>\n' % (i, i)
                     for i in range(BULK))
    write(os.path.join(root, "sites/www.panels.test/u/bulk/index.html"), page(albums))
    for i in range(BULK):
        write(os.path.join(root, "sites/www.panels.test/u/bulk/a/b%02d/index.html" % i),
              page('<img src="/p/b%02d/p.jpg" alt="p.jpg">\n' % i))
        write(os.path.join(root, "sites/img.panels.test/p/b%02d/p.jpg" % i),
              photo_bytes("b%02d" % i, "p.jpg"))
    write(os.path.join(root, "files/scripts/panels.test"), SCRIPT)
    write(os.path.join(root, "files/frameleaf.tab"), BOOKMARKS)


def case(name, commands, after, bulk):
    root = os.path.join(CASES, name)
    site_files(root, bulk)
    write(os.path.join(root, "commands"), commands)
    write(os.path.join(root, "after"), after)
    if not os.path.exists(os.path.join(root, "expected")):
        write(os.path.join(root, "expected"), "")


def ann_photos():
    for album, folder, photos, more in ANN:
        yield album, folder, photos + more


def copy_several():
    cmds = ["# The host lists every selected album before it copies anything, then copies",
            "# the photos of each: every photo comes from its own album.",
            "list \\Ann"]
    cmds += ["list \\Ann\\%s" % a for a in ("Harbour", "Mountains", "City", "Echo", "Echo (2)")]
    after = []
    shown = {"echo2": "Echo (2)"}
    for album, folder, photos in ann_photos():
        album = shown.get(folder, album)
        names = {}
        for name, f in photos:
            key = name.lower()
            names[key] = names.get(key, 0) + 1
            listed = name if names[key] == 1 else name[:-4] + " (%d)" % names[key] + name[-4:]
            local = "%s-%s" % (folder, f)
            remote = "\\Ann\\%s\\%s" % (album, listed)
            if " " in remote:  # quoted, backslashes escaped
                remote = '"%s"' % remote.replace("\\", "\\\\")
            cmds.append("get %s @DIR@/%s" % (remote, local))
            after.append("equals %s sites/img.panels.test/p/%s/%s" % (local, folder, f))
    after += ["# Nothing is asked for that the site never linked.",
              "not-requested GET http://img.panels.test/NULL HTTP/1.1",
              "not-requested GET http://img.panels.test/NJPG HTTP/1.1",
              "request-count %d" % (1 + 6 + sum(len(p) for _, _, p in ann_photos()) * 2)]
    case("copy-several-albums", "\n".join(cmds) + "\n", "\n".join(after) + "\n", False)


def two_panels():
    cmds = [
        "# Two panels list in turn and copy from each; a find handle open across another",
        "# listing hands out its own entries to its end; a failed listing between them",
        "# leaves both usable.",
        "list \\Ann",
        "find-first \\Ann\\Harbour",
        "list \\Ann\\Mountains",
        "find-next 1", "find-next 1", "find-next 1", "find-next 1",
        "find-close 1",
        "get \\Ann\\Harbour\\gulls.jpg @DIR@/gulls.jpg",
        "get \\Ann\\Mountains\\boats.jpg @DIR@/m-boats.jpg",
        "list \\Ann\\Nowhere",
        "get \\Ann\\Harbour\\boats.jpg @DIR@/h-boats.jpg",
        "get \\Ann\\Mountains\\peak.jpg @DIR@/peak.jpg",
        "# A name the album does not list is not found, and nothing is asked for it.",
        "sync missing",
        "get \\Ann\\Mountains\\gulls.jpg @DIR@/missing.jpg",
        "sync end",
        "# A folder listed more than the kept number of listings ago is listed again from",
        "# its address when a photo is copied from it.",
        "list \\Bulk",
    ]
    cmds += ["list \\Bulk\\B%02d" % i for i in range(BULK)]
    cmds += ["sync dropped", "get \\Bulk\\B00\\p.jpg @DIR@/b00.jpg",
             "get \\Bulk\\B69\\p.jpg @DIR@/b69.jpg", "sync done"]
    after = [
        "equals gulls.jpg sites/img.panels.test/p/harbour/gulls.jpg",
        "equals m-boats.jpg sites/img.panels.test/p/mountains/boats.jpg",
        "equals h-boats.jpg sites/img.panels.test/p/harbour/boats.jpg",
        "equals peak.jpg sites/img.panels.test/p/mountains/peak.jpg",
        "absent missing.jpg",
        "requests-after missing 0",
        "equals b00.jpg sites/img.panels.test/p/b00/p.jpg",
        "equals b69.jpg sites/img.panels.test/p/b69/p.jpg",
        "# B00 is listed again (its page and its photo's size), B69 is still kept.",
        "requested-after dropped GET http://www.panels.test/u/bulk/a/b00/ HTTP/1.1",
        "requests-after dropped 4",
    ]
    case("two-panels", "\n".join(cmds) + "\n", "\n".join(after) + "\n", True)


# Names a hostile page gives its photos, and the safe names the listing shows for them.
HOSTILE = [
    ("..\\..\\evil.jpg", ".._.._evil.jpg"),
    ("a/b.jpg", "a_b.jpg"),
    ("x:y.jpg", "x_y.jpg"),
    ("CON.jpg", "_CON.jpg"),
    ("com1.jpg", "_com1.jpg"),
    ("NUL.jpg", "_NUL.jpg"),
    ("ctl\x01\x1fx.jpg", "ctl__x.jpg"),
    ("q?*<>|.jpg", "q_____.jpg"),
    ("dots..jpg. .", "dots..jpg"),
    ("Same.jpg", "Same.jpg"),
    ("same.jpg", "same (2).jpg"),
]


def quoted(remote):
    return '"%s"' % remote.replace("\\", "\\\\")


def hostile_names():
    root = os.path.join(CASES, "hostile-names")
    imgs = "".join('<img src="/p/bad/%d.jpg" alt="%s">\n' % (i, name)
                   for i, (name, _) in enumerate(HOSTILE))
    write(os.path.join(root, "sites/www.panels.test/u/bad/a/x/index.html"),
          page(imgs).encode("latin-1"))
    for i in range(len(HOSTILE)):
        write(os.path.join(root, "sites/img.panels.test/p/bad/%d.jpg" % i),
              photo_bytes("bad", str(i)))
    write(os.path.join(root, "files/scripts/panels.test"), SCRIPT)
    write(os.path.join(root, "files/frameleaf.tab"),
          "[tabs]\ncount=1\n1=Bad\n[Bad]\nurl=http://www.panels.test/u/bad/a/x/\n")
    write(os.path.join(root, "files/fresh/placed-by-the-case.txt"), "a folder to copy into\n")
    cmds = ["# A page names its photos with paths, streams, devices, control bytes and",
            "# wildcards: the listing shows safe names, and copying each one under the name shown",
            "# into a fresh folder puts its own photo inside that folder.",
            "list \\Bad"]
    after = []
    for i, (_, shown) in enumerate(HOSTILE):
        local = shown.replace(" ", "-")  # the checks below take names without blanks
        cmds.append("get %s %s" % (quoted("\\Bad\\" + shown), quoted("@DIR@/fresh/" + local)))
        after.append("equals fresh/%s sites/img.panels.test/p/bad/%d.jpg" % (local, i))
    write(os.path.join(root, "commands"), "\n".join(cmds) + "\n")
    write(os.path.join(root, "after"), "\n".join(after) + "\n")
    if not os.path.exists(os.path.join(root, "expected")):
        write(os.path.join(root, "expected"), "")


if __name__ == "__main__":
    hostile_names()
    copy_several()
    two_panels()
