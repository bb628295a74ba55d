#include "player/midi_file.h"

#include <algorithm>
#include <cstdint>

namespace {

void PutBigEndian(std::string& out, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 255));
}

void PutVarLen(std::string& out, uint32_t v) {
  char bytes[5];
  int n = 0;
  bytes[n++] = static_cast<char>(v & 127);
  while (v >>= 7) bytes[n++] = static_cast<char>((v & 127) | 128);
  while (n > 0) out.push_back(bytes[--n]);
}

int ChannelMessageLength(uint8_t status) {
  const int kind = status & 0xf0;
  return kind == 0xc0 || kind == 0xd0 ? 2 : 3;
}

// Appends the events of one long message at delta: System Exclusive as such,
// channel messages as channel events, anything else as an escape.
void PutLongMessage(std::string& track, uint32_t delta, const std::vector<uint8_t>& m) {
  if (m.size() >= 2 && m.front() == 0xf0 && m.back() == 0xf7) {
    PutVarLen(track, delta);
    track.push_back(static_cast<char>(0xf0));
    PutVarLen(track, static_cast<uint32_t>(m.size() - 1));
    track.append(m.begin() + 1, m.end());
    return;
  }
  std::string escape;
  size_t i = 0;
  while (i < m.size()) {
    const uint8_t b = m[i];
    const int n = b >= 0x80 && b < 0xf0 ? ChannelMessageLength(b) : 0;
    if (n == 0 || m.size() - i < static_cast<size_t>(n)) {
      escape.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    PutVarLen(track, delta);
    delta = 0;
    track.push_back(static_cast<char>(b));
    for (int k = 1; k < n; ++k) track.push_back(static_cast<char>(m[i + k] & 127));
    i += n;
  }
  if (!escape.empty()) {
    PutVarLen(track, delta);
    track.push_back(static_cast<char>(0xf7));
    PutVarLen(track, static_cast<uint32_t>(escape.size()));
    track += escape;
  }
}

// How song ticks map onto the file's ticks (see the header).
struct FileTiming {
  int division;  // file ticks per file quarter note
  int scale;     // file ticks per song tick
  int resolution;
};

FileTiming TimingFor(int resolution) {
  if (resolution % 4 == 0) return {resolution / 4, 1, resolution};
  if (resolution <= 32767) return {resolution, 4, resolution};
  if (resolution % 2 == 0) return {resolution / 2, 2, resolution};
  return {(resolution + 2) / 4, 1, resolution};
}

// Microseconds per file quarter: `division` file ticks last as long as
// division / scale song ticks of 240000 / (tempo * resolution) ms each. Where
// the division is an exact song quarter this is 60000000 / tempo.
void PutTempo(std::string& track, uint32_t delta, int quarters_per_minute,
              const FileTiming& timing) {
  if (quarters_per_minute < 1) quarters_per_minute = 1;
  uint64_t us = 240000000ull * static_cast<uint64_t>(timing.division) /
                (static_cast<uint64_t>(quarters_per_minute) * static_cast<uint64_t>(timing.scale) *
                 static_cast<uint64_t>(timing.resolution));
  if (us > 0xffffff) us = 0xffffff;
  PutVarLen(track, delta);
  track += "\xff\x51\x03";
  PutBigEndian(track, static_cast<uint32_t>(us), 3);
}

}  // namespace

std::string BuildMidiFile(const std::vector<RecordedMessage>& messages, int resolution) {
  const FileTiming timing = TimingFor(resolution < 1 ? 192 : resolution);
  const uint32_t scale = static_cast<uint32_t>(timing.scale);
  std::string track;
  PutTempo(track, 0, 120, timing);
  uint64_t last = 0;
  for (const RecordedMessage& m : messages) {
    const uint64_t at = static_cast<uint64_t>(m.tick > 0 ? m.tick - 1 : 0) * scale;
    const uint32_t delta = static_cast<uint32_t>(std::min<uint64_t>(at - last, 0x0fffffff));
    last = at;
    if (m.tempo >= 0) {
      PutTempo(track, delta, m.tempo, timing);
    } else if (m.long_message) {
      PutLongMessage(track, delta, m.bytes);
    } else if (!m.bytes.empty()) {
      PutVarLen(track, delta);
      track.push_back(static_cast<char>(m.bytes[0]));
      for (size_t k = 1; k < m.bytes.size(); ++k)
        track.push_back(static_cast<char>(m.bytes[k] & 127));
    }
  }
  track += std::string("\x00\xff\x2f\x00", 4);
  std::string file = "MThd";
  PutBigEndian(file, 6, 4);
  PutBigEndian(file, 0, 2);
  PutBigEndian(file, 1, 2);
  PutBigEndian(file, static_cast<uint32_t>(timing.division), 2);
  file += "MTrk";
  PutBigEndian(file, static_cast<uint32_t>(track.size()), 4);
  return file + track;
}
