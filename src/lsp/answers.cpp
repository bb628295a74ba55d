#include "lsp/answers.h"

#include <cctype>
#include <set>

#include "lsp/command_catalogue.h"
#include "lsp/score_outline.h"
#include "lsp/text_lines.h"

namespace {

// LSP symbol and completion kinds.
constexpr int kSymbolNamespace = 3, kSymbolClass = 5, kSymbolFunction = 12;
constexpr int kCompletionFunction = 3, kCompletionClass = 7, kCompletionKeyword = 14;

// Built member by member: braced lists would copy every nested value, which
// shows on answers with thousands of locations.
Json PositionJson(const TextPosition& p) {
  Json position = Json::object();
  position["line"] = p.line;
  position["character"] = p.character;
  return position;
}

Json Location(const std::string& uri, const TextRange& range) {
  Json location = Json::object();
  location["uri"] = uri;
  location["range"] = RangeJson(range);
  return location;
}

// The run of the line holding the character at column, or ending at it.
const ClassRun* RunAt(const std::vector<ClassRun>& runs, int column) {
  const ClassRun* ending = nullptr;
  for (const ClassRun& run : runs) {
    if (column >= run.start && column < run.start + run.length) return &run;
    if (column == run.start + run.length) ending = &run;
  }
  return ending;
}

// The outline item whose sign and name hold position.
const OutlineItem* ItemAt(const std::vector<OutlineItem>& items, TextPosition position) {
  for (const OutlineItem& item : items) {
    if (item.line == position.line && position.character >= item.sign_and_name.start.character &&
        position.character <= item.sign_and_name.end.character) {
      return &item;
    }
  }
  return nullptr;
}

std::string NoteName(int key) {
  static const char* const kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                         "F#", "G",  "G#", "A",  "A#", "B"};
  return kNames[key % 12] + std::to_string(key / 12 - 1);
}

// "1/4", "dotted 1/8", or empty for a length that is neither.
std::string NoteValue(int ticks, int resolution) {
  if (ticks <= 0) return {};
  if (resolution % ticks == 0) return "1/" + std::to_string(resolution / ticks);
  if ((2 * ticks) % 3 == 0 && resolution % (2 * ticks / 3) == 0) {
    return "dotted 1/" + std::to_string(resolution / (2 * ticks / 3));
  }
  return {};
}

Json Markdown(const std::string& text, const TextRange& range) {
  return {{"contents", {{"kind", "markdown"}, {"value", text}}}, {"range", RangeJson(range)}};
}

// The note written at a note letter: the struck note whose place is the
// last one on the line at or before the letter, with only prefixes between.
const NoteFacts* NoteAtLetter(Analysis* analysis, std::string_view line, int line_number,
                              int letter_column) {
  ScanNotes(analysis);
  const auto end = analysis->notes.upper_bound(SourcePlace{line_number, letter_column});
  if (end == analysis->notes.begin()) return nullptr;
  const auto found = std::prev(end);
  if (found->first.line != line_number) return nullptr;
  for (int c = found->first.column; c < letter_column; ++c) {
    const char ch = c < static_cast<int>(line.size()) ? line[static_cast<size_t>(c)] : 0;
    if (ch != '~' && ch != '_' && ch != ' ' && ch != '\t' && (ch < '0' || ch > '9')) return nullptr;
  }
  return &found->second;
}

std::string NoteHover(const Analysis& analysis, const NoteFacts& n) {
  const int resolution = analysis.map.Resolution();
  std::string value = NoteValue(n.gate, resolution);
  std::string text = "**" + NoteName(n.key) + "** · MIDI " + std::to_string(n.key) + " · " +
                     std::to_string(n.gate) + " ticks" + (value.empty() ? "" : " (" + value + ")") +
                     " · channel " + std::to_string(n.channel + 1) + "\n\nfirst played at tick " +
                     std::to_string(n.first_tick) + ", bar " +
                     BarBeat(analysis.map, n.track, n.first_tick);
  if (n.times > 1) text += " · played " + std::to_string(n.times) + " times";
  return text;
}

// The command whose spelling covers column in a run of small letters.
const CommandEntry* CommandAt(std::string_view line, int column, int* start, int* end) {
  int i = column;
  while (i > 0 && line[static_cast<size_t>(i - 1)] >= 'a' &&
         line[static_cast<size_t>(i - 1)] <= 'z')
    --i;
  while (i <= column) {
    const std::string_view spelling = CommandSpellingAt(line.substr(static_cast<size_t>(i)));
    const int length = spelling.empty() ? 1 : static_cast<int>(spelling.size());
    if (column < i + length) {
      *start = i;
      *end = i + length;
      return spelling.empty() ? nullptr : FindCommand(spelling);
    }
    i += length;
  }
  return nullptr;
}

