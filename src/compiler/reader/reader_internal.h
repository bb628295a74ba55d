// Internals shared by the token layer (tokens.cpp) and the macro layer
// (macros.cpp) of the score reader. Not for the other stages.
#ifndef QUERN_COMPILER_READER_READER_INTERNAL_H_
#define QUERN_COMPILER_READER_READER_INTERNAL_H_

#include <cstdint>

#include "compiler/driver/source_lines.h"

enum FrameType : uint8_t {
  kFrameTrack = 1,
  kFrameMacro = 2,
  kFrameArgument = 3,
};

// Where reading goes on, and which lines belong to the text being read.
struct ReadingContext {
  const char* position = nullptr;  // nullptr: an argument that was not given
  int line = -1;                   // source line index; -1 before the first
  int name = -1;                   // name index of the track or macro
  uint8_t kind = kLineTrack;       // kLineTrack or kLineMacro
  uint8_t frame_type = kFrameTrack;
};

constexpr int kMacroFrames = 8;  // frame 0 is the track level
constexpr int kMacroArguments = 9;
constexpr int kMacroNameBytes = 32;  // significant bytes of a macro name

// The source table the reader works on; nullptr before SetSourceTable.
const SourceTable* ReaderSourceTable();
// The reading context of the text being read now.
ReadingContext& CurrentContext();
// Reads the next raw token and pushes it back; reports nothing, since the
// token will be scanned again.
int LookAheadRawToken();
// The first byte of the token last scanned.
const char* TokenStart();

// Letter set of a common line, from the bytes behind its "*": bit n stands
// for the letter 'A' + n. *error_offset becomes the offset (from the given
// bytes) of the byte where a faulty set stopped, or -1.
uint32_t CommonLetterSet(const char* after_star, int* error_offset);
// Whether line is read in context on its own merits: a line of the context's
// kind and name, or a common line selecting a track. Continuation lines are
// decided by the chain rule of NextContextLine.
bool LineBelongs(const ReadingContext& context, int line);
// The next line after line `after` that belongs to context, or -1. Reports a
// faulty common-line letter set for each common line it passes over while
// reading a track.
int NextContextLine(const ReadingContext& context, int after);

// Indexes the lines of table for the line search and the macro lookup.
void IndexSourceLines(const SourceTable* table);
// Empties the macro stack and makes context the track level.
void ResetMacroStack(const ReadingContext& context);
int MacroDepth();
// Expands a macro call or an argument reference ("%" has just been read).
void CallMacro();
// Goes back to the text that called the current frame; nothing at depth 0.
void ReturnFromFrame();

#endif  // QUERN_COMPILER_READER_READER_INTERNAL_H_
