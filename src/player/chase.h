// Chase: the channel state a song has set up to some tick, so that playback
// can start there as if it had played from the beginning.
//
// In: the short messages and tempo changes a sequencer sends while it runs
//   silently up to the start tick (its message builder, messages.h, routes
//   them here while a chase state captures).
// Out: Replay sends to a ChaseTarget (the sequencer's message builder), in
//   this order: the tempo (when the song set one), then per channel that was
//   given any: bank select (controllers 0 and 32), the program, every other
//   controller last set (rising number; the parameter number selects,
//   98 to 101, then their data entry, 6 and 38, come after the rest) and the
//   pitch bend. A reset of all controllers (121) clears what a General MIDI
//   receiver resets and keeps the rest. Note messages are
//   not kept: notes struck before the start tick are not struck. Long
//   messages (templates, direct output) are not kept.
// What can go wrong: nothing; bytes of any value are taken (the channel from
//   the status byte's low four bits, data bytes as they come).
// Threads: a chase state belongs to the thread that runs its sequencer.
#ifndef QUERN_PLAYER_CHASE_H_
#define QUERN_PLAYER_CHASE_H_

#include <cstdint>

// Where a replay goes. The message builder (messages.h) is one; chase itself
// knows nothing of the builder, so the two files do not depend on each other.
class ChaseTarget {
 public:
  virtual void SendShort(const uint8_t* bytes, int length) = 0;
  // Attribute 128 with channel 0 sets the tempo.
  virtual void SendAttribute(int channel, int number, int value) = 0;

 protected:
  ~ChaseTarget() = default;
};

class ChaseState {
 public:
  ChaseState() { Clear(); }
  void Clear();
  void TakeShort(const uint8_t* bytes, int length);
  void TakeTempo(int quarters_per_minute) { tempo_ = quarters_per_minute; }
  int Tempo() const { return tempo_; }  // -1: never set
  // Sends the state through out; the tempo also becomes its song tempo.
  void Replay(ChaseTarget& out) const;
  // Sends what it takes to go from the channel state `before` to this one:
  // bank and program, controllers and bend that differ. A value `before` set
  // and this state does not goes back to its General MIDI default (program
  // 0, bank 0, volume 100, pan 64, expression 127, parameter selects 127,
  // the rest 0, the bend centred). The tempo is left to the caller.
  void SendChangesFrom(const ChaseState& before, ChaseTarget& out) const;

 private:
  struct Channel {
    int16_t controllers[128];     // -1: not set
    int16_t program;              // -1: not set
    int16_t bend_low, bend_high;  // -1: not set
    bool rpn_selected_last;       // else an NRPN select came last
  };
  static void ResetControllers(Channel& c);
  Channel channels_[16];
  int tempo_ = -1;
};

// The default player's capture (player.h defines these): while set, its
// sequencer hands short messages and tempo changes to the capture instead of
// the output, and drops long messages. nullptr restores normal sending.
void SetMessageCapture(ChaseState* capture);
ChaseState* MessageCapture();

#endif  // QUERN_PLAYER_CHASE_H_
