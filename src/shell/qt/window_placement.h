// Placement of the windows from the settings, kept on a screen: for the
// file browser and the message window each value that is 0 or more
// replaces the designed one; the main window takes a share of the screen
// where the settings hold no size.
// A window's whole frame, title bar included, must lie within a screen's
// available area. The window system adds the frame only after the window is
// shown, and on some systems later still: the window is fitted again as its
// frame becomes known.
#ifndef QUERN_SHELL_QT_WINDOW_PLACEMENT_H_
#define QUERN_SHELL_QT_WINDOW_PLACEMENT_H_

#include <QList>
#include <QMargins>
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
// The window's own rectangle (without its frame) moved and shrunk so that
// with `frame` round it, it lies within a screen as FitOnScreens puts it.
QRect FitWindowOnScreens(const QRect& window, const QMargins& frame, const QList<QRect>& available);
// The main window's frame where the settings hold no size: about two thirds
// of the screen's available area (four fifths of each side), no smaller
// than 640 x 480 nor larger than 1600 x 1200 unless the screen is, centred.
QRect DefaultMainFrame(const QRect& available);
// The main window placed from the settings: the saved position and size
// where there are, DefaultMainFrame on the primary screen where not.
void ApplyMainPlacement(QWidget* window, const MainPlacement& place);
// Moves and resizes the window so that its frame lies within a screen.
void KeepOnScreen(QWidget* window);
// Does so again each time the window is shown, and while its frame comes
// in during the first seconds after.
void KeepOnScreenWhenShown(QWidget* window);
// The list colours and font of a font group.
void ApplyListFont(QWidget* list, const FontSetting& font);

#endif  // QUERN_SHELL_QT_WINDOW_PLACEMENT_H_
