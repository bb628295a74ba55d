// Diagnostics: severity from the first byte, the report line format.
#include <gtest/gtest.h>

#include <string>

#include "compiler/driver/report.h"
#include "compiler/driver/work_areas.h"
#include "compile_helpers.h"

namespace {

class ReportTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearCompilerReport();
    ResetHighestSeverity();
  }
};

TEST_F(ReportTest, LineFormatAndSeverityWords) {
  ReportMessageAt(12, 5, Cp932FromUtf8("EE未定義コマンドです").c_str());
  ReportMessageAt(0, 1234, Cp932FromUtf8("WW\\ が使われています").c_str());
  ReportMessageAt(4000, 7, "FFfatal");
  ReportMessageAt(3, 2, "--plain");
  ReportMessageAt(-1, -1, Cp932FromUtf8("EE小節の順序に不整合があります").c_str());
  EXPECT_EQ(
      "  5 :  12 : Error 未定義コマンドです\n"
      "1234 :   0 : Warning \\ が使われています\n"
      "  7 : 4000 : Fatal fatal\n"
      "  2 :   3 :  plain\n"
      " -1 :  -1 : Error 小節の順序に不整合があります\n",
      ReportBufferUtf8());
}

TEST_F(ReportTest, HighestSeverity) {
  EXPECT_EQ(0, HighestSeverity());
  ReportMessageAt(0, 0, "--note");
  EXPECT_EQ(0, HighestSeverity());
  ReportMessageAt(0, 0, "WWwarning");
  ReportMessageAt(0, 0, "WWwarning");
  EXPECT_EQ(2, HighestSeverity());
  ReportMessageAt(0, 0, "EEerror");
  ReportMessageAt(0, 0, "WWwarning");
  EXPECT_EQ(3, HighestSeverity());
  ReportMessageAt(0, 0, "FFfatal");
  ReportMessageAt(0, 0, "EEerror");
  EXPECT_EQ(4, HighestSeverity());
  ResetHighestSeverity();
  EXPECT_EQ(0, HighestSeverity());
}

TEST_F(ReportTest, ShortMessagesLoseNoMoreThanTheirPrefix) {
  ReportMessageAt(0, 0, "E");
  ReportMessageAt(0, 0, "");
  EXPECT_EQ("  0 :   0 : Error \n  0 :   0 :  \n", ReportBufferUtf8());
}

TEST_F(ReportTest, TheReportGrowsPastItsInitialCapacity) {
  std::string long_message = "WW" + std::string(1000, 'x');
  for (int i = 0; i < 1000; ++i) ReportMessageAt(i, i, long_message.c_str());
  std::string text = ReportBufferUtf8();
  EXPECT_EQ(1000u * 1021, text.size());  // 20 bytes of fields, the text, a line feed
  EXPECT_EQ("999 : 999 : Warning " + std::string(1000, 'x') + "\n",
            text.substr(text.size() - 1021));
}

TEST_F(ReportTest, MessagesBeyondTheCapAreCountedButNotWritten) {
  const std::string cap_line = " -1 :  -1 : Error メッセージが多すぎます（以降は省略）\n";
  for (int i = 0; i < kMaxReportedMessages; ++i) ReportMessageAt(i, 1, "WWw");
  EXPECT_EQ(std::string::npos, ReportBufferUtf8().find(cap_line));  // exactly at the cap

  ReportMessageAt(7, 7, "WWfirst left out");
  EXPECT_EQ(2, HighestSeverity());  // the cap line is no error of the score
  for (int i = 0; i < 5000; ++i) ReportMessageAt(7, 7, "WWleft out");
  ReportMessageAt(7, 7, "EEleft out");
  EXPECT_EQ(3, HighestSeverity());
  const std::string text = ReportBufferUtf8();
  EXPECT_EQ(kMaxReportedMessages + 1, Occurrences(text, "\n"));
  EXPECT_EQ("  1 : 999 : Warning w\n" + cap_line, text.substr(text.rfind("  1 : 999 :")));

  ClearCompilerReport();
  ReportMessageAt(0, 0, "WWw");
  EXPECT_EQ("  0 :   0 : Warning w\n", ReportBufferUtf8());
}

}  // namespace
