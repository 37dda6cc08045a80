#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include "ui/edits.h"

namespace {

constexpr const char* kDateMask = "!99\\ >LLL<\\ 0000;1;-";
constexpr const char* kSalesOrderMask = "99999999-99;1;_";

TEST(Edit, MaxLengthLimitsTyping) {
  TEdit edit;
  edit.SetMaxLength(5);
  QTest::keyClicks(&edit, "abcdefgh");
  EXPECT_EQ(edit.Text(), "abcde");
}

TEST(Edit, MaxLengthZeroMeansNoLimit) {
  TEdit edit;
  edit.SetMaxLength(0);
  QTest::keyClicks(&edit, QString(300, 'x'));
  EXPECT_EQ(edit.Text().size(), 300);
}

TEST(Edit, ProgramTextIsNeverCutAndCanOnlyBeShortened) {
  TEdit edit;
  edit.SetMaxLength(4);
  edit.SetText("a text longer than four");
  EXPECT_EQ(edit.Text(), "a text longer than four");
  edit.setCursorPosition(static_cast<int>(edit.Text().size()));
  QTest::keyClicks(&edit, "z");
  EXPECT_EQ(edit.Text(), "a text longer than four") << "typing may not lengthen it";
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.Text(), "a text longer than fou");
}

TEST(Edit, PasteIsCutToTheRoomLeft) {
  TEdit edit;
  edit.SetMaxLength(6);
  QTest::keyClicks(&edit, "ab");
  QApplication::clipboard()->setText("123456789");
  edit.paste();
  EXPECT_EQ(edit.Text(), "ab1234");
}

TEST(Edit, ReadOnlyRefusesTyping) {
  TEdit edit;
  edit.SetReadOnly(true);
  QTest::keyClicks(&edit, "abc");
  EXPECT_EQ(edit.Text(), "");
}

TEST(MaskEdit, IsNotAPlainEdit) {
  TMaskEdit masked;
  TEdit plain;
  EXPECT_NE(masked.metaObject(), &TEdit::staticMetaObject);
  EXPECT_EQ(plain.metaObject(), &TEdit::staticMetaObject);
}

TEST(MaskEdit, WithoutMaskBehavesAsPlainEdit) {
  TMaskEdit edit;
  edit.SetMaxLength(3);
  QTest::keyClicks(&edit, "ab cd");
  EXPECT_EQ(edit.Text(), "ab ");
  edit.SetText("  spaced  ");
  EXPECT_EQ(edit.Text(), "  spaced  ");
}

struct MaskCase {
  const char* name;
  const char* mask;
  const char* set;      // SetText, or nullptr to type `typed` instead
  const char* typed;
  const char* text;     // Text() afterwards
  const char* shown;    // displayText() afterwards
};

class Mask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(Mask, ReadsOneCharacterPerPosition) {
  const MaskCase& c = GetParam();
  TMaskEdit edit;
  edit.SetEditMask(c.mask);
  if (c.set) {
    edit.SetText(c.set);
  } else {
    edit.SetText("");
    edit.setCursorPosition(0);
    QTest::keyClicks(&edit, c.typed);
  }
  EXPECT_EQ(edit.Text(), QString(c.text));
  EXPECT_EQ(edit.displayText(), QString(c.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Masks, Mask,
    ::testing::Values(
        MaskCase{"DateElevenBlanks", kDateMask, "           ", nullptr, "           ", "-- --- ----"},
        MaskCase{"DateEmpty", kDateMask, "", nullptr, "           ", "-- --- ----"},
        MaskCase{"DateWhole", kDateMask, "07 DEC 1999", nullptr, "07 DEC 1999", "07 DEC 1999"},
        MaskCase{"DateLowerCaseShownUpper", kDateMask, "07 dec 1999", nullptr, "07 DEC 1999", "07 DEC 1999"},
        MaskCase{"DateTyped", kDateMask, nullptr, "07dec1999", "07 DEC 1999", "07 DEC 1999"},
        MaskCase{"DateDayWithLeadingBlank", kDateMask, " 7 DEC 1999", nullptr, " 7 DEC 1999", "-7 DEC 1999"},
        MaskCase{"DateYearMissing", kDateMask, "07 DEC", nullptr, "07 DEC     ", "07 DEC ----"},
        MaskCase{"SalesOrderBlank", kSalesOrderMask, "", nullptr, "        -  ", "________-__"},
        MaskCase{"SalesOrderWhole", kSalesOrderMask, "98123456-02", nullptr, "98123456-02", "98123456-02"},
        MaskCase{"SalesOrderShortOrderPart", kSalesOrderMask, "1234    -01", nullptr, "1234    -01",
                 "1234____-01"}),
    [](const ::testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

TEST(MaskEdit, DayTypedAsOneDigitReadsWithALeadingBlank) {
  TMaskEdit edit;
  edit.SetEditMask(kDateMask);
  edit.SetText("");
  edit.setCursorPosition(0);
  QTest::keyClicks(&edit, "7");
  edit.setCursorPosition(3);
  QTest::keyClicks(&edit, "DEC1999");
  EXPECT_EQ(edit.Text(), " 7 DEC 1999");
}

}  // namespace
