#include <gtest/gtest.h>

#include <string>

#include "model/cp1252.h"

namespace {

// The bytes 0x80-0x9F: the character each stands for, and its UTF-8 form.
struct HighByte {
  unsigned char byte;
  char32_t codePoint;
  const char* utf8;
};

constexpr HighByte kHighBytes[] = {
    {0x80, 0x20AC, "\u20AC"}, {0x81, 0x0081, "\u0081"}, {0x82, 0x201A, "\u201A"}, {0x83, 0x0192, "\u0192"},
    {0x84, 0x201E, "\u201E"}, {0x85, 0x2026, "\u2026"}, {0x86, 0x2020, "\u2020"}, {0x87, 0x2021, "\u2021"},
    {0x88, 0x02C6, "\u02C6"}, {0x89, 0x2030, "\u2030"}, {0x8A, 0x0160, "\u0160"}, {0x8B, 0x2039, "\u2039"},
    {0x8C, 0x0152, "\u0152"}, {0x8D, 0x008D, "\u008D"}, {0x8E, 0x017D, "\u017D"}, {0x8F, 0x008F, "\u008F"},
    {0x90, 0x0090, "\u0090"}, {0x91, 0x2018, "\u2018"}, {0x92, 0x2019, "\u2019"}, {0x93, 0x201C, "\u201C"},
    {0x94, 0x201D, "\u201D"}, {0x95, 0x2022, "\u2022"}, {0x96, 0x2013, "\u2013"}, {0x97, 0x2014, "\u2014"},
    {0x98, 0x02DC, "\u02DC"}, {0x99, 0x2122, "\u2122"}, {0x9A, 0x0161, "\u0161"}, {0x9B, 0x203A, "\u203A"},
    {0x9C, 0x0153, "\u0153"}, {0x9D, 0x009D, "\u009D"}, {0x9E, 0x017E, "\u017E"}, {0x9F, 0x0178, "\u0178"},
};

TEST(Cp1252, HighBytesStandForTheirCharacters) {
  for (const HighByte& h : kHighBytes) {
    EXPECT_EQ(Cp1252ToCodePoint(h.byte), h.codePoint) << int(h.byte);
    EXPECT_EQ(CodePointToCp1252(h.codePoint), h.byte) << int(h.byte);
    EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(h.byte))), h.utf8) << int(h.byte);
    EXPECT_EQ(Utf8ToCp1252(h.utf8), std::string(1, static_cast<char>(h.byte))) << int(h.byte);
  }
}

TEST(Cp1252, AsciiAndTheUpperHalfAreTheirOwnCodePoints) {
  for (unsigned b = 0; b <= 0xFF; ++b) {
    if (b >= 0x80 && b <= 0x9F) continue;
    EXPECT_EQ(Cp1252ToCodePoint(static_cast<unsigned char>(b)), b);
  }
  EXPECT_EQ(Cp1252ToUtf8("A\xE9\xFF"), "A\u00E9\u00FF");
}

TEST(Cp1252, EveryByteSurvivesTheWayThroughUtf8) {
  std::string all;
  for (unsigned b = 0; b <= 0xFF; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    EXPECT_EQ(CodePointToCp1252(Cp1252ToCodePoint(byte)), byte) << b;
    all += static_cast<char>(byte);
  }
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Cp1252, CharactersOutsideTheCodePageCannotBeHeld) {
  for (const char32_t c : {char32_t{0x80}, char32_t{0x9F}, char32_t{0x100}, char32_t{0x3A9}, char32_t{0x20AD},
                           char32_t{0xFFFD}, char32_t{0xD800}, char32_t{0x1F600}, char32_t{0x110000}}) {
    EXPECT_FALSE(Cp1252CanHold(c)) << std::hex << static_cast<unsigned long>(c);
    EXPECT_FALSE(CodePointToCp1252(c)) << std::hex << static_cast<unsigned long>(c);
  }
  EXPECT_TRUE(Cp1252CanHold(0x20AC));
  EXPECT_TRUE(Cp1252CanHold(0x9D));
}

// UTF-8 that gives no bytes, and the offset of the first character at fault.
struct Refused {
  const char* name;
  std::string utf8;
  std::size_t offset;
};

class Utf8Refused : public ::testing::TestWithParam<Refused> {};

TEST_P(Utf8Refused, GivesNothingAndSaysWhere) {
  std::size_t offset = 999;
  EXPECT_FALSE(Utf8ToCp1252(GetParam().utf8, &offset));
  EXPECT_EQ(offset, GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(
    Cp1252, Utf8Refused,
    ::testing::Values(Refused{"GreekOmega", "A\u20AC\u03A9\u2013B", 4}, Refused{"Emoji", "\U0001F600", 0},
                      Refused{"ReplacementCharacter", "ab\uFFFD", 2}, Refused{"Overlong", "A\xC0\x80", 1},
                      Refused{"OverlongEuro", "\xF0\x82\x82\xAC", 0}, Refused{"Truncated", "\xE2\x82", 0},
                      Refused{"EncodedSurrogate", "x\xED\xA0\x80", 1}, Refused{"BeyondUnicode", "\xF4\x90\x80\x80", 0},
                      Refused{"LoneContinuation", "\x80", 0}, Refused{"NeverUsedByte", "ok\xFF", 2},
                      Refused{"BrokenContinuation", "\xE2\x28\xAC", 0}),
    [](const ::testing::TestParamInfo<Refused>& info) { return std::string(info.param.name); });

TEST(Cp1252, HoldableTextGivesOneBytePerCharacter) {
  EXPECT_EQ(Utf8ToCp1252("A\u20AC\u2013B \u201Cq\u201D"), "A\x80\x96" "B \x93q\x94");
  EXPECT_EQ(Utf8ToCp1252(""), "");
  EXPECT_EQ(Utf8ToCp1252(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
