#include "player/output/fluidsynth_output.h"

#include <fluidsynth.h>

#include <cstring>
#include <mutex>

#include "player/output/quiet_alsa.h"

struct FluidSynthParts {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_audio_driver_t* driver = nullptr;

  ~FluidSynthParts() {
    if (driver) delete_fluid_audio_driver(driver);
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
      p.driver = new_fluid_audio_driver(p.settings, p.synth);
      if (p.driver) break;
    }
    if (!p.driver) {
      return fail(
          "no audio output can be opened for the synthesizer (tried PulseAudio, "
          "PipeWire, ALSA and SDL); try --output alsa:PORT or --output none");
    }
  }
  return out;
}

FluidSynthOutput::~FluidSynthOutput() = default;

void FluidSynthOutput::SendShort(const uint8_t* bytes, int length) {
  if (length < 1 || bytes[0] < 0x80 || bytes[0] >= 0xf0) return;
  SendChannelMessage(parts_->synth, bytes, length);
}

bool FluidSynthOutput::SendLong(const uint8_t* bytes, int length) {
  if (length >= 2 && bytes[0] == 0xf0 && bytes[length - 1] == 0xf7) {
    // FluidSynth takes the data between F0 and F7 and answers the GM, GS
    // and XG resets and tuning messages it knows.
    fluid_synth_sysex(parts_->synth, reinterpret_cast<const char*>(bytes + 1), length - 2, nullptr,
                      nullptr, nullptr, 0);
  } else {
    // Channel messages built from a template, one after the other.
    int i = 0;
    while (i < length) {
      if (bytes[i] < 0x80 || bytes[i] >= 0xf0) {
        ++i;
        continue;
      }
      const int n = ChannelMessageLength(bytes[i]);
      if (length - i < n) break;
      SendChannelMessage(parts_->synth, bytes + i, n);
      i += n;
    }
  }
  LongDone();
  return true;
}

void FluidSynthOutput::Render(int frames, int16_t* interleaved) {
  fluid_synth_write_s16(parts_->synth, frames, interleaved, 0, 2, interleaved, 1, 2);
}
