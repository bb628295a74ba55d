#include "app/quern/score_input.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "compiler/driver/driver.h"
#include "shell/text_codec.h"

namespace {

constexpr std::string_view kBom = "\xef\xbb\xbf";

struct Position {
  int line = 1;
  int column = 1;
};

// Length of the UTF-8 sequence at s[i], or 0 when it is not valid UTF-8
// (overlong forms, surrogates and values above U+10FFFF included).
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return k < s.size() ? static_cast<uint8_t>(s[k]) : 0; };
  uint8_t b = byte(i);
  auto tail = [&](size_t k, uint8_t low = 0x80, uint8_t high = 0xbf) {
    return byte(k) >= low && byte(k) <= high;
  };
  if (b < 0x80) return 1;
  if (b >= 0xc2 && b <= 0xdf) return tail(i + 1) ? 2 : 0;
  if (b >= 0xe0 && b <= 0xef) {
    uint8_t low = b == 0xe0 ? 0xa0 : 0x80;
    uint8_t high = b == 0xed ? 0x9f : 0xbf;
    return tail(i + 1, low, high) && tail(i + 2) ? 3 : 0;
  }
  if (b >= 0xf0 && b <= 0xf4) {
    uint8_t low = b == 0xf0 ? 0x90 : 0x80;
    uint8_t high = b == 0xf4 ? 0x8f : 0xbf;
    return tail(i + 1, low, high) && tail(i + 2) && tail(i + 3) ? 4 : 0;
  }
  return 0;
}

// Offset of the first byte that is not valid UTF-8, or npos.
size_t FirstInvalidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    size_t n = Utf8SequenceLength(s, i);
    if (n == 0) return i;
    i += n;
  }
  return std::string_view::npos;
}

// Line and column (in characters, both from 1) of the byte at offset.
Position PositionOf(std::string_view utf8, size_t offset) {
  Position position;
  for (size_t i = 0; i < offset && i < utf8.size(); ++i) {
    if (utf8[i] == '\n') {
      ++position.line;
      position.column = 1;
    } else if ((static_cast<uint8_t>(utf8[i]) & 0xc0) != 0x80) {
      ++position.column;
    }
  }
  return position;
}

uint32_t CodePointAt(std::string_view s, size_t i) {
  size_t n = Utf8SequenceLength(s, i);
  if (n <= 1) return static_cast<uint8_t>(s[i]);
  uint32_t value = static_cast<uint8_t>(s[i]) & (0x7f >> n);
  for (size_t k = 1; k < n; ++k) value = (value << 6) | (static_cast<uint8_t>(s[i + k]) & 0x3f);
  return value;
}

// Converts with iconv. On a byte sequence that does not convert: with
// replace, writes "?" and skips one byte; otherwise stops and returns the
// offset of the sequence.
size_t Convert(std::string_view in, const char* to, const char* from, bool replace,
               std::string* out) {
  out->clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    out->assign(in);
    return std::string_view::npos;
  }
  char buffer[4096];
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  size_t failed_at = std::string_view::npos;
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof(buffer);
    size_t result = iconv(cd, &src, &left, &dst, &room);
    out->append(buffer, dst - buffer);
    if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
    if (!replace) {
      failed_at = in.size() - left;
      break;
    }
    out->push_back('?');
    ++src;
    --left;
  }
  iconv_close(cd);
  return failed_at;
}

bool ConvertUtf8ToCp932(const std::string& path, std::string_view utf8, std::string* cp932,
                        std::string* error) {
  if (utf8.starts_with(kBom)) utf8.remove_prefix(kBom.size());
  size_t failed_at = Convert(utf8, "CP932", "UTF-8", false, cp932);
  if (failed_at == std::string_view::npos) return true;
  Position position = PositionOf(utf8, failed_at);
  char detail[96];
  std::snprintf(detail, sizeof(detail), ":%d:%d: U+%04X has no Shift-JIS (CP932) form",
                position.line, position.column, CodePointAt(utf8, failed_at));
  *error = path + detail;
  return false;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = path + ": is a directory";
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = path + ": " + std::strerror(errno != 0 ? errno : ENOENT);
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad()) {
    *error = path + ": read error";
    return false;
  }
  return true;
}

bool ParseEncoding(std::string_view name, Encoding* encoding) {
  if (name == "auto") {
    *encoding = Encoding::kAuto;
  } else if (name == "cp932" || name == "CP932" || name == "sjis" || name == "shift_jis") {
    *encoding = Encoding::kCp932;
  } else if (name == "utf-8" || name == "utf8" || name == "UTF-8") {
    *encoding = Encoding::kUtf8;
  } else {
    return false;
  }
  return true;
}

bool ParseReportEncoding(std::string_view name, ReportEncoding* encoding) {
  if (name == "utf-8" || name == "utf8" || name == "UTF-8") {
    *encoding = ReportEncoding::kUtf8;
  } else if (name == "cp932" || name == "CP932" || name == "sjis" || name == "shift_jis") {
    *encoding = ReportEncoding::kCp932;
  } else {
    return false;
  }
  return true;
}

bool ReadScoreFile(const std::string& path, Encoding encoding, std::string* cp932,
                   std::string* error, std::string* warning) {
  std::string bytes;
  if (warning != nullptr) warning->clear();
  if (!ReadWholeFile(path, &bytes, error)) return false;
  size_t nul = bytes.find('\0');
  if (nul != std::string::npos) {
    bytes.resize(nul);
    if (warning != nullptr) {
      *warning = path + ": NUL byte at offset " + std::to_string(nul) + ", the score ends there";
    }
  }
  // The same rule as the editor's, so both read a file the same way.
  bool utf8 = encoding == Encoding::kUtf8 || (encoding == Encoding::kAuto && LooksLikeUtf8(bytes));
  if (!utf8) {
    *cp932 = std::move(bytes);
    return true;
  }
  size_t invalid = FirstInvalidUtf8(bytes);
  if (invalid != std::string::npos) {
    Position position = PositionOf(bytes, invalid);
    *error = path + ":" + std::to_string(position.line) + ":" + std::to_string(position.column) +
             ": not valid UTF-8";
    return false;
  }
  return ConvertUtf8ToCp932(path, bytes, cp932, error);
}

std::string Cp932ToUtf8(std::string_view cp932) {
  std::string out;
  Convert(cp932, "UTF-8", "CP932", true, &out);
  return out;
}

std::string ReportInEncoding(std::string_view cp932, ReportEncoding encoding) {
  return encoding == ReportEncoding::kUtf8 ? Cp932ToUtf8(cp932) : std::string(cp932);
}

int CompileScoreFile(const std::string& path, Encoding encoding, ReportEncoding report_encoding) {
  static bool set_up = SetUpCompiler();
  if (!set_up) {
    std::fprintf(stderr, "quern: the compiler could not allocate its work areas\n");
    return -1;
  }
  std::string text, error, warning;
  if (!ReadScoreFile(path, encoding, &text, &error, &warning)) {
    std::fprintf(stderr, "quern: %s\n", error.c_str());
    return -1;
  }
  if (!warning.empty()) std::fprintf(stderr, "quern: warning: %s\n", warning.c_str());
  int severity = CompileScore(text.c_str());
  std::string report = ReportInEncoding(ReportText(), report_encoding);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return severity;
}
