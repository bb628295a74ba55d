#include "shell/report_lines.h"

#include <gtest/gtest.h>

#include "support/text.h"

namespace {

std::optional<ReportPosition> P(int line, int column) {
  return ReportPosition{line, column};
}

TEST(ParseReportEntry, ReadsLineAndColumn) {
  EXPECT_EQ(ParseReportEntry(" 12 :   5 : Error x"), P(12, 5));
  EXPECT_EQ(ParseReportEntry("1234 : 5678 : Warning y"), P(1234, 5678));
  EXPECT_EQ(ParseReportEntry("\t3\t:\t4"), P(3, 4));
  EXPECT_EQ(ParseReportEntry("3:4x"), P(3, 4));
  EXPECT_EQ(ParseReportEntry(QString::fromUtf8("  0 :   0 : Error 未定義コマンドです")), P(0, 0));
}

TEST(ParseReportEntry, RefusesEntriesThatAreNoJumpTargets) {
  for (const char* entry : {"Object Size : 120 bytes", "Track 'A'      96 ticks       3 events",
                            " -1 :  -1 : Error x", " 12   5 : Error", " 12 : -5 : Error",
                            " 12 :", " 12 : x", "", "   ", "99999999999 : 1 : Error"}) {
    EXPECT_EQ(ParseReportEntry(entry), std::nullopt) << entry;
  }
}

TEST(ReportEntries, OneEntryPerReportLine) {
  EXPECT_EQ(SplitReportText("a\nb\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitReportText("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitReportText("").empty());
  QStringList entries = ReportEntries(Cp932FromUtf8("  1 :   2 : Error 未定義コマンドです\n"));
  EXPECT_EQ(entries, QStringList{QString::fromUtf8("  1 :   2 : Error 未定義コマンドです")});
}

}  // namespace
