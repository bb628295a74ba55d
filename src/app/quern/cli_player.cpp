// quern play, trace, export, render and ports: the player on the command
// line. A SCORE argument is compiled first; a .xrt argument is a song image
// loaded byte for byte. The trace format is read by tests and scripts: keep
// it exact.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/quern/cli.h"
#include "app/quern/cli_export.h"
#include "app/quern/cli_watch.h"
#include "app/quern/help.h"
#include "app/quern/output_module.h"
#include "app/quern/score_input.h"
#include "app/quern/standard_output.h"
#include "compiler/driver/driver.h"
#include "compiler/song/source_map.h"
#include "files/file_io.h"
#include "files/signal_cleanup.h"
#include "live/file_watch.h"
#include "live/play_range.h"
#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_export.h"
#include "player/song_length.h"
#include "player/song_swap.h"
#include "roll/roll_model.h"
#include "roll/roll_svg.h"

namespace {

constexpr int64_t kDefaultMaxTicks = 1000000;
// How long `play` may count the song's length before it starts.
constexpr double kLengthBudgetMs = 100;

struct Options {
  std::string input;
  std::string output_file;  // -o
  std::string output = "synth";
  std::string soundfont;
  int interval = 4;
  int64_t max_ticks = kDefaultMaxTicks;
  // Where to start and stop, and which tracks to hear.
  int64_t from_tick = 0;  // 0: from the start
  int64_t to_tick = 0;    // 0: to the end
  SourcePlace from, to;   // line -1: not given
  std::vector<std::string> mute, solo;
  int width = 1600;    // roll: the picture's width in pixels
  bool watch = false;  // play: swap in each good save of the score
};

// The range and track switches resolved against the loaded song.
struct LiveRange {
  int64_t start = 0;
  int64_t stop = 0;
  std::vector<int> mute, solo;
};

int UsageError(const char* command, const std::string& problem) {
  return ReportUsageError(command, problem);
}

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

// Which options a command takes.
enum OptionSet {
  kTicks = 1,
  kOutputFile = 2,
  kDevice = 4,
  kSoundFont = 8,
  kInterval = 16,
  kRange = 32,
  kWidth = 64,
  kWatch = 128,
};

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

// The range options: --from/--to LINE:COL, --from-tick/--to-tick N,
// --mute/--solo NAME,...; 1 when arg is one of them and was taken, 0 when
// it is none, -1 (after the message) when its value is wrong.
int ParseRangeOption(const char* command, const std::string& arg, const std::string& value,
                     Options* o) {
  int64_t number = 0;
  if (arg == "--from" || arg == "--to") {
    if (!ParsePlace(value, arg == "--from" ? &o->from : &o->to)) {
      UsageError(command, arg + " takes LINE:COL (both from 0)");
      return -1;
    }
  } else if (arg == "--from-tick" || arg == "--to-tick") {
    if (!ParseNumber(value, 1, 1000000000, &number)) {
      UsageError(command, arg + " takes a tick from 1 to 1000000000");
      return -1;
    }
    (arg == "--from-tick" ? o->from_tick : o->to_tick) = number;
  } else if (arg == "--mute" || arg == "--solo") {
    std::vector<std::string> names = SplitNames(value);
    if (value.empty() || std::count(names.begin(), names.end(), std::string()) > 0) {
      UsageError(command, arg + " takes track names separated by commas");
      return -1;
    }
    auto& list = arg == "--mute" ? o->mute : o->solo;
    list.insert(list.end(), names.begin(), names.end());
  } else {
    return 0;
  }
  return 1;
}

bool IsRangeOption(const std::string& arg) {
  return arg == "--from" || arg == "--to" || arg == "--from-tick" || arg == "--to-tick" ||
         arg == "--mute" || arg == "--solo";
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
    int64_t number = 0;
    if ((allowed & kRange) && IsRangeOption(arg)) {
      if (!take()) return UsageError(command, arg + " needs a value");
      if (ParseRangeOption(command, arg, value, o) < 0) return 2;
    } else if ((allowed & kTicks) && arg == "--ticks") {
      if (!take() || !ParseNumber(value, 1, 1000000000, &number)) {
        return UsageError(command, "--ticks takes a number of ticks from 1 to 1000000000");
      }
      o->max_ticks = number;
    } else if ((allowed & kWidth) && arg == "--width") {
      if (!take() || !ParseNumber(value, 200, 1000000, &number)) {
        return UsageError(command, "--width takes pixels from 200 to 1000000");
      }
      o->width = static_cast<int>(number);
    } else if ((allowed & kOutputFile) && arg == "-o") {
      if (!take() || value.empty()) return UsageError(command, "-o needs a file name");
      o->output_file = value;
    } else if ((allowed & kDevice) && arg == "--output") {
      if (!take() || value.empty()) {
        return UsageError(command, "--output takes synth, alsa:PORT or none");
      }
      o->output = value;
    } else if ((allowed & kSoundFont) && arg == "--soundfont") {
      if (!take() || value.empty()) return UsageError(command, "--soundfont needs a file name");
      o->soundfont = value;
    } else if ((allowed & kInterval) && arg == "--interval") {
      if (!take() || !ParseNumber(value, 1, 1000, &number)) {
        return UsageError(command, "--interval takes milliseconds from 1 to 1000");
      }
      o->interval = static_cast<int>(number);
    } else if ((allowed & kWatch) && arg == "--watch" && !has_inline) {
      o->watch = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError(command, "unknown option '" + args[i] + "'");
    } else if (o->input.empty()) {
      o->input = arg;
    } else {
      return UsageError(command, "more than one input: '" + arg + "'");
    }
  }
  if (o->input.empty()) return UsageError(command, "no score or song file given");
  if ((allowed & kOutputFile) && o->output_file.empty()) {
    return UsageError(command, "no output file given (-o FILE)");
  }
  return 0;
}

