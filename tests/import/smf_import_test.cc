#include <gtest/gtest.h>

#include <string>

#include "compiler/driver/driver.h"
#include "import/score_writer.h"
#include "import/smf_reader.h"

namespace {

std::string Be(uint32_t v, int n) {
  std::string out;
  for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 255));
  return out;
}

std::string Track(const std::string& events) {
  return "MTrk" + Be(events.size(), 4) + events;
}

std::string File(int format, int division, const std::string& tracks, int count = 1) {
  return "MThd" + Be(6, 4) + Be(format, 2) + Be(count, 2) + Be(division, 2) + tracks;
}

const std::string kEnd("\x00\xff\x2f\x00", 4);

std::string ReadError(const std::string& file) {
  SmfSong song;
  std::string error;
  EXPECT_FALSE(ReadSmf(file, &song, &error));
  return error;
}

TEST(SmfReaderTest, MalformedFilesNameTheByteOffset) {
  EXPECT_EQ(ReadError("RIFF...."), "byte offset 0: not a Standard MIDI File (no MThd header)");
  // A data byte with no status before it: offset 23 (header 14, chunk 8, delta 1).
  EXPECT_EQ(ReadError(File(0, 96, Track(std::string("\x00\x3c\x40", 3) + kEnd))),
            "track 1, byte offset 23: running status with no status byte before it");
  // A track whose last event is cut off.
  EXPECT_EQ(ReadError(File(0, 96, Track(std::string("\x00\x90\x3c", 3)))),
            "track 1, byte offset 25: the track ends inside an event");
  // A chunk length beyond the file.
  EXPECT_EQ(ReadError(File(0, 96, "MTrk" + Be(100, 4) + kEnd)),
            "byte offset 18: the chunk length 100 runs past the end of the file");
  // A SysEx length beyond its track.
  EXPECT_EQ(ReadError(File(0, 96, Track(std::string("\x00\xf0\x7f\x01", 4) + kEnd))),
            "track 1, byte offset 25: the length of a System Exclusive event (127 bytes) runs "
            "past the end of the track");
  EXPECT_EQ(ReadError(File(2, 96, Track(kEnd))),
            "byte offset 8: format 2 (independent patterns) cannot be read as one song");
  EXPECT_EQ(ReadError(File(1, 96, Track(kEnd), 2)),
            "byte offset 26: the header names 2 tracks, the file holds 1");
}

TEST(SmfReaderTest, RunningStatusSysExMetaAndTrackMerge) {
  const std::string t1 = std::string("\x00\xff\x51\x03\x07\xa1\x20", 7) +  // tempo 500000
                         std::string("\x00\xff\x7f\x01\x00", 5) +          // skipped meta
                         kEnd;
  const std::string t2 = std::string("\x00\x91\x3c\x40\x00\x40\x50\x10\x3c\x00", 10) +
                         std::string("\x00\xf0\x03\x7e\x01\xf7", 6) + kEnd;
  SmfSong song;
  std::string error;
  ASSERT_TRUE(ReadSmf(File(1, 480, Track(t1) + Track(t2), 2), &song, &error)) << error;
  ASSERT_EQ(song.events.size(), 5u);
  EXPECT_EQ(song.events[0].kind, SmfKind::kTempo);
  EXPECT_EQ(song.events[0].value, 500000u);
  EXPECT_EQ(song.events[2].status, 0x91);  // running status
  EXPECT_EQ(song.events[2].data1, 0x40);
  EXPECT_EQ(song.events[3].tick, 16u);
  EXPECT_EQ(song.Bytes(song.events[4]), std::string("\xf0\x7e\x01\xf7", 4));
  EXPECT_EQ(song.skipped_meta, 1);
}

TEST(SmfReaderTest, SmpteDivisionKeepsSeconds) {
  SmfSong song;
  std::string error;
  // 25 frames a second, 40 ticks a frame: 1000 ticks a second.
  ASSERT_TRUE(ReadSmf(File(0, 0xe728, Track(kEnd)), &song, &error)) << error;
  EXPECT_TRUE(song.smpte);
  EXPECT_EQ(song.division, 500);  // a quarter of half a second at tempo 120
  EXPECT_EQ(song.smpte_tempo, 120);
}

std::string NoteOn(int delta, int key, int vel) {
  return std::string(1, static_cast<char>(delta)) + "\x90" + static_cast<char>(key) +
         static_cast<char>(vel);
}

ImportResult Import(const std::string& events, int grid = 0) {
  SmfSong song;
  std::string error;
  EXPECT_TRUE(ReadSmf(File(0, 48, Track(events + kEnd)), &song, &error)) << error;
  ImportResult r = WriteScore(song, "t", ImportOptions{grid});
  static const bool set_up = SetUpCompiler();
  EXPECT_TRUE(set_up);
  EXPECT_LE(CompileScore(r.score.c_str()), 2) << r.score;
  return r;
}

// The score from its first track's line on (definitions left out).
std::string Body(const ImportResult& r) {
  return r.score.substr(r.score.find("\nA ch"));
}

