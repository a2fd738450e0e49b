#!/usr/bin/env python3
"""The fixture web server of the integration tests: a real HTTP server on loopback that
serves virtual hosts from folders and is reached as an HTTP proxy, so that addresses such as
http://photos.example.test/ work with no DNS. Every request is logged as one JSON line.

Static files: ROOT/<host>/<path>. Behaviours any host offers under /_/:
  /_/status/CODE          that status, with the body "status CODE"
  /_/bytes/N[?nul=1]      N bytes (with NUL bytes when asked), Content-Length set
  /_/nolength/N           N bytes without Content-Length (the connection closes)
  /_/modified/UNIXTIME    a small body with Last-Modified at that time
  /_/empty                an empty body
  /_/redirect?to=PATH     302 to PATH on the same host (PATH may be a whole address:
                          "https://host/path" or "http://other.host/path")
  /_/login (POST)         sets the cookie "session" to the posted "password" value
  /_/private              "welcome" with the cookie session=secret, else "login required"
  /_/slow/MS              answers after MS milliseconds
  /_/reset                promises 1000 bytes, sends 10, ends the stream, and resets the
                          connection once the client lets go of it (as the sidecar's reset)
  /_/repeat/N?text=T      T repeated N times ("{i}" in T becomes the repeat's number)
  /_/mount?dir=D          serves hosts from D/<host>/ before ROOT (a case's own sites)
  /_/unmount              forgets the mounted folder
A static file F may have a sidecar F.http that changes how it is served, one directive a
line ("#" starts a comment):
  status N                answer with status N
  header NAME: VALUE      add a header (Set-Cookie, Last-Modified, Location ...)
  no-length               no Content-Length; the connection closes after the body
  reset N                 promise the whole body, send N bytes, end the stream, and reset
                          the connection once the client lets go of it (so every client
                          reads the headers and the N bytes first: a reset sent at once
                          may overtake them, and then what a client sees depends on timing)
  drop                    close the connection without answering
  garbage                 answer a line that is not HTTP and close the connection
  when-cookie C FILE      when the request's Cookie header holds C, serve FILE instead
  when-body B FILE        when the request's body is exactly B, serve FILE instead
  otherwise FILE          when no when-... matched, serve FILE instead
  https-only              a plain http request gets 301 to the same address over https
  pace N MS               send the body N bytes at a time, one batch every MS milliseconds
                          (a photo over a slow link); the answer ends early when the client
                          lets go of the connection
FILE is a path relative to the sidecar's folder; what it names is served by these rules too.
A host folder holding a file ".served-as" is served as a real web server serves a folder,
one directive a line:
  index apache|nginx|python   a folder without index.html answers with its listing in the
                          style of that server's own folder index (Apache's mod_autoindex
                          as Debian sets it up, nginx's autoindex, Python's http.server);
                          without it such a folder answers 403
  forward PORT            every request for the host is passed to the web server on
                          127.0.0.1:PORT (a real gallery program a test runs) and its answer
                          is passed back as it came; the host's folder serves nothing itself
There the request path is percent-decoded (UTF-8), every file carries Last-Modified from
its file time and a Content-Type from its extension, a folder asked for without its
closing "/" is redirected (301) to it, and a missing file answers 404 with an HTML body.
  /_/short/N/M            promises N bytes, sends M, closes the connection cleanly
  /_/nohead/N[?status=S]  N bytes to a GET; a HEAD gets status S (405 when S is absent is
                          not assumed: without S, a 200 without Content-Length)
  /_/hangup               a whole answer that keeps the connection, then the connection is
                          closed without a word (as a server whose keep-alive time ran out)
  /_/drop                 close the connection without answering
Hostile answers, each ending as soon as the client lets go of the connection (and, whatever
the client does, after HOSTILE_SECONDS); a HEAD gets the headers alone where there are any:
  /_/silent               accepts the request and never answers
  /_/stall-after-headers/N  headers with Content-Length N, then nothing
  /_/trickle/N[?every=MS] Content-Length N, then one byte every MS milliseconds (100)
  /_/endless-headers[?every=MS]  a status line, then header lines without end: as fast as
                          the client takes them, or one every MS milliseconds
  /_/endless-body         no Content-Length, then bytes without end as fast as they go
  /_/huge-length          Content-Length 1000000000000, then 1000 bytes, then nothing
  /_/gzip-bomb            1,100,000 bytes with Content-Encoding: gzip that inflate to 1 GiB
                          of zeros (the gzip header names the file "zeros-1GiB")
HTTPS: a client that asks the proxy to CONNECT to host:port gets a TLS server for that
host inside the tunnel, with a certificate made for it by test_ca.py (--tls DIR keeps the
CA and certificates; first labels wrongname, unknownca and expired get a faulty one). Its
requests are served as above and logged as "https://host/path"; the CONNECT itself and a
handshake the client broke off are logged to tls.log in DIR, not to the request log.
Both absolute forms of a request target ("http://host/" and "http://host:80/") are logged
as one normalised URL and request line; the line as received is kept as raw_request_line.
A server that answers like a distant one (for benchmarks): --connect-delay MS waits before
serving each new connection, --answer-delay MS before each answer (counted from the
request's arrival). --counters FILE keeps
there, as JSON, the connections accepted, the requests by method and the body bytes sent
by method (a CONNECT tunnel counts once, as the connection it came on); the file follows
the counts within moments, written by a thread of its own. --cookies-per-answer N makes
every answer set N cookies with names never used before (a site that tracks each request).
Usage: fixture_server.py --root DIR --port N --log FILE [--pid FILE] [--tls DIR]
                         [--connect-delay MS] [--answer-delay MS] [--counters FILE]
"""
import argparse
import email.utils
import functools
import html
import http.client
import json
import mimetypes
import os
import select
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import test_ca

