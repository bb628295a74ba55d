// Sequencer: runs a loaded song image one tick at a time.
//
// In: a song image given to Load, read in place: it must stay unchanged and
//   alive while the sequencer runs it.
// Out: note, program, attribute and template messages through its message
//   builder (messages.h) to the sink it was given; tempo changes set its song
//   time, which whoever runs it reads (TickLengthMs). Struck notes go to a
//   note sink, when one is set.
// What can go wrong: Load refuses an image that is not a song (a message
//   says why; the previous song stays). Every cursor and list access is
//   checked against the image, so no image, however malformed, makes the
//   sequencer read outside it; a track that runs off its stream, jumps
//   outside it or spins without ever waiting ends. A track ended for
//   spinning (more bytes in one tick than its stream holds, which only a
//   malformed image can do) is logged as a TrackCut, so that the driver
//   can say what was lost.
//
// Threads: one thread at a time runs a sequencer (a player's timer thread
// while it plays; offline drivers such as trace, export, render and tests
// call it directly). Mute and solo may be set, and the tick count, the cuts
// and Finished read, from any thread. Sequencers share nothing: several may
// run side by side, each with its own sink.
//
// A sequencer holds fixed tables for every track; they are allocated once,
// when it is made, and a tick allocates nothing.
#ifndef QUERN_PLAYER_SEQUENCER_H_
#define QUERN_PLAYER_SEQUENCER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "player/chase.h"
#include "player/messages.h"

// As many track players as the compiler writes tracks.
constexpr int kMaxTracks = 128;
// Notes sounding at once; when all are taken, the one that would end
// soonest is released to make room for the new note.
constexpr int kNoteOffEntries = 512;
constexpr int kGradualSlots = 64;
constexpr int kLoopFrames = 32;
constexpr int kListIndexEntries = 1024;
// Every loop pass of a compiled track takes time, so a track never executes
// more bytes in one tick than its stream holds (and never more than this).
// One that does is spinning (a loop without time, or a malformed jump) and
// ends.
constexpr int kMaxBytesPerTick = 1 << 20;

// A track ended by the per-tick byte limit: its entry number in the image
// (from 1), the tick it was cut in and the limit it ran over.
struct TrackCut {
  int track = 0;
  int64_t tick = 0;
  int64_t limit = 0;
  bool operator==(const TrackCut&) const = default;
};

// One note the sequencer struck (its note-on went out): the track's index,
// the stream offset of its note byte (from the start of the track's stream,
// as the compiler's source map counts it), the tick, and how many ticks it
// sounds (0 when it is held without a note-off).
struct StruckNote {
  int track = 0;
  int offset = 0;
  int64_t tick = 0;
  int gate = 0;
  int channel = 0;
  int note = 0;
};

// Told of every struck note, on the thread that runs the sequencer; it must
// return at once and never wait.
class NoteSink {
 public:
  virtual ~NoteSink() = default;
  virtual void NoteStruck(const StruckNote& note) = 0;
};

class Sequencer;

constexpr int kSwapWaiting = 0;
constexpr int kSwapTaken = 1;
constexpr int kSwapMissed = 2;

// A new song ready to take over from the playing one at tick `at`:
// `prepared` has run silently up to at - 1 (RunSilently). Built and owned by
// the control thread; the sequencer's thread only reads it and sets outcome.
struct SwapOffer {
  struct Message {
    uint8_t bytes[3];
    int length;
  };
  Sequencer* prepared = nullptr;
  int64_t at = 1;
  int tempo = 120;                // the new song's tempo at `at`
  std::vector<Message> messages;  // the channel state that differs at `at`
  bool muted[kMaxTracks] = {};
  bool soloed[kMaxTracks] = {};
  int64_t loop_start = 0;  // 0: as the prepared song marked it
  int64_t stop = 0;
  bool loop = false;
  std::atomic<int> outcome{0};
};

// How many ticks ahead TicksToNextWork looks at most.
constexpr int64_t kMaxQuietTicks = int64_t{1} << 30;

class Sequencer {
 public:
  // sink: where the messages go (nullptr: nowhere), as SetSink.
  explicit Sequencer(MessageSink* sink = nullptr);
  ~Sequencer();
  Sequencer(const Sequencer&) = delete;
  Sequencer& operator=(const Sequencer&) = delete;

  // Where the messages go from now on; change it only while nothing runs.
  void SetSink(MessageSink* sink);
  MessageSink* Sink() const;
  // The message builder, with the song time (tempo, resolution, tick length).
  MessageBuilder& Messages();
  const MessageBuilder& Messages() const;

  // Loads the image: up to 128 tracks, the three lists, fresh state for
  // every track, empty note-off and gradual-change tables, the start tempo
  // (120) and no mute, solo or stop tick. Returns false
  // and keeps the previous song when the image is not a song (wrong first
  // word, resolution 0, a track list that runs past the end); *error then
  // says why.
  bool Load(const uint8_t* image, size_t size, std::string* error = nullptr);

