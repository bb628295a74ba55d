#include "files/score_text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <unordered_map>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Undecodable bytes 80..FF hex travel in the text as U+F780..U+F7FF.
constexpr char32_t kEscapeBase = 0xF700;
constexpr char32_t kEscapeFirst = 0xF780;
constexpr char32_t kEscapeLast = 0xF7FF;

bool IsEscape(char32_t c) {
  return c >= kEscapeFirst && c <= kEscapeLast;
}

// Length of the UTF-8 sequence at s[i], or 0 when it is not valid UTF-8
// (overlong forms, surrogates, values above U+10FFFF, a cut-off end).
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return k < s.size() ? static_cast<uint8_t>(s[k]) : 0; };
  auto tail = [&](size_t k, uint8_t low = 0x80, uint8_t high = 0xBF) {
    return byte(k) >= low && byte(k) <= high;
  };
  uint8_t b = byte(i);
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return tail(i + 1) ? 2 : 0;
  if (b >= 0xE0 && b <= 0xEF) {
    uint8_t low = b == 0xE0 ? 0xA0 : 0x80;
    uint8_t high = b == 0xED ? 0x9F : 0xBF;
    return tail(i + 1, low, high) && tail(i + 2) ? 3 : 0;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    uint8_t low = b == 0xF0 ? 0x90 : 0x80;
    uint8_t high = b == 0xF4 ? 0x8F : 0xBF;
    return tail(i + 1, low, high) && tail(i + 2) && tail(i + 3) ? 4 : 0;
  }
  return 0;
}

// The code point of the valid UTF-8 sequence of length n at s[i].
char32_t CodePointAt(std::string_view s, size_t i, size_t n) {
  if (n == 1) return static_cast<uint8_t>(s[i]);
  char32_t value = static_cast<uint8_t>(s[i]) & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) value = (value << 6) | (static_cast<uint8_t>(s[i + k]) & 0x3F);
  return value;
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

// One iconv conversion, opened on first use and kept for the thread: code
// page 932 is stateless, so a kept descriptor carries nothing between calls.
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

// Shift-JIS bytes to UTF-8, undecodable bytes escaped. Returns the number of
// escaped bytes and the offset of the first in *first.
int DecodeToUtf8(std::string_view bytes, std::string& out, int* first) {
  int bad = 0;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    if (ToUtf8().ok() && ToUtf8().Convert(&rest, out)) break;
    if (rest.empty()) break;
    auto b = static_cast<unsigned char>(rest.front());
    if (bad++ == 0 && first) *first = static_cast<int>(rest.data() - bytes.data());
    AppendUtf8(out, b >= 0x80 ? kEscapeBase + b : static_cast<char32_t>(b));
    rest.remove_prefix(1);
  }
  return bad;
}

// Appends the Shift-JIS form of the character c, spelt utf8; false (and
// nothing appended) when it has none.
bool EncodeCharacter(char32_t c, std::string_view utf8, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return true;
  }
  if (IsEscape(c)) {
    out += static_cast<char>(c - kEscapeBase);
    return true;
  }
  if (!ToShiftJis().ok()) return false;
  std::string bytes;
  if (!ToShiftJis().Convert(&utf8, bytes) || bytes.empty()) return false;
  out += bytes;
  return true;
}

// The first character written as "?" while encoding.
struct Loss {
  int count = 0;
  int line = 0;  // the line being encoded
  TextPlace place;
  TextPlace place_in_bytes;
  char32_t character = 0;
};

// Encodes UTF-8 text to Shift-JIS, each character without a form (or byte
// that is not UTF-8) as "?", counted in *loss (may be null).
void EncodeLine(std::string_view line, std::string& out, Loss* loss) {
  const size_t line_start = out.size();
  int column = 0;
  for (size_t i = 0; i < line.size(); ++column) {
    size_t n = Utf8SequenceLength(line, i);
    char32_t c = n == 0 ? 0xFFFD : CodePointAt(line, i, n);
    n = std::max<size_t>(n, 1);
    if (!EncodeCharacter(c, line.substr(i, n), out)) {
      if (loss != nullptr && loss->count++ == 0) {
        loss->place = {loss->line, column};
        loss->place_in_bytes = {loss->line, static_cast<int>(out.size() - line_start)};
        loss->character = c;
      }
      out += '?';
    }
    i += n;
  }
}

