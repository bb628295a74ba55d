#include "shell/qt/roll_paint.h"

#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QRectF>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "roll/roll_text.h"

namespace {

const QColor kBackground(0xfb, 0xfb, 0xfb);
const QColor kBlackRow(0xee, 0xf0, 0xf3);
const QColor kOctaveLine(0xd4, 0xd8, 0xde);
const QColor kBeatLine(0xe4, 0xe4, 0xe4);
const QColor kBarLine(0xa8, 0xa8, 0xa8);
const QColor kMuted(0xb4, 0xb4, 0xb4);
const QColor kRuler(0xe8, 0xe8, 0xea);
const QColor kPlayhead(0xe0, 0x10, 0x10);
const QColor kLitEdge(0xff, 0xd0, 0x00);
const QColor kTempo(0xa0, 0x00, 0x00);

QRectF NotesArea(const RollViewport& v) {
  return QRectF(v.keys_width, v.ruler_height, v.width - v.keys_width, v.height - v.ruler_height);
}

void PaintRows(QPainter& p, const RollViewport& v, const RollScene& scene) {
  const QRectF area = NotesArea(v);
  p.fillRect(area, kBackground);
  for (int key = scene.low_key; key <= scene.high_key; ++key) {
    const double y = v.Y(key);
    if (RollIsBlackKey(key))
      p.fillRect(QRectF(area.left(), y, area.width(), v.row_height), kBlackRow);
    if (key % 12 == 0 && v.row_height >= 3) {
      p.fillRect(QRectF(area.left(), y + v.row_height - 1, area.width(), 1), kOctaveLine);
    }
  }
}

void PaintGrid(QPainter& p, const RollViewport& v, const RollScene& scene) {
  const double top = v.ruler_height, height = v.height - v.ruler_height;
  for (float x : scene.beat_lines) p.fillRect(QRectF(x, top, 1, height), kBeatLine);
  for (float x : scene.bar_lines) p.fillRect(QRectF(x, top, 1, height), kBarLine);
}

// Each byte of a premultiplied pixel times f / 255, rounded, two channels
// at a time.
inline uint32_t Scaled(uint32_t pixel, uint32_t f) {
  uint32_t rb = (pixel & 0x00ff00ff) * f;
  rb = ((rb + ((rb >> 8) & 0x00ff00ff) + 0x00800080) >> 8) & 0x00ff00ff;
  uint32_t ag = ((pixel >> 8) & 0x00ff00ff) * f;
  ag = (ag + ((ag >> 8) & 0x00ff00ff) + 0x00800080) & 0xff00ff00;
  return rb | ag;
}

// std::lround, std::floor and std::ceil of a pixel position, without a call
// into the maths library for each: a scene holds tens of thousands of boxes.
inline int Round(double d) {
  return d >= 0 ? static_cast<int>(d + 0.5) : -static_cast<int>(0.5 - d);
}
inline int Floor(double d) {
  const int i = static_cast<int>(d);
  return d < i ? i - 1 : i;
}
inline int Ceil(double d) {
  const int i = static_cast<int>(d);
  return d > i ? i + 1 : i;
}

// A box's premultiplied ARGB pixel: its track's colour (grey when muted) at
// its opacity.
inline uint32_t BoxPixel(const RollBox& b) {
  const uint32_t rgb = b.muted ? kMuted.rgb() : RollTrackRgb(b.track);
  const auto alpha = static_cast<uint32_t>(Round((b.muted ? 0.6f : b.opacity) * 255));
  const uint32_t red = (rgb >> 16) & 255, green = (rgb >> 8) & 255, blue = rgb & 255;
  return (alpha << 24) | ((red * alpha / 255) << 16) | ((green * alpha / 255) << 8) |
         (blue * alpha / 255);
}

// The notes written straight into the picture's pixels: a scene of a whole
// song holds tens of thousands of boxes a pixel or two wide, which the
// painter's per-rectangle set-up would make slow. Premultiplied ARGB.
void BlitNotes(QImage& image, const RollViewport& v, const RollScene& scene) {
  const double ratio = image.devicePixelRatio();
  const int width = image.width(), height = image.height();
  const int left = Round(v.keys_width * ratio);
  const int top = Round(v.ruler_height * ratio);
  uchar* bits = image.bits();
  const qsizetype stride = image.bytesPerLine();
  for (const RollBox& b : scene.notes) {
    const uint32_t source = BoxPixel(b);
    const uint32_t keep = 255 - (source >> 24);
    // Wide notes keep a pixel of room, so repeated notes stay apart.
    const double w = b.w >= 3 ? b.w - 1 : b.w;
    const int x0 = std::max(left, Floor(b.x * ratio));
    const int x1 = std::min(width, std::max(x0 + 1, Ceil((b.x + w) * ratio)));
    const int y = Round(b.y * ratio);
    const int y0 = std::max(top, y);
    const int rows = std::max(1, Round((b.h >= 3 ? b.h - 1 : b.h) * ratio));
    const int y1 = std::min(height, y + rows);
    for (int row = y0; row < y1; ++row) {
      auto* line = reinterpret_cast<uint32_t*>(bits + row * stride);
      for (int x = x0; x < x1; ++x) line[x] = source + Scaled(line[x], keep);
    }
  }
}

// A frame `thick` pixels wide around r, as four filled strips (cheaper than
// stroking a pen).
void Frame(QPainter& p, const QRectF& r, double thick, const QColor& colour) {
  p.fillRect(QRectF(r.left() - thick, r.top() - thick, r.width() + 2 * thick, thick), colour);
  p.fillRect(QRectF(r.left() - thick, r.bottom(), r.width() + 2 * thick, thick), colour);
  p.fillRect(QRectF(r.left() - thick, r.top(), thick, r.height()), colour);
  p.fillRect(QRectF(r.right(), r.top(), thick, r.height()), colour);
}

void PaintMarks(QPainter& p, const RollModel& model, const RollScene& scene) {
  const QColor outline(0x10, 0x10, 0x10);
  for (const RollNoteBox& b : scene.outlined) Frame(p, QRectF(b.x, b.y, b.w, b.h), 1.5, outline);
  for (const RollNoteBox& b : scene.sounding) {
    const QRectF r(b.x, b.y, b.w, b.h);
    p.fillRect(r, RollColour(model.notes[b.note].track).lighter(140));
    Frame(p, r, 2, kLitEdge);
  }
}

void PaintRuler(QPainter& p, const RollViewport& v, const RollScene& scene) {
  p.fillRect(QRectF(0, 0, v.width, v.ruler_height), kRuler);
  p.fillRect(QRectF(0, v.ruler_height - 1, v.width, 1), kBarLine);
  QFont font = p.font();
  font.setPixelSize(10);
  p.setFont(font);
  p.setPen(QColor(0x30, 0x30, 0x30));
  for (float x : scene.bar_lines) p.fillRect(QRectF(x, v.ruler_height - 7, 1, 6), kBarLine);
  for (const RollScene::BarNumber& n : scene.bar_numbers) {
    p.drawText(QPointF(n.x + 3, 11), QString::number(n.bar));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(kTempo);
  font.setPixelSize(9);
  p.setFont(font);
  for (const RollScene::TempoMark& t : scene.tempos) {
    const QPolygonF mark({QPointF(t.x - 3, 14), QPointF(t.x + 3, 14), QPointF(t.x, 20)});
    p.setPen(Qt::NoPen);
    p.drawPolygon(mark);
    p.setPen(kTempo);
    p.drawText(QPointF(t.x + 4, v.ruler_height - 4), QStringLiteral("t%1").arg(t.tempo));
  }
  p.setBrush(Qt::NoBrush);
}

void PaintKeyboard(QPainter& p, const RollModel& model, const RollViewport& v,
                   const RollScene& scene) {
  p.fillRect(QRectF(0, v.ruler_height, v.keys_width, v.height - v.ruler_height), Qt::white);
  std::vector<bool> sounding(256, false);
  for (const RollNoteBox& b : scene.sounding) sounding[model.notes[b.note].key & 255] = true;
  QFont font = p.font();
  font.setPixelSize(std::clamp(v.row_height + 1, 7, 11));
  p.setFont(font);
  const double label_every = v.row_height >= 6 ? 1 : v.row_height >= 3 ? 2 : 4;
  for (int key = scene.low_key; key <= scene.high_key; ++key) {
    const double y = v.Y(key);
    const QRectF row(0, y, v.keys_width, v.row_height);
    if (sounding[key & 255]) {
      p.fillRect(row, QColor(0xff, 0xe6, 0x80));
    } else if (RollIsBlackKey(key)) {
      p.fillRect(QRectF(0, y, v.keys_width * 0.6, v.row_height), QColor(0x30, 0x30, 0x30));
    }
    if (key % 12 == 0) {
      p.fillRect(QRectF(0, y + v.row_height - 1, v.keys_width, 1), kBarLine);
      if ((key / 12) % static_cast<int>(label_every) == 0) {
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.drawText(QRectF(0, y + v.row_height - 12, v.keys_width - 3, 12),
                   Qt::AlignRight | Qt::AlignBottom,
                   QString::fromLatin1(RollNoteName(key).c_str()));
      }
    }
  }
  p.fillRect(QRectF(v.keys_width - 1, v.ruler_height, 1, v.height - v.ruler_height), kBarLine);
  p.fillRect(QRectF(0, 0, v.keys_width, v.ruler_height), kRuler);
}

void PaintPlayhead(QPainter& p, const RollViewport& v, const RollScene& scene) {
  if (scene.bound >= 0) {
    p.setPen(QPen(kTempo, 1, Qt::DashLine));
    p.drawLine(QPointF(scene.bound, v.ruler_height), QPointF(scene.bound, v.height));
  }
  if (scene.playhead >= 0) {
    p.fillRect(QRectF(scene.playhead - 1, 0, 2, v.height), kPlayhead);
  }
}

}  // namespace

QColor RollColour(int track) {
  return QColor::fromRgb(RollTrackRgb(track));
}

void PaintRollScene(QImage& image, const RollModel& model, const RollViewport& view,
                    const RollScene& scene) {
  if (image.format() != QImage::Format_ARGB32_Premultiplied) {
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  {
    QPainter painter(&image);
    painter.setClipRect(NotesArea(view));
    PaintRows(painter, view, scene);
    PaintGrid(painter, view, scene);
  }
  BlitNotes(image, view, scene);
  QPainter painter(&image);
  painter.setClipRect(NotesArea(view));
  PaintMarks(painter, model, scene);
  painter.setClipping(false);
  PaintRuler(painter, view, scene);
  PaintKeyboard(painter, model, view, scene);
  PaintPlayhead(painter, view, scene);
}
