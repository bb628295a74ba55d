#include "compiler/song_test_util.h"

#include <sstream>

#include "compiler/driver/work_areas.h"
#include "compiler/song/bytecode.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"
#include "compiler/song/stream_internal.h"

namespace {
LoopRecord g_loops[kLoopRecordCount];
int g_loop_count = 0;

LoopRecord* TestLoop(int number) {
  return number >= 1 && number < g_loop_count ? &g_loops[number] : nullptr;
}
}  // namespace

namespace {
std::string DumpBytes(const uint8_t* p, size_t n) {
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    if (i) text += ", ";
    text += std::to_string(p[i]);
  }
  return text;
}
}  // namespace

std::string Dump(const ByteBuffer& buffer) { return DumpBytes(buffer.Begin(), buffer.Length()); }
std::string Dump(const std::vector<uint8_t>& bytes) { return DumpBytes(bytes.data(), bytes.size()); }

TableBuilder::TableBuilder() {
  TrackEvents().ClearWorking();
  g_loop_count = 1;
  SetLoopSource(TestLoop);
}

TableBuilder::~TableBuilder() { SetLoopSource(nullptr); }

int TableBuilder::Add(int time, int kind, int param, int value) {
  TrackEvents().Append(EventRecord{time, static_cast<uint8_t>(kind), static_cast<uint8_t>(param),
                                   static_cast<uint16_t>(value), -1, -1});
  return TrackEvents().Count() - 1;
}

int TableBuilder::Open(int time) {
  int number = g_loop_count++;
  LoopRecord& loop = g_loops[number];
  loop = LoopRecord{};
  loop.start_line = number;
  loop.start_column = 7;
  loop.break_event = loop.end_event = -1;
  loop.body_offset = loop.break_offset = -1;
  loop.start_event = Add(time, kEventLoopStart, 0, number);
  return number;
}

void TableBuilder::Break(int number, int time) {
  g_loops[number].break_event = Add(time, kEventLoopBreak, 0, number);
}

void TableBuilder::Close(int number, int time, int count) {
  g_loops[number].count = count;
  g_loops[number].end_event = Add(time, kEventLoopEnd, 0, number);
}

void TableBuilder::Exit(int time) { Add(time, kEventLoopExit); }

LoopRecord& TableBuilder::Loop(int number) { return g_loops[number]; }

void TableBuilder::CheckLoops() {
  EventTable& table = TrackEvents();
  for (int i = 0; i < table.Count(); ++i) {
    if (table.At(i).kind == kEventLoopStart) CheckLoop(table.At(i).value);
  }
}

void TableBuilder::End(int time) { Add(time, kEventEndOfTrack); }

std::string ToString(const std::vector<PlayedNote>& notes) {
  std::ostringstream out;
  for (const PlayedNote& n : notes) {
    out << n.time << ":" << n.note << "/" << n.length;
    if (n.accent != 255) out << "!" << n.accent;
    out << " ";
  }
  return out.str();
}

namespace {

struct Frame {
  int passes;
  int length_register;
  int octave_base;
};

class Decoder {
 public:
  Decoder(const uint8_t* begin, size_t size, int resolution, int max_endless)
      : p_(begin), begin_(begin), end_(begin + size), reg_(resolution / 4),
        max_endless_(max_endless) {}

  std::vector<PlayedNote> Run(std::string* error) {
    for (int budget = 0; budget < 10000000; ++budget) {
      if (!Step()) break;
    }
    *error = error_;
    return notes_;
  }

