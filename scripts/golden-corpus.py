#!/usr/bin/env python3
"""Generates the golden corpus of random scores and records what quern makes of them.

Usage: scripts/golden-corpus.py QUERN [OUT_DIR]

With a fixed seed it writes 2,000 small random scores (notes, groups, loops
with breaks, macros with arguments, attributes, gradual changes, byte lists,
phases, headers, common and continuation lines, and faulty input of every
kind) and, for each, the output of
  quern compile --encoding cp932 --report-encoding cp932   (report, exit status)
  quern events --encoding cp932                            (final event records)
  the song image that compile wrote (hex), when there were no errors
  quern trace SONG.xrt --ticks 800                         (bounded trace)
into OUT_DIR/corpus-NN.txt (default tests/golden), eight shards.

Each case is a run of sections "@@ NAME LENGTH\n" followed by exactly LENGTH
bytes and a newline; a case starts with its "@@ case" section. The golden
test (tests/player/golden_corpus_test.cc) replays every case in process and
compares byte for byte. When a behaviour is meant to change, record the
outputs again for the same scores in process with
  QUERN_GOLDEN_RECORD=1 build/tests/player_tests --gtest_filter='Shards/Golden*'
and check the difference (git diff tests/golden) before committing; run this
script only to make a new set of scores.
"""
import os
import random
import subprocess
import sys
import tempfile

SEED = 14
CASES = 2000
SHARDS = 8
TRACE_TICKS = 800

R = random.Random(SEED)
# Half the scores keep to well-formed commands with sensible values, so that
# most of them compile to an image and a trace; the other half mix in faults.
CLEAN = [False]


def pick(good, bad):
    return R.choice(good if CLEAN[0] else good + bad)

NOTES = "cdefgab"


def num(lo, hi):
    return str(R.randint(lo, hi))


def length():
    r = R.random()
    if r < 0.4:
        return ""
    if CLEAN[0]:
        return R.choice(["1", "2", "4", "8", "16", "4.", "8.", "2.", "12", "24"])
    if r < 0.8:
        s = R.choice(["1", "2", "4", "8", "16", "32", "3", "6", "12", "24"])
    elif r < 0.9 and not CLEAN[0]:
        s = R.choice(["0", "64", "96", "5", "7", "128", "65535"])
    else:
        s = ":" + num(0, 400) if R.random() < 0.5 else num(1, 16) + ":" + num(0, 50)
    return s + "." * R.choice([0, 0, 0, 1, 2])


def note():
    s = ""
    if R.random() < 0.1:
        s += R.choice(["~", "_", "~3", "_2"])
    s += R.choice(NOTES)
    if R.random() < 0.2:
        s += pick(["+", "-", "="], ["++", "--"])
    s += length()
    r = R.random()
    if r < 0.1:
        s += "^" + length()
    elif r < 0.15:
        s += "'" + num(0, 127 if CLEAN[0] else 140)
    elif r < 0.2:
        s += ";" + num(0, 40)
    elif r < 0.25 and not CLEAN[0]:
        s += ":" + num(0, 30)
    return s


def simple():
    choices = [
        note, note, note, note,
        lambda: "r" + length(),
        lambda: "o" + num(2, 6) if CLEAN[0] else R.choice(["o", "o", "o-"]) + num(0, 10),
        lambda: pick([">", "<"], [">>", "<<"]),
        lambda: "l" + pick(["4", "8", "16", "2", "8."], [":" + num(1, 100)]),
        lambda: "v" + (num(0, 127) if CLEAN[0] else num(0, 140)),
        lambda: "q" + R.choice(["", "+", "-"]) + num(0, 10),
        lambda: "t" + num(20, 300) + (":" + num(1, 16) if R.random() < 0.2 else ""),
        lambda: "@" + num(0, 127) + R.choice(["", ".1", ".1.2", "..3"]),
        lambda: "ch" + (num(1, 16) if CLEAN[0] else num(0, 17)),
        lambda: "k" + R.choice(["", "+", "-"]) + num(0, 6),
        lambda: "kc" + pick(["+", "-", "="], ["2", "-1"]),
        lambda: "ks" + R.choice(["", "-"]) + num(0, 7),
        lambda: "u" + R.choice(["1", "2", "4", "3"]),
        lambda: R.choice(["|", "|", "|*", "|4"]),
        lambda: "\\" + num(0, 9),
        lambda: R.choice(["hit", "tone", "tone c", "hit c"]),
        lambda: note() + "&" + note() + ("&" + note() if R.random() < 0.3 else ""),
        lambda: pick(["V", "M", "P", "D"], ["Exp", "Vel"]) + num(0, 127)
        + (":" + num(1, 16) if R.random() < 0.3 else ""),
        lambda: "{" + " ".join(num(0, 127) for _ in range(R.randint(1, 6)))
        + pick(["}", "}", " | 64 v s 247}"], ["", " 300}", " x}"]),
        lambda: '"' + R.choice(["x", "y", "z", "intro", "\x82\xa0"]) + pick(['"'], [""]),
        lambda: pick(["/* c */"], ["/*", "// tail"]),
    ]
    faults = [
        lambda: R.choice(["$1F", "$g", "70000", "x", "!", "`", "(", ")", ",", "\x81", "\x82\xa0"]),
        lambda: R.choice(["o12", "v300", "@300", "ch0", "ch17", "t0", "l0", "q99", "k200", "ks9"]),
    ]
    if not CLEAN[0] and R.random() < 0.15:
        return R.choice(faults)()
    return R.choice(choices)()


