// The string table reader: opening, refusing what is not a sound table, and lookups.
#include "errors/string_resource.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/library.h"
#include "platform/resources.h"
#include "table_blob.h"

using namespace errors_test;

namespace {

std::string OpenError(const std::string& name) {
  try {
    TAdStringResource table(nullptr, name);
  } catch (const ETpsStringResourceError& e) {
    return e.Message();
  }
  return "<opened>";
}

bool TextOfIdMissing(const std::string& blob, std::int32_t id) {
  for (const TBlobEntry& entry : Entries(blob))
    if (entry.Id == id) return false;
  return true;
}

}  // namespace

TEST(StringResourceOpen, RefusesMissingForeignAndMalformedResources) {
  EXPECT_EQ(OpenError("NO_SUCH_TABLE"), "String resource not found: NO_SUCH_TABLE");
  EXPECT_EQ(OpenError("NOT_A_TABLE"), "Invalid TPString resource");
  EXPECT_EQ(OpenError("BAD_OFFSET_TABLE"), "Invalid TPString resource");
  EXPECT_EQ(OpenError("TEST_STRINGS"), "<opened>");
}

TEST(StringResourceOpen, NamesCompareWithoutLetterCaseAndAnEmptyNameOpensNothing) {
  TAdStringResource table(nullptr, "test_strings");
  EXPECT_EQ(table.TextOf(1), "one");
  TAdStringResource none(nullptr, "");
  EXPECT_FALSE(none.IsOpen());
  EXPECT_EQ(none.TextOf(1), "");
  EXPECT_EQ(none.Count(), 0u);
}

TEST(StringResourceOpen, ReopeningReplacesTheTableAndAFailedReopenLeavesItClosed) {
  TAdStringResource table(nullptr, "TEST_STRINGS");
  table.OpenResource(GetModuleHandleA(nullptr), "ADSRMGR_STRINGS");
  EXPECT_EQ(table.Count(), 5u);
  EXPECT_EQ(table.TextOf(2), "Cannot lock resource");
  EXPECT_THROW(table.OpenResource(nullptr, "NOT_A_TABLE"), ETpsStringResourceError);
  EXPECT_FALSE(table.IsOpen());
  EXPECT_EQ(table.TextOf(2), "");
}

TEST(StringResourceLookup, FindsEveryEntryIncludingTheExtremes) {
  TAdStringResource table(nullptr, "TEST_STRINGS");
  EXPECT_EQ(table.Count(), 8u);
  EXPECT_EQ(table.TextOf(std::numeric_limits<int>::min()), "lowest");
  EXPECT_EQ(table.TextOf(-5), "minus five");
  EXPECT_EQ(table.TextOf(0), "zero");
  EXPECT_EQ(table.TextOf(1), "one");
  EXPECT_EQ(table.TextOf(8), "  padded  ");
  EXPECT_EQ(table.TextOf(std::numeric_limits<int>::max()), "highest");
  for (int missing : {-6, -4, 2, 6, 10, std::numeric_limits<int>::max() - 1})
    EXPECT_EQ(table.TextOf(missing), "") << missing;
}

TEST(StringResourceLookup, FindsEachOfTheMessageTablesEntries) {
  // Every identifier of the big table, looked up by binary search, gives its own text.
  HRSRC info = FindResourceA(nullptr, "APRO_ERROR_STRINGS_ENGLISH", RT_RCDATA);
  ASSERT_NE(info, nullptr);
  const std::string blob(static_cast<const char*>(LockResource(LoadResource(nullptr, info))),
                         SizeofResource(nullptr, info));
  TAdStringResource& table = AproErrorStrings();
  ASSERT_EQ(table.Count(), 830u);
  for (const TBlobEntry& entry : Entries(blob)) {
    EXPECT_EQ(table.WideTextOf(entry.Id), Text(blob, entry)) << entry.Id;
    EXPECT_EQ(table.WideTextOf(entry.Id + 1).empty(), TextOfIdMissing(blob, entry.Id + 1))
        << entry.Id + 1;
  }
}

