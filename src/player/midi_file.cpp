#include "player/midi_file.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr uint32_t kMaxDelta = 0x0fffffff;

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
void PutLongMessage(std::string& track, uint32_t delta, const uint8_t* m, size_t size) {
  if (size >= 2 && m[0] == 0xf0 && m[size - 1] == 0xf7) {
    PutVarLen(track, delta);
    track.push_back(static_cast<char>(0xf0));
    PutVarLen(track, static_cast<uint32_t>(size - 1));
    track.append(reinterpret_cast<const char*>(m) + 1, size - 1);
    return;
  }
  std::string escape;
  size_t i = 0;
  while (i < size) {
    const uint8_t b = m[i];
    const int n = b >= 0x80 && b < 0xf0 ? ChannelMessageLength(b) : 0;
    if (n == 0 || size - i < static_cast<size_t>(n)) {
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

MidiFileEncoder::MidiFileEncoder(int resolution) {
  const FileTiming timing = TimingFor(resolution < 1 ? 192 : resolution);
  division_ = timing.division;
  scale_ = timing.scale;
  resolution_ = timing.resolution;
  pending_.assign(kMidiHeaderBytes, '\0');
  PutTempo(pending_, 0, 120, timing);
}

uint32_t MidiFileEncoder::DeltaTo(int64_t tick) {
  const uint64_t at = static_cast<uint64_t>(tick > 0 ? tick - 1 : 0) * scale_;
  // Messages come in time order; one from before the last counts as at
  // the same time.
  uint64_t delta = at > last_ ? at - last_ : 0;
  last_ = std::max(last_, at);
  // A delta holds 28 bits: a longer silence is bridged by empty text
  // events, so that the time after it stays right.
  while (delta > kMaxDelta) {
    PutVarLen(pending_, kMaxDelta);
    pending_ += std::string("\xff\x01\x00", 3);
    delta -= kMaxDelta;
  }
  return static_cast<uint32_t>(delta);
}

void MidiFileEncoder::AddTempo(int64_t tick, int quarters_per_minute) {
  PutTempo(pending_, DeltaTo(tick), quarters_per_minute, {division_, scale_, resolution_});
}

void MidiFileEncoder::AddShort(int64_t tick, const uint8_t* bytes, int length) {
  if (length <= 0) return;
  PutVarLen(pending_, DeltaTo(tick));
  pending_.push_back(static_cast<char>(bytes[0]));
  for (int k = 1; k < length; ++k) pending_.push_back(static_cast<char>(bytes[k] & 127));
}

void MidiFileEncoder::AddLong(int64_t tick, const uint8_t* bytes, int length) {
  if (length <= 0) return;
  PutLongMessage(pending_, DeltaTo(tick), bytes, static_cast<size_t>(length));
}

void MidiFileEncoder::Add(const RecordedMessage& m) {
  if (m.tempo >= 0) {
    AddTempo(m.tick, m.tempo);
  } else if (m.long_message) {
    AddLong(m.tick, m.bytes.data(), static_cast<int>(m.bytes.size()));
  } else {
    AddShort(m.tick, m.bytes.data(), static_cast<int>(m.bytes.size()));
  }
}

void MidiFileEncoder::End() {
  pending_ += std::string("\x00\xff\x2f\x00", 4);
}

std::string MidiFileEncoder::TakePending() {
  written_ += pending_.size();
  std::string bytes;
  bytes.swap(pending_);
  return bytes;
}

uint64_t MidiFileEncoder::TrackBytes() const {
  return written_ + pending_.size() - kMidiHeaderBytes;
}

std::string MidiFileEncoder::Header() const {
  std::string file = "MThd";
  PutBigEndian(file, 6, 4);
  PutBigEndian(file, 0, 2);
  PutBigEndian(file, 1, 2);
  PutBigEndian(file, static_cast<uint32_t>(division_), 2);
  file += "MTrk";
  PutBigEndian(file, static_cast<uint32_t>(std::min<uint64_t>(TrackBytes(), kMaxMidiTrackBytes)),
               4);
  return file;
}

std::string BuildMidiFile(const std::vector<RecordedMessage>& messages, int resolution) {
  MidiFileEncoder encoder(resolution);
  for (const RecordedMessage& m : messages) encoder.Add(m);
  encoder.End();
  std::string file = encoder.TakePending();
  file.replace(0, kMidiHeaderBytes, encoder.Header());
  return file;
}
