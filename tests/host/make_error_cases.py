#!/usr/bin/env python3
"""Writes the error-page site cases (site-errors-*): scripts, pages, commands and checks.
The expected outputs are kept in the cases; run tests/host/accept_output.sh after a change
here, and read the output before keeping it."""
import os
base = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases")

def write(path, text, mode="w"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, mode) as f:
        f.write(text)

def case(name, scripts, sites, commands, after, tab=None):
    root = os.path.join(base, name)
    for fname, text in scripts.items():
        write(os.path.join(root, "files", "scripts", fname), text)
    for rel, text in sites.items():
        write(os.path.join(root, "sites", rel), text)
    write(os.path.join(root, "commands"), commands)
    write(os.path.join(root, "after"), after)
    if tab:
        write(os.path.join(root, "files", "frameleaf.tab"), tab)
    if not os.path.exists(os.path.join(root, "expected")):
        write(os.path.join(root, "expected"), "")

COMMON = """AlbumExpression=<a class="album" href="([^"]+)">([^<]*)</a>
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
FileExpression=^http://[^/]+/(u/([^/]+)/a/([^/]+)/)$
DirExpression=^http://[^/]+/(u/([^/]+)/)?$
User=2
Album=3
Utf=0
"""

ALBUM = '<a class="album" href="/u/x/a/one/">One</a>\n'
PHOTO = '<img src="/p/1.jpg" alt="one">\n'

def page(body):
    return "<html><body>\n" + body + "</body></html>\n"

def folder(url):
    """The folder the module gives an address typed at [connection]."""
    name = url.split("://", 1)[1].rstrip("/")
    return "".join("_" if c in '\\/:*?"<>|' else c for c in name).rstrip(". ") or "_"

def typed(url):
    """Types url at [connection] and opens the folder it gets."""
    return f"answer {url}\nlist \\[connection]\nlist \\[connection]\\{folder(url)}\n"

def browse(url, name):
    return typed(url) + f"get \\[connection]\\{folder(url)}\\error.htm @DIR@/{name}.htm\n"

# ---- The analysis of an address ------------------------------------------------------
case("site-errors-address",
     {"err.test": "[err.test]\n" + COMMON + "ServFoto=img%s.err.test\n"},
     {"www.err.test/index.html": page(ALBUM), "www.err.test/u/x/index.html": page(ALBUM),
      "www.err.test/u/x/a/one/index.html": page(PHOTO)},
     "# Every failure of the address analysis, each error page copied out after it.\n"
     + browse("http:///u/x/", "e22")
     + browse("http://www.noscript.test/u/x/", "e9")
     + browse("http://www.err.test/other/page", "e10")
     + browse("http://www.err.test/pic.JPG", "e10-upper")
     + browse("http://www.err.test/other/pic.jpg", "e11-author")
     + "# Nothing after the host's slash: reported, and the site's root is listed.\n"
     + browse("http://www.err.test/", "e11-path")
     + "# The site's ServFoto has a placeholder and no name: reported on every photo listing.\n"
     + typed("http://www.err.test/u/x/a/one/"),
     """contains e22.htm <b>Ошибка не возможно определить имя хоста E22</b>
contains e22.htm <p></p></blockquote></td></tr><tr>
contains e22.htm <p>http:///u/x/</p>
contains e22.htm <p>(http://)([^/]+)(/)</p>
contains e9.htm <b>Ошибка чтения файла со скриптами или задан не верный url E9</b>
contains e9.htm <p>www.noscript.test</p>
contains e10.htm <b>Ошибка определения режима работы E10</b>
contains e10.htm <p>http://www.err.test/other/page</p>
contains e10-upper.htm <b>Ошибка определения режима работы E10</b>
contains e11-author.htm <b>Ошибка определения имени автора альбома E11</b>
contains e11-author.htm <p>http://www.err.test/other/pic.jpg</p>
contains e11-author.htm <p>^http://[^/]+/(u/([^/]+)/a/([^/]+)/)$</p>
contains e11-path.htm <b>Ошибка определения url странички E11</b>
contains e11-path.htm <p>(http://)([^/]+)(/)([^.]+)</p>
# The url cell holds the address that has no page path.
contains e11-path.htm <p>http://www.err.test/</p>
requested GET http://www.err.test/ HTTP/1.1
# The E28 of ServFoto's expansion is the last report of the photo listing that succeeded.
contains frameleaf.htm <b>Ошибка чтения параметров E28</b>
contains frameleaf.htm <p>img%s.err.test</p>
""")

