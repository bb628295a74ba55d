#include "app/quern/score_input.h"

#include <cstdint>
#include <cstdio>

#include "compiler/driver/driver.h"
#include "files/file_io.h"
#include "files/score_text.h"

namespace {

struct Position {
  int line = 1;
  int column = 1;
};

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

ScoreReading ReadingOf(Encoding encoding) {
  switch (encoding) {
    case Encoding::kCp932:
      return ScoreReading::kShiftJis;
    case Encoding::kUtf8:
      return ScoreReading::kUtf8;
    case Encoding::kAuto:
      break;
  }
  return ScoreReading::kAuto;
}

// The warning about characters compiled as "?": how many, and the first
// with its place as the compiler report counts.
std::string UnencodableWarning(const std::string& path, const CompilerInput& input) {
  char detail[192];
  std::snprintf(detail, sizeof(detail),
                ": %d character%s without a Shift-JIS (CP932) form compiled as \"?\"; the "
                "first, U+%04X, at line %d column %d (as the report counts)",
                input.unencodable, input.unencodable == 1 ? "" : "s",
                static_cast<unsigned>(input.first_unencodable_character),
                input.first_unencodable_in_bytes.line, input.first_unencodable_in_bytes.column);
  return path + detail;
}

}  // namespace

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
  if (!ReadFileChecked(path, kMaxInputFileBytes, &bytes, error)) return false;
  // The editor's reading of the same file (files/score_text.h).
  CompilerInput input = ScoreForCompiler(bytes, ReadingOf(encoding));
  if (input.nul_offset != std::string::npos && warning != nullptr) {
    *warning = path + ": NUL byte at offset " + std::to_string(input.nul_offset) +
               ", the score ends there";
  }
  if (input.invalid_utf8_offset != std::string::npos) {
    Position position = PositionOf(bytes, input.invalid_utf8_offset);
    *error = path + ":" + std::to_string(position.line) + ":" + std::to_string(position.column) +
             ": not valid UTF-8";
    return false;
  }
  if (input.unencodable > 0 && warning != nullptr) {
    if (!warning->empty()) *warning += "\nquern: warning: ";
    *warning += UnencodableWarning(path, input);
  }
  *cp932 = std::move(input.bytes);
  return true;
}

std::string Cp932ToUtf8(std::string_view cp932) {
  return ShiftJisToUtf8Text(cp932);
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
  int severity = CompileScore(std::move(text));
  std::string report = ReportInEncoding(ReportText(), report_encoding);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return severity;
}
