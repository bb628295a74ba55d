// Score commands: token codes of one track in, timed event records out.
//
// In: the tokens of NextToken for one track, from BeginTrackState on.
// Out: event records in TrackEvents(), loop records, attribute definitions,
//   direct-out lists, gradual-change records and phase marks.
// Every problem is reported (ReportMessage) and replaced by the substitute
//   value the language names; parsing never stops early.
#ifndef QUERN_COMPILER_COMMANDS_COMMANDS_H_
#define QUERN_COMPILER_COMMANDS_COMMANDS_H_

#include <cstdint>

class StringTable;

// Per compilation: loop numbering, attribute names, the three song lists and
// the phase table start afresh.
void ResetCommandTables();
// Ticks per whole note for every track of this compilation.
void SetResolution(uint16_t resolution);

// Per track: resets the track state, the loop nesting, the current attribute
// values and the working list, then appends the start-of-track record.
void BeginTrackState();
// Handles one command whose first token (code) has been read.
void DispatchCommand(int code);
// Appends a record stamped with the track's current position.
void AppendEvent(int kind, int aux, int value);

// Loop table: numbers 1..1023 count on across the tracks of a compilation.
struct LoopRecord {
  int32_t start_column, start_line;
  int32_t break_column, break_line;
  int32_t start_event;  // index in the track event table
  int32_t break_event;  // -1 when there is none
  int32_t end_event;    // -1 while open
  int32_t count;        // -1 endless, else 0..255
  int32_t saved_default_length;
  // Owned by the track stream compiler.
  int32_t body_offset, break_offset;
  int32_t saved_length_register, saved_octave_base;
};
static constexpr int kLoopRecordCount = 1024;
// Record of loop number n, or nullptr when n is not a filled record.
LoopRecord* LoopAt(int number);

// The three song lists, numbered from 0 over the whole song.
StringTable& AttributeDefinitionList();  // byte templates, attribute 131 + k
StringTable& DirectOutList();            // byte templates of "{...}"
StringTable& GradualChangeList();        // 12-byte records of six int16 values

// Phases across tracks.
int AddPhaseMark(const char* name, int time);
void EndTrackPhases();
void EndSongPhases();
bool OrderPhases();
int PhaseTime(int name_index);
void AlignTrackPhases();

#endif  // QUERN_COMPILER_COMMANDS_COMMANDS_H_
