// Player benchmarks on a dense 16-track song:
//   Lateness/<interval>/<playhead>: the song played in real time by the
//     timer thread; every message's send time against its ideal time (the
//     sum of the tick lengths before its tick), as median, p99 and max in
//     milliseconds, the process CPU time per second of playback (also as a
//     percentage of one core) and the delay of the first message. With
//     playhead 1 every struck note also goes into the editor's note ring,
//     emptied at 60 Hz by another thread as the window does.
//   Lands/<interval>/<timestamps>: the song played in real time into the
//     embedded synthesizer with no audio device: a thread paced by the clock
//     renders it in periods of 256 frames, as a device does. For every
//     note-on, the sample at which the synthesizer applied it against its
//     ideal time in samples, as p50, p99 and max lateness in milliseconds.
//     timestamps 0 sends each message at once, as before; 1 stamps it with
//     its ideal time, so the ideal sample is the output's own mapping of that
//     time, and latency_ms says how far that mapping lies behind the paced
//     clock (the lead and the device period). missed counts the note-ons
//     applied later than the block of their sample.
//   Render: the song through the embedded synthesizer offline, as a multiple
//     of real time.
//   SequencerTicks: ticks per second of the sequencer alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "compiler/driver/driver.h"
#include "player/messages.h"
#include "player/note_ring.h"
#include "player/output/fluidsynth_output.h"
#include "player/output/outputs.h"
#include "player/player.h"
#include "player/sequencer.h"

namespace {

using Clock = std::chrono::steady_clock;

// 16 tracks on 16 channels, a three-note chord on every sixteenth note, a
// moving controller on every track: about 800 messages a second at tempo 120.
std::string DenseScore(int bars) {
  std::string text = "#clock 192\n";
  const char* chords[] = {"c&e&g", "d&f&a", "e&g&b", "f&a&~c"};
  for (int t = 0; t < 16; ++t) {
    char head[96];
    std::snprintf(head, sizeof head, "%c ch%d @%d o%d l16 V20 V110:1^1 %s[", 'A' + t, t + 1, t * 5,
                  3 + t % 3, t == 0 ? "t120 " : "");
    text += head;
    for (int i = 0; i < 4; ++i) {
      text += chords[(i + t) % 4];
      text += ' ';
    }
    text += ']';
    text += std::to_string(bars * 4);
    text += '\n';
  }
  return text;
}

std::vector<uint8_t> CompileDense(int bars) {
  static bool set_up = SetUpCompiler();
  (void)set_up;
  const std::string text = DenseScore(bars);
  // A score with messages would time a different song than the one named.
  if (CompileScore(text.c_str()) != 0) {
    std::fprintf(stderr, "bench: the dense score does not compile cleanly\n%s", ReportText());
    std::exit(1);
  }
  return std::vector<uint8_t>(SongImageBegin(), SongImageBegin() + SongImageLength());
}

// Records the tick and the steady-clock time of every message into room
// reserved beforehand, so that recording allocates nothing on the timer
// thread.
class TimingOutput : public MidiOutput {
 public:
  explicit TimingOutput(size_t room) : ticks_(room), times_(room) {}
  void SendShort(const uint8_t*, int) override { Record(); }
  bool SendLong(const uint8_t*, int) override {
    Record();
    LongDone();
    return true;
  }
  size_t Count() const { return std::min(count_.load(), ticks_.size()); }
  int64_t Tick(size_t i) const { return ticks_[i]; }
  Clock::time_point Time(size_t i) const { return times_[i]; }

 private:
  void Record() {
    const size_t i = count_.fetch_add(1);
    if (i >= ticks_.size()) return;
    ticks_[i] = SequencerTickCount();
    times_[i] = Clock::now();
  }
  std::vector<int64_t> ticks_;
  std::vector<Clock::time_point> times_;
  std::atomic<size_t> count_{0};
};

double ProcessCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  const size_t k = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
  std::nth_element(v.begin(), v.begin() + k, v.end());
  return v[k];
}

// Empties the ring at 60 Hz while playing, as the editor's window does.
class RingReader {
 public:
  explicit RingReader(NoteRing* ring) : ring_(ring), thread_([this] { Run(); }) {}
  ~RingReader() {
    stop_.store(true);
    thread_.join();
  }