std::string DefinitionLine(const Document& document, const std::vector<OutlineItem>& items,
                           const std::string& name) {
  for (const OutlineItem& item : items) {
    if (item.kind == OutlineItem::kMacro && item.name == name) {
      return std::string(document.Line(item.line));
    }
  }
  return {};
}

}  // namespace

Json RangeJson(const TextRange& range) {
  Json json = Json::object();
  json["start"] = PositionJson(range.start);
  json["end"] = PositionJson(range.end);
  return json;
}

Json HoverAt(Analysis* analysis, const Document& document, const ScoreIndex& index,
             TextPosition position) {
  const std::vector<ClassRun>& runs = index.classes[static_cast<size_t>(position.line)];
  const std::string_view line = document.Line(position.line);
  const ClassRun* run = nullptr;
  for (const ClassRun& r : runs) {
    if (position.character >= r.start && position.character < r.start + r.length) run = &r;
  }
  if (run == nullptr) return nullptr;
  const TextRange run_range = {{position.line, run->start},
                               {position.line, run->start + run->length}};
  if (run->score_class == ScoreClass::kMacroUse) {
    const OutlineItem* call = ItemAt(index.items, position);
    if (call == nullptr) return nullptr;
    const std::string definition = DefinitionLine(document, index.items, call->name);
    if (definition.empty()) return Markdown("no macro named `" + call->name + "`", run_range);
    return Markdown("```quern\n" + definition + "\n```", run_range);
  }
  if (run->score_class != ScoreClass::kNote && run->score_class != ScoreClass::kCommand &&
      run->score_class != ScoreClass::kLoop) {
    return nullptr;
  }
  // Commands are ASCII: the byte column of an ASCII character is found from
  // its UTF-16 column, and so is the compiler's.
  const int byte = static_cast<int>(ByteOfUtf16(line, position.character));
  const int shift_jis = ShiftJisOfUtf16(line, position.character);
  int start = byte, end = byte + 1;
  const CommandEntry* command = CommandAt(line, byte, &start, &end);
  if (command == nullptr) return nullptr;
  const TextRange range = {{position.line, Utf16OfByte(line, static_cast<size_t>(start))},
                           {position.line, Utf16OfByte(line, static_cast<size_t>(end))}};
  if (run->score_class == ScoreClass::kNote && line[static_cast<size_t>(byte)] != 'r') {
    if (const NoteFacts* facts = NoteAtLetter(analysis, line, position.line, shift_jis)) {
      return Markdown(NoteHover(*analysis, *facts), range);
    }
  }
  return Markdown("`" + std::string(command->syntax) + "` — " + std::string(command->description),
                  range);
}

Json CompletionAt(const Document& document, const ScoreIndex& index, TextPosition position) {
  const std::string_view line = document.Line(position.line);
  const size_t byte = ByteOfUtf16(line, position.character);
  size_t word = byte;
  auto is_name = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  };
  while (word > 0 && is_name(line[word - 1])) --word;
  const std::vector<OutlineItem>& items = index.items;
  Json list = Json::array();
  std::set<std::string> seen;
  auto add = [&](const std::string& label, int kind, const std::string& detail,
                 const std::string& documentation) {
    if (!seen.insert(label).second) return;
    Json item = {{"label", label}, {"kind", kind}, {"detail", detail}};
    if (!documentation.empty()) item["documentation"] = documentation;
    list.push_back(std::move(item));
  };
  if (word > 0 && (line[word - 1] == '%' || line[word - 1] == '@')) {
    for (const OutlineItem& item : items) {
      if (item.kind == OutlineItem::kMacro && !item.name.empty()) {
        add(item.name, kCompletionFunction, std::string(document.Line(item.line)), "");
      }
    }
  } else if (word == 0) {
    for (const OutlineItem& item : items) {
      if (item.kind == OutlineItem::kTrack) add(item.name, kCompletionClass, "track", "");
    }
  } else {
    const std::vector<ClassRun>& runs = index.classes[static_cast<size_t>(position.line)];
    const int column = Utf16OfByte(line, word);
    const ClassRun* run = RunAt(runs, column);
    const bool in_text = run == nullptr || (run->score_class != ScoreClass::kComment &&
                                            run->score_class != ScoreClass::kHeader &&
                                            run->score_class != ScoreClass::kQuoted);
    const bool score_line = !runs.empty() && runs.front().start == 0 &&
                            runs.front().score_class != ScoreClass::kComment &&
                            runs.front().score_class != ScoreClass::kHeader;
    if (in_text && score_line) {
      for (const CommandEntry& entry : CommandCatalogue()) {
        add(std::string(entry.spelling), kCompletionKeyword, std::string(entry.syntax),
            std::string(entry.description));
      }
    }
  }
  return {{"isIncomplete", false}, {"items", list}};
}

