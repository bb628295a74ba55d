#include "shell/score_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

std::optional<std::string> ReadFileBytes(const QString& path) {
  if (path.isEmpty() || QFileInfo(path).isDir()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return bytes.toStdString();
}

std::optional<DecodedScore> ReadScoreFile(const QString& path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  return DecodeScore(*bytes);
}

SaveResult SaveScoreFile(const QString& path, const QString& text, const ScoreFormat& format,
                         bool allow_loss) {
  SaveResult result;
  EncodedScore encoded = EncodeScoreText(text, format);
  result.unencodable = encoded.unencodable;
  result.first_unencodable = encoded.first_unencodable;
  if (encoded.unencodable > 0 && !allow_loss) {
    result.outcome = SaveOutcome::kWouldLoseCharacters;
    return result;
  }
  if (!WriteFileAtomically(path, encoded.bytes, &result.error)) {
    result.outcome = SaveOutcome::kFailed;
    return result;
  }
  result.outcome = SaveOutcome::kSaved;
  result.bytes = std::move(encoded.bytes);
  return result;
}

bool WriteFileAtomically(const QString& path, std::string_view bytes, QString* error) {
  QSaveFile file(path);
  // A folder where no new file may be made (mode 555) still holds files the
  // user may write: then the file is written in place, not atomically,
  // rather than not at all.
  file.setDirectWriteFallback(true);
  bool ok = file.open(QIODevice::WriteOnly) &&
            file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                static_cast<qint64>(bytes.size()) &&
            file.commit();
  if (!ok) {
    if (error) *error = file.errorString();
    file.cancelWriting();
  }
  return ok;
}
