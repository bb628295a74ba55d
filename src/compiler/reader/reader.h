// Score text reader: token codes from the lines of one track.
//
// In: the source table of the driver, and the track chosen by BeginTrack.
// Out: token codes one at a time. NextToken expands macro calls and argument
//   references, so the commands never see "%", "," or ")". Numbers are 0 to
//   65535 (larger ones saturate), names and quoted texts at most 4096 bytes.
//   The note command may take the plain rest of a note from the bytes
//   instead (PeekNoteTail, TakeNoteTail), which leaves the reader exactly
//   where the tokens would have.
// Reports macro recursion, undefined macros and faulty common-line letter
//   sets; every other odd byte comes back as kTokErr for the commands to report.
//
// Every operation takes the compilation (compilation.h); the reader's cursor,
// token buffer and macro frames are its ReaderPart (reader_internal.h).
#ifndef QUERN_COMPILER_READER_READER_H_
#define QUERN_COMPILER_READER_READER_H_

#include <string>
#include <string_view>

struct CompileContext;
struct SourceTable;

// X(enum name, token name as the token table prints it)
#define QUERN_TOKEN_LIST(X) \
  X(kTokErr, "ERR")         \
  X(kTokT0, "#T_0")         \
  X(kTokName, "#NAME")      \
  X(kTokNum, "#NUM")        \
  X(kTokEnd, "#END")        \
  X(kTokTilde, "~")         \
  X(kTokRightBrace, "}")    \
  X(kTokBar, "|")           \
  X(kTokLeftBrace, "{")     \
  X(kTokW, "w")             \
  X(kTokV, "v")             \
  X(kTokU, "u")             \
  X(kTokS, "s")             \
  X(kTokR, "r")             \
  X(kTokQ, "q")             \
  X(kTokO, "o")             \
  X(kTokL, "l")             \
  X(kTokK, "k")             \
  X(kTokG, "g")             \
  X(kTokF, "f")             \
  X(kTokE, "e")             \
  X(kTokD, "d")             \
  X(kTokB, "b")             \
  X(kTokA, "a")             \
  X(kTokBackquote, "`")     \
  X(kTokUnderscore, "_")    \
  X(kTokCaret, "^")         \
  X(kTokRightBracket, "]")  \
  X(kTokBackslash, "\\")    \
  X(kTokLeftBracket, "[")   \
  X(kTokAt, "@")            \
  X(kTokGreater, ">")       \
  X(kTokEqual, "=")         \
  X(kTokLess, "<")          \
  X(kTokSemicolon, ";")     \
  X(kTokColon, ":")         \
  X(kTokDot, ".")           \
  X(kTokMinus, "-")         \
  X(kTokComma, ",")         \
  X(kTokPlus, "+")          \
  X(kTokStar, "*")          \
  X(kTokRightParen, ")")    \
  X(kTokLeftParen, "(")     \
  X(kTokQuote, "'")         \
  X(kTokAmpersand, "&")     \
  X(kTokPercent, "%")       \
  X(kTokHash, "#")          \
  X(kTokString, "\"")       \
  X(kTokBang, "!")          \
  X(kTokT1, "T_1")          \
  X(kTokTone, "tone")       \
  X(kTokT, "t")             \
  X(kTokHit, "hit")         \
  X(kTokChm, "chm")         \
  X(kTokChi, "chi")         \
  X(kTokChe, "che")         \
  X(kTokCh, "ch")           \
  X(kTokC, "c")             \
  X(kTokLineComment, "//")  \
  X(kTokBlockComment, "/*") \
  X(kTokSlash, "/")         \
  X(kTokT2, "T_2")          \
  X(kTokPhase, "T_PHASE")

enum TokenCode : int {
#define QUERN_TOKEN_ENUM(name, text) name,
  QUERN_TOKEN_LIST(QUERN_TOKEN_ENUM)
#undef QUERN_TOKEN_ENUM
      kTokenCodeCount
};

// The token's name from the token table ("ERR", "#NUM", "tone", "c", ...).
const char* TokenName(int code);

// Makes table the one the reader works on (before the first track).
void SetSourceTable(CompileContext& cc, const SourceTable* table);
// Chooses the track whose name is the smallest one greater than previous
// (empty before the first track); false when there is none. The chosen full
// name goes to *selected.
bool BeginTrack(CompileContext& cc, std::string_view previous, std::string* selected);

int ScanToken(CompileContext& cc);
int NextRawToken(CompileContext& cc);
int NextToken(CompileContext& cc);
void PushBackToken(CompileContext& cc);
void SetTextPosition(CompileContext& cc, const char* position);

// The rest of a note whose letter NextToken has just returned, taken from
// the bytes of the text instead of token by token: an optional accidental,
// optional decimal length digits and dots, blanks between them allowed.
struct NoteTail {
  int accidental = 0;         // kTokPlus, kTokMinus, kTokEqual, or 0 for none
  int divisor = -1;           // the length's number (saturated at 65535), -1 if none
  int dots = 0;               // how many "." follow
  const char* end = nullptr;  // first byte of the token behind the note
};
// Fills *tail and gives true when the note's rest has only that plain form
// and the token behind it needs no more than a scan. False, with nothing
// read, for a pushed-back letter, a "$" length, and when the note is
// followed by the end of its line, a macro call ("%", "@"), the end of a
// macro argument ("," or ")"), a comment ("/"), a quoted text, a suffix
// (":", "'", ";") or a tie ("^"): those go through NextToken.
bool PeekNoteTail(const CompileContext& cc, NoteTail* tail);
// Moves the reader behind a tail that PeekNoteTail gave and reads the token
// behind it, which becomes the current token and is returned. The reader is
// then where NextToken would have left it after the same note read token by
// token (the same current token, number and macro expansion count).
int TakeNoteTail(CompileContext& cc, const NoteTail& tail);

// The places of the macro calls that lead to the text being read, innermost
// first: up to max (line, column) pairs; returns how many.
int MacroCallPlaces(const CompileContext& cc, int* lines, int* columns, int max);

int TokenNumber(const CompileContext& cc);
const char* TokenText(const CompileContext& cc);
int TokenLine(const CompileContext& cc);
int TokenColumn(const CompileContext& cc);

// Where the last token began, taken cheaply: its line and column are worked
// out (as TokenLine and TokenColumn give them) only when a message needs them.
struct TokenPlace {
  int line_index = -1;  // source line index
  const char* start = nullptr;
};
TokenPlace CurrentTokenPlace(const CompileContext& cc);
int PlaceLine(const CompileContext& cc, const TokenPlace& place);
int PlaceColumn(const CompileContext& cc, const TokenPlace& place);

#endif  // QUERN_COMPILER_READER_READER_H_
