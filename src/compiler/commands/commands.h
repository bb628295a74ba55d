// Score commands: token codes of one track in, timed event records out.
//
// In: the compilation (compilation.h), whose reader yields the tokens of
//   NextToken for one track, from BeginTrackState on.
// Out: event records appended to the compilation's event table, loop records
//   filled in its loop record table (both owned by the song stage, events.h),
//   attribute definitions, direct-out lists, gradual-change records and phase
//   marks (the commands' own part, track_state.h).
// Every problem is reported (ReportMessage) and replaced by the substitute
//   value the language names; parsing never stops early.
#ifndef QUERN_COMPILER_COMMANDS_COMMANDS_H_
#define QUERN_COMPILER_COMMANDS_COMMANDS_H_

#include <cstdint>

class StringTable;
struct CompileContext;

// Per compilation: loop numbering, attribute names, the three song lists and
// the phase table start afresh.
void ResetCommandTables(CompileContext& cc);
// Ticks per whole note for every track of this compilation.
void SetResolution(CompileContext& cc, uint16_t resolution);

// Per track: resets the track state, the loop nesting, the current attribute
// values and the working list, then appends the start-of-track record.
void BeginTrackState(CompileContext& cc);
// Handles one command whose first token (code) has been read.
void DispatchCommand(CompileContext& cc, int code);
// Appends a record stamped with the track's current position.
void AppendEvent(CompileContext& cc, int kind, int aux, int value);

// The three song lists, numbered from 0 over the whole song.
StringTable& AttributeDefinitionList(CompileContext& cc);  // byte templates, attribute 131 + k
StringTable& DirectOutList(CompileContext& cc);            // byte templates of "{...}"
StringTable& GradualChangeList(CompileContext& cc);        // 12-byte records of six int16 values

// Phases across tracks.
int AddPhaseMark(CompileContext& cc, const char* name, int time);
void EndTrackPhases(CompileContext& cc);
void EndSongPhases(CompileContext& cc);
bool OrderPhases(CompileContext& cc);
int PhaseTime(const CompileContext& cc, int name_index);
void AlignTrackPhases(CompileContext& cc);

#endif  // QUERN_COMPILER_COMMANDS_COMMANDS_H_
