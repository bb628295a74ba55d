#!/usr/bin/env python3
"""Writes Standard MIDI Files with the timing of a person playing: jittered
starts and ends, overlapping legato (now and then a key struck again while
it still sounds), sustain pedal, pitch-bend curves with channel pressure,
a pad held longer than a note can be written, running status, format 0 and
format 1, several tempos and time signatures, a key signature, a text and a
marker, and a System Exclusive message longer than a byte list holds.

usage: make_human_midi.py OUT_DIR [COUNT] [--on-grid]
With --on-grid the notes lie on sixteenths (no jitter), for the readability
measure. Files are named human-N.mid; the same seed gives the same files."""
import os
import random
import struct
import sys


def varlen(v):
    out = [v & 127]
    v >>= 7
    while v:
        out.append((v & 127) | 128)
        v >>= 7
    return bytes(reversed(out))


def track_chunk(events, running_status):
    """events: (tick, bytes) in any order; written sorted, stable."""
    events = sorted(events, key=lambda e: e[0])
    out, last, status = bytearray(), 0, None
    for tick, data in events:
        out += varlen(tick - last)
        last = tick
        if running_status and data[0] < 0xF0 and data[0] == status:
            out += data[1:]
        else:
            out += data
            status = data[0] if data[0] < 0xF0 else None
    out += b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(out)) + bytes(out)


def song(rng, division, on_grid):
    """Returns (conductor events, [(channel, events)])."""
    sixteenth = division // 4
    conductor = [(0, b"\xff\x03\x05Human"),
                 (0, bytes([0xFF, 0x59, 2, rng.randint(-4, 4) & 255, 0])),
                 (0, b"\xff\x01\x0cplayed by me"),
                 (division * 4, b"\xff\x06\x05Verse")]
    bars, t = rng.randint(4, 8), 0
    for bar in range(bars):
        num = rng.choice([4, 3, 6]) if bar % 3 == 0 else None
        if num is not None or bar == 0:
            num = num or 4
            den = 3 if num == 6 else 2
            conductor.append((t, bytes([0xFF, 0x58, 4, num, den, 24, 8])))
            length = num * division * 4 // (1 << den)
        if bar % 2 == 0:
            us = 60000000 // rng.choice([72, 96, 120, 132, 140])
            conductor.append((t, b"\xff\x51\x03" + us.to_bytes(3, "big")))
        t += length
    end = t
    parts = []
    for channel in rng.sample(range(16), rng.randint(1, 3)):
        ev = [(0, bytes([0xC0 | channel, rng.randrange(128)])),
              (0, bytes([0xB0 | channel, 7, rng.randint(60, 120)]))]
        t = 0
        sounding = {}  # key -> end: a key still down cannot be struck again
        while t < end - division:
            step = rng.choice([1, 2, 2, 4]) * sixteenth
            jitter = 0 if on_grid else rng.randint(-sixteenth // 4, sixteenth // 4)
            start = max(0, t + jitter)
            legato = 0 if on_grid else rng.randint(-sixteenth // 2, sixteenth // 2)
            length = max(1, step + legato)
            keys = [rng.randint(36, 84)]
            if rng.random() < 0.25:
                keys += [keys[0] + 4, keys[0] + 7]
            vel = rng.randint(40, 110)
            # A key still down is struck again only now and then.
            again = not on_grid and rng.random() < 0.1
            keys = [min(k, 127) for k in keys if again or sounding.get(min(k, 127), -1) <= start]
            for k in keys:
                sounding[k] = start + length
                ev.append((start, bytes([0x90 | channel, min(k, 127), vel])))
                off = bytes([0x80 | channel, min(k, 127), 64]) if rng.random() < 0.5 \
                    else bytes([0x90 | channel, min(k, 127), 0])
                ev.append((start + length, off))
            t += step
        if not on_grid:
            for bar_start in range(0, end, division * 4):
                ev.append((bar_start + 3, bytes([0xB0 | channel, 64, 127])))
                ev.append((bar_start + division * 4 - 5, bytes([0xB0 | channel, 64, 0])))
            at = rng.randrange(end // 2)
            for i in range(24):
                bend = 8192 + int(3000 * (i / 23.0)) if i < 23 else 8192
                ev.append((at + i * 7, bytes([0xE0 | channel, bend & 127, bend >> 7])))
                ev.append((at + i * 7 + 3, bytes([0xD0 | channel, 40 + i])))
            if end > 16000:  # a pad longer than the longest length
                ev.append((0, bytes([0x90 | channel, 40, 50])))
                ev.append((end, bytes([0x80 | channel, 40, 0])))
            if rng.random() < 0.3:
                ev.append((division * 2, bytes([0xF0]) + varlen(301) + bytes(range(1, 101)) * 3
                           + b"\xf7"))
        ev.append((division, bytes([0xF0, 5, 0x7E, 0x7F, 9, 1, 0xF7])))
        parts.append((channel, ev))
    return conductor, parts


def write(path, rng, on_grid):
    division = rng.choice([96, 120, 480, 960])
    conductor, parts = song(rng, division, on_grid)
    fmt = rng.choice([0, 1])
    running = rng.random() < 0.7
    if fmt == 0:
        events = conductor + [e for _, ev in parts for e in ev]
        chunks = [track_chunk(events, running)]
    else:
        chunks = [track_chunk(conductor, running)] + [track_chunk(ev, running) for _, ev in parts]
    header = b"MThd" + struct.pack(">IHHH", 6, fmt, len(chunks), division)
    with open(path, "wb") as f:
        f.write(header + b"".join(chunks))


def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 and sys.argv[2].isdigit() else 8
    on_grid = "--on-grid" in sys.argv
    os.makedirs(out, exist_ok=True)
    rng = random.Random(7 if on_grid else 25)
    for i in range(count):
        write(os.path.join(out, "human-%d.mid" % i), rng, on_grid)


if __name__ == "__main__":
    main()