Json DefinitionAt(const Document& document, const ScoreIndex& index, const std::string& uri,
                  TextPosition position) {
  const std::vector<OutlineItem>& items = index.items;
  const OutlineItem* at = ItemAt(items, position);
  if (at == nullptr) return nullptr;
  Json locations = Json::array();
  for (const OutlineItem& item : items) {
    const bool macro =
        at->kind == OutlineItem::kCall && item.kind == OutlineItem::kMacro && item.name == at->name;
    // A track line's name leads to the common lines the track reads.
    const bool common = at->kind == OutlineItem::kTrack && item.kind == OutlineItem::kCommon &&
                        CommonSelects(document.Line(item.line).substr(1), at->name);
    if (macro || common) locations.push_back(Location(uri, item.sign_and_name));
  }
  if (locations.empty()) return nullptr;
  return locations;
}

Json ReferencesAt(const ScoreIndex& index, const std::string& uri, TextPosition position,
                  bool include_declaration) {
  const std::vector<OutlineItem>& items = index.items;
  const OutlineItem* at = ItemAt(items, position);
  if (at == nullptr || (at->kind != OutlineItem::kCall && at->kind != OutlineItem::kMacro)) {
    return nullptr;
  }
  Json locations = Json::array();
  for (const OutlineItem& item : items) {
    if (item.name != at->name) continue;
    if (item.kind == OutlineItem::kCall ||
        (include_declaration && item.kind == OutlineItem::kMacro)) {
      locations.push_back(Location(uri, item.sign_and_name));
    }
  }
  return locations;
}

bool RenameAt(const ScoreIndex& index, const std::string& uri, TextPosition position,
              const std::string& new_name, Json* edit, std::string* error) {
  const std::vector<OutlineItem>& items = index.items;
  const OutlineItem* at = ItemAt(items, position);
  if (at == nullptr || (at->kind != OutlineItem::kCall && at->kind != OutlineItem::kMacro)) {
    *error = "no macro here to rename";
    return false;
  }
  bool callable = !new_name.empty() && std::isalpha(static_cast<unsigned char>(new_name[0]));
  for (char c : new_name) callable = callable && std::isalnum(static_cast<unsigned char>(c));
  if (!callable) {
    *error = "a macro name is a letter followed by letters and digits: '" + new_name + "'";
    return false;
  }
  Json edits = Json::array();
  for (const OutlineItem& item : items) {
    if (item.kind == OutlineItem::kMacro && item.name == new_name && new_name != at->name) {
      *error =
          "a macro named '" + new_name + "' exists (line " + std::to_string(item.line + 1) + ")";
      return false;
    }
    if ((item.kind == OutlineItem::kCall || item.kind == OutlineItem::kMacro) &&
        item.name == at->name) {
      edits.push_back({{"range", RangeJson(item.name_range)}, {"newText", new_name}});
    }
  }
  *edit = {{"changes", {{uri, edits}}}};
  return true;
}

Json DocumentSymbols(const Document& document, const ScoreIndex& index) {
  Json symbols = Json::array();
  std::set<std::pair<int, std::string>> seen;
  for (const OutlineItem& item : index.items) {
    if (item.kind == OutlineItem::kCall) continue;
    if (item.kind != OutlineItem::kCommon && !seen.insert({item.kind, item.name}).second) continue;
    const int kind = item.kind == OutlineItem::kTrack   ? kSymbolClass
                     : item.kind == OutlineItem::kMacro ? kSymbolFunction
                                                        : kSymbolNamespace;
    const std::string sign = item.kind == OutlineItem::kTrack ? ""
                             : item.kind == OutlineItem::kMacro
                                 ? std::string(document.Line(item.line).substr(0, 1))
                                 : "*";
    const TextRange line = {{item.line, 0}, {item.line, Utf16Length(document.Line(item.line))}};
    symbols.push_back({{"name", sign + item.name},
                       {"kind", kind},
                       {"range", RangeJson(line)},
                       {"selectionRange", RangeJson(item.sign_and_name)}});
  }
  return symbols;
}

Json SemanticTokensLegend() {
  // Standard token types, one per class in ScoreClass order, so that every
  // client colours them without a theme of its own.
  return {{"tokenTypes",
           {"comment", "macro", "class", "function", "namespace", "operator", "enumMember",
            "keyword", "number", "modifier", "string", "enum", "property", "variable"}},
          {"tokenModifiers", Json::array()}};
}

Json SemanticTokens(const ScoreIndex& index) {
  std::vector<int> data;
  int last_line = 0, last_start = 0;
  const std::vector<std::vector<ClassRun>>& classes = index.classes;
  for (size_t line = 0; line < classes.size(); ++line) {
    for (const ClassRun& run : classes[line]) {
      const int l = static_cast<int>(line);
      data.insert(data.end(), {l - last_line, l == last_line ? run.start - last_start : run.start,
                               run.length, static_cast<int>(run.score_class), 0});
      last_line = l;
      last_start = run.start;
    }
  }
  return {{"data", data}};
}
