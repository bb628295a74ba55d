// The tool buttons' images, drawn with QPainter so that they stay sharp at
// any scale and need no image files.
#ifndef QUERN_SHELL_QT_ICONS_H_
#define QUERN_SHELL_QT_ICONS_H_

#include <QIcon>

QIcon OpenIcon();         // an opening folder
QIcon SaveIcon();         // a floppy disk
QIcon CompilePlayIcon();  // a page of notes and a play triangle
QIcon StopIcon();         // a square

#endif  // QUERN_SHELL_QT_ICONS_H_
