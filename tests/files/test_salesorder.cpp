// Archive names from sales order numbers, the choice pattern, and the folder look-ups.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/salesorder.h"

namespace fs = std::filesystem;

namespace {

struct NameCase {
  const char* name;
  const char* number;  // as the masked field gives it
  const char* first;
  const char* second;
  const char* pattern;
};

class SalesOrderNames : public testing::TestWithParam<NameCase> {};

TEST_P(SalesOrderNames, BothVariantsAndThePattern) {
  const NameCase& c = GetParam();
  const ArchiveName first = BuildArchiveName(c.number, "", ArchiveVariant::kFirst);
  const ArchiveName second = BuildArchiveName(c.number, "", ArchiveVariant::kSecond);
  EXPECT_EQ(first.path, c.first);
  EXPECT_EQ(second.path, c.second);
  EXPECT_EQ(ArchiveChoicePattern(second.path), c.pattern);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SalesOrderNames,
    testing::Values(
        NameCase{"worked_example", "98123456-02", "52n9c1jl.upz", "52n9c1jm.upz", "52n9c*.upz"},
        NameCase{"all_nines", "99999999-99", "6lflr4e1.upz", "6lflr4gr.upz", "6lflr*.upz"},
        NameCase{"all_zeros", "00000000-00", "70000001.upz", "70000000.upz", "70000*.upz"},
        NameCase{"line_01_same_in_both", "98123456-01", "52n9c0rt.upz", "52n9c0rt.upz",
                 "52n9c*.upz"},
        NameCase{"short_order_part", "1234    -01", "j000y0rt.upz", "j000y0rt.upz", "j000y*.upz"},
        NameCase{"blank", "        -  ", "70000001.upz", "70000000.upz", "70000*.upz"},
        NameCase{"line_47_wraps", "98123456-47", "52n9c09l.upz", "52n9c0av.upz", "52n9c*.upz"},
        NameCase{"year_94_first", "94000000-00", "10000001.upz", "10000000.upz", "10000*.upz"},
        NameCase{"year_28_last", "28000000-00", "z0000001.upz", "z0000000.upz", "z0000*.upz"},
        // Years 29 to 93 wrap around the alphabet: 29 gives index 36, digit 0.
        NameCase{"year_29_wraps", "29000000-00", "00000001.upz", "00000000.upz", "00000*.upz"},
        NameCase{"year_93_wraps", "93000000-00", "s0000001.upz", "s0000000.upz", "s0000*.upz"},
        NameCase{"no_dash", "98123456", "52n9c001.upz", "52n9c000.upz", "52n9c*.upz"},
        // A huge line number counts as 2147483647: 2147483647001 mod 46656 = 19289 (evt),
        // 2149631130647 mod 46656 = 20567 (fvb).
        NameCase{"huge_line", "98123456-99999999999999999999", "52n9cevt.upz", "52n9cfvb.upz",
                 "52n9c*.upz"}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST(SalesOrder, KeepsOrderPartAndLine) {
  const ArchiveName name = BuildArchiveName("98123456-02", "/srv/upz", ArchiveVariant::kFirst);
  EXPECT_EQ(name.path, "/srv/upz/52n9c1jl.upz");
  EXPECT_EQ(name.orderPart, "98123456");
  EXPECT_EQ(name.line, 2);
  EXPECT_EQ(ArchiveChoicePattern(name.path), "/srv/upz/52n9c*.upz");
  const SalesOrderNumber longer = ParseSalesOrderNumber("1234567890-7");
  EXPECT_EQ(longer.orderPart, "12345678");
  EXPECT_EQ(longer.line, 7);
}

TEST(SalesOrder, DefaultFolderIsAlwaysAFolder) {
  EXPECT_EQ(ArchiveFolderPrefix(""), "");
  EXPECT_EQ(ArchiveFolderPrefix("/srv/upz"), "/srv/upz/");
  EXPECT_EQ(ArchiveFolderPrefix("/srv/upz/"), "/srv/upz/");
  EXPECT_EQ(ArchiveFolderPrefix("relative"), "relative/");
  EXPECT_EQ(BuildArchiveName("98123456-02", "/srv.d/upz", ArchiveVariant::kSecond).path,
            "/srv.d/upz/52n9c1jm.upz");
  EXPECT_EQ(ArchiveChoicePattern("/srv.d/upz/52n9c1jm.upz"), "/srv.d/upz/52n9c*.upz");
}

TEST(SalesOrder, ToBase36) {
  const struct {
    std::uint64_t value;
    int digits;
    const char* text;
  } rows[] = {{0, 3, "000"},      {35, 1, "z"},          {36, 1, "0"},
              {36, 2, "10"},      {123456, 4, "2n9c"},   {46656, 3, "000"},
              {46655, 3, "zzz"},  {2001, 3, "1jl"},      {~std::uint64_t{0}, 13, "3w5e11264sgsf"},
              {5, 0, ""}};
  for (const auto& r : rows) EXPECT_EQ(ToBase36(r.value, r.digits), r.text) << r.value;
}

TEST(SalesOrder, TextToNumber) {
  const struct {
    const char* text;
    std::int64_t value;
  } rows[] = {{"12", 12},       {"  12x", 12},  {"\t 7", 7},     {"", 0},
              {"  ", 0},        {"abc", 0},     {"+5", 0},       {"-5", 0},
              {"0034", 34},     {"34    ", 34}, {"1 2", 1},      {"2147483647", 2147483647},
              {"2147483648", 2147483647},       {"99999999999999999999999999", 2147483647}};
  for (const auto& r : rows) EXPECT_EQ(TextToNumber(r.text), r.value) << '"' << r.text << '"';
}

TEST(SalesOrder, Wildcards) {
  const struct {
    const char* name;
    const char* mask;
    bool match;
  } rows[] = {{"52n9c1jl.upz", "52n9c*.upz", true},  {"52N9C1JL.UPZ", "52n9c*.upz", true},
              {"52n9c.upz", "52n9c*.upz", true},     {"52n9c1jl.upzx", "52n9c*.upz", false},
              {"62n9c1jl.upz", "52n9c*.upz", false}, {"abc", "a?c", true},
              {"ac", "a?c", false},                  {"", "*", true},
              {"a", "", false},                      {"a.b.upz", "*.upz", true},
              {"aXbXc", "a*b*c", true},              {"aXbX", "a*b*c", false}};
  for (const auto& r : rows) EXPECT_EQ(MatchesWildcard(r.name, r.mask), r.match) << r.name << " " << r.mask;
  EXPECT_EQ(SplitPattern("/srv/upz/52n9c*.upz").folder, fs::path("/srv/upz"));
  EXPECT_EQ(SplitPattern("/srv/upz/52n9c*.upz").mask, "52n9c*.upz");
  EXPECT_EQ(SplitPattern("52n9c*.upz").folder, fs::path("."));
  EXPECT_EQ(SplitPattern("/52n9c*.upz").folder, fs::path("/"));
}

class FolderLookUp : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quellso-so-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Touch(const std::string& name) { std::fclose(std::fopen((dir_ / name).c_str(), "w")); }
  fs::path dir_;
};

TEST_F(FolderLookUp, ListsPlainFilesMatchingSortedWithoutRegardToCase) {
  for (const char* n : {"52n9c1jm.upz", "52N9C1JA.UPZ", "52n9c.txt", "62n9c1jl.upz", "52n9c1jb.upz"})
    Touch(n);
  fs::create_directory(dir_ / "52n9c1zz.upz");
  EXPECT_EQ(ListMatchingFiles(dir_, "52n9c*.upz"),
            (std::vector<std::string>{"52N9C1JA.UPZ", "52n9c1jb.upz", "52n9c1jm.upz"}));
  EXPECT_TRUE(ListMatchingFiles(dir_ / "missing", "*").empty());
  const FolderAndMask split = SplitPattern(ArchiveChoicePattern((dir_ / "52n9c1jl.upz").string()));
  EXPECT_EQ(ListMatchingFiles(split.folder, split.mask).size(), 3u);
}

TEST_F(FolderLookUp, FindsAFileWithoutRegardToCase) {
  Touch("ltcunit.dat");
  EXPECT_EQ(FindFileIgnoringCase(dir_ / "LTCUNIT.DAT"), dir_ / "ltcunit.dat");
  Touch("LTCUNIT.DAT");
  EXPECT_EQ(FindFileIgnoringCase(dir_ / "LTCUNIT.DAT"), dir_ / "LTCUNIT.DAT");
  EXPECT_EQ(FindFileIgnoringCase(dir_ / "LtcUnit.Dat"), dir_ / "LTCUNIT.DAT");
  EXPECT_FALSE(FindFileIgnoringCase(dir_ / "other.dat"));
  fs::create_directory(dir_ / "folder.dat");
  EXPECT_FALSE(FindFileIgnoringCase(dir_ / "FOLDER.DAT"));
  EXPECT_FALSE(FindFileIgnoringCase(dir_ / "missing" / "x.dat"));
}

}  // namespace
