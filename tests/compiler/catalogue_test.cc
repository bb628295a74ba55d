// The message catalogue: the generated Shift-JIS constants hold exactly the
// texts written in messages.txt, every name once.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "compiler/catalogue/message_table.h"
#include "support/text.h"

namespace {

struct Written {
  std::string name;
  std::string text;  // UTF-8
};

// The entries as the catalogue's own format defines them: "#" lines and blank
// lines skipped, the name up to the first blank, the text after the blanks.
std::vector<Written> ReadCatalogue() {
  std::ifstream in(QUERN_MESSAGE_CATALOGUE, std::ios::binary);
  EXPECT_TRUE(in) << QUERN_MESSAGE_CATALOGUE;
  std::vector<Written> entries;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t blank = line.find_first_of(" \t");
    size_t text = line.find_first_not_of(" \t", blank);
    if (blank == std::string::npos || text == std::string::npos) {
      ADD_FAILURE() << "malformed line: " << line;
      continue;
    }
    entries.push_back({line.substr(0, blank), line.substr(text)});
  }
  return entries;
}

TEST(MessageCatalogue, EveryTextSurvivesShiftJisAndEveryNameIsUnique) {
  std::vector<Written> written = ReadCatalogue();
  ASSERT_EQ(written.size(), std::size(kCatalogueMessages));
  std::set<std::string> names;
  for (size_t i = 0; i < written.size(); ++i) {
    const CatalogueMessage& made = kCatalogueMessages[i];
    SCOPED_TRACE(written[i].name);
    EXPECT_EQ(made.name, written[i].name);
    EXPECT_TRUE(names.insert(written[i].name).second) << "given twice";
    EXPECT_EQ(Utf8FromCp932(made.bytes), written[i].text);
    EXPECT_EQ(Cp932FromUtf8(written[i].text), made.bytes);
    // The report reads the first byte as the severity.
    EXPECT_NE(std::string("EWF").find(made.bytes.front()), std::string::npos);
  }
}

TEST(MessageCatalogue, ConstantsHoldTheReportedBytes) {
  // A message with half-width katakana, a full-width tilde and brackets, as
  // the report has always written it.
  EXPECT_EQ(
      std::string(kVelocityRange),
      "EE\xcd\xde\xdb\xbc\xc3\xa8\x92l\x82\xaa\x94\xcd\x88\xcd\x8aO\x82\xc5\x82\xb7(0 \x81` 127)");
  EXPECT_EQ(std::string(kBackslash), Cp932FromUtf8("WW\\ が使われています"));
}

}  // namespace
