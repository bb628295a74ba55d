#include "player/output/fluidsynth_output.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include "player/output/quiet_alsa.h"

namespace {

using Clock = std::chrono::steady_clock;

// Messages waiting for their sample, in the order given, in room taken once
// when the output opens, so that nothing is allocated while a song plays.
// Full means nobody renders (the audio device has stalled): the sender then
// applies further messages at once, as if they had no time.
class MessageQueue {
 public:
  static constexpr int kEntries = 16384;
  static constexpr int kLongEntries = 256;
  static constexpr int kLongBytes = 256;  // a template builds at most 255 bytes

  MessageQueue() : entries_(kEntries), longs_(size_t{kLongEntries} * kLongBytes) {}

  // False when there is no room (or a long message is longer than a slot).
  bool Push(int64_t due, const uint8_t* bytes, int length, bool long_message) {
    if (count_ == kEntries) return false;
    if (long_message && (long_count_ == kLongEntries || length > kLongBytes)) return false;
    Entry& e = entries_[(head_ + count_) % kEntries];
    e.due = due;
    e.long_message = long_message;
    e.length = long_message ? length : std::min(length, 3);
    uint8_t* to = e.bytes;
    if (long_message) to = LongSlot((long_head_ + long_count_++) % kLongEntries);
    std::memcpy(to, bytes, e.length);
    ++count_;
    return true;
  }
  bool Empty() const { return count_ == 0; }
  int64_t FrontDue() const { return entries_[head_].due; }
  int FrontLength() const { return entries_[head_].length; }
  bool FrontIsLong() const { return entries_[head_].long_message; }
  const uint8_t* FrontBytes() {
    Entry& e = entries_[head_];
    return e.long_message ? LongSlot(long_head_) : e.bytes;
  }
  void Pop() {
    if (entries_[head_].long_message) {
      long_head_ = (long_head_ + 1) % kLongEntries;
      --long_count_;
    }
    head_ = (head_ + 1) % kEntries;
    --count_;
  }

 private:
  struct Entry {
    int64_t due = -1;  // -1: at once
    int length = 0;
    bool long_message = false;
    uint8_t bytes[3] = {};  // a short message's own bytes
  };
  uint8_t* LongSlot(int i) { return &longs_[static_cast<size_t>(i) * kLongBytes]; }

  std::vector<Entry> entries_;
  std::vector<uint8_t> longs_;
  int head_ = 0;
  int count_ = 0;
  int long_head_ = 0;
  int long_count_ = 0;
};

}  // namespace

struct FluidSynthParts {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_audio_driver_t* driver = nullptr;

  // Samples rendered so far; written by the rendering thread only.
  std::atomic<int64_t> rendered{0};
  // The most frames the audio device has asked for at once.
  std::atomic<int> device_frames{0};
  std::atomic<bool> takes_timestamps{false};
  FluidSynthOutput::AppliedObserver observer;

  // The queue and the time of the messages being given, shared by the
  // thread that sends and the thread that renders.
  std::mutex mutex;
  MessageQueue queue;
  int ahead_frames = 0;  // how far ahead of the clock the renderer may be
  bool stamped = false;
  Clock::time_point send_time;
  // The tie between the steady clock and the sample count, made at the
  // first time given after a start or a stop.
  bool anchored = false;
  Clock::time_point anchor_time;
  int64_t anchor_sample = 0;

  ~FluidSynthParts() {
    if (driver) delete_fluid_audio_driver(driver);  // no callback runs after this
    if (synth) delete_fluid_synth(synth);
    if (settings) delete_fluid_settings(settings);
  }
};

namespace {

// FluidSynth reports problems through its log; keep the last error for the
// one-line reason instead of letting it print.
std::mutex g_log_mutex;
std::string g_last_log;

void CaptureLog(int, const char* message, void*) {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  g_last_log = message ? message : "";
}

void QuietLogs() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
      fluid_set_log_function(level, CaptureLog, nullptr);
    }
  });
}

