#include "shell/editor_rules.h"

#include <algorithm>
#include <cstdio>

CommandStateChanges UpdateCommandStates(const CommandStateInputs& in) {
  CommandStateChanges changes;
  // Each group follows its first member: when that one already shows the
  // wanted state, the group is left alone.
  bool save_wanted = in.text_modified;
  if (save_wanted != in.save_group_enabled) changes.save_group = save_wanted;
  bool song_wanted = SongIsReady(in.last_severity);
  if (song_wanted != in.song_group_enabled) changes.song_group = song_wanted;
  return changes;
}

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

}  // namespace

std::string MakeXrtPath(std::string_view score_path) {
  // Only the file name's own extension counts: search for the dot after the
  // last separator, never in a directory name.
  size_t name_start = score_path.size();
  while (name_start > 0 && !IsSeparator(score_path[name_start - 1])) --name_start;
  size_t dot = score_path.rfind('.');
  size_t cut = (dot != std::string_view::npos && dot >= name_start) ? dot : score_path.size();
  std::string out(score_path.substr(0, cut));
  out += ".xrt";
  return out;
}

QString MakeXrtPath(const QString& score_path) {
  QByteArray utf8 = score_path.toUtf8();
  return QString::fromStdString(MakeXrtPath(std::string_view(utf8.constData(), utf8.size())));
}

int JumpToPositionOffset(const QString& editor_text, int line, int column) {
  line = std::max(line, 0);
  column = std::max(column, 0);
  // Count bytes as the compiler counted them: Shift-JIS bytes per character,
  // 2 per line break (its CR LF). The target byte is known when the walk
  // reaches the start of `line`; a text with fewer lines ends before that,
  // and the caret goes to its end.
  const qsizetype n = editor_text.size();
  long long target = line == 0 ? column : -1;
  long long bytes = 0;
  int line_number = 0;
  for (qsizetype k = 0; k < n; ++k) {
    QChar ch = editor_text[k];
    int length;
    qsizetype width = 1;
    if (ch == u'\n') {
      length = 2;
    } else if (ch.isHighSurrogate() && k + 1 < n && editor_text[k + 1].isLowSurrogate()) {
      length = 1;  // no Shift-JIS form: compiled as one "?"
      width = 2;
    } else {
      length = ShiftJisLength(ch.unicode());
    }
    if (target >= 0 && bytes + length > target) return static_cast<int>(k);
    bytes += length;
    k += width - 1;
    if (ch == u'\n' && ++line_number == line) target = bytes + column;
  }
  return static_cast<int>(n);
}

EncodedScore MakeCompileText(const QString& editor_text, const ScoreFormat& format) {
  EncodedScore result;
  if (!editor_text.isEmpty()) {
    // The editor's lines: a text ending with a line break has no extra line.
    ScoreFormat shift_jis = format;
    shift_jis.encoding = ScoreEncoding::kShiftJis;
    result = EncodeScoreText(editor_text, shift_jis);
    if (!result.bytes.ends_with("\r\n")) result.bytes += "\r\n";
  }
  result.bytes += "\r\n\r\n";
  return result;
}

std::string ObjectSizeLine(long long size) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "Object Size : %lld bytes", size);
  return buf;
}

QString FullWidthNotice(const QString& line, int index) {
  if (index < 0 || index >= line.size()) return QString();
  const char16_t c = line[index].unicode();
  if (c == 0x3000) return QStringLiteral("全角スペースがあります (半角スペースに直してください)");
  if (c < 0xff01 || c > 0xff5e) return QString();
  // The full-width forms stand in the order of ASCII 0x21 to 0x7e.
  return QStringLiteral("全角文字「%1」があります (半角の「%2」に直してください)")
      .arg(QChar(c), QChar(char16_t(c - 0xff01 + 0x21)));
}
