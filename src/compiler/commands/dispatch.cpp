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

CommandsPart& Commands(CompileContext& cc) {
  return cc.commands;
}

// The name token's text lives in the reader's buffer, which the attribute
// command overwrites as soon as it reads on; hand it a copy.
void NamedAttributeCommand(CompileContext& cc) {
  const std::string name = TokenText(cc);
  AttributeCommand(cc, name.c_str());
}

}  // namespace

int32_t ClampTicks(CompileContext& cc, int64_t ticks) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (ticks < 0) return 0;
  if (ticks <= kMax) return static_cast<int32_t>(ticks);
  if (!Commands(cc).too_long_reported) ReportMessage(cc, kTrackTooLong);
  Commands(cc).too_long_reported = true;
  return static_cast<int32_t>(kMax);
}

TrackState& Track(CompileContext& cc) {
  return cc.commands.track;
}
uint16_t Resolution(const CompileContext& cc) {
  return cc.commands.resolution;
}
void SetResolution(CompileContext& cc, uint16_t resolution) {
  cc.commands.resolution = resolution;
}

void ResetCommandTables(CompileContext& cc) {
  ResetLoopTable(cc);
  ResetAttributes(cc);
  ResetPhaseTable(cc);
}

void BeginTrackState(CompileContext& cc) {
  CommandsPart& commands = Commands(cc);
  commands.track = TrackState{};
  commands.too_long_reported = false;
  commands.track.default_length = commands.resolution >> 2;
  commands.track.bar_length = commands.resolution >> 2;
  ResetLoopNesting(cc);
  ResetAttributeValues(cc);
  cc.events.ClearWorking();
  AppendEvent(cc, kEventStartOfTrack, 0, 0);
}

void AppendEvent(CompileContext& cc, int kind, int aux, int value) {
  cc.events.Append(EventRecord{cc.commands.track.position, static_cast<uint8_t>(kind),
                               static_cast<uint8_t>(aux), static_cast<uint16_t>(value), -1, -1});
}

void DispatchCommand(CompileContext& cc, int code) {
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
      NoteCommand(cc, code);
      break;
    case kTokR:
      RestCommand(cc);
      break;
    case kTokO:
    case kTokLess:
    case kTokGreater:
      OctaveCommand(cc, code);
      break;
    case kTokBar:
      BarLineCommand(cc);
      break;
    case kTokU:
      BarLengthCommand(cc);
      break;
    case kTokCh:
    case kTokChm:
    case kTokChi:
    case kTokChe:
      ChannelCommand(cc, code);
      break;
    case kTokTone:
      AppendEvent(cc, kEventNotesRelease, 0, 0);
      break;
    case kTokHit:
      AppendEvent(cc, kEventNotesHeld, 0, 0);
      break;
    case kTokL:
      DefaultLengthCommand(cc);
      break;
    case kTokW:
      DefaultWaitCommand(cc);
      break;
    case kTokQ:
      GateCommand(cc);
      break;
    case kTokLeftBracket:
      LoopStartCommand(cc);
      break;
    case kTokRightBracket:
      LoopEndCommand(cc);
      break;
    case kTokSlash:
      LoopBreakCommand(cc);
      break;
    case kTokName:
      NamedAttributeCommand(cc);
      break;
    case kTokV:
      AttributeCommand(cc, "Vel");
      break;
    case kTokT:
      AttributeCommand(cc, "Tmp");
      break;
    case kTokLeftBrace:
      DirectOutCommand(cc);
      break;
    case kTokK:
    case kTokBackslash:
      KeyCommand(cc, code);
      break;
    case kTokAt:
      ProgramCommand(cc);
      break;
    case kTokString:
      PhaseMarkCommand(cc);
      break;
    default:
      // A number, a sign or a mark that starts no command; the token is gone.
      ReportMessage(cc, kUndefinedCommand);
      break;
  }
}
