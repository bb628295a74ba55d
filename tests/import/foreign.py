"""Files that other programs wrote: human-timed files from
scripts/make_human_midi.py and files that abc2midi writes from tunes written
here. Without a grid, importing and exporting again keeps every note's
channel, key, velocity, start and end, and every other message; with
--grid 16 the notes move by half a step at most and the report says so.
Prints the readability figure of the files that lie on a grid.

usage: foreign.py QUERN SOURCE_DIR"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

import smf_events

TUNES = {
    "reel": """X:1
T:Test Reel
M:4/4
L:1/8
Q:1/4=132
K:D
|:dfaf gfed|cdef gece|dfaf gfed|1 cAGc d4:|2 cAGc d2 fg||
|:a2 fa gfed|[Ac]2 [Bd]2 [ce]2 [df]2|(3agf (3gfe d2 A2|[DFA]8:|
""",
    "waltz": """X:2
T:Test Waltz
M:3/4
L:1/4
Q:1/4=96
K:G
G>AB|c2 e|d3/2 c/ B|A3|
M:2/4
[GB] [Ad]|(3ABc d|
M:3/4
%%MIDI program 40
g3-|g2 z|[G,DGB]3|]
""",
    "voices": """X:3
T:Two Voices
M:6/8
L:1/8
Q:3/8=80
K:Am
V:1
%%MIDI channel 1
ABc d2e|e3- e2 z|
V:2
%%MIDI channel 2
%%MIDI program 33
A,3 E,3|A,,6|
""",
}


def run(args, **kw):
    return subprocess.run(args, capture_output=True, timeout=120, **kw)


def check_exact(quern, mid, tmp):
    q, back = os.path.join(tmp, "x.qrn"), os.path.join(tmp, "x.mid")
    for f in (q, back):
        if os.path.exists(f):
            os.unlink(f)
    r = run([quern, "import", mid, "-o", q])
    if r.returncode != 0:
        return "import failed: " + r.stderr.decode(errors="replace"), None
    if run([quern, "export", q, "-o", back]).returncode != 0:
        return "the imported score does not export", None
    a = smf_events.read(open(mid, "rb").read())
    b = smf_events.read(open(back, "rb").read())
    if a[0] != b[0]:
        return "division %d came back as %d" % (a[0], b[0]), None
    if smf_events.notes(a[1]) != smf_events.notes(b[1]):
        return "notes differ", None
    # Beyond the notes: every key's note-ons and note-offs in their order,
    # every other message in its order, the tempo map.
    if smf_events.key_sequences(a[1]) != smf_events.key_sequences(b[1]):
        return "the note-ons and note-offs of a key differ in order", None
    if smf_events.message_sequences(a[1]) != smf_events.message_sequences(b[1]):
        return "other messages differ", None
    return None, open(q, "rb").read()


def check_grid(quern, mid, tmp):
    q, back = os.path.join(tmp, "g.qrn"), os.path.join(tmp, "g.mid")
    for f in (q, back):
        if os.path.exists(f):
            os.unlink(f)
    r = run([quern, "import", mid, "-o", q, "--grid", "16"])
    if r.returncode != 0 or run([quern, "export", q, "-o", back]).returncode != 0:
        return "grid import failed"
    report = r.stderr.decode()
    m = re.search(r"grid 16: (\d+) note starts and ends moved, the largest by (\d+) ticks", report)
    if not m:
        return "no grid line in the report"
    division, ea = smf_events.read(open(mid, "rb").read())
    eb = smf_events.read(open(back, "rb").read())[1]
    step = division // 4
    a, b = {}, {}
    for n in smf_events.notes(ea):
        a.setdefault(n[:3], []).append(n[3:])
    for n in smf_events.notes(eb):
        b.setdefault(n[:3], []).append(n[3:])
    if sorted(a) != sorted(b) or any(len(a[k]) != len(b[k]) for k in a):
        return "grid changed which notes there are"
    moves, largest = 0, 0
    for k in a:
        for (s0, e0), (s1, e1) in zip(sorted(a[k]), sorted(b[k])):
            if s1 % step or e1 % step:
                return "a note off the grid"
            if abs(s1 - s0) * 2 > step:
                return "a start moved more than half a step"
            moves += s1 != s0
            largest = max(largest, abs(s1 - s0))
            snapped = (e0 + step // 2) // step * step
            if snapped <= s1:  # too short for the grid: one step long
                if e1 != s1 + step:
                    return "a short note not made one step long"
                continue
            if abs(e1 - e0) * 2 > step:
                return "an end moved more than half a step: %s %s" % ((s0, e0), (s1, e1))
            moves += e1 != e0
            largest = max(largest, abs(e1 - e0))
    if int(m.group(2)) != largest or int(m.group(1)) != moves:
        return "report says %s moves, largest %s; seen %d, %d" % (m.group(1), m.group(2), moves, largest)
    return None


def plain_note_share(score):
    """Share of notes written without a length in ticks (a note value that
    is no power of two or its triplet)."""
    clock = int(re.search(rb"#clock (\d+)", score).group(1))
    values = {1, 2, 4, 8, 16, 32, 64, 128, 3, 6, 12, 24, 48, 96}
    total = plain = 0
    for line in score.splitlines():
        if not line[:1].isupper() and not line.startswith(b"+"):
            continue
        for m in re.finditer(rb"(?<![a-z])[a-g][+]?((?:\d+\.?\^?)*)(;[\d^.]+)?", line.split(b" ", 1)[-1]):
            total += 1
            terms = re.findall(rb"\d+", m.group(1) + (m.group(2) or b""))
            plain += all(int(t) in values for t in terms)
    return plain, total


def main():
    quern, source = sys.argv[1:3]
    failures, checked = [], 0
    with tempfile.TemporaryDirectory() as tmp:
        maker = os.path.join(source, "scripts", "make_human_midi.py")
        run([sys.executable, maker, os.path.join(tmp, "human"), "12"], check=True)
        run([sys.executable, maker, os.path.join(tmp, "grid"), "6", "--on-grid"], check=True)
        files = sorted(glob.glob(os.path.join(tmp, "human", "*.mid")))
        grid_files = sorted(glob.glob(os.path.join(tmp, "grid", "*.mid")))
        if shutil.which("abc2midi"):
            for name, tune in TUNES.items():
                abc = os.path.join(tmp, name + ".abc")
                open(abc, "w").write(tune)
                run(["abc2midi", abc, "-o", os.path.join(tmp, name + ".mid")])
                if os.path.exists(os.path.join(tmp, name + ".mid")):
                    files.append(os.path.join(tmp, name + ".mid"))
                else:
                    failures.append((name, "abc2midi wrote nothing"))
        else:
            print("abc2midi is not installed: its files are not checked")
        plain = total = 0
        for mid in files + grid_files:
            checked += 1
            problem, score = check_exact(quern, mid, tmp)
            if problem is None:
                problem = check_grid(quern, mid, tmp)
            if problem:
                failures.append((os.path.basename(mid), problem))
            elif mid in grid_files:
                p, t = plain_note_share(score)
                plain, total = plain + p, total + t
    print("foreign files: %d checked, %d failed" % (checked, len(failures)))
    share = 100.0 * plain / total if total else 0.0
    print("notes on grid files written without tick lengths: %d of %d (%.1f%%)" % (plain, total, share))
    for name, problem in failures:
        print("FAIL %s: %s" % (name, problem))
    return 1 if failures or share < 95.0 else 0


if __name__ == "__main__":
    sys.exit(main())
