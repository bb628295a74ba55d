#include "import/track_writer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

constexpr char kLetters[] = "cdefgab";
constexpr int kSemitones[7] = {0, 2, 4, 5, 7, 9, 11};

// The shift a key signature gives a letter (0 c to 6 b): sharps on
// f c g d a e b, flats on b e a d g c f, in that order.
int ToneShift(int sharps, int letter) {
  static constexpr int kSharpOrder[7] = {3, 0, 4, 1, 5, 2, 6};
  static constexpr int kFlatOrder[7] = {6, 2, 5, 1, 4, 0, 3};
  const int* order = sharps >= 0 ? kSharpOrder : kFlatOrder;
  for (int i = 0; i < std::min(std::abs(sharps), 7); ++i) {
    if (order[i] == letter) return sharps > 0 ? 1 : -1;
  }
  return 0;
}

// The key as a letter in the key signature: the key's own letter where
// there is one, else a natural sign, else a sharp (or, in flat keys, a flat).
Spelling Spell(int key, int sharps) {
  Spelling best;
  int best_rank = INT_MAX;
  for (int letter = 0; letter < 7; ++letter) {
    const int shift = ToneShift(sharps, letter);
    struct Choice {
      char mark;
      int value;
      int rank;
    };
    const Choice choices[] = {{0, kSemitones[letter] + shift, 0},
                              {'=', shift != 0 ? kSemitones[letter] : INT_MIN, 1},
                              {'+', kSemitones[letter] + shift + 1, sharps >= 0 ? 2 : 3},
                              {'-', kSemitones[letter] + shift - 1, sharps >= 0 ? 3 : 2}};
    for (const Choice& c : choices) {
      if (c.value == INT_MIN || c.rank >= best_rank || (key - c.value) % 12 != 0) continue;
      const int octave = (key - c.value) / 12 - 1;
      if (octave < -1 || octave > 9) continue;
      best = {kLetters[letter], c.mark, octave};
      best_rank = c.rank;
    }
  }
  return best;
}

std::string KeyText(int sharps) {
  if (sharps == 0) return "ks0";
  return std::string("ks") + (sharps > 0 ? "+" : "-") + std::to_string(std::abs(sharps));
}

std::string Bytes(const std::string& bytes) {
  std::string out = "{";
  for (char c : bytes) {
    auto b = static_cast<uint8_t>(c);
    if (b >= 0x80 && b <= 0xef) b &= 0xf0;  // the channel comes from the track
    out += (out.size() > 1 ? " " : "") + std::to_string(b);
  }
  return out + "}";
}

std::string AttributeName(int number, const ImportPlan& plan) {
  if (number == kTempoAttribute) return "t";
  if (number == kBendAttribute) return "D";
  return plan.controller_names[number];
}

}  // namespace

std::string CommandText(const ImportCommand& c, const ImportPlan& plan, const Lengths& lengths) {
  bool ticky = false;
  switch (c.kind) {
    case CommandKind::kAttribute:
      return AttributeName(c.number, plan) + std::to_string(c.value);
    case CommandKind::kRamp:
      return AttributeName(c.number, plan) + std::to_string(c.value) + ":" +
             lengths.Text(c.length, -1, &ticky);
    case CommandKind::kOff:
      return "Off" + std::to_string(c.number);
    case CommandKind::kTemplate:
      return plan.templates[static_cast<size_t>(c.number)].name + std::to_string(c.value);
    case CommandKind::kBytes:
      return Bytes(c.text);
    case CommandKind::kText:
      break;
  }
  return c.text;
}

std::string CommandLine(const ImportCommand& c, int channel, const ImportPlan& plan,
                        const Lengths& lengths) {
  const bool elsewhere = (c.kind == CommandKind::kBytes || c.kind == CommandKind::kTemplate) &&
                         c.channel >= 0 && c.channel != channel;
  const std::string text = CommandText(c, plan, lengths);
  if (!elsewhere) return text;
  return "ch" + std::to_string(c.channel + 1) + " " + text + " ch" + std::to_string(channel + 1);
}

