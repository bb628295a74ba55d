// Program and bank, key shift, tone shifts and key signatures.
//
// Only the program command appends an event; the shifts are fields of the
// track state that the note command applies to every pitch.
#include "compiler/commands/commands.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

// "EEﾌﾟﾛｸﾞﾗﾑ･ﾁｪﾝｼﾞ番号が範囲外です(0 ～ 127)"
constexpr char kProgramRange[] =
    "EE\xcc\xdf\xdb\xb8\xde\xd7\xd1\xa5\xc1\xaa\xdd\xbc\xde\x94\xd4\x8d\x86\x82\xaa\x94\xcd\x88"
    "\xcd\x8aO\x82\xc5\x82\xb7(0 \x81` 127)";
// "EEﾊﾞﾝｸ･ｾﾚｸﾄ値が範囲外です(0 ～ 127)"
constexpr char kBankRange[] =
    "EE\xca\xde\xdd\xb8\xa5\xbe\xda\xb8\xc4\x92l\x82\xaa\x94\xcd\x88\xcd\x8aO\x82\xc5\x82\xb7(0 "
    "\x81` 127)";
// "EEﾌﾟﾛｸﾞﾗﾑ･ﾁｪﾝｼﾞ番号とﾊﾞﾝｸ･ｾﾚｸﾄ番号のいずれも指定されていません"
constexpr char kNoProgram[] =
    "EE\xcc\xdf\xdb\xb8\xde\xd7\xd1\xa5\xc1\xaa\xdd\xbc\xde\x94\xd4\x8d\x86\x82\xc6\xca\xde\xdd"
    "\xb8\xa5\xbe\xda\xb8\xc4\x94\xd4\x8d\x86\x82\xcc\x82\xa2\x82\xb8\x82\xea\x82\xe0\x8ew\x92"
    "\xe8\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";
// "WW\ が使われています"
constexpr char kBackslash[] =
    "WW\x5c \x82\xaa\x8eg\x82\xed\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb7";
// "WWｷｰｼﾌﾄ指定値が省略されています（0 に設定）"
constexpr char kNoKeyShift[] =
    "WW\xb7\xb0\xbc\xcc\xc4\x8ew\x92\xe8\x92l\x82\xaa\x8f\xc8\x97\xaa\x82\xb3\x82\xea\x82\xc4\x82"
    "\xa2\x82\xdc\x82\xb7\x81i0 \x82\xc9\x90\xdd\x92\xe8\x81j";
// "EEｷｰｼﾌﾄは -127 ～ 127 です"
constexpr char kKeyShiftRange[] = "EE\xb7\xb0\xbc\xcc\xc4\x82\xcd -127 \x81` 127 \x82\xc5\x82\xb7";
// "EE音符別トーンシフトで 127 以上の値が指定されています"
constexpr char kToneShiftRange[] =
    "EE\x89\xb9\x95\x84\x95\xca\x83g\x81[\x83\x93\x83V\x83t\x83g\x82\xc5 127 \x88\xc8\x8f\xe3\x82"
    "\xcc\x92l\x82\xaa\x8ew\x92\xe8\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb7";
// "WW音符別トーンシフトで +, -, = 以外の指定があります"
constexpr char kToneShiftSign[] =
    "WW\x89\xb9\x95\x84\x95\xca\x83g\x81[\x83\x93\x83V\x83t\x83g\x82\xc5 +, -, = \x88\xc8\x8aO\x82"
    "\xcc\x8ew\x92\xe8\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7";
// "WW調シフトで値が省略されています"
constexpr char kNoSignatureCount[] =
    "WW\x92\xb2\x83V\x83t\x83g\x82\xc5\x92l\x82\xaa\x8f\xc8\x97\xaa\x82\xb3\x82\xea\x82\xc4\x82"
    "\xa2\x82\xdc\x82\xb7";
// "EE調シフトで 7 を超える値が指定されいます"
constexpr char kSignatureRange[] =
    "EE\x92\xb2\x83V\x83t\x83g\x82\xc5 7 \x82\xf0\x92\xb4\x82\xa6\x82\xe9\x92l\x82\xaa\x8ew\x92"
    "\xe8\x82\xb3\x82\xea\x82\xa2\x82\xdc\x82\xb7";

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
