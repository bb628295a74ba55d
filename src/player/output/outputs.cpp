#include "player/output/outputs.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "files/file_io.h"
#include "player/output/fluidsynth_output.h"
#include "player/output/rtmidi_output.h"
#include "player/sequencer.h"

namespace {

// General MIDI SoundFonts in order of preference: the fuller one of
// fluid-soundfont-gm, then timgm6mb's, then whatever the system names its
// default.
constexpr const char* kSoundFonts[] = {
    "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/soundfonts/FluidR3_GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",   "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/soundfonts/default.sf2",
};

bool Readable(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  return in.good();
}

void PutLe(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 255));
}

std::string WavHeader(uint32_t frames) {
  const uint32_t data_bytes = frames * 4;
  std::string h = "RIFF";
  PutLe(h, 36 + data_bytes, 4);
  h += "WAVEfmt ";
  PutLe(h, 16, 4);
  PutLe(h, 1, 2);  // PCM
  PutLe(h, 2, 2);  // stereo
  PutLe(h, FluidSynthOutput::kSampleRate, 4);
  PutLe(h, FluidSynthOutput::kSampleRate * 4, 4);
  PutLe(h, 4, 2);
  PutLe(h, 16, 2);
  h += "data";
  PutLe(h, data_bytes, 4);
  return h;
}

}  // namespace

std::string FindSoundFont(const std::string& preferred) {
  if (!preferred.empty()) return Readable(preferred) ? preferred : "";
  for (const char* path : kSoundFonts) {
    if (Readable(path)) return path;
  }
  return "";
}

std::vector<std::string> ListMidiPorts() {
  return RtMidiOutput::ListPorts();
}

std::unique_ptr<MidiOutput> OpenOutput(const std::string& name, const std::string& soundfont,
                                       std::string* error) {
  if (name == "none") return std::make_unique<NullOutput>();
  if (name.empty() || name == "synth") {
    const std::string file = FindSoundFont(soundfont);
    if (file.empty() && !soundfont.empty()) {
      if (error) *error = "cannot read the SoundFont " + soundfont;
      return nullptr;
    }
    return FluidSynthOutput::Open(file, true, error);
  }
  if (name.rfind("alsa:", 0) == 0) return RtMidiOutput::Open(name.substr(5), error);
  if (error) *error = "unknown output '" + name + "' (synth, alsa:PORT or none)";
  return nullptr;
}

bool RenderWav(Sequencer& song, const std::string& path, const std::string& soundfont,
               int64_t max_ticks, RenderResult* result, std::string* error,
               const RenderProgress& progress) {
  const std::string file = FindSoundFont(soundfont);
  if (file.empty() && !soundfont.empty()) {
    if (error) *error = "cannot read the SoundFont " + soundfont;
    return false;
  }
  std::unique_ptr<FluidSynthOutput> synth = FluidSynthOutput::Open(file, false, error);
  if (!synth) return false;
  FluidSynthOutput* out = synth.get();

  // Written to a temporary file beside the target and renamed over it at
  // the end, so a failed render leaves any older file as it was.
  AtomicFileWriter wav;
  std::string file_error;
  if (!wav.Open(path, &file_error)) {
    if (error) *error = "cannot write " + file_error;
    return false;
  }
  std::string header = WavHeader(0);
  bool ok = wav.Write(header, &file_error);

  // One block of stereo frames, rendered and written in turn.
  std::vector<int16_t> buffer(2 * 4096);
  uint64_t written = 0;
  auto render_to = [&](uint64_t frame) {
    while (ok && written < frame) {
      const int n = static_cast<int>(std::min<uint64_t>(4096, frame - written));
      out->Render(n, buffer.data());
      ok = wav.Write(std::string_view(reinterpret_cast<const char*>(buffer.data()), size_t{4} * n),
                     &file_error);
      written += n;
    }
  };

  // Tick k (from 1) sounds at the sum of the tick lengths before it: render
  // up to that time, then run the tick.
  auto frame_at = [](double ms) {
    return static_cast<uint64_t>(ms * FluidSynthOutput::kSampleRate / 1000.0);
  };
  // A WAV file counts its bytes in 32 bits: a song too long for it (about
  // 6 hours 45 minutes, with the second of release) ends there.
  constexpr uint64_t kMaxFrames = (0xffffffffull - 36) / 4 - FluidSynthOutput::kSampleRate;
  MessageSink* const sink = song.Sink();
  song.SetSink(out);
  MessageBuilder& messages = song.Messages();
  messages.SetTempo(120);
  double next_ms = 0;
  double last_ms = 0;
  int64_t ticks = 0;
  bool cut = false;
  bool cancelled = false;
  while (ticks < max_ticks && !song.Finished()) {
    if (progress && ticks % 64 == 0 && !progress(ticks)) {
      cancelled = true;
      break;
    }
    if (frame_at(next_ms) > kMaxFrames) {
      cut = true;
      break;
    }
    render_to(frame_at(next_ms));
    song.Tick();
    ++ticks;
    last_ms = next_ms;
    next_ms += messages.TickLengthMs();
  }
  song.SilenceNotes();
  song.SetSink(sink);
  render_to(frame_at(last_ms) + FluidSynthOutput::kSampleRate);  // one second of release

  header = WavHeader(static_cast<uint32_t>(written));
  // A cancelled render is abandoned: the writer removes its temporary file.
  ok = ok && !cancelled && wav.WriteAt(0, header, &file_error) && wav.Commit(&file_error);
  if (!ok) {
    if (error) *error = cancelled ? "cancelled" : "cannot write " + file_error;
    return false;
  }
  if (result) {
    result->seconds = last_ms / 1000.0;
    result->ticks = ticks;
    result->cut_at_wav_limit = cut;
  }
  return true;
}
