// The device outputs: the embedded synthesizer (FluidSynth with a General
// MIDI SoundFont) and ALSA sequencer ports through RtMidi, chosen by name.
//
// In: an output name ("synth", "alsa:PORT" or "none") and optionally a
//   SoundFont file.
// Out: an output for OpenMidiDevices, or null with a one-line reason (no
//   SoundFont, no audio device, no such port).
#ifndef QUERN_PLAYER_OUTPUT_OUTPUTS_H_
#define QUERN_PLAYER_OUTPUT_OUTPUTS_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/midi_output.h"

class Sequencer;

// "synth" (also the empty name): the embedded synthesizer on the default
//   audio device, with `soundfont` or else FindSoundFont()'s.
// "alsa:PORT": an ALSA sequencer port; PORT is its number in ListMidiPorts()
//   or a part of its name.
// "none": a null output (never fails).
std::unique_ptr<MidiOutput> OpenOutput(const std::string& name, const std::string& soundfont,
                                       std::string* error);

// The MIDI output ports of the system, in RtMidi's order (port numbers
// count from 0).
std::vector<std::string> ListMidiPorts();

// The SoundFont to use: `preferred` when it names a readable file, else the
// fullest General MIDI SoundFont installed (fluid-soundfont-gm's, then
// timgm6mb's, then the system default). Empty when there is none.
std::string FindSoundFont(const std::string& preferred = "");

// Renders the song loaded into `song` through the embedded synthesizer,
// offline and faster than real time, into a 16-bit stereo 44100 Hz WAV file:
// from tick 1 until the song has finished (or max_ticks, or the 4 GB a WAV
// file can hold), then one second of release. Returns false with a reason
// when the SoundFont or the file fails. progress, when given, hears the
// number of ticks run so far every 64 ticks; when it returns false the render
// stops, no file is left behind and the reason is "cancelled". The
// synthesizer is the sequencer's sink for the run; its own sink comes back
// after. Playback of that sequencer must be stopped.
// An output that cannot seek (a pipe, a terminal) cannot have its header
// filled in at the end: the song is first run once without synthesis to
// time it, then restart puts it back where it was loaded, and the rendered
// bytes are the same as a file gets. Without restart such an output is
// refused before any work.
struct RenderResult {
  double seconds = 0;  // length of the song written
  int64_t ticks = 0;
  bool cut_at_wav_limit = false;  // the song goes on beyond what a WAV file holds
};
using RenderProgress = std::function<bool(int64_t ticks)>;
using SongRestart = std::function<void(Sequencer& song)>;
bool RenderWav(Sequencer& song, const std::string& path, const std::string& soundfont,
               int64_t max_ticks, RenderResult* result, std::string* error,
               const RenderProgress& progress = {}, const SongRestart& restart = {});

#endif  // QUERN_PLAYER_OUTPUT_OUTPUTS_H_
