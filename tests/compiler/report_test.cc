// Diagnostics: severity from the first byte, the report line format.
#include <gtest/gtest.h>

#include <string>

#include "compile_helpers.h"
#include "compiler/driver/compilation.h"
#include "compiler/driver/report.h"
#include "compiler/driver/work_areas.h"

namespace {

class ReportTest : public testing::Test {
 protected:
  CompileContext cc_;
};

TEST_F(ReportTest, LineFormatAndSeverityWords) {
  ReportMessageAt(cc_, 12, 5, Cp932FromUtf8("EE未定義コマンドです").c_str());
  ReportMessageAt(cc_, 0, 1234, Cp932FromUtf8("WW\\ が使われています").c_str());
  ReportMessageAt(cc_, 4000, 7, "FFfatal");
  ReportMessageAt(cc_, 3, 2, "--plain");
  ReportMessageAt(cc_, -1, -1, Cp932FromUtf8("EE小節の順序に不整合があります").c_str());
  EXPECT_EQ(
      "  5 :  12 : Error 未定義コマンドです\n"
      "1234 :   0 : Warning \\ が使われています\n"
      "  7 : 4000 : Fatal fatal\n"
      "  2 :   3 :  plain\n"
      " -1 :  -1 : Error 小節の順序に不整合があります\n",
      ReportBufferUtf8(cc_));
}

TEST_F(ReportTest, HighestSeverity) {
  EXPECT_EQ(0, HighestSeverity(cc_));
  ReportMessageAt(cc_, 0, 0, "--note");
  EXPECT_EQ(0, HighestSeverity(cc_));
  ReportMessageAt(cc_, 0, 0, "WWwarning");
  ReportMessageAt(cc_, 0, 0, "WWwarning");
  EXPECT_EQ(2, HighestSeverity(cc_));
  ReportMessageAt(cc_, 0, 0, "EEerror");
  ReportMessageAt(cc_, 0, 0, "WWwarning");
  EXPECT_EQ(3, HighestSeverity(cc_));
  ReportMessageAt(cc_, 0, 0, "FFfatal");
  ReportMessageAt(cc_, 0, 0, "EEerror");
  EXPECT_EQ(4, HighestSeverity(cc_));
  ResetHighestSeverity(cc_);
  EXPECT_EQ(0, HighestSeverity(cc_));
}

TEST_F(ReportTest, ShortMessagesLoseNoMoreThanTheirPrefix) {
  ReportMessageAt(cc_, 0, 0, "E");
  ReportMessageAt(cc_, 0, 0, "");
  EXPECT_EQ("  0 :   0 : Error \n  0 :   0 :  \n", ReportBufferUtf8(cc_));
}

TEST_F(ReportTest, TheReportGrowsPastItsInitialCapacity) {
  std::string long_message = "WW" + std::string(1000, 'x');
  for (int i = 0; i < 1000; ++i) ReportMessageAt(cc_, i, i, long_message.c_str());
  std::string text = ReportBufferUtf8(cc_);
  EXPECT_EQ(1000u * 1021, text.size());  // 20 bytes of fields, the text, a line feed
  EXPECT_EQ("999 : 999 : Warning " + std::string(1000, 'x') + "\n",
            text.substr(text.size() - 1021));
}

TEST_F(ReportTest, MessagesBeyondTheCapAreCountedButNotWritten) {
  const std::string cap_line = " -1 :  -1 : Error メッセージが多すぎます（以降は省略）\n";
  for (int i = 0; i < kMaxReportedMessages; ++i) ReportMessageAt(cc_, i, 1, "WWw");
  EXPECT_EQ(std::string::npos, ReportBufferUtf8(cc_).find(cap_line));  // exactly at the cap

  ReportMessageAt(cc_, 7, 7, "WWfirst left out");
  EXPECT_EQ(2, HighestSeverity(cc_));  // the cap line is no error of the score
  for (int i = 0; i < 5000; ++i) ReportMessageAt(cc_, 7, 7, "WWleft out");
  ReportMessageAt(cc_, 7, 7, "EEleft out");
  EXPECT_EQ(3, HighestSeverity(cc_));
  const std::string text = ReportBufferUtf8(cc_);
  EXPECT_EQ(kMaxReportedMessages + 1, Occurrences(text, "\n"));
  EXPECT_EQ("  1 : 999 : Warning w\n" + cap_line, text.substr(text.rfind("  1 : 999 :")));

  ClearCompilerReport(cc_);
  ReportMessageAt(cc_, 0, 0, "WWw");
  EXPECT_EQ("  0 :   0 : Warning w\n", ReportBufferUtf8(cc_));
}

}  // namespace
