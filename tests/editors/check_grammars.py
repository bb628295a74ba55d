#!/usr/bin/env python3
"""Checks that the editor support files colour scores as quern-editor does.

    check_grammars.py HIGHLIGHT_DUMP EDITORS_DIR [--server QUERN] SCORE...

For every score, the class of every character is taken three ways: from the
editor's own highlighter (through HIGHLIGHT_DUMP), from the TextMate grammar
(EDITORS_DIR/quern.tmLanguage.json, run by the small TextMate tokenizer
below) and from the Vim syntax file (EDITORS_DIR/quern.vim, run by Vim
itself), and with --server from the semantic tokens of QUERN's language
server. All of them must agree on every character. Prints the first
differences and exits 1 when there are any.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lsp"))
from lsp_client import LspClient, token_classes  # noqa: E402

# Class letters (as highlight_dump prints them) of the grammar's scopes, by
# the longest known start of the scope name, and of the Vim syntax groups.
SCOPE_CLASSES = {
    "meta.preprocessor": "h", "entity.name.tag": "t", "entity.name.function": "m",
    "entity.name.section": "k", "punctuation.separator": "+", "comment.line": "c",
    "comment.block": "c", "string.quoted": "q", "constant.numeric": "0",
    "support.function": "a", "variable.other": "u", "constant.other": "b",
    "keyword.control": "l", "constant.language": "n", "keyword.other": "x",
}
VIM_CLASSES = {
    "quernCommentLine": "c", "quernLineComment": "c", "quernBlockComment": "c",
    "quernHeader": "h", "quernTrackName": "t", "quernContinuation": "+",
    "quernMacroName": "m", "quernCommonName": "k", "quernNote": "n",
    "quernCommand": "x", "quernNumber": "0", "quernHex": "0", "quernLoop": "l",
    "quernString": "q", "quernBytes": "b", "quernAttribute": "a",
    "quernMacroUse": "u", "": ".",
}


def scope_class(scope):
    parts = scope.split(".")
    for n in range(len(parts), 0, -1):
        if ".".join(parts[:n]) in SCOPE_CLASSES:
            return SCOPE_CLASSES[".".join(parts[:n])]
    raise KeyError("no class for the scope " + scope)


class Grammar:
    """The part of TextMate's rules the grammar uses: match, begin/end with
    patterns, name, include of repository entries and of $self."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            self.data = json.load(f)

    def rules(self, patterns):
        for p in patterns:
            if "include" in p:
                ref = p["include"]
                target = self.data if ref == "$self" else self.data["repository"][ref[1:]]
                yield from self.rules(target.get("patterns", [target]) if "begin" not in target
                                      and "match" not in target else [target])
            else:
                yield p


def grammar_classes(grammar, lines):
    """Runs the tokenizer, then gives characters inside named regions their
    region's class where no inner rule named them."""
    return RegionTokenizer(grammar).run(lines)


class RegionTokenizer:
    def __init__(self, grammar):
        self.g = grammar

    def run(self, lines):
        stack = []
        result = []
        for line in lines:
            codes = [None] * len(line)
            pos = 0
            while True:
                top = stack[-1] if stack else None
                best = None
                if top is not None:
                    m = re.compile(top["end"]).search(line, pos)
                    if m:
                        best = (m.start(), 0, "end", top, m)
                patterns = top.get("patterns", []) if top else self.g.data["patterns"]
                for order, rule in enumerate(self.g.rules(patterns), start=1):
                    m = re.compile(rule.get("match") or rule["begin"]).search(line, pos)
                    if m and (best is None or (m.start(), order) < best[:2]):
                        best = (m.start(), order, "rule", rule, m)
                region = self.region_class(stack)
                if best is None:
                    self.fill(codes, pos, len(line), region)
                    break
                start, _, kind, rule, m = best
                self.fill(codes, pos, start, region)
                if kind == "end":
                    self.fill(codes, m.start(), m.end(), region)
                    stack.pop()
                elif "begin" in rule:
                    stack.append(rule)
                    self.fill(codes, m.start(), m.end(), self.region_class(stack))
                else:
                    self.fill(codes, m.start(), m.end(), scope_class(rule["name"]))
                if m.end() == m.start() and kind == "rule" and "begin" not in rule:
                    self.fill(codes, m.end(), len(line), region)
                    break
                pos = m.end()
            result.append("".join(c or "." for c in codes))
        return result

    @staticmethod
    def region_class(stack):
        for rule in reversed(stack):
            if rule.get("name"):
                return scope_class(rule["name"])
        return "."

    @staticmethod
    def fill(codes, start, end, code):
        for i in range(start, min(end, len(codes))):
            codes[i] = code


