// quern compile, quern tokens and quern events: the compiler on the command
// line. Their outputs are parsed by scripts and editors; keep them exact.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/quern/cli.h"
#include "app/quern/help.h"
#include "app/quern/score_input.h"
#include "app/quern/standard_output.h"
#include "compiler/driver/driver.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"
#include "diagnostics/diagnostics.h"
#include "files/file_io.h"

namespace {

struct Options {
  std::string score;
  std::string output;
  Encoding encoding = Encoding::kAuto;
  ReportEncoding report_encoding = ReportEncoding::kUtf8;
  // How compile shows the messages: the compiler report, or for other
  // editors gcc-style lines or a JSON array.
  enum class Diagnostics { kReport, kGcc, kJson } diagnostics = Diagnostics::kReport;
};

bool ParseDiagnostics(const std::string& name, Options::Diagnostics* diagnostics) {
  if (name == "report") {
    *diagnostics = Options::Diagnostics::kReport;
  } else if (name == "gcc") {
    *diagnostics = Options::Diagnostics::kGcc;
  } else if (name == "json") {
    *diagnostics = Options::Diagnostics::kJson;
  } else {
    return false;
  }
  return true;
}

int UsageError(const char* command, const std::string& problem) {
  return ReportUsageError(command, problem);
}

// Splits "--name=value" or takes the value from the next argument.
bool TakeValue(const Args& args, size_t* i, const std::string& name, std::string* value) {
  const std::string& arg = args[*i];
  if (arg == name) {
    if (*i + 1 >= args.size()) return false;
    *value = args[++*i];
    return true;
  }
  *value = arg.substr(name.size() + 1);
  return true;
}

bool IsOption(const std::string& arg, const std::string& name) {
  return arg == name || arg.starts_with(name + "=");
}

// Parses SCORE and the options this command allows; returns 0 or the usage
// error status.
int ParseOptions(const char* command, const Args& args, bool allow_output, Options* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (allow_output && (arg == "-o" || IsOption(arg, "--output"))) {
      if (!TakeValue(args, &i, arg == "-o" ? "-o" : "--output", &value) || value.empty()) {
        return UsageError(command, "option " + arg + " needs a file name");
      }
      options->output = value;
    } else if (IsOption(arg, "--encoding")) {
      if (!TakeValue(args, &i, "--encoding", &value) || !ParseEncoding(value, &options->encoding)) {
        return UsageError(command, "--encoding takes auto, cp932 or utf-8");
      }
    } else if (IsOption(arg, "--report-encoding")) {
      if (!TakeValue(args, &i, "--report-encoding", &value) ||
          !ParseReportEncoding(value, &options->report_encoding)) {
        return UsageError(command, "--report-encoding takes utf-8 or cp932");
      }
    } else if (allow_output && IsOption(arg, "--diagnostics")) {
      if (!TakeValue(args, &i, "--diagnostics", &value) ||
          !ParseDiagnostics(value, &options->diagnostics)) {
        return UsageError(command, "--diagnostics takes report, gcc or json");
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError(command, "unknown option '" + arg + "'");
    } else if (options->score.empty()) {
      options->score = arg;
    } else {
      return UsageError(command, "more than one score file: '" + arg + "'");
    }
  }
  if (options->score.empty()) return UsageError(command, "no score file given");
  return 0;
}

std::string DefaultOutput(const std::string& score) {
  return std::filesystem::path(score).replace_extension(".xrt").string();
}

// Reads the score for tokens and events; prints the reason on failure.
bool LoadScore(const Options& options, std::string* text) {
  std::string error, warning;
  if (!ReadScoreFile(options.score, options.encoding, text, &error, &warning)) {
    std::fprintf(stderr, "quern: %s\n", error.c_str());
    return false;
  }
  if (!warning.empty()) std::fprintf(stderr, "quern: warning: %s\n", warning.c_str());
  return true;
}

void PrintReportToStderr(const Options& options) {
  std::string report = ReportInEncoding(ReportText(), options.report_encoding);
  std::fwrite(report.data(), 1, report.size(), stderr);
}

// One line of `quern tokens`: "LINE:COL NAME", then the number of #NUM or
// the text of #NAME and quoted texts.
void PrintToken(const ListedToken& token, const Options& options) {
  const int code = token.code;
  std::string line =
      std::to_string(token.line) + ":" + std::to_string(token.column) + " " + TokenName(code);
  if (code == kTokNum) line += " " + std::to_string(token.number);
  if (code == kTokName || code == kTokString) {
    line += " " + ReportInEncoding(token.text, options.report_encoding);
  }
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

// Writes the song image of the last compilation where the options say.
int WriteSongImage(const Options& options) {
  std::string output = options.output.empty() ? DefaultOutput(options.score) : options.output;
  std::string error;
  std::string_view image(reinterpret_cast<const char*>(SongImageBegin()), SongImageLength());
  if (!ReplaceFileAtomically(output, image, &error)) {
    std::fprintf(stderr, "quern: %s\n", error.c_str());
    return 2;
  }
  return 0;
}

// compile with --diagnostics gcc or json: the messages alone, in the
// editor's format; the song image is written as usual.
int CompileForEditor(const Options& options) {
  std::string text;
  if (!LoadScore(options, &text) || !SetUpCompiler()) return 2;
  const int severity = CompileScore(text.c_str());
  const std::vector<Diagnostic> diagnostics = ReadDiagnostics(ReportText(), text);
  if (options.diagnostics == Options::Diagnostics::kGcc) {
    const std::string lines = FormatGccDiagnostics(diagnostics, options.score);
    std::fwrite(lines.data(), 1, lines.size(), stderr);
  } else {
    const std::string json = FormatJsonDiagnostics(diagnostics);
    std::fwrite(json.data(), 1, json.size(), stdout);
    FlushStandardOutput();
  }
  if (severity > 2) return 1;
  return WriteSongImage(options);
}

// True for a name that stands for an open descriptor (/dev/stdin,
// /dev/fd/N, /proc/self/fd/N), whatever the descriptor reads: it has no
// folder to put anything beside.
bool NamesDescriptor(const std::string& path) {
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) parent = ".";
  const std::string folder = std::filesystem::weakly_canonical(parent, ec).string();
  if (!ec && folder.starts_with("/proc/")) return true;
  char target[16] = {};
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 && std::string_view(target, static_cast<size_t>(n)).starts_with("/proc/");
}

// The song image goes beside the score unless -o says otherwise; a score
// that is no file in a folder (a device, a pipe, a descriptor such as
// /dev/stdin) has no "beside". A missing score or a folder fails when it
// is read, with its own reason.
bool NeedsOutputName(const Options& options) {
  struct stat st;
  if (!options.output.empty() || ::stat(options.score.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return false;
  return !S_ISREG(st.st_mode) || NamesDescriptor(options.score);
}

}  // namespace

int RunCompile(const Args& args) {
  Options options;
  if (int status = ParseOptions("compile", args, true, &options)) return status;
  if (NeedsOutputName(options)) {
    return UsageError("compile",
                      options.score + " is not a file in a folder: name the song image with -o");
  }
  std::string output = options.output.empty() ? DefaultOutput(options.score) : options.output;
  if (IsSameFile(options.score, output)) {
    return UsageError("compile",
                      output + ": the image would overwrite the score; name another with -o");
  }
  if (options.diagnostics != Options::Diagnostics::kReport) return CompileForEditor(options);
  int severity = CompileScoreFile(options.score, options.encoding, options.report_encoding);
  if (severity < 0) return 2;
  if (severity > 2) return 1;
  if (int status = WriteSongImage(options)) return status;
  // Said once the image is where it should be.
  std::printf("Object Size : %zu bytes\n", SongImageLength());
  return 0;
}

int RunTokens(const Args& args) {
  Options options;
  if (int status = ParseOptions("tokens", args, false, &options)) return status;
  std::string text;
  if (!LoadScore(options, &text) || !SetUpCompiler()) return 2;
  const int severity = ListScoreTokens(
      text.c_str(), [](const char* name) { std::printf("Track %s\n", name); },
      [&options](const ListedToken& token) { PrintToken(token, options); });
  FlushStandardOutput();
  PrintReportToStderr(options);
  return severity > 2 ? 1 : 0;
}

int RunEvents(const Args& args) {
  Options options;
  if (int status = ParseOptions("events", args, false, &options)) return status;
  std::string text;
  if (!LoadScore(options, &text) || !SetUpCompiler()) return 2;
  int severity = CompileScore(text.c_str());
  for (int track = 0; track < CompiledTrackCount(); ++track) {
    std::printf("Track %s\n", CompiledTrackName(track));
    int count = 0;
    const EventRecord* records = CompiledTrackEvents(track, &count);
    for (int i = 0; i < count; ++i) {
      std::printf("%d %d %d %d\n", records[i].time, records[i].kind, records[i].param,
                  records[i].value);
    }
  }
  FlushStandardOutput();
  PrintReportToStderr(options);
  return severity > 2 ? 1 : 0;
}