  // One tick of the whole song: due note-offs, shared gradual changes, then
  // every track in order.
  void Tick();
  // The stop step: every scheduled note gets its note-off now.
  void SilenceNotes();
  // How many ticks from now the next tick that may send a message or change
  // the song's tempo comes: 1 when the next tick may, n when ticks 1 to n-1
  // only count down (they still have to run, but they send nothing). At most
  // kMaxQuietTicks; a finished song gives that too. A timer sleeps through
  // the quiet ticks instead of waking for each.
  int64_t TicksToNextWork() const;
  // Ticks run since the last Load; the tick of the messages being sent.
  int64_t TickCount() const;
  // Number of tracks loaded (at most kMaxTracks).
  int TrackCount() const;
  // The tracks cut since the last Load, in the order they were cut.
  std::vector<TrackCut> Cuts() const;
  // True when every loaded track has ended and no note-off or gradual change
  // is pending: nothing more will be sent (an endless loop never finishes).
  // True before the first Load.
  bool Finished() const;

  // ---- Live playback: striking notes, starting anywhere, muting.

  // nullptr: nobody is told (the default). Set while nothing runs.
  void SetNoteSink(NoteSink* sink);
  // While set, short messages and tempo changes go to the capture instead of
  // the sink, and long messages are dropped (chase.h).
  void SetMessageCapture(ChaseState* capture);
  ChaseState* MessageCapture() const;
  // Starts the loaded song again at tick `start`, whatever ran before: what
  // sounds is released (its note-offs go out now), then the song runs
  // silently from its beginning up to tick start - 1. Nothing is sent on the
  // way and no note is reported; every track, tempo and gradual change moves
  // on, jumping over quiet stretches, so the cost follows the events before
  // the start rather than the ticks. Notes struck on the way do not sound and
  // get no note-off. The channel state the song set up (chase.h) goes out at
  // the start of tick `start`, before its own messages, unless the song has
  // nothing left to do there (then it has finished). Every seek leaves the
  // same state and chase as a seek right after Load, except that the start
  // tempo is sent too when the tempo in effect differs from it. Mute, solo
  // and the stop tick stay as set. Call after Load.
  void Seek(int64_t start);
  // Ends the song at tick `stop` (0: no stop tick): that tick, or the next
  // one when it has already passed, releases what sounds instead of running,
  // and the song has finished. With `loop`, the
  // song goes on from the seek's start tick instead, in the state it had
  // there (the chase is not sent again); until then the song has not
  // finished, even once it has played everything. Set while nothing runs.
  void SetStopTick(int64_t stop, bool loop);
  // Mute and solo by track index, from any thread; they take effect at the
  // next tick. A muted track (or, while any track is soloed, one that is not)
  // still runs, but its note-ons are withheld and its sounding notes released.
  void SetTrackMuted(int track, bool muted);
  void SetTrackSoloed(int track, bool soloed);

  // ---- Swapping in a new song while this one plays (song_swap.h prepares
  // the offer on a sequencer of its own).

  // Prepared side: runs on silently from where the song stands up to tick
  // until - 1. Nothing is sent and no note is reported, but the notes struck
  // on the way stay in the note table as they would sound, and the channel
  // state goes into SilentState.
  void RunSilently(int64_t until);
  // The channel state the silent runs since Load have set up.
  const ChaseState& SilentState() const;
  // Prepared side: the loop of a selection starts again at the next tick,
  // in the state the song has now.
  void MarkLoopStart();
  // Playing side, from the control thread: at the start of tick offer->at,
  // the thread that runs this sequencer releases the notes the prepared song
  // does not have sounding the same, sends the offer's tempo and messages,
  // and from then on plays the prepared song (its image must stay alive)
  // with the offer's mute, solo and stop tick; offer->outcome says
  // kSwapTaken. When that tick has already passed, the outcome says
  // kSwapMissed and nothing changes. The offer must stay alive until its
  // outcome is known, or until WithdrawSwap.
  void OfferSwap(SwapOffer* offer);
  // Takes back an offer not yet taken: true. False when the running thread
  // took it first; the outcome is then known when this returns.
  bool WithdrawSwap(SwapOffer* offer);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- The default player's sequencer (player.h defines these). Call them
// from the control thread with playback stopped, except SequencerTickCount,
// TrackCuts and the mute and solo switches, which may be called at any time.

void SequencerTick();
void SilenceNotes();
int64_t TicksToNextWork();
int64_t SequencerTickCount();
int LoadedTrackCount();
std::vector<TrackCut> TrackCuts();
void SetNoteSink(NoteSink* sink);
void SequencerSeek(int64_t start);
void SetStopTick(int64_t stop, bool loop);
void SetTrackMuted(int track, bool muted);
void SetTrackSoloed(int track, bool soloed);

#endif  // QUERN_PLAYER_SEQUENCER_H_