VIM_SCRIPT = r"""
set nocompatible encoding=utf-8 fileencodings=utf-8
syntax on
edit %(text)s
syntax clear
unlet! b:current_syntax
source %(syntax)s
let out = ['same']
for l in range(1, line('$'))
  let codes = ''
  let col = 1
  for ch in split(getline(l), '\zs')
    let codes .= get(s:classes, synIDattr(synID(l, col, 0), 'name'), '?')
    let col += len(ch)
  endfor
  call add(out, codes)
endfor
call writefile(out, %(result)s)
qall!
"""


def vim_classes(vim, syntax, text_path, workdir):
    result = os.path.join(workdir, "vim.out")
    classes = "{" + ", ".join("'%s': '%s'" % kv for kv in VIM_CLASSES.items()) + "}"
    script = os.path.join(workdir, "dump.vim")
    with open(script, "w", encoding="utf-8") as f:
        f.write("let s:classes = %s\n" % classes)
        f.write(VIM_SCRIPT % {"text": text_path.replace(" ", "\\ "), "syntax": syntax,
                              "result": "'%s'" % result})
    subprocess.run([vim, "-u", "NONE", "-i", "NONE", "-N", "-n", "-es", "-S", script],
                   check=False, stdin=subprocess.DEVNULL, timeout=120)
    with open(result, encoding="utf-8") as f:
        return f.read().split("\n")[1:-1]


def read_score(path):
    data = open(path, "rb").read()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        text = data.decode("cp932", errors="replace")
    return text.replace("\r\n", "\n").replace("\r", "\n")


def by_character(codes, line):
    """The editor's classes count UTF-16 units; one per character here."""
    out, unit = [], 0
    for ch in line:
        out.append(codes[unit] if unit < len(codes) else "")
        unit += 2 if ord(ch) > 0xFFFF else 1
    return "".join(out)


def merge(codes, same):
    for a, b in same:
        codes = codes.replace(a, b)
    return codes


def main():
    dump, editors, scores = sys.argv[1], sys.argv[2], sys.argv[3:]
    server = None
    if scores[:1] == ["--server"]:
        server = LspClient(scores[1])
        server.request("initialize")
        scores = scores[2:]
    grammar = Grammar(os.path.join(editors, "quern.tmLanguage.json"))
    syntax = os.path.join(editors, "quern.vim")
    failures = 0
    with tempfile.TemporaryDirectory() as workdir:
        for score in scores:
            text = read_score(score)
            lines = text.split("\n")
            if lines and lines[-1] == "":
                lines.pop()
            text_path = os.path.join(workdir, "score.txt")
            with open(text_path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
            dumped = subprocess.run([dump, text_path], check=True, capture_output=True,
                                    text=True).stdout.split("\n")
            same = [tuple(pair.split("=")) for pair in dumped[0].split()[1:]]
            editor = dumped[1:1 + len(lines)]
            others = {"TextMate grammar": grammar_classes(grammar, lines),
                      "Vim syntax": vim_classes("vim", syntax, text_path, workdir)}
            if server:
                uri = "file://" + os.path.abspath(score)
                server.open(uri, "\n".join(lines) + "\n")
                others["language server"] = token_classes(server, uri, lines)
            for what, codes in others.items():
                for n, line in enumerate(lines):
                    want = by_character(editor[n], line) if n < len(editor) else ""
                    got = merge(codes[n], same) if n < len(codes) else ""
                    if what == "language server":
                        got = by_character(got, line)
                    if got != want:
                        failures += 1
                        if failures <= 20:
                            print("%s:%d: %s differs from the editor\n  text   %s\n  editor %s\n"
                                  "  %-6s %s" % (score, n + 1, what, line, want, what[:6], got))
    if server and server.close() != 0:
        print("the language server did not end cleanly")
        failures += 1
    print("%d scores checked, %d lines differ" % (len(scores), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
