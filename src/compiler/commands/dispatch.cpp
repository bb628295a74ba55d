// Command dispatch: the track state, the per-track reset and the table that
// sends each first token of a command to its handler.
#include <limits>
#include <string>

#include "compiler/catalogue/messages.h"
#include "compiler/commands/commands.h"
#include "compiler/commands/ticks.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"

namespace {

struct CommandState {
  TrackState track;
  uint16_t resolution = 192;
  bool too_long_reported = false;  // once per track
};

CommandState& Commands() {
  return CompilationPartOf<CommandState>(kPartCommands);
}

// The name token's text lives in the reader's buffer, which the attribute
// command overwrites as soon as it reads on; hand it a copy.
void NamedAttributeCommand() {
  const std::string name = TokenText();
  AttributeCommand(name.c_str());
}

}  // namespace

int32_t ClampTicks(int64_t ticks) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (ticks < 0) return 0;
  if (ticks <= kMax) return static_cast<int32_t>(ticks);
  if (!Commands().too_long_reported) ReportMessage(kTrackTooLong);
  Commands().too_long_reported = true;
  return static_cast<int32_t>(kMax);
}

TrackState& Track() {
  return Commands().track;
}
uint16_t Resolution() {
  return Commands().resolution;
}
void SetResolution(uint16_t resolution) {
  Commands().resolution = resolution;
}

void ResetCommandTables() {
  ResetLoopTable();
  ResetAttributes();
  ResetPhaseTable();
}

void BeginTrackState() {
  Commands().track = TrackState{};
  Commands().too_long_reported = false;
  Commands().track.default_length = Commands().resolution >> 2;
  Commands().track.bar_length = Commands().resolution >> 2;
  ResetLoopNesting();
  ResetAttributeValues();
  TrackEvents().ClearWorking();
  AppendEvent(kEventStartOfTrack, 0, 0);
}

void AppendEvent(int kind, int aux, int value) {
  TrackEvents().Append(EventRecord{Commands().track.position, static_cast<uint8_t>(kind),
                                   static_cast<uint8_t>(aux), static_cast<uint16_t>(value), -1,
                                   -1});
}

void DispatchCommand(int code) {
  switch (code) {
    case kTokC:
    case kTokD:
    case kTokE:
    case kTokF:
    case kTokG:
    case kTokA:
    case kTokB:
    case kTokTilde:
    case kTokUnderscore:
      NoteCommand(code);
      break;
    case kTokR:
      RestCommand();
      break;
    case kTokO:
    case kTokLess:
    case kTokGreater:
      OctaveCommand(code);
      break;
    case kTokBar:
      BarLineCommand();
      break;
    case kTokU:
      BarLengthCommand();
      break;
    case kTokCh:
    case kTokChm:
    case kTokChi:
    case kTokChe:
      ChannelCommand(code);
      break;
    case kTokTone:
      AppendEvent(kEventNotesRelease, 0, 0);
      break;
    case kTokHit:
      AppendEvent(kEventNotesHeld, 0, 0);
      break;
    case kTokL:
      DefaultLengthCommand();
      break;
    case kTokW:
      DefaultWaitCommand();
      break;
    case kTokQ:
      GateCommand();
      break;
    case kTokLeftBracket:
      LoopStartCommand();
      break;
    case kTokRightBracket:
      LoopEndCommand();
      break;
    case kTokSlash:
      LoopBreakCommand();
      break;
    case kTokName:
      NamedAttributeCommand();
      break;
    case kTokV:
      AttributeCommand("Vel");
      break;
    case kTokT:
      AttributeCommand("Tmp");
      break;
    case kTokLeftBrace:
      DirectOutCommand();
      break;
    case kTokK:
    case kTokBackslash:
      KeyCommand(code);
      break;
    case kTokAt:
      ProgramCommand();
      break;
    case kTokString:
      PhaseMarkCommand();
      break;
    default:
      // A number, a sign or a mark that starts no command; the token is gone.
      ReportMessage(kUndefinedCommand);
      break;
  }
}
