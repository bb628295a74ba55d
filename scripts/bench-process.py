#!/usr/bin/env python3
"""Whole-process figures of `quern compile`, for make bench.

Usage: scripts/bench-process.py QUERN WORK_DIR

  - wall time of `quern compile` on a 10 KB score (median of many runs),
    beside the same figure for /bin/true (what starting any process costs);
  - peak memory (maximum resident set) of `quern compile` on a 5 MB score of
    plain notes, against the goal of 3 x score size + 10 MiB;
  - `quern compile` against abc2midi on equivalent scores of about 1 MB (the
    same notes in 32 parts: quern tracks, ABC voices), runs alternating in
    the same invocation; the ratio is abc2midi's median over quern's.
Prints one "name: value" line per figure.
"""
import os
import resource
import shutil
import statistics
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


def medians(runs):
    return (statistics.median(r.wall for r in runs) * 1000,
            statistics.median(r.cpu for r in runs) * 1000)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    quern, work = os.path.abspath(sys.argv[1]), sys.argv[2]
    os.makedirs(work, exist_ok=True)

    small = os.path.join(work, "small.qrn")
    size = write_quern(small, 4, 1024)
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
    print("peak_memory_5mb_score_bytes: %d" % size)
    rss = run([quern, "compile", big, "-o", big + ".xrt"]).rss_mib
    if not os.path.exists(big + ".xrt"):
        sys.exit("bench: the 5 MB score did not compile")
    print("peak_memory_5mb_score_mib: %.1f" % rss)
    print("peak_memory_goal_mib: %.1f" % (3 * size / 1048576.0 + 10))

    abc2midi = shutil.which("abc2midi")
    qrn = os.path.join(work, "equal1mb.qrn")
    abc = os.path.join(work, "equal1mb.abc")
    qsize = write_quern(qrn, 32, 12800)
    asize = write_abc(abc, 32, 12800)
    print("abc_compare_quern_score_bytes: %d" % qsize)
    print("abc_compare_abc_score_bytes: %d" % asize)
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

    # quern import against midi2abc on the same 1 MB MIDI file, alternating.
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
    q_wall, q_cpu = medians(q_runs)
    print("quern_import_1mb_ms_median: wall %.1f, cpu %.1f" % (q_wall, q_cpu))
    if m_runs:
        m_wall, m_cpu = medians(m_runs)
        print("midi2abc_1mb_ms_median: wall %.1f, cpu %.1f" % (m_wall, m_cpu))
        print("midi2abc_over_quern_import_ratio: wall %.2f, cpu %.2f" % (m_wall / q_wall, m_cpu / q_cpu))
    else:
        print("midi2abc_over_quern_import_ratio: midi2abc not installed")


if __name__ == "__main__":
    main()
