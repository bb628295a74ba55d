#include "player/chase.h"

#include <initializer_list>

namespace {

constexpr int kBankHigh = 0;
constexpr int kBankLow = 32;
constexpr int kFirstModeMessage = 120;  // 120..127: channel mode messages
constexpr int kResetAllControllers = 121;
constexpr int kModulation = 1;
constexpr int kDataEntryHigh = 6;
constexpr int kExpression = 11;
constexpr int kDataEntryLow = 38;
constexpr int kFirstPedal = 64;  // sustain, portamento, sostenuto, soft
constexpr int kLastPedal = 67;
constexpr int kNrpnLow = 98;  // 98, 99: NRPN select; 100, 101: RPN select
constexpr int kRpnLow = 100;
constexpr int kRpnHigh = 101;

bool IsParameterControl(int n) {
  return n == kDataEntryHigh || n == kDataEntryLow || (n >= kNrpnLow && n <= kRpnHigh);
}

// A controller's General MIDI value after a reset or a fresh start.
int16_t DefaultController(int n) {
  switch (n) {
    case 7:
      return 100;
    case 10:
      return 64;
    case kExpression:
      return 127;
    case kNrpnLow:
    case kNrpnLow + 1:
    case kRpnLow:
    case kRpnHigh:
      return 127;
    default:
      return 0;
  }
}

// Calls control(n) for every controller but the bank selects, in the order
// they are chased: rising numbers, then the parameter selects with the kind
// selected last going last, then their data entry, so that the data lands
// where the song put it.
template <typename Control>
void ForEachChasedController(bool rpn_selected_last, Control control) {
  for (int n = 1; n < kFirstModeMessage; ++n) {
    if (n != kBankLow && !IsParameterControl(n)) control(n);
  }
  const int first_select = rpn_selected_last ? kNrpnLow : kRpnLow;
  const int last_select = rpn_selected_last ? kRpnLow : kNrpnLow;
  for (int n : {first_select + 1, first_select, last_select + 1, last_select}) control(n);
  control(kDataEntryHigh);
  control(kDataEntryLow);
}

}  // namespace

void ChaseState::Clear() {
  for (Channel& c : channels_) {
    for (int16_t& v : c.controllers) v = -1;
    c.program = -1;
    c.bend_low = c.bend_high = -1;
    c.rpn_selected_last = true;
  }
  tempo_ = -1;
}

// Reset all controllers, as a General MIDI receiver takes it: modulation,
// expression, the four pedals, the parameter number selects and the bend go
// back to their reset values; volume, pan, bank, program, effect depths and
// the rest are kept. A controller the song never set stays unset.
void ChaseState::ResetControllers(Channel& c) {
  auto reset = [&](int n, int16_t value) {
    if (c.controllers[n] >= 0) c.controllers[n] = value;
  };
  reset(kModulation, DefaultController(kModulation));
  reset(kExpression, DefaultController(kExpression));
  for (int n = kFirstPedal; n <= kLastPedal; ++n) reset(n, DefaultController(n));
  for (int n = kNrpnLow; n <= kRpnHigh; ++n) reset(n, DefaultController(n));
  if (c.bend_low >= 0) {
    c.bend_low = 0;
    c.bend_high = 64;
  }
}

void ChaseState::TakeShort(const uint8_t* bytes, int length) {
  if (length < 2) return;
  Channel& c = channels_[bytes[0] & 15];
  const int kind = bytes[0] & 0xf0;
  if (kind == 0xc0) {
    c.program = bytes[1];
  } else if (kind == 0xe0 && length >= 3) {
    c.bend_low = bytes[1];
    c.bend_high = bytes[2];
  } else if (kind == 0xb0 && length >= 3) {
    const int number = bytes[1] & 127;
    if (number == kResetAllControllers) {
      ResetControllers(c);
    } else if (number < kFirstModeMessage) {
      c.controllers[number] = bytes[2];
      if (number >= kNrpnLow && number <= kRpnHigh) c.rpn_selected_last = number >= kRpnLow;
    }
  }
}

void ChaseState::Replay(ChaseTarget& out) const {
  if (tempo_ >= 0) out.SendAttribute(0, 128, tempo_);
  for (int ch = 0; ch < 16; ++ch) {
    const Channel& c = channels_[ch];
    const uint8_t cc = static_cast<uint8_t>(0xb0 | ch);
    auto control = [&](int n) {
      if (c.controllers[n] < 0) return;
      const uint8_t bytes[3] = {cc, static_cast<uint8_t>(n),
                                static_cast<uint8_t>(c.controllers[n])};
      out.SendShort(bytes, 3);
    };
    control(kBankHigh);
    control(kBankLow);
    if (c.program >= 0) {
      const uint8_t bytes[2] = {static_cast<uint8_t>(0xc0 | ch), static_cast<uint8_t>(c.program)};
      out.SendShort(bytes, 2);
    }
    ForEachChasedController(c.rpn_selected_last, control);
    if (c.bend_low >= 0) {
      const uint8_t bytes[3] = {static_cast<uint8_t>(0xe0 | ch), static_cast<uint8_t>(c.bend_low),
                                static_cast<uint8_t>(c.bend_high)};
      out.SendShort(bytes, 3);
    }
  }
}

void ChaseState::SendChangesFrom(const ChaseState& before, ChaseTarget& out) const {
  for (int ch = 0; ch < 16; ++ch) {
    const Channel& now = channels_[ch];
    const Channel& was = before.channels_[ch];
    auto value = [](int16_t v, int16_t fallback) { return v >= 0 ? v : fallback; };
    auto control = [&](int n) {
      if (now.controllers[n] < 0 && was.controllers[n] < 0) return;
      const int16_t v = value(now.controllers[n], DefaultController(n));
      if (v == value(was.controllers[n], DefaultController(n))) return;
      const uint8_t bytes[3] = {static_cast<uint8_t>(0xb0 | ch), static_cast<uint8_t>(n),
                                static_cast<uint8_t>(v)};
      out.SendShort(bytes, 3);
    };
    const bool bank_changed =
        value(now.controllers[kBankHigh], 0) != value(was.controllers[kBankHigh], 0) ||
        value(now.controllers[kBankLow], 0) != value(was.controllers[kBankLow], 0);
    const bool program_changed = value(now.program, 0) != value(was.program, 0);
    if (bank_changed || program_changed) {
      // A bank select takes effect with the next program change, so both go.
      for (int n : {kBankHigh, kBankLow}) {
        if (!bank_changed) break;
        const uint8_t bytes[3] = {static_cast<uint8_t>(0xb0 | ch), static_cast<uint8_t>(n),
                                  static_cast<uint8_t>(value(now.controllers[n], 0))};
        out.SendShort(bytes, 3);
      }
      const uint8_t bytes[2] = {static_cast<uint8_t>(0xc0 | ch),
                                static_cast<uint8_t>(value(now.program, 0))};
      out.SendShort(bytes, 2);
    }
    ForEachChasedController(now.rpn_selected_last, control);
    const int bend_now = now.bend_low >= 0 ? now.bend_low | now.bend_high << 7 : 8192;
    const int bend_was = was.bend_low >= 0 ? was.bend_low | was.bend_high << 7 : 8192;
    if (bend_now != bend_was) {
      const uint8_t bytes[3] = {static_cast<uint8_t>(0xe0 | ch),
                                static_cast<uint8_t>(bend_now & 127),
                                static_cast<uint8_t>(bend_now >> 7)};
      out.SendShort(bytes, 3);
    }
  }
}
