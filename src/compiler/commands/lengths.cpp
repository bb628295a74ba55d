// Lengths, waits and velocity values, and the commands l, w and q that set
// the defaults and the gate.
//
// A length is a divisor of the whole note (the resolution), with dots, and
// with further lengths added or taken away by "^" and "^-". Every length
// value lies in 1..15359 ticks, except 0 when even the first term is too long
// (possible only with a resolution above 15359).
#include "compiler/catalogue/messages.h"
#include "compiler/commands/commands.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

// Every length stays below this many ticks.
constexpr int kLengthLimit = 15360;

// True when the next token is code; otherwise it is pushed back.
bool Accept(CompileContext& cc, int code) {
  if (NextToken(cc) == code) return true;
  PushBackToken(cc);
  return false;
}

// True when the next token is the number 0; any other token is pushed back.
bool AcceptZero(CompileContext& cc) {
  if (NextToken(cc) == kTokNum && TokenNumber(cc) == 0) return true;
  PushBackToken(cc);
  return false;
}

// term: [divisor] {'.'}; an omitted divisor is reported when report_omitted.
int ReadTerm(CompileContext& cc, bool report_omitted) {
  int base;
  if (NextToken(cc) == kTokNum) {
    int divisor = TokenNumber(cc);
    if (divisor == 0) {
      ReportMessage(cc, kZeroDivisor);
      divisor = 1;
    }
    base = Resolution(cc) / divisor;
    if (Resolution(cc) % divisor != 0) ReportMessage(cc, kNotDivisible);
  } else {
    PushBackToken(cc);
    if (report_omitted) ReportMessage(cc, kLengthOmitted);
    base = Track(cc).default_length;
  }
  // Each dot adds half of what the previous one added.
  int term = base;
  int half = base;
  while (Accept(cc, kTokDot)) {
    if (half % 2 != 0) ReportMessage(cc, kDotLoss);
    half /= 2;
    term += half;
  }
  return term;
}

}  // namespace

// length: term {'^' ['-'] term}
int ReadLength(CompileContext& cc, bool optional) {
  int sum = 0;
  bool subtract = false;
  for (;;) {
    const int term = ReadTerm(cc, !optional && sum == 0);
    if (term <= 0) {
      ReportMessage(cc, kLengthZero);
      return sum > 0 ? sum : 1;
    }
    if (!subtract) {
      sum += term;
      if (sum >= kLengthLimit) {
        ReportMessage(cc, kLengthTooLong);
        sum -= term;
      }
    } else {
      sum -= term;
      if (sum <= 0) {
        ReportMessage(cc, kLengthNegative);
        sum += term;
      }
    }
    if (!Accept(cc, kTokCaret)) return sum;
    subtract = Accept(cc, kTokMinus);
  }
}

bool PlainNoteLength(CompileContext& cc, int divisor, int dots, int* length) {
  int base = Track(cc).default_length;
  if (divisor >= 0) {
    if (divisor == 0 || Resolution(cc) % divisor != 0) return false;
    base = Resolution(cc) / divisor;
  }
  int term = base;
  int half = base;
  for (int dot = 0; dot < dots; ++dot) {
    if (half % 2 != 0) return false;
    half /= 2;
    term += half;
  }
  if (term <= 0 || term >= kLengthLimit) return false;
  *length = term;
  return true;
}

// wait: 0 | length | nothing (the default wait)
int ReadWait(CompileContext& cc) {
  if (AcceptZero(cc)) return 0;
  const bool has_number = NextToken(cc) == kTokNum;
  PushBackToken(cc);
  return has_number ? ReadLength(cc, false) : Track(cc).default_wait;
}

// velocity: n (0..127)
int ReadVelocity(CompileContext& cc) {
  if (NextToken(cc) != kTokNum) {
    ReportMessage(cc, kVelocityMissing);
    PushBackToken(cc);
    return -1;
  }
  int velocity = TokenNumber(cc);
  if (velocity > 127) {
    ReportMessage(cc, kVelocityRange);
    velocity = 127;
  }
  return velocity;
}

// default length: 'l' length
void DefaultLengthCommand(CompileContext& cc) {
  Track(cc).default_length = ReadLength(cc, false);
}

// default wait: 'w' [0 | length]
void DefaultWaitCommand(CompileContext& cc) {
  Track(cc).default_wait = ReadWait(cc);
}

// gate: 'q' ['+' | '-'] (0 | length)
void GateCommand(CompileContext& cc) {
  int code = NextToken(cc);
  const bool relative = code == kTokPlus || code == kTokMinus;
  const bool negative = code == kTokMinus;
  if (!relative) PushBackToken(cc);
  int ticks = 0;
  if (AcceptZero(cc)) {
    if (!relative) ReportMessage(cc, kGateZero);
  } else {
    ticks = ReadLength(cc, false);
    if (negative) ticks = -ticks;
  }
  // A relative gate is stored as a signed 16-bit word.
  AppendEvent(cc, relative ? kEventRelativeGate : kEventAbsoluteGate, 0,
              static_cast<uint16_t>(ticks));
}
