// Paints one roll scene (roll/roll_view.h) into an image: the rows of
// keys, the grid, the notes in their tracks' colours (greyed when their
// track is silent), the outlined and sounding notes, the playhead, the
// ruler with bar numbers and tempo marks, and the keyboard with octave
// labels in the score's numbering. The notes go straight into the image's
// pixels (a whole song is tens of thousands of thin boxes), the rest through
// a QPainter. Used by the roll widget and the bench. Any one thread at a time
// per image.
#ifndef QUERN_SHELL_QT_ROLL_PAINT_H_
#define QUERN_SHELL_QT_ROLL_PAINT_H_

#include <QColor>

#include "roll/roll_view.h"

class QImage;

// A track's colour, as the track list shows it.
QColor RollColour(int track);

// The image is the picture's size times its device pixel ratio; one of
// another format is converted to premultiplied ARGB first.
void PaintRollScene(QImage& image, const RollModel& model, const RollViewport& view,
                    const RollScene& scene);

#endif  // QUERN_SHELL_QT_ROLL_PAINT_H_