COOKIES_SET = 0  # cookies the answers have set so far (--cookies-per-answer)
LOCK = threading.Lock()
MOUNT = {"dir": None}
COUNTS = {"connections": 0, "requests": {}, "body_bytes": {}}


COUNTS_CHANGED = threading.Condition(LOCK)


def count(counters, key=None, method=None, n=1):
    """Adds n to a counter; the writer thread puts them all into the counters file (when
    there is one) at once, off the request's path: a file written on every request would
    add its own time to every answer of a server meant to answer like a distant one."""
    with LOCK:
        if key is None:
            COUNTS["connections"] += n
        else:
            COUNTS[key][method] = COUNTS[key].get(method, 0) + n
        COUNTS_CHANGED.notify()


def write_counters(counters):
    """The counters file, rewritten whenever a counter changed (a millisecond or so after)."""
    written = None
    while True:
        with LOCK:
            while json.dumps(COUNTS) == written:
                COUNTS_CHANGED.wait()
            written = json.dumps(COUNTS)
        with open(counters + ".new", "w", encoding="utf-8") as f:
            f.write(written)
        os.replace(counters + ".new", counters)


def read_sidecar(file):
    """The directives of FILE.http as (name, argument) pairs; empty without a sidecar."""
    path = file + ".http"
    if not os.path.isfile(path):
        return []
    directives = []
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.strip()
            if line and not line.startswith("#"):
                name, _, arg = line.partition(" ")
                directives.append((name, arg.strip()))
    return directives


# A hostile answer ends by itself after this long, so that a client that never lets go
# cannot hold one of the server's threads for good.
HOSTILE_SECONDS = 300
GZIP_BOMB_LENGTH = 1100000


@functools.lru_cache(maxsize=1)
def gzip_bomb():
    """A gzip file of 1 GiB of zeros, padded to GZIP_BOMB_LENGTH bytes with its comment (so
    that its length does not depend on zlib's output). Made in well under a second: one MiB
    deflated with a full flush is a run of byte-aligned blocks that stands on its own, and
    1024 of them in a row inflate to 1 GiB."""
    mib = bytes(1 << 20)
    deflate = zlib.compressobj(9, zlib.DEFLATED, -15)
    segment = deflate.compress(mib) + deflate.flush(zlib.Z_FULL_FLUSH)
    crc = 0
    for _ in range(1024):
        crc = zlib.crc32(mib, crc)
    body = segment * 1024 + b"\x03\x00"  # an empty final block (fixed codes) ends the stream
    name = b"zeros-1GiB\0"
    trailer = struct.pack("<II", crc, (1 << 30) & 0xFFFFFFFF)
    # Header: magic, deflate, FNAME and FCOMMENT present, no time, best compression, Unix.
    header = b"\x1f\x8b\x08\x18\0\0\0\0\x02\x03" + name
    padding = GZIP_BOMB_LENGTH - len(header) - len(body) - len(trailer) - 1
    return header + b" " * max(padding, 0) + b"\0" + body + trailer


