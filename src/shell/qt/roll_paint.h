// Paints one roll scene (roll/roll_view.h) with a QPainter: the rows of
// keys, the grid, the notes in their tracks' colours (greyed when their
// track is silent), the outlined and sounding notes, the playhead, the
// ruler with bar numbers and tempo marks, and the keyboard with octave
// labels in the score's numbering. Used by the roll widget and the bench.
// The GUI thread (or any thread painting on a QImage).
#ifndef QUERN_SHELL_QT_ROLL_PAINT_H_
#define QUERN_SHELL_QT_ROLL_PAINT_H_

#include <QColor>

#include "roll/roll_view.h"

class QPainter;

// A track's colour, as the track list shows it.
QColor RollColour(int track);

void PaintRollScene(QPainter& painter, const RollModel& model, const RollViewport& view,
                    const RollScene& scene);

#endif  // QUERN_SHELL_QT_ROLL_PAINT_H_
