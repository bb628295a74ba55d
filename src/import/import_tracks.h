// The middle of the import: the events of a read file sorted into score
// tracks (one per MIDI track and channel, more where notes of one key
// overlap), notes paired from their on and off events, times in score ticks.
// Used by the score writer only.
#ifndef QUERN_IMPORT_IMPORT_TRACKS_H_
#define QUERN_IMPORT_IMPORT_TRACKS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "import/smf_reader.h"

struct ImportNote {
  int64_t start = 0;
  int64_t length = 0;
  int key = 0;
  int velocity = 0;
  bool held = false;  // never released in the file: written without a note-off
};

// A command that takes no time, written before the notes of its tick.
struct ImportCommand {
  int64_t time = 0;
  std::string text;
};

struct ImportTrack {
  int midi_track = 0;
  int channel = 0;  // 0 to 15
  std::string midi_name;
  std::vector<ImportNote> notes;  // by start, then key
  std::vector<ImportCommand> commands;  // by time, in file order
};

struct BarSignature {
  int64_t time = 0;
  int64_t length = 0;  // ticks of one bar from here on
};

struct ImportCounts {
  int unended_notes = 0;
  int zero_length_notes = 0;
  int long_notes = 0;
  int long_sysex = 0;
  int byte_lists_left_out = 0;  // beyond the song's room for byte lists
  int bends_rounded = 0;        // pitch bends kept to their high 7 bits for the same reason
  int inexact_tempos = 0;
  int texts = 0;
  int key_signatures = 0;
  int moved = 0;
  int64_t largest_move = 0;
};

struct ImportPlan {
  int resolution = 0;
  std::string definitions;  // controller names the score defines, for its first track
  bool scaled = false;
  std::string first_track_name;
  std::vector<ImportTrack> tracks;
  std::vector<BarSignature> bars;
  ImportCounts counts;
};

// The longest length a note or rest may be written with.
inline constexpr int64_t kLongestLength = 15359;

// Score tracks with more events than this are cut in time into several
// tracks of the same channel (a compiled track has a size limit).
inline constexpr size_t kEventsPerTrack = 8000;

ImportPlan PlanTracks(const SmfSong& song, int grid);

#endif  // QUERN_IMPORT_IMPORT_TRACKS_H_
