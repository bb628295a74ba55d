#!/usr/bin/env python3
"""Whole-process figures of `quern compile`, for make bench.

Usage: scripts/bench-process.py QUERN WORK_DIR

  - wall time of `quern compile` on a 10 KB score (median of many runs),
    beside the same figure for /bin/true (what starting any process costs);
  - peak memory (maximum resident set) of `quern compile` on a 5 MB score of
    plain notes, against the goal of 3 x score size + 10 MiB;
  - `quern compile` against abc2midi on equivalent scores of about 1 MB (the
    same notes in 15 parts: quern tracks, ABC voices; abc2midi gives each
    voice a channel of its own and keeps one back, so 15 is the most it
    converts without dropping parts), runs alternating in the same invocation;
    the ratio is abc2midi's median over quern's. Both programs must work
    without a message, and their MIDI files must hold the same notes, or
    the comparison stops: unequal work would give a meaningless ratio.
  - `quern import` against midi2abc on one 1 MB MIDI file, alternating; the
    score quern writes must compile without a message.
Every score is checked first: one that does not compile without a message
stops the run. With QUERN_BENCH_ROWS=import only the import rows run.
Prints one "name: value" line per figure.
"""
import os
import resource
import shutil
import re
import statistics
import subprocess
import sys
import time

PHRASE = ["c", "d", "e", "f", "g", "a", "b", "c'", "c", "e", "g", "c",
          "d", "e", "f", "g"]  # ABC spelling; c' is the c an octave up


def quern_note(n):
    return ">c<" if n == "c'" else n


