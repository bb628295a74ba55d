// Colour values as the settings keep them (00BBGGRR, or a system colour
// number with the top bit set), and the toolkit's colours.
#ifndef QUERN_SHELL_QT_COLORS_H_
#define QUERN_SHELL_QT_COLORS_H_

#include <QColor>
#include <QList>
#include <cstdint>

// A system colour is looked up in the application's palette.
QColor ColorFromValue(int32_t value);
int32_t ValueFromColor(const QColor& color);

// The contrast ratio of two colours by the WCAG formula, from 1 (the same
// luminance) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// The least contrast a coloured token keeps against its background.
inline constexpr double kMinTokenContrast = 4.5;

// A colour for text on background with the hue and saturation of designed:
// designed itself when it already reaches kMinTokenContrast, otherwise the
// nearest lightness that does, looked for first on the side of the text
// colour (lighter when the text is lighter than the background), then on
// the other side. Black or white always reach 4.5 against any background,
// so one side always succeeds.
QColor ReadableColor(const QColor& designed, const QColor& background, const QColor& text);
// The same against every one of several backgrounds the token may stand
// on. When no lightness reaches kMinTokenContrast on all of them (only
// when the backgrounds themselves differ widely), black or white, whichever
// reads better on the worst of them.
QColor ReadableColor(const QColor& designed, const QList<QColor>& backgrounds, const QColor& text);

// The colours the editor marks its text with, made from its text and
// background colours. The line marks keep the text colour readable (when it
// reads on the background at all); the tokens' colours are made readable on
// every one of them (TokenBackgrounds). The playhead's marks carry their
// own text colour, which reads on them.
struct EditorMarkColors {
  QColor caret_line;       // the caret's line, faintly
  QColor diagnostic_line;  // the line of the diagnostic picked in the messages
  QColor note, note_text;  // a note that sounds
  QColor call, call_text;  // a macro call that led to a sounding note
  QColor full_width_box;   // the outline drawn round a full-width space
};
EditorMarkColors MarkColorsFor(const QColor& text, const QColor& background);
// The backgrounds that coloured tokens stand on: the editor's and its line
// marks'.
QList<QColor> TokenBackgrounds(const QColor& text, const QColor& background);

#endif  // QUERN_SHELL_QT_COLORS_H_
