#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "model/unitdatarecord.h"

namespace {

struct DateCase {
  const char* name;
  const char* text;
  std::array<std::uint8_t, 3> packed;  // year - 1900, month, day
};

class CommissionDate : public ::testing::TestWithParam<DateCase> {};

TEST_P(CommissionDate, PacksYearMonthDay) {
  const DateCase& c = GetParam();
  UnitDataRecord record{};
  record.SetCommissionDate(c.text);
  const auto& bytes = record.PackedCommissionDateBytes();
  EXPECT_EQ(bytes[0], c.packed[0]);
  EXPECT_EQ(bytes[1], c.packed[1]);
  EXPECT_EQ(bytes[2], c.packed[2]);
  EXPECT_EQ(bytes[3], 0) << "the fourth byte is never assigned";
  EXPECT_EQ(std::string(record.CommissionDate()), std::string(c.text).substr(0, 29));
}

INSTANTIATE_TEST_SUITE_P(
    Dates, CommissionDate,
    ::testing::Values(DateCase{"Plain", "07 DEC 1999", {99, 12, 7}},
                      DateCase{"LowerCaseMonth", "07 dec 1999", {99, 12, 7}},
                      DateCase{"Year2000", "31 MAR 2000", {100, 3, 31}},
                      DateCase{"YearWrapsPast255", "01 JAN 2156", {0, 1, 1}},
                      DateCase{"YearBefore1900Wraps", "15 JUN 1899", {255, 6, 15}},
                      DateCase{"BlankDayMakesMonthUnreadable", " 7 DEC 1999", {99, 1, 0}},
                      DateCase{"UnknownMonth", "07 XYZ 2001", {101, 1, 7}},
                      DateCase{"ElevenBlanks", "           ", {148, 1, 0}},
                      DateCase{"NoBlankReadsWholeTextAsYear", "07DEC1999", {155, 1, 0}},
                      DateCase{"Empty", "", {148, 1, 0}},
                      DateCase{"MonthWordTooLong", "07 DECEMBER 1999", {99, 1, 7}},
                      DateCase{"DayTakesLowByte", "300 MAY 2001", {101, 5, 44}},
                      DateCase{"NegativeDay", "-1 MAY 2001", {101, 5, 255}},
                      DateCase{"SignedYear", "01 FEB +1999", {99, 2, 1}},
                      DateCase{"DigitsStopAtNonDigit", "1x FEB 19z9", {167, 2, 1}},
                      // A digit run too long for 32 bits clamps to 2147483647 instead of
                      // overflowing: year (2147483647 - 1900) mod 256 is 147, day 0xFF.
                      DateCase{"HugeNumbersClamp", "99999999999999999999 FEB 99999999999999999999", {147, 2, 255}},
                      DateCase{"HugeNegativeClamps", "-99999999999999999999 FEB 1999", {99, 2, 0}},
                      DateCase{"ThreeBlanksUsesFirstAndLast", "07 DEC X 1999", {99, 1, 7}}),
    [](const ::testing::TestParamInfo<DateCase>& info) { return std::string(info.param.name); });

TEST(UnitDataRecord, PackedDateIsLittleEndianOfItsBytes) {
  UnitDataRecord record{};
  record.SetCommissionDate("07 DEC 1999");
  EXPECT_EQ(record.PackedCommissionDate(), 99u | 12u << 8 | 7u << 16);
}

struct ModelCase {
  const char* name;
  const char* model;
  const char* prefix;
  const char* cooler;
  const char* condenser;
  const char* compressor;
  const char* revision;
};

class ModelNumber : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelNumber, CutsItsParts) {
  const ModelCase& c = GetParam();
  UnitDataRecord record{};
  record.SetModelNumber(c.model);
  EXPECT_STREQ(record.ModelPrefix(), c.prefix);
  EXPECT_STREQ(record.Cooler(), c.cooler);
  EXPECT_STREQ(record.Condenser(), c.condenser);
  EXPECT_STREQ(record.Compressor(), c.compressor);
  EXPECT_STREQ(record.RevisionLevel(), c.revision);
  EXPECT_STREQ(record.SpecialCode(), "0");
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelNumber,
    ::testing::Values(ModelCase{"Full", "YKABCDEF123R4567", "YK", "AB", "CD", "EF", "R"},
                      ModelCase{"FiveCharacters", "YKABC", "YK", "AB", "C", "", ""},
                      ModelCase{"ElevenCharacters", "YKABCDEF123", "YK", "AB", "CD", "EF", ""},
                      ModelCase{"Empty", "", "", "", "", "", ""},
                      ModelCase{"OneCharacter", "Y", "Y", "", "", "", ""}),
    [](const ::testing::TestParamInfo<ModelCase>& info) { return std::string(info.param.name); });

TEST(UnitDataRecord, ModelNumberKeepsSixtyNineCharactersAndPartsComeFromTheStoredText) {
  UnitDataRecord record{};
  const std::string long_model(75, 'M');
  record.SetModelNumber(long_model);
  EXPECT_EQ(std::string(record.ModelNumber()), std::string(69, 'M'));
  EXPECT_STREQ(record.RevisionLevel(), "M");
}

