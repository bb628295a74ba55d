// Internals shared by the token layer (tokens.cpp) and the macro layer
// (macros.cpp) of the score reader, and the layout of the reader's part of a
// compilation (ReaderPart), which the compilation holds. The other stages use
// only the operations of reader.h.
#ifndef QUERN_COMPILER_READER_READER_INTERNAL_H_
#define QUERN_COMPILER_READER_READER_INTERNAL_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compiler/driver/source_lines.h"
#include "compiler/reader/reader.h"

struct CompileContext;

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
constexpr int kTokenTextBytes = 4096;

// The token layer's cursor and the token last scanned.
struct TokenState {
  const SourceTable* table = nullptr;
  const uint8_t* position = reinterpret_cast<const uint8_t*>("");
  const uint8_t* token_start = position;
  int token_line = -1;  // source line index of token_start
  int last_code = kTokEnd;
  bool pushback = false;
  bool last_from_pushback = false;
  bool quiet = false;      // a look-ahead that will be scanned again reports nothing
  bool peek_notes = true;  // PeekNoteTail may be used; tests turn it off to compare
  int number = 0;
  int text_length = 0;  // bytes in text
  char text[kTokenTextBytes + 1] = {};
  ReadingContext context;
};

// One level of the macro stack. A call is built in place in the frame above
// the current one, so entering it copies nothing. Text read in an argument
// frame is the caller's text, so its own argument references use the list of
// the frame that holds that text: arguments_at names that frame instead of
// copying its list.
struct MacroFrame {
  int owner = -1;        // depth of the frame whose text holds the call
  int macro_name = -1;   // name index while a macro body is read, else -1
  int arguments_at = 0;  // depth whose arguments the text of this frame refers to
  TokenPlace call;       // where the call's "%" stands
  ReadingContext return_to;
  ReadingContext arguments[kMacroArguments];  // used by macro frames only
};

// Hash and equality that let the macro lookup take a name as a view.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

// Lookups built once per compilation from the source table.
struct LineIndex {
  std::vector<int> next_non_common;           // [i]: first line >= i that is not common, or -1
  std::vector<std::vector<int>> track_lines;  // by name index
  std::vector<std::vector<int>> macro_lines;  // by name index
  std::vector<int> common_lines[26];          // by selected letter
  std::vector<int> faulty_common_lines;
  std::vector<int> error_column;  // by line, for faulty common lines
  std::unordered_map<std::string, int, NameHash, std::equal_to<>>
      first_macro_line;  // by 32-byte name
};

// The macro layer's line index and frame stack.
struct MacroState {
  LineIndex index;
  // Frame 0 is the track level; the one past kMacroFrames - 1 collects the
  // arguments of a call that would nest too deep and is never entered.
  MacroFrame frames[kMacroFrames + 1];
  int depth = 0;
  long expanded_tokens = 0;
  bool budget_reported = false;
};

// The reader's part of a compilation.
struct ReaderPart {
  TokenState tokens;
  MacroState macros;
};

// The source table the reader works on; nullptr before SetSourceTable.
const SourceTable* ReaderSourceTable(const CompileContext& cc);
// The reading context of the text being read now.
ReadingContext& CurrentContext(CompileContext& cc);
// Reads the next raw token and pushes it back; reports nothing, since the
// token will be scanned again.
int LookAheadRawToken(CompileContext& cc);
// The argument list "(" arg {"," arg} ")" behind a call name, taken from
// the bytes when it closes on the current line with no quoted text or
// comment in it: where each argument's first token begins (the first max of
// them), how many arguments there are, and the reader left on the closing
// ")" as if it had been read. False, with nothing read, otherwise.
bool ScanPlainArgumentList(CompileContext& cc, const char** starts, int max, int* count);
// Where the next raw token begins when it is on the current line and needs
// no look-ahead to find (nothing pushed back, and neither the line's end nor
// a comment comes first); nullptr otherwise.
const char* NextTokenStartOnLine(const CompileContext& cc);
// The first byte of the token last scanned.
const char* TokenStart(const CompileContext& cc);
// How many bytes TokenText holds.
int TokenTextLength(const CompileContext& cc);

// Letter set of a common line, from the bytes behind its "*": bit n stands
// for the letter 'A' + n. *error_offset becomes the offset (from the given
// bytes) of the byte where a faulty set stopped, or -1.
uint32_t CommonLetterSet(const char* after_star, int* error_offset);
// Whether line is read in context on its own merits: a line of the context's
// kind and name, or a common line selecting a track. Continuation lines are
// decided by the chain rule of NextContextLine.
bool LineBelongs(const CompileContext& cc, const ReadingContext& context, int line);
// The next line after line `after` that belongs to context, or -1. Reports a
// faulty common-line letter set for each common line it passes over while
// reading a track.
int NextContextLine(CompileContext& cc, const ReadingContext& context, int after);

// Indexes the lines of table for the line search and the macro lookup.
void IndexSourceLines(CompileContext& cc, const SourceTable* table);
// Empties the macro stack and makes context the track level.
void ResetMacroStack(CompileContext& cc, const ReadingContext& context);
int MacroDepth(const CompileContext& cc);
// Expands a macro call or an argument reference ("%" has just been read).
void CallMacro(CompileContext& cc);
// Goes back to the text that called the current frame; nothing at depth 0.
void ReturnFromFrame(CompileContext& cc);

#endif  // QUERN_COMPILER_READER_READER_INTERNAL_H_
