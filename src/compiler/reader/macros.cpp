// The macro layer: which lines make up a track or a macro, track selection,
// macro calls with arguments, argument references and the return to the
// calling text.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "compiler/catalogue/messages.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/reader/reader_internal.h"

namespace {

constexpr uint32_t kAllLetters = (1u << 26) - 1;
// Tokens that macro expansion may yield in one compilation. Nested calls
// multiply: eight levels of lines full of calls would otherwise never end.
constexpr long kExpansionBudget = 2'000'000;

MacroState& Macros(CompileContext& cc) {
  return cc.reader.macros;
}
const SourceTable& Table(const CompileContext& cc) {
  return *ReaderSourceTable(cc);
}
bool IsCapital(uint8_t c) {
  return c >= 'A' && c <= 'Z';
}

void IndexLine(LineIndex& index, const SourceTable& table, int i) {
  const SourceLine& line = table.lines[i];
  if (line.kind == kLineTrack) index.track_lines[line.name_index].push_back(i);
  if (line.kind == kLineMacro) {
    index.macro_lines[line.name_index].push_back(i);
    index.first_macro_line.emplace(std::string(table.Name(i)).substr(0, kMacroNameBytes), i);
  }
  if (line.kind != kLineCommon) return;
  int error = -1;
  uint32_t set = CommonLetterSet(table.Text(i) + 1, &error);
  for (int letter = 0; letter < 26; ++letter) {
    if (set & (1u << letter)) index.common_lines[letter].push_back(i);
  }
  if (error >= 0) {
    index.faulty_common_lines.push_back(i);
    index.error_column[i] = error + 1;
  }
}

// The first entry of sorted lines that is greater than after, or -1.
int NextIn(const std::vector<int>& lines, int after) {
  auto it = std::upper_bound(lines.begin(), lines.end(), after);
  return it == lines.end() ? -1 : *it;
}

int Earlier(int a, int b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return std::min(a, b);
}

const std::vector<int>& MainLines(const LineIndex& index, const ReadingContext& context) {
  static const std::vector<int> kNone;
  const auto& by_name = context.kind == kLineTrack ? index.track_lines : index.macro_lines;
  if (context.name < 0 || context.name >= static_cast<int>(by_name.size())) return kNone;
  return by_name[context.name];
}

int TrackLetter(const SourceTable& table, const ReadingContext& context) {
  const char* name = table.names.String(context.name);
  return IsCapital(name[0]) ? name[0] - 'A' : -1;
}

// Reports the faulty common lines in (after, until]; until -1 means to the end.
void ReportFaultyCommonLines(CompileContext& cc, int after, int until) {
  const LineIndex& index = Macros(cc).index;
  const std::vector<int>& faulty = index.faulty_common_lines;
  for (auto it = std::upper_bound(faulty.begin(), faulty.end(), after);
       it != faulty.end() && (until < 0 || *it <= until); ++it) {
    ReportMessageAt(cc, index.error_column[*it], Table(cc).lines[*it].line_number,
                    kFaultyCommonLine);
  }
}

// Whether the macro with this name index is being expanded already. The
// lookup maps each 32-byte name to one name index, so equal indices mean
// equal 32-byte names.
bool IsExpanding(const CompileContext& cc, int macro_name) {
  const MacroState& macros = cc.reader.macros;
  for (int depth = 1; depth <= macros.depth; ++depth) {
    if (macros.frames[depth].macro_name == macro_name) return true;
  }
  return false;
}

// Records the argument list of a call from the raw tokens behind the name:
// "(" arg {"," arg} ")". Commas inside nested parentheses belong to the
// argument; the end of the text ends the list. Arguments not given keep no
// position.
void CollectArguments(CompileContext& cc, MacroFrame& frame) {
  for (ReadingContext& argument : frame.arguments) argument.position = nullptr;
  const char* starts[kMacroArguments];
  int count = 0;
  if (ScanPlainArgumentList(cc, starts, kMacroArguments, &count)) {
    for (int i = 0; i < count && i < kMacroArguments; ++i) {
      ReadingContext& argument = frame.arguments[i];
      argument = CurrentContext(cc);
      argument.position = starts[i];
      argument.frame_type = kFrameArgument;
    }
    return;
  }
  if (NextRawToken(cc) != kTokLeftParen) {
    PushBackToken(cc);
    return;
  }
  count = 0;
  int nesting = 0;
  bool argument_starts = true;
  for (;;) {
    int code = NextRawToken(cc);
    if (argument_starts && count < kMacroArguments) {
      ReadingContext& argument = frame.arguments[count];
      argument = CurrentContext(cc);
      argument.position = TokenStart(cc);
      argument.frame_type = kFrameArgument;
    }
    if (argument_starts) ++count;
    argument_starts = false;
    if (code == kTokEnd) return;
    if (code == kTokLeftParen) ++nesting;
    if (code == kTokRightParen && nesting-- == 0) return;
    if (code == kTokComma && nesting == 0) argument_starts = true;
  }
}

// Finds the macro of a call; reports and gives false when it does not exist
// or is being expanded already.
bool FindMacro(CompileContext& cc, std::string_view name, ReadingContext* target) {
  const auto& first_lines = Macros(cc).index.first_macro_line;
  auto it = first_lines.find(name);
  if (it == first_lines.end()) {
    ReportMessage(cc, kUndefinedMacro);
    return false;
  }
  int line = it->second;
  const SourceTable& table = Table(cc);
  const int macro_name = table.lines[line].name_index;
  if (IsExpanding(cc, macro_name)) {
    ReportMessage(cc, kMacroRecursion);
    return false;
  }
  *target = ReadingContext{table.Body(line), line, macro_name, kLineMacro, kFrameMacro};
  return true;
}

bool BudgetSpent(CompileContext& cc) {
  MacroState& macros = Macros(cc);
  if (macros.expanded_tokens <= kExpansionBudget) return false;
  if (!macros.budget_reported) ReportMessage(cc, kTooMuchExpansion);
  macros.budget_reported = true;
  return true;
}

// Whether a frame above the current one can be entered.
bool CanEnterFrame(CompileContext& cc) {
  return Macros(cc).depth < kMacroFrames - 1 && !BudgetSpent(cc);
}

// Enters the frame above the current one, already filled in, which reads
// target; the caller goes on behind the next token.
void EnterFrame(CompileContext& cc, const ReadingContext& target) {
  MacroState& macros = Macros(cc);
  // The return goes to the start of the next token, which a look-ahead
  // finds when it lies on a later line; on this line, blanks are skipped.
  const char* resume = NextTokenStartOnLine(cc);
  if (resume == nullptr) {
    LookAheadRawToken(cc);
    resume = TokenStart(cc);
  }
  ReadingContext& return_to = macros.frames[macros.depth].return_to;
  return_to = CurrentContext(cc);
  return_to.position = resume;
  ++macros.depth;
  CurrentContext(cc) = target;
  SetTextPosition(cc, target.position);
}

// The significant bytes of the name of the call token just read: a view of
// the score text behind its "%" or "@", which stays put while the
// arguments are read.
std::string_view CallName(const CompileContext& cc) {
  return std::string_view(TokenStart(cc) + 1, std::min(TokenTextLength(cc), kMacroNameBytes));
}

// A call of the named macro, built in the frame above the current one.
void EnterMacro(CompileContext& cc, std::string_view name, const TokenPlace& call) {
  MacroState& macros = Macros(cc);
  const int depth = macros.depth;
  MacroFrame& frame = macros.frames[depth + 1];
  CollectArguments(cc, frame);
  ReadingContext target;
  if (!FindMacro(cc, name, &target) || !CanEnterFrame(cc)) return;
  frame.owner = depth;
  frame.macro_name = target.name;
  frame.arguments_at = depth + 1;
  frame.call = call;
  EnterFrame(cc, target);
}

// A reference to argument number (1..9) of the text being read: its text
// is read as part of the text that holds the call.
void EnterArgument(CompileContext& cc, int number) {
  MacroState& macros = Macros(cc);
  const MacroFrame& current = macros.frames[macros.depth];
  if (current.owner < 0) return;  // the track level has no arguments
  const ReadingContext target = macros.frames[current.arguments_at].arguments[number - 1];
  if (target.position == nullptr || !CanEnterFrame(cc)) return;
  MacroFrame& frame = macros.frames[macros.depth + 1];
  frame.owner = current.owner;
  frame.macro_name = -1;
  frame.arguments_at = macros.frames[current.owner].arguments_at;
  frame.call = TokenPlace{};
  EnterFrame(cc, target);
}

}  // namespace