# ---- Album listings --------------------------------------------------------------------
case("site-errors-albums",
     {"err.test": "[err.test]\n" + COMMON + "ServFoto=img.err.test\n",
      "broken.test": "[broken.test]\n" + COMMON.replace(
          'AlbumExpression=<a', 'AlbumExpression=\\b<a') + "ServFoto=img.broken.test\n"},
     {"www.err.test/u/drop/index.html": page(ALBUM),
      "www.err.test/u/drop/index.html.http": "drop\n",
      "www.err.test/u/empty/index.html": "",
      "www.err.test/u/none/index.html": page("<p>No albums & <b>nothing</b></p>\n"),
      "www.err.test/u/nextfail/index.html": page(ALBUM + '<a class="next" href="/u/gone&lost/">next</a>\n'),
      "www.err.test/u/gone&lost/index.html": page(ALBUM),
      "www.err.test/u/gone&lost/index.html.http": "drop\n",
      "www.err.test/u/later/index.html": page(ALBUM + '<a class="next" href="/u/later/2/">next</a>\n'),
      "www.err.test/u/later/2/index.html": page("<p>the end</p>\n"),
      "www.err.test/u/runaway/index.html": page('<a class="album" href="/u/r/a/1/">%s`Match[2]</a>\n'),
      "www.broken.test/u/b/index.html": page('x<a class="album" href="/u/b/a/1/">One</a>\n'),
      },
     "# Failures of album listings, each error page copied out after it.\n"
     + browse("http://www.err.test/u/empty/", "e15")
     + browse("http://www.err.test/u/none/", "e16")
     + "# A later page without albums ends the paging: the first page's album is listed, and\n"
     + "# nothing is reported.\n"
     + typed("http://www.err.test/u/later/")
     + "# An album name that holds a placeholder and a name of its own: put in as it is, never\n"
     + "# expanded again.\n"
     + browse("http://www.err.test/u/runaway/", "e36")
     + "# An entry the album expression does not match again: its name and address are NULL.\n"
     + browse("http://www.broken.test/u/b/", "e30"),
     """contains e15.htm <b>Ошибка чтения страницы E15</b>
contains e15.htm <p>u/empty/</p>
contains e16.htm <b>Ошибка не найден ни один альбом E16</b>
contains e16.htm <p>u/none/</p>
contains e16.htm <p>&lt;a class=&quot;album&quot; href=&quot;([^&quot;]+)&quot;&gt;([^&lt;]*)&lt;/a&gt;</p>
requested GET http://www.err.test/u/later/2/ HTTP/1.1
lacks e36.htm E36
contains e30.htm <b>Ошибка преобразования имени файла E30</b>
contains e30.htm <p>&lt;a class=&quot;album&quot; href=&quot;/u/b/a/1/&quot;&gt;One&lt;/a&gt;</p>
contains e30.htm <p>\\b&lt;a class=&quot;album&quot;
""")

