// quern play, trace, export, render, map, roll and ports: the player on the
// command line. A SCORE argument is compiled first; a .xrt argument is a song
// image loaded byte for byte (cli_song.h). The trace format is read by tests
// and scripts: keep it exact.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/quern/cli.h"
#include "app/quern/cli_export.h"
#include "app/quern/cli_options.h"
#include "app/quern/cli_song.h"
#include "app/quern/cli_watch.h"
#include "app/quern/help.h"
#include "app/quern/output_module.h"
#include "app/quern/standard_output.h"
#include "compiler/driver/driver.h"
#include "compiler/song/source_map.h"
#include "files/file_io.h"
#include "files/signal_cleanup.h"
#include "live/file_watch.h"
#include "live/play_range.h"
#include "live/track_names.h"
#include "player/messages.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_export.h"
#include "player/song_length.h"
#include "player/song_swap.h"
#include "roll/roll_model.h"
#include "roll/roll_svg.h"

namespace {

// How long `play` may count the song's length before it starts.
constexpr double kLengthBudgetMs = 100;

int UsageError(const char* command, const std::string& problem) {
  return ReportUsageError(command, problem);
}

// Loads the input into song, resolves the range options and applies them;
// 0 or the exit status.
int LoadInputRange(const char* command, const Options& o, LoadedSong* loaded, LiveRange* range,
                   Sequencer& song) {
  if (int status = LoadInput(o.input, loaded, song)) return status;
  if (int status = ResolveRange(command, o, *loaded, range)) return status;
  ApplyRange(*range, song);
  return 0;
}

// Puts a song back as LoadInputRange left it, for a second run (an output
// that cannot seek is counted first).
std::function<void(Sequencer&)> RestartAt(const LoadedSong& loaded, const LiveRange& range) {
  return [&loaded, range](Sequencer& song) {
    song.Load(loaded.image.data(), loaded.image.size());
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
    if (i + 2 >= args->size() || !ParseNumber((*args)[i + 1], 1, kMaxOptionTick, &swap->at) ||
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

// Compiles (or reads) the song that takes over, and finds in it the tracks
// that --mute and --solo named in the first: they carry over by whole name.
int CompileNewSong(const std::string& path, const LiveRange& range, LoadedSong* loaded,
                   std::vector<int>* mute, std::vector<int>* solo) {
  Sequencer scratch;
  if (int status = LoadInput(path, loaded, scratch)) return status;
  *mute = TracksNamed(loaded->track_names, range.mute_names);
  *solo = TracksNamed(loaded->track_names, range.solo_names);
  return 0;
}

int TraceSwap(Sequencer& song, const LoadedSong& playing, const SwapRequest& request,
              const Options& o, const LiveRange& range) {
  const int64_t at = request.at;
  if (at <= song.TickCount()) {
    return UsageError("trace",
                      "--swap-at " + std::to_string(at) + " lies before the start of the range");
  }
  if (at > o.max_ticks) {
    return UsageError("trace", "--swap-at " + std::to_string(at) + " lies past the bound --ticks " +
                                   std::to_string(o.max_ticks));
  }
  LoadedSong next;
  std::vector<int> mute, solo;
  if (int status = CompileNewSong(request.file, range, &next, &mute, &solo)) return status;
  SongSwap swap(playing.image.data(), playing.image.size(), next.image.data(), next.image.size());
  if (!swap.Prepared()) {
    std::fprintf(stderr, "quern trace: %s\n", swap.Error().c_str());
    return 2;
  }
  for (int track : mute) swap.SetTrackMuted(track, true);
  for (int track : solo) swap.SetTrackSoloed(track, true);
  if (range.stop > 0) swap.SetStopTick(range.stop);  // the range still ends there
  if (!RunSwapOffline(song, swap, at, o.max_ticks)) {
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

// The length play shows for its range: the song run silently from its
// beginning on a sequencer of its own, within the budget, counted from the
// range's start. The player's song is moved to the start once, after: a
// start far into the song makes the total unknown, not the wait long. A song
// swapped in by --watch plays the same range, and is measured the same way.
SongLength MeasureRange(const std::vector<uint8_t>& image, const LiveRange& range) {
  SongLength unknown;
  unknown.end = SongLength::End::kOutOfBudget;
  Sequencer song;
  if (!song.Load(image.data(), image.size())) return unknown;
  if (range.stop > 0) song.SetStopTick(range.stop, false);
  return MeasureSongLength(song, kDefaultMaxTicks, TimeBudget(kLengthBudgetMs),
                           std::max<int64_t>(range.start, 1));
}

}  // namespace

int RunTrace(const Args& args) {
  Options o;
  Args rest = args;
  SwapRequest swap;
  if (int status = TakeSwapOption(&rest, &swap)) return status;
  if (int status = ParseOptions("trace", rest, kTicks | kRange, &o)) return status;
  LoadedSong loaded;
  LiveRange range;
  Sequencer song;
  if (int status = LoadInputRange("trace", o, &loaded, &range, song)) return status;
  PrintingSink printer(song);
  song.SetSink(&printer);
  if (swap.file.empty()) {
    RunSongOffline(song, o.max_ticks, [] { return !StandardOutputFailed(); });
  } else if (int status = TraceSwap(song, loaded, swap, o, range)) {
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
  LoadedSong loaded;
  LiveRange range;
  Sequencer song;
  if (int status = LoadInputRange("export", o, &loaded, &range, song)) return status;
  bool endless = false;
  const int status = ExportSongMidiFile(song, o.output_file, o.max_ticks, range.start,
                                        RestartAt(loaded, range), &endless);
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
  LoadedSong loaded;
  LiveRange range;
  Sequencer song;
  if (int status = LoadInputRange("render", o, &loaded, &range, song)) return status;
  RenderResult result;
  std::string error;
  const OutputModule* outputs = LoadOutputModule(&error);
  if (outputs == nullptr) {
    std::fprintf(stderr, "quern render: %s\n", error.c_str());
    return 2;
  }
  // --ticks bounds the song at a tick counted from its start, wherever the
  // range starts: the render runs the ticks left up to it.
  const int64_t ticks_left = o.max_ticks - song.TickCount();
  if (!outputs->render_wav(song, o.output_file, o.soundfont, ticks_left, &result, &error, {},
                           RestartAt(loaded, range))) {
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
                 static_cast<long long>(song.TickCount()));
  }
  return 0;
}

int RunPlay(const Args& args) {
  Options o;
  o.max_ticks = 0;  // no bound unless --ticks gives one: play runs to the end
  if (int status = ParseOptions("play", args,
                                kTicks | kDevice | kSoundFont | kInterval | kRange | kWatch, &o)) {
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
  LoadedSong loaded;
  LiveRange range;
  {
    Sequencer scratch;
    if (int status = LoadInput(o.input, &loaded, scratch)) return status;
    if (int status = ResolveRange("play", o, loaded, &range)) return status;
  }
  // The bound: tick --ticks is the last to play.
  if (o.max_ticks > 0 && (range.stop == 0 || range.stop > o.max_ticks + 1)) {
    range.stop = o.max_ticks + 1;
  }
  // The total time, counted before the output opens; playback starts right
  // after.
  const SongLength length = MeasureRange(loaded.image, range);

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
  if (!LoadSong(loaded.image.data(), loaded.image.size(), &error)) {
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
    watcher = std::make_unique<PlayWatch>(o.input, range.mute_names, range.solo_names,
                                          std::move(watch), loaded.image, g_interrupted);
    watcher->SetStopTick(range.stop);
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
      total = TotalTime(MeasureRange(watcher->Playing(), range));
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
  LoadedSong loaded;
  Sequencer song;
  if (int status = LoadInput(o.input, &loaded, song)) return status;
  const SourceMap& map = loaded.map;
  ScanStruckNotes(
      loaded.image.data(), loaded.image.size(), o.max_ticks, [&map](const StruckNote& struck) {
        std::string line = std::to_string(struck.tick) + " " + CompiledTrackName(struck.track);
        auto place = [](const SourcePlace& p) {
          return std::to_string(p.line) + ":" + std::to_string(p.column);
        };
        if (const NoteSource* note = map.Find(struck.track, struck.offset)) {
          line += " " + place(note->place);
          for (const SourcePlace& call : note->calls) line += " < " + place(call);
        } else {
          // A note byte the map does not know (cannot happen for a compiled score).
          line += " -";
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
  // The roll is drawn from the image itself: the song is not moved to the
  // range's start.
  LoadedSong loaded;
  LiveRange range;
  Sequencer song;
  if (int status = LoadInput(o.input, &loaded, song)) return status;
  if (int status = ResolveRange("roll", o, loaded, &range)) return status;
  RollModel model;
  BuildRollModel(loaded.image.data(), loaded.image.size(), loaded.map, &model, o.max_ticks);
  for (int t = 0; t < song.TrackCount(); ++t) {
    model.track_names.push_back(loaded.have_map ? CompiledTrackName(t) : std::to_string(t + 1));
  }
  RollView view;
  view.start = range.start;
  view.stop = range.stop;
  view.mute = range.mute;
  view.solo = range.solo;
  view.width = o.width;
  std::string error;
  if (!ReplaceFileAtomically(o.output_file, RollSvg(model, view), &error)) {
    std::fprintf(stderr, "quern roll: %s\n", error.c_str());
    return 2;
  }
  return 0;
}
