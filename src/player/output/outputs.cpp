#include "player/output/outputs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

constexpr int kRate = FluidSynthOutput::kSampleRate;

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
  PutLe(h, kRate, 4);
  PutLe(h, kRate * 4, 4);
  PutLe(h, 4, 2);
  PutLe(h, 16, 2);
  h += "data";
  PutLe(h, data_bytes, 4);
  return h;
}

// A WAV file counts its bytes in 32 bits: a song too long for it (about
// 6 hours 45 minutes, with the second of release) ends there.
constexpr uint64_t kMaxFrames = (0xffffffffull - 36) / 4 - kRate;

uint64_t FrameAt(double ms) {
  return static_cast<uint64_t>(ms * kRate / 1000.0);
}

// How far a render's run of the song went.
struct RenderRun {
  double last_ms = 0;  // when the last tick run sounds
  int64_t ticks = 0;
  bool cut = false;      // where a WAV file is full
  bool stopped = false;  // by before_tick
  // The frames of the file: up to the last tick, then a second of release.
  uint64_t Frames() const { return FrameAt(last_ms) + kRate; }
};

// Runs the song from where it stands, as a render does: tick k (from 1)
// sounds at the sum of the tick lengths before it, and before_tick hears the
// ticks run so far and that frame before the tick runs (false stops the
// run). Ends at max_ticks, when the song finishes or where a WAV file is
// full; what still sounds is then released on the song's sink.
RenderRun RunRenderTicks(Sequencer& song, int64_t max_ticks,
                         const std::function<bool(int64_t ticks, uint64_t frame)>& before_tick) {
  RenderRun run;
  MessageBuilder& messages = song.Messages();
  messages.SetTempo(120);
  double next_ms = 0;
  while (run.ticks < max_ticks && !song.Finished()) {
    if (FrameAt(next_ms) > kMaxFrames) {
      run.cut = true;
      break;
    }
    if (!before_tick(run.ticks, FrameAt(next_ms))) {
      run.stopped = true;
      break;
    }
    song.Tick();
    ++run.ticks;
    run.last_ms = next_ms;
    next_ms += messages.TickLengthMs();
  }
  song.SilenceNotes();
  return run;
}

// The frames a render of the song writes, from a run that only times it:
// nothing is sent and nothing synthesized.
uint64_t CountFrames(Sequencer& song, int64_t max_ticks) {
  MessageSink* const sink = song.Sink();
  song.SetSink(nullptr);
  const RenderRun run = RunRenderTicks(song, max_ticks, [](int64_t, uint64_t) { return true; });
  song.SetSink(sink);
  return run.Frames();
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
               const RenderProgress& progress, const SongRestart& restart) {
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
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (!wav.Open(path, &file_error)) return fail("cannot write " + file_error);
  // An output that cannot go back to the header (a pipe, a terminal) gets
  // the data length first, from a run that only times the song.
  const bool seekable = wav.CanWriteAt();
  uint64_t known_frames = 0;
  if (!seekable) {
    if (!restart) return fail("cannot write " + path + ": " + std::strerror(ESPIPE));
    known_frames = CountFrames(song, max_ticks);
    restart(song);
  }
  bool ok = wav.Write(WavHeader(known_frames), &file_error);

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
    return ok;
  };
  MessageSink* const sink = song.Sink();
  song.SetSink(out);
  const RenderRun run = RunRenderTicks(song, max_ticks, [&](int64_t ticks, uint64_t frame) {
    if (progress && ticks % 64 == 0 && !progress(ticks)) return false;
    return render_to(frame);
  });
  song.SetSink(sink);
  const bool cancelled = run.stopped && ok;
  if (!cancelled) render_to(run.Frames());  // one second of release

  if (ok && !cancelled) {
    if (seekable) {
      ok = wav.WriteAt(0, WavHeader(written), &file_error);
    } else if (written != known_frames) {
      ok = false;
      file_error = path + ": the song ran differently from its timing run";
    }
  }
  // A cancelled render is abandoned: the writer removes its temporary file.
  ok = ok && !cancelled && wav.Commit(&file_error);
  if (!ok) return fail(cancelled ? "cancelled" : "cannot write " + file_error);
  if (result) {
    result->seconds = run.last_ms / 1000.0;
    result->ticks = run.ticks;
    result->cut_at_wav_limit = run.cut;
  }
  return true;
}
