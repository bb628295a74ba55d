#include "player/song_export.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "player/messages.h"
#include "player/midi_file.h"
#include "player/midi_output.h"
#include "player/player.h"
#include "player/sequencer.h"

double RunSongOffline(int64_t max_ticks) {
  SetTempo(120);
  double ms = 0;
  while (SequencerTickCount() < max_ticks && !SongFinished()) {
    SequencerTick();
    ms += TickLengthMs();
  }
  SilenceNotes();
  return ms;
}

std::string BuildSongMidiFile(int64_t max_ticks, bool* endless, int64_t start_tick) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  RunSongOffline(max_ticks);
  std::vector<RecordedMessage> messages = out->Messages();
  if (start_tick > 1) {
    for (RecordedMessage& m : messages) m.tick = std::max<int64_t>(m.tick - (start_tick - 1), 0);
  }
  std::string file = BuildMidiFile(messages, SongResolution());
  if (endless) *endless = !SongFinished();
  CloseMidiDevices();
  return file;
}
