#include "compiler/driver/driver.h"

#include <algorithm>
#include <new>
#include <span>
#include <string>
#include <utility>

#include "compiler/catalogue/messages.h"
#include "compiler/commands/commands.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/driver/source_lines.h"
#include "compiler/driver/work_areas.h"
#include "compiler/reader/reader.h"
#include "compiler/song/events.h"
#include "compiler/song/song.h"
#include "compiler/song/source_map.h"

namespace {

constexpr int kMaxResolution = 65535;

DriverPart& State(CompileContext& cc) {
  return cc.driver;
}

void ResetWorkAreas(CompileContext& cc) {
  cc.events.Reset();
  ResetCommandTables(cc);
  ResetSongBuffers(cc);
  ClearCompilerReport(cc);
  State(cc).track_names.Clear();
  State(cc).full_track_names.clear();
  State(cc).track_count = 0;
  State(cc).source.Reset();
}

// Empties the work areas and reads the text (a const char* or a std::string
// to take over) into the source table.
template <typename Text>
void PrepareSource(CompileContext& cc, Text&& text) {
  SourceTable& source = State(cc).source;
  ResetWorkAreas(cc);
  ScanSourceLines(source, std::forward<Text>(text));
  ClassifySourceLines(source);
  cc.events.ReserveFor(source.text.size());
  SetSourceTable(cc, &source);
  ResetHighestSeverity(cc);
  // A cut line loses what stands behind the limit: said where it is cut.
  for (int32_t line : source.cut_lines) {
    ReportMessageAt(cc, static_cast<int>(kMaxSourceLineBytes), line, kLineTooLong);
  }
}

// Line number of the first track line named name.
int FirstLineOfTrack(const SourceTable& source, const std::string& name) {
  for (int i = 0; i < source.LineCount(); ++i) {
    if (source.lines[i].kind == kLineTrack && name == source.Name(i)) {
      return source.lines[i].line_number;
    }
  }
  return -1;
}

// Selects the track after *previous and enters its name into the track name
// table. A track beyond the last slot is reported and ends the track loop.
bool SelectNextTrack(CompileContext& cc, std::string* previous) {
  DriverPart& driver = State(cc);
  std::string name;
  if (!BeginTrack(cc, *previous, &name)) return false;
  if (driver.track_count >= EventTable::kSlotCount) {
    ReportMessageAt(cc, 0, FirstLineOfTrack(driver.source, name), kTooManyTracks);
    return false;
  }
  *previous = name;
  driver.track_names.AddString(name.substr(0, kShownTrackNameBytes));
  driver.full_track_names.push_back(name);
  ++driver.track_count;
  return true;
}

// Hands every loop-start record to CheckLoop; records made void on the way
// are skipped because each kind is read when the walk reaches it.
void CheckLoops(CompileContext& cc) {
  const EventTable& events = cc.events;
  for (int i = 0; i < events.Count(); ++i) {
    if (events.At(i).kind == kEventLoopStart) CheckLoop(cc, events.At(i).value);
  }
}

void CompileTrack(CompileContext& cc) {
  SetSourceMapTrack(cc, State(cc).track_count - 1);
  BeginTrackState(cc);
  for (int code = NextToken(cc); code != kTokEnd; code = NextToken(cc)) DispatchCommand(cc, code);
  AppendEvent(cc, kEventEndOfTrack, 0, 0);
  EndTrackPhases(cc);
  CheckLoops(cc);
  cc.events.SaveSlot();
}

uint16_t ResolutionForCommands(const CompileContext& cc) {
  return static_cast<uint16_t>(std::clamp(cc.driver.source.resolution, 1, kMaxResolution));
}

void ConvertTrack(CompileContext& cc, int track) {
  EventTable& events = cc.events;
  events.LoadSlot(track);
  AlignTrackPhases(cc);
  SettleVoidTimes(cc);
  events.StoreSlot(track);
  SetSourceMapTrack(cc, track);
  CompileTrackStream(cc, ResolutionForCommands(cc));
  int ticks = events.Count() > 0 ? events.At(events.Count() - 1).time : 0;
  CompilerReport(cc).AppendFormat("Track '%s'  %6d ticks  %6d events  %6d bytes.\n",
                                  State(cc).track_names.String(track), ticks, events.Count(),
                                  static_cast<int>(TrackStream(cc).Length()));
  AppendTrackStream(cc);
}

template <typename Text>
int CompileText(CompileContext& cc, Text&& text, SourceMap* map) {
  if (map) map->Clear();
  SetSourceMapRecorder(cc, map);
  PrepareSource(cc, std::forward<Text>(text));
  MapSourceLines(cc, State(cc).source);
  SetResolution(cc, ResolutionForCommands(cc));
  std::string previous;
  while (SelectNextTrack(cc, &previous)) CompileTrack(cc);
  EndSongPhases(cc);
  OrderPhases(cc);
  BeginSongImage(cc, ResolutionForCommands(cc));
  for (int track = 0; track < State(cc).track_count; ++track) ConvertTrack(cc, track);
  FinishSongImage(cc, AttributeDefinitionList(cc), DirectOutList(cc), GradualChangeList(cc));
  CompilerReport(cc).Append(0);
  SetSourceMapRecorder(cc, nullptr);
  return HighestSeverity(cc);
}

void ReleaseSong(CompileContext& cc) {
  cc.events.Release();
  ResetSongBuffers(cc);
  ClearCompilerReport(cc);
  CompilerReport(cc).Append(0);
  State(cc).track_count = 0;
}

ListedToken ListedTokenOf(const CompileContext& cc, int code) {
  return ListedToken{code, TokenLine(cc), TokenColumn(cc), TokenNumber(cc), TokenText(cc)};
}

int ListTextTokens(CompileContext& cc, const char* text,
                   const std::function<void(const char* track_name)>& on_track,
                   const std::function<void(const ListedToken& token)>& on_token) {
  PrepareSource(cc, text);
  std::string previous;
  while (SelectNextTrack(cc, &previous)) {
    on_track(State(cc).track_names.String(State(cc).track_count - 1));
    int code;
    do {
      code = NextToken(cc);
      on_token(ListedTokenOf(cc, code));
    } while (code != kTokEnd);
  }
  CompilerReport(cc).Append(0);
  return HighestSeverity(cc);
}

constexpr uint8_t kNoBytes[1] = {0};

}  // namespace

