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
int ReadSeven(const char* message) {
  int n = TokenNumber();
  if (n > 127) {
    ReportMessage(message);
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
void ToneShift(int semitone) {
  int code = NextToken();
  int shift = 0;
  if (code == kTokMinus || code == kTokPlus) {
    int sign = code == kTokMinus ? -1 : 1;
    if (NextToken() == kTokNum) {
      int n = TokenNumber();
      if (n > 127) ReportMessage(kToneShiftRange);
      shift = sign * n;
    } else {
      PushBackToken();
      shift = sign;
    }
  } else if (code != kTokEqual) {
    ReportMessage(kToneShiftSign);
    PushBackToken();
  }
  Track().tone_shift[semitone] = shift;
}

// key signature: 'k' 's' ['-' | '+'] count
void KeySignature() {
  int code = NextToken();
  int shift = 1;
  if (code == kTokMinus) {
    shift = -1;
  } else if (code != kTokPlus) {
    PushBackToken();
  }
  int count = 0;
  if (NextToken() == kTokNum) {
    count = TokenNumber();
    if (count > 7) {
      ReportMessage(kSignatureRange);
      count = 7;
    }
  } else {
    ReportMessage(kNoSignatureCount);
    PushBackToken();
  }
  const int* order = shift < 0 ? kFlatOrder : kSharpOrder;
  for (int i = 0; i < 7; ++i) Track().tone_shift[order[i]] = i < count ? shift : 0;
}

void SetKeyShift(int shift) {
  if (shift < -127 || shift > 127) {
    ReportMessage(kKeyShiftRange);
    shift = shift < 0 ? -127 : 127;
  }
  Track().key_shift = shift;
}

}  // namespace

// program: '@' [program] ['.' [bank high]] ['.' [bank low]]
void ProgramCommand() {
  int program = kNone;
  int bank = kNone;
  int code = NextToken();
  if (code == kTokNum) {
    program = ReadSeven(kProgramRange);
    code = NextToken();
  }
  if (code == kTokDot) {
    code = NextToken();
    if (code == kTokNum) {
      bank = ReadSeven(kBankRange) * 128;
      code = NextToken();
    }
  }
  if (code == kTokDot) {
    if (NextToken() == kTokNum) {
      int low = ReadSeven(kBankRange);
      bank = bank == kNone ? low : bank + low;
    } else {
      PushBackToken();
    }
  } else {
    PushBackToken();
  }
  if (program == kNone && bank == kNone) {
    ReportMessage(kNoProgram);
    return;
  }
  AppendEvent(kEventProgram, program == kNone ? 255 : program, bank == kNone ? 65535 : bank);
}

// key: ('k' | '\') (letter tone-shift | 's' signature | ['-' | '+'] number)
void KeyCommand(int code) {
  if (code == kTokBackslash) ReportMessage(kBackslash);
  int next = NextToken();
  int semitone = LetterSemitone(next);
  if (semitone >= 0) {
    ToneShift(semitone);
    return;
  }
  if (next == kTokS) {
    KeySignature();
    return;
  }
  int sign = 1;
  if (next == kTokMinus || next == kTokPlus) {
    sign = next == kTokMinus ? -1 : 1;
    next = NextToken();
  }
  if (next != kTokNum) {
    PushBackToken();
    ReportMessage(kNoKeyShift);
    Track().key_shift = 0;
    return;
  }
  SetKeyShift(sign * TokenNumber());
}
