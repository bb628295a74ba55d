// quern play, trace, export, render and ports: the player on the command
// line. A SCORE argument is compiled first; a .xrt argument is a song image
// loaded byte for byte. The trace format is read by tests and scripts: keep
// it exact.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/quern/cli.h"
#include "app/quern/output_module.h"
#include "app/quern/score_input.h"
#include "compiler/driver/driver.h"
#include "player/messages.h"
#include "player/midi_file.h"
#include "player/player.h"
#include "player/sequencer.h"
#include "player/song_length.h"

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
};

int UsageError(const char* command, const std::string& problem) {
  std::fprintf(stderr, "quern %s: %s\n", command, problem.c_str());
  return 2;
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
enum OptionSet { kTicks = 1, kOutputFile = 2, kDevice = 4, kSoundFont = 8, kInterval = 16 };

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
    if ((allowed & kTicks) && arg == "--ticks") {
      if (!take() || !ParseNumber(value, 1, 1000000000, &number)) {
        return UsageError(command, "--ticks takes a number of ticks from 1");
      }
      o->max_ticks = number;
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

// Reads a .xrt file or compiles a score into g_image and loads it. Returns
// 0, or the exit status after printing why not.
int LoadInput(const std::string& path) {
  if (IsSongImagePath(path)) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "quern: %s: cannot be read\n", path.c_str());
      return 2;
    }
    g_image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
    const int severity = CompileScore(text.c_str());
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
  if (!LoadSong(g_image.data(), g_image.size(), &error)) {
    std::fprintf(stderr, "quern: %s: %s\n", path.c_str(), error.c_str());
    return 2;
  }
  return 0;
}

// Runs the loaded song offline from tick 1 until it has finished or
// max_ticks have run; the stop step then releases what still sounds.
// Returns the song's length in milliseconds.
double RunOffline(int64_t max_ticks) {
  SetTempo(120);
  double ms = 0;
  for (int64_t tick = 0; tick < max_ticks && !SongFinished(); ++tick) {
    SequencerTick();
    ms += TickLengthMs();
  }
  SilenceNotes();
  return ms;
}

// Prints every message as it is sent, one trace line each.
class PrintingOutput : public MidiOutput {
 public:
  void SendShort(const uint8_t* bytes, int length) override { Print(bytes, length, -1); }
  bool SendLong(const uint8_t* bytes, int length) override {
    Print(bytes, length, -1);
    LongDone();
    return true;
  }
  void SetTempo(int quarters_per_minute) override { Print(nullptr, 0, quarters_per_minute); }

 private:
  void Print(const uint8_t* bytes, int length, int tempo) {
    RecordedMessage m;
    m.tick = SequencerTickCount();
    if (bytes) m.bytes.assign(bytes, bytes + length);
    m.tempo = tempo;
    const std::string line = FormatMessageLine(m) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
};

// Says on standard error which tracks the sequencer has cut since the last
// call (*reported counts those already told).
void ReportCuts(const char* command, size_t* reported) {
  const std::vector<TrackCut> cuts = TrackCuts();
  for (; *reported < cuts.size(); ++*reported) {
    const TrackCut& cut = cuts[*reported];
    std::fprintf(stderr,
                 "quern %s: track %d was cut at tick %lld: it ran over %d bytes in one tick "
                 "without waiting, and the rest of it is not played\n",
                 command, cut.track, static_cast<long long>(cut.tick), kMaxBytesPerTick);
  }
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (file) file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file || !file.flush()) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) std::remove(temporary.c_str());
  return !ec;
}

// ---- Playing.

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
  g_interrupted.store(true);
}

