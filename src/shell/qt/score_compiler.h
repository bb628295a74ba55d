// The compile driver as the main window uses it. The application uses the
// driver itself; tests hand in a subclass with scripted results, so that
// the windows are tested apart from the language.
#ifndef QUERN_SHELL_QT_SCORE_COMPILER_H_
#define QUERN_SHELL_QT_SCORE_COMPILER_H_

#include <cstdint>
#include <string_view>

#include "compiler/driver/driver.h"

class ScoreCompiler {
 public:
  virtual ~ScoreCompiler() = default;
  virtual void SetUp() { SetUpCompiler(); }
  // Returns the highest severity.
  virtual int Compile(const char* text) { return CompileScore(text, source_map_); }
  virtual std::basic_string_view<uint8_t> Image() { return {SongImageBegin(), SongImageLength()}; }
  virtual const char* Report() { return ReportText(); }
  virtual void Release() { ReleaseCompiler(); }
  // Where Compile records the places of the notes; nullptr: nowhere.
  void SetSourceMap(SourceMap* map) { source_map_ = map; }

 protected:
  SourceMap* source_map_ = nullptr;
};

#endif  // QUERN_SHELL_QT_SCORE_COMPILER_H_
