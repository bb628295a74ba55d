// Notes, groups, rests, octaves, bar lines and channels: the records of
// track A and the report of whole compilations.
#include <gtest/gtest.h>

#include "compile_helpers.h"

namespace {

TEST(NotesTest, Scores) {
  CheckCompileFirst({
      // Pitch from octave letter prefixes and accidental.
      {"A c o-1 c o9 g o4 c+ c- ~c ~7c __c ~_~c",
       "0 143 0 0\n0 60 255 48\n48 0 255 48\n96 127 255 48\n144 61 255 48\n192 59 255 48\n"
       "240 72 255 48\n288 67 255 48\n336 36 255 48\n384 72 255 48\n432 142 0 0\n"},
      // Natural cancels the tone shift but not the key shift.
      {"A kc+1 c c= c+ ~c= k2 c c=",
       "0 143 0 0\n0 61 255 48\n48 60 255 48\n96 62 255 48\n144 72 255 48\n192 63 255 48\n"
       "240 62 255 48\n288 142 0 0\n"},
      // Pitch out of range is held at the limit.
      {"A o9 a r o-1 c- r",
       "0 143 0 0\n0 127 255 48\n96 0 255 48\n192 142 0 0\n"
       "  0 :   7 : Error 音程が高すぎます\n"
       "  0 :  14 : Error 音程が低すぎます\n"},
      // Huge prefixes stay a plain range error.
      {"A ~65535~65535~65535 c _65535 c r",
       "0 143 0 0\n0 127 255 48\n48 0 255 48\n144 142 0 0\n"
       "  0 :  23 : Error 音程が高すぎます\n"
       "  0 :  32 : Error 音程が低すぎます\n"},
      // Prefix without note waits for the next note.
      {"A ~ r c",
       "0 143 0 0\n48 72 255 48\n96 142 0 0\n"
       "  0 :   4 : Error 前置コマンドに続く音符がありません\n"},
      // Wait sounding length and accent.
      {"A c4:0 c4;8 c4'100 c4' d c4:2 d",
       "0 143 0 0\n0 60 255 48\n0 60 255 24\n48 60 100 48\n96 60 255 48\n144 62 255 48\n"
       "192 60 255 48\n288 62 255 48\n336 142 0 0\n"
       "  0 :  23 : Error ﾍﾞﾛｼﾃｨ値の指定がありません\n"},
      // Second suffix replaces the first.
      {"A c4:8:16'1'2;8;16 r",
       "0 143 0 0\n0 60 2 12\n60 142 0 0\n"
       "  0 :   6 : Error ｳｪｨﾄﾀｲﾑの指定が複数あります\n"
       "  0 :  11 : Error ｱｸｾﾝﾄ･ﾍﾞﾛｼﾃｨの指定が複数あります\n"
       "  0 :  15 : Error 音長の指定が複数あります\n"},
      // An accent mark without its value still counts as the first one.
      {"A c4'' r",
       "0 143 0 0\n0 60 255 48\n96 142 0 0\n"
       "  0 :   5 : Error ﾍﾞﾛｼﾃｨ値の指定がありません\n"
       "  0 :   5 : Error ｱｸｾﾝﾄ･ﾍﾞﾛｼﾃｨの指定が複数あります\n"
       "  0 :   7 : Error ﾍﾞﾛｼﾃｨ値の指定がありません\n"},
      // Group time across rests.
      // A rest inside a group counts from the group start like a member.
      {"A c2&r8&e4 d", "0 143 0 0\n0 60 255 96\n24 64 255 24\n48 62 255 48\n96 142 0 0\n"},
      {"A r4&r4 r c", "0 143 0 0\n96 60 255 48\n144 142 0 0\n"},
      // A rest shorter than the time already spent in its group would run
      // backwards: reported, and the position stays.
      {"A c2&r4&r8 d",
       "0 143 0 0\n0 60 255 96\n48 62 255 48\n96 142 0 0\n"
       "  0 :  11 : Error ｳｪｨﾄﾀｲﾑが負です\n"},
      // Group ending before its time is reported at the note.
      {"A c2:4&e8 r",
       "0 143 0 0\n0 60 255 96\n48 64 255 1\n96 142 0 0\n"
       "  0 :  10 : Error ｳｪｨﾄﾀｲﾑが負です\n"
       "  0 :  10 : Error 音長が 0 以下です\n"},
      // Bar lines.
      // "|*" only sets the bar start; a length after "|" replaces the bar length
      // once; a bar line on a bar boundary adds nothing.
      {"A u1 c8 |* c4 | c c8 |4 c4 |4 c",
       "0 143 0 0\n0 60 255 24\n24 60 255 48\n216 60 255 48\n264 60 255 24\n312 60 255 48\n"
       "360 60 255 48\n408 142 0 0\n"},
      // Bar line inside a group grows the group time.
      {"A u2 c8 c2&|&e1 d",
       "0 143 0 0\n0 60 255 24\n24 60 255 96\n96 64 255 120\n216 62 255 48\n264 142 0 0\n"},
      // Octaves.
      {"A o c o-2 c o-1 < c o9 > c o10 c o- c o4 < > c",
       "0 143 0 0\n0 60 255 48\n48 0 255 48\n96 0 255 48\n144 120 255 48\n192 120 255 48\n"
       "240 0 255 48\n288 60 255 48\n336 142 0 0\n"
       "  0 :   4 : Warning ｵｸﾀｰﾌﾞ値が省略されています（4 に設定）\n"
       "  0 :   8 : Error ｵｸﾀｰﾌﾞは -1 ～ 9 です\n"
       "  0 :  16 : Error ｵｸﾀｰﾌﾞが -1 を下回ります\n"
       "  0 :  23 : Error ｵｸﾀｰﾌﾞが 9 を上回ります\n"
       "  0 :  28 : Error ｵｸﾀｰﾌﾞは -1 ～ 9 です\n"
       "  0 :  36 : Warning ｵｸﾀｰﾌﾞ値が省略されています（4 に設定）\n"
       "  0 :  36 : Error ｵｸﾀｰﾌﾞは -1 ～ 9 です\n"},
      // Channels.
      {"A ch0\n"
       "A ch17\n"
       "A ch c\n"
       "A chm2 chi3 che4 ch16\n",
       "0 143 0 0\n0 139 15 0\n0 139 15 0\n0 60 255 48\n48 139 1 0\n48 139 2 0\n48 139 3 0\n"
       "48 139 15 0\n48 142 0 0\n"
       "  0 :   4 : Error ﾁｬﾝﾈﾙ値が範囲外です(1 ～ 16)\n"
       "  1 :   4 : Error ﾁｬﾝﾈﾙ値が範囲外です(1 ～ 16)\n"
       "  2 :   5 : Error ﾁｬﾝﾈﾙ値がありません\n"
       "  3 :   2 : Warning chm が使われています\n"
       "  3 :   7 : Warning chi が使われています\n"
       "  3 :  12 : Warning che が使われています\n"},
      // Tone hit and undefined commands.
      {"A tone hit 5 = ; c",
       "0 143 0 0\n0 137 0 0\n0 138 0 0\n0 60 255 48\n48 142 0 0\n"
       "  0 :  11 : Error 未定義コマンドです\n"
       "  0 :  13 : Error 未定義コマンドです\n"
       "  0 :  15 : Error 未定義コマンドです\n"},
  });
}

TEST(NotesTest, TrackStateStartsAfreshForEveryTrack) {
  TrackRun run = CompileTracks("A o2 l8 u1 c ~\nB c | c8 |\n");
  ASSERT_EQ(run.tracks.size(), 2u);
  EXPECT_EQ(run.tracks[1], "0 143 0 0\n0 60 255 48\n48 60 255 24\n96 142 0 0\n");
}

}  // namespace

namespace {

// Any text is a score: random runs of the command characters, numbers of
// every size and stray bytes compile without a crash, a hang or a read out
// of bounds (the sanitizer build checks the last two).
TEST(NotesTest, RandomCommandSoupCompiles) {
  static const char* const kPieces[] = {
      "c",     "d", "e",    "r",        "~",    "_",   "+", "-", "=", ":", "'",   ";",   "&",
      ".",     "^", "|",    "|*",       "u",    "o",   "<", ">", "l", "w", "q",   "[",   "]",
      "]*",    "/", "ch",   "chm",      "tone", "hit", "0", "1", "4", "7", "255", "300", "65535",
      "99999", " ", "\n+ ", "\x82\xa0", "$",    "*",   "`", "k", "v", "t", "@"};
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  for (int score = 0; score < 300; ++score) {
    std::string text = (score % 3 == 0) ? "#clock " + std::to_string(next() % 1000) + "\nA " : "A ";
    for (int i = 0; i < 300; ++i) text += kPieces[next() % (sizeof kPieces / sizeof *kPieces)];
    text += "\n";
    TrackRun run = CompileTracks(text);
    ASSERT_EQ(run.tracks.size(), 1u) << text;
  }
}

}  // namespace
