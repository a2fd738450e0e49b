#!/usr/bin/env python3
"""Runs one whole-module case: installs the plug-in into a fresh folder, drives it with the
host program and compares what it printed, and the files it left, with the case.

A case is a folder:
  commands       host-program commands, one per line (UTF-8 here, sent as Windows-1251)
  expected       the exact output expected (lines; "@DIR@" stands for the install folder;
                 in "after", "@LIB@" stands for the matching library's file name; a line
                 "@MANY@ LINE" stands for LINE any number of times, none included: the
                 progress questions a call asks once a second while it waits on a server;
                 "@PERCENT@" stands for any progress figure)
  expected.windows  optional: what the Windows module prints instead, where the two differ
                 (icons exist only there)
  module         optional: "relative" starts the host with the module's bare file name,
                 from the install folder, instead of its full path
  host-args      optional: further arguments for the host program ("--offer accept"); with
                 "--wide" the host drives the wide functions, and the commands are sent
                 and the output read as UTF-8
  no-settings    optional: start without the shipped frameleaf.ini (installed otherwise)
  files/         files put beside the module before the run (frameleaf.tab, language/...,
                 scripts/ with the case's own site script)
  sites/         the case's own web sites: sites/<host>/<path>, served by the fixture web
                 server for the length of the case (with the server's .http sidecars)
  library        optional: which matching library to install: "project" (the default:
                 the project's frameleaf.dll when it is built), "none", or the name of a
                 stand-in that lacks one export ("missing-matchcount", ...)
  platforms      optional: "native" when the case runs on the native build only (with why)
  file-size-limit  optional: a byte count; the host runs with the system's file-size limit
                 set to it, so that a write past it fails as on a full disk (native only:
                 under Wine the limit would reach the emulator's own files too)
  after          optional checks on files after the run, one per line:
                   contains FILE TEXT     FILE holds TEXT (Windows-1251 text allowed)
                   lacks FILE TEXT        FILE does not hold TEXT
                   equals FILE CASEFILE   FILE is byte for byte the case's CASEFILE
                   sha256 FILE HEX        FILE's SHA-256 is HEX
                   absent FILE            FILE does not exist
                   requested LINE         the fixture web server received the request
                                          line LINE during the case ("GET http://... HTTP/1.1")
                   not-requested LINE     it did not receive that request line
                   request-count N        it received exactly N requests during the case
                   request-order L1 || L2 || ...   it received these request lines in this
                                          order (others may come between them); a step
                                          "L1 && L2 && ..." is lines received in any order
                                          among themselves (requests made together), all
                                          after the step before and before the step after
                   posted URL BODY        it received a POST of URL whose body is exactly BODY
                   sent-header URL NAME: VALUE   a request of URL carried that header exactly
                   no-header URL NAME     no request of URL carried a header NAME
                   requested-after NAME LINE   ... between the host's "sync: NAME" line and
                                          its next sync line (or the end)
                   requests-after NAME N  the server received exactly N requests there
Exit status: 0 pass, 1 fail, 77 skipped (the emulator cannot run the host).
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse
import urllib.request
import threading


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def module_name(args):
    """The module keeps its own name: frameleaf.wfx, or frameleaf.wfx64 for the 64-bit host."""
    return os.path.basename(args.module)


def library_name(args):
    return "frameleaf64.dll" if module_name(args).endswith(".wfx64") else "frameleaf.dll"


def install(args, case, root):
    shutil.copy(args.module, os.path.join(root, module_name(args)))
    languages = os.path.join(args.source, "language")
    if os.path.isdir(languages):
        shutil.copytree(languages, os.path.join(root, "language"))
    # The shipped settings, as the release installs them (the update check off); a case's
    # own files/frameleaf.ini replaces them, and a case with a "no-settings" file has none.
    if not os.path.exists(os.path.join(case, "no-settings")):
        shutil.copy(os.path.join(args.source, "resources", "frameleaf.ini"), root)
    scripts = os.path.join(args.source, "sites")
    if os.path.isdir(scripts):
        shutil.copytree(scripts, os.path.join(root, "scripts"))
    files = os.path.join(case, "files")
    if os.path.isdir(files):
        shutil.copytree(files, root, dirs_exist_ok=True)
    library = "project"
    if os.path.exists(os.path.join(case, "library")):
        library = open(os.path.join(case, "library")).read().strip()
    source = None
    if library == "project":
        built = os.path.join(os.path.dirname(args.module), library_name(args))
        source = built if os.path.exists(built) else os.path.join(args.fixtures,
                                                                  "partial_regex_none.dll")
    elif library.startswith("missing-"):
        source = os.path.join(args.fixtures, "partial_regex_" + library[8:] + ".dll")
    if source:
        shutil.copy(source, os.path.join(root, library_name(args)))


def matches(want, got):
    """Compares output with the expected text, where @TIME@ stands for any listed time,
    @PERCENT@ for any progress figure (a copy of unknown length rises by the bytes that came
    by then), and a line "@MANY@ LINE" for LINE repeated any number of times."""
    pattern = ""
    for line in want.splitlines(keepends=True):
        many = line.startswith("@MANY@ ")
        text = re.escape(line[len("@MANY@ "):] if many else line)
        text = text.replace(re.escape("@TIME@"), r"(?:no-time|module-time|[0-9TZ:-]+)")
        text = text.replace(re.escape("@PERCENT@"), r"[0-9]{1,3}")
        pattern += f"(?:{text})*" if many else text
    return re.fullmatch(pattern, got, re.S) is not None


def logged_requests(start):
    path = os.environ.get("FL_HTTP_LOG", "")
    if path.startswith("Z:"):
        path = path[2:]
    if not path or not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as log:
        return [json.loads(line) for line in log.readlines()[start:]]


def logged_request_lines(start):
    return [entry["request_line"] for entry in logged_requests(start)]


def control(action, **query):
    """Asks the fixture web server, reached as the proxy, to mount or unmount a folder."""
    proxy = os.environ.get("http_proxy", "")
    if not proxy and os.environ.get("FL_WINE_PROXY"):
        proxy = "http://" + os.environ["FL_WINE_PROXY"]  # the Windows build's proxy
    if not proxy:
        return
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({"http": proxy}))
    url = "http://fixture.control/_/" + action
    if query:
        url += "?" + urllib.parse.urlencode(query)
    opener.open(url, timeout=10).read()


def check_request(verb, rest, requests):
    """One check on the requests the server received; an error text, or None."""
    lines = [r["request_line"] for r in requests]
    if verb == "not-requested":
        return f"the server received {rest!r}" if rest in lines else None
    if verb == "request-count":
        return None if len(lines) == int(rest) else \
            f"the server received {len(lines)} requests, not {rest}:\n  " + "\n  ".join(lines)
    if verb == "request-order":
        at = 0
        for step in [w.strip() for w in rest.split("||")]:
            # The lines of one step, each matched once, in whatever order they came.
            taken, end = set(), at
            for want in [w.strip() for w in step.split("&&")]:
                found = next((i for i in range(at, len(lines))
                              if lines[i] == want and i not in taken), None)
                if found is None:
                    return f"the server did not receive {want!r} in order"
                taken.add(found)
                end = max(end, found + 1)
            at = end
        return None
    url, _, arg = rest.partition(" ")
    of_url = [r for r in requests if r["url"] == url]
    if verb == "posted":
        bodies = [r["body"] for r in of_url if r["method"] == "POST"]
        return None if arg in bodies else f"no POST of {url} with body {arg!r} (got {bodies!r})"
    name, _, value = arg.partition(":")
    headers = [(k, v) for r in of_url for k, v in r["headers"]]
    if verb == "sent-header":
        wanted = (name.strip().lower(), value.strip())
        got = [(k.lower(), v) for k, v in headers]
        return None if wanted in got else f"no request of {url} sent {arg!r} (got {headers!r})"
    if verb == "no-header":
        got = [v for k, v in headers if k.lower() == name.strip().lower()]
        return f"a request of {url} sent {name.strip()}: {got!r}" if got else None
    return f"unknown check {verb!r}"


def log_size():
    return len(logged_request_lines(0))


def step_requests(steps, name, log_end):
    """The request lines logged in the step that the host's "sync: NAME" line began; None
    when the host printed no such line."""
    for i, (step, start) in enumerate(steps):
        if step == name:
            end = steps[i + 1][1] if i + 1 < len(steps) else log_end
            return logged_request_lines(start)[:end - start]
    return None


def check_after(case, root, library, log_start=0, steps=(), log_end=0, encoding="cp1251"):
    failures = []
    path = os.path.join(case, "after")
    if not os.path.exists(path):
        return failures
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\r\n")
        if not line or line.startswith("#"):
            continue
        verb, rest = line.split(" ", 1)
        if verb == "requested":
            if rest not in logged_request_lines(log_start):
                failures.append(f"the server did not receive {rest!r}")
            continue
        if verb in ("not-requested", "request-count", "request-order", "posted",
                    "sent-header", "no-header"):
            problem = check_request(verb, rest, logged_requests(log_start))
            if problem:
                failures.append(problem)
            continue
        if verb in ("requested-after", "requests-after"):
            name, _, want = rest.partition(" ")
            got = step_requests(steps, name, log_end)
            if got is None:
                failures.append(f"the host printed no line 'sync: {name}'")
            elif verb == "requested-after" and want not in got:
                failures.append(f"after sync {name} the server did not receive {want!r}: {got}")
            elif verb == "requests-after" and len(got) != int(want):
                failures.append(f"after sync {name} the server received {len(got)} requests, "
                                f"not {want}: {got}")
            continue
        name, _, text = rest.partition(" ")
        # File names as the module wrote them: in the case's encoding, whatever the locale.
        target = os.path.join(os.fsencode(root), name.encode(encoding))
        data = open(target, "rb").read() if os.path.exists(target) else None
        if verb == "absent":
            if data is not None:
                failures.append(f"{name} exists")
            continue
        if data is None:
            failures.append(f"{name} is missing")
            continue
        want = text.replace("@DIR@", root).replace("@LIB@", library).encode("cp1251")
        if verb == "contains" and want not in data:
            failures.append(f"{name} lacks {text!r}")
        elif verb == "lacks" and want in data:
            failures.append(f"{name} holds {text!r}")
        elif verb == "sha256" and hashlib.sha256(data).hexdigest() != text:
            failures.append(f"{name} has another SHA-256: {hashlib.sha256(data).hexdigest()}")
        elif verb == "equals" and data != open(os.path.join(case, text), "rb").read():
            failures.append(f"{name} differs from {text}")
    return failures


def limit_file_size(limit):
    """For the child: writes past limit bytes fail (EFBIG) instead of killing it."""
    def apply():
        import resource
        import signal
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


def run_host(command, root, limit=None, encoding="cp1251"):
    """Runs the host, reading its output as it comes: at each "sync: NAME" line the number of
    requests the fixture server has logged so far is noted (the server logs a request before
    it answers, so every request of the steps before is in). Returns the exit status, the
    output, the error output and the (NAME, log position) pairs."""
    # With --sync-wait the host holds at each marker until it is answered, so the log
    # position noted is exactly the one at the marker, however far behind this reader is.
    proc = subprocess.Popen(command + ["--sync-wait"], cwd=root, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            preexec_fn=limit_file_size(limit) if limit else None)
    timer = threading.Timer(600, proc.kill)
    timer.start()
    errors = []
    reader = threading.Thread(target=lambda: errors.append(proc.stderr.read()))
    reader.start()
    out = bytearray()
    steps = []
    try:
        for raw in proc.stdout:
            out += raw
            line = raw.decode(encoding).rstrip("\r\n")
            if line.startswith("sync: "):
                steps.append((line[len("sync: "):], log_size()))
                proc.stdin.write(b"go\n")
                proc.stdin.flush()
        proc.stdin.close()
        proc.wait()
        reader.join()
    finally:
        timer.cancel()
    return proc.returncode, bytes(out), b"".join(errors), steps


def main():
    # Output of the wide cases holds letters the test locale's character set lacks.
    sys.stdout.reconfigure(errors="backslashreplace")
    p = argparse.ArgumentParser()
    p.add_argument("--host", required=True)
    p.add_argument("--module", required=True)
    p.add_argument("--fixtures", required=True)
    p.add_argument("--source", required=True)
    p.add_argument("--emulator", default="")
    p.add_argument("case")
    args = p.parse_args()

    platforms = os.path.join(args.case, "platforms")
    if args.emulator and os.path.exists(platforms) and \
            open(platforms).read().split()[:1] == ["native"]:
        why = open(platforms).read().split("\n", 1)[1:]
        sys.stderr.write("native-only case" + (": " + why[0].strip() if why and why[0].strip()
                                               else "") + "\n")
        return 77
    limit_file = os.path.join(args.case, "file-size-limit")
    limit = int(open(limit_file).read().split()[0]) if os.path.exists(limit_file) else None
    if limit and args.emulator:
        sys.stderr.write("native-only case: the file-size limit would reach Wine's own files\n")
        return 77
    root = tempfile.mkdtemp(prefix="fl-case-")
    try:
        install(args, args.case, root)
        sites = os.path.join(os.path.realpath(args.case), "sites")
        if os.path.isdir(sites):
            try:
                control("mount", dir=sites)
            except OSError as e:  # urllib's errors are OSErrors
                print(f"FAIL: the fixture server did not mount the case's sites: {e} "
                      "(another server on its port?)")
                return 1
        log_start = log_size()
        # Under Wine the programs see the folder as a Windows path.
        seen = windows_path(root) if args.emulator else root
        host_args = os.path.join(args.case, "host-args")
        extra = open(host_args).read().split() if os.path.exists(host_args) else []
        # Commands are kept as UTF-8; the ANSI functions speak the Windows-1251 code page,
        # the wide ones are driven in UTF-8.
        encoding = "utf-8" if "--wide" in extra else "cp1251"
        commands = os.path.join(root, "commands.txt")
        with open(os.path.join(args.case, "commands"), encoding="utf-8") as src:
            text = src.read().replace("@DIR@", seen)
        with open(commands, "wb") as out:
            out.write(text.encode(encoding))
        module = os.path.join(seen, module_name(args)) if not args.emulator \
            else seen + "\\" + module_name(args)
        module_file = os.path.join(args.case, "module")
        if os.path.exists(module_file) and open(module_file).read().strip() == "relative":
            module = module_name(args)
        command = ([args.emulator] if args.emulator else []) + [
            args.host, module, "-f", windows_path(commands) if args.emulator else commands]
        command += extra
        returncode, stdout, stderr, steps = run_host(command, root, limit, encoding)
        if returncode == 77:
            sys.stderr.write(stderr.decode(errors="replace"))
            return 77
        got = stdout.decode(encoding).replace("\r\n", "\n")
        for form in (windows_path(root), root):
            got = got.replace(form, "@DIR@")
        expected = os.path.join(args.case, "expected")
        if args.emulator and os.path.exists(expected + ".windows"):
            expected += ".windows"
        want = open(expected, encoding="utf-8").read()
        if not args.emulator:
            # The POSIX module lists the module file's time where Windows lists "no time" or
            # a time before 1970, which the Linux file manager cannot take.
            want = re.sub(r"time=(?:no-time|1601-01-01T00:00:00Z)", "time=module-time", want)
        failures = []
        if not matches(want, got):
            failures.append("output differs:\n--- expected\n" + want + "--- got\n" + got)
        if returncode != 0:
            failures.append(f"host exited {returncode}: {stderr.decode(errors='replace')}")
        failures += check_after(args.case, root, library_name(args), log_start, steps, log_size(),
                                encoding)
        for f in failures:
            print("FAIL:", f)
        return 1 if failures else 0
    finally:
        if os.path.isdir(os.path.join(args.case, "sites")):
            try:
                control("unmount")
            except OSError:
                pass
        if os.environ.get("FL_KEEP_CASE"):  # for looking into a case by hand
            print("kept:", root)
        else:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