bool IsSongImagePath(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".xrt";
}

// The song being played; the sequencer reads it in place.
std::vector<uint8_t> g_image;
// Where its notes were written, when it was compiled from a score.
SourceMap g_source_map;
bool g_have_source_map = false;

// Reads a .xrt file or compiles a score into g_image and loads it into
// song. Returns 0, or the exit status after printing why not.
int LoadInput(const std::string& path, Sequencer& song) {
  g_have_source_map = false;
  if (IsSongImagePath(path)) {
    std::string bytes, error;
    if (!ReadFileChecked(path, kMaxInputFileBytes, &bytes, &error)) {
      std::fprintf(stderr, "quern: %s\n", error.c_str());
      return 2;
    }
    g_image.assign(bytes.begin(), bytes.end());
  } else {
    static const bool set_up = SetUpCompiler();
    if (!set_up) {
      std::fprintf(stderr, "quern: the compiler could not allocate its work areas\n");
      return 2;
    }
    std::string text, error, warning;
    if (!ReadScoreFile(path, Encoding::kAuto, &text, &error, &warning)) {
      std::fprintf(stderr, "quern: %s\n", error.c_str());
      return 2;
    }
    if (!warning.empty()) std::fprintf(stderr, "quern: warning: %s\n", warning.c_str());
    const int severity = CompileScore(text.c_str(), &g_source_map);
    g_have_source_map = true;
    if (severity >= 2) {
      // The report goes to standard error: standard output carries the trace.
      const std::string report = ReportInEncoding(ReportText(), ReportEncoding::kUtf8);
      std::fwrite(report.data(), 1, report.size(), stderr);
    }
    if (severity > 2) {
      std::fprintf(stderr, "quern: %s: the score has errors\n", path.c_str());
      return 1;
    }
    g_image.assign(SongImageBegin(), SongImageBegin() + SongImageLength());
  }
  std::string error;
  if (!song.Load(g_image.data(), g_image.size(), &error)) {
    std::fprintf(stderr, "quern: %s: %s\n", path.c_str(), error.c_str());
    return 2;
  }
  return 0;
}

