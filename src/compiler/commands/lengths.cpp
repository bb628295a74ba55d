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
bool Accept(int code) {
  if (NextToken() == code) return true;
  PushBackToken();
  return false;
}

// True when the next token is the number 0; any other token is pushed back.
bool AcceptZero() {
  if (NextToken() == kTokNum && TokenNumber() == 0) return true;
  PushBackToken();
  return false;
}

// term: [divisor] {'.'}; an omitted divisor is reported when report_omitted.
int ReadTerm(bool report_omitted) {
  int base;
  if (NextToken() == kTokNum) {
    int divisor = TokenNumber();
    if (divisor == 0) {
      ReportMessage(kZeroDivisor);
      divisor = 1;
    }
    base = Resolution() / divisor;
    if (Resolution() % divisor != 0) ReportMessage(kNotDivisible);
  } else {
    PushBackToken();
    if (report_omitted) ReportMessage(kLengthOmitted);
    base = Track().default_length;
  }
  // Each dot adds half of what the previous one added.
  int term = base;
  int half = base;
  while (Accept(kTokDot)) {
    if (half % 2 != 0) ReportMessage(kDotLoss);
    half /= 2;
    term += half;
  }
  return term;
}

}  // namespace

// length: term {'^' ['-'] term}
int ReadLength(bool optional) {
  int sum = 0;
  bool subtract = false;
  for (;;) {
    const int term = ReadTerm(!optional && sum == 0);
    if (term <= 0) {
      ReportMessage(kLengthZero);
      return sum > 0 ? sum : 1;
    }
    if (!subtract) {
      sum += term;
      if (sum >= kLengthLimit) {
        ReportMessage(kLengthTooLong);
        sum -= term;
      }
    } else {
      sum -= term;
      if (sum <= 0) {
        ReportMessage(kLengthNegative);
        sum += term;
      }
    }
    if (!Accept(kTokCaret)) return sum;
    subtract = Accept(kTokMinus);
  }
}

// wait: 0 | length | nothing (the default wait)
int ReadWait() {
  if (AcceptZero()) return 0;
  const bool has_number = NextToken() == kTokNum;
  PushBackToken();
  return has_number ? ReadLength(false) : Track().default_wait;
}

// velocity: n (0..127)
int ReadVelocity() {
  if (NextToken() != kTokNum) {
    ReportMessage(kVelocityMissing);
    PushBackToken();
    return -1;
  }
  int velocity = TokenNumber();
  if (velocity > 127) {
    ReportMessage(kVelocityRange);
    velocity = 127;
  }
  return velocity;
}

// default length: 'l' length
void DefaultLengthCommand() {
  Track().default_length = ReadLength(false);
}

// default wait: 'w' [0 | length]
void DefaultWaitCommand() {
  Track().default_wait = ReadWait();
}

// gate: 'q' ['+' | '-'] (0 | length)
void GateCommand() {
  int code = NextToken();
  const bool relative = code == kTokPlus || code == kTokMinus;
  const bool negative = code == kTokMinus;
  if (!relative) PushBackToken();
  int ticks = 0;
  if (AcceptZero()) {
    if (!relative) ReportMessage(kGateZero);
  } else {
    ticks = ReadLength(false);
    if (negative) ticks = -ticks;
  }
  // A relative gate is stored as a signed 16-bit word.
  AppendEvent(relative ? kEventRelativeGate : kEventAbsoluteGate, 0, static_cast<uint16_t>(ticks));
}
