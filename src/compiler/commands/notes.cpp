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
#include "compiler/driver/compilation.h"
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
bool Accept(CompileContext& cc, int code) {
  if (NextToken(cc) == code) return true;
  PushBackToken(cc);
  return false;
}

// Reads "~" and "_" prefixes; returns the code of the token behind them.
int ReadPrefixes(CompileContext& cc, int code) {
  TrackState& track = Track(cc);
  while (code == kTokTilde || code == kTokUnderscore) {
    int64_t amount = 12;
    if (NextToken(cc) == kTokNum) {
      amount = TokenNumber(cc);
    } else {
      PushBackToken(cc);
    }
    int64_t shift = track.prefix_shift + (code == kTokTilde ? amount : -amount);
    if (shift > kPrefixShiftLimit) shift = kPrefixShiftLimit;
    if (shift < -kPrefixShiftLimit) shift = -kPrefixShiftLimit;
    track.prefix_shift = static_cast<int32_t>(shift);
    code = NextToken(cc);
  }
  return code;
}

// Pitch of a letter from the octave, the tone and key shifts and the
// prefixes, before its accidental.
int64_t LetterPitch(const TrackState& track, int semitone) {
  return 12 * (int64_t{track.octave} + 1) + semitone + track.tone_shift[semitone] +
         track.key_shift + track.prefix_shift;
}

// The pitch with the accidental code applied (any other code: none).
int64_t WithAccidental(const TrackState& track, int64_t pitch, int code, int semitone) {
  if (code == kTokPlus) return pitch + 1;
  if (code == kTokMinus) return pitch - 1;
  // A natural cancels tone shift and key signature.
  if (code == kTokEqual) return pitch - track.tone_shift[semitone];
  return pitch;
}

