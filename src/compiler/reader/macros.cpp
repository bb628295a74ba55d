// The macro layer: which lines make up a track or a macro, track selection,
// macro calls with arguments, argument references and the return to the
// calling text.
#include <algorithm>
#include <cstring>
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

struct MacroFrame {
  int owner = -1;
  int macro_name = -1;  // name index while a macro body is read, else -1
  int call_line = -1;   // where the call's "%" stands (report line and column)
  int call_column = -1;
  ReadingContext return_to;
  ReadingContext arguments[kMacroArguments];
};

// Lookups built once per compilation from the source table.
struct LineIndex {
  std::vector<int> next_non_common;           // [i]: first line >= i that is not common, or -1
  std::vector<std::vector<int>> track_lines;  // by name index
  std::vector<std::vector<int>> macro_lines;  // by name index
  std::vector<int> common_lines[26];          // by selected letter
  std::vector<int> faulty_common_lines;
  std::vector<int> error_column;                          // by line, for faulty common lines
  std::unordered_map<std::string, int> first_macro_line;  // by 32-byte name
};

struct MacroState {
  LineIndex index;
  MacroFrame frames[kMacroFrames];
  int depth = 0;
  long expanded_tokens = 0;
  bool budget_reported = false;
};

MacroState& Macros() {
  return CompilationPartOf<MacroState>(kPartMacros);
}

const SourceTable& Table() {
  return *ReaderSourceTable();
}
bool IsCapital(uint8_t c) {
  return c >= 'A' && c <= 'Z';
}