// Splits text into lines at "\n", "\r\n" or a lone "\r". A text that ends
// with a line break has no further empty line; an empty text has no lines.
std::vector<std::string_view> SplitLines(std::string_view text, bool* ends_with_break) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  *ends_with_break = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch != '\n' && ch != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) {
    lines.push_back(text.substr(start));
  } else if (!text.empty()) {
    *ends_with_break = true;
  }
  return lines;
}

// The lines of a Shift-JIS file being decoded, for ScoreFormat::kept_lines.
struct KeptLines {
  std::map<std::string, std::vector<std::string>, std::less<>>& kept;
  std::unordered_map<std::string, int> plain_before;  // lines encoding back as they are
};

// A line whose bytes would not come back as they are keeps its bytes, and so
// does every other line of the same text from then on. The lines of that
// text before it, which encode back as they are, are put in front, so that
// the n-th line of a text always gets the n-th bytes.
void KeepLine(std::string_view decoded, std::string_view line, KeptLines* lines) {
  auto kept = lines->kept.find(decoded);
  if (kept != lines->kept.end()) {
    kept->second.emplace_back(line);
    return;
  }
  std::string again;
  EncodeLine(decoded, again, nullptr);
  std::string text(decoded);
  if (again == line) {
    ++lines->plain_before[text];
    return;
  }
  auto before = lines->plain_before.find(text);
  std::vector<std::string> bytes(before == lines->plain_before.end() ? 0 : before->second, again);
  bytes.emplace_back(line);
  lines->kept.emplace(std::move(text), std::move(bytes));
}

}  // namespace

std::string NormaliseLineBreaks(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

size_t FirstInvalidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    size_t n = Utf8SequenceLength(bytes, i);
    if (n == 0) return i;
    i += n;
  }
  return std::string_view::npos;
}

bool LooksLikeUtf8(std::string_view bytes) {
  if (FirstInvalidUtf8(bytes) != std::string_view::npos) return false;
  return bytes.starts_with(kByteOrderMark) ||
         std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
}

std::string ShiftJisToUtf8(std::string_view bytes, int* undecodable) {
  std::string utf8;
  int bad = DecodeToUtf8(bytes, utf8, nullptr);
  if (undecodable) *undecodable = bad;
  return utf8;
}

std::string ShiftJisToUtf8Text(std::string_view bytes) {
  // ASCII reads the same in both, and a text without other bytes (the usual
  // report) is handed back as it is: opening the converter loads its
  // module, which would cost a short compile a good part of its time.
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; })) {
    return std::string(bytes);
  }
  const std::string utf8 = ShiftJisToUtf8(bytes);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = std::max<size_t>(Utf8SequenceLength(utf8, i), 1);
    if (IsEscape(CodePointAt(utf8, i, n))) {
      out += '?';
    } else {
      out.append(utf8, i, n);
    }
    i += n;
  }
  return out;
}

int ShiftJisCharactersBefore(std::string_view bytes, size_t byte_offset) {
  // One byte more than the offset is decoded, so that a character of two
  // bytes that ends right there is whole; one that starts there is cut and
  // ends past the offset either way.
  const size_t decoded = byte_offset < bytes.size() ? byte_offset + 1 : bytes.size();
  const std::string utf8 = ShiftJisToUtf8(bytes.substr(0, decoded));
  size_t end = 0;  // of the characters counted so far, in Shift-JIS bytes
  int characters = 0;
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = std::max<size_t>(Utf8SequenceLength(utf8, i), 1);
    const char32_t c = CodePointAt(utf8, i, n);
    // Every character the decoder gives came from one byte (ASCII,
    // half-width katakana, an undecodable byte) or from two.
    const bool single = c < 0x80 || IsEscape(c) || (c >= 0xFF61 && c <= 0xFF9F);
    end += single ? 1 : 2;
    if (end > byte_offset) break;
    ++characters;
    i += n;
  }
  if (byte_offset > bytes.size()) characters += static_cast<int>(byte_offset - bytes.size());
  return characters;
}

std::string Utf8ToShiftJis(std::string_view utf8, int* unencodable) {
  std::string out;
  Loss loss;
  EncodeLine(utf8, out, &loss);
  if (unencodable) *unencodable = loss.count;
  return out;
}

