// quern_outputs.so: the MIDI outputs of player/output as a module that the
// quern command line loads for play, render and ports (app/quern/output_module.h).
// The player core it calls (sequencer, messages, timer) is the program's own:
// the module binds to the program's copy, so both share one player state.
#include "app/quern/output_module.h"

extern "C" __attribute__((visibility("default"))) const OutputModule* QuernOutputModule() {
  static const OutputModule module{&OpenOutput, &ListMidiPorts, &RenderWav};
  return &module;
}
