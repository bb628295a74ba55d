#include "compiler/driver/driver.h"

#include <algorithm>
#include <new>
#include <string>

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

constexpr size_t kTrackNameBytes = 32;
constexpr int kMaxResolution = 65535;

struct Driver {
  SourceTable source;
  StringTable track_names;  // entry i: the first 32 bytes of track i's name
  int track_count = 0;
};

Driver& State() {
  return CompilationPartOf<Driver>(kPartDriver);
}

void ResetWorkAreas() {
  TrackEvents().Reset();
  ResetCommandTables();
  ResetSongBuffers();
  ClearCompilerReport();
  State().track_names.Clear();
  State().track_count = 0;
  State().source.Reset();
}

// Empties the work areas and reads the text into the source table.
void PrepareSource(const char* text) {
  ResetWorkAreas();
  ScanSourceLines(State().source, text != nullptr ? text : "");
  ClassifySourceLines(State().source);
  SetSourceTable(&State().source);
  ResetHighestSeverity();
}

// Line number of the first track line named name.
int FirstLineOfTrack(const std::string& name) {
  const SourceTable& source = State().source;
  for (int i = 0; i < source.LineCount(); ++i) {
    if (source.lines[i].kind == kLineTrack && name == source.Name(i)) {
      return source.lines[i].line_number;
    }
  }
  return -1;
}

// Selects the track after *previous and enters its name into the track name
// table. A track beyond the last slot is reported and ends the track loop.
bool SelectNextTrack(std::string* previous) {
  std::string name;
  if (!BeginTrack(*previous, &name)) return false;
  if (State().track_count >= EventTable::kSlotCount) {
    ReportMessageAt(0, FirstLineOfTrack(name), kTooManyTracks);
    return false;
  }
  *previous = name;
  State().track_names.AddString(name.substr(0, kTrackNameBytes));
  ++State().track_count;
  return true;
}

// Hands every loop-start record to CheckLoop; records made void on the way
// are skipped because each kind is read when the walk reaches it.
void CheckLoops() {
  EventTable& events = TrackEvents();
  for (int i = 0; i < events.Count(); ++i) {
    if (events.At(i).kind == kEventLoopStart) CheckLoop(events.At(i).value);
  }
}

void CompileTrack() {
  SetSourceMapTrack(State().track_count - 1);
  BeginTrackState();
  for (int code = NextToken(); code != kTokEnd; code = NextToken()) DispatchCommand(code);
  AppendEvent(kEventEndOfTrack, 0, 0);
  EndTrackPhases();
  CheckLoops();
  TrackEvents().SaveSlot();
}

void ConvertTrack(int track) {
  EventTable& events = TrackEvents();
  events.LoadSlot(track);
  AlignTrackPhases();
  SettleVoidTimes();
  events.StoreSlot(track);
  SetSourceMapTrack(track);
  CompileTrackStream();
  int ticks = events.Count() > 0 ? events.At(events.Count() - 1).time : 0;
  CompilerReport().AppendFormat("Track '%s'  %6d ticks  %6d events  %6d bytes.\n",
                                State().track_names.String(track), ticks, events.Count(),
                                static_cast<int>(TrackStream().Length()));
  AppendTrackStream();
}

uint16_t ResolutionForCommands() {
  return static_cast<uint16_t>(std::clamp(State().source.resolution, 1, kMaxResolution));
}

void ReleaseParts();

bool SetUpParts() {
  try {
    State();
    TrackEvents();
    CompilerReport();
    SongImage();
    TrackStream();
  } catch (const std::bad_alloc&) {
    ReleaseParts();
    return false;
  }
  return true;
}

int Compile(const char* text, SourceMap* map) {
  if (map) map->Clear();
  SetSourceMapRecorder(map);
  PrepareSource(text);
  MapSourceLines(State().source);
  SetResolution(ResolutionForCommands());
  std::string previous;
  while (SelectNextTrack(&previous)) CompileTrack();
  EndSongPhases();
  OrderPhases();
  BeginSongImage(ResolutionForCommands());
  for (int track = 0; track < State().track_count; ++track) ConvertTrack(track);
  FinishSongImage();
  CompilerReport().Append(0);
  SetSourceMapRecorder(nullptr);
  return HighestSeverity();
}

