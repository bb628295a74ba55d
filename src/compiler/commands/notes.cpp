// Notes, rests, octaves, bar lines and channels.
//
// Notes joined by "&" form a group: every member starts at the position the
// group has reached so far, all lengths count from the start of the group,
// and the member that ends the group moves the position to the group start
// plus its wait or length. The group time is the part of the group already
// passed, so a member's own length is its length minus the group time.
#include <cstdint>

#include "compiler/catalogue/messages.h"
#include "compiler/commands/commands.h"
#include "compiler/commands/ticks.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"
#include "compiler/song/source_map.h"

namespace {

constexpr int kAccentNone = 255;
// Prefixes beyond this cannot make a pitch any more out of range than it
// already is; the bound keeps endless "~" runs from overflowing.
constexpr int32_t kPrefixShiftLimit = 1 << 20;

// Semitone of a note letter, -1 for any other code.
int Semitone(int code) {
  static constexpr int kGToA[] = {7, 5, 4, 2, 11, 9};  // g f e d b a
  if (code == kTokC) return 0;
  if (code >= kTokG && code <= kTokA) return kGToA[code - kTokG];
  return -1;
}

// True when the next token is code; otherwise it is pushed back.
bool Accept(int code) {
  if (NextToken() == code) return true;
  PushBackToken();
  return false;
}

// Reads "~" and "_" prefixes; returns the code of the token behind them.
int ReadPrefixes(int code) {
  TrackState& track = Track();
  while (code == kTokTilde || code == kTokUnderscore) {
    int64_t amount = 12;
    if (NextToken() == kTokNum) {
      amount = TokenNumber();
    } else {
      PushBackToken();
    }
    int64_t shift = track.prefix_shift + (code == kTokTilde ? amount : -amount);
    if (shift > kPrefixShiftLimit) shift = kPrefixShiftLimit;
    if (shift < -kPrefixShiftLimit) shift = -kPrefixShiftLimit;
    track.prefix_shift = static_cast<int32_t>(shift);
    code = NextToken();
  }
  return code;
}

// Pitch of a letter with its accidental, held in 0..127.
int ReadPitch(int semitone) {
  TrackState& track = Track();
  int64_t pitch = 12 * (int64_t{track.octave} + 1) + semitone + track.tone_shift[semitone] +
                  track.key_shift + track.prefix_shift;
  track.prefix_shift = 0;
  int code = NextToken();
  if (code == kTokPlus) {
    pitch += 1;
  } else if (code == kTokMinus) {
    pitch -= 1;
  } else if (code == kTokEqual) {
    pitch -= track.tone_shift[semitone];  // a natural cancels tone shift and key signature
  } else {
    PushBackToken();
  }
  if (pitch < 0) {
    ReportMessage(kPitchTooLow);
    return 0;
  }
  if (pitch > 127) {
    ReportMessage(kPitchTooHigh);
    return 127;
  }
  return static_cast<int>(pitch);
}

// The suffixes of one note and the token that ended them.
struct Suffixes {
  bool has_wait = false, has_accent = false, has_sounding = false;
  int wait = 0, accent = -1, sounding = 0;
  TokenPlace place;  // where the token read before the ending one began
  int end_code = 0;
};

Suffixes ReadSuffixes() {
  Suffixes s;
  for (;;) {
    s.place = CurrentTokenPlace();
    s.end_code = NextToken();
    if (s.end_code == kTokColon) {
      if (s.has_wait) ReportMessage(kSecondWait);
      s.wait = ReadWait();
      s.has_wait = true;
    } else if (s.end_code == kTokQuote) {
      // A second "'" is reported even when the first one had no value.
      if (s.has_accent) ReportMessage(kSecondAccent);
      s.accent = ReadVelocity();
      s.has_accent = true;
    } else if (s.end_code == kTokSemicolon) {
      if (s.has_sounding) ReportMessage(kSecondSounding);
      s.sounding = ReadLength(false);
      s.has_sounding = true;
    } else {
      return s;
    }
  }
}

}  // namespace