std::string MinutesSeconds(double ms) {
  const long s = static_cast<long>(ms / 1000.0);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

int RunTrace(const Args& args) {
  Options o;
  if (int status = ParseOptions("trace", args, kTicks, &o)) return status;
  if (int status = LoadInput(o.input)) return status;
  OpenMidiDevices(std::make_unique<PrintingOutput>());
  RunOffline(o.max_ticks);
  CloseMidiDevices();
  std::fflush(stdout);
  size_t reported = 0;
  ReportCuts("trace", &reported);
  return 0;
}

int RunExport(const Args& args) {
  Options o;
  if (int status = ParseOptions("export", args, kTicks | kOutputFile, &o)) return status;
  if (int status = LoadInput(o.input)) return status;
  auto recorder = std::make_unique<RecordingOutput>();
  RecordingOutput* out = recorder.get();
  OpenMidiDevices(std::move(recorder));
  RunOffline(o.max_ticks);
  size_t reported = 0;
  ReportCuts("export", &reported);
  const std::string file = BuildMidiFile(out->Messages(), SongResolution());
  const bool endless = !SongFinished();
  CloseMidiDevices();
  if (!WriteFileAtomically(o.output_file, file)) {
    std::fprintf(stderr, "quern: %s: cannot be written\n", o.output_file.c_str());
    return 2;
  }
  if (endless) {
    std::fprintf(stderr,
                 "quern export: the song goes on beyond %lld ticks; --ticks N exports N ticks\n",
                 static_cast<long long>(SequencerTickCount()));
  }
  return 0;
}

int RunRender(const Args& args) {
  Options o;
  if (int status = ParseOptions("render", args, kTicks | kOutputFile | kSoundFont, &o)) {
    return status;
  }
  if (int status = LoadInput(o.input)) return status;
  RenderResult result;
  std::string error;
  const OutputModule* outputs = LoadOutputModule(&error);
  if (outputs == nullptr) {
    std::fprintf(stderr, "quern render: %s\n", error.c_str());
    return 2;
  }
  if (!outputs->render_wav(o.output_file, o.soundfont, o.max_ticks, &result, &error)) {
    std::fprintf(stderr, "quern: %s\n", error.c_str());
    return 2;
  }
  size_t reported = 0;
  ReportCuts("render", &reported);
  std::fprintf(stderr, "quern render: %s: %.1f seconds of music\n", o.output_file.c_str(),
               result.seconds);
  if (result.cut_at_wav_limit) {
    std::fprintf(stderr, "quern render: the song goes on beyond what a WAV file holds\n");
  } else if (!SongFinished()) {
    std::fprintf(stderr,
                 "quern render: the song goes on beyond %lld ticks; --ticks N renders N ticks\n",
                 static_cast<long long>(result.ticks));
  }
  return 0;
}

int RunPlay(const Args& args) {
  Options o;
  if (int status = ParseOptions("play", args, kDevice | kSoundFont | kInterval, &o)) {
    return status;
  }
  if (int status = LoadInput(o.input)) return status;

  // The total time: the song run once offline, silently, for as long as the
  // budget allows; playback starts right after.
  OpenMidiDevices(std::make_unique<NullOutput>());
  const SongLength length = MeasureSongLength(kDefaultMaxTicks, TimeBudget(kLengthBudgetMs));
  CloseMidiDevices();

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
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  const std::string total = length.end == SongLength::End::kFinished
                                ? MinutesSeconds(length.ms + 500)  // nearest second
                            : length.end == SongLength::End::kTickLimit ? "endless"
                                                                        : "unknown";
  const auto start = std::chrono::steady_clock::now();
  StartPlayback();
  std::string shown;
  size_t reported = 0;
  auto tell_cuts = [&shown, &reported] {
    if (TrackCuts().size() <= reported) return;
    if (!shown.empty()) std::fputc('\n', stderr);  // below the progress line
    ReportCuts("play", &reported);
    shown.clear();
  };
  while (!g_interrupted.load() && !SongFinished()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
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
  StopPlayback();
  tell_cuts();
  if (g_interrupted.load()) {
    // The stop step releases the scheduled notes; notes struck in hit mode
    // have none, and an instrument on a port would hold them after we quit.
    for (int channel = 0; channel < 16; ++channel) SendAttribute(channel, 123, 0);
  }
  CloseMidiDevices();
  std::fprintf(stderr, "\n%s\n", g_interrupted.load() ? "stopped" : "done");
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
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