TEST(ScoreWriterTest, ChordsVelocitiesAndRepeatedBars) {
  std::string e;
  for (int bar = 0; bar < 2; ++bar) {
    e += NoteOn(0, 60, 80) + NoteOn(0, 64, 80) + NoteOn(0, 67, 100);  // a chord, one accent
    e += NoteOn(96, 60, 0) + NoteOn(0, 64, 0) + NoteOn(0, 67, 0);
    e += NoteOn(0, 62, 80) + NoteOn(96, 62, 0);
  }
  EXPECT_EQ(Body(Import(e)), "\nA ch1 l2\nA [c& e& g'100 d]2\n");
  // A velocity that changes is written once.
  const std::string f =
      NoteOn(0, 60, 90) + NoteOn(96, 60, 0) + NoteOn(0, 62, 90) + NoteOn(96, 62, 0);
  EXPECT_EQ(Body(Import(f)), "\nA ch1 l2\nA v90 c d\n");
}

// Two notes of key 60 overlap. A second note of one key releases the first
// in the player, on any track of the channel; so the first is held and its
// note-off sent through Off at its place. Three staccato notes share one
// gate.
TEST(ScoreWriterTest, OverlapsOfOneKeyAreHeldAndGatesRunOnce) {
  std::string e = NoteOn(0, 60, 80) + NoteOn(24, 60, 80) + NoteOn(24, 60, 0) + NoteOn(24, 60, 0);
  e += NoteOn(0, 62, 80) + NoteOn(40, 62, 0) + NoteOn(8, 62, 80) + NoteOn(40, 62, 0) +
       NoteOn(8, 62, 80) + NoteOn(40, 62, 0);
  const ImportResult r = Import(e);
  EXPECT_EQ(Body(r), "\nA ch1\nA hit c8 tone c8 r8 Off60 q-24 d d d8;4\n");
  EXPECT_EQ(r.notes, 5);
}

TEST(ScoreWriterTest, OffGridTimesKeepTheirTicksAndTheGridMovesThem) {
  const std::string e = NoteOn(5, 60, 80) + NoteOn(43, 60, 0);
  EXPECT_EQ(Body(Import(e)), "\nA ch1\nA r48^192 c6^24^64\n");
  const ImportResult g = Import(e, 16);
  EXPECT_EQ(Body(g), "\nA ch1\nA c\n");
  EXPECT_EQ(g.moved, 1);
  EXPECT_EQ(g.largest_move, 5);
}

std::string Vlq(uint32_t v) {
  std::string out(1, static_cast<char>(v & 127));
  while (v >>= 7) out.insert(out.begin(), static_cast<char>(128 | (v & 127)));
  return out;
}

// A long silence: the score grows with what changes, not with the song's
// length (100,000 bars of rest once took a line each past the loop limit).
TEST(ScoreWriterTest, ALongSilenceNestsItsLoops) {
  auto on = [](uint32_t delta, int key, int vel) {
    return Vlq(delta) + "\x90" + static_cast<char>(key) + static_cast<char>(vel);
  };
  const std::string e =
      on(0, 60, 80) + on(192, 60, 0) + on(192 * 100000 - 192, 62, 80) + on(48, 62, 0);
  const ImportResult r = Import(e);
  EXPECT_EQ(Body(r), "\nA ch1\nA c1\nA [[r1]255]255 [[r1]255]137 [r1]39\nA d\n");
}

// An F7 escape of no bytes sends nothing; an empty byte list would not
// compile.
TEST(ScoreWriterTest, AnEmptyEscapeIsLeftOut) {
  const ImportResult r =
      Import(NoteOn(0, 60, 80) + std::string("\x00\xf7\x00", 3) + NoteOn(96, 60, 0));
  EXPECT_EQ(r.score.find('{'), std::string::npos) << r.score;
}

// Four times a large prime leaves term sizes so far apart that one note
// would take thousands of terms, more than a line holds, and the score lost
// its end. Such a division is taken at a resolution that writes every length
// in a few terms, and the report says the times were rounded.
TEST(ScoreWriterTest, ADivisionWhoseLengthsCannotBeWrittenIsScaled) {
  SmfSong song;
  std::string error;
  const std::string events = NoteOn(0, 60, 80) + std::string("\xa9\x04\x90\x3c\x00", 5) + kEnd;
  ASSERT_TRUE(ReadSmf(File(0, 21649, Track(events)), &song, &error)) << error;
  const ImportResult r = WriteScore(song, "t", ImportOptions{0});
  EXPECT_NE(r.score.find("#clock 1920\n"), std::string::npos) << r.score;
  EXPECT_LT(r.score.size(), 200u);
  EXPECT_EQ(0, CompileScore(r.score.c_str())) << r.score << ReportText();
  ASSERT_EQ(r.report.size(), 2u);
  EXPECT_EQ(r.report[1],
            "21649 ticks per quarter do not fit: resolution scaled to 1920, 1 event time rounded");
}

}  // namespace
