// Song places: where the notes of one compiled song are written in the
// editor's text as it is now, however it was edited since the compilation.
//
// In: the source map of a compilation and the editor text it was compiled
//   from (taken at once after compiling, before any further edit), then
//   every change of the editor's document (its contentsChange).
// Out: for a note's place in the map (line and byte column of the compiled
//   text), a cursor over the note or macro call written there as it stands
//   now; none when that text was deleted. For a line of the text now, the
//   compiled line it comes from.
// A mark's cursor keeps following the text once made: text typed between
// its characters joins it, text typed at either end does not, and once all
// of it is deleted it is empty (Lit below). A text replaced as a whole
// (another file opened) keeps no place of the song.
// The window's thread. The document may go first: then nothing is found.
#ifndef QUERN_SHELL_QT_SONG_PLACES_H_
#define QUERN_SHELL_QT_SONG_PLACES_H_

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>
#include <optional>
#include <vector>

#include "compiler/song/source_map.h"
#include "live/edit_trail.h"

class SongPlaces : public QObject {
  Q_OBJECT
 public:
  // The map of a compilation of the document's text as it stands now.
  static std::shared_ptr<SongPlaces> Take(QTextDocument* document, SourceMap map);

  const SourceMap& Map() const { return map_; }
  // A cursor over what is written at `place` now (the note's letter with its
  // prefixes, accidentals and length, or a call's "%" and name), its anchor
  // at the start; nullopt when that text was deleted or never existed.
  std::optional<QTextCursor> Mark(SourcePlace place) const;
  // The compiled line that the character at `position` of the text now was
  // on; nullopt for text added since.
  std::optional<int> CompiledLine(int position) const;
  // The place in the compiled text (line, Shift-JIS byte column) that the
  // character at `position` comes from; for text added since, that of the
  // nearest compiled character before it (nullopt when there is none).
  std::optional<SourcePlace> CompiledPlace(int position) const;

  // Whether a mark's cursor still covers text: not when everything it held
  // was deleted (Qt then leaves it empty, or inverted by typing at its place).
  static bool Lit(const QTextCursor& mark) { return mark.anchor() < mark.position(); }

 private:
  SongPlaces(QTextDocument* document, SourceMap map);

  QPointer<QTextDocument> document_;
  SourceMap map_;
  QString text_;                  // the text compiled
  std::vector<int> line_starts_;  // where each of its lines starts
  EditTrail trail_;               // the edits since
};

#endif  // QUERN_SHELL_QT_SONG_PLACES_H_
