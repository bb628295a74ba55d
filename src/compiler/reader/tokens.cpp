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

struct Reader {
  const SourceTable* table = nullptr;
  const uint8_t* position = reinterpret_cast<const uint8_t*>("");
  const uint8_t* token_start = position;
  int token_line = -1;  // source line index of token_start
  int last_code = kTokEnd;
  bool pushback = false;
  bool last_from_pushback = false;
  bool quiet = false;  // a look-ahead that will be scanned again reports nothing
  int number = 0;
  char text[kTextBytes + 1] = {};
  ReadingContext context;
};

Reader& R() {
  return CompilationPartOf<Reader>(kPartReader);
}

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
const uint8_t* ReadRun(const uint8_t* p, bool (*accept)(uint8_t)) {
  int n = 0;
  for (; accept(*p); ++p) {
    if (n < kTextBytes) R().text[n++] = static_cast<char>(*p);
  }
  R().text[n] = 0;
  return p;
}

// A name that must begin with a letter and goes on with letters and digits;
// empty when the first byte is no letter.
const uint8_t* ReadCallName(const uint8_t* p) {
  if (!IsLetter(*p)) {
    R().text[0] = 0;
    return p;
  }
  return ReadRun(p, IsLetterOrDigit);
}

// Decimal or hexadecimal digits; values above 65535 become 65535 and the
// remaining digits are skipped.
const uint8_t* ReadNumber(const uint8_t* p, int base) {
  int value = 0;
  for (int digit; (digit = HexValue(*p)) >= 0 && digit < base; ++p) {
    if (value < kMaxNumber) value = std::min(value * base + digit, kMaxNumber + 1);
  }
  R().number = std::min(value, kMaxNumber);
  return p;
}

// Quoted text: bytes up to the closing quote. Without one the text ends with
// its line, and a warning says so.
const uint8_t* ReadQuotedText(const uint8_t* p) {
  int n = 0;
  for (; *p != 0 && *p != '"'; ++p) {
    if (n < kTextBytes) R().text[n++] = static_cast<char>(*p);
  }
  R().text[n] = 0;
  if (*p == '"') return p + 1;
  if (!R().quiet) ReportMessage(kUnclosedText);
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
int ScanOther(const uint8_t* p, const uint8_t** end) {
  if (IsDigit(*p)) {
    *end = ReadNumber(p, 10);
    return kTokNum;
  }
  if (IsCapital(*p)) {
    *end = ReadRun(p, IsLetter);
    return kTokName;
  }
  if (*p == '$' && HexValue(p[1]) >= 0) {
    *end = ReadNumber(p + 1, 16);
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
int ScanAt(const uint8_t* p, const uint8_t** end) {
  int code = kByteCodes[*p];
  *end = p + 1;
  switch (code) {
    case kTokErr:
      return ScanOther(p, end);
    case kTokString:
      *end = ReadQuotedText(p + 1);
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
      *end = ReadCallName(p + 1);
      return R().text[0] != 0 ? kTokPercent : kTokAt;
    case kTokPercent:
    case kTokBang:
      *end = ReadCallName(p + 1);
      return code;
    default:
      return code;
  }
}

}  // namespace

const char* TokenName(int code) {
  if (code < 0 || code >= kTokenCodeCount) return "?";
  return kTokenNames[code];
}

void SetSourceTable(const SourceTable* table) {
  R().table = table;
  R().context = ReadingContext{};
  R().token_line = -1;
  R().pushback = false;
  SetTextPosition("");
  IndexSourceLines(table);
}

const SourceTable* ReaderSourceTable() {
  return R().table;
}
ReadingContext& CurrentContext() {
  return R().context;
}
const char* TokenStart() {
  return reinterpret_cast<const char*>(R().token_start);
}

int ScanToken() {
  R().last_from_pushback = R().pushback;
  if (R().pushback) {
    R().pushback = false;
    return R().last_code;
  }
  int code;
  const uint8_t* p = R().position;
  do {
    while (IsBlank(*p)) ++p;
    R().token_start = p;
    R().token_line = R().context.line;
    code = ScanAt(p, &p);
  } while (code == kTokLineComment || code == kTokBlockComment);
  R().position = p;
  R().last_code = code;
  return code;
}

int NextRawToken() {
  ReadingContext& context = R().context;
  for (;;) {
    if (context.line >= 0) {
      int code = ScanToken();
      // A pushed-back end was found with no line left: no need to search again.
      if (code != kTokEnd || R().last_from_pushback) return code;
    }
    int next = NextContextLine(context, context.line);
    if (next < 0) {
      R().last_code = kTokEnd;
      return kTokEnd;
    }
    context.line = next;
    SetTextPosition(R().table->Body(next));
  }
}

int LookAheadRawToken() {
  R().quiet = true;
  int code = NextRawToken();
  R().quiet = false;
  PushBackToken();
  return code;
}

void PushBackToken() {
  R().pushback = true;
}

void SetTextPosition(const char* position) {
  R().position = reinterpret_cast<const uint8_t*>(position != nullptr ? position : "");
  R().pushback = false;
}

int TokenNumber() {
  return R().number;
}
const char* TokenText() {
  return R().text;
}

TokenPlace CurrentTokenPlace() {
  const Reader& reader = R();
  return TokenPlace{reader.token_line, reinterpret_cast<const char*>(reader.token_start)};
}

int PlaceLine(const TokenPlace& place) {
  const SourceTable* table = R().table;
  if (table == nullptr || place.line_index < 0 || place.line_index >= table->LineCount()) {
    return -1;
  }
  return table->lines[place.line_index].line_number;
}

int PlaceColumn(const TokenPlace& place) {
  if (PlaceLine(place) < 0) return -1;
  return static_cast<int>(place.start - R().table->Text(place.line_index));
}

int TokenLine() {
  return PlaceLine(CurrentTokenPlace());
}

int TokenColumn() {
  return PlaceColumn(CurrentTokenPlace());
}