# ---- Photo listings ----------------------------------------------------------------------
PASS = """PassRequest=/unlock/[a-z]+
PassSendForm=pw=%s`Match[1]
PassExpression=<img class="open" src="(/p/[^"]+)" alt="([^"]*)">
"""
case("site-errors-photos",
     {"err.test": "[err.test]\n" + COMMON + "ServFoto=www.err.test\n" + PASS},
     {"www.err.test/u/x/a/drop/index.html": page(PHOTO),
      "www.err.test/u/x/a/drop/index.html.http": "drop\n",
      "www.err.test/u/x/a/empty/index.html": "",
      "www.err.test/u/x/a/none/index.html": page("<p>no photos</p>\n"),
      "www.err.test/u/x/a/nextfail/index.html": page(PHOTO + '<a class="next" href="/u/x/a/nextfail/2/">next</a>\n'),
      "www.err.test/u/x/a/nextfail/2/index.html": "",
      "www.err.test/u/x/a/nextfail/2/index.html.http": "drop\n",
      "www.err.test/u/x/a/locked/index.html": page('<form action="/unlock/long" method="post"></form>\n' + PHOTO),
      "www.err.test/u/x/a/postfail/index.html": page('<form action="/unlock/drop" method="post"></form>\n' + PHOTO),
      "www.err.test/unlock/drop": "",
      "www.err.test/unlock/drop.http": "drop\n",
      "www.err.test/u/x/a/reset/index.html": page(PHOTO * 50),
      "www.err.test/u/x/a/reset/index.html.http": "reset 100\n",
      "www.err.test/p/1.jpg": "0123456789",
      },
     "# Failures of photo listings, each error page copied out after it.\n"
     + browse("http://www.err.test/u/x/a/empty/", "e18")
     + "# A connection reset in the middle of the page: the page cannot be read.\n"
     + browse("http://www.err.test/u/x/a/reset/", "e18-reset")
     + browse("http://www.err.test/u/x/a/none/", "e19")
     + "# A password whose form body would be longer than 255 bytes is refused, not cut.\n"
     + browse("http://www.err.test/u/x/a/locked/", "e37").replace(
         "list", "answer " + "&" * 90 + "\nlist", 1),
     """contains e18.htm <b>Ошибка чтения страницы E18</b>
contains e18.htm <p>u/x/a/empty/</p>
# Where the reset is seen depends on the internet library: libcurl fails the request
# (E17), the Windows library the read (E18). Either way the listing fails with the page.
contains e18-reset.htm <p>u/x/a/reset/</p>
contains e18-reset.htm страницы E1
contains e19.htm <b>Ошибка не найдена ни одина фотография E19</b>
contains e19.htm <p>&lt;img src=&quot;[^&quot;]+&quot; alt=&quot;[^&quot;]*&quot;&gt;</p>
contains e37.htm <b>Ошибка отправки пароля: форма длиннее 255 байт E37</b>
contains e37.htm <p>/unlock/long</p>
contains e37.htm <p>pw=%s`Match[1]</p>
not-requested POST http://www.err.test/unlock/long HTTP/1.1
""")

# ---- Warning pages and photos' own pages ------------------------------------------------------
FULL = COMMON.replace('FotoExpression=<img src="[^"]+" alt="[^"]*">',
                      'FotoExpression=<a class="t" href="([^"]+)">').replace(
    'OrigExpression=<img src="(/p/[^"]+)" alt="([^"]*)">',
    'OrigExpression=<img id="full" src="(/p/[^"]+)" alt="([^"]*)">|NULL').replace(
    "NameFoto=%s`Match[2]", "NameFoto=photo-%s`Match[2]")
case("site-errors-pages",
     {"warn.test": "[warn.test]\n" + FULL + "ServFoto=www.warn.test\nOriginal=1\n"
      "UrlOrig=%s`Match[1]\nEroWarning=/enter/[a-z]+/\n"},
     {"www.warn.test/u/w/index.html": page('<a href="/enter/drop/">I agree</a>\n' + ALBUM),
      "www.warn.test/enter/drop/index.html": "",
      "www.warn.test/enter/drop/index.html.http": "drop\n",
      "www.warn.test/u/w/a/req/index.html": page('<a class="t" href="/ph/drop/">'),
      "www.warn.test/ph/drop/index.html": "",
      "www.warn.test/ph/drop/index.html.http": "drop\n",
      "www.warn.test/u/w/a/read/index.html": page('<a class="t" href="/ph/empty/">'),
      "www.warn.test/ph/empty/index.html": "",
      },
     "# Full-size mode: a photo's own page is empty. The script's OrigExpression accepts\n"
     + "# the text NULL, so nothing later overwrites the report.\n"
     + browse("http://www.warn.test/u/w/a/read/", "e33"),
     """contains e33.htm <b>Ошибка чтения страницы E33</b>
contains e33.htm <p>u/w/a/read/</p>
""")

