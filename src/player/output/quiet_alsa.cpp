#include "player/output/quiet_alsa.h"

#include <dlfcn.h>

namespace {

void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

// ALSA comes in with RtMidi and FluidSynth, not as a library of ours, so its
// handler setter is looked up rather than linked.
void QuietAlsa() {
  static const bool done = [] {
    using Setter = int (*)(void (*)(const char*, int, const char*, int, const char*, ...));
    if (auto set = reinterpret_cast<Setter>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"))) {
      set(IgnoreAlsaError);
    }
    return true;
  }();
  (void)done;
}