// note: {'~' [n] | '_' [n]} letter ['+' | '-' | '='] [length]
//       {':' wait | '\'' velocity | ';' length} ['&']
void NoteCommand(int code) {
  TrackState& track = Track();
  const int place = RecordNotePlace();
  code = ReadPrefixes(code);
  const int semitone = Semitone(code);
  if (semitone < 0) {
    ReportMessage(kPrefixWithoutNote);
    PushBackToken();  // the prefix shift waits for the next note
    return;
  }
  const int pitch = ReadPitch(semitone);
  int length = ReadLength(true);
  Suffixes s = ReadSuffixes();
  // The step is how far the position moves behind the note.
  int64_t step;
  const bool grouped = s.end_code == kTokAmpersand;
  if (grouped) {
    step = s.has_wait ? s.wait : 0;
  } else {
    PushBackToken();
    step = int64_t{s.has_wait ? s.wait : length} - track.group_time;
    if (step < 0) {
      ReportMessageAt(PlaceColumn(s.place), PlaceLine(s.place), kNegativeWait);
      step = 0;
    }
  }
  if (s.has_sounding) length = s.sounding;
  int64_t sounding = int64_t{length} - track.group_time;
  if (sounding <= 0) {
    ReportMessageAt(PlaceColumn(s.place), PlaceLine(s.place), kSoundingNotPositive);
    sounding = 1;
  }
  if (sounding > 65535) sounding = 65535;
  track.group_time = grouped ? ClampTicks(track.group_time + step) : 0;
  AppendEvent(pitch, s.accent < 0 ? kAccentNone : s.accent, static_cast<int>(sounding));
  TagNoteRecord(TrackEvents().At(TrackEvents().Count() - 1), place);
  track.position = ClampTicks(track.position + step);
}

// rest: 'r' [length] ['&']
void RestCommand() {
  TrackState& track = Track();
  const int length = ReadLength(true);
  // A rest measures its length from the group start, as a note ending a
  // group does; one shorter than the time already spent in the group would
  // move the track back in time, so it stops where it is, like such a note.
  int64_t step = int64_t{length} - track.group_time;
  if (step < 0) {
    ReportMessage(kNegativeWait);
    step = 0;
  }
  track.position = ClampTicks(track.position + step);
  if (Accept(kTokAmpersand)) {
    track.group_time = ClampTicks(int64_t{track.group_time} + length);
  } else {
    track.group_time = 0;
  }
}

// octave: 'o' ['-'] n | '<' | '>'
void OctaveCommand(int code) {
  TrackState& track = Track();
  if (code == kTokLess) {
    if (track.octave > -1) {
      --track.octave;
    } else {
      ReportMessage(kOctaveBelow);
      track.octave = -1;
    }
    return;
  }
  if (code == kTokGreater) {
    if (track.octave < 9) {
      ++track.octave;
    } else {
      ReportMessage(kOctaveAbove);
      track.octave = 9;
    }
    return;
  }
  const bool negative = Accept(kTokMinus);
  int value = 4;
  if (NextToken() == kTokNum) {
    value = TokenNumber();
  } else {
    PushBackToken();
    ReportMessage(kOctaveOmitted);
  }
  if (negative) value = -value;
  if (value < -1 || value > 9) {
    ReportMessage(kOctaveRange);
    value = value < -1 ? -1 : 9;
  }
  track.octave = value;
}

// bar length: 'u' length
void BarLengthCommand() {
  Track().bar_length = ReadLength(false);
  MapBarLength(Track().bar_length);
}

// bar line: '|' ('*' | [length]) ['&']
void BarLineCommand() {
  TrackState& track = Track();
  if (Accept(kTokStar)) {
    track.bar_start = track.position;
    return;
  }
  const bool has_length = NextToken() == kTokNum;
  PushBackToken();
  const int64_t bar = has_length ? ReadLength(false) : track.bar_length;
  // Pad up to the next multiple of the bar counted from the bar start; a bar
  // line right on the bar start inserts one whole bar.
  const int64_t elapsed = int64_t{track.position} - track.bar_start;
  int64_t advance = 0;
  if (elapsed == 0) {
    advance = bar;
  } else if (bar > 0) {
    int64_t into_bar = (elapsed - 1) % bar;
    if (into_bar < 0) into_bar += bar;  // a position before the bar start
    advance = bar - into_bar - 1;
  }
  track.position = ClampTicks(track.position + advance);
  track.bar_start = track.position;
  // A bar line inside a group is passed like a rest of its advance.
  if (Accept(kTokAmpersand)) {
    track.group_time = ClampTicks(track.group_time + advance);
  } else {
    track.group_time = 0;
  }
}

// channel: ('ch' | 'chm' | 'chi' | 'che') n
void ChannelCommand(int code) {
  if (code == kTokChm) ReportMessage(kChmUsed);
  if (code == kTokChi) ReportMessage(kChiUsed);
  if (code == kTokChe) ReportMessage(kCheUsed);
  if (NextToken() != kTokNum) {
    ReportMessage(kChannelMissing);
    PushBackToken();
    return;
  }
  int channel = TokenNumber();
  if (channel < 1 || channel > 16) {
    ReportMessage(kChannelRange);
    channel = 16;
  }
  AppendEvent(kEventChannel, channel - 1, 0);
}
