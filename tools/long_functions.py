#!/usr/bin/env python3
"""Lists the C++ functions longer than a limit, counted from the first line of the signature
to the closing brace, both included.

    tools/long_functions.py [--max N] [--ignore PATH]... [PATH]...

PATH is a file or a folder searched for .cpp, .h and .inc files (default: src and tools next
to this script's folder). A path given with --ignore (a file or a folder, relative to the
working folder or absolute) is left out. Prints one line per function, "file:line: N lines:
signature", longest first, and exits 1 when there is any.

The reading is lexical, not a compiler's: comments, string and character literals (raw
strings too) and preprocessor lines are blanked first; then a brace opens a function body
when the text before it, back to the previous ';', '{' or '}', ends in a parameter list
(optionally followed by qualifiers, a trailing return type or a constructor's member
initialisers) and does not start with a control keyword. Lambdas and local classes count
toward the function they are in.
"""
import argparse
import os
import re
import sys

CONTROL = {"if", "for", "while", "switch", "catch", "do", "else", "return", "try"}
SCOPES = re.compile(r"^(?:template\s*<.*>\s*)?(namespace|class|struct|union|enum|extern)\b", re.S)


def blank(text):
    """The text with comments, literals and preprocessor lines replaced by blanks, newlines
    kept so that line numbers stay."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            # A preprocessor line, with its continuations.
            j = i
            while j < n and text[j] != "\n":
                j += 2 if text[j] == "\\" and j + 1 < n else 1
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
            continue
        if c == "\n":
            line_start = True
            out.append(c)
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")) \
                or (c in "uUL8" and re.match(r'(?:u8|u|U|L)R"', text[i:i + 4])
                    and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_"))):
            q = text.index('"', i)
            m = re.match(r'"([^()\\\s]{0,16})\(', text[q:])
            if not m:
                out.append(c)
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', q)
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2:j]))
            i = j
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                out.append(" ")  # a digit separator: 1'000
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + c if j - i >= 2 else c)
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def strip_balanced_tail(head):
    """head without a trailing parameter list and what may follow one; None when it does not
    end that way."""
    s = head.rstrip()
    # Qualifiers and a trailing return type after the parameter list.
    s = re.sub(r"(?:\s*->\s*[\w:<>,\s*&]+)$", "", s)
    while True:
        t = re.sub(r"\s*\b(?:const|volatile|noexcept|override|final|mutable|constexpr)\s*$", "", s)
        t = re.sub(r"\s*noexcept\s*\([^()]*\)\s*$", "", t)
        t = re.sub(r"\s*&{1,2}\s*$", "", t) if t.endswith("&") and t.rstrip("& ").endswith(")") else t
        if t == s:
            break
        s = t
    return s if s.endswith(")") else None


def opening_paren(s, close):
    depth = 0
    for k in range(close, -1, -1):
        if s[k] == ")":
            depth += 1
        elif s[k] == "(":
            depth -= 1
            if depth == 0:
                return k
    return -1


def initialiser_start(head):
    """Where a constructor's member initialiser list begins (its ':'), or -1."""
    depth = 0
    for k in range(len(head) - 1, -1, -1):
        ch = head[k]
        if ch in ")]>}":
            depth += 1
        elif ch in "([<{":
            depth -= 1
        elif ch == ":" and depth == 0:
            if (k > 0 and head[k - 1] == ":") or (k + 1 < len(head) and head[k + 1] == ":"):
                continue
            return k
    return -1


def is_function_head(head):
    s = strip_balanced_tail(head)
    if s is None:
        # "Type::Type(...) : a_(x), b_{y}" ends in ')' or '}' of an initialiser.
        k = initialiser_start(head)
        if k < 0:
            return False
        s = strip_balanced_tail(head[:k])
        if s is None:
            return False
    k = opening_paren(s, len(s) - 1)
    if k <= 0:
        return False
    before = s[:k].rstrip()
    name = re.search(r"(~?[A-Za-z_]\w*|operator\s*\S+)\s*(?:<[^()]*>)?$", before)
    if not name:
        return False
    word = re.match(r"\s*([A-Za-z_]\w*)", head)
    if word and word.group(1) in CONTROL:
        return False
    if name.group(1) in CONTROL:
        return False
    # A lambda's introducer, an initialisation ("T x(a) {"), or an expression.
    if before.endswith("]") or re.search(r"[=,(]\s*$", before[: name.start()]):
        return False
    return True


def functions(text):
    """(first line, last line, signature) of each function defined at namespace or class
    scope."""
    code = blank(text)
    found = []
    stack = []  # per open brace: "scope", "function" or "block"
    head_start = 0
    i = 0
    while i < len(code):
        c = code[i]
        if c in ";":
            head_start = i + 1
        elif c == "{":
            head = code[head_start:i]
            in_function = any(kind == "function" for kind, _ in stack)
            if in_function:
                kind = "block"
            elif SCOPES.match(head.strip()) and not strip_balanced_tail(head):
                kind = "scope"
            elif is_function_head(head.strip()):
                kind = "function"
            else:
                kind = "block"
            if kind == "function":
                offset = head_start + len(head) - len(head.lstrip())
                stack.append((kind, offset))
            else:
                stack.append((kind, i))
            head_start = i + 1
        elif c == "}":
            if stack:
                kind, start = stack.pop()
                if kind == "function":
                    first = code.count("\n", 0, start) + 1
                    last = code.count("\n", 0, i) + 1
                    signature = " ".join(code[start:code.index("{", start)].split())
                    found.append((first, last, signature))
            head_start = i + 1
        elif c == ":" and not stack_is_function(stack):
            # Access specifiers end a declaration head in a class.
            if re.search(r"\b(?:public|private|protected)\s*$", code[head_start:i]):
                head_start = i + 1
        i += 1
    return found


def stack_is_function(stack):
    return any(kind == "function" for kind, _ in stack)


def sources(paths, ignored):
    for path in paths:
        if os.path.isfile(path):
            yield path
            continue
        for folder, dirs, files in os.walk(path):
            dirs.sort()
            for f in sorted(files):
                if f.endswith((".cpp", ".h", ".inc", ".cc", ".hpp")):
                    yield os.path.join(folder, f)


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--max", type=int, default=100, help="longest allowed, in lines")
    parser.add_argument("--ignore", action="append", default=[], help="a file or folder left out")
    parser.add_argument("paths", nargs="*")
    args = parser.parse_args()
    paths = args.paths or [os.path.join(here, "src"), os.path.join(here, "tools")]
    ignored = [os.path.abspath(p) for p in args.ignore]
    long_ones = []
    for path in sources(paths, ignored):
        full = os.path.abspath(path)
        if any(full == p or full.startswith(p.rstrip(os.sep) + os.sep) for p in ignored):
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for first, last, signature in functions(text):
            length = last - first + 1
            if length > args.max:
                long_ones.append((length, os.path.relpath(path), first, signature))
    long_ones.sort(key=lambda x: (-x[0], x[1], x[2]))
    for length, path, line, signature in long_ones:
        print(f"{path}:{line}: {length} lines: {signature[:100]}")
    return 1 if long_ones else 0


if __name__ == "__main__":
    sys.exit(main())
