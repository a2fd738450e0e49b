#!/usr/bin/env python3
"""Writes the listing benchmark's site on www.bench.test: the album "big" of 1,000 small
photos on 10 pages, the album "hundred" of 100 photos of 2 MB on 2 pages (one file, linked
under 100 names), the photos on img.bench.test, and the site script.
Usage: make_listing_site.py SITE_ROOT SCRIPTS_FOLDER"""
import os
import sys

site, scripts = sys.argv[1], sys.argv[2]
album = os.path.join(site, "www.bench.test", "user", "bench", "album", "big")
for page in range(1, 11):
    folder = album if page == 1 else os.path.join(album, "page", str(page))
    os.makedirs(folder, exist_ok=True)
    lines = ["<html><body><h1>Big album</h1>"]
    for i in range((page - 1) * 100, page * 100):
        lines.append(f'<div class="p"><img class="photo" src="/p/{i}.jpg" alt="Photo {i}">'
                     f'<span>taken somewhere, {i} of 1000</span></div>')
    if page < 10:
        lines.append(f'<a class="next" href="/user/bench/album/big/page/{page + 1}/">next</a>')
    lines.append("</body></html>")
    with open(os.path.join(folder, "index.html"), "w") as f:
        f.write("\n".join(lines) + "\n")
photos = os.path.join(site, "img.bench.test", "p")
os.makedirs(photos, exist_ok=True)
for i in range(1000):
    with open(os.path.join(photos, f"{i}.jpg"), "wb") as f:
        if i == 0:  # the photo the benchmark copies out: 10 MB
            f.write(b"\xff\xd8" + bytes(range(256)) * 39062 + b"\xff\xd9" + b"\0" * 124)
            continue
        f.write(b"\xff\xd8" + bytes(i % 251 for _ in range(1000 + i)) + b"\xff\xd9")
    with open(os.path.join(photos, f"{i}.jpg.http"), "w") as f:
        f.write(f"header Last-Modified: Mon, 01 Jan 2024 00:{i // 60 % 60:02d}:{i % 60:02d} GMT\n")
hundred = os.path.join(site, "www.bench.test", "user", "bench", "album", "hundred")
for page in (1, 2):
    folder = hundred if page == 1 else os.path.join(hundred, "page", "2")
    os.makedirs(folder, exist_ok=True)
    lines = ["<html><body><h1>A hundred photos</h1>"]
    for i in range((page - 1) * 50, page * 50):
        lines.append(f'<div class="p"><img class="photo" src="/h/{i}.jpg" alt="Photo {i}"></div>')
    if page == 1:
        lines.append('<a class="next" href="/user/bench/album/hundred/page/2/">next</a>')
    lines.append("</body></html>")
    with open(os.path.join(folder, "index.html"), "w") as f:
        f.write("\n".join(lines) + "\n")
large = os.path.join(site, "img.bench.test", "h")
os.makedirs(large, exist_ok=True)
first = os.path.join(large, "0.jpg")
with open(first, "wb") as f:
    f.write(b"\xff\xd8" + bytes(range(256)) * 8192 + b"\xff\xd9")  # 2 MB and 4 bytes
for i in range(100):
    if i:
        os.link(first, os.path.join(large, f"{i}.jpg"))
    with open(os.path.join(large, f"{i}.jpg.http"), "w") as f:
        f.write(f"header Last-Modified: Tue, 02 Jan 2024 00:00:{i % 60:02d} GMT\n")
os.makedirs(scripts, exist_ok=True)
with open(os.path.join(scripts, "bench.test"), "w") as f:
    f.write("""[bench.test]
FileExpression=^http://[^/]+/user/([^/]+)/album/([^/]+)/
DirExpression=^http://[^/]+/user/([^/]+)/$
AlbumExpression=<a class="album" href="([^"]+)">([^<]*)</a>
FotoExpression=<img class="photo" src="[^"]+" alt="[^"]*">
OrigExpression=<img class="photo" src="(/[ph]/([^"]+))" alt="([^"]*)">
UrlFoto=%s`Match[1]
UrlPrev=%s`Match[1]
UrlAlbum=%s`Match[1]
NameFoto=%s`Match[2]
NameAlbum=%s`Match[2]
IfNextPageFoto=<a class="next" href="([^"]+)">
NextPageFoto=%s`Match[1]
IfNextPageAlbum=<a class="next" href="([^"]+)">
NextPageAlbum=%s`Match[1]
User=1
Album=2
Utf=0
ServFoto=img.bench.test
""")
