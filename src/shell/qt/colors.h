// Colour values as the settings keep them (00BBGGRR, or a system colour
// number with the top bit set), and the toolkit's colours.
#ifndef QUERN_SHELL_QT_COLORS_H_
#define QUERN_SHELL_QT_COLORS_H_

#include <QColor>
#include <cstdint>

// A system colour is looked up in the application's palette.
QColor ColorFromValue(int32_t value);
int32_t ValueFromColor(const QColor& color);

#endif  // QUERN_SHELL_QT_COLORS_H_
