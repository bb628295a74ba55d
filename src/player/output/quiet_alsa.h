// Silences the ALSA library's own error printing (no sequencer, no sound
// card): the outputs give one clear reason of their own instead.
#ifndef QUERN_PLAYER_OUTPUT_QUIET_ALSA_H_
#define QUERN_PLAYER_OUTPUT_QUIET_ALSA_H_

void QuietAlsa();

#endif  // QUERN_PLAYER_OUTPUT_QUIET_ALSA_H_
