// The sales order lookup: TfrmSalesOrderEntry and TfrmUpzChoices over a real archive folder.
// The archive found is handed to a recording callback; tests/app/test_archive.cpp follows it
// into the main window.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "app/salesorderentry.h"
#include "app/upzchoices.h"
#include "settings/preferences.h"
#include "tests/files/filetestsupport.h"
#include "tests/panel/ptypair.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"
#include "ui/pictures.h"
#include "ui/wall.h"

namespace {

const QString kNoNumber = QStringLiteral("        -  ");

class SalesOrderLookup : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    savedCurrent = QDir::currentPath();
    frmPreferences = &preferences;
    frmUpzChoices = &choices;
    preferences.eDefaultUpz->SetText(dir.path() + "/");
    entry.SetOpenArchive([this](const QString& path) { opened.push_back(path); });
  }
  void TearDown() override {
    frmPreferences = nullptr;
    frmUpzChoices = nullptr;
    QDir::setCurrent(savedCurrent);
    GuiTest::TearDown();
  }

  QString Path(const QString& name) const { return dir.filePath(name); }
  void Touch(const QString& name) { WriteBytes(QFile::encodeName(Path(name)).toStdString(), "archive"); }

  // Runs `action` once the choices dialog shows, after noting what it offers.
  void WhenChoicesShow(std::function<void()> action) {
    WhenShown(&choices, [this, action] {
      ++choicesShown;
      for (int i = 0; i < choices.flbUpzChoices->count(); ++i) offered << choices.flbUpzChoices->item(i)->text();
      selectedAtShow = choices.flbUpzChoices->ItemIndex();
      action();
    });
  }

  Watchdog watchdog{std::chrono::seconds(60)};
  QTemporaryDir dir;
  QString savedCurrent;
  TfrmPreferences preferences;
  TfrmUpzChoices choices;
  TfrmSalesOrderEntry entry;
  std::vector<QString> opened;
  int choicesShown = 0;
  QStringList offered;
  int selectedAtShow = -2;
};

void ExpectFlatGlyphButton(QToolButton* button, const QString& caption, const QString& hint) {
  EXPECT_EQ(button->text(), caption);
  EXPECT_EQ(button->toolTip(), hint);
  EXPECT_TRUE(button->autoRaise());
  EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
  ASSERT_FALSE(button->icon().isNull());
  EXPECT_NE(button->icon().pixmap(16, QIcon::Normal).toImage(), button->icon().pixmap(16, QIcon::Disabled).toImage());
}

void ExpectTiledBackground(QDialog& dialog, TWallpaper* wallpaper) {
  dialog.show();
  QApplication::processEvents();
  EXPECT_EQ(wallpaper->geometry(), dialog.rect());
  EXPECT_EQ(wallpaper->Wallpaper().toImage(), Picture("tile128").toImage());
  dialog.hide();
}

TEST_F(SalesOrderLookup, EntryDialogControls) {
  EXPECT_EQ(entry.windowTitle(), "Enter Sales Order Number");
  EXPECT_EQ(entry.eSalesOrderNumber->EditMask(), "99999999-99;1;_");
  EXPECT_EQ(entry.eSalesOrderNumber->Text(), kNoNumber);
  EXPECT_EQ(entry.eSalesOrderNumber->displayText(), "________-__");
  ExpectFlatGlyphButton(entry.cmdOk, "Ok", "Accept Changes");
  ExpectFlatGlyphButton(entry.cmdCancel, "Cancel", "Cancel Changes");
  ExpectTiledBackground(entry, entry.wpBackground);
}

TEST_F(SalesOrderLookup, ChoicesDialogControls) {
  EXPECT_EQ(choices.windowTitle(), "Select File");
  EXPECT_EQ(choices.flbUpzChoices->selectionMode(), QAbstractItemView::SingleSelection);
  ExpectFlatGlyphButton(choices.cmdOk, "Ok", "Accept Changes");
  ExpectFlatGlyphButton(choices.cmdCancel, "Cancel", "Cancel Changes");
  ExpectTiledBackground(choices, choices.wpBackground);
}

