// Colour values as the settings keep them (00BBGGRR, or a system colour
// number with the top bit set), and the toolkit's colours.
#ifndef QUERN_SHELL_QT_COLORS_H_
#define QUERN_SHELL_QT_COLORS_H_

#include <QColor>
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

#endif  // QUERN_SHELL_QT_COLORS_H_