void ReleaseParts() {
  TrackEvents().Reset();
  ResetSongBuffers();
  ClearCompilerReport();
  CompilerReport().Append(0);
  State().track_count = 0;
}

const char* TrackName(int track) {
  if (track < 0 || track >= State().track_count) return "";
  return State().track_names.String(track);
}

const EventRecord* EventsOfTrack(int track, int* count) {
  *count = 0;
  if (track < 0 || track >= State().track_count || track > TrackEvents().LastUsedSlot()) {
    return nullptr;
  }
  const std::vector<EventRecord>& records = TrackEvents().Slot(track);
  *count = static_cast<int>(records.size());
  return records.data();
}

void ListTokens(const char* text, const std::function<void(const char* track_name)>& on_track,
                const std::function<void(int code)>& on_token) {
  PrepareSource(text);
  std::string previous;
  while (SelectNextTrack(&previous)) {
    on_track(State().track_names.String(State().track_count - 1));
    int code;
    do {
      code = NextToken();
      on_token(code);
    } while (code != kTokEnd);
  }
  CompilerReport().Append(0);
}

}  // namespace

CompilationParts::~CompilationParts() {
  for (int i = 0; i < kPartCount; ++i) {
    if (parts[i] != nullptr) destroy[i](parts[i]);
  }
}

namespace compilation_internal {
constinit thread_local CompilationParts* bound_parts = nullptr;

CompilationParts& DefaultParts() {
  static CompilationParts parts;
  return parts;
}
}  // namespace compilation_internal

Compilation::Compilation() : owned_(new CompilationParts), parts_(owned_.get()) {}
Compilation::Compilation(CompilationParts* parts) : parts_(parts) {}
Compilation::~Compilation() = default;

Compilation& Compilation::Default() {
  static Compilation compilation(&compilation_internal::DefaultParts());
  return compilation;
}

bool Compilation::SetUp() {
  BoundCompilation bound(*parts_);
  return SetUpParts();
}
int Compilation::Compile(const char* text, SourceMap* map) {
  BoundCompilation bound(*parts_);
  return ::Compile(text, map);
}
void Compilation::Release() {
  BoundCompilation bound(*parts_);
  ReleaseParts();
}
const uint8_t* Compilation::ImageBegin() const {
  BoundCompilation bound(*parts_);
  return SongImage().Begin();
}
size_t Compilation::ImageLength() const {
  BoundCompilation bound(*parts_);
  return SongImage().Length();
}
const char* Compilation::Report() const {
  BoundCompilation bound(*parts_);
  return reinterpret_cast<const char*>(CompilerReport().Begin());
}
int Compilation::TrackCount() const {
  BoundCompilation bound(*parts_);
  return State().track_count;
}
const char* Compilation::TrackName(int track) const {
  BoundCompilation bound(*parts_);
  return ::TrackName(track);
}
const EventRecord* Compilation::TrackEvents(int track, int* count) const {
  BoundCompilation bound(*parts_);
  return EventsOfTrack(track, count);
}
void Compilation::ListTokens(const char* text,
                             const std::function<void(const char* track_name)>& on_track,
                             const std::function<void(int code)>& on_token) {
  BoundCompilation bound(*parts_);
  ::ListTokens(text, on_track, on_token);
}

bool SetUpCompiler() {
  return Compilation::Default().SetUp();
}
int CompileScore(const char* text, SourceMap* map) {
  return Compilation::Default().Compile(text, map);
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
const EventRecord* CompiledTrackEvents(int track, int* count) {
  return Compilation::Default().TrackEvents(track, count);
}
void ListScoreTokens(const char* text, const std::function<void(const char* track_name)>& on_track,
                     const std::function<void(int code)>& on_token) {
  Compilation::Default().ListTokens(text, on_track, on_token);
}
