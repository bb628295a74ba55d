#include "player/song_export.h"

#include <algorithm>
#include <vector>

#include "player/midi_file.h"
#include "player/midi_output.h"
#include "player/sequencer.h"

double RunSongOffline(Sequencer& song, int64_t max_ticks) {
  MessageBuilder& messages = song.Messages();
  messages.SetTempo(120);
  double ms = 0;
  while (song.TickCount() < max_ticks && !song.Finished()) {
    song.Tick();
    ms += messages.TickLengthMs();
  }
  song.SilenceNotes();
  return ms;
}

std::string BuildSongMidiFile(Sequencer& song, int64_t max_ticks, bool* endless,
                              int64_t start_tick) {
  RecordingOutput recorder(&song);
  MessageSink* const previous = song.Sink();
  song.SetSink(&recorder);
  RunSongOffline(song, max_ticks);
  song.SetSink(previous);
  std::vector<RecordedMessage> messages = recorder.Messages();
  if (start_tick > 1) {
    for (RecordedMessage& m : messages) m.tick = std::max<int64_t>(m.tick - (start_tick - 1), 0);
  }
  if (endless) *endless = !song.Finished();
  return BuildMidiFile(messages, song.Messages().Resolution());
}
