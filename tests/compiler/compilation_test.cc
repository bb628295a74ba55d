// Compilation objects: each holds the whole state of its compilations, so
// two of them compile on two threads at once with the results each gives
// alone, and neither disturbs the default compilation behind CompileScore.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "compiler/driver/driver.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

// Report, image and final records of the last compilation, as one text.
std::string Result(const Compilation& c) {
  std::string all = std::string(c.Report()) + '|' +
                    std::string(reinterpret_cast<const char*>(c.ImageBegin()), c.ImageLength());
  for (int track = 0; track < c.TrackCount(); ++track) {
    all += std::string("|") + c.TrackName(track) + ':';
    int count = 0;
    const EventRecord* records = c.TrackEvents(track, &count);
    for (int i = 0; i < count; ++i) {
      all += std::to_string(records[i].time) + ' ' + std::to_string(records[i].kind) + ' ' +
             std::to_string(records[i].value) + ',';
    }
  }
  return all;
}

// Scores that touch every table: macros with arguments, loops with breaks,
// attributes and gradual changes, byte lists, phases, errors.
const char* const kScores[] = {
    "%Arp %1 %2 %3 >%1< %3 %2 %1 %2\nA t120 @0 o4 l8 %Arp(c,e,g) %Arp(d,f,a)\n"
    "B ch2 @33 o2 [c4 c4 / g4 g4]2 c2\nC c x\n",
    "A V100:4 r1 Gs={240 65 16 66 18 | 64 0 127 v s 247} Gs 3 {144 60 100} \"x\" c\n"
    "B \"x\" [c8 [d8 / e8]2]3 k-3 c %Undefined\n*A-B d e\n",
    "#clock 480\nA c4&e4&g4 c2:8&e4 r4&r4 r [c]* ]3 o12 v300\n",
};

TEST(CompilationTest, TwoThreadsCompileAsEachDoesAlone) {
  std::vector<std::string> expected;
  {
    Compilation alone;
    ASSERT_TRUE(alone.SetUp());
    for (const char* score : kScores) {
      alone.Compile(score);
      expected.push_back(Result(alone));
    }
  }
  // The default compilation holds a result of its own throughout.
  ASSERT_TRUE(SetUpCompiler());
  CompileScore(kScores[0]);
  const std::string default_result = Result(Compilation::Default());

  auto work = [&](int first, std::vector<std::string>* mismatches) {
    Compilation c;
    if (!c.SetUp()) {
      mismatches->push_back("set-up");
      return;
    }
    for (int round = 0; round < 200; ++round) {
      const int k = (first + round) % 3;
      c.Compile(kScores[k]);
      if (Result(c) != expected[k]) mismatches->push_back("round " + std::to_string(round));
    }
  };
  std::vector<std::string> mismatches1, mismatches2;
  std::thread t1(work, 0, &mismatches1);
  std::thread t2(work, 1, &mismatches2);
  t1.join();
  t2.join();
  EXPECT_TRUE(mismatches1.empty()) << mismatches1.front();
  EXPECT_TRUE(mismatches2.empty()) << mismatches2.front();
  EXPECT_EQ(default_result, Result(Compilation::Default()));
  ReleaseCompiler();
}

// Each object reads with its own reader: compiling on the default
// compilation in the middle of a listing leaves the listing's tokens alone.
TEST(CompilationTest, ListingTokensIsUndisturbedByTheDefaultCompilation) {
  Compilation c;
  ASSERT_TRUE(c.SetUp());
  std::string seen;
  c.ListTokens(
      "// x\nB c 12 Vel\n", [&](const char* name) { seen += std::string(name) + ';'; },
      [&](const ListedToken& token) {
        CompileScore("A c d e f g a b 99 Tmp\n");
        if (token.code == kTokEnd) return;
        seen += std::string(TokenName(token.code)) + '@' + std::to_string(token.line) + ':' +
                std::to_string(token.column);
        if (token.code == kTokNum) seen += '=' + std::to_string(token.number);
        if (token.code == kTokName) seen += std::string("=") + token.text;
        seen += ' ';
      });
  EXPECT_EQ("B;c@1:2 #NUM@1:4=12 #NAME@1:7=Vel ", seen);
}

}  // namespace