uint32_t CommonLetterSet(const char* after_star, int* error_offset) {
  *error_offset = -1;
  const uint8_t* start = reinterpret_cast<const uint8_t*>(after_star);
  if (!IsCapital(start[0])) return kAllLetters;
  uint32_t set = 0;
  const uint8_t* p = start;
  for (;;) {
    bool value = true;
    if (*p == '~') {
      value = false;
      ++p;
    }
    if (!IsCapital(*p)) break;
    int first = *p - 'A';
    int last = first;
    if (p[1] == 0) {
      ++p;
      break;
    }
    if (p[1] == '-') {
      if (!IsCapital(p[2])) {
        ++p;
        break;
      }
      last = p[2] - 'A';
      p += 2;
    }
    for (int letter = first; letter <= last; ++letter) {
      set = value ? set | (1u << letter) : set & ~(1u << letter);
    }
    ++p;
  }
  if (*p != 0 && *p != ' ') *error_offset = static_cast<int>(p - start);
  return set;
}

void IndexSourceLines(CompileContext& cc, const SourceTable* table) {
  MacroState& macros = Macros(cc);
  macros.index = LineIndex{};
  macros.expanded_tokens = 0;
  macros.budget_reported = false;
  macros.depth = 0;
  if (table == nullptr) return;
  LineIndex& index = macros.index;
  int count = table->LineCount();
  index.track_lines.resize(table->names.Count());
  index.macro_lines.resize(table->names.Count());
  index.error_column.assign(count, -1);
  index.next_non_common.assign(count + 1, -1);
  for (int i = count - 1; i >= 0; --i) {
    bool common = table->lines[i].kind == kLineCommon;
    index.next_non_common[i] = common ? index.next_non_common[i + 1] : i;
  }
  for (int i = 0; i < count; ++i) IndexLine(index, *table, i);
}

