"""A small, independent Standard MIDI File reader for the import tests: the
events of a file as comparable tuples, at absolute ticks."""
import struct


def _varlen(data, at):
    value = 0
    while True:
        b = data[at]
        at += 1
        value = (value << 7) | (b & 127)
        if not b & 128:
            return value, at


def read(data):
    """Returns (division, events); events are (tick, kind, ...) tuples."""
    assert data[:4] == b"MThd"
    length, fmt, ntracks, division = struct.unpack(">IHHH", data[4:14])
    at = 8 + length
    events = []
    for track in range(ntracks):
        assert data[at:at + 4] == b"MTrk"
        (size,) = struct.unpack(">I", data[at + 4:at + 8])
        end = at + 8 + size
        at += 8
        tick, running = 0, 0
        while at < end:
            delta, at = _varlen(data, at)
            tick += delta
            status = data[at]
            if status < 0x80:
                status = running
            else:
                at += 1
            if status == 0xFF:
                kind = data[at]
                n, at = _varlen(data, at + 1)
                body = data[at:at + n]
                at += n
                if kind == 0x51:
                    events.append((tick, track, "tempo", int.from_bytes(body, "big")))
                elif kind == 0x2F:
                    break  # what follows the end of the track is no part of it
            elif status in (0xF0, 0xF7):
                n, at = _varlen(data, at)
                body = data[at:at + n]
                at += n
                events.append((tick, track, "sysex", bytes([status]) + body if status == 0xF0 else body))
            else:
                running = status
                n = 1 if status & 0xF0 in (0xC0, 0xD0) else 2
                events.append((tick, track, "ch", status, *data[at:at + n]))
                at += n
        at = end
    events.sort(key=lambda e: e[0])
    return division, events


def notes(events):
    """Notes paired first in, first out: (channel, key, velocity, start, end)."""
    sounding, out = {}, []
    for e in events:
        if e[2] != "ch":
            continue
        status = e[3]
        kind, ch = status & 0xF0, status & 15
        if kind == 0x90 and e[5] > 0:
            sounding.setdefault((ch, e[4]), []).append((e[0], e[5]))
        elif kind in (0x80, 0x90):
            waiting = sounding.get((ch, e[4]))
            if waiting:
                start, vel = waiting.pop(0)
                out.append((ch, e[4], vel, start, e[0]))
    return sorted(out)


def key_sequences(events):
    """The note-ons and note-offs of every channel and key in file order, as
    (tick, velocity) with velocity 0 for a note-off: what a synthesizer
    hears of each key."""
    out = {}
    for e in events:
        if e[2] == "ch" and e[3] & 0xF0 in (0x80, 0x90):
            velocity = e[5] if e[3] & 0xF0 == 0x90 else 0
            out.setdefault((e[3] & 15, e[4]), []).append((e[0], velocity))
    return out


def message_sequences(events):
    """Every other message in file order, one list per thing it sets: a
    controller of a channel, a channel's program, bend or pressure, a key's
    pressure; System Exclusive and escapes as one list, the bytes of one
    tick joined (a message sent in parts is the same bytes); and the tempo
    map where it changes."""
    out = {}
    for e in events:
        if e[2] == "ch" and e[3] & 0xF0 not in (0x80, 0x90):
            what = (e[3],) + ((e[4],) if e[3] & 0xF0 in (0xA0, 0xB0) else ())
            out.setdefault(what, []).append((e[0], bytes(e[3:])))
        elif e[2] == "sysex" and e[3]:  # an escape of no bytes sends nothing
            sent = out.setdefault("sysex", [])
            if sent and sent[-1][0] == e[0]:
                sent[-1] = (e[0], sent[-1][1] + e[3])
            else:
                sent.append((e[0], e[3]))
    return out, others(events)[1]


def others(events):
    """Controllers, programs, bends, pressures and SysEx as sorted
    (tick, bytes), and the tempo map as (tick, tempo) where it changes."""
    out, tempos, last = [], {}, 500000
    for e in events:
        if e[2] == "ch" and e[3] & 0xF0 not in (0x80, 0x90):
            out.append((e[0], bytes(e[3:])))
        elif e[2] == "sysex":
            out.append((e[0], e[3]))
        elif e[2] == "tempo":
            tempos[e[0]] = e[3]
    changes = []
    for tick in sorted(tempos):
        if tempos[tick] != last:
            changes.append((tick, tempos[tick]))
            last = tempos[tick]
    return sorted(out), changes