int ShiftJisLength(char32_t c) {
  if (c < 0x80 || IsEscape(c)) return 1;
  if (c >= 0xFF61 && c <= 0xFF9F) return 1;  // half-width katakana
  std::string utf8, bytes;
  AppendUtf8(utf8, c);
  if (!EncodeCharacter(c, utf8, bytes)) return 1;
  return static_cast<int>(bytes.size());
}

ScoreText DecodeScoreBytes(std::string_view file_bytes) {
  ScoreText result;
  bool utf8 = LooksLikeUtf8(file_bytes);
  if (utf8) {
    bool bom = file_bytes.starts_with(kByteOrderMark);
    result.format.encoding = bom ? ScoreEncoding::kUtf8Bom : ScoreEncoding::kUtf8;
    if (bom) file_bytes.remove_prefix(kByteOrderMark.size());
  }
  std::string normal = NormaliseLineBreaks(file_bytes);
  std::string_view rest(normal);
  std::string& text = result.utf8;
  text.reserve(normal.size() * 3 / 2);
  int line_number = 0;
  KeptLines kept{result.format.kept_lines, {}};
  while (!rest.empty()) {
    size_t end = rest.find("\r\n");
    std::string_view line = rest.substr(0, end);
    size_t start = text.size();
    if (utf8) {
      text.append(line);
    } else {
      int first = -1;
      int bad = DecodeToUtf8(line, text, &first);
      if (bad > 0 && result.undecodable == 0) result.first_undecodable = {line_number, first};
      result.undecodable += bad;
      KeepLine(std::string_view(text).substr(start), line, &kept);
    }
    if (end == std::string_view::npos) break;
    text += '\n';
    rest.remove_prefix(end + 2);
    ++line_number;
  }
  return result;
}

ScoreBytes EncodeScoreUtf8(std::string_view utf8, const ScoreFormat& format) {
  ScoreBytes result;
  bool ends_with_break = false;
  std::vector<std::string_view> lines = SplitLines(utf8, &ends_with_break);
  if (format.encoding == ScoreEncoding::kUtf8Bom) result.bytes = kByteOrderMark;
  std::unordered_map<std::string_view, size_t> kept_used;  // lines of each kept text written
  Loss loss;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) result.bytes += "\r\n";
    if (format.encoding != ScoreEncoding::kShiftJis) {
      result.bytes += lines[i];
      continue;
    }
    auto kept = format.kept_lines.find(lines[i]);
    if (kept != format.kept_lines.end() && !kept->second.empty()) {
      size_t& used = kept_used[lines[i]];
      result.bytes += kept->second[std::min(used++, kept->second.size() - 1)];
      continue;
    }
    loss.line = static_cast<int>(i);
    EncodeLine(lines[i], result.bytes, &loss);
  }
  if (ends_with_break) result.bytes += "\r\n";
  result.unencodable = loss.count;
  result.first_unencodable = loss.place;
  result.first_unencodable_in_bytes = loss.place_in_bytes;
  result.first_unencodable_character = loss.character;
  return result;
}

CompilerInput ScoreForCompiler(std::string_view file_bytes, ScoreReading reading) {
  CompilerInput result;
  result.nul_offset = file_bytes.find('\0');
  // The compiler reads up to the NUL byte; the encoding is the whole file's.
  std::string_view score = file_bytes.substr(0, result.nul_offset);
  bool utf8 = reading == ScoreReading::kUtf8 ||
              (reading == ScoreReading::kAuto && LooksLikeUtf8(file_bytes));
  if (!utf8) {
    result.bytes = NormaliseLineBreaks(score);
    return result;
  }
  result.invalid_utf8_offset = FirstInvalidUtf8(score);
  if (result.invalid_utf8_offset != std::string_view::npos) return result;
  result.encoding = ScoreEncoding::kUtf8;
  if (score.starts_with(kByteOrderMark)) {
    score.remove_prefix(kByteOrderMark.size());
    result.encoding = ScoreEncoding::kUtf8Bom;
  }
  ScoreBytes encoded = EncodeScoreUtf8(score, ScoreFormat{});
  result.bytes = std::move(encoded.bytes);
  result.unencodable = encoded.unencodable;
  result.first_unencodable_character = encoded.first_unencodable_character;
  result.first_unencodable_in_bytes = encoded.first_unencodable_in_bytes;
  return result;
}