NOT_FOUND_PAGE = (b"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>"
                  b"<body><h1>Not Found</h1></body></html>\n")


def read_served_as(root):
    """The directives of ROOT/.served-as as a dict, or None when the host has none."""
    path = os.path.join(root, ".served-as")
    if not os.path.isfile(path):
        return None
    directives = {}
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.strip()
            if line and not line.startswith("#"):
                name, _, arg = line.partition(" ")
                directives[name] = arg.strip()
    return directives


def folder_entries(folder):
    """(name, is_folder, size, mtime) of a folder's entries (a bytes path), its dot files
    left out; names as text, their bytes read as UTF-8."""
    entries = []
    for raw in os.listdir(folder):
        if raw.startswith(b"."):
            continue
        info = os.stat(os.path.join(folder, raw))
        entries.append((raw.decode("utf-8", "surrogateescape"),
                        os.path.isdir(os.path.join(folder, raw)), info.st_size, info.st_mtime))
    return entries


def apache_index(folder, path):
    """mod_autoindex with Debian's IndexOptions (FancyIndexing HTMLTable NameWidth=*):
    links escaped as a path (ap_escape_uri leaves & + ' as they are) and then as HTML."""
    rows = []
    for name, is_dir, size, mtime in sorted(folder_entries(folder)):
        shown = name + ("/" if is_dir else "")
        href = urllib.parse.quote(shown, safe="/$-_.+!*'(),:;@&=~", errors="surrogateescape")
        href = html.escape(href, quote=False).replace('"', "&quot;")
        when = time.strftime("%Y-%m-%d %H:%M", time.localtime(mtime))
        icon, alt = ("/icons/folder.gif", "[DIR]") if is_dir else ("/icons/image2.gif", "[IMG]")
        rows.append(f'<tr><td valign="top"><img src="{icon}" alt="{alt}"></td>'
                    f'<td><a href="{href}">{html.escape(shown, quote=False)}</a></td>'
                    f'<td align="right">{when}  </td><td align="right">'
                    f'{"  - " if is_dir else f"{size // 1024 or 1}K"}</td><td>&nbsp;</td></tr>')
    title = html.escape(path, quote=False)
    page = (f'<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 3.2 Final//EN">\n<html>\n <head>\n'
            f'  <title>Index of {title}</title>\n </head>\n <body>\n<h1>Index of {title}</h1>\n'
            '  <table>\n   <tr><th valign="top"><img src="/icons/blank.gif" alt="[ICO]"></th>'
            '<th><a href="?C=N;O=D">Name</a></th><th><a href="?C=M;O=A">Last modified</a></th>'
            '<th><a href="?C=S;O=A">Size</a></th><th><a href="?C=D;O=A">Description</a></th></tr>\n'
            '   <tr><th colspan="5"><hr></th></tr>\n'
            '<tr><td valign="top"><img src="/icons/back.gif" alt="[PARENTDIR]"></td><td>'
            '<a href="/">Parent Directory</a></td><td>&nbsp;</td><td align="right">  - </td>'
            '<td>&nbsp;</td></tr>\n' + "\n".join(rows) +
            '\n   <tr><th colspan="5"><hr></th></tr>\n</table>\n'
            '<address>Apache/2.4.62 (Debian) Server at localhost Port 80</address>\n'
            '</body></html>\n')
    return page.encode("utf-8", "surrogateescape")


