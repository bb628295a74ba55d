#include "shell/text_codec.h"

#include <QByteArray>
#include <QStringDecoder>

namespace {

// UTF-8 to a QString, every character kept: QString::fromUtf8 would drop a
// U+FEFF at the start as a byte-order mark.
QString FromUtf8(std::string_view utf8) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  return decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

// The text in UTF-8 for a Shift-JIS encoding. QString::toUtf8 writes a lone
// surrogate as a plain "?", which would pass unnoticed; as U+FFFD, which has
// no Shift-JIS form, it is counted as a lost character.
QByteArray Utf8ForShiftJis(const QString& text) {
  QString marked = text;
  for (qsizetype i = 0; i < marked.size(); ++i) {
    QChar ch = marked[i];
    if (!ch.isSurrogate()) continue;
    if (ch.isHighSurrogate() && i + 1 < marked.size() && marked[i + 1].isLowSurrogate()) {
      ++i;
      continue;
    }
    marked[i] = QChar(QChar::ReplacementCharacter);
  }
  return marked.toUtf8();
}

std::string_view View(const QByteArray& bytes) {
  return std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace

QString DecodeShiftJis(std::string_view bytes, int* undecodable) {
  return FromUtf8(ShiftJisToUtf8(bytes, undecodable));
}

std::string EncodeShiftJis(const QString& text, int* unencodable) {
  return Utf8ToShiftJis(View(Utf8ForShiftJis(text)), unencodable);
}

DecodedScore DecodeScore(std::string_view file_bytes) {
  ScoreText decoded = DecodeScoreBytes(file_bytes);
  return DecodedScore{FromUtf8(decoded.utf8), std::move(decoded.format), decoded.undecodable,
                      decoded.first_undecodable};
}

EncodedScore EncodeScoreText(const QString& text, const ScoreFormat& format) {
  // A UTF-8 file gets the toolkit's own UTF-8 of the text.
  const QByteArray utf8 =
      format.encoding == ScoreEncoding::kShiftJis ? Utf8ForShiftJis(text) : text.toUtf8();
  return EncodeScoreUtf8(View(utf8), format);
}