// The audio drivers tried in order for real-time playing.
// JACK is left out: opening it may start a sound server.
constexpr const char* kAudioDrivers[] = {"pulseaudio", "pipewire", "alsa", "sdl2"};

void SendChannelMessage(fluid_synth_t* synth, const uint8_t* m, int length) {
  const int channel = m[0] & 15;
  const int d1 = length > 1 ? m[1] & 127 : 0;
  const int d2 = length > 2 ? m[2] & 127 : 0;
  switch (m[0] & 0xf0) {
    case 0x80:
      fluid_synth_noteoff(synth, channel, d1);
      break;
    case 0x90:
      if (d2 == 0) {
        fluid_synth_noteoff(synth, channel, d1);
      } else {
        fluid_synth_noteon(synth, channel, d1, d2);
      }
      break;
    case 0xa0:
      fluid_synth_key_pressure(synth, channel, d1, d2);
      break;
    case 0xb0:
      fluid_synth_cc(synth, channel, d1, d2);
      break;
    case 0xc0:
      fluid_synth_program_change(synth, channel, d1);
      break;
    case 0xd0:
      fluid_synth_channel_pressure(synth, channel, d1);
      break;
    case 0xe0:
      fluid_synth_pitch_bend(synth, channel, d1 | (d2 << 7));
      break;
    default:
      break;
  }
}

// Number of bytes of the channel message with this status.
int ChannelMessageLength(uint8_t status) {
  const int kind = status & 0xf0;
  return kind == 0xc0 || kind == 0xd0 ? 2 : 3;
}

bool IsNoteOn(const uint8_t* m, int length) {
  return (m[0] & 0xf0) == 0x90 && length > 2 && (m[2] & 127) != 0;
}

// A channel message as SendShort takes it; with `skip_note_ons` (at a stop)
// note-ons are left out.
void ApplyShort(fluid_synth_t* synth, const uint8_t* m, int length, bool skip_note_ons) {
  if (length < 1 || m[0] < 0x80 || m[0] >= 0xf0) return;
  if (skip_note_ons && IsNoteOn(m, length)) return;
  SendChannelMessage(synth, m, length);
}

// A long message as SendLong takes it.
void ApplyLong(fluid_synth_t* synth, const uint8_t* bytes, int length, bool skip_note_ons) {
  if (length >= 2 && bytes[0] == 0xf0 && bytes[length - 1] == 0xf7) {
    // FluidSynth takes the data between F0 and F7 and answers the GM, GS
    // and XG resets and tuning messages it knows.
    fluid_synth_sysex(synth, reinterpret_cast<const char*>(bytes + 1), length - 2, nullptr, nullptr,
                      nullptr, 0);
    return;
  }
  // Channel messages built from a template, one after the other.
  int i = 0;
  while (i < length) {
    if (bytes[i] < 0x80 || bytes[i] >= 0xf0) {
      ++i;
      continue;
    }
    const int n = ChannelMessageLength(bytes[i]);
    if (length - i < n) break;
    ApplyShort(synth, bytes + i, n, skip_note_ons);
    i += n;
  }
}

void Apply(fluid_synth_t* synth, const uint8_t* bytes, int length, bool long_message,
           bool skip_note_ons) {
  if (long_message) {
    ApplyLong(synth, bytes, length, skip_note_ons);
  } else {
    ApplyShort(synth, bytes, length, skip_note_ons);
  }
}

void ApplyFront(fluid_synth_t* synth, MessageQueue& queue, bool skip_note_ons) {
  Apply(synth, queue.FrontBytes(), queue.FrontLength(), queue.FrontIsLong(), skip_note_ons);
}

int64_t RoundUpToBlock(int64_t sample) {
  const int64_t block = FluidSynthOutput::kBlockFrames;
  return (sample + block - 1) / block * block;
}

// Enough buffer pointers for every audio driver FluidSynth has (they pass two).
constexpr int kMaxBuffers = 32;

}  // namespace

