#include "shell/text_codec.h"

#include <iconv.h>

#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {

// Undecodable bytes 80..FF hex travel in the text as U+F780..U+F7FF.
constexpr char32_t kEscapeBase = 0xF700;
constexpr char32_t kEscapeFirst = 0xF780;
constexpr char32_t kEscapeLast = 0xF7FF;

bool IsEscape(char32_t c) {
  return c >= kEscapeFirst && c <= kEscapeLast;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// One iconv conversion, opened on first use and kept for the thread.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of *in as it can into out; returns false at a sequence
  // that does not convert (in then points at it). Resets the state first.
  bool Convert(std::string_view* in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in->data());
    size_t src_left = in->size();
    char buf[1024];
    bool good = true;
    while (src_left > 0) {
      char* dst = buf;
      size_t dst_left = sizeof buf;
      size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
      out.append(buf, dst - buf);
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        good = false;
        break;
      }
    }
    *in = std::string_view(src, src_left);
    return good;
  }

 private:
  iconv_t cd_;
};

Converter& ToUtf8() {
  thread_local Converter c("UTF-8", "CP932");
  return c;
}

Converter& ToShiftJis() {
  thread_local Converter c("CP932", "UTF-8");
  return c;
}

// UTF-8 to a QString, every character kept: QString::fromUtf8 would drop a
// U+FEFF at the start as a byte-order mark.
QString FromUtf8(std::string_view utf8) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  return decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

// Shift-JIS bytes of one line to UTF-8, undecodable bytes escaped. Returns
// the number of escaped bytes and the column of the first in *first.
int DecodeLineToUtf8(std::string_view line, std::string& out, int* first) {
  int bad = 0;
  std::string_view rest = line;
  while (!rest.empty()) {
    if (ToUtf8().ok() && ToUtf8().Convert(&rest, out)) break;
    if (rest.empty()) break;
    auto b = static_cast<unsigned char>(rest.front());
    if (bad++ == 0 && first) *first = static_cast<int>(rest.data() - line.data());
    AppendUtf8(out, b >= 0x80 ? kEscapeBase + b : static_cast<char32_t>(b));
    rest.remove_prefix(1);
  }
  return bad;
}

// Appends the Shift-JIS form of c; false (and nothing appended) when it has
// none.
bool EncodeChar(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return true;
  }
  if (IsEscape(c)) {
    out += static_cast<char>(c - kEscapeBase);
    return true;
  }
  if (!ToShiftJis().ok()) return false;
  std::string utf8;
  AppendUtf8(utf8, c);
  std::string_view in(utf8);
  std::string bytes;
  if (!ToShiftJis().Convert(&in, bytes) || bytes.empty()) return false;
  out += bytes;
  return true;
}

