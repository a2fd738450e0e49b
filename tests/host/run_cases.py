#!/usr/bin/env python3
"""Runs whole-module cases: installs the plug-in into a fresh folder, drives it with the
host program and compares what it printed, and the files it left, with the case.

The format of a case folder (its files, the checks of "after", the placeholders) is defined
in docs/testing.md. Every case is checked against that format before it runs; a case that
does not keep to it fails with the case, the file and the line named.

  run_cases.py --host H --module M --fixtures F --source S [--emulator E] CASE
  run_cases.py --check [CASE...]     only checks the format (every case when none is named)

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


# ---- The case format (docs/testing.md) ------------------------------------------------------
# The files a case folder may hold; any other name must be a file that an "equals" check of
# "after" names, inside the case folder.
CASE_FILES = ("commands", "expected", "expected.windows", "after", "module", "host-args",
              "no-settings", "library", "platforms", "file-size-limit")
CASE_FOLDERS = ("files", "sites")
REQUIRED = ("commands", "expected")
# The checks of "after" and how many words each takes before its rest of line.
FILE_CHECKS = ("contains", "lacks", "equals", "sha256", "absent")
REQUEST_CHECKS = ("requested", "not-requested", "request-count", "request-order", "posted",
                  "sent-header", "no-header", "requested-after", "requests-after")
# The placeholders each file may use, as the runner replaces them there.
PLACEHOLDERS = {
    "commands": ("@DIR@",),
    "expected": ("@DIR@", "@TIME@", "@PERCENT@", "@MANY@"),
    "expected.windows": ("@DIR@", "@TIME@", "@PERCENT@", "@MANY@"),
    "after": ("@DIR@", "@LIB@"),
}
# The host program's commands (tools/host/host_main.cpp).
HOST_COMMANDS = (
    "list", "get", "put", "exec", "exec-verb", "mkdir", "rmdir", "delete", "delete-bare",
    "rename", "rename-bare", "setattr", "settime", "icon", "find-first", "find-next",
    "find-close", "rootname", "status", "answer", "accept", "cancel", "answer-url",
    "answer-other", "accept-url", "accept-other", "cancel-url", "cancel-other",
    "clear-answers", "sync", "reenter-next", "abort-at", "echo")
# Stand-ins for the matching library, each lacking one export (tests/fixtures/partial_regex.c).
LIBRARY_STANDINS = ("init", "expression", "exec", "match", "execnext", "matchcount")


def read_lines(path):
    with open(path, encoding="utf-8") as f:
        return f.read().splitlines()


def check_placeholders(name, lines, where):
    problems = []
    for number, line in enumerate(lines, 1):
        for found in re.finditer(r"@[A-Za-z0-9_-]+@", line):
            word = found.group(0)
            if word not in PLACEHOLDERS[name]:
                problems.append(where(name, number) + f"unknown placeholder {word} (in {name}: "
                                + ", ".join(PLACEHOLDERS[name]) + ")")
            elif word == "@MANY@" and not (found.start() == 0 and line.startswith("@MANY@ ")):
                problems.append(where(name, number) + "@MANY@ stands only at a line's start, "
                                "followed by a blank")
    return problems


def check_after_line(case, line, at):
    """The problems of one line of "after" (a list of texts)."""
    verb, _, rest = line.partition(" ")
    words = rest.split(" ")
    if verb not in FILE_CHECKS + REQUEST_CHECKS:
        return [at + f"unknown check {verb!r} (known: " + ", ".join(FILE_CHECKS + REQUEST_CHECKS)
                + ")"]
    if not rest.strip():
        return [at + f"{verb} needs its arguments"]
    if verb in ("contains", "lacks", "equals", "sha256", "posted", "sent-header",
                "no-header", "requested-after", "requests-after") and \
            (len(words) < 2 or not words[1]):
        return [at + f"{verb} needs two arguments"]
    if verb == "absent" and len(words) != 1:
        return [at + "absent takes one file name"]
    if verb == "sha256" and not re.fullmatch(r"[0-9a-f]{64}", rest.split(" ", 1)[1]):
        return [at + "sha256 takes 64 lowercase hexadecimal digits"]
    if verb == "request-count" and not re.fullmatch(r"[0-9]+", rest):
        return [at + "request-count takes a count"]
    if verb == "requests-after" and not re.fullmatch(r"[0-9]+", rest.split(" ", 1)[1]):
        return [at + "requests-after takes a sync name and a count"]
    if verb == "sent-header" and ":" not in rest.split(" ", 1)[1]:
        return [at + "sent-header takes URL NAME: VALUE"]
    if verb == "equals":
        casefile = rest.split(" ", 1)[1]
        if not os.path.isfile(os.path.join(case, casefile)):
            return [at + f"equals names {casefile!r}, which the case folder lacks"]
    return []


def check_case(case):
    """The problems of one case folder against the case format, each naming the case, the
    file and, where there is one, the line; an empty list when the case keeps to it."""
    name = os.path.basename(os.path.normpath(case))

    def where(file, number=None):
        return f"{name}/{file}" + (f":{number}" if number else "") + ": "

    if not os.path.isdir(case):
        return [f"{name}: no such case folder"]
    problems = []
    for required in REQUIRED:
        if not os.path.isfile(os.path.join(case, required)):
            problems.append(where(required) + "missing (every case has one)")
    # The case's own files that "equals" compares with: relative paths inside the folder.
    compared = set()
    after = os.path.join(case, "after")
    after_lines = read_lines(after) if os.path.isfile(after) else []
    for number, line in enumerate(after_lines, 1):
        if not line.strip() or line.startswith("#"):
            continue
        problems += check_after_line(case, line, where("after", number))
        if line.startswith("equals ") and " " in line[len("equals "):]:
            casefile = os.path.normpath(line.split(" ", 2)[2])
            if not casefile.startswith(".."):
                compared.add(casefile.split(os.sep)[0])
    for entry in sorted(os.listdir(case)):
        path = os.path.join(case, entry)
        if entry in CASE_FOLDERS:
            if not os.path.isdir(path):
                problems.append(where(entry) + "must be a folder")
        elif entry in CASE_FILES:
            if not os.path.isfile(path):
                problems.append(where(entry) + "must be a file")
        elif entry not in compared:
            problems.append(where(entry) + "unknown file in a case folder (known: "
                            + ", ".join(CASE_FILES + tuple(f + "/" for f in CASE_FOLDERS))
                            + ", and files that an 'equals' check names)")
    for file in PLACEHOLDERS:
        path = os.path.join(case, file)
        if os.path.isfile(path):
            problems += check_placeholders(file, read_lines(path), where)
    commands = os.path.join(case, "commands")
    if os.path.isfile(commands):
        for number, line in enumerate(read_lines(commands), 1):
            word = line.split(" ", 1)[0].rstrip("\r")
            if word and not word.startswith("#") and word not in HOST_COMMANDS:
                problems.append(where("commands", number) + f"unknown host command {word!r}")

    def one_line(file):
        path = os.path.join(case, file)
        return open(path, encoding="utf-8").read().split("\n")[0].strip() \
            if os.path.isfile(path) else None

    module = one_line("module")
    if module is not None and module != "relative":
        problems.append(where("module", 1) + f"{module!r}: the only value is 'relative'")
    library = one_line("library")
    known_libraries = ["project", "none"] + ["missing-" + e for e in LIBRARY_STANDINS]
    if library is not None and library not in known_libraries:
        problems.append(where("library", 1) + f"{library!r}: one of " + ", ".join(known_libraries))
    platforms = one_line("platforms")
    if platforms is not None and platforms.split()[:1] != ["native"]:
        problems.append(where("platforms", 1) + "the first word is 'native'")
    limit = one_line("file-size-limit")
    if limit is not None and not re.fullmatch(r"[0-9]+", limit.split(" ")[0]):
        problems.append(where("file-size-limit", 1) + "a byte count")
    host_args = os.path.join(case, "host-args")
    if os.path.isfile(host_args):
        words = open(host_args, encoding="utf-8").read().split()
        i = 0
        while i < len(words):
            if words[i] in ("--wide", "--both-inits"):
                i += 1
            elif words[i] == "--offer" and i + 1 < len(words) and \
                    words[i + 1] in ("accept", "decline", "leave"):
                i += 2
            else:
                problems.append(where("host-args", 1) + f"unknown host argument {words[i]!r} "
                                "(known: --wide, --both-inits, --offer accept|decline|leave)")
                break
    return problems


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


def check_cases(cases):
    """--check: every named case, or every case beside this script, against the format."""
    if not cases:
        folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases")
        cases = [os.path.join(folder, c) for c in sorted(os.listdir(folder))]
    problems = [problem for case in cases for problem in check_case(case)]
    for problem in problems:
        print(problem)
    print(f"{len(cases)} cases checked, {len(problems)} problems")
    return 1 if problems else 0


def main():
    # Output of the wide cases holds letters the test locale's character set lacks.
    sys.stdout.reconfigure(errors="backslashreplace")
    p = argparse.ArgumentParser()
    p.add_argument("--check", action="store_true",
                   help="only check the cases' format (every case when none is named)")
    p.add_argument("--host")
    p.add_argument("--module")
    p.add_argument("--fixtures")
    p.add_argument("--source")
    p.add_argument("--emulator", default="")
    p.add_argument("case", nargs="*")
    args = p.parse_args()
    if args.check:
        return check_cases(args.case)
    if len(args.case) != 1 or not all((args.host, args.module, args.fixtures, args.source)):
        p.error("a run takes --host, --module, --fixtures, --source and one case")
    args.case = args.case[0]
    problems = check_case(args.case)
    if problems:
        for problem in problems:
            print("FAIL: case format:", problem)
        return 1

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
