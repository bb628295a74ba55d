// The MIDI outputs for the quern command line, loaded when first needed.
//
// The outputs (the embedded FluidSynth synthesizer with its audio stack, and
// ALSA ports through RtMidi) live in the module quern_outputs.so beside the
// quern program, so that compile, tokens, events, html and trace start
// without loading them; play, render and ports load the module at run time.
//
// In: nothing. Out: the module's entry points (the operations of
//   player/output/outputs.h), or nullptr and *error saying why the module
//   could not be found or loaded. The module stays loaded until exit.
#ifndef QUERN_APP_QUERN_OUTPUT_MODULE_H_
#define QUERN_APP_QUERN_OUTPUT_MODULE_H_

#include <string>

#include "player/output/outputs.h"

struct OutputModule {
  decltype(&OpenOutput) open_output;
  decltype(&ListMidiPorts) list_midi_ports;
  decltype(&RenderWav) render_wav;
};

// The name of the function the module exports: extern "C", no arguments,
// returning const OutputModule*.
constexpr char kOutputModuleEntry[] = "QuernOutputModule";
constexpr char kOutputModuleFile[] = "quern_outputs.so";

const OutputModule* LoadOutputModule(std::string* error);

#endif  // QUERN_APP_QUERN_OUTPUT_MODULE_H_
