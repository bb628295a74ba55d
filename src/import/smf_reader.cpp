#include "import/smf_reader.h"

#include <algorithm>
#include <iterator>

namespace {

// A cursor over one chunk; every read checks the end and records where a
// fault lies as an offset from the start of the file.
class Cursor {
 public:
  Cursor(std::string_view file, size_t begin, size_t end) : file_(file), at_(begin), end_(end) {}

  size_t at() const { return at_; }
  bool done() const { return at_ >= end_; }
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

  void Fail(size_t offset, const std::string& what) {
    if (error_.empty()) error_ = "byte offset " + std::to_string(offset) + ": " + what;
  }

  int Byte(const char* what) {
    if (at_ < end_) return static_cast<uint8_t>(file_[at_++]);
    return EndsInside(what);
  }

  void MoveTo(size_t at) { at_ = at; }

  // A variable-length quantity: at most four bytes.
  uint32_t VarLen(const char* what) {
    const size_t start = at_;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const int b = Byte(what);
      if (b < 0) return 0;
      v = (v << 7) | static_cast<uint32_t>(b & 127);
      if (!(b & 128)) return v;
    }
    Fail(start, std::string("a variable-length number of more than four bytes in ") + what);
    return 0;
  }

  // Kept out of Byte, which is read for every byte of a track.
  [[gnu::noinline]] int EndsInside(const char* what) {
    Fail(at_, std::string("the track ends inside ") + what);
    return -1;
  }

  std::string_view Bytes(uint32_t n, const char* what) {
    if (n > end_ - at_) {
      Fail(at_, std::string("the length of ") + what + " (" + std::to_string(n) +
                    " bytes) runs past the end of the track");
      at_ = end_;
      return {};
    }
    std::string_view out = file_.substr(at_, n);
    at_ += n;
    return out;
  }

 private:
  std::string_view file_;
  size_t at_;
  size_t end_;
  std::string error_;
};

// Keeps bytes in the song's payload for the event.
void Keep(SmfSong* song, SmfEvent* ev, std::string_view prefix, std::string_view bytes) {
  ev->offset = static_cast<uint32_t>(song->payload.size());
  ev->length = static_cast<uint32_t>(prefix.size() + bytes.size());
  song->payload += prefix;
  song->payload += bytes;
}

uint32_t BigEndian(std::string_view file, size_t at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(file[at + i]);
  return v;
}

int DataBytesOf(uint8_t status) {
  const int kind = status & 0xf0;
  return kind == 0xc0 || kind == 0xd0 ? 1 : 2;
}

void ReadMeta(Cursor& c, SmfEvent ev, SmfSong* song, bool* ended) {
  const int type = c.Byte("a meta event");
  const uint32_t length = c.VarLen("a meta event");
  const std::string_view data = c.Bytes(length, "a meta event");
  if (c.failed()) return;
  switch (type) {
    case 0x2f:
      *ended = true;
      return;
    case 0x51:
      if (data.size() < 3) break;
      if (song->smpte) {
        ++song->dropped_tempos;
        return;
      }
      ev.kind = SmfKind::kTempo;
      ev.value = BigEndian(data, 0, 3);
      song->events.push_back(ev);
      return;
    case 0x58:
      if (data.size() < 2) break;
      ev.kind = SmfKind::kTimeSignature;
      ev.value =
          static_cast<uint32_t>(static_cast<uint8_t>(data[0])) << 8 | static_cast<uint8_t>(data[1]);
      song->events.push_back(ev);
      return;
    case 0x59:
      if (data.size() < 2) break;
      ev.kind = SmfKind::kKeySignature;
      ev.value =
          static_cast<uint32_t>(static_cast<uint8_t>(data[0])) << 8 | static_cast<uint8_t>(data[1]);
      song->events.push_back(ev);
      return;
    case 0x03:
    case 0x01:
    case 0x06:
      ev.kind = type == 0x03   ? SmfKind::kTrackName
                : type == 0x01 ? SmfKind::kText
                               : SmfKind::kMarker;
      Keep(song, &ev, {}, data);
      song->events.push_back(ev);
      return;
    default:
      break;
  }
  ++song->skipped_meta;
}

