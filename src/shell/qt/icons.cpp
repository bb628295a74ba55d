#include "shell/qt/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

// Each drawing works on a 24 x 24 canvas; the icon holds it at 1x and 2x.
// The disabled state is a grey version, made by the style from the pixmap.
QIcon DrawIcon(int width, const std::function<void(QPainter&)>& draw) {
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pixmap(width * scale, 24 * scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    draw(painter);
    painter.end();
    pixmap.setDevicePixelRatio(1.0);
    icon.addPixmap(pixmap);
  }
  return icon;
}

const QColor kInk(0x30, 0x30, 0x38);

void DrawPlay(QPainter& p, QRectF box, QColor fill) {
  QPainterPath path;
  path.moveTo(box.left(), box.top());
  path.lineTo(box.right(), box.center().y());
  path.lineTo(box.left(), box.bottom());
  path.closeSubpath();
  p.setPen(QPen(fill.darker(150), 1.2));
  p.setBrush(fill);
  p.drawPath(path);
}

}  // namespace

QIcon OpenIcon() {
  return DrawIcon(24, [](QPainter& p) {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(QColor(0xe8, 0xb9, 0x4a));
    QPainterPath back;
    back.moveTo(2.5, 6.5);
    back.lineTo(9.5, 6.5);
    back.lineTo(11.5, 8.5);
    back.lineTo(19.5, 8.5);
    back.lineTo(19.5, 19.5);
    back.lineTo(2.5, 19.5);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(QColor(0xf7, 0xd3, 0x6e));
    QPainterPath front;
    front.moveTo(5.5, 11.5);
    front.lineTo(22.5, 11.5);
    front.lineTo(19.5, 19.5);
    front.lineTo(2.5, 19.5);
    front.closeSubpath();
    p.drawPath(front);
  });
}

QIcon SaveIcon() {
  return DrawIcon(24, [](QPainter& p) {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(QColor(0x3a, 0x6e, 0xc4));
    QPainterPath disk;
    disk.moveTo(3.5, 3.5);
    disk.lineTo(17.5, 3.5);
    disk.lineTo(20.5, 6.5);
    disk.lineTo(20.5, 20.5);
    disk.lineTo(3.5, 20.5);
    disk.closeSubpath();
    p.drawPath(disk);
    p.setBrush(QColor(0xf2, 0xf2, 0xf2));
    p.drawRect(QRectF(6.5, 3.5, 10, 6));
    p.setBrush(QColor(0x9f, 0xbf, 0xea));
    p.drawRect(QRectF(6.5, 13.5, 11, 7));
    p.setBrush(kInk);
    p.drawRect(QRectF(13, 4.5, 2, 4));
  });
}

QIcon CompilePlayIcon() {
  return DrawIcon(48, [](QPainter& p) {
    // A score page with two notes, then the play triangle.
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 2.5, 16, 19));
    p.setPen(QPen(QColor(0x90, 0x90, 0x98), 0.8));
    for (double y : {7.5, 10.5, 13.5, 16.5}) p.drawLine(QPointF(5.5, y), QPointF(17.5, y));
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kInk);
    p.drawEllipse(QPointF(8.5, 16), 2.2, 1.6);
    p.drawEllipse(QPointF(14.5, 13), 2.2, 1.6);
    p.drawLine(QPointF(10.6, 16), QPointF(10.6, 7));
    p.drawLine(QPointF(16.6, 13), QPointF(16.6, 5));
    p.drawLine(QPointF(10.6, 7), QPointF(16.6, 5));
    DrawPlay(p, QRectF(27, 4, 16, 16), QColor(0x3c, 0xb0, 0x4a));
  });
}

QIcon StopIcon() {
  return DrawIcon(24, [](QPainter& p) {
    p.setPen(QPen(QColor(0x90, 0x20, 0x20), 1.2));
    p.setBrush(QColor(0xd8, 0x3a, 0x3a));
    p.drawRoundedRect(QRectF(5.5, 5.5, 13, 13), 1.5, 1.5);
  });
}