bool LineBelongs(const CompileContext& cc, const ReadingContext& context, int line) {
  const SourceTable& table = Table(cc);
  const SourceLine& record = table.lines[line];
  if (record.kind == context.kind) return record.name_index == context.name;
  if (record.kind != kLineCommon || context.kind != kLineTrack) return false;
  int letter = TrackLetter(table, context);
  int unused;
  return letter >= 0 && (CommonLetterSet(table.Text(line) + 1, &unused) & (1u << letter));
}

int NextContextLine(CompileContext& cc, const ReadingContext& context, int after) {
  if (ReaderSourceTable(cc) == nullptr) return -1;
  const SourceTable& table = Table(cc);
  const LineIndex& index = Macros(cc).index;
  int count = table.LineCount();
  if (after < -1 || after >= count) return -1;
  // The first line that is not common either continues the chain, is one of
  // the context's own lines, or breaks the chain.
  int found = -1;
  int next = index.next_non_common[after + 1];
  if (next >= 0 &&
      (table.lines[next].kind == kLineContinuation || LineBelongs(cc, context, next))) {
    found = next;
  }
  found = Earlier(found, NextIn(MainLines(index, context), after));
  if (context.kind == kLineTrack) {
    int letter = TrackLetter(table, context);
    if (letter >= 0) found = Earlier(found, NextIn(index.common_lines[letter], after));
    ReportFaultyCommonLines(cc, after, found);
  }
  return found;
}