TrackWriter::TrackWriter(const std::vector<ImportNote>& notes,
                         const std::vector<ImportCommand>& commands, int channel,
                         const ImportPlan& plan, const Lengths& lengths, int64_t default_length,
                         bool keyed)
    : notes_(notes),
      commands_(commands),
      channel_(channel),
      plan_(plan),
      lengths_(lengths),
      l_(default_length),
      keyed_(keyed) {}

std::string TrackWriter::Bar(int64_t begin, int64_t end, int64_t reach, bool last) {
  out_.Clear();
  cursor_ = std::max(cursor_, begin);  // the bar before may have reached into it
  while (next_command_ < commands_.size() || next_note_ < notes_.size()) {
    int64_t t = INT64_MAX;
    if (next_command_ < commands_.size()) t = commands_[next_command_].time;
    if (next_note_ < notes_.size()) t = std::min(t, notes_[next_note_].start);
    if (t >= end) break;
    Tick(t, end, reach);
  }
  if (!last && cursor_ < end) Rest(end - cursor_);
  return std::string(out_.view());
}

void TrackWriter::Skip(int64_t until) {
  while (next_note_ < notes_.size() && notes_[next_note_].start < until) ++next_note_;
  while (next_command_ < commands_.size() && commands_[next_command_].time < until) {
    ++next_command_;
  }
  cursor_ = until;
}

TrackWriter::Mark TrackWriter::Here() const {
  return {state_, cursor_, next_note_, next_command_, next_key_, written_, ticky_notes_};
}

void TrackWriter::Rewind(const Mark& m) {
  state_ = m.state;
  cursor_ = m.cursor;
  next_note_ = m.next_note;
  next_command_ = m.next_command;
  next_key_ = m.next_key;
  written_ = m.notes;
  ticky_notes_ = m.ticky_notes;
}

void TrackWriter::Forget(bool velocity, bool held) {
  if (velocity) state_.velocity = -1;
  if (held) state_.held = -1;
}

int64_t TrackWriter::NextTimeAfter(int64_t t) const {
  int64_t next = INT64_MAX;
  if (next_note_ < notes_.size()) next = notes_[next_note_].start;
  if (next_command_ < commands_.size()) {
    next = std::min(next, commands_[next_command_].time);
  }
  return next > t ? next : INT64_MAX;
}

void TrackWriter::Item() {
  if (!out_.empty()) out_.Add(' ');
}

void TrackWriter::Put(std::string_view text) {
  if (text.empty()) return;
  Item();
  out_.Add(text);
}

void TrackWriter::PutLength(int64_t ticks, bool* ticky) {
  lengths_.Append(out_, ticks, l_, ticky);
}

void TrackWriter::Rest(int64_t ticks) {
  bool ticky = false;
  while (ticks > 0) {
    const int64_t part = std::min(ticks, kLongestLength);
    Item();
    out_.Add('r');
    PutLength(part, &ticky);
    ticks -= part;
    cursor_ += part;
  }
}

void TrackWriter::PutPitch(int key) {
  // The spellings of the key signature in hand, made once for each.
  const int sharps = keyed_ ? state_.sharps : 0;
  if (spelled_for_ != sharps) {
    for (int k = 0; k < 128; ++k) spellings_[static_cast<size_t>(k)] = Spell(k, sharps);
    spelled_for_ = sharps;
  }
  const Spelling& s = spellings_[static_cast<size_t>(key)];
  const int move = s.octave - state_.octave;
  if (move > 2 || move < -2) {
    out_.Add('o');
    out_.Number(s.octave);
    out_.Add(' ');
  } else {
    for (int i = 0; i < move; ++i) out_.Add('>');
    for (int i = 0; i > move; --i) out_.Add('<');
  }
  state_.octave = s.octave;
  out_.Add(s.letter);
  if (s.mark != 0) out_.Add(s.mark);
}

