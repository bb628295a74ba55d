// quern import: a Standard MIDI File in, a score file out, the report on
// standard error.
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "app/quern/cli.h"
#include "app/quern/help.h"
#include "files/file_io.h"
#include "files/score_text.h"
#include "import/score_writer.h"
#include "import/smf_reader.h"

namespace {

struct ImportArgs {
  std::string input;
  std::string output;
  std::string encoding;  // empty: Shift-JIS where it fits
  ImportOptions options;
};

int ParseImportArgs(const Args& args, ImportArgs* a) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "-o" || arg == "--grid" || arg == "--encoding") {
      if (!has_value) return ReportUsageError("import", arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "-o") {
        a->output = value;
      } else if (arg == "--grid") {
        char* end = nullptr;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (*end != '\0' || n < 1 || n > 65535) {
          return ReportUsageError("import", "--grid takes a note value from 1 to 65535");
        }
        a->options.grid = static_cast<int>(n);
      } else if (value == "cp932" || value == "utf-8") {
        a->encoding = value;
      } else {
        return ReportUsageError("import", "--encoding is cp932 or utf-8");
      }
    } else if (!arg.empty() && arg[0] == '-') {
      return ReportUsageError("import", "unknown option '" + arg + "'");
    } else if (a->input.empty()) {
      a->input = arg;
    } else {
      return ReportUsageError("import", "one MIDI file at a time");
    }
  }
  if (a->input.empty()) return ReportUsageError("import", "no MIDI file given");
  if (a->output.empty()) {
    const size_t slash = a->input.rfind('/');
    const size_t dot = a->input.rfind('.');
    const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    a->output = (has_ext ? a->input.substr(0, dot) : a->input) + ".qrn";
  }
  return 0;
}

std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Shift-JIS where every character fits (or when asked for: a character
// that does not fit is written as "?", *unencodable counts them), else
// UTF-8.
std::string Encode(const std::string& utf8, const std::string& encoding, bool* fell_back,
                   int* unencodable) {
  if (encoding == "utf-8") return utf8;
  // ASCII is the same in both.
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) return utf8;
  std::string sjis = Utf8ToShiftJis(utf8, unencodable);
  if (*unencodable > 0 && encoding.empty()) {
    *fell_back = true;
    *unencodable = 0;
    return utf8;
  }
  return sjis;
}

// The import's stages hand memory on (the file's events, then the keys'
// lists, then the plan, then the text): memory one stage frees is kept for
// the next instead of being given back and faulted in again, which took a
// quarter of an import's time. The command ends soon after, which gives it
// all back.
void KeepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest it takes
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
}

}  // namespace

int RunImport(const Args& args) {
  ImportArgs a;
  if (int status = ParseImportArgs(args, &a)) return status;
  KeepFreedMemory();
  if (IsSameFile(a.input, a.output)) {
    return ReportUsageError("import",
                            a.output + ": the output would overwrite the input " + a.input);
  }
  std::string bytes, error;
  if (!ReadFileChecked(a.input, kMaxInputFileBytes, &bytes, &error)) {
    std::fprintf(stderr, "quern import: %s\n", error.c_str());
    return 2;
  }
  SmfSong song;
  if (!ReadSmf(bytes, &song, &error)) {
    std::fprintf(stderr, "quern import: %s: %s\n", a.input.c_str(), error.c_str());
    return 2;
  }
  const ImportResult result = WriteScore(std::move(song), BaseName(a.input), a.options);
  bool fell_back = false;
  int unencodable = 0;
  const std::string text = Encode(result.score, a.encoding, &fell_back, &unencodable);
  if (!ReplaceFileAtomically(a.output, text, &error)) {
    std::fprintf(stderr, "quern import: %s\n", error.c_str());
    return 2;
  }
  std::fprintf(stderr, "quern import: %s -> %s\n", a.input.c_str(), a.output.c_str());
  for (const std::string& line : result.report) {
    std::fprintf(stderr, "quern import: %s\n", line.c_str());
  }
  if (fell_back)
    std::fprintf(stderr, "quern import: written as UTF-8 (not every character fits Shift-JIS)\n");
  if (unencodable > 0) {
    std::fprintf(stderr, "quern import: %d %s no Shift-JIS form, written as \"?\"\n", unencodable,
                 unencodable == 1 ? "character has" : "characters have");
  }
  if (!result.compiles) {
    constexpr size_t kShown = 10;
    for (size_t i = 0; i < result.compiler_messages.size() && i < kShown; ++i) {
      std::fprintf(stderr, "quern import: %s\n",
                   ShiftJisToUtf8(result.compiler_messages[i]).c_str());
    }
    if (result.compiler_messages.size() > kShown) {
      std::fprintf(stderr, "quern import: ... and %zu more compiler messages\n",
                   result.compiler_messages.size() - kShown);
    }
    std::fprintf(stderr, "quern import: the written score does not compile\n");
    return 1;
  }
  return 0;
}