TEST(UnitDataRecord, BoundedCopyAtAndPastCapacity) {
  UnitDataRecord record{};
  record.SetJobName(std::string(35, 'J'));
  EXPECT_EQ(std::string(record.JobName()), std::string(29, 'J'));
  record.SetJobName(std::string(29, 'K'));
  EXPECT_EQ(std::string(record.JobName()), std::string(29, 'K'));
  record.SetJobName("short");
  EXPECT_STREQ(record.JobName(), "short");
  // The rest of the member is NUL-filled, so no tail of the longer text survives.
  const char* job = record.JobName();
  for (int i = 5; i <= 29; ++i) EXPECT_EQ(job[i], '\0') << i;

  record.StoreText(UnitMember::Starter, std::string(25, 'S'));
  EXPECT_EQ(std::string(record.Starter()), std::string(20, 'S'));
  record.StoreText(UnitMember::RevisionLevel, "AB");
  EXPECT_STREQ(record.RevisionLevel(), "A");
}

TEST(UnitDataRecord, TextEndsAtItsFirstNul) {
  UnitDataRecord record{};
  record.SetTons(std::string("12\0" "34", 5));
  EXPECT_STREQ(record.Tons(), "12");
}

TEST(UnitDataRecord, EveryMemberHasItsCapacity) {
  UnitDataRecord record{};
  for (const UnitMemberInfo& info : kUnitMembers) {
    record.StoreText(info.member, std::string(100, 'x'));
    EXPECT_EQ(std::strlen(record.Text(info.member)), info.capacity) << info.name;
  }
}

TEST(UnitDataRecord, ClearRecordKeepsPackedDateModelPartsAndStarter) {
  UnitDataRecord record{};
  record.SetCommissionDate("07 DEC 1999");
  record.SetModelNumber("YKABCDEF123R");
  record.StoreText(UnitMember::Starter, "Solid State Starter");
  for (int slot = 2; slot <= 41; ++slot)
    if (slot != 4) record.SetSlot(slot, "value");
  const std::uint32_t packed = record.PackedCommissionDate();

  record.ClearRecord();

  EXPECT_EQ(record.PackedCommissionDate(), packed);
  EXPECT_STREQ(record.Cooler(), "AB");
  EXPECT_STREQ(record.Condenser(), "CD");
  EXPECT_STREQ(record.Compressor(), "EF");
  EXPECT_STREQ(record.RevisionLevel(), "R");
  EXPECT_STREQ(record.SpecialCode(), "0");
  EXPECT_STREQ(record.Starter(), "Solid State Starter");
  EXPECT_STREQ(record.ModelPrefix(), "");
  for (int slot = 1; slot <= 41; ++slot) EXPECT_STREQ(record.SlotText(slot), "") << "slot " << slot;
}

TEST(UnitDataRecord, SlotsNameTheirMembers) {
  // The slot order differs from the member order; 19 and 20 are the reverse of theirs.
  const std::pair<int, UnitMember> expected[] = {
      {1, UnitMember::CommissionDate},   {2, UnitMember::JobName},          {3, UnitMember::JobLocation},
      {4, UnitMember::ModelNumber},      {5, UnitMember::VarnOrderNumber},  {6, UnitMember::PanelSerialNumber},
      {7, UnitMember::ChillerSerialNumber}, {8, UnitMember::Refrigerant},   {13, UnitMember::MotorType},
      {14, UnitMember::KilowattsInput},  {15, UnitMember::MotorCode},       {19, UnitMember::LockedRotorAmps},
      {20, UnitMember::FullLoadAmps},    {21, UnitMember::InrushAmps},      {22, UnitMember::CdPasses},
      {31, UnitMember::CdTubeNo},        {32, UnitMember::EvPasses},        {41, UnitMember::EvTubeNo}};
  for (const auto& [slot, member] : expected) EXPECT_EQ(SlotMember(slot), member) << "slot " << slot;
  int with_slot = 0;
  for (const UnitMemberInfo& info : kUnitMembers) with_slot += info.slot != 0;
  EXPECT_EQ(with_slot, 41);
}

TEST(UnitDataRecord, SlotAccessUsesTheSetters) {
  UnitDataRecord record{};
  record.SetSlot(1, "31 MAR 2000");
  EXPECT_STREQ(record.SlotText(1), "31 MAR 2000");
  EXPECT_EQ(record.PackedCommissionDate(), 100u | 3u << 8 | 31u << 16);
  record.SetSlot(4, "YKABCDEF");
  EXPECT_STREQ(record.Cooler(), "AB");
  record.SetSlot(9, std::string(40, '5'));
  EXPECT_EQ(std::string(record.Tons()), std::string(29, '5'));
}

TEST(UnitDataRecord, SlotOutsideOneToFortyOneNamesNothing) {
  UnitDataRecord record{};
  for (int slot : {0, 42, -1, 255}) {
    EXPECT_FALSE(SlotMember(slot).has_value());
    record.SetSlot(slot, "ignored");
    EXPECT_STREQ(record.SlotText(slot), "");
  }
  for (const UnitMemberInfo& info : kUnitMembers) EXPECT_STREQ(record.Text(info.member), "") << info.name;
}

TEST(UnitDataRecord, ProgramRecordStartsEmpty) {
  EXPECT_EQ(UnitRecord.PackedCommissionDate(), 0u);
  for (const UnitMemberInfo& info : kUnitMembers) EXPECT_STREQ(UnitRecord.Text(info.member), "") << info.name;
}

}  // namespace
