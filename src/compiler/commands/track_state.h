// Track state and the readers that the command handlers share. Internal to
// the score commands.
#ifndef QUERN_COMPILER_COMMANDS_TRACK_STATE_H_
#define QUERN_COMPILER_COMMANDS_TRACK_STATE_H_

#include <cstdint>

struct TrackState {
  int32_t position = 0;        // current time in ticks
  int32_t default_length = 0;  // resolution / 4 at reset
  int32_t default_wait = 0;
  int32_t group_time = 0;      // time spent inside the current "&" group
  int32_t octave = 4;          // -1..9
  int32_t key_shift = 0;       // -127..127
  int32_t prefix_shift = 0;    // "~" and "_" for the next note only
  int32_t bar_start = 0;
  int32_t bar_length = 0;      // resolution / 4 at reset
  int32_t tone_shift[12] = {};  // by semitone of the note letter
};

TrackState& Track();
uint16_t Resolution();

// Lengths, waits and velocities.
int ReadLength(bool optional);
int ReadWait();
int ReadVelocity();  // 0..127, or -1 for none

// Handlers, one per command family; each reads the rest of its command.
void NoteCommand(int code);
void RestCommand();
void OctaveCommand(int code);
void BarLineCommand();
void BarLengthCommand();
void ChannelCommand(int code);
void DefaultLengthCommand();
void DefaultWaitCommand();
void GateCommand();
void LoopStartCommand();
void LoopBreakCommand();
void LoopEndCommand();
void ResetLoopNesting();
void ResetLoopTable();  // per compilation
void AttributeCommand(const char* name);
void DirectOutCommand();
void ResetAttributeValues();
void ResetAttributes();  // per compilation: the six predefined names, empty lists
void ProgramCommand();
void KeyCommand(int code);
void PhaseMarkCommand();
void ResetPhaseTable();  // per compilation

#endif  // QUERN_COMPILER_COMMANDS_TRACK_STATE_H_