 private:
  bool Fail(const std::string& what) {
    if (error_.empty()) error_ = what + " at " + std::to_string(p_ - begin_);
    return false;
  }
  bool Byte(int* b) {
    if (p_ >= end_) return Fail("cut off");
    *b = *p_++;
    return true;
  }
  bool Word(int* w, const uint8_t** at = nullptr) {
    if (end_ - p_ < 2) return Fail("cut off word");
    if (at) *at = p_;
    *w = p_[0] | (p_[1] << 8);
    p_ += 2;
    return true;
  }
  bool Number(int* v) {
    uint16_t value;
    int n = DecodeStreamNumber(p_, end_, &value);
    if (n == 0) return Fail("cut off number");
    p_ += n;
    *v = value;
    return true;
  }
  bool Jump(const uint8_t* to) {
    if (to < begin_ || to > end_) return Fail("jump out of stream");
    p_ = to;
    return true;
  }
  void Restore() {
    reg_ = frames_.back().length_register;
    base_ = frames_.back().octave_base;
  }

  bool Step() {
    int b = 0;
    if (!Byte(&b)) return false;
    if (IsNoteByte(static_cast<uint8_t>(b))) return PlayNote(b);
    int v = 0, w = 0;
    const uint8_t* at = nullptr;
    switch (b) {
      case kOpRest:
        if (!Number(&v)) return false;
        time_ += v;
        return true;
      case kOpRestLength:
        time_ += reg_;
        return true;
      case kOpSetLength:
        return Number(&reg_);
      case kOpOctaveBase:
        return Byte(&base_);
      case kOpLoopStart:
        if (!Byte(&v)) return false;
        frames_.push_back(Frame{v, reg_, base_});
        return true;
      case kOpLoopBreak:
        if (!Word(&w, &at)) return false;
        if (frames_.empty()) return Fail("break outside loop");
        if (frames_.back().passes == 1) {
          Restore();
          frames_.pop_back();
          return Jump(at + w);
        }
        return true;
      case kOpLoopEnd:
        if (!Word(&w, &at)) return false;
        if (frames_.empty()) return Fail("loop end outside loop");
        Restore();
        if (--frames_.back().passes > 0) return Jump(at - w);
        frames_.pop_back();
        return true;
      case kOpAttribute:
        return Byte(&v) && Word(&w);
      case kOpChannel:
      case kOpVelocity:
        return Byte(&v);
      case kOpProgram:
        return Byte(&v) && Word(&w);
      case kOpAbsoluteGate:
      case kOpRelativeGate:
        return Word(&w);
      case kOpEscape:
        if (!Byte(&v)) return false;
        switch (v) {
          case kEscEndOfTrack:
            if (!frames_.empty()) return Fail("track ends inside a loop");
            return false;
          case kEscNotesHeld:
          case kEscNotesRelease:
            return true;
          case kEscEndlessLoopEnd:
            if (!Word(&w, &at)) return false;
            if (frames_.empty()) return Fail("endless end outside loop");
            Restore();
            if (++endless_passes_ < max_endless_) return Jump(at - w);
            frames_.pop_back();
            return true;
          case kEscDirectOut:
            return Byte(&v);
        }
        return Fail("bad escape " + std::to_string(v));
    }
    return Fail("bad byte " + std::to_string(b));
  }

  bool PlayNote(int b) {
    int length = reg_, step;
    if ((b & kNoteLengthFlag) && !Number(&length)) return false;
    step = length;
    if ((b & kNoteStepFlag) && !Number(&step)) return false;
    int accent = 255;
    if (p_ < end_ && *p_ == kOpAccent) {
      ++p_;
      if (!Byte(&accent)) return false;
    }
    notes_.push_back(PlayedNote{time_, base_ + (b & kNoteRelMask), length, accent});
    time_ += step;
    return true;
  }

  const uint8_t* p_;
  const uint8_t* begin_;
  const uint8_t* end_;
  int reg_;
  int base_ = kInitialOctaveBase;
  int64_t time_ = 0;
  int max_endless_;
  int endless_passes_ = 0;
  std::vector<Frame> frames_;
  std::vector<PlayedNote> notes_;
  std::string error_;
};

}  // namespace

std::vector<PlayedNote> DecodeStream(const uint8_t* begin, size_t size, int resolution,
                                     std::string* error, int max_endless) {
  return Decoder(begin, size, resolution, max_endless).Run(error);
}
