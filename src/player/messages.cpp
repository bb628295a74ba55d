#include "player/messages.h"

#include "player/chase.h"

namespace {

constexpr uint8_t kTemplateEscape = 253;

uint8_t Status(int base, int channel) {
  return static_cast<uint8_t>(base + (channel & 15));
}

}  // namespace

void MessageBuilder::SetAttributeTemplates(const uint8_t* const* entries, int count) {
  templates_ = entries;
  template_count_ = entries ? count : 0;
}

void MessageBuilder::SendShort(const uint8_t* bytes, int length) {
  if (capture_) {
    capture_->TakeShort(bytes, length);
  } else if (sink_) {
    sink_->SendShort(bytes, length);
  }
}

void MessageBuilder::SendNoteOn(int channel, int note, int velocity) {
  const uint8_t bytes[3] = {Status(144, channel), static_cast<uint8_t>(note),
                            static_cast<uint8_t>(velocity)};
  SendShort(bytes, 3);
}

void MessageBuilder::SendNoteOff(int channel, int note) {
  const uint8_t bytes[3] = {Status(144, channel), static_cast<uint8_t>(note), 0};
  SendShort(bytes, 3);
}

void MessageBuilder::SendProgram(int channel, int program, int bank) {
  if (bank >= 0 && bank <= 16383) {
    const uint8_t high[3] = {Status(176, channel), 0, static_cast<uint8_t>(bank / 128)};
    const uint8_t low[3] = {Status(176, channel), 32, static_cast<uint8_t>(bank % 128)};
    SendShort(high, 3);
    SendShort(low, 3);
  }
  if (program >= 0 && program < 128) {
    const uint8_t bytes[2] = {Status(192, channel), static_cast<uint8_t>(program)};
    SendShort(bytes, 2);
  }
}

void MessageBuilder::SendAttribute(int channel, int number, int value) {
  if (number >= 0 && number <= 127) {
    const uint8_t bytes[3] = {Status(176, channel), static_cast<uint8_t>(number),
                              static_cast<uint8_t>(value)};
    SendShort(bytes, 3);
  } else if (number == 128) {
    SetTempo(value);
    if (capture_) {
      capture_->TakeTempo(value);
    } else if (sink_) {
      sink_->SetTempo(value);
    }
  } else if (number == 130) {
    const uint8_t bytes[3] = {Status(224, channel), 0, static_cast<uint8_t>(value)};
    SendShort(bytes, 3);
  } else if (number >= 131 && number - 131 < template_count_) {
    SendTemplate(channel, templates_[number - 131], value);
  }
}

void MessageBuilder::SendTemplate(int channel, const uint8_t* tmpl, int value) {
  if (capture_ || !sink_) return;  // a silent run keeps no long messages
  const int length = BuildTemplateMessage(tmpl, channel, value, long_buffer_);
  if (length == 0) return;
  sink_->SendLong(long_buffer_, length);
}

double MessageBuilder::TickLengthMs() const {
  // A tempo of 0 would make a tick endless and freeze the song: take it as 1.
  const int tempo = Tempo() < 1 ? 1 : Tempo();
  const int resolution = Resolution() < 1 ? 192 : Resolution();
  return 240000.0 / (static_cast<double>(tempo) * resolution);
}

int BuildTemplateMessage(const uint8_t* tmpl, int channel, int value, uint8_t* out) {
  const int n = tmpl[0];
  const uint8_t* bytes = tmpl + 1;
  int length = 0;
  uint8_t checksum = 0;
  auto append = [&](uint8_t b) {
    out[length++] = b;
    checksum = static_cast<uint8_t>(checksum + b);
  };
  for (int i = 0; i < n; ++i) {
    uint8_t b = bytes[i];
    if (b == kTemplateEscape) {
      if (++i >= n) break;  // an escape cut off by the length carries no code
      switch (bytes[i]) {
        case 0:
          append(kTemplateEscape);
          break;
        case 1:
          checksum = 0;
          break;
        case 2:
          append(static_cast<uint8_t>((128 - checksum % 128) % 128));
          break;
        case 3:
          append(static_cast<uint8_t>(value));
          break;
        default:
          break;
      }
      continue;
    }
    if (b >= 128 && b <= 239) b = static_cast<uint8_t>(b | (channel & 15));
    append(b);
  }
  return length;
}
