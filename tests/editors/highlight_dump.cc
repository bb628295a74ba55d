// Prints the token class of every character of a score as the editor's
// highlighter colours it, one line of class letters per text line, for
// check_grammars.py to compare with the editor support files.
//
//   highlight_dump FILE     FILE is UTF-8 text
//
// The classes are learnt from the highlighter itself: a calibration text
// holds one sample of each class, and every format met later is named by
// the first sample with the same format. Classes whose formats are equal
// (the editor cannot tell them apart) print as the first of them; the
// "same" line lists them so the checker can merge them likewise.
#include <QFile>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <cstdio>
#include <vector>

#include "shell/qt/score_highlighter.h"

namespace {

struct Sample {
  char code;
  const char* line;
  int column;  // a character of the class in line
};

// Class letters: c comment, h header, t track, m macro definition, k common
// line, + continuation, n note, x command, 0 number, l loop, q quoted,
// b byte list, a attribute, u macro use; "." has no colour.
constexpr Sample kSamples[] = {
    {'c', "x", 0},      {'h', "#a", 0},  {'t', "A", 0},   {'m', "%A", 0},   {'k', "*A", 0},
    {'+', "+", 0},      {'n', "A c", 2}, {'x', "A o", 2}, {'0', "A 1", 2},  {'l', "A [", 2},
    {'q', "A \"\"", 2}, {'b', "A {", 2}, {'a', "A T", 2}, {'u', "A %m", 2},
};

struct Known {
  QTextCharFormat format;
  char code;
};

QTextCharFormat FormatAt(const QTextBlock& block, int column) {
  for (const QTextLayout::FormatRange& r : block.layout()->formats()) {
    if (column >= r.start && column < r.start + r.length) return r.format;
  }
  return QTextCharFormat();
}

// Highlights text and returns the document (owned by the caller).
QTextDocument* Highlight(const QString& text) {
  auto* document = new QTextDocument;
  document->setPlainText(text);
  auto* highlighter = new ScoreHighlighter(document);
  highlighter->rehighlight();
  return document;
}

std::vector<Known> Calibrate(std::string* same) {
  QString text;
  for (const Sample& s : kSamples) text += QString::fromUtf8(s.line) + u'\n';
  QTextDocument* document = Highlight(text);
  std::vector<Known> known;
  QTextBlock block = document->begin();
  for (const Sample& s : kSamples) {
    QTextCharFormat format = FormatAt(block, s.column);
    block = block.next();
    bool merged = false;
    for (const Known& k : known) {
      if (k.format == format) {
        *same += std::string(" ") + s.code + "=" + k.code;
        merged = true;
        break;
      }
    }
    if (!merged) known.push_back({format, s.code});
  }
  delete document;
  return known;
}

char CodeOf(const QTextCharFormat& format, const std::vector<Known>& known) {
  if (format == QTextCharFormat()) return '.';
  for (const Known& k : known) {
    if (k.format == format) return k.code;
  }
  return '?';
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: highlight_dump FILE\n");
    return 2;
  }
  QFile file(QString::fromLocal8Bit(argv[1]));
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "highlight_dump: cannot read %s\n", argv[1]);
    return 2;
  }
  std::string same;
  const std::vector<Known> known = Calibrate(&same);
  std::printf("same%s\n", same.c_str());
  QTextDocument* document = Highlight(QString::fromUtf8(file.readAll()));
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    std::string codes;
    for (int i = 0; i < block.length() - 1; ++i) codes += CodeOf(FormatAt(block, i), known);
    std::printf("%s\n", codes.c_str());
  }
  delete document;
  return 0;
}
