#include "app/quern/cli_export.h"

#include <cstdio>
#include <string_view>

#include "files/file_io.h"
#include "player/sequencer.h"
#include "player/song_export.h"

namespace {

int Fail(const std::string& error) {
  std::fprintf(stderr, "quern: %s\n", error.c_str());
  return 2;
}

// Where the file cannot go back to its start, its header is counted first:
// the song runs once writing nothing.
std::string CountedHeader(Sequencer& song, int64_t max_ticks, int64_t start_tick,
                          const std::function<void(Sequencer&)>& restart) {
  std::string header;
  StreamSongMidiFile(
      song, max_ticks, start_tick, [](std::string_view) { return true; }, &header);
  restart(song);
  return header;
}

}  // namespace

int ExportSongMidiFile(Sequencer& song, const std::string& path, int64_t max_ticks,
                       int64_t start_tick, const std::function<void(Sequencer&)>& restart,
                       bool* endless) {
  AtomicFileWriter file;
  std::string error;
  if (!file.Open(path, &error)) return Fail(error);
  const std::string known =
      file.CanWriteAt() ? std::string() : CountedHeader(song, max_ticks, start_tick, restart);
  std::string header;
  const MidiStreamResult result = StreamSongMidiFile(
      song, max_ticks, start_tick,
      [&](std::string_view bytes) { return file.Write(bytes, &error); }, &header, known);
  if (result.write_failed) return Fail(error);
  if (result.too_long) return Fail(path + ": the song is too long for a MIDI file");
  if (known.empty() && !file.WriteAt(0, header, &error)) return Fail(error);
  if (!known.empty() && header != known) {
    return Fail(path + ": the song ran differently from its counting run");
  }
  if (!file.Commit(&error)) return Fail(error);
  if (result.cut) {
    std::fprintf(stderr,
                 "quern export: the song goes on beyond what a MIDI file holds; the file ends "
                 "at tick %lld\n",
                 static_cast<long long>(song.TickCount()));
  }
  *endless = result.endless;
  return 0;
}
