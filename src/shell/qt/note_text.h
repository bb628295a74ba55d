// Where a note is written in the editor's text: a place as the compiler
// counts it (line, and byte column in Shift-JIS) turned into characters of
// the document, and the extent of the note or macro call written there.
#ifndef QUERN_SHELL_QT_NOTE_TEXT_H_
#define QUERN_SHELL_QT_NOTE_TEXT_H_

#include <QString>
#include <QStringView>
#include <QTextCursor>

#include "compiler/song/source_map.h"

class QTextDocument;

// The character index in text of a Shift-JIS byte column (a column inside a
// double-byte character gives that character).
int CharIndexOfColumn(QStringView text, int column);
// How many characters from `at` make up the note or call written there: a
// call's "%" and name; a note's "~"/"_" prefixes with their numbers, the
// letter, and the accidental and length behind it. At least one.
int NoteTokenLength(QStringView text, int at);
// The Shift-JIS bytes of text, as the compiler counts columns.
int ShiftJisColumns(QStringView text);
// The place of a document position: its line, and its byte column in
// Shift-JIS as the compiler counts it.
SourcePlace PlaceOfPosition(const QTextDocument* document, int position);
#endif  // QUERN_SHELL_QT_NOTE_TEXT_H_
