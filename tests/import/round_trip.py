"""Round trip: every score that compiles (the golden corpus, the examples and
the end-to-end scores) goes out as MIDI, comes back through quern import and
out again; both files must hold the same notes (with velocities), channel
messages, SysEx and tempos at the same ticks.

For the examples the imported score of their exported file must be at
most twice the size of the original in bytes; the sizes are printed.

The scores listed in round_trip_known.txt do not hold yet (what stands in
the way is noted there); any other failure fails the test, and so does a
listed score that holds now (take it off the list).

usage: round_trip.py QUERN GOLDEN_DIR EXAMPLES_DIR E2E_CASES_DIR"""
import glob
import os
import subprocess
import sys
import tempfile

import smf_events


def golden_scores(folder):
    for path in sorted(glob.glob(os.path.join(folder, "corpus-*.txt"))):
        data = open(path, "rb").read()
        at = 0
        while True:
            at = data.find(b"@@ score ", at)
            if at < 0:
                break
            eol = data.index(b"\n", at)
            size = int(data[at + 9:eol])
            yield "%s@%d" % (os.path.basename(path), at), data[eol + 1:eol + 1 + size]
            at = eol + 1 + size


def file_scores(folder, prefix):
    for path in sorted(glob.glob(os.path.join(folder, "*.qrn"))):
        yield prefix + os.path.basename(path), open(path, "rb").read()


def run(args):
    return subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)


def compare(a, b):
    """None when both files send the same: every key's note-ons and
    note-offs in order at the same ticks, every controller's (program's,
    bend's, ...) messages in order at the same ticks, the same System
    Exclusive messages and the same tempo map; else what differs first."""
    (da, ea), (db, eb) = smf_events.read(a), smf_events.read(b)
    if da != db:
        return "division %d came back as %d" % (da, db)
    ka, kb = smf_events.key_sequences(ea), smf_events.key_sequences(eb)
    for key in sorted(set(ka) | set(kb)):
        if ka.get(key) != kb.get(key):
            return "notes differ: channel %d key %d, %s" % (
                key[0] + 1, key[1], first_difference(ka.get(key, []), kb.get(key, [])))
    (ma, ta), (mb, tb) = smf_events.message_sequences(ea), smf_events.message_sequences(eb)
    for what in sorted(set(ma) | set(mb), key=str):
        if ma.get(what) != mb.get(what):
            return "messages differ: %s, %s" % (what, first_difference(ma.get(what, []), mb.get(what, [])))
    if ta != tb:
        return "tempos differ: %s" % first_difference(ta, tb)
    return None


def first_difference(a, b):
    for x, y in zip(a, b):
        if x != y:
            return "%s against %s" % (x, y)
    return "%d events against %d" % (len(a), len(b))


def main():
    quern, golden, examples, e2e = sys.argv[1:5]
    scores = list(golden_scores(golden))
    scores += file_scores(examples, "examples/")
    scores += file_scores(e2e, "tests/e2e/cases/")
    compiled = held = 0
    failures = []
    sizes = []
    with tempfile.TemporaryDirectory() as tmp:
        s, m1, q, m2 = (os.path.join(tmp, n) for n in ("s.qrn", "a.mid", "b.qrn", "b.mid"))
        for name, text in scores:
            for f in (m1, q, m2):
                if os.path.exists(f):
                    os.unlink(f)
            open(s, "wb").write(text)
            if run([quern, "compile", s, "-o", os.path.join(tmp, "s.xrt")]).returncode != 0:
                continue
            if run([quern, "export", s, "-o", m1]).returncode != 0:
                continue
            compiled += 1
            r = run([quern, "import", m1, "-o", q])
            if r.returncode != 0:
                failures.append((name, "import failed: " + r.stderr.decode(errors="replace")))
                continue
            r = run([quern, "export", q, "-o", m2])
            if r.returncode != 0:
                failures.append((name, "the imported score does not export"))
                continue
            problem = compare(open(m1, "rb").read(), open(m2, "rb").read())
            if problem:
                failures.append((name, problem))
                continue
            held += 1
            if name.startswith("examples"):
                sizes.append((name, len(text), os.path.getsize(q)))
    print("round trip holds on %d of %d scores that compile" % (held, compiled))
    too_big = []
    for name, original, imported in sizes:
        print("size %s: %d -> %d bytes (%.2fx)" % (name, original, imported, imported / original))
        if imported > 2 * original:
            too_big.append(name)
    known_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "round_trip_known.txt")
    known = {line.split()[0] for line in open(known_path) if line.strip() and line[0] != "#"}
    failed = {name for name, _ in failures}
    for name, problem in failures:
        print("%s %s: %s" % ("known" if name in known else "FAIL", name, problem))
    for name in sorted(known - failed):
        print("FAIL %s holds now: take it off round_trip_known.txt" % name)
    for name in too_big:
        print("FAIL %s: the imported score is more than twice the size of the original" % name)
    return 0 if failed == known and not too_big else 1


if __name__ == "__main__":
    sys.exit(main())