void TrackWriter::KeyAt(int64_t t) {
  int sharps = state_.sharps;
  while (next_key_ < plan_.key_signatures.size() && plan_.key_signatures[next_key_].time <= t) {
    sharps = std::clamp(plan_.key_signatures[next_key_++].sharps, -7, 7);
  }
  if (!keyed_ || sharps == state_.sharps) return;
  Put(KeyText(sharps));
  state_.sharps = sharps;
}

void TrackWriter::Command(const ImportCommand& c) {
  Put(CommandLine(c, channel_, plan_, lengths_));
}

// Everything at tick t: commands, then the notes as one group, with each
// note-off that follows notes of its key in the file after them.
void TrackWriter::Tick(int64_t t, int64_t end, int64_t reach) {
  Rest(t - cursor_);
  std::vector<const ImportCommand*>& offs = offs_;
  offs.clear();
  for (; next_command_ < commands_.size() && commands_[next_command_].time == t; ++next_command_) {
    const ImportCommand& c = commands_[next_command_];
    if (c.kind == CommandKind::kOff) {
      offs.push_back(&c);
    } else {
      Command(c);
    }
  }
  std::vector<const ImportNote*>& notes = group_;
  notes.clear();
  for (; next_note_ < notes_.size() && notes_[next_note_].start == t; ++next_note_) {
    notes.push_back(&notes_[next_note_]);
  }
  if (!notes.empty()) KeyAt(t);
  if (notes.size() > 1) {
    std::stable_sort(notes.begin(), notes.end(),
                     [](const ImportNote* a, const ImportNote* b) { return a->key < b->key; });
  }
  // Note-offs that no note of this tick comes before go first.
  std::vector<const ImportCommand*>& after = after_;
  after.clear();
  for (const ImportCommand* off : offs) {
    const bool follows = std::any_of(notes.begin(), notes.end(), [&](const ImportNote* n) {
      return n->key == off->number && n->seq < off->seq;
    });
    if (follows) {
      after.push_back(off);
    } else {
      Put(CommandText(*off, plan_, lengths_));
    }
  }
  if (notes.empty()) return;
  // The bar's last notes step on to the next event when it lies within
  // reach, so that a note a little late (or early) does not cut every bar.
  const int64_t next = NextTimeAfter(t);
  const int64_t until = next >= end && next < reach ? next : std::min(next, end);
  const int64_t step = std::min(until - t, kLongestLength);
  Group(notes, after, step);
}

// The notes of one tick, low to high. The last one moves the position by
// `step`, unless a note-off must follow it: then every note is joined with
// "&" and the rest that follows moves on.
void TrackWriter::Group(std::vector<const ImportNote*>& notes,
                        std::vector<const ImportCommand*>& offs, int64_t step) {
  // A velocity that the next notes keep becomes the track's ("v"); one for
  // this tick alone is an accent ("'").
  const int velocity = notes[0]->velocity;
  const bool kept = next_note_ < notes_.size() && notes_[next_note_].velocity == velocity;
  if (velocity != state_.velocity && (kept || state_.velocity < 0 || notes.size() > 1)) {
    Item();
    out_.Add('v');
    out_.Number(velocity);
    state_.velocity = velocity;
  }
  // Each note-off after the last note of its key that comes before it.
  std::vector<size_t>& place = places_;
  place.clear();
  for (const ImportCommand* off : offs) {
    size_t at = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
      if (notes[i]->key == off->number && notes[i]->seq < off->seq) at = i;
    }
    place.push_back(at);
  }
  const bool joined = std::find(place.begin(), place.end(), notes.size() - 1) != place.end();
  int64_t gate =
      joined ? (Fits(notes, step, state_.gate, true) ? state_.gate : 0) : ChooseGate(notes, step);
  if (gate != state_.gate) {
    bool ticky = false;
    Put(gate == 0 ? std::string("q+0")
                  : (gate > 0 ? "q+" : "q-") + lengths_.Text(std::abs(gate), -1, &ticky));
    state_.gate = gate;
  }
  for (size_t i = 0; i < notes.size(); ++i) {
    const ImportNote& n = *notes[i];
    const bool last = !joined && i + 1 == notes.size();
    const int held = n.mode == NoteMode::kHeld ? 1 : 0;
    if (held != state_.held) {
      Put(held ? "hit" : "tone");
      state_.held = held;
    }
    bool ticky = false;
    Item();
    PutPitch(n.key);
    PutNoteLengths(n, last, step, gate, &ticky);
    if (n.velocity != state_.velocity) {
      out_.Add('\'');
      out_.Number(n.velocity);
    }
    if (!last) out_.Add('&');
    for (size_t k = 0; k < offs.size(); ++k) {
      if (place[k] == i) Put(CommandText(*offs[k], plan_, lengths_));
    }
    ++written_;
    if (ticky) ++ticky_notes_;
  }
}

