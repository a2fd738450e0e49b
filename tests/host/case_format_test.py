#!/usr/bin/env python3
"""The case format: every shipped case keeps to it, and the runner refuses what it does not
define (a check, a file, a placeholder, a value), naming the case, the file and the line."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "run_cases.py")

# A small case that keeps to the format: every kind of file and check it may hold.
GOOD = {
    "commands": "answer http://photos.example.test/\nlist \\[connection]\nsync copy\n"
                "get \\[connection]\\a\\b.jpg @DIR@/b.jpg\n",
    "expected": "init: 0\n@MANY@ progress: source=\"a\" target=\"b\" percent=@PERCENT@ -> continue\n"
                "entry file attr=00000080 size=1 time=@TIME@ b.jpg\n",
    "expected.windows": "init: 0\n",
    "after": "# a comment\n\ncontains frameleaf.htm @DIR@ and @LIB@\nlacks frameleaf.htm E9\n"
             "equals b.jpg photo.jpg\nsha256 b.jpg " + "0" * 64 + "\nabsent .b.jpg.part\n"
             "requested GET http://a.test/ HTTP/1.1\nnot-requested GET http://b.test/ HTTP/1.1\n"
             "request-count 2\nrequest-order GET http://a.test/ HTTP/1.1 || "
             "HEAD http://a.test/1 HTTP/1.1 && HEAD http://a.test/2 HTTP/1.1\n"
             "posted http://a.test/login pw=1\nsent-header http://a.test/ Cookie: a=1\n"
             "no-header http://a.test/ Referer\nrequested-after copy GET http://a.test/b.jpg HTTP/1.1\n"
             "requests-after copy 1\n",
    "photo.jpg": "data",
    "module": "relative\n",
    "host-args": "--wide --both-inits --offer accept\n",
    "no-settings": "why\n",
    "library": "missing-matchcount\n",
    "platforms": "native\nwhy\n",
    "file-size-limit": "50000\n",
    "files/frameleaf.tab": "[tabs]\n",
    "sites/a.test/index.html": "<html></html>\n",
}

# What one change to the good case brings: (the change, the file and line named, a word of
# the message). A value of None removes the file.
BAD = [
    ({"after": "contains frameleaf.htm x\nholds frameleaf.htm x\n"}, "bad/after:2", "'holds'"),
    ({"after": "absent\n"}, "bad/after:1", "absent needs"),
    ({"after": "equals b.jpg nowhere.jpg\n"}, "bad/after:1", "nowhere.jpg"),
    ({"after": "sha256 b.jpg 12ab\n"}, "bad/after:1", "hexadecimal"),
    ({"after": "request-count many\n"}, "bad/after:1", "count"),
    ({"after": "requests-after copy\n"}, "bad/after:1", "two arguments"),
    ({"after": "sent-header http://a.test/ Cookie\n"}, "bad/after:1", "NAME: VALUE"),
    ({"after": "contains frameleaf.htm @TIME@\n"}, "bad/after:1", "@TIME@"),
    ({"expected": "init: 0\nentry @DIRR@\n"}, "bad/expected:2", "@DIRR@"),
    ({"expected": "init: 0 @MANY@ x\n"}, "bad/expected:1", "@MANY@"),
    ({"commands": "list \\\nlist @LIB@\n"}, "bad/commands:2", "@LIB@"),
    ({"commands": "lst \\\n"}, "bad/commands:1", "'lst'"),
    ({"expected.orig": "init: 0\n"}, "bad/expected.orig", "unknown file"),
    ({"commands": None}, "bad/commands", "missing"),
    ({"module": "absolute\n"}, "bad/module:1", "relative"),
    ({"library": "missing-everything\n"}, "bad/library:1", "missing-everything"),
    ({"platforms": "windows\n"}, "bad/platforms:1", "native"),
    ({"file-size-limit": "big\n"}, "bad/file-size-limit:1", "byte count"),
    ({"host-args": "--offer maybe\n"}, "bad/host-args:1", "--offer"),
]


def write_case(folder, files):
    for name, text in files.items():
        if text is None:
            continue
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)


def check(*cases):
    return subprocess.run([sys.executable, RUNNER, "--check", *cases], capture_output=True,
                          text=True)


class CaseFormat(unittest.TestCase):
    def test_shipped_cases_keep_to_the_format(self):
        result = check()
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_a_case_using_every_part_of_the_format_passes(self):
        with tempfile.TemporaryDirectory() as tmp:
            case = os.path.join(tmp, "good")
            write_case(case, GOOD)
            result = check(case)
            self.assertEqual(result.returncode, 0, result.stdout)

    def test_what_the_format_does_not_define_is_refused(self):
        for change, place, word in BAD:
            with self.subTest(place=place, word=word), tempfile.TemporaryDirectory() as tmp:
                case = os.path.join(tmp, "bad")
                write_case(case, {**GOOD, **change})
                result = check(case)
                self.assertEqual(result.returncode, 1, result.stdout)
                problems = [l for l in result.stdout.splitlines() if l.startswith(place + ": ")]
                self.assertEqual(len(problems), 1, result.stdout)
                self.assertIn(word, problems[0])

    def test_a_run_refuses_a_case_before_starting_the_host(self):
        with tempfile.TemporaryDirectory() as tmp:
            case = os.path.join(tmp, "bad")
            write_case(case, {**GOOD, "after": "contains frameleaf.htm x\nholds x y\n"})
            result = subprocess.run(
                [sys.executable, RUNNER, "--host", "/nonexistent/fl-host", "--module",
                 "/nonexistent/frameleaf.wfx", "--fixtures", tmp, "--source", tmp, case],
                capture_output=True, text=True)
            self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
            self.assertIn("FAIL: case format: bad/after:2: unknown check 'holds'", result.stdout)


if __name__ == "__main__":
    unittest.main()