// The channel events of a track while at least eight bytes are left, read
// without a check of the end for every byte. Stops before the first event
// of another kind, or one with a fault, which the checked reader then reads
// (and reports) from `*at`.
void ReadChannelRun(std::string_view file, size_t* at, size_t end, int track, uint64_t* tick,
                    int* running, SmfSong* song) {
  const auto* p = reinterpret_cast<const uint8_t*>(file.data());
  size_t i = *at;
  std::vector<SmfEvent>& events = song->events;
  while (end - i >= 8 && events.size() < kMostSmfEvents) {
    uint32_t delta = 0;
    size_t j = i;
    do {
      delta = delta << 7 | (p[j] & 127u);
    } while ((p[j++] & 128) && j - i < 4);
    if (p[j - 1] & 128) break;  // more than four bytes
    int status = p[j];
    size_t data = j + 1;
    if (status < 0x80) {
      if (*running == 0) break;
      status = *running;
      data = j;
    } else if (status >= 0xf0) {
      break;
    }
    SmfEvent ev;
    ev.tick = *tick + delta;
    ev.track = static_cast<uint16_t>(track);
    ev.status = static_cast<uint8_t>(status);
    ev.data1 = p[data] & 127;
    i = data + 1;
    if (DataBytesOf(ev.status) == 2) ev.data2 = p[i++] & 127;
    events.push_back(ev);
    *running = status;
    *tick = ev.tick;
  }
  *at = i;
}

// Reads the events of one track chunk (between begin and end) into song.
bool ReadTrack(std::string_view file, size_t begin, size_t end, int track, SmfSong* song,
               std::string* error) {
  Cursor c(file, begin, end);
  uint64_t tick = 0;
  int running = 0;
  bool ended = false;
  while (!c.done() && !ended && !c.failed()) {
    size_t fast = c.at();
    ReadChannelRun(file, &fast, end, track, &tick, &running, song);
    c.MoveTo(fast);
    if (c.done()) break;
    if (song->events.size() >= kMostSmfEvents) {
      c.Fail(c.at(),
             "more than " + std::to_string(kMostSmfEvents) + " events, more than a score can hold");
      break;
    }
    tick += c.VarLen("a delta time");
    const size_t at = c.at();
    int status = c.Byte("an event");
    if (c.failed()) break;
    SmfEvent ev;
    ev.tick = tick;
    ev.track = static_cast<uint16_t>(track);
    if (status < 0x80) {
      if (running == 0) {
        c.Fail(at, "running status with no status byte before it");
        break;
      }
      ev.status = static_cast<uint8_t>(running);
      ev.data1 = static_cast<uint8_t>(status);
      if (DataBytesOf(ev.status) == 2) ev.data2 = static_cast<uint8_t>(c.Byte("an event") & 127);
      if (!c.failed()) song->events.push_back(ev);
    } else if (status < 0xf0) {
      running = status;
      ev.status = static_cast<uint8_t>(status);
      ev.data1 = static_cast<uint8_t>(c.Byte("an event") & 127);
      if (DataBytesOf(ev.status) == 2) ev.data2 = static_cast<uint8_t>(c.Byte("an event") & 127);
      if (!c.failed()) song->events.push_back(ev);
    } else if (status == 0xf0 || status == 0xf7) {
      running = 0;
      const uint32_t length = c.VarLen("a System Exclusive event");
      ev.kind = status == 0xf0 ? SmfKind::kSysEx : SmfKind::kEscape;
      const std::string_view bytes = c.Bytes(length, "a System Exclusive event");
      if (!c.failed()) {
        Keep(song, &ev, status == 0xf0 ? std::string_view("\xf0", 1) : std::string_view(), bytes);
        song->events.push_back(ev);
      }
    } else if (status == 0xff) {
      ReadMeta(c, ev, song, &ended);
    } else {
      c.Fail(at, "the status byte " + std::to_string(status) + " has no meaning in a file");
    }
  }
  if (!c.failed() && !ended) c.Fail(end, "the track ends without its end-of-track event");
  // Bytes after the end-of-track event are passed over.
  if (!c.failed()) song->bytes_outside += static_cast<int>(end - c.at());
  if (c.failed()) {
    *error = "track " + std::to_string(track + 1) + ", " + c.error();
    return false;
  }
  return true;
}