// Pitch of a letter with its accidental, held in 0..127.
int ReadPitch(CompileContext& cc, int semitone) {
  TrackState& track = Track(cc);
  int64_t pitch = LetterPitch(track, semitone);
  track.prefix_shift = 0;
  int code = NextToken(cc);
  pitch = WithAccidental(track, pitch, code, semitone);
  if (code != kTokPlus && code != kTokMinus && code != kTokEqual) PushBackToken(cc);
  if (pitch < 0) {
    ReportMessage(cc, kPitchTooLow);
    return 0;
  }
  if (pitch > 127) {
    ReportMessage(cc, kPitchTooHigh);
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

Suffixes ReadSuffixes(CompileContext& cc) {
  Suffixes s;
  for (;;) {
    s.place = CurrentTokenPlace(cc);
    s.end_code = NextToken(cc);
    if (s.end_code == kTokColon) {
      if (s.has_wait) ReportMessage(cc, kSecondWait);
      s.wait = ReadWait(cc);
      s.has_wait = true;
    } else if (s.end_code == kTokQuote) {
      // A second "'" is reported even when the first one had no value.
      if (s.has_accent) ReportMessage(cc, kSecondAccent);
      s.accent = ReadVelocity(cc);
      s.has_accent = true;
    } else if (s.end_code == kTokSemicolon) {
      if (s.has_sounding) ReportMessage(cc, kSecondSounding);
      s.sounding = ReadLength(cc, false);
      s.has_sounding = true;
    } else {
      return s;
    }
  }
}

// What a note reads before its record is made.
struct NoteParts {
  int pitch = 0;
  int length = 0;
  Suffixes s;
};

// A note read token by token; false (reported) for prefixes with no note.
bool ReadNoteTokens(CompileContext& cc, int code, NoteParts* note) {
  code = ReadPrefixes(cc, code);
  const int semitone = Semitone(code);
  if (semitone < 0) {
    ReportMessage(cc, kPrefixWithoutNote);
    PushBackToken(cc);  // the prefix shift waits for the next note
    return false;
  }
  note->pitch = ReadPitch(cc, semitone);
  note->length = ReadLength(cc, true);
  note->s = ReadSuffixes(cc);
  return true;
}

// The usual note (a letter, an accidental, length digits and dots) taken
// from the bytes when nothing in it needs a message. False leaves the reader
// and the track as they were, for ReadNoteTokens.
bool ReadPlainNote(CompileContext& cc, int code, NoteParts* note) {
  const int semitone = Semitone(code);
  NoteTail tail;
  if (semitone < 0 || !PeekNoteTail(cc, &tail)) return false;
  TrackState& track = Track(cc);
  const int64_t pitch =
      WithAccidental(track, LetterPitch(track, semitone), tail.accidental, semitone);
  if (pitch < 0 || pitch > 127) return false;
  if (!PlainNoteLength(cc, tail.divisor, tail.dots, &note->length)) return false;
  track.prefix_shift = 0;
  note->pitch = static_cast<int>(pitch);
  note->s.end_code = TakeNoteTail(cc, tail);
  // The token behind the note is the one that ended its (absent) suffixes.
  note->s.place = CurrentTokenPlace(cc);
  return true;
}

}  // namespace

// note: {'~' [n] | '_' [n]} letter ['+' | '-' | '='] [length]
//       {':' wait | '\'' velocity | ';' length} ['&']
void NoteCommand(CompileContext& cc, int code) {
  TrackState& track = Track(cc);
  const int place = RecordNotePlace(cc);
  NoteParts note;
  if (!ReadPlainNote(cc, code, &note) && !ReadNoteTokens(cc, code, &note)) return;
  const Suffixes& s = note.s;
  int length = note.length;
  // The step is how far the position moves behind the note.
  int64_t step;
  const bool grouped = s.end_code == kTokAmpersand;
  if (grouped) {
    step = s.has_wait ? s.wait : 0;
  } else {
    PushBackToken(cc);
    step = int64_t{s.has_wait ? s.wait : length} - track.group_time;
    if (step < 0) {
      ReportMessageAt(cc, PlaceColumn(cc, s.place), PlaceLine(cc, s.place), kNegativeWait);
      step = 0;
    }
  }
  if (s.has_sounding) length = s.sounding;
  int64_t sounding = int64_t{length} - track.group_time;
  if (sounding <= 0) {
    ReportMessageAt(cc, PlaceColumn(cc, s.place), PlaceLine(cc, s.place), kSoundingNotPositive);
    sounding = 1;
  }
  if (sounding > 65535) sounding = 65535;
  track.group_time = grouped ? ClampTicks(cc, track.group_time + step) : 0;
  AppendEvent(cc, note.pitch, s.accent < 0 ? kAccentNone : s.accent, static_cast<int>(sounding));
  TagNoteRecord(cc.events.At(cc.events.Count() - 1), place);
  track.position = ClampTicks(cc, track.position + step);
}

// rest: 'r' [length] ['&']
void RestCommand(CompileContext& cc) {
  TrackState& track = Track(cc);
  const int length = ReadLength(cc, true);
  // A rest measures its length from the group start, as a note ending a
  // group does; one shorter than the time already spent in the group would
  // move the track back in time, so it stops where it is, like such a note.
  int64_t step = int64_t{length} - track.group_time;
  if (step < 0) {
    ReportMessage(cc, kNegativeWait);
    step = 0;
  }
  track.position = ClampTicks(cc, track.position + step);
  if (Accept(cc, kTokAmpersand)) {
    track.group_time = ClampTicks(cc, int64_t{track.group_time} + length);
  } else {
    track.group_time = 0;
  }
}

// octave: 'o' ['-'] n | '<' | '>'
void OctaveCommand(CompileContext& cc, int code) {
  TrackState& track = Track(cc);
  if (code == kTokLess) {
    if (track.octave > -1) {
      --track.octave;
    } else {
      ReportMessage(cc, kOctaveBelow);
      track.octave = -1;
    }
    return;
  }
  if (code == kTokGreater) {
    if (track.octave < 9) {
      ++track.octave;
    } else {
      ReportMessage(cc, kOctaveAbove);
      track.octave = 9;
    }
    return;
  }
  const bool negative = Accept(cc, kTokMinus);
  int value = 4;
  if (NextToken(cc) == kTokNum) {
    value = TokenNumber(cc);
  } else {
    PushBackToken(cc);
    ReportMessage(cc, kOctaveOmitted);
  }
  if (negative) value = -value;
  if (value < -1 || value > 9) {
    ReportMessage(cc, kOctaveRange);
    value = value < -1 ? -1 : 9;
  }
  track.octave = value;
}

// bar length: 'u' length
void BarLengthCommand(CompileContext& cc) {
  Track(cc).bar_length = ReadLength(cc, false);
  MapBarLength(cc, Track(cc).bar_length);
}

// bar line: '|' ('*' | [length]) ['&']
void BarLineCommand(CompileContext& cc) {
  TrackState& track = Track(cc);
  if (Accept(cc, kTokStar)) {
    track.bar_start = track.position;
    return;
  }
  const bool has_length = NextToken(cc) == kTokNum;
  PushBackToken(cc);
  const int64_t bar = has_length ? ReadLength(cc, false) : track.bar_length;
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
  track.position = ClampTicks(cc, track.position + advance);
  track.bar_start = track.position;
  // A bar line inside a group is passed like a rest of its advance.
  if (Accept(cc, kTokAmpersand)) {
    track.group_time = ClampTicks(cc, track.group_time + advance);
  } else {
    track.group_time = 0;
  }
}

// channel: ('ch' | 'chm' | 'chi' | 'che') n
void ChannelCommand(CompileContext& cc, int code) {
  if (code == kTokChm) ReportMessage(cc, kChmUsed);
  if (code == kTokChi) ReportMessage(cc, kChiUsed);
  if (code == kTokChe) ReportMessage(cc, kCheUsed);
  if (NextToken(cc) != kTokNum) {
    ReportMessage(cc, kChannelMissing);
    PushBackToken(cc);
    return;
  }
  int channel = TokenNumber(cc);
  if (channel < 1 || channel > 16) {
    ReportMessage(cc, kChannelRange);
    channel = 16;
  }
  AppendEvent(cc, kEventChannel, channel - 1, 0);
}
