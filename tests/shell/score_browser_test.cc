#include "shell/score_browser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "shell/score_file.h"
#include "support/text.h"

namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

TEST(TitleFromText, TakesTheQuotedTextOfTheFirstUsableTitleLine) {
  EXPECT_EQ(TitleFromText("#title \"Song\" rest\r\nA c"), "Song");
  EXPECT_EQ(TitleFromText("A c\n#title\t \t\"Tabs\"\n"), "Tabs");
  EXPECT_EQ(TitleFromText("#title \"No end\r\n#title \"Second\""), "No end");
  // The byte after "#title" is passed over whatever it is: a quote there
  // does not open the title.
  EXPECT_EQ(TitleFromText("#title\"Skipped\"\n#title \"Next\""), "Next");
  EXPECT_EQ(TitleFromText("#title\" \"Blank\""), "Blank");
  EXPECT_EQ(TitleFromText("#title Bare\n#TITLE \"Caps\"\n #title \"Indented\""), "");
  EXPECT_EQ(TitleFromText("#title"), "");
  EXPECT_EQ(TitleFromText("#title \""), "");
  EXPECT_EQ(TitleFromText(""), "");
}

TEST(DisplayLine, NamePaddedTo20BytesThenTheTitle) {
  EXPECT_EQ(DisplayLine("a.qrn", "T"), "a.qrn               T");
  EXPECT_EQ(DisplayLine("abcdefghijklmnop.qrn", "T"), "abcdefghijklmnop.qrnT");
  EXPECT_EQ(DisplayLine("abcdefghijklmnopq.qrn", "T"), "abcdefghijklmnopq.qrnT");
  // Double-byte characters take two bytes of the width.
  EXPECT_EQ(DisplayLine(U("曲.qrn"), U("題")), U("曲.qrn              題"));
  EXPECT_EQ(DisplayLine("x.qrn", ""), "x.qrn               ");
}

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = NormaliseBrowseDirectory(dir_.path());
    QDir d(root_);
    for (const char* sub : {"ab", "abc", "Bee", ".hidden", "ab/inner"}) ASSERT_TRUE(d.mkpath(sub));
    Write("ab.qrn", "#title \"Short\"\r\n");
    Write("abc.qrn", "#title \"Long\"\r\n");
    Write("ABD.QRN", Cp932FromUtf8("#title \"大文字\"\r\n"));
    Write("utf8.qrn", "#title \"曲名\"\n");
    Write("notes.txt", "#title \"no\"");
    Write(".hid.qrn", "#title \"no\"");
    Write("ab/inner.qrn", "");
  }
  void Write(const char* name, const std::string& bytes) {
    ASSERT_TRUE(WriteFileAtomically(root_ + name, bytes));
  }

  QTemporaryDir dir_;
  QString root_;
};

TEST_F(BrowserTest, ListsDirectoriesThenScoreFilesEachSortedIgnoringCase) {
  Listing l = ListDirectory(root_);
  EXPECT_EQ(l.directory, root_);
  EXPECT_EQ(l.DisplayLines().join(u'|'), U("[..]|[ab]|[abc]|[Bee]|"
                                           "ab.qrn              Short|abc.qrn             Long|"
                                           "ABD.QRN             大文字|utf8.qrn            曲名"));
  EXPECT_EQ(l.DirectoryCount(), 4);
  EXPECT_EQ(l.FileCount(), 4);
  EXPECT_EQ(BrowserCaption(l.directory), "Quern File VIew[" + root_ + "]");
}

TEST_F(BrowserTest, AByteOrderMarkDoesNotHideTheTitleOfTheFirstLine) {
  Write("ab/bom.qrn", "\xEF\xBB\xBF#title \"\xE6\x9B\xB2\"\r\n");
  EXPECT_EQ(ReadTitle(root_ + "ab/", "bom.qrn"), U("bom.qrn             曲"));
}

