// Test helpers: what the reader yields for a score, written as text.
#ifndef QUERN_TESTS_COMPILER_TOKEN_LISTING_H_
#define QUERN_TESTS_COMPILER_TOKEN_LISTING_H_

#include <string>

#include "compiler/driver/driver.h"
#include "compiler/reader/reader.h"
#include "support/text.h"

// One line per track: "A: c 4 N:Vel \"text\" ..." with the tokens that
// NextToken yields up to #END (not shown). Numbers show their value, names
// are "N:" and their text, quoted texts stand in quotes.
inline std::string TrackTokens(const std::string& score) {
  std::string out;
  ListScoreTokens(
      score.c_str(),
      [&out](const char* name) {
        if (!out.empty()) out += "\n";
        out += std::string(name) + ":";
      },
      [&out](int code) {
        if (code == kTokEnd) return;
        out += " ";
        if (code == kTokNum) {
          out += std::to_string(TokenNumber());
        } else if (code == kTokName) {
          out += std::string("N:") + TokenText();
        } else if (code == kTokString) {
          out += std::string("\"") + TokenText() + "\"";
        } else {
          out += TokenName(code);
        }
      });
  return out;
}

// The listing of `quern tokens`: "Track NAME", then "LINE:COL NAME[ value]".
inline std::string TokenListing(const std::string& score) {
  std::string out;
  ListScoreTokens(
      score.c_str(), [&out](const char* name) { out += std::string("Track ") + name + "\n"; },
      [&out](int code) {
        out += std::to_string(TokenLine()) + ":" + std::to_string(TokenColumn()) + " " +
               TokenName(code);
        if (code == kTokNum) out += " " + std::to_string(TokenNumber());
        if (code == kTokName || code == kTokString) out += std::string(" ") + TokenText();
        out += "\n";
      });
  return out;
}

// The compiler report of the last compilation or listing, in UTF-8.
inline std::string ReportUtf8() {
  return Utf8FromCp932(ReportText());
}

#endif  // QUERN_TESTS_COMPILER_TOKEN_LISTING_H_
