// What each command of the score language does, in one line, with its
// syntax: for hovers and completion.
//
// In: a command's spelling as the token reader reads it ("c", "ch", "tone").
// Out: its entry, or nullptr for spellings that start no command.
// Nothing fails. Thread: any; the table is constant.
#ifndef QUERN_LSP_COMMAND_CATALOGUE_H_
#define QUERN_LSP_COMMAND_CATALOGUE_H_

#include <span>
#include <string_view>

struct CommandEntry {
  std::string_view spelling;
  std::string_view syntax;
  std::string_view description;
};

std::span<const CommandEntry> CommandCatalogue();
const CommandEntry* FindCommand(std::string_view spelling);

// The spelling of the command that starts at text[0], read as the token
// reader reads it ("tone" before "t", "chm" before "ch" before "c"); empty
// when none does.
std::string_view CommandSpellingAt(std::string_view text);

#endif  // QUERN_LSP_COMMAND_CATALOGUE_H_