TEST_F(BrowserTest, EachLineOpensTheEntryItShows) {
  ScoreBrowser b;
  b.set_browse_directory(root_ + "ab/../.");
  b.Refresh();
  EXPECT_EQ(b.browse_directory(), root_);
  ScoreBrowser::Choice c = b.OpenSelected(5);  // abc.qrn, whose name begins with ab
  EXPECT_EQ(c.kind, ScoreBrowser::Choice::kChoseFile);
  EXPECT_EQ(c.path, root_ + "abc.qrn");
  EXPECT_EQ(b.OpenSelected(4).path, root_ + "ab.qrn");
  EXPECT_EQ(b.OpenSelected(-1).kind, ScoreBrowser::Choice::kNothing);
  EXPECT_EQ(b.OpenSelected(8).kind, ScoreBrowser::Choice::kNothing);

  c = b.OpenSelected(2);  // [abc]
  EXPECT_EQ(c.kind, ScoreBrowser::Choice::kEnteredDirectory);
  EXPECT_EQ(b.browse_directory(), root_ + "abc/");
  EXPECT_EQ(b.listing().DisplayLines(), QStringList{"[..]"});
  EXPECT_EQ(b.SelectionToShow(), 0);
  b.OpenSelected(0);  // [..]
  EXPECT_EQ(b.browse_directory(), root_);
  b.OpenSelected(1);  // [ab]
  EXPECT_EQ(b.listing().DisplayLines().join(u'|'), U("[..]|[inner]|inner.qrn           "));
}

TEST_F(BrowserTest, RememberedSelectionBeyondTheListingSelectsNothing) {
  ScoreBrowser b;
  b.set_browse_directory(root_);
  b.Refresh();
  b.Close(7);
  EXPECT_EQ(b.SelectionToShow(), 7);
  b.set_browse_directory(root_ + "abc");
  b.Refresh();
  EXPECT_EQ(b.SelectionToShow(), -1);
  b.Close(-1);
  EXPECT_EQ(b.remembered_selection(), -1);
}

TEST_F(BrowserTest, AFolderThatDoesNotExistListsItsNearestExistingParent) {
  ScoreBrowser b;
  b.StartWith(root_ + "ab/not/made/song.qrn");
  EXPECT_EQ(b.current_file_path(), root_ + "ab/not/made/song.qrn");
  b.Refresh();
  EXPECT_EQ(b.browse_directory(), root_ + "ab/");
  EXPECT_EQ(b.listing().DisplayLines().join(u'|'), U("[..]|[inner]|inner.qrn           "));
}

TEST_F(BrowserTest, AFolderThatCannotBeReadStillLeadsBackOut) {
  QFile locked(root_ + "abc");
  ASSERT_TRUE(locked.setPermissions(QFileDevice::Permissions()));
  if (!QDir(root_ + "abc").entryList(QDir::AllEntries).isEmpty()) {
    locked.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    GTEST_SKIP() << "permissions do not bind this user";
  }
  ScoreBrowser b;
  b.set_browse_directory(root_ + "abc");
  b.Refresh();
  EXPECT_EQ(b.listing().DisplayLines(), QStringList{"[..]"});
  b.OpenSelected(0);
  EXPECT_EQ(b.browse_directory(), root_);
  locked.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(BrowserTest, StartWithTheCommandLinesFile) {
  ScoreBrowser b;
  QString old = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(root_ + "ab"));
  b.StartWith("../abc.qrn");
  QDir::setCurrent(old);
  EXPECT_EQ(b.current_file_path(), root_ + "abc.qrn");
  EXPECT_EQ(b.browse_directory(), root_);
}

TEST(Browser, RootHasNoParentLineAndEmptyMeansWorkingDirectory) {
  EXPECT_FALSE(ListDirectory("/").DisplayLines().contains("[..]"));
  EXPECT_EQ(NormaliseBrowseDirectory(""), QDir::currentPath() + "/");
  EXPECT_EQ(NormaliseBrowseDirectory("/a/b/../c/./"), "/a/c/");
  EXPECT_EQ(NormaliseBrowseDirectory("/"), "/");
  EXPECT_EQ(ListDirectory("/no/such/directory/").LineCount(), 0);
}

}  // namespace
