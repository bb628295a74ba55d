// Sequencer: runs a loaded song image one tick at a time.
//
// In: the image given to LoadSong (player.h), read in place.
// Out: note, program, attribute and template messages through the message
//   operations (messages.h), tempo changes to the timer layer.
// Every cursor and list access is checked against the image, so no image,
// however malformed, makes the sequencer read outside it; a track that runs
// off its stream, jumps outside it or spins without ever waiting ends. A
// track ended for spinning (more than kMaxBytesPerTick bytes in one tick,
// which only a malformed image can hold) is logged as a TrackCut, so that
// the driver can say what was lost.
//
// Runs on the timer thread while a song plays; offline drivers (trace,
// export, render, tests) call it directly with playback stopped.
#ifndef QUERN_PLAYER_SEQUENCER_H_
#define QUERN_PLAYER_SEQUENCER_H_

#include <cstdint>
#include <vector>

// As many track players as the compiler writes tracks.
constexpr int kMaxTracks = 128;
// Notes sounding at once; when all are taken, the one that would end
// soonest is released to make room for the new note.
constexpr int kNoteOffEntries = 512;
constexpr int kGradualSlots = 64;
constexpr int kLoopFrames = 32;
constexpr int kListIndexEntries = 1024;
// A track that executes this many bytes in one tick without waiting is
// spinning (a loop without time, or a malformed jump) and ends.
constexpr int kMaxBytesPerTick = 1 << 20;

// A track ended by the per-tick byte limit: its entry number in the image
// (from 1) and the tick it was cut in.
struct TrackCut {
  int track = 0;
  int64_t tick = 0;
  bool operator==(const TrackCut&) const = default;
};

// One tick of the whole song: due note-offs, shared gradual changes, then
// every track in order.
void SequencerTick();
// The stop step: every scheduled note gets its note-off now.
void SilenceNotes();
// How many ticks from now the next tick that may send a message or change
// the song's tempo comes: 1 when the next tick may, n when ticks 1 to n-1
// only count down (they still have to run, but they send nothing). At most
// kMaxQuietTicks; a finished song gives that too. The timer sleeps through
// the quiet ticks instead of waking for each.
constexpr int64_t kMaxQuietTicks = int64_t{1} << 30;
int64_t TicksToNextWork();
// Ticks run since the last LoadSong; the tick of the messages being sent.
int64_t SequencerTickCount();
// Number of tracks loaded (at most kMaxTracks).
int LoadedTrackCount();
// The tracks cut since the last LoadSong, in the order they were cut. May be
// called from another thread while the song plays.
std::vector<TrackCut> TrackCuts();

// ---- Live playback: striking notes, starting anywhere, muting.

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
// return at once and never wait. Set while nothing plays.
class NoteSink {
 public:
  virtual ~NoteSink() = default;
  virtual void NoteStruck(const StruckNote& note) = 0;
};
// nullptr: nobody is told (the default).
void SetNoteSink(NoteSink* sink);

// Runs the loaded song silently from where it stands up to tick start - 1:
// nothing is sent and no note is reported, but every track, tempo and
// gradual change moves on. Notes struck on the way do not sound and get no
// note-off. The channel state the song set up (chase.h) goes out at the
// start of tick `start`, before its own messages. Call after LoadSong, with
// playback stopped.
void SequencerSeek(int64_t start);
// Ends the song at tick `stop` (0: no stop tick): that tick releases what
// sounds instead of running, and the song has finished. With `loop`, the
// song goes on from the seek's start tick instead, in the state it had there
// (the chase is not sent again). Call with playback stopped.
void SetStopTick(int64_t stop, bool loop);
// Mute and solo by track index, from any thread; they take effect at the
// next tick. A muted track (or, while any track is soloed, one that is not)
// still runs, but its note-ons are withheld and its sounding notes released.
void SetTrackMuted(int track, bool muted);
void SetTrackSoloed(int track, bool soloed);

#endif  // QUERN_PLAYER_SEQUENCER_H_
