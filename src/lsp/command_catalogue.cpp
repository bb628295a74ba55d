#include "lsp/command_catalogue.h"

namespace {

constexpr CommandEntry kNote = {"", "LETTER[+|-|=][LENGTH][:WAIT]['ACCENT][;SOUNDING][&]",
                                "a note in the current octave; & joins it to the next"};

constexpr CommandEntry kCommands[] = {
    {"c", kNote.syntax, kNote.description},
    {"d", kNote.syntax, kNote.description},
    {"e", kNote.syntax, kNote.description},
    {"f", kNote.syntax, kNote.description},
    {"g", kNote.syntax, kNote.description},
    {"a", kNote.syntax, kNote.description},
    {"b", kNote.syntax, kNote.description},
    {"r", "r[LENGTH][&]", "a rest"},
    {"o", "oN", "sets the octave (-1 to 9)"},
    {"<", "<", "one octave down"},
    {">", ">", "one octave up"},
    {"l", "lLENGTH", "sets the default length of notes and rests"},
    {"w", "wLENGTH", "sets the default wait of a note's empty \":\""},
    {"q", "qN | q+N | q-N", "sets the gate time: how long notes sound"},
    {"u", "uLENGTH", "sets the bar length that \"|\" pads to"},
    {"|", "|[LENGTH] | |*", "bar line: pads the bar with silence; |* starts a bar here"},
    {"[", "[ ... / ... ]N", "loop start; the loop plays N times (]* endlessly)"},
    {"]", "]N | ]*", "loop end, with the number of passes"},
    {"/", "[ ... / ... ]", "loop break: the last pass ends here"},
    {"v", "vN", "sets the track velocity (0 to 127)"},
    {"t", "tN", "sets the tempo in quarter notes per minute"},
    {"k", "kN | kLETTER[+|-|=] | ks...", "key shift, tone shift of a letter, or key signature"},
    {"\\", "\\N", "key shift, as k (with a warning)"},
    {"@", "@[PROGRAM][.BANKHIGH][.BANKLOW]", "program change and bank select"},
    {"ch", "chN", "sets the MIDI channel (1 to 16)"},
    {"chm", "chmN", "sets the MIDI channel, as ch (with a warning)"},
    {"chi", "chiN", "sets the MIDI channel, as ch (with a warning)"},
    {"che", "cheN", "sets the MIDI channel, as ch (with a warning)"},
    {"tone", "tone", "notes are released at their end (the default)"},
    {"hit", "hit", "notes are held: only their start is sent"},
    {"~", "~[N]LETTER", "raises the next note by N semitones (12 when omitted)"},
    {"_", "_[N]LETTER", "lowers the next note by N semitones (12 when omitted)"},
    {"{", "{ BYTES }", "sends the bytes as they are (direct out)"},
    {"\"", "\"NAME\"", "phase mark: tracks line up at marks of the same name"},
};

}  // namespace

std::span<const CommandEntry> CommandCatalogue() {
  return kCommands;
}

const CommandEntry* FindCommand(std::string_view spelling) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.spelling == spelling) return &entry;
  }
  return nullptr;
}

std::string_view CommandSpellingAt(std::string_view text) {
  for (std::string_view longest : {"tone", "hit", "chm", "chi", "che", "ch"}) {
    if (text.starts_with(longest)) return text.substr(0, longest.size());
  }
  if (text.empty() || (text[0] == 'h')) return {};
  const CommandEntry* entry = FindCommand(text.substr(0, 1));
  return entry != nullptr ? entry->spelling : std::string_view();
}
