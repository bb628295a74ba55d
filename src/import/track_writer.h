// The text of one score track, bar by bar (used by the score writer).
//
// In: a planned track (notes and commands at score ticks, in file order
//   within a tick), the plan (names of controllers and templates, key
//   signatures), the lengths of the resolution and the track's default
//   length. Bars are asked for in order.
// Out: each bar's text from the state the bars before it left. Bars that a
//   loop repeats are skipped; a loop's body is written after Forget, so
//   that it sets the velocity and the note mode it needs on every pass.
// A group of notes at one tick is written low to high, each note with its
// length; a note-off of the Off template goes after the notes of its key
// that come before it in the file. Thread: any.
#ifndef QUERN_IMPORT_TRACK_WRITER_H_
#define QUERN_IMPORT_TRACK_WRITER_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "import/import_plan.h"
#include "import/note_lengths.h"
#include "import/text_out.h"

struct Spelling {
  char letter = 'c';
  char mark = 0;  // the accidental ('+', '-', '='), 0 for none
  int octave = 4;
};

struct VoiceState {
  int octave = 4;
  int velocity = 80;  // -1: not known
  int64_t gate = 0;   // relative gate in ticks
  int held = 0;       // 1 "hit": notes sound without a note-off; -1: not known
  int sharps = 0;     // the key signature ("ks"), negative for flats
};

class TrackWriter {
 public:
  TrackWriter(const std::vector<ImportNote>& notes, const std::vector<ImportCommand>& commands,
              int channel, const ImportPlan& plan, const Lengths& lengths, int64_t default_length,
              bool keyed);

  // The bar [begin, end); its last notes may step on up to `reach` (an
  // event there then starts the next bar's text). The last bar of a track
  // ends with its last event, without a rest to its end.
  std::string Bar(int64_t begin, int64_t end, int64_t reach, bool last);
  // Passes over everything before `until` (bars a loop repeats).
  void Skip(int64_t until);
  // The velocity and note mode a loop's pass starts with are those the pass
  // before left: a body that ends with others than it starts with is
  // written again after Forget, so that it writes its own.
  void Forget(bool velocity, bool held);
  struct Mark {
    VoiceState state;
    int64_t cursor;
    size_t next_note, next_command, next_key;
    int notes, ticky_notes;
  };
  Mark Here() const;
  void Rewind(const Mark& mark);
  const VoiceState& state() const { return state_; }

  int notes() const { return written_; }
  int notes_with_tick_lengths() const { return ticky_notes_; }

 private:
  int64_t NextTimeAfter(int64_t t) const;
  // The bar's text is built in place: Item starts the next item of it.
  void Item();
  void Put(std::string_view text);
  void PutLength(int64_t ticks, bool* ticky);
  void Rest(int64_t ticks);
  void PutPitch(int key);
  void KeyAt(int64_t t);
  void Command(const ImportCommand& c);
  void Tick(int64_t t, int64_t end, int64_t reach);
  void Group(std::vector<const ImportNote*>& notes, std::vector<const ImportCommand*>& offs,
             int64_t step);
  // The lengths of one note: what it sounds, and for the group's last note
  // its step.
  void PutNoteLengths(const ImportNote& n, bool last, int64_t step, int64_t gate, bool* ticky);
  int64_t ChooseGate(const std::vector<const ImportNote*>& notes, int64_t step) const;
  bool Fits(const std::vector<const ImportNote*>& notes, int64_t step, int64_t gate,
            bool joined) const;
  int64_t WantAfter(size_t next) const;

  const std::vector<ImportNote>& notes_;
  const std::vector<ImportCommand>& commands_;
  int channel_;
  const ImportPlan& plan_;
  const Lengths& lengths_;
  int64_t l_;
  bool keyed_;  // key signatures apply (not on the drum channel)
  VoiceState state_;
  TextOut out_;
  int64_t cursor_ = 0;
  size_t next_note_ = 0;
  size_t next_command_ = 0;
  size_t next_key_ = 0;
  int written_ = 0;
  std::array<Spelling, 128> spellings_;
  // Room for one tick's notes and note-offs, kept from tick to tick.
  std::vector<const ImportNote*> group_;
  std::vector<const ImportCommand*> offs_, after_;
  std::vector<size_t> places_;
  int spelled_for_ = 99;  // the key signature of spellings_
  int ticky_notes_ = 0;
};

// Score text of a command other than a note-off: "V100", "t120:4", "@5",
// "Press64", "{240 ...}".
std::string CommandText(const ImportCommand& c, const ImportPlan& plan, const Lengths& lengths);
// The same on a track of `channel`: a byte list whose status bytes need
// another channel is sent from that channel ("ch4 {...} ch2").
std::string CommandLine(const ImportCommand& c, int channel, const ImportPlan& plan,
                        const Lengths& lengths);

#endif  // QUERN_IMPORT_TRACK_WRITER_H_
