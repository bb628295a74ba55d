// The commands' part of a compilation (track state, loop nesting, attribute
// and phase tables) and the readers that the command handlers share.
// Internal to the score commands; the compilation holds the part.
#ifndef QUERN_COMPILER_COMMANDS_TRACK_STATE_H_
#define QUERN_COMPILER_COMMANDS_TRACK_STATE_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "compiler/driver/work_areas.h"

struct CompileContext;

struct TrackState {
  int32_t position = 0;        // current time in ticks
  int32_t default_length = 0;  // resolution / 4 at reset
  int32_t default_wait = 0;
  int32_t group_time = 0;    // time spent inside the current "&" group
  int32_t octave = 4;        // -1..9
  int32_t key_shift = 0;     // -127..127
  int32_t prefix_shift = 0;  // "~" and "_" for the next note only
  int32_t bar_start = 0;
  int32_t bar_length = 0;       // resolution / 4 at reset
  int32_t tone_shift[12] = {};  // by semitone of the note letter
};

// Open loops of the track being parsed; the loop records themselves belong
// to the song stage (LoopRecordTable).
struct LoopNesting {
  static constexpr int kStackSize = 32;  // open loops: at most kStackSize - 1
  int stack[kStackSize] = {};
  int depth = 0;
  // "[" that opened no loop, all nested inside the innermost open loop: once
  // one fails, every "[" inside it fails too (the numbers or the depth stay
  // used up until it is closed).
  int64_t dead_depth = 0;
};

// Attribute names and numbers, the current values of the track and the
// three song lists.
struct AttributeTables {
  static constexpr int kNameLimit = 128;
  StringTable names{65536, 1000};
  int numbers[kNameLimit] = {};
  int16_t current[256] = {};
  StringTable definitions;
  StringTable direct_out;
  StringTable gradual;
};

// Phase marks of every track and the phases found in them.
struct PhaseTable {
  static constexpr int kMarkLimit = 128;
  struct Mark {
    int32_t name;  // name index, or the end of a track or of the song
    int32_t time;
  };
  struct Phase {
    int32_t name;
    int32_t time;
  };
  Mark marks[kMarkLimit];
  int mark_count = 0;  // 129 after an overflow
  Phase phases[kMarkLimit];
  int phase_count = 0;
  std::unordered_map<std::string, int> names;
  // Names marked in the current track, kept apart from the list so that a
  // full list neither hides a second use nor blames a later track for the
  // marks of the last stored one.
  std::unordered_set<int> track_names;
  bool aligned = false;  // OrderPhases succeeded on a complete list
};

struct CommandsPart {
  TrackState track;
  uint16_t resolution = 192;
  bool too_long_reported = false;  // once per track
  LoopNesting loops;
  AttributeTables attributes;
  PhaseTable phases;
};

TrackState& Track(CompileContext& cc);
uint16_t Resolution(const CompileContext& cc);

// Lengths, waits and velocities.
int ReadLength(CompileContext& cc, bool optional);
// The length of a note written [divisor] {"."} (divisor -1: none written)
// with no "^"; false where ReadLength would report something about it.
bool PlainNoteLength(CompileContext& cc, int divisor, int dots, int* length);
int ReadWait(CompileContext& cc);
int ReadVelocity(CompileContext& cc);  // 0..127, or -1 for none

// Handlers, one per command family; each reads the rest of its command.
void NoteCommand(CompileContext& cc, int code);
void RestCommand(CompileContext& cc);
void OctaveCommand(CompileContext& cc, int code);
void BarLineCommand(CompileContext& cc);
void BarLengthCommand(CompileContext& cc);
void ChannelCommand(CompileContext& cc, int code);
void DefaultLengthCommand(CompileContext& cc);
void DefaultWaitCommand(CompileContext& cc);
void GateCommand(CompileContext& cc);
void LoopStartCommand(CompileContext& cc);
void LoopBreakCommand(CompileContext& cc);
void LoopEndCommand(CompileContext& cc);
void ResetLoopNesting(CompileContext& cc);
void ResetLoopTable(CompileContext& cc);  // per compilation
void AttributeCommand(CompileContext& cc, const char* name);
void DirectOutCommand(CompileContext& cc);
void ResetAttributeValues(CompileContext& cc);
void ResetAttributes(CompileContext& cc);  // per compilation: the six predefined names, empty lists
void ProgramCommand(CompileContext& cc);
void KeyCommand(CompileContext& cc, int code);
void PhaseMarkCommand(CompileContext& cc);
void ResetPhaseTable(CompileContext& cc);  // per compilation

#endif  // QUERN_COMPILER_COMMANDS_TRACK_STATE_H_
