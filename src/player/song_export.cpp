#include "player/song_export.h"

#include <memory>

#include "player/messages.h"
#include "player/midi_file.h"
#include "player/midi_output.h"
#include "player/player.h"
#include "player/sequencer.h"

double RunSongOffline(int64_t max_ticks) {
  SetTempo(120);
  double ms = 0;
  for (int64_t tick = 0; tick < max_ticks && !SongFinished(); ++tick) {
    SequencerTick();
    ms += TickLengthMs();
  }
  SilenceNotes();
  return ms;
}

std::string BuildSongMidiFile(int64_t max_ticks, bool* endless) {
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  RunSongOffline(max_ticks);
  std::string file = BuildMidiFile(out->Messages(), SongResolution());
  if (endless) *endless = !SongFinished();
  CloseMidiDevices();
  return file;
}