bool BeginTrack(CompileContext& cc, std::string_view previous, std::string* selected) {
  if (ReaderSourceTable(cc) == nullptr) return false;
  const std::vector<std::vector<int>>& track_lines = Macros(cc).index.track_lines;
  int chosen = -1;
  std::string_view chosen_name;
  for (int name = 0; name < static_cast<int>(track_lines.size()); ++name) {
    if (track_lines[name].empty()) continue;
    std::string_view candidate = Table(cc).names.String(name);
    if (candidate <= previous) continue;
    if (chosen < 0 || candidate < chosen_name) {
      chosen = name;
      chosen_name = candidate;
    }
  }
  if (chosen < 0) return false;
  if (selected != nullptr) *selected = std::string(chosen_name);
  ResetMacroStack(cc, ReadingContext{nullptr, -1, chosen, kLineTrack, kFrameTrack});
  return true;
}

void ResetMacroStack(CompileContext& cc, const ReadingContext& context) {
  MacroState& macros = Macros(cc);
  macros.depth = 0;
  macros.frames[0] = MacroFrame{};
  macros.frames[0].return_to = context;
  CurrentContext(cc) = context;
  SetTextPosition(cc, context.position);
}

int MacroDepth(const CompileContext& cc) {
  return cc.reader.macros.depth;
}

void CallMacro(CompileContext& cc) {
  const TokenPlace call = CurrentTokenPlace(cc);
  const std::string_view name = CallName(cc);
  if (!name.empty()) {
    EnterMacro(cc, name, call);
    return;
  }
  if (NextRawToken(cc) != kTokNum) {
    PushBackToken(cc);
    return;
  }
  const int number = TokenNumber(cc);
  if (number >= 1 && number <= kMacroArguments) {
    EnterArgument(cc, number);
  } else {
    EnterMacro(cc, name, call);  // "%0" or "%10": a call of the macro with no name
  }
}

// The text read at a depth lies in a macro body (a macro frame) or in the
// text that holds the call whose argument it is (an argument frame, which
// stands for its owner's text). Walking from the current depth to the track
// level through those owners passes every call that leads to the text.
int MacroCallPlaces(const CompileContext& cc, int* lines, int* columns, int max) {
  const MacroState& macros = cc.reader.macros;
  int count = 0;
  int depth = macros.depth;
  for (int guard = 0; depth > 0 && guard < kMacroFrames; ++guard) {
    const MacroFrame& frame = macros.frames[depth];
    if (frame.macro_name >= 0 && count < max) {
      lines[count] = PlaceLine(cc, frame.call);
      columns[count] = PlaceColumn(cc, frame.call);
      ++count;
    }
    if (frame.owner < 0 || frame.owner >= depth) break;
    depth = frame.owner;
  }
  return count;
}

void ReturnFromFrame(CompileContext& cc) {
  MacroState& macros = Macros(cc);
  if (macros.depth == 0) return;
  --macros.depth;
  CurrentContext(cc) = macros.frames[macros.depth].return_to;
  SetTextPosition(cc, CurrentContext(cc).position);
}

namespace {

// Whether NextToken hands a token with this code on as it is read.
bool HandedOnAsRead(int code) {
  return code != kTokEnd && code != kTokComma && code != kTokRightParen && code != kTokPercent;
}

// A pushed-back token that is handed on as read comes back without a trip
// through the token layer; the result is what NextRawToken would give.
bool TakePushedBack(CompileContext& cc, int* code) {
  TokenState& t = cc.reader.tokens;
  if (!t.pushback || t.context.line < 0 || !HandedOnAsRead(t.last_code)) return false;
  t.pushback = false;
  t.last_from_pushback = true;
  *code = t.last_code;
  return true;
}

}  // namespace

int NextToken(CompileContext& cc) {
  MacroState& macros = Macros(cc);
  int replayed;
  if (TakePushedBack(cc, &replayed)) {
    if (macros.depth > 0) ++macros.expanded_tokens;
    return replayed;
  }
  for (;;) {
    int code = NextRawToken(cc);
    if (macros.depth > 0) ++macros.expanded_tokens;
    switch (code) {
      case kTokEnd:
        if (macros.depth == 0) return code;
        ReturnFromFrame(cc);
        break;
      case kTokComma:
      case kTokRightParen:
        ReturnFromFrame(cc);
        break;
      case kTokPercent:
        CallMacro(cc);
        break;
      default:
        return code;
    }
  }
}
