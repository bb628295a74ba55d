// Texts of a MIDI file (track names, texts, markers) as one line of UTF-8
// for the score's title and comments. The file does not say its encoding:
// valid UTF-8 is taken as such, else Shift-JIS when every byte decodes, else
// Latin-1. Control characters (a line break would end the comment and start
// a line of score text) become blanks; a text longer than 480 bytes is cut
// there (at a character's start) and ends in "...". Thread: any.
#ifndef QUERN_IMPORT_IMPORT_TEXT_H_
#define QUERN_IMPORT_IMPORT_TEXT_H_

#include <string>
#include <string_view>

std::string TextLine(std::string_view bytes);

#endif  // QUERN_IMPORT_IMPORT_TEXT_H_
