#include "shell/html.h"

#include <gtest/gtest.h>

#include "support/text.h"

namespace {

std::string Html1(std::string_view s) {
  return ConvertToHtml(s, HtmlForm::kEscaped);
}
std::string Html2(std::string_view s) {
  return ConvertToHtml(s, HtmlForm::kLineBreaks);
}

TEST(Html, EscapesWithoutSemicolons) {
  EXPECT_EQ(Html1("a<b&c\r\n"), "a&ltb&ampc\r\n");
  EXPECT_EQ(Html2("a<b&c\r\n"), "a&ltb&ampc<BR>\r\n");
  EXPECT_EQ(Html1(">>\r\n"), "&gt&gt\r\n");
  EXPECT_EQ(Html1(" \t x\r\n"), " \t x\r\n");
}

TEST(Html, EveryBrokenLineGetsItsBreakTagAndTheLastLineAlwaysEnds) {
  EXPECT_EQ(Html2("a\r\n\r\nb"), "a<BR>\r\n<BR>\r\nb\r\n");
  EXPECT_EQ(Html1("a\r\n\r\nb"), "a\r\n\r\nb\r\n");
  EXPECT_EQ(Html2("a\r\n"), "a<BR>\r\n");
  EXPECT_EQ(Html2("\r\n"), "<BR>\r\n");
  // CR alone is dropped; a text of nothing but CR gives nothing.
  EXPECT_EQ(Html1("a\rb"), "ab\r\n");
  EXPECT_EQ(Html1("\r"), "");
}

TEST(Html, EmptyTextGivesEmptyText) {
  EXPECT_EQ(Html1(""), "");
  EXPECT_EQ(Html2(""), "");
}

TEST(Html, DoubleByteCharactersPassThrough) {
  std::string sjis = Cp932FromUtf8("ソ表<能>\r\n");  // trail bytes 5C hex
  EXPECT_EQ(Utf8FromCp932(Html1(sjis)), "ソ表&lt能&gt\r\n");
}

TEST(Html, EditorTextConvertsWithoutAnEncoding) {
  auto html = [](const char* utf8, HtmlForm form) {
    return ConvertToHtml(QString::fromUtf8(utf8), form).toStdString();
  };
  EXPECT_EQ(html("a<b&c\n😀>\n\nlast", HtmlForm::kLineBreaks),
            "a&ltb&ampc<BR>\r\n😀&gt<BR>\r\n<BR>\r\nlast\r\n");
  EXPECT_EQ(html("a\n", HtmlForm::kEscaped), "a\r\n");
  EXPECT_EQ(html("", HtmlForm::kLineBreaks), "");
}

TEST(Html, TextDenseInAmpersandsAndBreaksConvertsWhole) {
  std::string text(100000, '&');
  std::string out = Html1(text);
  EXPECT_EQ(out.size(), 400002u);
  EXPECT_EQ(out.size(), HtmlOutputSize(text, HtmlForm::kEscaped));
  EXPECT_EQ(out.substr(399996), "&amp\r\n");
  std::string breaks(50000, '\n');
  EXPECT_EQ(Html2(breaks).size(), 300000u);
  EXPECT_EQ(HtmlOutputSize(breaks, HtmlForm::kLineBreaks), 300000u);
}

}  // namespace
