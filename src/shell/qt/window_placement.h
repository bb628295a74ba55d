// Placement of the file browser and the message window from the settings:
// each value that is 0 or more replaces the designed one.
#ifndef QUERN_SHELL_QT_WINDOW_PLACEMENT_H_
#define QUERN_SHELL_QT_WINDOW_PLACEMENT_H_

#include <QList>
#include <QRect>

#include "shell/settings.h"

class QWidget;

// designed: the window's designed position and outer size.
void ApplyPlacement(QWidget* window, const QRect& designed, const Placement& placement);
Placement PlacementOf(const QWidget* window);
// A window's outer rectangle moved (and shrunk when larger) so that it lies
// wholly within one of the screens' available areas: the one it overlaps
// most, else the first (the primary screen). Unchanged when it already lies
// within one. No screens: unchanged.
QRect FitOnScreens(const QRect& frame, const QList<QRect>& available);
// Moves and resizes the window so that its frame lies within a screen.
void KeepOnScreen(QWidget* window);
// Does so again each time the window is shown, when its frame is known.
void KeepOnScreenWhenShown(QWidget* window);
// The list colours and font of a font group.
void ApplyListFont(QWidget* list, const FontSetting& font);

#endif  // QUERN_SHELL_QT_WINDOW_PLACEMENT_H_
