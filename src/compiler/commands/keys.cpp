// Program and bank, key shift, tone shifts and key signatures.
//
// Only the program command appends an event; the shifts are fields of the
// track state that the note command applies to every pitch.
#include "compiler/catalogue/messages.h"
#include "compiler/commands/commands.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

constexpr int kNone = -1;
constexpr int kSharpOrder[7] = {5, 0, 7, 2, 9, 4, 11};  // f c g d a e b
constexpr int kFlatOrder[7] = {11, 4, 9, 2, 7, 0, 5};   // b e a d g c f

// A number token's value, limited to 127 with message when above it.
int ReadSeven(CompileContext& cc, const char* message) {
  int n = TokenNumber(cc);
  if (n > 127) {
    ReportMessage(cc, message);
    return 127;
  }
  return n;
}

// Semitone of a note letter token, or -1.
int LetterSemitone(int code) {
  switch (code) {
    case kTokC:
      return 0;
    case kTokD:
      return 2;
    case kTokE:
      return 4;
    case kTokF:
      return 5;
    case kTokG:
      return 7;
    case kTokA:
      return 9;
    case kTokB:
      return 11;
    default:
      return -1;
  }
}

// tone shift: 'k' letter ('=' | '-' [number] | '+' [number])
void ToneShift(CompileContext& cc, int semitone) {
  int code = NextToken(cc);
  int shift = 0;
  if (code == kTokMinus || code == kTokPlus) {
    int sign = code == kTokMinus ? -1 : 1;
    if (NextToken(cc) == kTokNum) {
      int n = TokenNumber(cc);
      if (n > 127) ReportMessage(cc, kToneShiftRange);
      shift = sign * n;
    } else {
      PushBackToken(cc);
      shift = sign;
    }
  } else if (code != kTokEqual) {
    ReportMessage(cc, kToneShiftSign);
    PushBackToken(cc);
  }
  Track(cc).tone_shift[semitone] = shift;
}

// key signature: 'k' 's' ['-' | '+'] count
void KeySignature(CompileContext& cc) {
  int code = NextToken(cc);
  int shift = 1;
  if (code == kTokMinus) {
    shift = -1;
  } else if (code != kTokPlus) {
    PushBackToken(cc);
  }
  int count = 0;
  if (NextToken(cc) == kTokNum) {
    count = TokenNumber(cc);
    if (count > 7) {
      ReportMessage(cc, kSignatureRange);
      count = 7;
    }
  } else {
    ReportMessage(cc, kNoSignatureCount);
    PushBackToken(cc);
  }
  const int* order = shift < 0 ? kFlatOrder : kSharpOrder;
  for (int i = 0; i < 7; ++i) Track(cc).tone_shift[order[i]] = i < count ? shift : 0;
}

void SetKeyShift(CompileContext& cc, int shift) {
  if (shift < -127 || shift > 127) {
    ReportMessage(cc, kKeyShiftRange);
    shift = shift < 0 ? -127 : 127;
  }
  Track(cc).key_shift = shift;
}

}  // namespace

// program: '@' [program] ['.' [bank high]] ['.' [bank low]]
void ProgramCommand(CompileContext& cc) {
  int program = kNone;
  int bank = kNone;
  int code = NextToken(cc);
  if (code == kTokNum) {
    program = ReadSeven(cc, kProgramRange);
    code = NextToken(cc);
  }
  if (code == kTokDot) {
    code = NextToken(cc);
    if (code == kTokNum) {
      bank = ReadSeven(cc, kBankRange) * 128;
      code = NextToken(cc);
    }
  }
  if (code == kTokDot) {
    if (NextToken(cc) == kTokNum) {
      int low = ReadSeven(cc, kBankRange);
      bank = bank == kNone ? low : bank + low;
    } else {
      PushBackToken(cc);
    }
  } else {
    PushBackToken(cc);
  }
  if (program == kNone && bank == kNone) {
    ReportMessage(cc, kNoProgram);
    return;
  }
  AppendEvent(cc, kEventProgram, program == kNone ? 255 : program, bank == kNone ? 65535 : bank);
}

// key: ('k' | '\') (letter tone-shift | 's' signature | ['-' | '+'] number)
void KeyCommand(CompileContext& cc, int code) {
  if (code == kTokBackslash) ReportMessage(cc, kBackslash);
  int next = NextToken(cc);
  int semitone = LetterSemitone(next);
  if (semitone >= 0) {
    ToneShift(cc, semitone);
    return;
  }
  if (next == kTokS) {
    KeySignature(cc);
    return;
  }
  int sign = 1;
  if (next == kTokMinus || next == kTokPlus) {
    sign = next == kTokMinus ? -1 : 1;
    next = NextToken(cc);
  }
  if (next != kTokNum) {
    PushBackToken(cc);
    ReportMessage(cc, kNoKeyShift);
    Track(cc).key_shift = 0;
    return;
  }
  SetKeyShift(cc, sign * TokenNumber(cc));
}