// Resolves the range options against the loaded song: carets to ticks
// through the source map, track names to track indices. Returns 0, or the
// exit status after printing why not.
int ResolveRange(const char* command, const Options& o, LiveRange* range) {
  const bool needs_score = o.from.line >= 0 || o.to.line >= 0 || !o.mute.empty() || !o.solo.empty();
  if (needs_score && !g_have_source_map) {
    return UsageError(command, "--from, --to, --mute and --solo need a score, not a song image");
  }
  range->start = o.from_tick;
  range->stop = o.to_tick;
  auto caret_tick = [&](SourcePlace caret, const char* option, int64_t* tick) {
    if (caret.line < 0) return 0;
    *tick = TickFromCaret(g_image.data(), g_image.size(), g_source_map, caret);
    if (*tick >= 0) return 0;
    return UsageError(command, std::string("no note at or after ") + option + " " +
                                   std::to_string(caret.line) + ":" + std::to_string(caret.column));
  };
  if (int status = caret_tick(o.from, "--from", &range->start)) return status;
  if (int status = caret_tick(o.to, "--to", &range->stop)) return status;
  if (range->stop > 0 && range->stop <= std::max<int64_t>(range->start, 1)) {
    return UsageError(command, "the end of the range lies at or before its start");
  }
  auto tracks = [&](const std::vector<std::string>& names, std::vector<int>* indices) {
    for (const std::string& name : names) {
      int found = -1;
      for (int i = 0; i < CompiledTrackCount() && found < 0; ++i) {
        if (name == CompiledTrackName(i)) found = i;
      }
      if (found < 0) return UsageError(command, "no track named '" + name + "'");
      indices->push_back(found);
    }
    return 0;
  };
  if (int status = tracks(o.mute, &range->mute)) return status;
  return tracks(o.solo, &range->solo);
}

// Applies a resolved range to the song just loaded.
void ApplyRange(const LiveRange& range, Sequencer& song) {
  if (range.start > 1) song.Seek(range.start);
  if (range.stop > 0) song.SetStopTick(range.stop, false);
  for (int track : range.mute) song.SetTrackMuted(track, true);
  for (int track : range.solo) song.SetTrackSoloed(track, true);
}

// Loads the input into song and applies the range options; 0 or the exit
// status.
int LoadInputRange(const char* command, const Options& o, LiveRange* range, Sequencer& song) {
  if (int status = LoadInput(o.input, song)) return status;
  if (int status = ResolveRange(command, o, range)) return status;
  ApplyRange(*range, song);
  return 0;
}

// Puts a song back as LoadInputRange left it, for a second run (an output
// that cannot seek is counted first).
std::function<void(Sequencer&)> RestartAt(const LiveRange& range) {
  return [range](Sequencer& song) {
    song.Load(g_image.data(), g_image.size());
    ApplyRange(range, song);
  };
}

// Prints every message of the song as it is sent, one trace line each.
class PrintingSink : public MessageSink {
 public:
  explicit PrintingSink(const Sequencer& song) : song_(song) {}

  void SendShort(const uint8_t* bytes, int length) override { Print(bytes, length, -1); }
  bool SendLong(const uint8_t* bytes, int length) override {
    Print(bytes, length, -1);
    return true;
  }
  void SetTempo(int quarters_per_minute) override { Print(nullptr, 0, quarters_per_minute); }

 private:
  void Print(const uint8_t* bytes, int length, int tempo) {
    RecordedMessage m;
    m.tick = song_.TickCount();
    if (bytes) m.bytes.assign(bytes, bytes + length);
    m.tempo = tempo;
    const std::string line = FormatMessageLine(m) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }

  const Sequencer& song_;
};

// Says on standard error which tracks the sequencer has cut since the last
// call (*reported counts those already told).
void ReportCuts(const char* command, const Sequencer& song, size_t* reported) {
  const std::vector<TrackCut> cuts = song.Cuts();
  for (; *reported < cuts.size(); ++*reported) {
    const TrackCut& cut = cuts[*reported];
    std::fprintf(stderr,
                 "quern %s: track %d was cut at tick %lld: it ran over %lld bytes in one tick "
                 "without waiting, and the rest of it is not played\n",
                 command, cut.track, static_cast<long long>(cut.tick),
                 static_cast<long long>(cut.limit));
  }
}

// Refuses an output file that is one of the command's input files, which
// writing it would destroy, or that cannot be written at all (checked
// before the work, not after). Returns 0 or the exit status.
int CheckOutputIsNew(const char* command, const Options& o) {
  for (const std::string* input : {&o.input, &o.soundfont}) {
    if (!input->empty() && IsSameFile(*input, o.output_file)) {
      return UsageError(command,
                        o.output_file + ": the output would overwrite the input " + *input);
    }
  }
  std::string error;
  if (!CheckOutputPath(o.output_file, &error)) {
    std::fprintf(stderr, "quern: %s\n", error.c_str());
    return 2;
  }
  return 0;
}

// ---- Playing.

// Set by SIGINT, SIGTERM or SIGHUP while a song plays.
std::atomic<bool> g_interrupted{false};