std::unique_ptr<FluidSynthOutput> FluidSynthOutput::Open(const std::string& soundfont, bool audio,
                                                         std::string* error) {
  QuietLogs();
  QuietAlsa();
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return nullptr;
  };
  if (soundfont.empty()) {
    return fail("no General MIDI SoundFont found (install timgm6mb-soundfont or name one)");
  }
  std::unique_ptr<FluidSynthOutput> out(new FluidSynthOutput);
  out->parts_ = std::make_unique<FluidSynthParts>();
  FluidSynthParts& p = *out->parts_;
  p.settings = new_fluid_settings();
  if (!p.settings) return fail("the synthesizer cannot be set up");
  fluid_settings_setnum(p.settings, "synth.sample-rate", kSampleRate);
  fluid_settings_setint(p.settings, "synth.midi-channels", 16);
  fluid_settings_setint(p.settings, "synth.device-id", 0x10);
  fluid_settings_setnum(p.settings, "synth.gain", 0.5);
  if (audio) fluid_settings_setint(p.settings, "audio.period-size", 256);
  p.synth = new_fluid_synth(p.settings);
  if (!p.synth) return fail("the synthesizer cannot be set up");
  if (fluid_synth_sfload(p.synth, soundfont.c_str(), 1) == FLUID_FAILED) {
    return fail("cannot load the SoundFont " + soundfont);
  }
  if (audio) {
    for (const char* name : kAudioDrivers) {
      if (fluid_settings_setstr(p.settings, "audio.driver", name) != FLUID_OK) continue;
      p.driver = new_fluid_audio_driver2(p.settings, AudioCallback, out.get());
      if (p.driver) break;
    }
    if (!p.driver) {
      return fail(
          "no audio output can be opened for the synthesizer (tried PulseAudio, "
          "PipeWire, ALSA and SDL); try --output alsa:PORT or --output none");
    }
    int period = 0;
    fluid_settings_getint(p.settings, "audio.period-size", &period);
    out->TakeTimestamps(period);
  }
  return out;
}

FluidSynthOutput::~FluidSynthOutput() = default;

void FluidSynthOutput::SendShort(const uint8_t* bytes, int length) {
  if (length < 1 || bytes[0] < 0x80 || bytes[0] >= 0xf0) return;
  Enqueue(bytes, length, false);
}

bool FluidSynthOutput::SendLong(const uint8_t* bytes, int length) {
  if (length > 0) Enqueue(bytes, length, true);
  LongDone();
  return true;
}

bool FluidSynthOutput::TakesTimestamps() const {
  return parts_->takes_timestamps.load();
}

void FluidSynthOutput::TakeTimestamps(int ahead_frames) {
  std::lock_guard<std::mutex> lock(parts_->mutex);
  parts_->ahead_frames = std::max(ahead_frames, 0);
  parts_->takes_timestamps.store(true);
}

void FluidSynthOutput::SetSendTime(std::chrono::steady_clock::time_point due) {
  if (!TakesTimestamps()) return;
  std::lock_guard<std::mutex> lock(parts_->mutex);
  parts_->stamped = true;
  parts_->send_time = due;
}

void FluidSynthOutput::DropQueued() {
  std::lock_guard<std::mutex> lock(parts_->mutex);
  FluidSynthParts& p = *parts_;
  for (; !p.queue.Empty(); p.queue.Pop()) ApplyFront(p.synth, p.queue, true);
  p.stamped = false;
  p.anchored = false;
}

void FluidSynthOutput::SetAppliedObserver(AppliedObserver observer) {
  std::lock_guard<std::mutex> lock(parts_->mutex);
  parts_->observer = std::move(observer);
}

// Under the lock. The first stamped message ties the clock to the samples:
// its own time of sending is the sample the renderer reaches next at the
// latest, plus one device period, which the renderer may run ahead.
int64_t FluidSynthOutput::DueSample() {
  FluidSynthParts& p = *parts_;
  if (!p.stamped) return -1;
  if (!p.anchored) {
    p.anchored = true;
    p.anchor_time = Clock::now();
    p.anchor_sample = p.rendered.load() + std::max(p.ahead_frames, p.device_frames.load());
  }
  const double seconds = std::chrono::duration<double>(p.send_time - p.anchor_time).count();
  return std::max<int64_t>(0, p.anchor_sample + std::llround(seconds * kSampleRate));
}

