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
  /_/redirect?to=PATH     302 to PATH on the same host
  /_/login (POST)         sets the cookie "session" to the posted "password" value
  /_/private              "welcome" with the cookie session=secret, else "login required"
  /_/slow/MS              answers after MS milliseconds
  /_/reset                promises 1000 bytes, sends 10, resets the connection
  /_/short/N/M            promises N bytes, sends M, closes the connection cleanly
Both absolute forms of a request target ("http://host/" and "http://host:80/") are logged
as one normalised URL and request line; the line as received is kept as raw_request_line.
Usage: fixture_server.py --root DIR --port N --log FILE [--pid FILE]
"""
import argparse
import email.utils
import json
import os
import socket
import struct
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOCK = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fixture"
    sys_version = ""

    def log_message(self, *args):
        pass

    def target(self):
        url = urllib.parse.urlsplit(self.path)
        host = url.hostname if url.scheme else (self.headers.get("Host") or "").split(":")[0]
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
        netloc = host if port in (None, 80) else f"{host}:{port}"
        path = url.path or "/"
        return urllib.parse.urlunsplit(("http", netloc, path, url.query, ""))

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
            self.wfile.write(body)

    def handle_any(self):
        size = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(size) if size else b""
        self.record(body)
        host, path, query = self.target()
        parts = path.strip("/").split("/")
        if parts[0] == "_":
            return self.behaviour(parts[1:], query, body)
        root = os.path.realpath(os.path.join(self.server.root, host))
        file = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if os.path.isdir(file):
            file = os.path.join(file, "index.html")
        if not file.startswith(root + os.sep) or not os.path.isfile(file):
            return self.send(404, b"<html>not found</html>")
        with open(file, "rb") as f:
            self.send(200, f.read(), [("Content-Type", "text/html")])

    def behaviour(self, parts, query, body):
        name = parts[0] if parts else ""
        arg = parts[1] if len(parts) > 1 else ""
        if name == "status":
            return self.send(int(arg), f"status {arg}".encode())
        if name == "bytes" or name == "nolength":
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
        if name == "reset":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.wfile.flush()
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.close_connection = True
            return None
        return self.send(404, b"no such behaviour")

    do_GET = do_POST = do_HEAD = handle_any


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--pid")
    args = p.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.root = os.path.realpath(args.root)
    server.log = args.log
    if args.pid:
        with open(args.pid, "w") as f:
            f.write(str(os.getpid()))
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