# ---- Requests that fail -----------------------------------------------------------------
# The server drops the connection without answering: an answer without a status line is a
# failed request on every platform.
case("site-errors-requests",
     {"err.test": "[err.test]\n" + COMMON + "ServFoto=www.err.test\n" + PASS,
      "warn.test": "[warn.test]\n" + FULL + "ServFoto=www.warn.test\nOriginal=1\n"
      "UrlOrig=%s`Match[1]\nEroWarning=/enter/[a-z]+/\n"},
     {"www.err.test/u/drop/index.html": page(ALBUM),
      "www.err.test/u/drop/index.html.http": "drop\n",
      "www.err.test/u/nextfail/index.html": page(ALBUM + '<a class="next" href="/u/gone&lost/">next</a>\n'),
      "www.err.test/u/gone&lost/index.html": page(ALBUM),
      "www.err.test/u/gone&lost/index.html.http": "drop\n",
      "www.err.test/u/x/a/drop/index.html": page(PHOTO),
      "www.err.test/u/x/a/drop/index.html.http": "drop\n",
      "www.err.test/u/x/a/nextfail/index.html": page(PHOTO + '<a class="next" href="/u/x/a/nextfail/2/">next</a>\n'),
      "www.err.test/u/x/a/nextfail/2/index.html": "",
      "www.err.test/u/x/a/nextfail/2/index.html.http": "drop\n",
      "www.err.test/u/x/a/postfail/index.html": page('<form action="/unlock/drop" method="post"></form>\n' + PHOTO),
      "www.err.test/unlock/drop": "",
      "www.err.test/unlock/drop.http": "drop\n",
      "www.err.test/p/1.jpg": "0123456789",
      "www.warn.test/u/w/index.html": page('<a href="/enter/drop/">I agree</a>\n' + ALBUM),
      "www.warn.test/enter/drop/index.html": "",
      "www.warn.test/enter/drop/index.html.http": "drop\n",
      "www.warn.test/u/w/a/req/index.html": page('<a class="t" href="/ph/drop/">'),
      "www.warn.test/ph/drop/index.html": "",
      "www.warn.test/ph/drop/index.html.http": "drop\n",
      },
     "# Requests that fail, each error page copied out after it.\n"
     + browse("http://www.err.test/u/drop/", "e14")
     + "# A next page that cannot be requested ends paging; the listing keeps its album.\n"
     + browse("http://www.err.test/u/nextfail/", "e24")
     + browse("http://www.err.test/u/x/a/drop/", "e17")
     + browse("http://www.err.test/u/x/a/nextfail/", "e23")
     + browse("http://www.err.test/u/x/a/postfail/", "e14-post").replace(
         "list", "answer secret\nlist", 1)
     + "# A warning page whose link cannot be requested: reported, the page stays and is listed.\n"
     + browse("http://www.warn.test/u/w/", "e14-warning")
     + "# Full-size mode: a photo's own page cannot be requested.\n"
     + browse("http://www.warn.test/u/w/a/req/", "e32"),
     """contains e14.htm <b>Ошибка запроса страницы E14</b>
contains e14.htm <p>www.err.test</p>
contains e14.htm <p>u/drop/</p>
contains e24.htm <b>Ошибка запроса страницы E24</b>
contains e24.htm <p>/u/gone&amp;lost/</p>
contains e17.htm <b>Ошибка запроса страницы E17</b>
contains e17.htm <p>u/x/a/drop/</p>
contains e23.htm <b>Ошибка запроса страницы E23</b>
contains e23.htm <p>/u/x/a/nextfail/2/</p>
contains e14-post.htm <b>Ошибка запроса страницы E14</b>
contains e14-post.htm <p>u/x/a/postfail/</p>
posted http://www.err.test/unlock/drop pw=secret
contains e14-warning.htm <b>Ошибка запроса страницы E14</b>
contains e14-warning.htm <p>u/w/</p>
requested GET http://www.warn.test/enter/drop/ HTTP/1.1
contains e32.htm <b>Ошибка запроса страницы E32</b>
contains e32.htm <p>/ph/drop/</p>
""")
