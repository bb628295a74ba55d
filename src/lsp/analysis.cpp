#include "lsp/analysis.h"

#include "compiler/driver/driver.h"
#include "diagnostics/diagnostics.h"
#include "files/score_text.h"
#include "live/play_range.h"
#include "lsp/text_lines.h"

namespace {

int Severity(const std::string& word) {
  if (word == "error" || word == "fatal") return 1;
  return word == "warning" ? 2 : 3;
}

// One character's range at a report place; the whole of line 0 for a place
// outside the text (a message about the whole song).
TextRange RangeAt(const Document& document, int line, int shift_jis_column) {
  if (line < 0 || line >= document.LineCount() || shift_jis_column < 0) {
    return {{0, 0}, {0, Utf16Length(document.Line(0))}};
  }
  const std::string_view text = document.Line(line);
  const int start = Utf16OfShiftJis(text, shift_jis_column);
  const size_t byte = ByteOfUtf16(text, start);
  int end = start;
  if (byte < text.size()) {
    size_t next = byte;
    end += NextCodePoint(text, &next) > 0xffff ? 2 : 1;
  }
  return {{line, start}, {line, end}};
}

std::string Utf8Of(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
  return out;
}

}  // namespace

Analysis Analyse(Compilation& compilation, const Document& document) {
  Analysis analysis;
  analysis.version = document.Version();
  ScoreBytes bytes = EncodeScoreUtf8(document.Text(), ScoreFormat{});
  const size_t nul = bytes.bytes.find('\0');
  if (nul != std::string::npos) bytes.bytes.resize(nul);
  std::string report;
  if (compilation.SetUp()) {
    std::string text = bytes.bytes;
    analysis.severity = compilation.Compile(std::move(text), &analysis.map);
    report = compilation.Report();
    analysis.image.assign(compilation.ImageBegin(),
                          compilation.ImageBegin() + compilation.ImageLength());
    for (int t = 0; t < compilation.TrackCount(); ++t) {
      analysis.track_names.emplace_back(compilation.TrackName(t));
    }
    compilation.Release();
  } else {
    analysis.severity = 4;
    analysis.diagnostics.push_back(
        {RangeAt(document, -1, -1), 1, "the compiler could not allocate its work areas"});
  }
  for (const Diagnostic& d : ReadDiagnostics(report, bytes.bytes)) {
    analysis.diagnostics.push_back(
        {RangeAt(document, d.line, d.byte_column), Severity(d.severity), d.message});
  }
  if (bytes.unencodable > 0) {
    const TextPlace& at = bytes.first_unencodable_in_bytes;
    analysis.diagnostics.push_back({RangeAt(document, at.line, at.column), 2,
                                    std::to_string(bytes.unencodable) +
                                        " character(s) have no Shift-JIS form and compile as "
                                        "\"?\", the first being \"" +
                                        Utf8Of(bytes.first_unencodable_character) + "\""});
  }
  return analysis;
}

void ScanNotes(Analysis* analysis) {
  if (analysis->notes_scanned) return;
  analysis->notes_scanned = true;
  if (analysis->image.empty()) return;
  ScanStruckNotes(analysis->image.data(), analysis->image.size(), kScanTicks,
                  [analysis](const StruckNote& struck) {
                    const NoteSource* source = analysis->map.Find(struck.track, struck.offset);
                    if (source == nullptr) return true;
                    NoteFacts& facts = analysis->notes[source->place];
                    // The sequencer strikes score time 0 at its tick 1.
                    if (facts.times++ == 0) {
                      facts = {struck.track, struck.note,     struck.channel,
                               struck.gate,  struck.tick - 1, 1};
                    }
                    return true;
                  });
}

std::string BarBeat(const SourceMap& map, int track, int64_t tick) {
  const BarPosition at = BarBeatAt(tick, map.BarLength(track), map.Resolution());
  std::string text = std::to_string(at.bar) + ":" + std::to_string(at.beat);
  if (at.rest != 0) text += "+" + std::to_string(at.rest);
  return text;
}
