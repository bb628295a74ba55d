// The sequencer's live controls driven in any order: ticks, seeks, stop
// ticks with and without a loop, mute and solo of any track number,
// silence, reloads and tempo changes, all chosen by the input.
//
// Input: two bytes (little-endian) giving the image's length, the image,
// then the controls, one byte each followed by its operands; a control cut
// short by the input's end is dropped.
//
// Beside the song under test runs a reference: the same image, loaded fresh
// and seeked to the same start whenever the song under test seeks, and
// given every other control too. The run stops (abort) when
//   - a tick that TicksToNextWork promised quiet sends a message;
//   - a note is still sounding after a seek, a silence or a stop;
//   - a muted (or, under solo, unsoloed) track strikes a note;
//   - a stop tick does not finish the song, or a looped one does not go
//     back to its start;
//   - a finished song sends anything on its next tick;
//   - the song under test sends anything the reference does not (so a seek
//     leaves exactly what a seek from a fresh load leaves).
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "player/midi_output.h"
#include "player/sequencer.h"

namespace {

// Ticks one control may run; seeks reach at most 65,535.
constexpr int kMaxTicksPerControl = 4096;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "live: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  std::abort();
}

// A note event in the order it happened: a scheduled note struck (with its
// track), or a channel-key pair released by a note-off (or a note-on of
// velocity 0).
struct NoteEvent {
  bool struck = false;
  int channel = 0, note = 0, track = -1;
};

// Keeps the messages of the current step as trace lines, and the note
// events in order.
class StepRecorder : public MessageSink, public NoteSink {
 public:
  void SetClock(const Sequencer* clock) { clock_ = clock; }

  void SendShort(const uint8_t* bytes, int length) override {
    Record(bytes, length, -1);
    if (length >= 2) NoteOffSeen(bytes, length);
  }
  bool SendLong(const uint8_t* bytes, int length) override {
    Record(bytes, length, -1);
    return true;
  }
  void SetTempo(int quarters_per_minute) override { Record(nullptr, 0, quarters_per_minute); }
  void NoteStruck(const StruckNote& note) override {
    if (note.gate > 0) events_.push_back({true, note.channel, note.note, note.track});
    if (note.track < 0 || note.track >= kMaxTracks) bad_track_ = true;
    struck_tracks_.push_back(note.track);
  }

  std::vector<std::string> TakeLines() { return std::exchange(lines_, {}); }
  std::vector<NoteEvent> TakeEvents() { return std::exchange(events_, {}); }
  // Every track that struck a note, held ones included.
  std::vector<int> TakeStruckTracks() { return std::exchange(struck_tracks_, {}); }
  bool BadTrack() const { return bad_track_; }

 private:
  void Record(const uint8_t* bytes, int length, int tempo) {
    RecordedMessage m;
    m.tick = clock_->TickCount();
    if (bytes != nullptr) m.bytes.assign(bytes, bytes + length);
    m.tempo = tempo;
    if (lines_.size() < 4096) lines_.push_back(FormatMessageLine(m));
  }
  void NoteOffSeen(const uint8_t* bytes, int length) {
    const int kind = bytes[0] & 0xf0;
    if (kind == 0x80 || (kind == 0x90 && length >= 3 && bytes[2] == 0)) {
      events_.push_back({false, bytes[0] & 0x0f, bytes[1], -1});
    }
  }

  const Sequencer* clock_ = nullptr;
  std::vector<std::string> lines_;
  std::vector<NoteEvent> events_;
  std::vector<int> struck_tracks_;
  bool bad_track_ = false;
};

struct Side {
  Side() : song(&recorder) {
    recorder.SetClock(&song);
    song.SetNoteSink(&recorder);
  }
  StepRecorder recorder;
  Sequencer song;
};

// What the harness itself set, to judge the song by.
struct Controls {
  bool muted[kMaxTracks] = {};
  bool soloed[kMaxTracks] = {};
  int64_t stop = 0;
  bool loop = false;
  int64_t start = 1;  // where a loop goes back to

  bool Audible(int track) const {
    bool any_solo = false;
    for (bool s : soloed) any_solo = any_solo || s;
    return !muted[track] && (!any_solo || soloed[track]);
  }
};

class Harness {
 public:
  Harness(Side& test, Side& reference) : test_(test), ref_(reference) {}

