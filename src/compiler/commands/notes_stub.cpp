// Placeholder for dispatch, notes, lengths and loops; replaced as they are
// built.
#include "compiler/commands/commands.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/report.h"
#include "compiler/song/events.h"

namespace {
constexpr char kUndefinedCommand[] = "EE\x96\xa2\x92\xe8\x8b`\x83R\x83}\x83\x93\x83h\x82\xc5\x82\xb7";
TrackState g_track;
uint16_t g_resolution = 192;
}  // namespace

TrackState& Track() { return g_track; }
uint16_t Resolution() { return g_resolution; }
void SetResolution(uint16_t resolution) { g_resolution = resolution; }
void ResetCommandTables() {
  ResetLoopTable();
  ResetAttributes();
  ResetPhaseTable();
}
void BeginTrackState() {
  g_track = TrackState{};
  g_track.default_length = g_track.bar_length = g_resolution >> 2;
  ResetLoopNesting();
  ResetAttributeValues();
  TrackEvents().ClearWorking();
  AppendEvent(kEventStartOfTrack, 0, 0);
}
void DispatchCommand(int) { ReportMessage(kUndefinedCommand); }
void AppendEvent(int kind, int aux, int value) {
  TrackEvents().Append(EventRecord{g_track.position, static_cast<uint8_t>(kind),
                                   static_cast<uint8_t>(aux), static_cast<uint16_t>(value), -1,
                                   -1});
}
LoopRecord* LoopAt(int) { return nullptr; }
int ReadLength(bool) { return g_track.default_length; }
int ReadWait() { return g_track.default_wait; }
int ReadVelocity() { return -1; }
void ResetLoopNesting() {}
void ResetLoopTable() {}