struct NameCase {
  const char* name;
  QString number;
  QString folder;  // "@" stands for the test's folder
  QString first;
  QString second;
  QString orderPart;
  std::int64_t line;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class ArchiveNames : public SalesOrderLookup, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ArchiveNames, BothVariantsWithOrderPartAndLine) {
  const NameCase& c = GetParam();
  QString folder = c.folder;
  folder.replace("@", dir.path());
  preferences.eDefaultUpz->SetText(folder);
  entry.eSalesOrderNumber->SetText(c.number);
  QString expectedFirst = c.first, expectedSecond = c.second;
  expectedFirst.replace("@", dir.path());
  expectedSecond.replace("@", dir.path());

  entry.BuildArchiveName(ArchiveVariant::kFirst);
  EXPECT_EQ(entry.ArchivePath(), expectedFirst);
  EXPECT_EQ(entry.OrderPart(), c.orderPart);
  EXPECT_EQ(entry.LineNumber(), c.line);
  entry.BuildArchiveName(ArchiveVariant::kSecond);
  EXPECT_EQ(entry.ArchivePath(), expectedSecond);
}

INSTANTIATE_TEST_SUITE_P(
    SalesOrderNumbers, ArchiveNames,
    ::testing::Values(
        NameCase{"WorkedExample", "98123456-02", "@/", "@/52n9c1jl.upz", "@/52n9c1jm.upz", "98123456", 2},
        NameCase{"LineOneGivesOneName", "98123456-01", "@/", "@/52n9c0rt.upz", "@/52n9c0rt.upz", "98123456", 1},
        NameCase{"LineFortySevenWraps", "98123456-47", "@/", "@/52n9c09l.upz", "@/52n9c0av.upz", "98123456", 47},
        NameCase{"AllNines", "99999999-99", "@/", "@/6lflr4e1.upz", "@/6lflr4gr.upz", "99999999", 99},
        NameCase{"AllZeros", "00000000-00", "@/", "@/70000001.upz", "@/70000000.upz", "00000000", 0},
        NameCase{"ShortOrderPart", "1234    -  ", "@/", "@/j000y001.upz", "@/j000y000.upz", "1234    ", 0},
        NameCase{"Blank", kNoNumber, "@/", "@/70000001.upz", "@/70000000.upz", "        ", 0},
        NameCase{"FolderWithoutSlash", "98123456-02", "@", "@/52n9c1jl.upz", "@/52n9c1jm.upz", "98123456", 2},
        NameCase{"NoFolder", "98123456-02", "", "52n9c1jl.upz", "52n9c1jm.upz", "98123456", 2}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST_F(SalesOrderLookup, OkOpensTheFirstVariantWhenItExists) {
  Touch("52n9c1jl.upz");
  Touch("52n9c1jm.upz");
  entry.eSalesOrderNumber->SetText("98123456-02");
  entry.cmdOkClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("52n9c1jl.upz")});
  EXPECT_EQ(entry.result(), QDialog::Accepted);
  EXPECT_EQ(choicesShown, 0);
}

TEST_F(SalesOrderLookup, OkOpensTheSecondVariantWhenOnlyItExists) {
  Touch("52n9c1jm.upz");
  entry.eSalesOrderNumber->SetText("98123456-02");
  entry.cmdOkClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("52n9c1jm.upz")});
}

TEST_F(SalesOrderLookup, ArchivesStoredInUpperCaseAreFound) {
  Touch("52N9C1JM.UPZ");
  entry.eSalesOrderNumber->SetText("98123456-02");
  entry.cmdOkClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("52N9C1JM.UPZ")});
}

TEST_F(SalesOrderLookup, TheFolderIsReadFromPreferencesAtEachUse) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("elsewhere"));
  Touch("elsewhere/52n9c1jl.upz");
  entry.eSalesOrderNumber->SetText("98123456-02");
  preferences.eDefaultUpz->SetText(Path("elsewhere"));
  entry.cmdOkClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("elsewhere/52n9c1jl.upz")});
}