def nginx_index(folder, path):
    """nginx's autoindex: links escaped for HTML (blank " # % ' and bytes from 0x80; & and +
    stay), names longer than 50 characters cut with "..>", times in GMT."""
    lines = []
    entries = folder_entries(folder)
    for name, is_dir, size, mtime in sorted(entries,
                                            key=lambda e: e[0].encode("utf-8", "surrogateescape")):
        shown = name + ("/" if is_dir else "")
        href = urllib.parse.quote(shown, safe="/!$&()*+,-.:;=@[]^_`{|}~",
                                  errors="surrogateescape")
        text = shown if len(shown) <= 50 else shown[:47] + "..>"
        pad = " " * max(1, 51 - len(text))
        when = time.strftime("%d-%b-%Y %H:%M", time.gmtime(mtime))
        lines.append(f'<a href="{href}">{html.escape(text, quote=False)}</a>{pad}{when}'
                     f'{"-" if is_dir else str(size):>20}')
    title = html.escape(path, quote=False)
    page = (f"<html>\r\n<head><title>Index of {title}</title></head>\r\n<body>\r\n"
            f'<h1>Index of {title}</h1><hr><pre><a href="../">../</a>\r\n' +
            "".join(line + "\r\n" for line in lines) + "</pre><hr></body>\r\n</html>\r\n")
    return page.encode("utf-8", "surrogateescape")


def python_index(folder, path):
    """Python's http.server: names sorted without letter case, links quoted, then escaped."""
    items = []
    for name, is_dir, _, _ in sorted(folder_entries(folder), key=lambda e: e[0].lower()):
        shown = name + ("/" if is_dir else "")
        href = urllib.parse.quote(shown, errors="surrogateescape")
        items.append(f'<li><a href="{html.escape(href, quote=False)}">'
                     f'{html.escape(shown, quote=False)}</a></li>')
    title = html.escape(path, quote=False)
    page = ('<!DOCTYPE HTML>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f'<title>Directory listing for {title}</title>\n</head>\n<body>\n'
            f'<h1>Directory listing for {title}</h1>\n<hr>\n<ul>\n' + "\n".join(items) +
            '\n</ul>\n<hr>\n</body>\n</html>\n')
    return page.encode("utf-8", "surrogateescape")


