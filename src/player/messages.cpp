#include "player/messages.h"

#include <atomic>

#include "player/chase.h"
#include "player/player.h"

namespace {

std::atomic<bool> g_ready{true};
std::atomic<int> g_resolution{192};
std::atomic<int> g_tempo{120};

const uint8_t* const* g_templates = nullptr;
int g_template_count = 0;

// One buffer serves every long message: a template yields at most 255 bytes.
uint8_t g_long_buffer[256];

constexpr uint8_t kTemplateEscape = 253;

void SendBytes(uint8_t a, uint8_t b, uint8_t c) {
  const uint8_t bytes[3] = {a, b, c};
  if (ChaseState* capture = MessageCapture()) {
    capture->TakeShort(bytes, 3);
    return;
  }
  CurrentMidiOutput().SendShort(bytes, 3);
}

uint8_t Status(int base, int channel) {
  return static_cast<uint8_t>(base + (channel & 15));
}

}  // namespace

void SetAttributeTemplates(const uint8_t* const* entries, int count) {
  g_templates = entries;
  g_template_count = entries ? count : 0;
}

void SendNoteOn(int channel, int note, int velocity) {
  SendBytes(Status(144, channel), static_cast<uint8_t>(note), static_cast<uint8_t>(velocity));
}

void SendNoteOff(int channel, int note) {
  SendBytes(Status(144, channel), static_cast<uint8_t>(note), 0);
}

void SendProgram(int channel, int program, int bank) {
  if (bank >= 0 && bank <= 16383) {
    SendBytes(Status(176, channel), 0, static_cast<uint8_t>(bank / 128));
    SendBytes(Status(176, channel), 32, static_cast<uint8_t>(bank % 128));
  }
  if (program >= 0 && program < 128) {
    const uint8_t bytes[2] = {Status(192, channel), static_cast<uint8_t>(program)};
    if (ChaseState* capture = MessageCapture()) {
      capture->TakeShort(bytes, 2);
    } else {
      CurrentMidiOutput().SendShort(bytes, 2);
    }
  }
}

void SendAttribute(int channel, int number, int value) {
  if (number >= 0 && number <= 127) {
    SendBytes(Status(176, channel), static_cast<uint8_t>(number), static_cast<uint8_t>(value));
  } else if (number == 128) {
    SetTempo(value);
    if (ChaseState* capture = MessageCapture()) {
      capture->TakeTempo(value);
    } else {
      CurrentMidiOutput().SetTempo(value);
    }
  } else if (number == 130) {
    SendBytes(Status(224, channel), 0, static_cast<uint8_t>(value));
  } else if (number >= 131 && number - 131 < g_template_count) {
    SendTemplate(channel, g_templates[number - 131], value);
  }
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

void SendTemplate(int channel, const uint8_t* tmpl, int value) {
  if (MessageCapture()) return;  // a silent run keeps no long messages
  const int length = BuildTemplateMessage(tmpl, channel, value, g_long_buffer);
  if (length == 0) return;
  g_ready.store(false);
  // An output that refuses the message never reports it done; song time
  // would stand still until playback stops, so the flag comes back now.
  if (!CurrentMidiOutput().SendLong(g_long_buffer, length)) g_ready.store(true);
}

void MarkLongMessageDone() {
  g_ready.store(true);
}

bool OutputReady() {
  return g_ready.load();
}

void SetSongResolution(int ticks_per_whole_note) {
  g_resolution.store(ticks_per_whole_note);
}
int SongResolution() {
  return g_resolution.load();
}

void SetTempo(int quarters_per_minute) {
  g_tempo.store(quarters_per_minute);
}
int CurrentTempo() {
  return g_tempo.load();
}

double TickLengthMs() {
  // A tempo of 0 would make a tick endless and freeze the song: take it as 1.
  const int tempo = g_tempo.load() < 1 ? 1 : g_tempo.load();
  const int resolution = g_resolution.load() < 1 ? 192 : g_resolution.load();
  return 240000.0 / (static_cast<double>(tempo) * resolution);
}
