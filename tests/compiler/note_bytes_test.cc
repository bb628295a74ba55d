// Notes taken from the bytes against the same notes read token by token: for
// scores whose notes end where the byte path has to stop (line ends, macro
// argument ends, calls, suffixes, ties) or that it must hand back (reports,
// "$" lengths), the report, the image, every record, the source map and the
// macro expansion count come out the same either way.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "compile_helpers.h"
#include "compiler/driver/driver.h"
#include "compiler/song/source_map.h"

namespace {

struct Outcome {
  std::string result;  // report, image and records
  std::string map;     // every note of the source map, by track and offset
  long expanded = 0;   // macro expansion count
};

std::string Places(const NoteSource& note) {
  std::string text = std::to_string(note.place.line) + ':' + std::to_string(note.place.column);
  for (const SourcePlace& call : note.calls) {
    text += '<' + std::to_string(call.line) + ':' + std::to_string(call.column);
  }
  return text;
}

Outcome CompileWith(const std::string& score, bool peek_notes) {
  Compilation c;
  EXPECT_TRUE(c.SetUp());
  c.Context().reader.tokens.peek_notes = peek_notes;
  SourceMap map;
  c.Compile(score.c_str(), &map);
  Outcome out;
  out.result = std::string(c.Report()) + '|' +
               std::string(reinterpret_cast<const char*>(c.ImageBegin()), c.ImageLength());
  for (int track = 0; track < c.TrackCount(); ++track) {
    int count = 0;
    const EventRecord* records = c.TrackEvents(track, &count);
    out.result += '|' + EventLines(records, count);
  }
  for (int track = 0; track < map.TrackCount(); ++track) {
    for (int offset = 0; offset < static_cast<int>(c.ImageLength()); ++offset) {
      if (const NoteSource* note = map.Find(track, offset)) {
        out.map += std::to_string(track) + '@' + std::to_string(offset) + '=' + Places(*note) + ' ';
      }
    }
  }
  out.expanded = c.Context().reader.macros.expanded_tokens;
  return out;
}

void ExpectSameBothWays(std::initializer_list<const char*> scores) {
  for (const char* score : scores) {
    SCOPED_TRACE(score);
    const Outcome bytes = CompileWith(score, true);
    const Outcome tokens = CompileWith(score, false);
    EXPECT_EQ(tokens.result, bytes.result);
    EXPECT_EQ(tokens.map, bytes.map);
    EXPECT_EQ(tokens.expanded, bytes.expanded);
  }
}

TEST(NoteBytes, NotesEndingAtLineAndTextEnds) {
  ExpectSameBothWays({
      "A c4 d8. e\nA f4 g",
      "A c4\n+ d4 e\n*A f. \t\nB g",
      "A c4 e8 // comment\nA g /* block */ a",
      "A c4\"unclosed",
      "A c4 \"text\" d",
      "A c4 d",
  });
}

TEST(NoteBytes, NotesEndingAtMacroArgumentsAndCalls) {
  ExpectSameBothWays({
      "%Arp %1 %2 %3 >%1< %3 %2 %1 %2\n@Up > %1 <\n"
      "A l16 %Arp(c,e,g) %Arp(d4 e8.,f+ 16,a-.) %Arp(c,%Up(c4),e) %Arp(f,a,c)",
      "%M c4%1 d8@N e\n@N f g4)\nA %M(a8 b, c) c4%M",
      "%Twice %1 %1\nA %Twice(c4 d8 e) %Twice(f)",
  });
}

TEST(NoteBytes, AccidentalsLengthsAndDots) {
  ExpectSameBothWays({
      "A c+-= d+4 e =8 f - 16 . . g++ a=4.. b-8.8",
      "A c4.....  d3. e0 f7 g$10 a65535 b99999 c1.2.",
      "#clock 480\nA l3 c c. c.. d l1 e.......... f",
      "A o9 a+ b o-1 c- c=4 k-2 d= o4 ~c+ _12e4",
  });
}

TEST(NoteBytes, NotesFollowedByTiesSuffixesAndGroups) {
  ExpectSameBothWays({
      "A c4^8 d4.^-16 e^ f8 ^ 8",
      "A c4:8 d;16 e'100 f4 : g8 ' 90",
      "A c2&e4&g8 c2:4&e8 r c4&&d",
      "A c4 > d4 < e4 | f4 |* g1 ~ a",
  });
}

TEST(NoteBytes, ExpansionCountsTheSkippedTokens) {
  // The expansion budget is spent by the same count either way, so the cut
  // comes at the same note.
  std::string score;
  for (int i = 1; i <= 5; ++i) {
    score += "%M" + std::to_string(i);
    for (int k = 0; k < 10; ++k) score += " %M" + std::to_string(i + 1);
    score += "\n";
  }
  score += "%M6 c4. d8.. e f+16 g a b c4&e8\nA %M1 d\n";
  ExpectSameBothWays({score.c_str()});
}

// Random scores made of the bytes that matter around notes, including
// macros with arguments and line ends, compared both ways.
TEST(NoteBytes, RandomNoteTextsAgree) {
  const std::string pieces[] = {"c",  "d",  "e",  "f",  "g",    "a",    "b",     "r",   "+",  "-",
                                "=",  "4",  "8",  "16", "0",    "3",    "$1",    ".",   ".",  "^",
                                ":",  "'",  ";",  "&",  " ",    " ",    "\t",    "~",   "_",  ">",
                                "<",  "o9", "l3", ",",  ")",    "(",    "%1",    "%2",  "%M", "@N",
                                "\"", "/",  "//", "\n", "\nA ", "\n+ ", "\n*A ", "k-3", "|",  "q0"};
  std::mt19937 random(1414);
  std::uniform_int_distribution<int> pick(0, std::size(pieces) - 1);
  // Each round sets up two compilations; under AddressSanitizer that costs
  // a hundred times more, so the sanitizer build runs a tenth of the rounds
  // (the plain build runs them all).
#if defined(__SANITIZE_ADDRESS__)
  constexpr int kRounds = 150;
#else
  constexpr int kRounds = 1500;
#endif
  for (int round = 0; round < kRounds; ++round) {
    std::string score = "%M %1 c4 %2.\n@N d8 %1 e\n";
    for (int part = 0; part < 3; ++part) {
      score += part == 0 ? "A " : part == 1 ? "\n%M " : "\n@N ";
      for (int n = random() % 30; n > 0; --n) score += pieces[pick(random)];
    }
    score += "\nA %M(c4.,d) %N(e8,f) ";
    for (int n = random() % 30; n > 0; --n) score += pieces[pick(random)];
    ExpectSameBothWays({score.c_str()});
    if (HasFailure()) break;
  }
}

}  // namespace