// Near matches: same year and order characters, any line; plain files only, any letter case.
class NearMatches : public SalesOrderLookup {
 protected:
  void SetUp() override {
    SalesOrderLookup::SetUp();
    for (const char* name : {"52n9c2zz.upz", "52n9c1a0.upz", "52N9C0B1.UPZ", "52n9d1jl.upz", "52n9c1a0.dat", "notes.txt"})
      Touch(name);
    ASSERT_TRUE(QDir(dir.path()).mkdir("52n9c1x1.upz"));
    entry.eSalesOrderNumber->SetText("98123456-02");
  }
  const QStringList kOffered = {"52N9C0B1.UPZ", "52n9c1a0.upz", "52n9c2zz.upz"};
};

TEST_F(NearMatches, OkOpensTheSelectedOne) {
  WhenChoicesShow([this] {
    choices.flbUpzChoices->SetItemIndex(1);
    QTest::mouseClick(choices.cmdOk, Qt::LeftButton);
  });
  entry.cmdOkClick();
  EXPECT_EQ(choicesShown, 1);
  EXPECT_EQ(offered, kOffered);
  EXPECT_EQ(selectedAtShow, 0);
  EXPECT_EQ(opened, std::vector<QString>{Path("52n9c1a0.upz")});
  // Filling the list made the archive folder the current directory.
  EXPECT_EQ(QDir::currentPath(), QDir(dir.path()).canonicalPath());
}

TEST_F(NearMatches, CancelOpensTheSecondVariantName) {
  WhenChoicesShow([this] { QTest::mouseClick(choices.cmdCancel, Qt::LeftButton); });
  entry.cmdOkClick();
  EXPECT_EQ(choicesShown, 1);
  EXPECT_EQ(choices.flbUpzChoices->ItemIndex(), -1);
  EXPECT_EQ(opened, std::vector<QString>{Path("52n9c1jm.upz")});
}

TEST_F(NearMatches, EscapeCancelsToo) {
  WhenChoicesShow([this] { QTest::keyClick(choices.flbUpzChoices, Qt::Key_Escape); });
  entry.cmdOkClick();
  EXPECT_EQ(choicesShown, 1);
  EXPECT_EQ(opened, std::vector<QString>{Path("52n9c1jm.upz")});
}

TEST_F(NearMatches, TheCloseBoxKeepsTheSelection) {
  WhenChoicesShow([this] { choices.close(); });
  entry.cmdOkClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("52N9C0B1.UPZ")});
}

TEST_F(NearMatches, EnterAndDoubleClickChoose) {
  WhenChoicesShow([this] {
    choices.flbUpzChoices->SetItemIndex(2);
    QTest::keyClick(choices.flbUpzChoices, Qt::Key_Return);
  });
  entry.cmdOkClick();
  WhenChoicesShow([this] {
    QListWidget* list = choices.flbUpzChoices;
    const QRect second = list->visualItemRect(list->item(1));
    // A double click as the window system delivers it: press, release, double click, release.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, second.center());
  });
  entry.cmdOkClick();
  EXPECT_EQ(opened, (std::vector<QString>{Path("52n9c2zz.upz"), Path("52n9c1a0.upz")}));
}

TEST_F(SalesOrderLookup, NoChoicesInAnEmptyOrMissingFolder) {
  entry.eSalesOrderNumber->SetText("98123456-02");
  WhenChoicesShow([this] { choices.done(-1); });
  entry.cmdOkClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("52n9c1jm.upz")});

  const QString before = QDir::currentPath();
  preferences.eDefaultUpz->SetText(Path("missing/"));
  entry.cmdOkClick();
  EXPECT_EQ(opened, (std::vector<QString>{Path("52n9c1jm.upz"), Path("missing/52n9c1jm.upz")}));
  EXPECT_EQ(QDir::currentPath(), before);
  EXPECT_EQ(choicesShown, 0);
}