// Ticks per quarter for an SMPTE division, at a tempo chosen so that one
// file tick keeps its length in seconds.
void TakeSmpteDivision(uint32_t division, SmfSong* song) {
  int fps = 256 - static_cast<int>(division >> 8);
  const int per_frame = static_cast<int>(division & 255);
  song->smpte = true;
  if (fps == 29) {
    fps = 30;
    song->smpte_inexact = true;
  }
  const int per_second = std::max(1, fps * std::max(1, per_frame));
  // 120 quarters a minute is half a second a quarter; an odd count of ticks a
  // second takes a second a quarter instead.
  if (per_second % 2 == 0) {
    song->division = per_second / 2;
    song->smpte_tempo = 120;
  } else {
    song->division = per_second;
    song->smpte_tempo = 60;
  }
}

// Each track's events are in time order: merging neighbouring tracks until
// one run is left gives every event in time order, earlier tracks first at
// one tick (a merge keeps the first run's events before the second's).
void MergeTracks(std::vector<size_t> starts, std::vector<SmfEvent>* events) {
  auto by_tick = [](const SmfEvent& a, const SmfEvent& b) { return a.tick < b.tick; };
  auto at = [](std::vector<SmfEvent>& v, size_t i) {
    return v.begin() + static_cast<std::ptrdiff_t>(i);
  };
  starts.push_back(events->size());  // the runs are [starts[j], starts[j + 1])
  std::vector<SmfEvent> other;
  other.reserve(starts.size() > 2 ? events->size() : 0);
  while (starts.size() > 2) {
    other.clear();
    const size_t runs = starts.size() - 1;
    std::vector<size_t> merged;
    for (size_t j = 0; j < runs; j += 2) {
      merged.push_back(starts[j]);
      const size_t mid = starts[j + 1];
      const size_t end = j + 1 < runs ? starts[j + 2] : mid;
      std::merge(at(*events, starts[j]), at(*events, mid), at(*events, mid), at(*events, end),
                 std::back_inserter(other), by_tick);
    }
    merged.push_back(starts.back());
    events->swap(other);
    starts = std::move(merged);
  }
}

}  // namespace

bool ReadSmf(std::string_view file, SmfSong* song, std::string* error) {
  *song = SmfSong();
  if (file.size() < 14 || file.substr(0, 4) != "MThd") {
    *error = "byte offset 0: not a Standard MIDI File (no MThd header)";
    return false;
  }
  const uint32_t header_length = BigEndian(file, 4, 4);
  if (header_length < 6 || header_length > file.size() - 8) {
    *error = "byte offset 4: the header length " + std::to_string(header_length) +
             " runs past the end of the file";
    return false;
  }
  song->format = static_cast<int>(BigEndian(file, 8, 2));
  const int declared = static_cast<int>(BigEndian(file, 10, 2));
  const uint32_t division = BigEndian(file, 12, 2);
  if (song->format == 2) {
    *error = "byte offset 8: format 2 (independent patterns) cannot be read as one song";
    return false;
  }
  if (song->format > 2) {
    *error = "byte offset 8: unknown format " + std::to_string(song->format);
    return false;
  }
  if (division & 0x8000) {
    TakeSmpteDivision(division, song);
  } else if (division == 0) {
    *error = "byte offset 12: the division is 0 ticks per quarter note";
    return false;
  } else {
    song->division = static_cast<int>(division);
  }
  size_t at = 8 + header_length;
  int track = 0;
  song->events.reserve(std::min(file.size() / 3, kMostSmfEvents));
  std::vector<size_t> runs;  // where each track's events begin
  while (at < file.size() && track < declared) {
    if (file.size() - at < 8) {
      *error = "byte offset " + std::to_string(at) + ": a chunk header is cut off";
      return false;
    }
    const uint32_t length = BigEndian(file, at + 4, 4);
    if (length > file.size() - at - 8) {
      *error = "byte offset " + std::to_string(at + 4) + ": the chunk length " +
               std::to_string(length) + " runs past the end of the file";
      return false;
    }
    if (file.substr(at, 4) == "MTrk") {
      runs.push_back(song->events.size());
      if (!ReadTrack(file, at + 8, at + 8 + length, track, song, error)) return false;
      ++track;
    } else {
      song->bytes_outside += static_cast<int>(length + 8);
    }
    at += 8 + length;
  }
  if (track < declared) {
    *error = "byte offset " + std::to_string(at) + ": the header names " +
             std::to_string(declared) + " tracks, the file holds " + std::to_string(track);
    return false;
  }
  song->bytes_outside += static_cast<int>(file.size() - at);
  song->tracks = track;
  MergeTracks(runs, &song->events);
  return true;
}