Compilation::Compilation() = default;
Compilation::~Compilation() = default;

Compilation& Compilation::Default() {
  static Compilation compilation;
  return compilation;
}

CompileContext& Compilation::Context() {
  // Default-initialised, not value-initialised: the work areas are written
  // before they are read, and zeroing the whole context first would only
  // touch memory.
  if (!context_) context_.reset(new CompileContext);
  return *context_;
}

bool Compilation::SetUp() {
  try {
    Context();
  } catch (const std::bad_alloc&) {
    context_.reset();
    return false;
  }
  return true;
}
int Compilation::Compile(const char* text, SourceMap* map) {
  return CompileText(Context(), text, map);
}
int Compilation::Compile(std::string&& text, SourceMap* map) {
  return CompileText(Context(), std::move(text), map);
}
void Compilation::Release() {
  if (context_) ReleaseSong(*context_);
}
const uint8_t* Compilation::ImageBegin() const {
  return context_ ? SongImage(*context_).Begin() : kNoBytes;
}
size_t Compilation::ImageLength() const {
  return context_ ? SongImage(*context_).Length() : 0;
}
const char* Compilation::Report() const {
  return context_ ? reinterpret_cast<const char*>(CompilerReport(*context_).Begin()) : "";
}
int Compilation::TrackCount() const {
  return context_ ? context_->driver.track_count : 0;
}
const char* Compilation::TrackName(int track) const {
  if (!context_ || track < 0 || track >= context_->driver.track_count) return "";
  return context_->driver.track_names.String(track);
}
const std::string& Compilation::FullTrackName(int track) const {
  static const std::string kNone;
  if (!context_ || track < 0 || track >= context_->driver.track_count) return kNone;
  return context_->driver.full_track_names[track];
}
const EventRecord* Compilation::TrackEvents(int track, int* count) const {
  *count = 0;
  if (!context_ || track < 0 || track >= context_->driver.track_count ||
      track > context_->events.LastUsedSlot()) {
    return nullptr;
  }
  const std::span<const EventRecord> records = context_->events.Slot(track);
  *count = static_cast<int>(records.size());
  return records.data();
}
int Compilation::ListTokens(const char* text,
                            const std::function<void(const char* track_name)>& on_track,
                            const std::function<void(const ListedToken& token)>& on_token) {
  return ListTextTokens(Context(), text, on_track, on_token);
}

bool SetUpCompiler() {
  return Compilation::Default().SetUp();
}
int CompileScore(const char* text, SourceMap* map) {
  return Compilation::Default().Compile(text, map);
}
int CompileScore(std::string&& text, SourceMap* map) {
  return Compilation::Default().Compile(std::move(text), map);
}
void ReleaseCompiler() {
  Compilation::Default().Release();
}
const uint8_t* SongImageBegin() {
  return Compilation::Default().ImageBegin();
}
size_t SongImageLength() {
  return Compilation::Default().ImageLength();
}
const char* ReportText() {
  return Compilation::Default().Report();
}
int CompiledTrackCount() {
  return Compilation::Default().TrackCount();
}
const char* CompiledTrackName(int track) {
  return Compilation::Default().TrackName(track);
}
const std::string& CompiledTrackFullName(int track) {
  return Compilation::Default().FullTrackName(track);
}
const EventRecord* CompiledTrackEvents(int track, int* count) {
  return Compilation::Default().TrackEvents(track, count);
}
int ListScoreTokens(const char* text, const std::function<void(const char* track_name)>& on_track,
                    const std::function<void(const ListedToken& token)>& on_token) {
  return Compilation::Default().ListTokens(text, on_track, on_token);
}