def body(depth=0, n=None, macros=(), args=0):
    parts = []
    for _ in range(n if n is not None else R.randint(1, 12)):
        r = R.random()
        if r < 0.12 and depth < 3:
            inner = body(depth + 1, R.randint(1, 4), macros, args)
            if R.random() < 0.4:
                inner += " / " + body(depth + 1, R.randint(0, 2), macros, args)
            close = pick(["]", "]", "]"] + (["]*"] if depth == 0 and " / " not in inner else []), [""])
            count = pick(["", "2", "3", "1"], ["0", "256", "x"]) if close == "]" else ""
            parts.append("[" + inner + close + count)
        elif r < 0.2 and macros:
            name = R.choice(macros)
            call = "%" + name
            if R.random() < 0.5:
                call += "(" + ",".join(body(depth + 1, R.randint(0, 2), (), 0)
                                       for _ in range(R.randint(1, 3)))
                call += pick([")"], [""])
            parts.append(call)
        elif r < 0.25 and args:
            parts.append("%" + str(R.randint(1, args + 1)))
        else:
            parts.append(simple())
    return R.choice([" ", "", "  "]).join(parts)


def score():
    CLEAN[0] = R.random() < 0.5
    lines = []
    if R.random() < 0.2:
        lines.append("#clock " + pick(["96", "480", "192", "48"], ["0", "1", "65536", "x"]))
    if R.random() < 0.2:
        lines.append('#title "' + R.choice(["t", "song", "\x89\xb9"]) + '"')
    macros = []
    for _ in range(R.choice([0, 0, 1, 1, 2, 3])):
        name = R.choice(["M", "Arp", "R", "Up", "X1", "m"])
        args = R.choice([0, 0, 1, 2, 3])
        if name in macros and CLEAN[0]:
            continue
        sign = R.choice(["%", "%", "@"])
        lines.append(sign + name + " " + body(1, R.randint(1, 6), tuple(macros), args))
        macros.append(name)
    if R.random() < 0.05 and not CLEAN[0]:
        macros.append("Undef")
    tracks = R.sample(["A", "B", "C", "D", "Drum", "A1", "Z"], R.randint(1, 4))
    for t in tracks:
        lines.append(t + " " + body(0, None, tuple(macros)))
        if R.random() < 0.2:
            lines.append("+ " + body(1, R.randint(1, 4), tuple(macros)))
        if R.random() < 0.15:
            lines.append(t + " " + body(0, R.randint(1, 5), tuple(macros)))
    if R.random() < 0.15:
        lines.append("*" + pick(["A-B", "A,C", "A", "B-"], ["-", "a", "A-", "A,"]) + " " + body(1, 3))
    if R.random() < 0.1:
        lines.append(R.choice(["#off", "#on", " comment", "lower case", ""]))
    R.shuffle(lines) if R.random() < 0.1 else None
    lines = [line + (" // tail" if R.random() < 0.1 else "") for line in lines]
    text = "\n".join(lines) + R.choice(["\n", "", "\r\n"])
    if R.random() < 0.05:
        text = text.replace("\n", "\r\n")
    if R.random() < 0.05 and not CLEAN[0]:
        # raw bytes anywhere, never NUL (the file reader ends the text there)
        pos = R.randint(0, len(text))
        text = text[:pos] + "".join(chr(R.randint(1, 255)) for _ in range(R.randint(1, 8))) + text[pos:]
    return text.encode("latin-1")


def run(args):
    p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return p.returncode, p.stdout


def section(name, data):
    return b"@@ " + name.encode() + b" " + str(len(data)).encode() + b"\n" + data + b"\n"


def record(quern, tmp, index, text):
    qrn = os.path.join(tmp, "s.qrn")
    xrt = os.path.join(tmp, "s.xrt")
    with open(qrn, "wb") as f:
        f.write(text)
    if os.path.exists(xrt):
        os.remove(xrt)
    status, compiled = run([quern, "compile", qrn, "-o", xrt, "--encoding", "cp932",
                            "--report-encoding", "cp932"])
    out = section("case", b"%04d" % index) + section("score", text)
    out += section("compile", b"%d\n" % status + compiled)
    _, events = run([quern, "events", qrn, "--encoding", "cp932"])
    out += section("events", events)
    if status == 0:
        with open(xrt, "rb") as f:
            image = f.read()
        out += section("image", image.hex().encode())
        _, trace = run([quern, "trace", xrt, "--ticks", str(TRACE_TICKS)])
        out += section("trace", trace)
    return out


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    quern = sys.argv[1]
    out_dir = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        os.path.dirname(__file__), "..", "tests", "golden")
    scores = [score() for _ in range(CASES)]
    shards = [b""] * SHARDS
    with tempfile.TemporaryDirectory() as tmp:
        for i, text in enumerate(scores):
            shards[i % SHARDS] += record(quern, tmp, i, text)
    for k, data in enumerate(shards):
        with open(os.path.join(out_dir, "corpus-%02d.txt" % k), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
