#include "diagnostics/diagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "テ" in Shift-JIS: a lead byte and a trail byte.
const std::string kTe = "\x83\x65";

struct ColumnCase {
  const char* what;
  std::string score;
  int line;
  int byte_column;
  int character_column;
};

TEST(DiagnosticsTest, CharacterColumnsCountShiftJisCharactersOfTheReportedLine) {
  const std::vector<ColumnCase> cases = {
      {"ASCII only", "A c d x", 0, 6, 6},
      {"after a double-byte character", "A " + kTe + " x", 0, 5, 4},
      {"inside a double-byte character", "A " + kTe + " x", 0, 3, 2},
      {"half-width katakana count once", "A \xb6\xc0 x", 0, 5, 5},
      {"carriage returns are not counted", "A\r\n" + kTe + "\r x\r\n", 1, 3, 2},
      {"past the line's end, one per byte", "A c", 0, 5, 5},
      {"a lead byte at the line's end", "A \x83", 0, 3, 3},
      {"a lead byte without its trail byte", "A \x81 x", 0, 4, 4},
      {"a line beyond the text", "A c", 7, 4, 4},
  };
  for (const ColumnCase& c : cases) {
    const std::string report =
        "  " + std::to_string(c.line) + " : " + std::to_string(c.byte_column) + " : Error X\n";
    const std::vector<Diagnostic> d = ReadDiagnostics(report, c.score);
    ASSERT_EQ(d.size(), 1u) << c.what;
    EXPECT_EQ(d[0].line, c.line) << c.what;
    EXPECT_EQ(d[0].byte_column, c.byte_column) << c.what;
    EXPECT_EQ(d[0].character_column, c.character_column) << c.what;
  }
}

TEST(DiagnosticsTest, ReadsEveryMessageLineAndNothingElse) {
  const std::string report =
      "  0 :   2 : Warning W1\n"
      "Track 'A'      48 ticks       3 events       3 bytes.\n"
      "1234 : 5678 : Fatal F1\n"
      " -1 :  -1 : Error E1\n"
      "  3 :   0 :  plain\n"
      "Object Size : 20 bytes\n";
  const std::vector<Diagnostic> d = ReadDiagnostics(report, "");
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[0].severity, "warning");
  EXPECT_EQ(d[0].message, "W1");
  EXPECT_EQ(d[1].severity, "fatal");
  EXPECT_EQ(d[1].line, 1234);
  EXPECT_EQ(d[1].byte_column, 5678);
  EXPECT_EQ(d[2].line, -1);
  EXPECT_EQ(d[2].character_column, -1);
  EXPECT_EQ(d[3].severity, "note");
  EXPECT_EQ(d[3].message, "plain");
}

TEST(DiagnosticsTest, GccAndJsonForms) {
  const std::string report = "  1 :   3 : Error " + kTe + "\n -1 :  -1 : Fatal F\n";
  const std::vector<Diagnostic> d = ReadDiagnostics(report, "A\nB " + kTe + "x");
  EXPECT_EQ(FormatGccDiagnostics(d, "s.qrn"),
            "s.qrn:2:3: error: テ\n"
            "s.qrn: fatal error: F\n");
  EXPECT_EQ(FormatJsonDiagnostics(d),
            R"([{"line":1,"column":3,"byte_column":3,"character_column":2,"severity":"error",)"
            R"("message":"テ"},{"line":-1,"column":-1,"byte_column":-1,"character_column":-1,)"
            R"("severity":"fatal","message":"F"}])"
            "\n");
  EXPECT_EQ(FormatJsonDiagnostics({}), "[]\n");
}

TEST(DiagnosticsTest, BytesThatAreNotShiftJisStillGiveValidJson) {
  const std::vector<Diagnostic> d = ReadDiagnostics("  0 :   0 : Error \x83\n", "");
  ASSERT_EQ(d.size(), 1u);
  EXPECT_NE(FormatJsonDiagnostics(d).find(R"("message":"?")"), std::string::npos);
}

}  // namespace
