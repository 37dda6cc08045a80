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

namespace {

// ---- record texts: bytes of Windows code page 1252 ----

TEST(Edit, BytesShowAsTheirCodePageCharactersAndComeBack) {
  TEdit edit;
  std::string all;
  for (int b = 0; b <= 255; ++b) all += static_cast<char>(b);
  edit.SetBytes(all);
  EXPECT_EQ(edit.Text().size(), 256);
  EXPECT_EQ(edit.Text()[0x80], QChar(0x20AC));
  EXPECT_EQ(edit.Text()[0x96], QChar(0x2013));
  EXPECT_EQ(edit.Text()[0x9D], QChar(0x9D));
  EXPECT_EQ(edit.Bytes(), all);
  edit.SetText(QStringLiteral("\u03A9-1"));  // only the program can set such a text
  EXPECT_EQ(edit.Bytes(), "-1");
}

struct EntryCase {
  const char* name;
  bool cp1252Only;
  const char* typed;   // UTF-8, typed key by key
  const char* pasted;  // UTF-8, pasted at the end afterwards
  const char* text;    // the edit's text at the end
};

class Cp1252Entry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(Cp1252Entry, RefusesWhatTheCodePageCannotHold) {
  const EntryCase& c = GetParam();
  TEdit edit;
  edit.SetCp1252Only(c.cp1252Only);
  for (const QString& key : QString::fromUtf8(c.typed).split(QString(), Qt::SkipEmptyParts))
    QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, key, Qt::NoModifier);
  QApplication::clipboard()->setText(QString::fromUtf8(c.pasted));
  edit.end(false);
  edit.paste();
  EXPECT_EQ(edit.Text(), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Edit, Cp1252Entry,
    ::testing::Values(EntryCase{"TypedOmegaIsRefused", true, "A\u20AC\u03A9\u2013B", "", "A\u20AC\u2013B"},
                      EntryCase{"PasteWithOmegaIsRefusedWhole", true, "ab", "x\u03A9y", "ab"},
                      EntryCase{"PasteWithEmojiIsRefusedWhole", true, "ab", "x\U0001F600", "ab"},
                      EntryCase{"PasteOfCodePageTextGoesIn", true, "ab", "\u201Cq\u201D \u2026", "ab\u201Cq\u201D \u2026"},
                      EntryCase{"AnyCharacterWhereNotAsked", false, "A\u03A9", "\u4E2D", "A\u03A9\u4E2D"}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

// ---- the masked date: typing starts at the first unfilled position ----

TEST(MaskEdit, FocusAndClickPutTheCursorNoFurtherThanTheFirstUnfilledPosition) {
  const std::pair<const char*, int> cases[] = {{"", 0}, {"07", 3}, {"07 DEC", 7}, {"07 DEC 1999", 11}};
  for (const auto& [text, first] : cases) {
    TMaskEdit edit;
    edit.SetEditMask(kDateMask);
    edit.resize(152, 17);
    edit.SetText(text);
    edit.setCursorPosition(11);
    QFocusEvent focus(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&edit, &focus);
    EXPECT_EQ(edit.cursorPosition(), first) << text;
    edit.setCursorPosition(0);
    QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(edit.width() - 4, 8));
    EXPECT_EQ(edit.cursorPosition(), first) << text;
  }
}

}  // namespace
