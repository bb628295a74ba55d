// The token layer: token codes from the bytes of the current line text, and
// the line advance that crosses from one line of a track or macro to the next.
#include <algorithm>
#include <array>
#include <cstring>

#include "compiler/catalogue/messages.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/reader/reader_internal.h"

namespace {

constexpr int kTextBytes = 4096;
constexpr int kMaxNumber = 65535;

const char* const kTokenNames[] = {
#define QUERN_TOKEN_NAME(name, text) text,
    QUERN_TOKEN_LIST(QUERN_TOKEN_NAME)
#undef QUERN_TOKEN_NAME
};
static_assert(sizeof(kTokenNames) / sizeof(kTokenNames[0]) == kTokenCodeCount);

static_assert(kTextBytes == kTokenTextBytes);

bool IsDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}
bool IsCapital(uint8_t c) {
  return c >= 'A' && c <= 'Z';
}
bool IsLetter(uint8_t c) {
  return IsCapital(c) || (c >= 'a' && c <= 'z');
}
bool IsLetterOrDigit(uint8_t c) {
  return IsLetter(c) || IsDigit(c);
}
bool IsBlank(uint8_t c) {
  return c == ' ' || c == '\t';
}
int HexValue(uint8_t c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Code of each byte that is a token on its own or starts a longer one.
constexpr std::array<uint8_t, 256> MakeByteCodes() {
  std::array<uint8_t, 256> codes{};
  const char* singles = "~}|{wvusrqolkgfedba`_^]\\[@>=<;:.-,+*)('&%#\"!";
  for (int i = 0; singles[i] != 0; ++i) codes[static_cast<uint8_t>(singles[i])] = kTokTilde + i;
  codes['t'] = kTokT;
  codes['h'] = kTokHit;
  codes['c'] = kTokC;
  codes['/'] = kTokSlash;
  return codes;
}
constexpr std::array<uint8_t, 256> kByteCodes = MakeByteCodes();
static_assert(kByteCodes['!'] == kTokBang && kByteCodes['a'] == kTokA &&
              kByteCodes['%'] == kTokPercent && kByteCodes['"'] == kTokString);

bool StartsWith(const uint8_t* p, const char* word) {
  return std::strncmp(reinterpret_cast<const char*>(p), word, std::strlen(word)) == 0;
}

// Copies a run of bytes that satisfy accept into the text buffer (at most
// kTextBytes kept, the rest skipped); returns the position behind the run.
const uint8_t* ReadRun(TokenState& t, const uint8_t* p, bool (*accept)(uint8_t)) {
  int n = 0;
  for (; accept(*p); ++p) {
    if (n < kTextBytes) t.text[n++] = static_cast<char>(*p);
  }
  t.text[n] = 0;
  t.text_length = n;
  return p;
}

// A name that must begin with a letter and goes on with letters and digits;
// empty when the first byte is no letter.
const uint8_t* ReadCallName(TokenState& t, const uint8_t* p) {
  if (!IsLetter(*p)) {
    t.text[0] = 0;
    t.text_length = 0;
    return p;
  }
  return ReadRun(t, p, IsLetterOrDigit);
}

// Decimal or hexadecimal digits; values above 65535 become 65535 and the
// remaining digits are skipped.
const uint8_t* ParseNumber(const uint8_t* p, int base, int* number) {
  int value = 0;
  for (int digit; (digit = HexValue(*p)) >= 0 && digit < base; ++p) {
    if (value < kMaxNumber) value = std::min(value * base + digit, kMaxNumber + 1);
  }
  *number = std::min(value, kMaxNumber);
  return p;
}
// ParseNumber in base 10, for the note path.
const uint8_t* ParseDecimal(const uint8_t* p, int* number) {
  int value = 0;
  for (; IsDigit(*p); ++p) {
    if (value < kMaxNumber) value = std::min(value * 10 + (*p - '0'), kMaxNumber + 1);
  }
  *number = std::min(value, kMaxNumber);
  return p;
}
const uint8_t* ReadNumber(TokenState& t, const uint8_t* p, int base) {
  return ParseNumber(p, base, &t.number);
}

// Quoted text: bytes up to the closing quote. Without one the text ends with
// its line, and a warning says so.
const uint8_t* ReadQuotedText(CompileContext& cc, const uint8_t* p) {
  TokenState& t = cc.reader.tokens;
  int n = 0;
  for (; *p != 0 && *p != '"'; ++p) {
    if (n < kTextBytes) t.text[n++] = static_cast<char>(*p);
  }
  t.text[n] = 0;
  t.text_length = n;
  if (*p == '"') return p + 1;
  if (!t.quiet) ReportMessage(cc, kUnclosedText);
  return p;
}

const uint8_t* SkipBlockComment(const uint8_t* p) {
  for (; *p != 0; ++p) {
    if (p[0] == '*' && p[1] == '/') return p + 2;
  }
  return p;
}

// Tokens that are not a single command character: names, numbers, the end
// of the text and bytes of no meaning.
int ScanOther(TokenState& t, const uint8_t* p, const uint8_t** end) {
  if (IsDigit(*p)) {
    *end = ReadNumber(t, p, 10);
    return kTokNum;
  }
  if (IsCapital(*p)) {
    *end = ReadRun(t, p, IsLetter);
    return kTokName;
  }
  if (*p == '$' && HexValue(p[1]) >= 0) {
    *end = ReadNumber(t, p + 1, 16);
    return kTokNum;
  }
  if (*p == 0) {
    *end = p;
    return kTokEnd;
  }
  *end = p + 1;
  return kTokErr;
}

// Resolves the token that begins at p; *end is set behind it. Comments give
// kTokLineComment or kTokBlockComment and are skipped by the caller.
int ScanAt(CompileContext& cc, const uint8_t* p, const uint8_t** end) {
  TokenState& t = cc.reader.tokens;
  int code = kByteCodes[*p];
  *end = p + 1;
  switch (code) {
    case kTokErr:
      return ScanOther(t, p, end);
    case kTokString:
      *end = ReadQuotedText(cc, p + 1);
      return code;
    case kTokT:
      if (!StartsWith(p, "tone")) return kTokT;
      *end = p + 4;
      return kTokTone;
    case kTokHit:
      if (!StartsWith(p, "hit")) return kTokErr;
      *end = p + 3;
      return kTokHit;
    case kTokC:
      if (p[1] != 'h') return kTokC;
      *end = p + 2;
      if (p[2] != 'm' && p[2] != 'i' && p[2] != 'e') return kTokCh;
      *end = p + 3;
      return p[2] == 'm' ? kTokChm : p[2] == 'i' ? kTokChi : kTokChe;
    case kTokSlash:
      if (p[1] == '/') *end = p + std::strlen(reinterpret_cast<const char*>(p));
      if (p[1] == '*') *end = SkipBlockComment(p + 2);
      return p[1] == '/' ? kTokLineComment : p[1] == '*' ? kTokBlockComment : kTokSlash;
    case kTokAt:
      *end = ReadCallName(t, p + 1);
      return t.text[0] != 0 ? kTokPercent : kTokAt;
    case kTokPercent:
    case kTokBang:
      *end = ReadCallName(t, p + 1);
      return code;
    default:
      return code;
  }
}

const uint8_t* SkipBlanks(const uint8_t* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

int AccidentalCode(uint8_t c) {
  return c == '+' ? kTokPlus : c == '-' ? kTokMinus : c == '=' ? kTokEqual : 0;
}

// Whether a token starting with c is read by a plain scan: NextToken neither
// crosses a line or frame for it nor expands a call, and the note reads no
// more after it. "." cannot follow the dots, and "$" only starts a number.
bool EndsNotePlainly(uint8_t c) {
  switch (c) {
    case 0:  // line end
    case '%':
    case '@':  // macro calls
    case ',':
    case ')':  // argument ends
    case '/':  // comments
    case '"':  // an unclosed text is reported while scanned
    case ':':
    case '\'':
    case ';':  // note suffixes
    case '^':  // tie
      return false;
    default:
      return true;
  }
}

}  // namespace

const char* TokenName(int code) {
  if (code < 0 || code >= kTokenCodeCount) return "?";
  return kTokenNames[code];
}

void SetSourceTable(CompileContext& cc, const SourceTable* table) {
  TokenState& t = cc.reader.tokens;
  t.table = table;
  t.context = ReadingContext{};
  t.token_line = -1;
  t.pushback = false;
  SetTextPosition(cc, "");
  IndexSourceLines(cc, table);
}

const SourceTable* ReaderSourceTable(const CompileContext& cc) {
  return cc.reader.tokens.table;
}
ReadingContext& CurrentContext(CompileContext& cc) {
  return cc.reader.tokens.context;
}
const char* TokenStart(const CompileContext& cc) {
  return reinterpret_cast<const char*>(cc.reader.tokens.token_start);
}
int TokenTextLength(const CompileContext& cc) {
  return cc.reader.tokens.text_length;
}

int ScanToken(CompileContext& cc) {
  TokenState& t = cc.reader.tokens;
  t.last_from_pushback = t.pushback;
  if (t.pushback) {
    t.pushback = false;
    return t.last_code;
  }
  int code;
  const uint8_t* p = t.position;
  do {
    while (IsBlank(*p)) ++p;
    t.token_start = p;
    t.token_line = t.context.line;
    code = ScanAt(cc, p, &p);
  } while (code == kTokLineComment || code == kTokBlockComment);
  t.position = p;
  t.last_code = code;
  return code;
}

int NextRawToken(CompileContext& cc) {
  TokenState& t = cc.reader.tokens;
  ReadingContext& context = t.context;
  for (;;) {
    if (context.line >= 0) {
      int code = ScanToken(cc);
      // A pushed-back end was found with no line left: no need to search again.
      if (code != kTokEnd || t.last_from_pushback) return code;
    }
    int next = NextContextLine(cc, context, context.line);
    if (next < 0) {
      t.last_code = kTokEnd;
      return kTokEnd;
    }
    context.line = next;
    SetTextPosition(cc, t.table->Body(next));
  }
}

int LookAheadRawToken(CompileContext& cc) {
  TokenState& t = cc.reader.tokens;
  t.quiet = true;
  int code = NextRawToken(cc);
  t.quiet = false;
  PushBackToken(cc);
  return code;
}

bool PeekNoteTail(const CompileContext& cc, NoteTail* tail) {
  const TokenState& t = cc.reader.tokens;
  // The letter must be the token scanned last, with the cursor right behind it.
  if (!t.peek_notes || t.pushback || t.position != t.token_start + 1) return false;
  const uint8_t* p = SkipBlanks(t.position);
  NoteTail peeked;
  peeked.accidental = AccidentalCode(*p);
  if (peeked.accidental != 0) p = SkipBlanks(p + 1);
  if (*p == '$') return false;
  if (IsDigit(*p)) p = SkipBlanks(ParseDecimal(p, &peeked.divisor));
  for (; *p == '.'; p = SkipBlanks(p + 1)) ++peeked.dots;
  if (!EndsNotePlainly(*p)) return false;
  peeked.end = reinterpret_cast<const char*>(p);
  *tail = peeked;
  return true;
}

int TakeNoteTail(CompileContext& cc, const NoteTail& tail) {
  TokenState& t = cc.reader.tokens;
  if (tail.divisor >= 0) t.number = tail.divisor;
  // Token by token, the note makes dots + 5 NextToken calls: accidental,
  // length, each dot and the failed one, "^", and the token behind it.
  if (cc.reader.macros.depth > 0) cc.reader.macros.expanded_tokens += tail.dots + 5;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(tail.end);
  t.token_start = p;
  t.token_line = t.context.line;
  t.last_code = ScanAt(cc, p, &p);
  t.position = p;
  t.pushback = false;
  t.last_from_pushback = true;
  return t.last_code;
}

bool ScanPlainArgumentList(CompileContext& cc, const char** starts, int max, int* count) {
  TokenState& t = cc.reader.tokens;
  if (t.pushback || t.context.line < 0) return false;
  const uint8_t* p = SkipBlanks(t.position);
  if (*p != '(') return false;
  // Only quoted texts and comments hold bytes that would be read as "(",
  // "," or ")" here; every other token is made of bytes that are none of them.
  int found = 0;
  int nesting = 0;
  bool argument_starts = true;
  for (p = SkipBlanks(p + 1);; p = SkipBlanks(p + 1)) {
    if (*p == 0 || *p == '"' || *p == '/') return false;
    if (argument_starts && found < max) starts[found] = reinterpret_cast<const char*>(p);
    if (argument_starts) ++found;
    argument_starts = false;
    if (*p == '(') ++nesting;
    if (*p == ')' && nesting-- == 0) break;
    if (*p == ',' && nesting == 0) argument_starts = true;
  }
  *count = found;
  t.token_start = p;
  t.token_line = t.context.line;
  t.position = p + 1;
  t.last_code = kTokRightParen;
  t.last_from_pushback = false;
  return true;
}

const char* NextTokenStartOnLine(const CompileContext& cc) {
  const TokenState& t = cc.reader.tokens;
  if (t.pushback || t.context.line < 0) return nullptr;
  const uint8_t* p = SkipBlanks(t.position);
  if (*p == 0 || *p == '/') return nullptr;
  return reinterpret_cast<const char*>(p);
}

void PushBackToken(CompileContext& cc) {
  cc.reader.tokens.pushback = true;
}

void SetTextPosition(CompileContext& cc, const char* position) {
  TokenState& t = cc.reader.tokens;
  t.position = reinterpret_cast<const uint8_t*>(position != nullptr ? position : "");
  t.pushback = false;
}

int TokenNumber(const CompileContext& cc) {
  return cc.reader.tokens.number;
}
const char* TokenText(const CompileContext& cc) {
  return cc.reader.tokens.text;
}

TokenPlace CurrentTokenPlace(const CompileContext& cc) {
  const TokenState& t = cc.reader.tokens;
  return TokenPlace{t.token_line, reinterpret_cast<const char*>(t.token_start)};
}

int PlaceLine(const CompileContext& cc, const TokenPlace& place) {
  const SourceTable* table = cc.reader.tokens.table;
  if (table == nullptr || place.line_index < 0 || place.line_index >= table->LineCount()) {
    return -1;
  }
  return table->lines[place.line_index].line_number;
}

int PlaceColumn(const CompileContext& cc, const TokenPlace& place) {
  if (PlaceLine(cc, place) < 0) return -1;
  return static_cast<int>(place.start - cc.reader.tokens.table->Text(place.line_index));
}

int TokenLine(const CompileContext& cc) {
  return PlaceLine(cc, CurrentTokenPlace(cc));
}

int TokenColumn(const CompileContext& cc) {
  return PlaceColumn(cc, CurrentTokenPlace(cc));
}
