#include "app/quern/cli_options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/quern/help.h"

namespace {

// "LINE:COL", both counted from 0.
bool ParsePlace(const std::string& text, SourcePlace* place) {
  const size_t colon = text.find(':');
  int64_t line = 0, column = 0;
  if (colon == std::string::npos || !ParseNumber(text.substr(0, colon), 0, 1 << 30, &line) ||
      !ParseNumber(text.substr(colon + 1), 0, 1 << 30, &column)) {
    return false;
  }
  *place = SourcePlace{static_cast<int>(line), static_cast<int>(column)};
  return true;
}

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> names;
  size_t begin = 0;
  for (;;) {
    const size_t comma = text.find(',', begin);
    names.push_back(text.substr(begin, comma - begin));
    if (comma == std::string::npos) return names;
    begin = comma + 1;
  }
}

bool IsRangeOption(const std::string& arg) {
  return arg == "--from" || arg == "--to" || arg == "--from-tick" || arg == "--to-tick" ||
         arg == "--mute" || arg == "--solo";
}

// The range options: --from/--to LINE:COL, --from-tick/--to-tick N,
// --mute/--solo NAME,...; false (after the message) when the value is wrong.
bool ParseRangeOption(const char* command, const std::string& arg, const std::string& value,
                      Options* o) {
  int64_t number = 0;
  if (arg == "--from" || arg == "--to") {
    if (!ParsePlace(value, arg == "--from" ? &o->from : &o->to)) {
      ReportUsageError(command, arg + " takes LINE:COL (both from 0)");
      return false;
    }
  } else if (arg == "--from-tick" || arg == "--to-tick") {
    if (!ParseNumber(value, 1, kMaxOptionTick, &number)) {
      ReportUsageError(command, arg + " takes a tick from 1 to 1000000000");
      return false;
    }
    (arg == "--from-tick" ? o->from_tick : o->to_tick) = number;
  } else {
    std::vector<std::string> names = SplitNames(value);
    if (value.empty() || std::count(names.begin(), names.end(), std::string()) > 0) {
      ReportUsageError(command, arg + " takes track names separated by commas");
      return false;
    }
    auto& list = arg == "--mute" ? o->mute : o->solo;
    list.insert(list.end(), names.begin(), names.end());
  }
  return true;
}

// One option that is not a range option; 0, or the usage error status.
// take() fetches the option's value.
template <typename Take>
int ParsePlainOption(const char* command, const std::string& arg, const std::string& whole,
                     bool has_inline, int allowed, Take take, std::string& value, Options* o) {
  int64_t number = 0;
  if ((allowed & kTicks) && arg == "--ticks") {
    if (!take() || !ParseNumber(value, 1, kMaxOptionTick, &number)) {
      return ReportUsageError(command, "--ticks takes a number of ticks from 1 to 1000000000");
    }
    o->max_ticks = number;
  } else if ((allowed & kWidth) && arg == "--width") {
    if (!take() || !ParseNumber(value, 200, 1000000, &number)) {
      return ReportUsageError(command, "--width takes pixels from 200 to 1000000");
    }
    o->width = static_cast<int>(number);
  } else if ((allowed & kOutputFile) && arg == "-o") {
    if (!take() || value.empty()) return ReportUsageError(command, "-o needs a file name");
    o->output_file = value;
  } else if ((allowed & kDevice) && arg == "--output") {
    if (!take() || value.empty()) {
      return ReportUsageError(command, "--output takes synth, alsa:PORT or none");
    }
    o->output = value;
  } else if ((allowed & kSoundFont) && arg == "--soundfont") {
    if (!take() || value.empty()) return ReportUsageError(command, "--soundfont needs a file name");
    o->soundfont = value;
  } else if ((allowed & kInterval) && arg == "--interval") {
    if (!take() || !ParseNumber(value, 1, 1000, &number)) {
      return ReportUsageError(command, "--interval takes milliseconds from 1 to 1000");
    }
    o->interval = static_cast<int>(number);
  } else if ((allowed & kWatch) && arg == "--watch" && !has_inline) {
    o->watch = true;
  } else if (arg.size() > 1 && arg[0] == '-') {
    return ReportUsageError(command, "unknown option '" + whole + "'");
  } else if (o->input.empty()) {
    o->input = arg;
  } else {
    return ReportUsageError(command, "more than one input: '" + arg + "'");
  }
  return 0;
}

// Each end of the range is given once: a caret or a tick, not both.
int CheckRangeEnds(const char* command, const Options& o) {
  if (o.from.line >= 0 && o.from_tick > 0) {
    return ReportUsageError(command, "--from and --from-tick both give the start; give one");
  }
  if (o.to.line >= 0 && o.to_tick > 0) {
    return ReportUsageError(command, "--to and --to-tick both give the end; give one");
  }
  return 0;
}

}  // namespace

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t* value) {
  if (text.empty() || text.size() > 12) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < low || v > high) return false;
  *value = v;
  return true;
}

int ParseOptions(const char* command, const Args& args, int allowed, Options* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    const size_t eq = arg.find('=');
    const bool has_inline = arg.rfind("--", 0) == 0 && eq != std::string::npos;
    if (has_inline) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    auto take = [&]() {
      if (has_inline) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    if ((allowed & kRange) && IsRangeOption(arg)) {
      if (!take()) return ReportUsageError(command, arg + " needs a value");
      if (!ParseRangeOption(command, arg, value, o)) return 2;
    } else if (int status =
                   ParsePlainOption(command, arg, args[i], has_inline, allowed, take, value, o)) {
      return status;
    }
  }
  if (o->input.empty()) return ReportUsageError(command, "no score or song file given");
  if ((allowed & kOutputFile) && o->output_file.empty()) {
    return ReportUsageError(command, "no output file given (-o FILE)");
  }
  return CheckRangeEnds(command, *o);
}

bool IsSongImagePath(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".xrt";
}