std::string MinutesSeconds(double ms) {
  const long s = static_cast<long>(ms / 1000.0);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

// ---- Swapping songs in a trace: `--swap-at N NEW` plays the input up to
// tick N - 1 and NEW from tick N, as the editor's live editing does.

struct SwapRequest {
  int64_t at = 0;
  std::string file;  // empty: no swap
};

// Takes `--swap-at N NEW` out of args. Returns 0 or the usage error status.
int TakeSwapOption(Args* args, SwapRequest* swap) {
  for (size_t i = 0; i < args->size(); ++i) {
    if ((*args)[i] != "--swap-at") continue;
    if (!swap->file.empty()) return UsageError("trace", "--swap-at is given twice");
    if (i + 2 >= args->size() || !ParseNumber((*args)[i + 1], 1, 1000000000, &swap->at) ||
        (*args)[i + 2].empty()) {
      return UsageError("trace",
                        "--swap-at takes a tick from 1 to 1000000000 and a score or song file");
    }
    swap->file = (*args)[i + 2];
    args->erase(args->begin() + i, args->begin() + i + 3);
    --i;
  }
  return 0;
}

// Compiles (or reads) the song that takes over, and finds the tracks that
// --mute and --solo name in it: mute and solo carry over by track name.
int CompileNewSong(const std::string& path, const Options& o, std::vector<uint8_t>* image,
                   std::vector<int>* mute, std::vector<int>* solo) {
  Sequencer scratch;
  if (int status = LoadInput(path, scratch)) return status;
  *image = std::move(g_image);
  g_image.clear();
  auto find = [](const std::vector<std::string>& names, std::vector<int>* indices) {
    for (const std::string& name : names) {
      for (int i = 0; i < CompiledTrackCount(); ++i) {
        if (name == CompiledTrackName(i)) indices->push_back(i);
      }
    }
  };
  if (g_have_source_map) {
    find(o.mute, mute);
    find(o.solo, solo);
  }
  return 0;
}

int TraceSwap(Sequencer& song, const std::vector<uint8_t>& new_image, const std::vector<int>& mute,
              const std::vector<int>& solo, int64_t at, int64_t max_ticks) {
  if (at <= song.TickCount()) {
    return UsageError("trace",
                      "--swap-at " + std::to_string(at) + " lies before the start of the range");
  }
  if (at > max_ticks) {
    return UsageError("trace", "--swap-at " + std::to_string(at) + " lies past the bound --ticks " +
                                   std::to_string(max_ticks));
  }
  SongSwap swap(g_image.data(), g_image.size(), new_image.data(), new_image.size());
  if (!swap.Prepared()) {
    std::fprintf(stderr, "quern trace: %s\n", swap.Error().c_str());
    return 2;
  }
  for (int track : mute) swap.SetTrackMuted(track, true);
  for (int track : solo) swap.SetTrackSoloed(track, true);
  if (!RunSwapOffline(song, swap, at, max_ticks)) {
    FlushStandardOutput();
    std::fprintf(stderr, "quern trace: the song stops before --swap-at %lld\n",
                 static_cast<long long>(at));
    return 2;
  }
  return 0;
}

// The total time as play shows it: minutes and seconds, or why not.
std::string TotalTime(const SongLength& length) {
  return length.end == SongLength::End::kFinished    ? MinutesSeconds(length.ms + 500)  // nearest
         : length.end == SongLength::End::kTickLimit ? "endless"
                                                     : "unknown";
}

std::string TotalTime(const std::vector<uint8_t>& image) {
  Sequencer song;
  if (!song.Load(image.data(), image.size())) return "unknown";
  return TotalTime(MeasureSongLength(song, kDefaultMaxTicks, TimeBudget(kLengthBudgetMs)));
}

}  // namespace

int RunTrace(const Args& args) {
  Options o;
  Args rest = args;
  SwapRequest swap;
  if (int status = TakeSwapOption(&rest, &swap)) return status;
  if (int status = ParseOptions("trace", rest, kTicks | kRange, &o)) return status;
  std::vector<uint8_t> new_image;
  std::vector<int> new_mute, new_solo;
  if (!swap.file.empty()) {
    if (int status = CompileNewSong(swap.file, o, &new_image, &new_mute, &new_solo)) return status;
  }
  LiveRange range;
  Sequencer song;
  if (int status = LoadInputRange("trace", o, &range, song)) return status;
  PrintingSink printer(song);
  song.SetSink(&printer);
  if (swap.file.empty()) {
    RunSongOffline(song, o.max_ticks, [] { return !StandardOutputFailed(); });
  } else if (int status = TraceSwap(song, new_image, new_mute, new_solo, swap.at, o.max_ticks)) {
    return status;
  }
  FlushStandardOutput();
  size_t reported = 0;
  ReportCuts("trace", song, &reported);
  return 0;
}