FOLDER_INDEX = {"apache": apache_index, "nginx": nginx_index, "python": python_index}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fixture"
    sys_version = ""

    def log_message(self, *args):
        pass

    tunnel_host = None  # inside a CONNECT tunnel: the host the client connected to

    def setup(self):
        super().setup()
        if self.tunnel_host is None:
            count(self.server.counters)
            if self.server.connect_delay:
                time.sleep(self.server.connect_delay / 1000.0)

    def body_sent(self, n):
        if self.server.counters:
            count(self.server.counters, "body_bytes", self.command, n)

    def target(self):
        url = urllib.parse.urlsplit(self.path)
        host = url.hostname if url.scheme else (self.headers.get("Host") or "").split(":")[0]
        if self.tunnel_host and not url.scheme:
            host = host or self.tunnel_host
        path = url.path or "/"
        return host or "", path, urllib.parse.parse_qs(url.query)

    def normalised_url(self):
        """The target as one absolute URL: the default port dropped, the host lower-cased."""
        url = urllib.parse.urlsplit(self.path)
        if url.scheme:
            host = url.hostname or ""
            port = url.port
        else:
            host, _, port = (self.headers.get("Host") or "").partition(":")
            host = host.lower()
            port = int(port) if port.isdigit() else None
        scheme, default = ("https", 443) if self.tunnel_host else ("http", 80)
        netloc = host if port in (None, default) else f"{host}:{port}"
        path = url.path or "/"
        return urllib.parse.urlunsplit((scheme, netloc, path, url.query, ""))

    def record(self, body):
        host, path, _ = self.target()
        url = self.normalised_url()
        entry = {"method": self.command, "url": url, "host": host, "path": path,
                 "request_line": f"{self.command} {url} {self.request_version}",
                 "raw_request_line": self.requestline,
                 "headers": [[k, v] for k, v in self.headers.items()],
                 "body": body.decode("latin1"), "peer": self.client_address[1]}
        with LOCK, open(self.server.log, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry) + "\n")

    def send_response(self, code, message=None):
        super().send_response(code, message)
        # --cookies-per-answer: each answer sets that many cookies never set before.
        if self.server.cookies_per_answer and self.command != "CONNECT":
            global COOKIES_SET
            with LOCK:
                first = COOKIES_SET
                COOKIES_SET += self.server.cookies_per_answer
            for k in range(first, first + self.server.cookies_per_answer):
                self.send_header("Set-Cookie", f"b{k}=v{k}; Path=/")

    def send(self, code, body, headers=(), length=True):
        self.send_response(code)
        for k, v in headers:
            self.send_header(k, v)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command != "HEAD":
            self.body_sent(len(body))
            self.wfile.write(body)

    def handle_any(self):
        arrived = time.monotonic()
        size = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(size) if size else b""
        self.record(body)
        if self.server.counters:
            count(self.server.counters, "requests", self.command)
        if self.server.answer_delay:
            # The delay runs from the request's arrival: the server's own bookkeeping (the
            # log, the counters) happens within it rather than on top of it.
            left = self.server.answer_delay / 1000.0 - (time.monotonic() - arrived)
            if left > 0:
                time.sleep(left)
        host, path, query = self.target()
        parts = path.strip("/").split("/")
        if parts[0] == "_":
            return self.behaviour(parts[1:], query, body)
        base = self.server.root
        mounted = MOUNT["dir"]
        if mounted and os.path.isdir(os.path.join(mounted, host)):
            base = mounted
        root = os.path.realpath(os.path.join(base, host))
        served_as = read_served_as(root)
        if served_as is not None and "forward" in served_as:
            return self.forward(int(served_as["forward"]), body)
        if served_as is not None:
            return self.serve_folder(root, path, served_as)
        file = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if os.path.isdir(file):
            file = os.path.join(file, "index.html")
        if not file.startswith(root + os.sep) or not os.path.isfile(file):
            return self.send(404, b"<html>not found</html>")
        return self.serve_file(root, file, body)

    def forward(self, port, body):
        """Passes the request to a web server on loopback and its answer back: the status,
        the headers (the connection's own aside) and the body whole."""
        url = urllib.parse.urlsplit(self.path)
        target = urllib.parse.urlunsplit(("", "", url.path or "/", url.query, ""))
        if not url.scheme:
            target = self.path
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("connection", "proxy-connection", "keep-alive")}
        upstream = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        try:
            upstream.request(self.command, target, body=body or None, headers=headers)
            answer = upstream.getresponse()
            data = answer.read()
        except OSError as e:
            return self.send(502, f"forward to port {port}: {e}".encode())
        finally:
            upstream.close()
        passed = [(k, v) for k, v in answer.getheaders()
                  if k.lower() not in ("connection", "keep-alive", "transfer-encoding",
                                       "content-length")]
        self.send_response(answer.status, answer.reason)
        for k, v in passed:
            self.send_header(k, v)
        if self.command == "HEAD":
            length = answer.getheader("Content-Length")
            if length is not None:  # a HEAD answered without a length stays without one
                self.send_header("Content-Length", length)
        else:
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.body_sent(len(data))
            self.wfile.write(data)
        return None

    def serve_folder(self, root, path, served_as):
        """A request on a host served as a real web server serves its folder. Paths are
        bytes throughout: names on disk are UTF-8 whatever the locale the server runs in."""
        root = os.fsencode(root)
        decoded = urllib.parse.unquote_to_bytes(path)
        file = os.path.realpath(os.path.join(root, decoded.lstrip(b"/")))
        if file != root and not file.startswith(root + b"/") or not os.path.exists(file):
            return self.send(404, NOT_FOUND_PAGE, [("Content-Type", "text/html")])
        if os.path.isdir(file):
            if not path.endswith("/"):
                return self.send(301, b"", [("Location", path + "/")])
            if os.path.isfile(os.path.join(file, b"index.html")):
                file = os.path.join(file, b"index.html")
            elif served_as.get("index") in FOLDER_INDEX:
                shown = decoded.decode("utf-8", "replace")
                page = FOLDER_INDEX[served_as["index"]](file, shown)
                return self.send(200, page, [("Content-Type", "text/html; charset=utf-8")])
            else:
                return self.send(403, b"<html>forbidden</html>", [("Content-Type", "text/html")])
        with open(file, "rb") as f:
            data = f.read()
        kind = mimetypes.guess_type(file.decode("utf-8", "replace"))[0] or \
            "application/octet-stream"
        stamp = email.utils.formatdate(int(os.stat(file).st_mtime), usegmt=True)
        return self.send(200, data, [("Content-Type", kind), ("Last-Modified", stamp)])

    def serve_file(self, root, file, body, hops=0):
        """Serves a static file as its sidecar directs."""
        directives = read_sidecar(file)
        if ("https-only", "") in directives and not self.tunnel_host:
            host, path, _ = self.target()
            query = urllib.parse.urlsplit(self.path).query
            target = f"https://{host}{path}" + (f"?{query}" if query else "")
            return self.send(301, b"", [("Location", target)])
        cookies = self.headers.get("Cookie") or ""
        chosen = None
        for name, arg in directives:
            cond, _, other = arg.rpartition(" ")
            if chosen is None and name == "when-cookie" and cond and cond in cookies:
                chosen = other
            elif chosen is None and name == "when-body" and body.decode("latin1") == cond:
                chosen = other
        if chosen is None:
            chosen = next((arg for name, arg in directives if name == "otherwise"), None)
        if chosen is not None and hops < 8:
            target = os.path.realpath(os.path.join(os.path.dirname(file), chosen))
            if target.startswith(root + os.sep) and os.path.isfile(target):
                return self.serve_file(root, target, body, hops + 1)
            return self.send(404, b"<html>not found</html>")
        with open(file, "rb") as f:
            data = f.read()
        status, headers, length, reset = 200, [("Content-Type", "text/html")], True, None
        pace = None
        for name, arg in directives:
            if name == "status":
                status = int(arg)
            elif name == "header":
                key, _, value = arg.partition(":")
                headers.append((key.strip(), value.strip()))
            elif name == "no-length":
                length = False
            elif name == "reset":
                reset = int(arg)
            elif name == "pace":
                batch, _, every = arg.partition(" ")
                pace = (max(1, int(batch)), int(every) / 1000.0)
            elif name == "garbage":
                self.close_connection = True
                self.wfile.write(b"garbage\r\n\r\n")
                self.wfile.flush()
                return None
            elif name == "drop":
                self.close_connection = True
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
                return None
        if reset is not None:
            self.send_response(status)
            for k, v in headers:
                self.send_header(k, v)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            if self.command != "HEAD":  # an answer to HEAD never has a body
                self.body_sent(len(data[:reset]))
                self.wfile.write(data[:reset])
            self.wfile.flush()
            # The end of the stream follows the bytes in order; the client closes once it
            # has read to it, and only then is the connection reset. The wait is bounded
            # so that a client that never closes cannot hold the server's thread.
            self.connection.shutdown(socket.SHUT_WR)
            self.connection.settimeout(60)
            try:
                while self.connection.recv(65536):
                    pass
            except OSError:
                pass
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.close_connection = True
            return None
        if pace is not None:
            return self.send_paced(status, data, headers, pace)
        return self.send(status, data, headers, length)

    def send_paced(self, status, data, headers, pace):
        """data with its length announced, sent a batch at a time, a pause after each."""
        batch, every = pace
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.flush()
        if self.command == "HEAD":
            return None
        for at in range(0, len(data), batch):
            try:
                self.wfile.write(data[at:at + batch])
                self.wfile.flush()
            except OSError:
                self.close_connection = True
                return None
            self.body_sent(len(data[at:at + batch]))
            if at + batch < len(data) and self.hung_up(every):
                self.close_connection = True
                return None
        return None

    def hung_up(self, wait):
        """Whether the client let go of the connection (closed it, or it failed) within wait
        seconds. Anything else the client sends is read and ignored."""
        try:
            readable, _, _ = select.select([self.connection], [], [], wait)
            return bool(readable) and not self.connection.recv(65536)
        except OSError:
            return True

    def hold(self, until):
        """Keeps the connection open and silent until the client lets go of it, or until."""
        self.close_connection = True
        while time.monotonic() < until and not self.hung_up(1.0):
            pass

    def hostile_headers(self, length=None):
        """A 200's status line and headers, flushed; True when the answer goes on (not a HEAD).
        Without a length the connection closes after the body."""
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if length is None:
            self.send_header("Connection", "close")
        else:
            self.send_header("Content-Length", str(length))
        self.end_headers()
        self.wfile.flush()
        if length is None:
            self.close_connection = True
        return self.command != "HEAD"

    def hostile(self, name, arg, query):
        """The hostile answers (see the list above); False when name is not one of them. A
        write that fails means the client has gone: the answer ends there."""
        until = time.monotonic() + HOSTILE_SECONDS
        # A write that waits this long means the client stopped reading: the answer ends.
        self.connection.settimeout(60)
        every = int(query.get("every", ["0"])[0] or 0) / 1000.0
        try:
            if name == "silent":
                self.hold(until)
            elif name == "stall-after-headers":
                if self.hostile_headers(int(arg) if arg.isdigit() else 0):
                    self.hold(until)
            elif name == "trickle":
                n = int(arg) if arg.isdigit() else 0
                if self.hostile_headers(n):
                    self.close_connection = True
                    for _ in range(n):
                        if time.monotonic() >= until or self.hung_up(every or 0.1):
                            break
                        self.wfile.write(b"x")
            elif name == "endless-headers":
                self.close_connection = True
                self.wfile.write(b"HTTP/1.1 200 OK\r\n")
                line = 0
                while time.monotonic() < until:
                    # Fast: a hundred lines a write; slow: one line, then the wait.
                    batch = 1 if every else 100
                    self.wfile.write(b"".join(b"X-Filler-%d: %s\r\n" % (line + i, b"x" * 64)
                                              for i in range(batch)))
                    line += batch
                    if every and self.hung_up(every):
                        break
            elif name == "endless-body":
                if self.hostile_headers():
                    chunk = b"0123456789abcdef" * 4096
                    while time.monotonic() < until:
                        self.wfile.write(chunk)
            elif name == "huge-length":
                if self.hostile_headers(1000000000000):
                    self.wfile.write(b"0123456789" * 100)
                    self.hold(until)
            elif name == "gzip-bomb":
                headers = [("Content-Type", "image/jpeg"), ("Content-Encoding", "gzip")]
                if self.command == "HEAD":
                    self.send_response(200)
                    for k, v in headers:
                        self.send_header(k, v)
                    self.send_header("Content-Length", str(GZIP_BOMB_LENGTH))
                    self.end_headers()
                else:
                    self.send(200, gzip_bomb(), headers)
            else:
                return False
        except OSError:
            self.close_connection = True
        return True

    def behaviour(self, parts, query, body):
        name = parts[0] if parts else ""
        arg = parts[1] if len(parts) > 1 else ""
        if name == "status":
            return self.send(int(arg), f"status {arg}".encode())
        if name == "bytes" or name == "nolength":
            if not arg.isdigit():
                return self.send(404, b"no such behaviour")
            n = int(arg)
            unit = bytes(range(256)) if query.get("nul") else b"0123456789abcdef"
            data = (unit * (n // len(unit) + 1))[:n]
            if name == "bytes":
                return self.send(200, data)
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            for i in range(0, n, 1 << 20):
                self.wfile.write(data[i:i + (1 << 20)])
            return None
        if name == "modified":
            stamp = email.utils.formatdate(int(arg), usegmt=True)
            return self.send(200, b"m", [("Last-Modified", stamp)])
        if name == "empty":
            return self.send(200, b"")
        if name == "redirect":
            return self.send(302, b"", [("Location", query.get("to", ["/"])[0])])
        if name == "login":
            form = urllib.parse.parse_qs(body.decode("latin1"))
            value = form.get("password", [""])[0]
            return self.send(200, b"ok", [("Set-Cookie", f"session={value}; Path=/")])
        if name == "private":
            cookies = self.headers.get("Cookie") or ""
            text = b"welcome" if "session=secret" in cookies else b"login required"
            return self.send(200, text)
        if name == "repeat":
            text = query.get("text", [""])[0]
            data = "".join(text.replace("{i}", str(i)) for i in range(int(arg)))
            return self.send(200, data.encode("latin1"))
        if name == "mount":
            MOUNT["dir"] = query.get("dir", [None])[0]
            return self.send(200, b"mounted")
        if name == "unmount":
            MOUNT["dir"] = None
            return self.send(200, b"unmounted")
        if name == "slow":
            time.sleep(int(arg) / 1000.0)
            return self.send(200, b"slow")
        if name == "short":
            promised, sent = int(arg), int(parts[2]) if len(parts) > 2 else 0
            self.send_response(200)
            self.send_header("Content-Length", str(promised))
            self.end_headers()
            self.wfile.write((b"0123456789abcdef" * (sent // 16 + 1))[:sent])
            self.wfile.flush()
            self.close_connection = True
            return None
        if name == "nohead":
            n = int(arg) if arg.isdigit() else 0
            if self.command != "HEAD":
                return self.send(200, (b"0123456789abcdef" * (n // 16 + 1))[:n])
            status = query.get("status", [None])[0]
            if status:
                return self.send(int(status), b"")
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            return None
        if name == "drop":
            self.close_connection = True
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            return None
        if name == "hangup":
            self.send(200, b"hangup")
            self.wfile.flush()
            self.close_connection = True
            return None
        if name == "reset":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.wfile.flush()
            # As the sidecar's "reset": the end of the stream first, the reset once the client
            # has read to it and let go. A reset sent at once may overtake the headers, and
            # then what a client sees depends on timing.
            self.connection.shutdown(socket.SHUT_WR)
            self.connection.settimeout(60)
            try:
                while self.connection.recv(65536):
                    pass
            except OSError:
                pass
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.close_connection = True
            return None
        if self.hostile(name, arg, query):
            return None
        return self.send(404, b"no such behaviour")

    do_GET = do_POST = do_HEAD = handle_any

    def tls_log(self, event, host):
        if not self.server.tls:
            return
        with LOCK, open(os.path.join(self.server.tls.dir, "tls.log"), "a") as log:
            log.write(json.dumps({"event": event, "host": host}) + "\n")

    def do_CONNECT(self):
        """A tunnel to host:port: the TLS server for host answers inside it."""
        host = self.path.rpartition(":")[0].strip("[]").lower()
        if not self.server.tls or self.tunnel_host:
            return self.send(405, b"no tunnels here")
        try:
            context = self.server.context_for(host)
        except (OSError, subprocess.CalledProcessError, ssl.SSLError) as e:
            self.tls_log(f"no certificate: {e}", host)
            return self.send(502, b"no certificate")
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        try:
            tls = context.wrap_socket(self.connection, server_side=True)
        except (OSError, ssl.SSLError) as e:
            # The client refused the certificate (or gave up): nothing more comes.
            self.tls_log(f"handshake failed: {e}", host)
            self.close_connection = True
            return None
        self.tls_log("tunnel", host)
        self.tunnel_host = host
        self.connection = tls
        self.rfile = tls.makefile("rb", self.rbufsize)
        self.wfile = socketserver._SocketWriter(tls)
        self.close_connection = False
        return None


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--pid")
    p.add_argument("--tls")
    p.add_argument("--connect-delay", type=int, default=0)
    p.add_argument("--answer-delay", type=int, default=0)
    p.add_argument("--counters")
    p.add_argument("--cookies-per-answer", type=int, default=0)
    args = p.parse_args()
    # A listen backlog as a real web server has: with Python's default of 5, a client that
    # opens several connections at once loses some of its SYNs and waits a second to retry.
    ThreadingHTTPServer.request_queue_size = 128
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.tls = test_ca.TestCA(args.tls) if args.tls else None
    contexts = {}

    def context_for(host):
        with LOCK:
            if host not in contexts:
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                context.load_cert_chain(server.tls.cert_for(host), server.tls.key)
                contexts[host] = context
            return contexts[host]
    server.context_for = context_for
    server.root = os.path.realpath(args.root)
    server.log = args.log
    server.connect_delay = args.connect_delay
    server.answer_delay = args.answer_delay
    server.counters = args.counters
    server.cookies_per_answer = args.cookies_per_answer
    if args.counters:
        threading.Thread(target=write_counters, args=(args.counters,), daemon=True).start()
    if args.pid:
        with open(args.pid, "w") as f:
            f.write(str(os.getpid()))
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