 private:
  void Run() {
    StruckNote note;
    while (!stop_.load()) {
      while (ring_->Pop(&note)) {
      }
      std::this_thread::sleep_for(std::chrono::microseconds(16667));
    }
  }
  NoteRing* ring_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void Lateness(benchmark::State& state) {
  const int interval = static_cast<int>(state.range(0));
  const bool playhead = state.range(1) != 0;
  const std::vector<uint8_t> image = CompileDense(4);
  for (auto _ : state) {
    auto output = std::make_unique<TimingOutput>(1 << 20);
    TimingOutput* out = output.get();
    OpenMidiDevices(std::move(output));
    SetTimerInterval(interval);
    LoadSong(image.data(), image.size());
    auto ring = std::make_unique<NoteRing>();
    std::unique_ptr<RingReader> reader;
    if (playhead) {
      SetNoteSink(ring.get());
      reader = std::make_unique<RingReader>(ring.get());
    }
    const double cpu_start = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    StartPlayback();
    // Polled rarely, so that the process CPU time is mostly the player's.
    while (!SongFinished()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    StopPlayback();
    SetNoteSink(nullptr);
    reader.reset();
    const double cpu = ProcessCpuSeconds() - cpu_start;

    // The tempo stays 120 and the resolution 192: tick k is ideally sent
    // (k - 1) tick lengths after the start.
    const double tick_ms = 240000.0 / (120.0 * 192.0);
    std::vector<double> late;
    late.reserve(out->Count());
    for (size_t i = 0; i < out->Count(); ++i) {
      const double at = std::chrono::duration<double, std::milli>(out->Time(i) - start).count();
      late.push_back(at - (out->Tick(i) - 1) * tick_ms);
    }
    const double max = late.empty() ? 0 : *std::max_element(late.begin(), late.end());
    state.counters["messages"] = static_cast<double>(late.size());
    state.counters["late_median_ms"] = Percentile(late, 0.5);
    state.counters["late_p99_ms"] = Percentile(late, 0.99);
    state.counters["late_max_ms"] = max;
    state.counters["cpu_ms_per_s"] = 1000.0 * cpu / wall;
    state.counters["cpu_pct_core"] = 100.0 * cpu / wall;
    // The first message (tick 1) after StartPlayback.
    state.counters["first_note_ms"] =
        out->Count() == 0 ? 0
                          : std::chrono::duration<double, std::milli>(out->Time(0) - start).count();
    state.SetIterationTime(wall);
    CloseMidiDevices();
  }
}
BENCHMARK(Lateness)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// Hands every message to the synthesizer and notes the tick of each
// note-on, in order, into room reserved beforehand.
class NoteOnProbe : public MidiOutput {
 public:
  NoteOnProbe(std::unique_ptr<FluidSynthOutput> synth, size_t room)
      : synth_(std::move(synth)), ticks_(room) {}
  void SendShort(const uint8_t* bytes, int length) override {
    if (length == 3 && (bytes[0] & 0xf0) == 0x90 && bytes[2] != 0) {
      const size_t i = count_.fetch_add(1);
      if (i < ticks_.size()) ticks_[i] = SequencerTickCount();
    }
    synth_->SendShort(bytes, length);
  }
  bool SendLong(const uint8_t* bytes, int length) override {
    synth_->SendLong(bytes, length);
    LongDone();
    return true;
  }
  bool TakesTimestamps() const override { return synth_->TakesTimestamps(); }
  void SetSendTime(Clock::time_point due) override { synth_->SetSendTime(due); }
  void DropQueued() override { synth_->DropQueued(); }

  FluidSynthOutput& Synth() { return *synth_; }
  size_t Count() const { return std::min(count_.load(), ticks_.size()); }
  int64_t Tick(size_t i) const { return ticks_[i]; }

 private:
  std::unique_ptr<FluidSynthOutput> synth_;
  std::vector<int64_t> ticks_;
  std::atomic<size_t> count_{0};
};

// Renders the synthesizer in periods on the clock, as an audio device pulls
// them: period n at start + n periods.
class PacedRenderer {
 public:
  static constexpr int kPeriod = 256;
  explicit PacedRenderer(FluidSynthOutput* synth)
      : synth_(synth), start_(Clock::now()), thread_([this] { Run(); }) {}
  ~PacedRenderer() {
    stop_.store(true);
    thread_.join();
  }
  Clock::time_point Start() const { return start_; }

 private:
  void Run() {
    std::vector<int16_t> buffer(2 * kPeriod);
    for (int64_t n = 0; !stop_.load(); ++n) {
      const std::chrono::duration<double> at(static_cast<double>(n) * kPeriod /
                                             FluidSynthOutput::kSampleRate);
      std::this_thread::sleep_until(start_ + std::chrono::duration_cast<Clock::duration>(at));
      synth_->Render(kPeriod, buffer.data());
    }
  }
  FluidSynthOutput* synth_;
  Clock::time_point start_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void Lands(benchmark::State& state) {
  const int interval = static_cast<int>(state.range(0));
  const bool timestamps = state.range(1) != 0;
  const std::vector<uint8_t> image = CompileDense(4);
  const double rate = FluidSynthOutput::kSampleRate;
  for (auto _ : state) {
    std::string error;
    std::unique_ptr<FluidSynthOutput> synth = FluidSynthOutput::Open(FindSoundFont(), false, &error);
    if (!synth) {
      state.SkipWithError(error.c_str());
      return;
    }
    if (timestamps) synth->TakeTimestamps(PacedRenderer::kPeriod);
    // The due and applied sample of every note-on, in the order applied.
    const size_t room = 1 << 18;
    std::vector<int64_t> due(room), applied(room);
    std::atomic<size_t> seen{0};
    synth->SetAppliedObserver([&](const uint8_t* bytes, int length, int64_t d, int64_t at) {
      if (length != 3 || (bytes[0] & 0xf0) != 0x90 || bytes[2] == 0) return;
      const size_t i = seen.fetch_add(1);
      if (i < room) {
        due[i] = d;
        applied[i] = at;
      }
    });
    auto output = std::make_unique<NoteOnProbe>(std::move(synth), room);
    NoteOnProbe* probe = output.get();
    OpenMidiDevices(std::move(output));
    SetTimerInterval(interval);
    LoadSong(image.data(), image.size());
    Clock::time_point render_start, start;
    {
      PacedRenderer renderer(&probe->Synth());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      render_start = renderer.Start();
      start = Clock::now();
      StartPlayback();
      while (!SongFinished()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the queue runs out
      StopPlayback();
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();

    // Tick k is ideally heard (k - 1) tick lengths after the start: in the
    // paced clock, the sample rendered at that moment.
    const double tick_ms = 240000.0 / (120.0 * 192.0);
    const double start_sample = std::chrono::duration<double>(start - render_start).count() * rate;
    const size_t n = std::min({probe->Count(), seen.load(), room});
    std::vector<double> late, behind;
    int missed = 0;
    for (size_t i = 0; i < n; ++i) {
      const double ideal = start_sample + (probe->Tick(i) - 1) * tick_ms * rate / 1000.0;
      const double target = due[i] >= 0 ? static_cast<double>(due[i]) : ideal;
      late.push_back((applied[i] - target) * 1000.0 / rate);
      behind.push_back((target - ideal) * 1000.0 / rate);
      if (due[i] >= 0 && applied[i] - due[i] >= FluidSynthOutput::kBlockFrames) ++missed;
    }
    const double max = late.empty() ? 0 : *std::max_element(late.begin(), late.end());
    state.counters["notes"] = static_cast<double>(n);
    state.counters["late_p50_ms"] = Percentile(late, 0.5);
    state.counters["late_p99_ms"] = Percentile(late, 0.99);
    state.counters["late_max_ms"] = max;
    state.counters["latency_ms"] = Percentile(behind, 0.5);
    state.counters["missed"] = missed;
    state.SetIterationTime(wall);
    CloseMidiDevices();
  }
}
BENCHMARK(Lands)
    ->ArgNames({"interval", "timestamps"})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void Render(benchmark::State& state) {
  const std::vector<uint8_t> image = CompileDense(8);
  const std::string path =
      (std::filesystem::temp_directory_path() / "quern_bench_render.wav").string();
  for (auto _ : state) {
    Sequencer song;
    song.Load(image.data(), image.size());
    RenderResult result;
    std::string error;
    const double cpu_start = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    if (!RenderWav(song, path, "", 1000000, &result, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["song_s"] = result.seconds;
    state.counters["x_real_time"] = result.seconds / wall;
    // The same against the CPU time used: what an idle machine would reach.
    state.counters["x_real_time_cpu"] = result.seconds / (ProcessCpuSeconds() - cpu_start);
    state.SetIterationTime(wall);
  }
  std::filesystem::remove(path);
}
BENCHMARK(Render)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void SequencerTicks(benchmark::State& state) {
  const std::vector<uint8_t> image = CompileDense(8);
  OpenMidiDevices(std::make_unique<NullOutput>());
  int64_t ticks = 0;
  for (auto _ : state) {
    LoadSong(image.data(), image.size());
    while (!SongFinished()) {
      SequencerTick();
      ++ticks;
    }
  }
  state.counters["ticks_per_s"] =
      benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
  CloseMidiDevices();
}
BENCHMARK(SequencerTicks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