int RunExport(const Args& args) {
  Options o;
  if (int status = ParseOptions("export", args, kTicks | kOutputFile | kRange, &o)) return status;
  if (int status = CheckOutputIsNew("export", o)) return status;
  LiveRange range;
  Sequencer song;
  if (int status = LoadInputRange("export", o, &range, song)) return status;
  bool endless = false;
  const int status =
      ExportSongMidiFile(song, o.output_file, o.max_ticks, range.start, RestartAt(range), &endless);
  size_t reported = 0;
  ReportCuts("export", song, &reported);
  if (status != 0) return status;
  if (endless) {
    std::fprintf(stderr,
                 "quern export: the song goes on beyond %lld ticks; --ticks N exports N ticks\n",
                 static_cast<long long>(song.TickCount()));
  }
  return 0;
}

int RunRender(const Args& args) {
  Options o;
  if (int status = ParseOptions("render", args, kTicks | kOutputFile | kSoundFont | kRange, &o)) {
    return status;
  }
  if (int status = CheckOutputIsNew("render", o)) return status;
  LiveRange range;
  Sequencer song;
  if (int status = LoadInputRange("render", o, &range, song)) return status;
  RenderResult result;
  std::string error;
  const OutputModule* outputs = LoadOutputModule(&error);
  if (outputs == nullptr) {
    std::fprintf(stderr, "quern render: %s\n", error.c_str());
    return 2;
  }
  if (!outputs->render_wav(song, o.output_file, o.soundfont, o.max_ticks, &result, &error, {},
                           RestartAt(range))) {
    std::fprintf(stderr, "quern: %s\n", error.c_str());
    return 2;
  }
  size_t reported = 0;
  ReportCuts("render", song, &reported);
  std::fprintf(stderr, "quern render: %s: %.1f seconds of music\n", o.output_file.c_str(),
               result.seconds);
  if (result.cut_at_wav_limit) {
    std::fprintf(stderr, "quern render: the song goes on beyond what a WAV file holds\n");
  } else if (!song.Finished()) {
    std::fprintf(stderr,
                 "quern render: the song goes on beyond %lld ticks; --ticks N renders N ticks\n",
                 static_cast<long long>(result.ticks));
  }
  return 0;
}

