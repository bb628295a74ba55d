// The middle of the import: the events of a read file sorted into score
// tracks, with every note and command at its score tick and in file order.
//
// PlanTracks (import_tracks.cpp) builds the plan from an SmfSong; the note
// planner (note_plan.cpp) decides how each note is written so that the
// player sends exactly the file's note-ons and note-offs; FitByteLists
// (byte_lists.cpp) keeps the byte lists within what a song holds; the score
// writer turns the plan into text (score_writer.cpp: the whole score and
// its report; track_layout.cpp: bars, loops and gradual changes of a track,
// ramps.cpp; track_writer.cpp: the text of a bar).
// Nothing here is seen outside src/import. Thread: any; no shared state.
#ifndef QUERN_IMPORT_IMPORT_PLAN_H_
#define QUERN_IMPORT_IMPORT_PLAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "import/smf_reader.h"

// How a note is written. The player releases a note it schedules when its
// gate runs out, or at once when the same key is struck again on the same
// channel; a held ("hit") note is never released by the player, so its
// note-off, if the file has one, is written as an Off command.
enum class NoteMode : uint8_t {
  kScheduled,  // sounds `length` ticks
  kCut,        // released at once by the next note of its key at its tick
  kHeld,       // written after "hit"
};

struct ImportNote {
  int64_t start = 0;
  int64_t length = 0;    // kScheduled: the ticks it sounds; kHeld: to its Off, or 0
  uint32_t seq = 0;      // the note-on's place in the file, for order within a tick
  uint32_t off_seq = 0;  // the note-off's place (kScheduled, kCut)
  uint8_t key = 0;
  uint8_t velocity = 0;
  NoteMode mode = NoteMode::kScheduled;
  bool free() const { return mode != NoteMode::kScheduled; }  // any gate will do
};

enum class CommandKind : uint8_t {
  kAttribute,  // controller, tempo or pitch bend: number and value
  kRamp,       // a gradual change of an attribute (made by the writer)
  kOff,        // a note-off through the Off template: number is the key
  kBytes,      // a byte list: text holds the bytes
  kTemplate,   // a byte list sent through a template: number is its index
  kText,       // written as it stands (program changes)
};

// Attribute numbers of the language besides the controllers 0 to 127.
inline constexpr int kTempoAttribute = 128;
inline constexpr int kBendAttribute = 130;

// A command takes no time; it is written before the notes of its tick (an
// Off command among them, after the notes of its key that come before it).
struct ImportCommand {
  int64_t time = 0;
  uint32_t seq = 0;
  CommandKind kind = CommandKind::kText;
  int number = 0;      // attribute number; Off: key; template: index
  int value = 0;       // attribute or ramp target; template: the value it sends
  int from = 0;        // ramp: the value it starts from
  int64_t length = 0;  // ramp: ticks
  int channel = -1;    // byte lists and templates: the channel their status bytes need
  std::string text;    // bytes: the bytes; text: as written
};

struct ImportTrack {
  int origin = 0;  // the track it was cut from (parts take turns in time)
  int midi_track = 0;
  int channel = 0;  // 0 to 15
  std::string midi_name;
  std::vector<ImportNote> notes;        // by start, then file order
  std::vector<ImportCommand> commands;  // by time, then file order
};

struct BarSignature {
  int64_t time = 0;
  int64_t length = 0;  // ticks of one bar from here on
};

// A text or marker meta event, written as a comment before its bar.
struct ImportComment {
  int64_t time = 0;
  std::string text;  // UTF-8, one line
};

// A key signature meta event: sharps (negative: flats) from its time on.
struct ImportKey {
  int64_t time = 0;
  int sharps = 0;
};

struct ImportCounts {
  int unended_notes = 0;
  int held_offs = 0;            // note-offs written as Off commands
  int long_sysex = 0;           // System Exclusive messages sent in parts
  int byte_lists_left_out = 0;  // beyond the song's room for byte lists
  int bends_rounded = 0;        // pitch bends kept to their high 7 bits for the same reason
  int mixed_channel_lists = 0;  // byte lists with status bytes of several channels
  int reframed_lists = 0;       // SysEx or escapes an export reads channel messages out of
  int inexact_tempos = 0;
  int rounded_ticks = 0;         // events whose time a scaled resolution rounded
  int release_velocities = 0;    // note-off velocities other than 0 and 64
  int controllers_as_bytes = 0;  // controllers beyond the names a score holds
  int late_events = 0;           // later than kLatestTime, left out
  int empty_signatures = 0;      // time signatures of no beats, left out
  int moved = 0;
  int64_t largest_move = 0;
  int lengthened = 0;  // --grid: notes shorter than half a step made one step long
};

// A byte-list shape sent as a template attribute: `bytes` with the value
// at `hole` (or none: hole -1).
struct ImportTemplate {
  std::string name;
  std::string bytes;
  int hole = -1;
};

struct ImportPlan {
  int resolution = 0;
  bool scaled = false;
  std::string first_track_name;
  std::vector<ImportTrack> tracks;
  std::vector<BarSignature> bars;
  std::vector<ImportComment> comments;
  std::vector<ImportKey> key_signatures;
  std::string controller_names[128];  // empty: not named (V, P, M and defined ones)
  std::vector<ImportTemplate> templates;
  bool uses_off = false;  // the score defines Off={144 v 0}
  ImportCounts counts;
};

// The longest length a note, rest or gradual change may be written with.
inline constexpr int64_t kLongestLength = 15359;

// The player's table of notes waiting for their note-off: a note scheduled
// while it is full would release another one early.
inline constexpr int kNoteOffEntries = 512;

// The tracks a score may have: 128 track slots, but every track's end takes
// an entry of the 128 in the list of phase marks, and the song's end one
// more.
inline constexpr int kMostTracks = 127;

// The latest tick an event may have: a track's time is a 32-bit number,
// with room for a note's length after it.
inline constexpr int64_t kLatestTime = 2147483647 - 4 * 15359;

// The song's events and payload are let go once they are read into the
// plan (the rest of the song stays as it was).
ImportPlan PlanTracks(SmfSong& song, int grid);

// Note-ons and note-offs of one channel and key, in file order.
struct KeyEvent {
  int64_t tick = 0;
  uint32_t seq = 0;
  uint16_t track = 0;  // the score track of its MIDI track and channel
  uint8_t velocity = 0;
  bool on = false;
};

// Writes the notes of every key into the plan's tracks (note_plan.cpp):
// each note-on becomes a note of the mode that makes the player send the
// file's events in their order, and a note-off that no note's end gives
// becomes an Off command.
// `keys` holds one list for each channel and key (channel * 128 + key).
void PlanNotes(const std::vector<std::vector<KeyEvent>>& keys, ImportPlan& plan);

// Names the controllers the score uses (V, P and M are the language's own);
// beyond the 128 names a score holds they are written as byte lists
// (import_tracks.cpp).
void NameAttributes(ImportPlan& plan);

// Keeps the byte lists within the 256 a song holds, naming shapes that come
// back often as templates (byte_lists.cpp).
void FitByteLists(ImportPlan& plan);

#endif  // QUERN_IMPORT_IMPORT_PLAN_H_
