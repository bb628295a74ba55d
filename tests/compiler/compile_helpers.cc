#include "compile_helpers.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "compiler/driver/driver.h"
#include "compiler/driver/report.h"
#include "compiler/driver/source_lines.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader.h"
#include "compiler/song/bytecode.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"
#include "support/text.h"

namespace {

std::string Utf8(const ByteBuffer& buffer) {
  return Utf8FromCp932(
      std::string_view(reinterpret_cast<const char*>(buffer.Begin()), buffer.Length()));
}

// Calls f with every line of text, without its newline.
template <typename F>
void ForEachLine(std::string_view text, F f) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    f(text.substr(start, end - start));
    start = end + 1;
  }
}

std::string Diagnostics(const std::string& report) {
  std::string out;
  ForEachLine(report, [&out](std::string_view line) {
    if (!line.empty() && line.substr(0, 7) != "Track '") (out += line) += '\n';
  });
  return out;
}

void SetUpOnce() {
  static const bool set_up = SetUpCompiler();
  (void)set_up;
}

std::string DumpBytes(const uint8_t* p, size_t n) {
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    if (i) text += ", ";
    text += std::to_string(p[i]);
  }
  return text;
}

}  // namespace

CompileContext& TestContext() {
  return Compilation::Default().Context();
}

std::string Compile(std::string_view score) {
  SetUpOnce();
  CompileScore(Cp932FromUtf8(score).c_str());
  return Diagnostics(ReportUtf8());
}

std::string EventLines(const EventRecord* records, int count) {
  std::string out;
  char line[64];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "%d %d %d %d\n", records[i].time, records[i].kind,
                  records[i].param, records[i].value);
    out += line;
  }
  return out;
}

std::string Events(int track) {
  int count = 0;
  const EventRecord* records = CompiledTrackEvents(track, &count);
  return EventLines(records, count);
}

TrackRun CompileTracks(std::string_view score) {
  TrackRun run;
  run.report = Compile(score);
  for (int t = 0; t < CompiledTrackCount(); ++t) run.tracks.push_back(Events(t));
  return run;
}

TrackRun ParseTracks(std::string_view score) {
  SetUpOnce();
  static SourceTable table;
  CompileContext& cc = TestContext();
  const std::string text = Cp932FromUtf8(score);
  table.Reset();
  ScanSourceLines(table, text.c_str());
  ClassifySourceLines(table);
  ClearCompilerReport(cc);
  ResetHighestSeverity(cc);
  ResetCommandTables(cc);
  SetSourceTable(cc, &table);
  SetResolution(cc, static_cast<uint16_t>(table.resolution));
  TrackRun run;
  std::string previous, name;
  for (; BeginTrack(cc, previous, &name); previous = name) {
    BeginTrackState(cc);
    for (int code = NextToken(cc); code != kTokEnd; code = NextToken(cc)) DispatchCommand(cc, code);
    AppendEvent(cc, kEventEndOfTrack, 0, 0);
    run.tracks.push_back(EventLines(cc.events.Records(), cc.events.Count()));
  }
  run.report = Diagnostics(ReportBufferUtf8(cc));
  return run;
}

std::string FirstTrack(const TrackRun& run) {
  return (run.tracks.empty() ? std::string("no track\n") : run.tracks[0]) + run.report;
}

void CheckCompileFirst(std::initializer_list<ScoreCase> cases) {
  for (const ScoreCase& c : cases) {
    SCOPED_TRACE(c.score);
    EXPECT_EQ(c.expected, CompileFirst(c.score));
  }
}

void CheckParseFirst(std::initializer_list<ScoreCase> cases) {
  for (const ScoreCase& c : cases) {
    SCOPED_TRACE(c.score);
    EXPECT_EQ(c.expected, ParseFirst(c.score));
  }
}

std::string ReportUtf8() {
  return Utf8FromCp932(ReportText());
}

std::string ReportBufferUtf8(const CompileContext& cc) {
  return Utf8(CompilerReport(cc));
}

std::string WithoutPositions(const std::string& report) {
  std::string out;
  ForEachLine(report, [&out](std::string_view line) {
    size_t colon = line.find(" : ", line.find(" : ") + 1);
    (out += colon == std::string_view::npos ? line : line.substr(colon + 3)) += '\n';
  });
  return out;
}