TEST_F(SalesOrderLookup, CancelForgetsTheNumberPartsAndOpensNothing) {
  entry.eSalesOrderNumber->SetText("98123456-02");
  entry.BuildArchiveName(ArchiveVariant::kFirst);
  ASSERT_EQ(entry.OrderPart(), "98123456");
  entry.cmdCancelClick();
  EXPECT_EQ(entry.OrderPart(), "");
  EXPECT_EQ(entry.LineNumber(), 0);
  EXPECT_EQ(entry.result(), QDialog::Rejected);
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(entry.eSalesOrderNumber->Text(), "98123456-02");
}

// Typed as a person would: the number, then Enter; next time the number is still there,
// and Escape leaves.
TEST_F(SalesOrderLookup, EnterAcceptsEscapeCancelsAndTheNumberStays) {
  Touch("52n9c1jl.upz");
  WhenShown(&entry, [this] {
    QTest::keyClicks(entry.eSalesOrderNumber, "9812345602");
    QTest::keyClick(entry.eSalesOrderNumber, Qt::Key_Return);
  });
  EXPECT_EQ(entry.exec(), QDialog::Accepted);
  EXPECT_EQ(opened, std::vector<QString>{Path("52n9c1jl.upz")});
  EXPECT_EQ(entry.eSalesOrderNumber->Text(), "98123456-02");

  QString shownText;
  WhenShown(&entry, [this, &shownText] {
    shownText = entry.eSalesOrderNumber->Text();
    QTest::keyClick(entry.eSalesOrderNumber, Qt::Key_Escape);
  });
  EXPECT_EQ(entry.exec(), QDialog::Rejected);
  EXPECT_EQ(shownText, "98123456-02");
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_EQ(entry.OrderPart(), "");
}

TEST_F(SalesOrderLookup, TypingOverTheLastNumberReplacesIt) {
  entry.eSalesOrderNumber->SetText("98123456-02");
  WhenShown(&entry, [this] {
    // Shown with the last number selected, so the new one is typed over it.
    EXPECT_TRUE(WaitUntil([this] { return entry.eSalesOrderNumber->hasSelectedText(); }, 2000));
    QTest::keyClicks(entry.eSalesOrderNumber, "9977");
    QTest::keyClick(entry.eSalesOrderNumber, Qt::Key_Escape);
  });
  entry.exec();
  EXPECT_EQ(entry.eSalesOrderNumber->Text(), "9977    -  ");
}

TEST_F(SalesOrderLookup, KeyPressHandlerActsOnEscapeAndEnterOnly) {
  char key = 'a';
  entry.eSalesOrderNumberKeyPress(key);
  EXPECT_EQ(key, 'a');
  EXPECT_TRUE(opened.empty());
  key = 13;
  entry.eSalesOrderNumberKeyPress(key);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(opened, std::vector<QString>{Path("70000000.upz")});
  key = 27;
  entry.eSalesOrderNumberKeyPress(key);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(opened.size(), 1u);
}

TEST_F(SalesOrderLookup, FileListShowsMatchingPlainFilesByName) {
  for (const char* name : {"b.upz", "A.UPZ", "c.txt"}) Touch(name);
  ASSERT_TRUE(QDir(dir.path()).mkdir("d.upz"));
  TFileListBox& list = *choices.flbUpzChoices;
  list.Fill(dir.path(), "*.upz");
  EXPECT_EQ(list.Directory(), dir.path());
  EXPECT_EQ(list.count(), 2);
  EXPECT_EQ(list.item(0)->text(), "A.UPZ");
  EXPECT_EQ(list.item(1)->text(), "b.upz");
  EXPECT_EQ(list.ItemIndex(), -1);
  EXPECT_EQ(list.FileName(), "");
  list.SetItemIndex(1);
  EXPECT_EQ(list.FileName(), Path("b.upz"));
  list.SetMask("?.TXT");
  EXPECT_EQ(list.count(), 1);
  EXPECT_EQ(list.ItemIndex(), -1);
  list.SetItemIndex(5);
  EXPECT_EQ(list.ItemIndex(), -1);
}

}  // namespace