TEST(StringResourceLookup, TextsComeInTheAnsiCodePage) {
  TAdStringResource table(nullptr, "TEST_STRINGS");
  EXPECT_EQ(table.TextOf(7), "\xA4\xA4\xA4\xE5");  // Big5
  EXPECT_EQ(table.WideTextOf(7), u"\u4E2D\u6587");
}

TEST(StringResourceLookup, ReportMissingRaisesWithTheIdentifier) {
  TAdStringResource table(nullptr, "TEST_STRINGS");
  table.ReportMissing = true;
  EXPECT_EQ(table.TextOf(1), "one");
  try {
    table.TextOf(-17);
    FAIL() << "no exception";
  } catch (const ETpsStringResourceError& e) {
    EXPECT_EQ(e.Message(), "String not found: -17");
  }
}

TEST(StringResourceLookup, TheProcessWideReadersAreTheProgramsTables) {
  EXPECT_EQ(&AdsrmgrStrings(), &AdsrmgrStrings());
  EXPECT_EQ(AdsrmgrStrings().TextOf(5), "Invalid TPString resource");
  EXPECT_EQ(AproErrorStrings().TextOf(2007), "ie_NOpen - device not open");
  EXPECT_FALSE(AproErrorStrings().ReportMissing);
  EXPECT_EQ(AproErrorStrings().TextOf(1), "");
}

// Malformed blobs are refused before any lookup can read outside them.
TEST(StringTableValidation, AcceptsSoundTables) {
  EXPECT_EQ(ValidateStringTable(MakeBlob({}).data(), 8), 0);
  const std::string blob = MakeBlob({{-1, "a"}, {3, ""}, {9, "xyz"}});
  EXPECT_EQ(ValidateStringTable(blob.data(), blob.size()), 3);
}

TEST(StringTableValidation, RefusesEachKindOfDamage) {
  const std::string good = MakeBlob({{1, "ab"}, {2, "cd"}});
  auto refused = [](const std::string& blob) {
    return ValidateStringTable(blob.data(), blob.size()) < 0;
  };
  EXPECT_FALSE(refused(good));
  EXPECT_TRUE(ValidateStringTable(nullptr, 0) < 0);
  EXPECT_TRUE(refused(good.substr(0, 7))) << "header cut short";
  std::string magic = good;
  magic[3] = '1';
  EXPECT_TRUE(refused(magic)) << "wrong magic";
  EXPECT_TRUE(refused(good.substr(0, good.size() - 1))) << "last text cut short";
  std::string count = good;
  SetU32(count, 4, 3);
  EXPECT_TRUE(refused(count)) << "count larger than the entries";
  SetU32(count, 4, 0xFFFFFFFF);
  EXPECT_TRUE(refused(count)) << "count that overflows 32-bit sizes";
  SetU32(count, 4, 0x15555556);  // 8 + 12 * count wraps to a small number in 32 bits
  EXPECT_TRUE(refused(count)) << "count whose table size wraps";
  std::string offset = good;
  SetU32(offset, 8 + 4, 0xFFFFFFFE);
  EXPECT_TRUE(refused(offset)) << "offset beyond the blob";
  SetU32(offset, 8 + 4, 4);
  EXPECT_TRUE(refused(offset)) << "offset into the header";
  std::string length = good;
  SetU32(length, 8 + 12 + 8, 0x80000001);  // 2 * length wraps in 32 bits
  EXPECT_TRUE(refused(length)) << "length beyond the blob";
  std::string order = MakeBlob({{2, "ab"}, {1, "cd"}});
  EXPECT_TRUE(refused(order)) << "identifiers out of order";
  std::string twice = MakeBlob({{1, "ab"}, {1, "cd"}});
  EXPECT_TRUE(refused(twice)) << "identifier twice";
}