// The lengths of one note: what it sounds, and for the group's last note
// its step. A note that any length will do sounds what is simplest.
void TrackWriter::PutNoteLengths(const ImportNote& n, bool last, int64_t step, int64_t gate,
                                 bool* ticky) {
  if (n.free()) {
    if (!last) {
      if (l_ + gate < 1) PutLength(1 - gate, ticky);
      return;
    }
    cursor_ = n.start + step;
    PutLength(step, ticky);
    if (step + gate < 1) {
      out_.Add(';');
      lengths_.Append(out_, 1 - gate, -1, ticky);
    }
    return;
  }
  if (!last) {
    PutLength(n.length - gate, ticky);
    return;
  }
  if (n.length == step + gate) {
    cursor_ = n.start + step;
    PutLength(step, ticky);
    return;
  }
  if (gate == 0 && n.length < step) {
    cursor_ = n.start + n.length;
    PutLength(n.length, ticky);
    return;
  }
  cursor_ = n.start + step;
  PutLength(step, ticky);
  out_.Add(';');
  lengths_.Append(out_, n.length - gate, -1, ticky);
}

// A run of notes that sound a fixed time longer or shorter than their steps
// gets a relative gate, so that each is written with its step alone.
int64_t TrackWriter::ChooseGate(const std::vector<const ImportNote*>& notes, int64_t step) const {
  int64_t gate = state_.gate;
  const ImportNote& tail = *notes.back();
  if (!tail.free()) {
    const int64_t want = tail.length - step;
    if (want != gate && Fits(notes, step, want, false) && WantAfter(next_note_) == want) {
      gate = want;
    }
  }
  return Fits(notes, step, gate, false) ? gate : 0;
}

// Whether the notes can be written under a relative gate: every written
// length from 1 to the longest length.
bool TrackWriter::Fits(const std::vector<const ImportNote*>& notes, int64_t step, int64_t gate,
                       bool joined) const {
  if (gate >= kLongestLength || gate <= -kLongestLength) return false;
  for (size_t i = 0; i < notes.size(); ++i) {
    const ImportNote& n = *notes[i];
    if (n.free()) continue;
    if (!joined && i + 1 == notes.size() && n.length == step + gate) continue;
    const int64_t written = n.length - gate;
    if (written < 1 || written > kLongestLength) return false;
  }
  return true;
}

// The gate that the group starting at note `next` would want (its next
// event taken without the bar's end), or none.
int64_t TrackWriter::WantAfter(size_t next) const {
  if (next >= notes_.size()) return INT64_MIN;
  const int64_t t = notes_[next].start;
  size_t last = next;
  int key = -1;
  while (last < notes_.size() && notes_[last].start == t) {
    if (notes_[last].key >= key) {
      key = notes_[last].key;
      next = last;  // the highest key ends the group
    }
    ++last;
  }
  if (notes_[next].free()) return INT64_MIN;
  int64_t after = last < notes_.size() ? notes_[last].start : INT64_MAX;
  for (size_t c = next_command_; c < commands_.size(); ++c) {
    if (commands_[c].time > t) {
      after = std::min(after, commands_[c].time);
      break;
    }
  }
  if (after == INT64_MAX) return INT64_MIN;
  return notes_[next].length - std::min(after - t, kLongestLength);
}
