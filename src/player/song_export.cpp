#include "player/song_export.h"

#include <algorithm>
#include <vector>

#include "player/midi_output.h"
#include "player/sequencer.h"

namespace {

// The streamed file goes out in pieces of about this size.
constexpr size_t kPieceBytes = size_t{64} << 10;
// A file is cut this far below the track chunk's limit: room for the notes
// released at the cut and the end of the track.
constexpr uint64_t kCutReserve = uint64_t{64} << 20;

// Encodes every message as it is sent, at the song's tick less the ticks
// before the start.
class EncodingSink final : public MessageSink {
 public:
  EncodingSink(const Sequencer& clock, int64_t offset, MidiFileEncoder& encoder)
      : clock_(clock), offset_(offset), encoder_(encoder) {}

  void SendShort(const uint8_t* bytes, int length) override {
    encoder_.AddShort(Tick(), bytes, length);
  }
  bool SendLong(const uint8_t* bytes, int length) override {
    encoder_.AddLong(Tick(), bytes, length);
    return true;
  }
  void SetTempo(int quarters_per_minute) override {
    encoder_.AddTempo(Tick(), quarters_per_minute);
  }

 private:
  int64_t Tick() const { return std::max<int64_t>(clock_.TickCount() - offset_, 0); }

  const Sequencer& clock_;
  const int64_t offset_;
  MidiFileEncoder& encoder_;
};

}  // namespace

double RunSongOffline(Sequencer& song, int64_t max_ticks, const std::function<bool()>& keep_going) {
  MessageBuilder& messages = song.Messages();
  messages.SetTempo(120);
  double ms = 0;
  while (song.TickCount() < max_ticks && !song.Finished()) {
    song.Tick();
    ms += messages.TickLengthMs();
    if (keep_going && !keep_going()) break;
  }
  song.SilenceNotes();
  return ms;
}

MidiStreamResult StreamSongMidiFile(Sequencer& song, int64_t max_ticks, int64_t start_tick,
                                    const ByteWriter& write, std::string* header,
                                    const std::string& header_known, uint64_t track_limit) {
  MidiStreamResult result;
  MidiFileEncoder encoder(song.Messages().Resolution());
  EncodingSink sink(song, start_tick > 1 ? start_tick - 1 : 0, encoder);
  bool first = true;
  auto flush = [&] {
    std::string bytes = encoder.TakePending();
    if (first && header_known.size() == kMidiHeaderBytes) {
      bytes.replace(0, kMidiHeaderBytes, header_known);
    }
    first = false;
    if (!result.write_failed && !write(bytes)) result.write_failed = true;
    return !result.write_failed;
  };
  const uint64_t cut_at = track_limit - std::min(kCutReserve, track_limit / 2);
  MessageSink* const previous = song.Sink();
  song.SetSink(&sink);
  RunSongOffline(song, max_ticks, [&] {
    if (encoder.TrackBytes() >= cut_at) {
      result.cut = true;
      return false;
    }
    return encoder.PendingBytes() < kPieceBytes || flush();
  });
  song.SetSink(previous);
  encoder.End();
  flush();
  result.endless = !song.Finished() && !result.cut;
  // Past the limit even so (a release of more than the reserve): a chunk
  // length would be wrong, so the file is no file.
  result.too_long = encoder.TrackBytes() > track_limit;
  *header = encoder.Header();
  return result;
}

std::string BuildSongMidiFile(Sequencer& song, int64_t max_ticks, bool* endless,
                              int64_t start_tick) {
  std::string file, header;
  const MidiStreamResult result = StreamSongMidiFile(
      song, max_ticks, start_tick,
      [&file](std::string_view bytes) {
        file.append(bytes);
        return true;
      },
      &header);
  file.replace(0, kMidiHeaderBytes, header);
  if (endless) *endless = result.endless;
  return file;
}