int Occurrences(std::string_view text, std::string_view part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Repeat(std::string_view text, int n, std::string_view separator) {
  std::string out;
  for (int i = 0; i < n; ++i) (out += i ? separator : "") += text;
  return out;
}

std::string TrackTokens(const std::string& score) {
  std::string out;
  ListScoreTokens(
      score.c_str(),
      [&out](const char* name) {
        if (!out.empty()) out += "\n";
        out += std::string(name) + ":";
      },
      [&out](const ListedToken& token) {
        const int code = token.code;
        if (code == kTokEnd) return;
        out += " ";
        if (code == kTokNum) {
          out += std::to_string(token.number);
        } else if (code == kTokName) {
          out += std::string("N:") + token.text;
        } else if (code == kTokString) {
          out += std::string("\"") + token.text + "\"";
        } else {
          out += TokenName(code);
        }
      });
  return out;
}

std::string TokenListing(const std::string& score) {
  std::string out;
  ListScoreTokens(
      score.c_str(), [&out](const char* name) { out += std::string("Track ") + name + "\n"; },
      [&out](const ListedToken& token) {
        const int code = token.code;
        out +=
            std::to_string(token.line) + ":" + std::to_string(token.column) + " " + TokenName(code);
        if (code == kTokNum) out += " " + std::to_string(token.number);
        if (code == kTokName || code == kTokString) out += std::string(" ") + token.text;
        out += "\n";
      });
  return out;
}

void CheckTokens(std::initializer_list<TokenCase> cases) {
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(c.score);
    EXPECT_EQ(c.tokens, TrackTokens(c.score));
    if (c.report) EXPECT_EQ(c.report, ReportUtf8());
  }
}

std::string Dump(const ByteBuffer& buffer) {
  return DumpBytes(buffer.Begin(), buffer.Length());
}
std::string Dump(const std::vector<uint8_t>& bytes) {
  return DumpBytes(bytes.data(), bytes.size());
}

std::string Bytes(const StringTable& list) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    out += std::to_string(i) + ":";
    for (size_t k = 0; k < list.EntrySize(i); ++k) out += " " + std::to_string(list.Bytes(i)[k]);
    out += "\n";
  }
  return out;
}

std::string Gradual(CompileContext& cc) {
  const StringTable& list = GradualChangeList(cc);
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    int16_t fields[6] = {};
    std::memcpy(fields, list.Bytes(i), sizeof fields);
    out += std::to_string(i) + ":";
    for (int16_t f : fields) out += " " + std::to_string(f);
    out += "\n";
  }
  return out;
}

TableBuilder::TableBuilder(CompileContext& cc) : cc_(cc) {
  cc_.events.ClearWorking();
  cc_.loops.Clear();
}

int TableBuilder::Add(int time, int kind, int param, int value) {
  cc_.events.Append(EventRecord{time, static_cast<uint8_t>(kind), static_cast<uint8_t>(param),
                                static_cast<uint16_t>(value), -1, -1});
  return cc_.events.Count() - 1;
}

int TableBuilder::Open(int time) {
  const int number = cc_.loops.Add();
  LoopRecord& loop = *cc_.loops.At(number);
  loop.start_line = number;
  loop.start_column = 7;
  loop.start_event = Add(time, kEventLoopStart, 0, number);
  return number;
}

void TableBuilder::Break(int number, int time) {
  Loop(number).break_event = Add(time, kEventLoopBreak, 0, number);
}

void TableBuilder::Close(int number, int time, int count, int exit) {
  Loop(number).count = count;
  Loop(number).end_event = Add(time, kEventLoopEnd, 0, number);
  if (exit >= 0) Exit(exit);
}

void TableBuilder::Exit(int time) {
  Add(time, kEventLoopExit);
}

LoopRecord& TableBuilder::Loop(int number) {
  return *cc_.loops.At(number);
}

void TableBuilder::CheckLoops() {
  const EventTable& table = cc_.events;
  for (int i = 0; i < table.Count(); ++i) {
    if (table.At(i).kind == kEventLoopStart) CheckLoop(cc_, table.At(i).value);
  }
}

void TableBuilder::End(int time) {
  Add(time, kEventEndOfTrack);
}

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
      : p_(begin),
        begin_(begin),
        end_(begin + size),
        reg_(resolution / 4),
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
