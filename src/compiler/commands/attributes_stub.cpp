// Placeholder for the attribute, program, key and phase commands; replaced
// as they are built.
#include "compiler/commands/commands.h"
#include "compiler/commands/track_state.h"
#include "compiler/driver/report.h"
#include "compiler/driver/work_areas.h"

namespace {
constexpr char kUndefinedCommand[] = "EE\x96\xa2\x92\xe8\x8b`\x83R\x83}\x83\x93\x83h\x82\xc5\x82\xb7";
StringTable& List(int i) {
  static StringTable lists[3];
  return lists[i];
}
}  // namespace

void AttributeCommand(const char*) { ReportMessage(kUndefinedCommand); }
void DirectOutCommand() { ReportMessage(kUndefinedCommand); }
void ResetAttributeValues() {}
void ResetAttributes() {
  for (int i = 0; i < 3; ++i) List(i).Clear();
}
void ProgramCommand() { ReportMessage(kUndefinedCommand); }
void KeyCommand(int) { ReportMessage(kUndefinedCommand); }
void PhaseMarkCommand() { ReportMessage(kUndefinedCommand); }
void ResetPhaseTable() {}
StringTable& AttributeDefinitionList() { return List(0); }
StringTable& DirectOutList() { return List(1); }
StringTable& GradualChangeList() { return List(2); }
int AddPhaseMark(const char*, int) { return -1; }
void EndTrackPhases() {}
void EndSongPhases() {}
bool OrderPhases() { return true; }
int PhaseTime(int) { return -1; }
void AlignTrackPhases() {}