  bool Load(const std::vector<uint8_t>& image) {
    image_ = image;
    if (!test_.song.Load(image_.data(), image_.size())) return false;
    ref_.song.Load(image_.data(), image_.size());
    Reset();
    return true;
  }

  void Run(const uint8_t* p, const uint8_t* end) {
    while (p < end) {
      const int control = *p++ % 9;
      const int need = control == 1 || control == 2 ? 2 : (control == 3 || control == 4) ? 2 : 1;
      if (control == 5 || control == 6 || control == 8) {
        Apply(control, 0, 0);
        continue;
      }
      if (end - p < need) return;
      const int a = p[0], b = need > 1 ? p[1] : 0;
      p += need;
      Apply(control, a, b);
    }
  }

 private:
  void Apply(int control, int a, int b) {
    if (std::getenv("QUERN_LIVE_LOG")) {
      std::fprintf(stderr, "control %d %d %d at tick %lld\n", control, a, b,
                   static_cast<long long>(test_.song.TickCount()));
    }
    switch (control) {
      case 0: return RunTicks(1 + a % 64 + (a >= 192 ? kMaxTicksPerControl - 64 : 0));
      case 1: return Seek(a | (b << 8));
      case 2: return SetStop(a | ((b & 0x7f) << 8), (b & 0x80) != 0);
      case 3: return SwitchTrack(a, (b & 1) != 0, false);
      case 4: return SwitchTrack(a, (b & 1) != 0, true);
      case 5: return Silence();
      case 6: return Reload();
      case 7: return SetTempo(1 + a);
      case 8: return RunTicks(static_cast<int>(std::min<int64_t>(
                  test_.song.TicksToNextWork(), kMaxTicksPerControl)));
    }
  }

  void Reset() {
    controls_ = Controls();
    sounding_.clear();
    first_after_seek_ = false;
    Drain();
  }

  void Drain() {
    for (Side* side : {&test_, &ref_}) {
      side->recorder.TakeLines();
      side->recorder.TakeEvents();
      side->recorder.TakeStruckTracks();
    }
  }

  void RunTicks(int ticks) {
    for (int i = 0; i < ticks; ++i) {
      if (!OneTick()) return;
    }
  }

  // One tick of both sides, judged; false when the song has finished.
  bool OneTick() {
    const bool was_finished = test_.song.Finished();
    const int64_t quiet = test_.song.TicksToNextWork();
    const int64_t tick = test_.song.TickCount() + 1;
    test_.song.Tick();
    ref_.song.Tick();
    std::vector<std::string> lines = test_.recorder.TakeLines();
    std::vector<std::string> ref_lines = ref_.recorder.TakeLines();
    if (was_finished && !lines.empty()) Fail("a finished song sent", lines.front());
    if (quiet > 1 && !lines.empty()) Fail("a tick promised quiet sent", lines.front());
    CompareWithReference(lines, ref_lines);
    TrackNotes(tick);
    // A song already finished (or stopped) stays so, whatever stop tick is
    // set afterwards: only a seek or a reload starts it again.
    if (!was_finished) CheckStop(tick);
    ref_.recorder.TakeEvents();
    ref_.recorder.TakeStruckTracks();
    return !test_.song.Finished();
  }

  // The song under test must send what the reference sends. On the first
  // tick after a seek the start tempo may go out on one side only (when the
  // tempo in effect before the seek differed from it); the tempo both end
  // with must agree.
  void CompareWithReference(std::vector<std::string> lines, std::vector<std::string> ref_lines) {
    if (first_after_seek_) {
      first_after_seek_ = false;
      std::erase_if(lines, IsTempoLine);
      std::erase_if(ref_lines, IsTempoLine);
      if (test_.song.Messages().Tempo() != ref_.song.Messages().Tempo()) {
        Fail("the tempo after a seek differs from a fresh seek's");
      }
    }
    if (lines != ref_lines) {
      Fail("the song differs from a fresh load seeked to the same start",
           "sent [" + Join(lines) + "], a fresh seek sends [" + Join(ref_lines) + "]");
    }
  }

