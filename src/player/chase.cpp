#include "player/chase.h"

namespace {

constexpr int kBankHigh = 0;
constexpr int kBankLow = 32;
constexpr int kFirstModeMessage = 120;  // 120..127: channel mode messages
constexpr int kResetAllControllers = 121;

}  // namespace

void ChaseState::Clear() {
  for (Channel& c : channels_) {
    for (int16_t& v : c.controllers) v = -1;
    c.program = -1;
    c.bend_low = c.bend_high = -1;
  }
  tempo_ = -1;
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
      // The reset leaves bank and program alone and centres the bend.
      for (int n = 1; n < kFirstModeMessage; ++n) {
        if (n != kBankLow) c.controllers[n] = -1;
      }
      c.bend_low = c.bend_high = -1;
    } else if (number < kFirstModeMessage) {
      c.controllers[number] = bytes[2];
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
    for (int n = 1; n < kFirstModeMessage; ++n) {
      if (n != kBankLow) control(n);
    }
    if (c.bend_low >= 0) {
      const uint8_t bytes[3] = {static_cast<uint8_t>(0xe0 | ch), static_cast<uint8_t>(c.bend_low),
                                static_cast<uint8_t>(c.bend_high)};
      out.SendShort(bytes, 3);
    }
  }
}