// Splits text into lines at "\n", "\r\n" or a lone "\r". A text that ends
// with a line break has no further empty line; an empty text has no lines.
std::vector<QStringView> SplitLines(const QString& text, bool* ends_with_break) {
  std::vector<QStringView> lines;
  QStringView all(text);
  qsizetype start = 0;
  *ends_with_break = false;
  for (qsizetype i = 0; i < all.size(); ++i) {
    QChar ch = all[i];
    if (ch != u'\n' && ch != u'\r') continue;
    lines.push_back(all.mid(start, i - start));
    if (ch == u'\r' && i + 1 < all.size() && all[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < all.size()) {
    lines.push_back(all.mid(start));
  } else if (!all.isEmpty()) {
    *ends_with_break = true;
  }
  return lines;
}

// Encodes one line to Shift-JIS; counts characters without a form, which
// become "?".
int EncodeLine(QStringView line, std::string& out, int* first) {
  int bad = 0;
  int column = 0;
  for (qsizetype i = 0; i < line.size(); ++i, ++column) {
    char32_t c = line[i].unicode();
    if (line[i].isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(line[i], line[i + 1]);
      ++i;
    }
    if (!EncodeChar(c, out)) {
      out += '?';
      if (bad++ == 0 && first) *first = column;
    }
  }
  return bad;
}

// The lines of a Shift-JIS file being decoded, for ScoreFormat::kept_lines.
struct KeptLines {
  QHash<QString, std::vector<std::string>>& kept;
  QHash<QString, int> plain_before;  // lines encoding back as they are, by text
};

// A line whose bytes would not come back as they are keeps its bytes, and so
// does every other line of the same text from then on. The lines of that
// text before it, which encode back as they are, are put in front, so that
// the n-th line of a text always gets the n-th bytes.
void KeepLine(const QString& decoded, std::string_view line, KeptLines* lines) {
  auto kept = lines->kept.find(decoded);
  if (kept != lines->kept.end()) {
    kept->emplace_back(line);
    return;
  }
  std::string again;
  EncodeLine(QStringView(decoded), again, nullptr);
  if (again == line) {
    ++lines->plain_before[decoded];
    return;
  }
  std::vector<std::string> bytes(lines->plain_before.value(decoded), again);
  bytes.emplace_back(line);
  lines->kept.insert(decoded, std::move(bytes));
}

}  // namespace

QString DecodeShiftJis(std::string_view bytes, int* undecodable) {
  std::string utf8;
  int bad = DecodeLineToUtf8(bytes, utf8, nullptr);
  if (undecodable) *undecodable = bad;
  return FromUtf8(utf8);
}

std::string EncodeShiftJis(const QString& text, int* unencodable) {
  std::string out;
  int bad = EncodeLine(QStringView(text), out, nullptr);
  if (unencodable) *unencodable = bad;
  return out;
}

int ShiftJisLength(char32_t c) {
  if (c < 0x80 || IsEscape(c)) return 1;
  if (c >= 0xFF61 && c <= 0xFF9F) return 1;  // half-width katakana
  std::string bytes;
  if (!EncodeChar(c, bytes)) return 1;
  return static_cast<int>(bytes.size());
}

DecodedScore DecodeScore(std::string_view file_bytes) {
  DecodedScore result;
  bool utf8 = LooksLikeUtf8(file_bytes);
  if (utf8) {
    bool bom = file_bytes.substr(0, 3) == "\xEF\xBB\xBF";
    result.format.encoding = bom ? ScoreEncoding::kUtf8Bom : ScoreEncoding::kUtf8;
    if (bom) file_bytes.remove_prefix(3);
  }
  std::string normal = NormaliseLineBreaks(file_bytes);
  std::string_view rest(normal);
  std::string utf8_text;
  utf8_text.reserve(normal.size() * 3 / 2);
  int line_number = 0;
  KeptLines kept{result.format.kept_lines, {}};
  while (!rest.empty()) {
    size_t end = rest.find("\r\n");
    std::string_view line = rest.substr(0, end);
    size_t start = utf8_text.size();
    if (utf8) {
      utf8_text.append(line);
    } else {
      int first = -1;
      int bad = DecodeLineToUtf8(line, utf8_text, &first);
      if (bad > 0 && result.undecodable == 0) result.first_undecodable = {line_number, first};
      result.undecodable += bad;
      KeepLine(FromUtf8(std::string_view(utf8_text).substr(start)), line, &kept);
    }
    if (end == std::string_view::npos) break;
    utf8_text += '\n';
    rest.remove_prefix(end + 2);
    ++line_number;
  }
  result.text = FromUtf8(utf8_text);
  return result;
}

EncodedScore EncodeScoreText(const QString& text, const ScoreFormat& format) {
  EncodedScore result;
  bool ends_with_break = false;
  std::vector<QStringView> lines = SplitLines(text, &ends_with_break);
  if (format.encoding == ScoreEncoding::kUtf8Bom) result.bytes = "\xEF\xBB\xBF";
  QHash<QString, size_t> kept_used;  // lines of each kept text written so far
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) result.bytes += "\r\n";
    if (format.encoding != ScoreEncoding::kShiftJis) {
      result.bytes += lines[i].toUtf8().toStdString();
      continue;
    }
    if (!format.kept_lines.isEmpty()) {
      QString line = lines[i].toString();
      auto kept = format.kept_lines.constFind(line);
      if (kept != format.kept_lines.constEnd() && !kept->empty()) {
        size_t& used = kept_used[line];
        result.bytes += (*kept)[std::min(used++, kept->size() - 1)];
        continue;
      }
    }
    int first = -1;
    int bad = EncodeLine(lines[i], result.bytes, &first);
    if (bad > 0 && result.unencodable == 0) {
      result.first_unencodable = {static_cast<int>(i), first};
    }
    result.unencodable += bad;
  }
  if (ends_with_break) result.bytes += "\r\n";
  return result;
}