  static std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : ", ") + line;
    return text;
  }

  static bool IsTempoLine(const std::string& line) {
    return line.find(" tempo ") != std::string::npos;
  }

  // Follows which scheduled notes sound, and checks that no inaudible track
  // strikes one and that a track falling silent releases its notes.
  void TrackNotes(int64_t tick) {
    for (const NoteEvent& e : test_.recorder.TakeEvents()) {
      if (e.struck) {
        sounding_.push_back(e);
      } else {
        std::erase_if(sounding_, [&](const NoteEvent& s) {
          return s.channel == e.channel && s.note == e.note;
        });
      }
    }
    if (test_.recorder.BadTrack()) Fail("a struck note names no track");
    for (int track : test_.recorder.TakeStruckTracks()) {
      if (!controls_.Audible(track)) {
        Fail("a silenced track struck a note",
             "track " + std::to_string(track) + " at tick " + std::to_string(tick));
      }
    }
    for (const NoteEvent& s : sounding_) {
      if (!controls_.Audible(s.track)) Fail("a silenced track's note still sounds");
    }
  }

  void CheckStop(int64_t tick) {
    if (controls_.stop <= 0 || tick < controls_.stop) return;
    // This tick reached the stop: a loop starts again, anything else ends.
    if (controls_.loop && controls_.start < controls_.stop) {
      if (test_.song.TickCount() != controls_.start) {
        Fail("a looped stop tick did not go back to its start",
             std::to_string(test_.song.TickCount()) + " instead of " +
                 std::to_string(controls_.start));
      }
      return;
    }
    if (!test_.song.Finished()) Fail("a stop tick did not finish the song");
    CheckNothingSounds("after a stop tick");
  }

  void CheckNothingSounds(const char* when) {
    TrackNotes(test_.song.TickCount());
    if (!sounding_.empty()) {
      Fail("a note still sounds", std::string(when) + ", channel " +
                                      std::to_string(sounding_.front().channel) + " key " +
                                      std::to_string(sounding_.front().note));
    }
  }

  void Seek(int64_t start) {
    test_.song.Seek(start);
    CheckNothingSounds("after a seek");
    ref_.song.Load(image_.data(), image_.size());
    for (int i = 0; i < kMaxTracks; ++i) {
      ref_.song.SetTrackMuted(i, controls_.muted[i]);
      ref_.song.SetTrackSoloed(i, controls_.soloed[i]);
    }
    ref_.song.SetStopTick(controls_.stop, controls_.loop);
    ref_.song.Seek(start);
    controls_.start = test_.song.TickCount() + 1;
    if (ref_.song.TickCount() != test_.song.TickCount()) Fail("a seek ended at another tick");
    first_after_seek_ = true;
    Drain();
  }

  void SetStop(int64_t stop, bool loop) {
    controls_.stop = stop;
    controls_.loop = loop;
    test_.song.SetStopTick(stop, loop);
    ref_.song.SetStopTick(stop, loop);
  }

  void SwitchTrack(int track, bool on, bool solo) {
    // Any track number: those past the table are ignored by the sequencer.
    if (track < kMaxTracks) (solo ? controls_.soloed : controls_.muted)[track] = on;
    for (Side* side : {&test_, &ref_}) {
      if (solo) {
        side->song.SetTrackSoloed(track, on);
      } else {
        side->song.SetTrackMuted(track, on);
      }
    }
  }

  void Silence() {
    test_.song.SilenceNotes();
    ref_.song.SilenceNotes();
    CheckNothingSounds("after a silence");
    if (test_.recorder.TakeLines() != ref_.recorder.TakeLines()) Fail("a silence differs");
    Drain();
  }

  void Reload() {
    Silence();
    test_.song.Load(image_.data(), image_.size());
    ref_.song.Load(image_.data(), image_.size());
    Reset();
  }

  // A tempo set from outside, as between ticks of a running song. Between a
  // seek and its first tick the chase decides the tempo, so it waits.
  void SetTempo(int tempo) {
    if (first_after_seek_) return;
    test_.song.Messages().SetTempo(tempo);
    ref_.song.Messages().SetTempo(tempo);
  }

  Side& test_;
  Side& ref_;
  std::vector<uint8_t> image_;
  Controls controls_;
  std::vector<NoteEvent> sounding_;
  bool first_after_seek_ = false;
};

Side& Test() {
  static Side side;
  return side;
}

Side& Reference() {
  static Side side;
  return side;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t length = std::min<size_t>(data[0] | (data[1] << 8), size - 2);
  // An exactly sized copy, so that a read past the image is caught.
  const std::vector<uint8_t> image(data + 2, data + 2 + length);
  Harness harness(Test(), Reference());
  if (harness.Load(image)) harness.Run(data + 2 + length, data + size);
  return 0;
}
