#!/usr/bin/env python3
"""quern roll end to end: the SVG parses as XML, holds one note rectangle per
note-on of the trace, puts notes where the geometry says, follows the range
options, says when an endless song was cut, and grows with the notes rather
than with the song's length."""
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

QUERN = sys.argv[1]
EXAMPLES = sys.argv[2]
NS = "{http://www.w3.org/2000/svg}"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def roll(score_text, *options, name="score.qrn"):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, name)
        if score_text is None:
            path = name
        else:
            with open(path, "wb") as f:
                f.write(score_text.encode("ascii"))
        out = os.path.join(tmp, "out.svg")
        subprocess.run([QUERN, "roll", path, "-o", out, *options], check=True)
        data = open(out, "rb").read()
        trace = subprocess.run([QUERN, "trace", path], check=True, capture_output=True,
                               text=True).stdout
    return data, ET.fromstring(data), trace


def notes(root):
    return [r for r in root.iter(NS + "rect") if r.get("class") == "note"]


def note_ons(trace):
    count = 0
    for line in trace.splitlines():
        parts = line.split()
        if len(parts) == 4 and parts[1][0] == "9" and parts[3] != "00":
            count += 1
    return count


def map_places(path):
    """The place of each note-on as `quern map` prints it, in order."""
    out = subprocess.run([QUERN, "map", path], check=True, capture_output=True,
                         text=True).stdout
    return [tuple(line.split()[2].split(":")) for line in out.splitlines()]


def roll_and_map(score_text, name="score.qrn"):
    with tempfile.TemporaryDirectory() as tmp:
        path = name
        if score_text is not None:
            path = os.path.join(tmp, name)
            with open(path, "wb") as f:
                f.write(score_text.encode("ascii"))
        data, root, trace = roll(None, name=path)
        return root, trace, map_places(path)


# One rectangle per note-on, in the order the trace sends them, each at the
# place `quern map` gives: over the examples and scores with loops, macros,
# "&" groups, phases and several tracks.
scores = ["A c d e f\n", "A c&e&g [c d]3\n", "%M c d\nA %M e %M\nB o3 c4 c4\n",
          "A \"one\" c d \"two\" e\nB \"one\" f g a \"two\" b\n",
          "%C c&e %1\nA u2 [%C(g) | r]2 ~c _d\nB ch10 l8 [c [c+ d]2]3\n"]
inputs = [(score, "score.qrn") for score in scores]
inputs += [(None, os.path.join(EXAMPLES, e)) for e in sorted(os.listdir(EXAMPLES))
           if e.endswith(".qrn")]
for text, name in inputs:
    root, trace, places = roll_and_map(text, name)
    what = repr(text) if text is not None else name
    check(len(notes(root)) == note_ons(trace), "note count of " + what)
    drawn = [(r.get("data-line"), r.get("data-col")) for r in notes(root)]
    check(drawn == places, "places of " + what)

# Exact places: 2 pixels a tick from the keyboard's edge at 40; rows of 6
# pixels under the 28-pixel ruler, the octave c4..b4 drawn (c4 lowest).
_, root, _ = roll("A c d e f\n", "--width", "440", "--to-tick", "200")
rects = notes(root)
check([r.get("x") for r in rects] == ["42", "138", "234", "330"], "x of the notes")
check([r.get("y") for r in rects] == ["94", "82", "70", "64"], "y of the notes")
check([(r.get("data-line"), r.get("data-col")) for r in rects] ==
      [("0", "2"), ("0", "4"), ("0", "6"), ("0", "8")], "data-line/data-col")
title = rects[1].find(NS + "title").text
check(title == "A d4 1:2 length 48 velocity 80 line 0:4", "title " + title)
labels = [t.text for t in root.iter(NS + "text")]
check("c4" in labels and "1" in labels, "octave label and bar number")

# A note that came through macros names its place and the call sites,
# innermost first, as `quern map` does.
_, root, _ = roll("%In c %1\n%Out %In(%1) g\nA r %Out(e)\n")
titles = [r.find(NS + "title").text for r in notes(root)]
check(titles[0].endswith(" line 0:4 < 1:5 < 2:4"), "title through macros " + titles[0])

# Range options: ticks and tracks.
_, root, _ = roll("A c d e f\nB g a\n", "--from-tick", "49", "--mute", "B")
check(len(notes(root)) == 3, "--from-tick and --mute")

# An endless song is drawn up to the bound and says so.
_, root, _ = roll("A [c d]*\n", "--ticks", "2000")
check(any(t.get("class") == "bounded" for t in root.iter(NS + "text")), "endless song marked")
check(len(notes(root)) == 2000 // 48 + 1, "endless song drawn to the bound")

# The size follows the notes: ten times the rests add almost nothing.
short, _, _ = roll("A c [r1]250 d\n")
long, _, _ = roll("A c [[r1]250]10 d\n")
check(len(long) < len(short) + 200, "size grows with ticks: %d vs %d" % (len(long), len(short)))

# A gradual tempo change sets a tempo on many ticks: the marks are thinned
# to the width, so the file does not grow with the change's length.
_, root, _ = roll("A t60 t200:1^1^1^1^1^1^1^1 [c]32\n", "--width", "800")
tempo = [g for g in root.iter(NS + "g") if g.get("class") == "tempo"][0]
marks = len(list(tempo.iter(NS + "path")))
check(2 <= marks <= 800 // 24 + 1, "tempo marks thinned: %d" % marks)

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