def write_quern(path, parts, notes_per_part):
    """Eighth notes, 16 to a line, in `parts` tracks."""
    names = ["T" + chr(ord("A") + p // 26) + chr(ord("A") + p % 26) for p in range(parts)]
    with open(path, "w") as f:
        f.write("#clock 192\n")
        for p, name in enumerate(names):
            f.write(name + " l8 o4\n")
            for _ in range(notes_per_part // len(PHRASE)):
                f.write(name + " " + " ".join(quern_note(n) for n in PHRASE) + "\n")
    return os.path.getsize(path)


def write_abc(path, parts, notes_per_part):
    """The same notes as write_quern, one ABC voice per part."""
    with open(path, "w") as f:
        f.write("X:1\nT:bench\nM:4/4\nL:1/8\nQ:1/4=120\nK:C\n")
        for p in range(parts):
            f.write("V:%d\n" % (p + 1))
            for _ in range(notes_per_part // len(PHRASE)):
                f.write(" ".join(PHRASE[:8]) + " | " + " ".join(PHRASE[8:]) + " |\n")
    return os.path.getsize(path)


def write_midi(path, tracks, notes_per_track):
    """A format 1 Standard MIDI File with running status: notes of a few
    lengths on a sixteenth grid, chords now and then, several channels."""
    import struct
    chunks = []
    for t in range(tracks):
        channel = t % 16
        out = bytearray(b"\x00" + bytes([0xC0 | channel, t % 128]))
        out += b"\x00" + bytes([0x90 | channel])
        for i in range(notes_per_track):
            key = 48 + (i * 7 + t * 5) % 36
            length = 120 * (1 + (i % 3))
            out += bytes([key, 64 + i % 40])
            out += bytes([0x80 | (length >> 7), length & 127, key, 0]) + b"\x00"
        out = out[:-1] + b"\x00\xff\x2f\x00"
        chunks.append(b"MTrk" + struct.pack(">I", len(out)) + bytes(out))
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 1, tracks, 480) + b"".join(chunks))
    return os.path.getsize(path)


class Run:
    def __init__(self, wall, cpu, rss_mib):
        self.wall, self.cpu, self.rss_mib = wall, cpu, rss_mib


def run(args):
    """One child process: wall time and CPU time (user + system) in seconds,
    and its maximum resident set in MiB. On a machine shared with other work
    the CPU time is the steadier figure; both are printed. The child is
    started with posix_spawn, so no Python code runs in it and its times are
    the program's own."""
    start = time.perf_counter()
    pid = os.posix_spawn(args[0], args, os.environ,
                         file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                       (os.POSIX_SPAWN_DUP2, 1, 2)])
    _, _, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    return Run(wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0)


def check_clean(quern, score):
    """Stops the bench unless `quern compile` takes the score without a
    message: a figure for a score that ends in errors measures less work."""
    done = subprocess.run([quern, "compile", score, "-o", score + ".xrt"],
                          capture_output=True)
    if done.returncode != 0 or re.search(rb" : (Error|Warning|Fatal) ", done.stdout):
        sys.exit("bench: %s does not compile cleanly:\n%s" %
                 (score, done.stdout.decode("cp932", "replace")))


def note_ons(path):
    """The note-ons that sound (velocity above 0) in a Standard MIDI File,
    read with running status; meta and SysEx events are skipped."""
    data, pos, count = open(path, "rb").read(), 14, 0
    while pos + 8 <= len(data):
        end = pos + 8 + int.from_bytes(data[pos + 4:pos + 8], "big")
        pos, running = pos + 8, 0
        while pos < end:
            while data[pos] & 0x80:  # the delta time
                pos += 1
            pos += 1
            status = running
            if data[pos] & 0x80:
                status, pos = data[pos], pos + 1
            if status >= 0xF0:  # meta and SysEx keep the running status
                pos += status == 0xFF  # the meta type
                length = 0
                while True:
                    length, pos = (length << 7) | (data[pos] & 0x7F), pos + 1
                    if not data[pos - 1] & 0x80:
                        break
                pos += length
                continue
            running = status
            size = 1 if status & 0xF0 in (0xC0, 0xD0) else 2
            if status & 0xF0 == 0x90 and data[pos + 1] > 0:
                count += 1
            pos += size
        pos = end
    return count


def check_equal_work(quern, qrn, abc2midi, abc):
    """Stops the comparison unless abc2midi converts the ABC score without a
    warning and both programs put out the same number of notes."""
    done = subprocess.run([abc2midi, abc, "-o", abc + ".mid"], capture_output=True, text=True)
    said = [l for l in (done.stdout + done.stderr).splitlines()
            if re.search(r"warning|error|exceeded", l, re.I)]
    if done.returncode != 0 or said:
        sys.exit("bench: abc2midi did not convert %s cleanly:\n%s" % (abc, "\n".join(said[:5])))
    subprocess.run([quern, "export", qrn, "-o", qrn + ".mid"], check=True, capture_output=True)
    q_notes, a_notes = note_ons(qrn + ".mid"), note_ons(abc + ".mid")
    print("abc_compare_notes: quern %d, abc2midi %d" % (q_notes, a_notes))
    if q_notes != a_notes:
        sys.exit("bench: the two programs wrote different numbers of notes")


def medians(runs):
    return (statistics.median(r.wall for r in runs) * 1000,
            statistics.median(r.cpu for r in runs) * 1000)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    quern, work = os.path.abspath(sys.argv[1]), sys.argv[2]
    os.makedirs(work, exist_ok=True)
    if os.environ.get("QUERN_BENCH_ROWS") == "import":
        bench_import(quern, work)
        return

    small = os.path.join(work, "small.qrn")
    size = write_quern(small, 4, 1024)
    check_clean(quern, small)
    true = shutil.which("true")
    runs, floor = [], []
    for _ in range(60):
        runs.append(run([quern, "compile", small, "-o", small + ".xrt"]))
        floor.append(run([true]))
    print("compile_10kb_score_bytes: %d" % size)
    print("compile_10kb_ms_median: wall %.2f, cpu %.2f" % medians(runs))
    # The cost of starting any process on this machine, in the same run.
    print("process_floor_true_ms_median: wall %.2f, cpu %.2f" % medians(floor))

    big = os.path.join(work, "plain5mb.qrn")
    size = write_quern(big, 120, 17000)
    check_clean(quern, big)
    print("peak_memory_5mb_score_bytes: %d" % size)
    rss = run([quern, "compile", big, "-o", big + ".xrt"]).rss_mib
    if not os.path.exists(big + ".xrt"):
        sys.exit("bench: the 5 MB score did not compile")
    print("peak_memory_5mb_score_mib: %.1f" % rss)
    print("peak_memory_goal_mib: %.1f" % (3 * size / 1048576.0 + 10))

    abc2midi = shutil.which("abc2midi")
    qrn = os.path.join(work, "equal1mb.qrn")
    abc = os.path.join(work, "equal1mb.abc")
    qsize = write_quern(qrn, 15, 27296)
    asize = write_abc(abc, 15, 27296)
    check_clean(quern, qrn)
    print("abc_compare_quern_score_bytes: %d" % qsize)
    print("abc_compare_abc_score_bytes: %d" % asize)
    if abc2midi:
        check_equal_work(quern, qrn, abc2midi, abc)
    q_runs, a_runs = [], []
    for _ in range(7):
        q_runs.append(run([quern, "compile", qrn, "-o", qrn + ".xrt"]))
        if abc2midi:
            a_runs.append(run([abc2midi, abc, "-o", abc + ".mid", "-silent"]))
    q_wall, q_cpu = medians(q_runs)
    print("quern_compile_1mb_ms_median: wall %.1f, cpu %.1f" % (q_wall, q_cpu))
    if a_runs:
        a_wall, a_cpu = medians(a_runs)
        print("abc2midi_1mb_ms_median: wall %.1f, cpu %.1f" % (a_wall, a_cpu))
        print("abc2midi_over_quern_ratio: wall %.2f, cpu %.2f" % (a_wall / q_wall, a_cpu / q_cpu))
    else:
        print("abc2midi_over_quern_ratio: abc2midi not installed")

    bench_import(quern, work)


def bench_import(quern, work):
    """quern import against midi2abc on the same 1 MB MIDI file, alternating.
    Both convert the whole file; the score quern writes must compile without
    a message."""
    midi2abc = shutil.which("midi2abc")
    mid = os.path.join(work, "import1mb.mid")
    print("import_midi_file_bytes: %d" % write_midi(mid, 16, 8500))
    q_runs, m_runs = [], []
    for _ in range(7):
        for out in (mid + ".qrn", mid + ".abc"):
            if os.path.exists(out):
                os.unlink(out)
        q_runs.append(run([quern, "import", mid, "-o", mid + ".qrn"]))
        if midi2abc:
            m_runs.append(run([midi2abc, mid, "-o", mid + ".abc"]))
        for out in [mid + ".qrn"] + ([mid + ".abc"] if midi2abc else []):
            if not os.path.exists(out) or os.path.getsize(out) == 0:
                sys.exit("bench: %s was not written" % out)
    check_clean(quern, mid + ".qrn")
    q_wall, q_cpu = medians(q_runs)
    print("quern_import_1mb_ms_median: wall %.1f, cpu %.1f" % (q_wall, q_cpu))
    print("quern_import_1mb_goal_ms: 500")
    if m_runs:
        m_wall, m_cpu = medians(m_runs)
        print("midi2abc_1mb_ms_median: wall %.1f, cpu %.1f" % (m_wall, m_cpu))
        print("midi2abc_over_quern_import_ratio: wall %.2f, cpu %.2f" % (m_wall / q_wall, m_cpu / q_cpu))
    else:
        print("midi2abc_over_quern_import_ratio: midi2abc not installed")


if __name__ == "__main__":
    main()