void FluidSynthOutput::Enqueue(const uint8_t* bytes, int length, bool long_message) {
  std::lock_guard<std::mutex> lock(parts_->mutex);
  FluidSynthParts& p = *parts_;
  if (!p.queue.Push(DueSample(), bytes, length, long_message)) {
    Apply(p.synth, bytes, length, long_message, false);
  }
}

// On the rendering thread: applies every message due at or before
// `boundary`, the block boundary the synthesizer renders from next, and
// returns the due sample of the first one left (the largest value when none
// is).
int64_t FluidSynthOutput::ApplyDue(int64_t boundary) {
  std::lock_guard<std::mutex> lock(parts_->mutex);
  FluidSynthParts& p = *parts_;
  for (; !p.queue.Empty() && p.queue.FrontDue() <= boundary; p.queue.Pop()) {
    ApplyFront(p.synth, p.queue, false);
    if (p.observer)
      p.observer(p.queue.FrontBytes(), p.queue.FrontLength(), p.queue.FrontDue(), boundary);
  }
  return p.queue.Empty() ? std::numeric_limits<int64_t>::max() : p.queue.FrontDue();
}

// Renders `frames` samples in pieces, render(offset, count) each, cut at
// the block boundaries where queued messages fall due; the messages are
// applied just before their piece.
template <typename RenderPiece>
void FluidSynthOutput::RenderFrames(int frames, RenderPiece render) {
  FluidSynthParts& p = *parts_;
  const int64_t start = p.rendered.load();
  const int64_t end = start + frames;
  int64_t at = start;
  while (at < end) {
    const int64_t next_due = ApplyDue(RoundUpToBlock(at));
    const int64_t stop = next_due > end ? end : std::min(end, RoundUpToBlock(next_due));
    render(static_cast<int>(at - start), static_cast<int>(stop - at));
    at = stop;
    p.rendered.store(at);
  }
}

int FluidSynthOutput::AudioCallback(void* data, int len, int nfx, float* fx[], int nout,
                                    float* out[]) {
  auto* self = static_cast<FluidSynthOutput*>(data);
  FluidSynthParts& p = *self->parts_;
  if (len > p.device_frames.load()) p.device_frames.store(len);
  // Without buffers of their own, the effects are mixed into the dry output.
  float* fx_mix[4] = {nout > 0 ? out[0] : nullptr, nout > 1 ? out[1] : nullptr,
                      nout > 0 ? out[0] : nullptr, nout > 1 ? out[1] : nullptr};
  if (nfx == 0 && nout >= 2) {
    nfx = 4;
    fx = fx_mix;
  }
  if (nfx > kMaxBuffers || nout > kMaxBuffers) {
    return fluid_synth_process(p.synth, len, nfx, fx, nout, out);
  }
  int result = FLUID_OK;
  self->RenderFrames(len, [&](int offset, int count) {
    float* fx_at[kMaxBuffers];
    float* out_at[kMaxBuffers];
    for (int i = 0; i < nfx; ++i) fx_at[i] = fx[i] ? fx[i] + offset : nullptr;
    for (int i = 0; i < nout; ++i) out_at[i] = out[i] ? out[i] + offset : nullptr;
    if (fluid_synth_process(p.synth, count, nfx, fx_at, nout, out_at) != FLUID_OK) {
      result = FLUID_FAILED;
    }
  });
  return result;
}

void FluidSynthOutput::Render(int frames, int16_t* interleaved) {
  RenderFrames(frames, [&](int offset, int count) {
    int16_t* at = interleaved + 2 * offset;
    fluid_synth_write_s16(parts_->synth, count, at, 0, 2, at, 1, 2);
  });
}