int RunPlay(const Args& args) {
  Options o;
  if (int status =
          ParseOptions("play", args, kDevice | kSoundFont | kInterval | kRange | kWatch, &o)) {
    return status;
  }
  if (o.watch && IsSongImagePath(o.input)) {
    return UsageError("play", "--watch needs a score, not a song image");
  }
  std::unique_ptr<FileWatch> watch;
  if (o.watch) {
    std::string why;
    watch = WatchFile(o.input, &why);
    if (!watch) {
      std::fprintf(stderr, "quern play: %s\n", why.c_str());
      return 2;
    }
  }
  LiveRange range;
  SongLength length;
  {
    // The total time: the song run once offline, silently, for as long as
    // the budget allows; playback starts right after.
    Sequencer song;
    if (int status = LoadInputRange("play", o, &range, song)) return status;
    length = MeasureSongLength(song, kDefaultMaxTicks, TimeBudget(kLengthBudgetMs));
  }

  std::string error;
  const OutputModule* outputs = LoadOutputModule(&error);
  std::unique_ptr<MidiOutput> output =
      outputs != nullptr ? outputs->open_output(o.output, o.soundfont, &error) : nullptr;
  if (!output) {
    std::fprintf(stderr, "quern play: %s\n", error.c_str());
    return 2;
  }
  OpenMidiDevices(std::move(output));
  SetTimerInterval(o.interval);
  if (!LoadSong(g_image.data(), g_image.size(), &error)) {
    std::fprintf(stderr, "quern: %s: %s\n", o.input.c_str(), error.c_str());
    return 2;
  }
  ApplyRange(range, DefaultPlayer().Song());
  // A signal stops the song: what sounds is silenced below, and the process
  // then ends by that signal.
  NoteSignals(&g_interrupted);
  std::string total = TotalTime(length);
  std::unique_ptr<PlayWatch> watcher;
  if (watch) {
    watcher = std::make_unique<PlayWatch>(o.input, o.mute, o.solo, std::move(watch), g_image,
                                          g_interrupted);
  }
  const auto start = std::chrono::steady_clock::now();
  StartPlayback();
  std::string shown;
  size_t reported = 0;
  auto tell_cuts = [&shown, &reported] {
    if (TrackCuts().size() <= reported) return;
    if (!shown.empty()) std::fputc('\n', stderr);  // below the progress line
    ReportCuts("play", DefaultPlayer().Song(), &reported);
    shown.clear();
  };
  while (!g_interrupted.load() && (watcher || !SongFinished())) {
    const std::string note = watcher ? watcher->Poll(50) : std::string();
    if (!watcher) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!note.empty()) {
      std::fprintf(stderr, "%s%s\n", shown.empty() ? "" : "\n", note.c_str());
      shown.clear();
      total = TotalTime(watcher->Playing());
    }
    tell_cuts();
    const double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const std::string line = MinutesSeconds(elapsed) + " / " + total;
    if (line != shown) {
      std::fprintf(stderr, "\r%s ", line.c_str());
      shown = line;
    }
  }
  // Let the last notes ring out on the synthesizer before it is closed.
  if (!g_interrupted.load() && (o.output.empty() || o.output == "synth")) {
    for (int i = 0; i < 20 && !g_interrupted.load(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  if (g_interrupted.load()) {
    SilencePlayback();
  } else {
    StopPlayback();
  }
  tell_cuts();
  CloseMidiDevices();
  std::fprintf(stderr, "\n%s\n", g_interrupted.load() ? "stopped" : "done");
  EndByNotedSignal();
  return 0;
}

int RunMap(const Args& args) {
  Options o;
  if (int status = ParseOptions("map", args, kTicks, &o)) return status;
  if (IsSongImagePath(o.input)) return UsageError("map", "needs a score, not a song image");
  Sequencer song;
  if (int status = LoadInput(o.input, song)) return status;
  ScanStruckNotes(g_image.data(), g_image.size(), o.max_ticks, [](const StruckNote& struck) {
    std::string line = std::to_string(struck.tick) + " " + CompiledTrackName(struck.track);
    auto place = [](const SourcePlace& p) {
      return std::to_string(p.line) + ":" + std::to_string(p.column);
    };
    if (const NoteSource* note = g_source_map.Find(struck.track, struck.offset)) {
      line += " " + place(note->place);
      for (const SourcePlace& call : note->calls) line += " < " + place(call);
    } else {
      line += " -";  // a note byte the map does not know (cannot happen for a compiled score)
    }
    line += "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    return !StandardOutputFailed();
  });
  FlushStandardOutput();
  return 0;
}

int RunPorts(const Args& args) {
  if (!args.empty()) return UsageError("ports", "takes no arguments");
  std::string error;
  const OutputModule* outputs = LoadOutputModule(&error);
  if (outputs == nullptr) {
    std::fprintf(stderr, "quern ports: %s\n", error.c_str());
    return 2;
  }
  const std::vector<std::string> ports = outputs->list_midi_ports();
  if (ports.empty()) {
    std::fprintf(stderr, "quern ports: no MIDI output ports (is the ALSA sequencer there?)\n");
    return 0;
  }
  for (size_t i = 0; i < ports.size(); ++i) std::printf("%zu: %s\n", i, ports[i].c_str());
  return 0;
}

int RunRoll(const Args& args) {
  Options o;
  if (int status = ParseOptions("roll", args, kTicks | kOutputFile | kRange | kWidth, &o)) {
    return status;
  }
  if (int status = CheckOutputIsNew("roll", o)) return status;
  LiveRange range;
  Sequencer song;
  if (int status = LoadInputRange("roll", o, &range, song)) return status;
  RollModel model;
  const SourceMap no_places;
  BuildRollModel(g_image.data(), g_image.size(), g_have_source_map ? g_source_map : no_places,
                 &model, o.max_ticks);
  std::vector<std::string> names;
  for (int t = 0; t < song.TrackCount(); ++t) {
    names.push_back(g_have_source_map ? CompiledTrackName(t) : std::to_string(t + 1));
  }
  RollView view;
  view.start = range.start;
  view.stop = range.stop;
  view.mute = range.mute;
  view.solo = range.solo;
  view.width = o.width;
  std::string error;
  if (!ReplaceFileAtomically(o.output_file, RollSvg(model, view, names), &error)) {
    std::fprintf(stderr, "quern roll: %s\n", error.c_str());
    return 2;
  }
  return 0;
}