void IndexLine(const SourceTable& table, int i) {
  const SourceLine& line = table.lines[i];
  if (line.kind == kLineTrack) Macros().index.track_lines[line.name_index].push_back(i);
  if (line.kind == kLineMacro) {
    Macros().index.macro_lines[line.name_index].push_back(i);
    Macros().index.first_macro_line.emplace(std::string(table.Name(i)).substr(0, kMacroNameBytes),
                                            i);
  }
  if (line.kind != kLineCommon) return;
  int error = -1;
  uint32_t set = CommonLetterSet(table.Text(i) + 1, &error);
  for (int letter = 0; letter < 26; ++letter) {
    if (set & (1u << letter)) Macros().index.common_lines[letter].push_back(i);
  }
  if (error >= 0) {
    Macros().index.faulty_common_lines.push_back(i);
    Macros().index.error_column[i] = error + 1;
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

const std::vector<int>& MainLines(const ReadingContext& context) {
  static const std::vector<int> kNone;
  const auto& by_name =
      context.kind == kLineTrack ? Macros().index.track_lines : Macros().index.macro_lines;
  if (context.name < 0 || context.name >= static_cast<int>(by_name.size())) return kNone;
  return by_name[context.name];
}

int TrackLetter(const ReadingContext& context) {
  const char* name = Table().names.String(context.name);
  return IsCapital(name[0]) ? name[0] - 'A' : -1;
}

// Reports the faulty common lines in (after, until]; until -1 means to the end.
void ReportFaultyCommonLines(int after, int until) {
  const std::vector<int>& faulty = Macros().index.faulty_common_lines;
  for (auto it = std::upper_bound(faulty.begin(), faulty.end(), after);
       it != faulty.end() && (until < 0 || *it <= until); ++it) {
    ReportMessageAt(Macros().index.error_column[*it], Table().lines[*it].line_number,
                    kFaultyCommonLine);
  }
}

// 32-byte comparison of macro names.
bool SameMacroName(const char* a, const char* b) {
  return std::strncmp(a, b, kMacroNameBytes) == 0;
}

bool IsExpanding(const char* name) {
  for (int depth = 1; depth <= Macros().depth; ++depth) {
    int active = Macros().frames[depth].macro_name;
    if (active >= 0 && SameMacroName(Table().names.String(active), name)) return true;
  }
  return false;
}

// Records the argument list of a call from the raw tokens behind the name:
// "(" arg {"," arg} ")". Commas inside nested parentheses belong to the
// argument; the end of the text ends the list.
void CollectArguments(MacroFrame* frame) {
  if (NextRawToken() != kTokLeftParen) {
    PushBackToken();
    return;
  }
  int count = 0;
  int nesting = 0;
  bool argument_starts = true;
  for (;;) {
    int code = NextRawToken();
    if (argument_starts && count < kMacroArguments) {
      ReadingContext argument = CurrentContext();
      argument.position = TokenStart();
      argument.frame_type = kFrameArgument;
      frame->arguments[count] = argument;
    }
    if (argument_starts) ++count;
    argument_starts = false;
    if (code == kTokEnd) return;
    if (code == kTokLeftParen) ++nesting;
    if (code == kTokRightParen && nesting-- == 0) return;
    if (code == kTokComma && nesting == 0) argument_starts = true;
  }
}

// Finds the macro of a call; reports and gives false when it is being
// expanded already or does not exist.
bool FindMacro(const char* name, ReadingContext* target) {
  if (IsExpanding(name)) {
    ReportMessage(kMacroRecursion);
    return false;
  }
  auto it = Macros().index.first_macro_line.find(std::string(name, strnlen(name, kMacroNameBytes)));
  if (it == Macros().index.first_macro_line.end()) {
    ReportMessage(kUndefinedMacro);
    return false;
  }
  int line = it->second;
  *target = ReadingContext{Table().Body(line), line, Table().lines[line].name_index, kLineMacro,
                           kFrameMacro};
  return true;
}

bool BudgetSpent() {
  if (Macros().expanded_tokens <= kExpansionBudget) return false;
  if (!Macros().budget_reported) ReportMessage(kTooMuchExpansion);
  Macros().budget_reported = true;
  return true;
}

// Enters frame, which reads target; the caller goes on behind the next token.
void EnterFrame(const MacroFrame& frame, const ReadingContext& target) {
  if (Macros().depth >= kMacroFrames - 1 || BudgetSpent()) return;
  LookAheadRawToken();
  ReadingContext& return_to = Macros().frames[Macros().depth].return_to;
  return_to = CurrentContext();
  return_to.position = TokenStart();
  Macros().frames[++Macros().depth] = frame;
  CurrentContext() = target;
  SetTextPosition(target.position);
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

void IndexSourceLines(const SourceTable* table) {
  Macros().index = LineIndex{};
  Macros().expanded_tokens = 0;
  Macros().budget_reported = false;
  Macros().depth = 0;
  if (table == nullptr) return;
  int count = table->LineCount();
  Macros().index.track_lines.resize(table->names.Count());
  Macros().index.macro_lines.resize(table->names.Count());
  Macros().index.error_column.assign(count, -1);
  Macros().index.next_non_common.assign(count + 1, -1);
  for (int i = count - 1; i >= 0; --i) {
    bool common = table->lines[i].kind == kLineCommon;
    Macros().index.next_non_common[i] = common ? Macros().index.next_non_common[i + 1] : i;
  }
  for (int i = 0; i < count; ++i) IndexLine(*table, i);
}

bool LineBelongs(const ReadingContext& context, int line) {
  const SourceLine& record = Table().lines[line];
  if (record.kind == context.kind) return record.name_index == context.name;
  if (record.kind != kLineCommon || context.kind != kLineTrack) return false;
  int letter = TrackLetter(context);
  int unused;
  return letter >= 0 && (CommonLetterSet(Table().Text(line) + 1, &unused) & (1u << letter));
}

int NextContextLine(const ReadingContext& context, int after) {
  if (ReaderSourceTable() == nullptr) return -1;
  int count = Table().LineCount();
  if (after < -1 || after >= count) return -1;
  // The first line that is not common either continues the chain, is one of
  // the context's own lines, or breaks the chain.
  int found = -1;
  int next = Macros().index.next_non_common[after + 1];
  if (next >= 0 && (Table().lines[next].kind == kLineContinuation || LineBelongs(context, next))) {
    found = next;
  }
  found = Earlier(found, NextIn(MainLines(context), after));
  if (context.kind == kLineTrack) {
    int letter = TrackLetter(context);
    if (letter >= 0) found = Earlier(found, NextIn(Macros().index.common_lines[letter], after));
    ReportFaultyCommonLines(after, found);
  }
  return found;
}

bool BeginTrack(std::string_view previous, std::string* selected) {
  if (ReaderSourceTable() == nullptr) return false;
  int chosen = -1;
  std::string_view chosen_name;
  for (int name = 0; name < static_cast<int>(Macros().index.track_lines.size()); ++name) {
    if (Macros().index.track_lines[name].empty()) continue;
    std::string_view candidate = Table().names.String(name);
    if (candidate <= previous) continue;
    if (chosen < 0 || candidate < chosen_name) {
      chosen = name;
      chosen_name = candidate;
    }
  }
  if (chosen < 0) return false;
  if (selected != nullptr) *selected = std::string(chosen_name);
  ResetMacroStack(ReadingContext{nullptr, -1, chosen, kLineTrack, kFrameTrack});
  return true;
}

void ResetMacroStack(const ReadingContext& context) {
  Macros().depth = 0;
  Macros().frames[0] = MacroFrame{};
  Macros().frames[0].return_to = context;
  CurrentContext() = context;
  SetTextPosition(context.position);
}

int MacroDepth() {
  return Macros().depth;
}

void CallMacro() {
  const int call_line = TokenLine();
  const int call_column = TokenColumn();
  char name[kMacroNameBytes + 1];
  std::strncpy(name, TokenText(), kMacroNameBytes);
  name[kMacroNameBytes] = 0;
  MacroFrame frame;
  ReadingContext target;
  int argument = 0;
  if (name[0] == 0) {
    if (NextRawToken() != kTokNum) {
      PushBackToken();
      return;
    }
    if (TokenNumber() >= 1 && TokenNumber() <= kMacroArguments) argument = TokenNumber();
  }
  if (argument == 0) {
    frame.owner = Macros().depth;
    frame.call_line = call_line;
    frame.call_column = call_column;
    CollectArguments(&frame);
    if (!FindMacro(name, &target)) return;
    frame.macro_name = target.name;
  } else {
    frame.owner = Macros().frames[Macros().depth].owner;
    if (frame.owner >= 0)
      std::copy_n(Macros().frames[frame.owner].arguments, kMacroArguments, frame.arguments);
    target = Macros().frames[Macros().depth].arguments[argument - 1];
    if (target.position == nullptr) return;
  }
  EnterFrame(frame, target);
}

// The text read at a depth lies in a macro body (a macro frame) or in the
// text that holds the call whose argument it is (an argument frame, which
// stands for its owner's text). Walking from the current depth to the track
// level through those owners passes every call that leads to the text.
int MacroCallPlaces(int* lines, int* columns, int max) {
  int count = 0;
  int depth = Macros().depth;
  for (int guard = 0; depth > 0 && guard < kMacroFrames; ++guard) {
    const MacroFrame& frame = Macros().frames[depth];
    if (frame.macro_name >= 0 && count < max) {
      lines[count] = frame.call_line;
      columns[count] = frame.call_column;
      ++count;
    }
    if (frame.owner < 0 || frame.owner >= depth) break;
    depth = frame.owner;
  }
  return count;
}

void ReturnFromFrame() {
  if (Macros().depth == 0) return;
  --Macros().depth;
  CurrentContext() = Macros().frames[Macros().depth].return_to;
  SetTextPosition(CurrentContext().position);
}

int NextToken() {
  for (;;) {
    int code = NextRawToken();
    if (Macros().depth > 0) ++Macros().expanded_tokens;
    switch (code) {
      case kTokEnd:
        if (Macros().depth == 0) return code;
        ReturnFromFrame();
        break;
      case kTokComma:
      case kTokRightParen:
        ReturnFromFrame();
        break;
      case kTokPercent:
        CallMacro();
        break;
      default:
        return code;
    }
  }
}
