// The tables as the build produces them: binary layout, and the generator's refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "errors/codes.h"
#include "platform/resources.h"
#include "support/test_dirs.h"
#include "table_blob.h"

using namespace errors_test;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

std::filesystem::path BinaryDir() {
  return testsupport::BinaryDir();
}

std::filesystem::path SourceDir() {
  return testsupport::SourceDir();
}

std::string ResourceBytes(const char* name) {
  HRSRC info = FindResourceA(nullptr, name, RT_RCDATA);
  if (info == nullptr) return std::string();
  const void* data = LockResource(LoadResource(nullptr, info));
  return std::string(static_cast<const char*>(data), SizeofResource(nullptr, info));
}

// Checks everything the format promises; returns the entries.
std::vector<TBlobEntry> ExpectWellFormed(const std::string& blob) {
  EXPECT_GE(blob.size(), 8u);
  if (blob.size() < 8) return {};
  EXPECT_EQ(blob.substr(0, 4), "STR0");
  const std::vector<TBlobEntry> entries = Entries(blob);
  const std::size_t textStart = 8 + 12 * entries.size();
  std::size_t expectedOffset = textStart;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(entries[i - 1].Id, entries[i].Id) << "entry " << i;
    }
    EXPECT_EQ(entries[i].Offset, expectedOffset) << "entry " << i << " id " << entries[i].Id;
    EXPECT_LE(entries[i].Offset + 2 * std::size_t{entries[i].Length}, blob.size());
    expectedOffset = entries[i].Offset + 2 * std::size_t{entries[i].Length};
    const std::u16string text = Text(blob, entries[i]);
    EXPECT_EQ(text.find(u'\0'), std::u16string::npos) << "terminator in " << entries[i].Id;
  }
  EXPECT_EQ(expectedOffset, blob.size()) << "bytes after the last text";
  return entries;
}

std::u16string TextOfId(const std::string& blob, std::int32_t id) {
  for (const TBlobEntry& entry : Entries(blob))
    if (entry.Id == id) return Text(blob, entry);
  return u"<missing>";
}

}  // namespace

TEST(Str0Layout, MessageTableIsWellFormedWith830Entries) {
  const std::string blob = ReadFile(BinaryDir() / "errors/tables/apro_errors.str0");
  ASSERT_FALSE(blob.empty());
  EXPECT_EQ(U32(blob, 4), 830u);
  const std::vector<TBlobEntry> entries = ExpectWellFormed(blob);
  EXPECT_EQ(entries.size(), 830u);
  for (const TBlobEntry& entry : entries) EXPECT_GT(entry.Length, 0u) << entry.Id;
}

TEST(Str0Layout, ReaderTableHoldsItsFiveMessages) {
  const std::string blob = ReadFile(BinaryDir() / "errors/tables/adsrmgr_strings.str0");
  ASSERT_FALSE(blob.empty());
  const std::vector<TBlobEntry> entries = ExpectWellFormed(blob);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(Text(blob, entries[0]), u"String not found: %d");
  EXPECT_EQ(Text(blob, entries[1]), u"Cannot lock resource");
  EXPECT_EQ(Text(blob, entries[2]), u"String resource not found: %s");
  EXPECT_EQ(Text(blob, entries[3]), u"Unable to open string resource: %s");
  EXPECT_EQ(Text(blob, entries[4]), u"Invalid TPString resource");
}

TEST(Str0Layout, CompiledResourcesAreTheBuiltTablesByteForByte) {
  for (const auto& [name, file] : {std::pair{"APRO_ERROR_STRINGS_ENGLISH", "apro_errors.str0"},
                                   std::pair{"ADSRMGR_STRINGS", "adsrmgr_strings.str0"}}) {
    const std::string resource = ResourceBytes(name);
    const std::string built = ReadFile(BinaryDir() / "errors/tables" / file);
    EXPECT_FALSE(built.empty()) << file;
    EXPECT_EQ(resource.size(), built.size()) << name;
    EXPECT_TRUE(resource == built) << name << " differs from " << file;
  }
}

TEST(Str0Layout, QuotedTextsKeepTheirSpacesAndUtf8BecomesUtf16) {
  const std::string blob = ReadFile(BinaryDir() / "tests/errors/test_strings.str0");
  ExpectWellFormed(blob);
  EXPECT_EQ(TextOfId(blob, 8), u"  padded  ");
  EXPECT_EQ(TextOfId(blob, 7), u"\u4E2D\u6587");
  EXPECT_EQ(TextOfId(blob, std::numeric_limits<std::int32_t>::min()), u"lowest");
  EXPECT_EQ(Entries(blob).front().Id,
            std::numeric_limits<std::int32_t>::min());  // signed order, not unsigned
  const std::string table = ReadFile(BinaryDir() / "errors/tables/apro_errors.str0");
  EXPECT_EQ(TextOfId(table, 15601), u"DCTS ");
  EXPECT_EQ(TextOfId(table, 15608), u"DCD ");
}

TEST(Str0Layout, EveryFamilyHasItsEntryCount) {
  const std::string blob = ReadFile(BinaryDir() / "errors/tables/apro_errors.str0");
  std::multiset<std::int32_t> ids;
  for (const TBlobEntry& entry : Entries(blob)) ids.insert(entry.Id);
  auto countIn = [&](std::int32_t first, std::int32_t last) {
    return std::distance(ids.lower_bound(first), ids.upper_bound(last));
  };
  const struct {
    std::int32_t First, Last;
    long Count;
  } families[] = {
      {0, 162, 28},       {1001, 1009, 9},    {2001, 2012, 12},    {3001, 3010, 10},
      {4001, 4008, 8},    {4101, 4101, 1},    {4201, 4213, 13},    {4301, 4312, 12},
      {4401, 4403, 3},    {4500, 4599, 29},   {4600, 4671, 28},    {4700, 4723, 24},
      {4801, 4843, 21},   {5001, 5003, 3},    {5501, 5506, 6},     {6001, 6016, 16},
      {7001, 7014, 14},   {8001, 8092, 40},   {9001, 9007, 7},     {10004, 11004, 51},
      {13501, 13599, 45}, {13600, 13670, 23}, {13801, 13886, 84},  {13928, 13980, 19},
      {15001, 15020, 20}, {15101, 15129, 29}, {15130, 15341, 212}, {15342, 15351, 10},
      {15501, 15502, 2},  {15601, 15608, 8},  {15700, 15742, 43},
  };
  long total = 0;
  for (const auto& family : families) {
    EXPECT_EQ(countIn(family.First, family.Last), family.Count)
        << family.First << ".." << family.Last;
    EXPECT_EQ(ids.count(family.First), 1u) << family.First;
    EXPECT_EQ(ids.count(family.Last), 1u) << family.Last;
    total += family.Count;
  }
  EXPECT_EQ(total, 830);
}

#ifdef _WIN32
constexpr bool GeneratorRunsHere = false;
#else
constexpr bool GeneratorRunsHere = true;
#endif

// The generator is run by the build; these check that it refuses sources it cannot compile
// faithfully instead of producing a table with holes.
class Str0Generator : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GeneratorRunsHere) GTEST_SKIP() << "the table generator is a tool of the Linux build host";
    FDir = std::filesystem::temp_directory_path() /
           ("str0_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(FDir);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }

  int Run(const std::string& source, const std::string& extra = std::string()) {
    std::ofstream(FDir / "in.txt", std::ios::binary) << source;
    const std::string command =
        "/usr/bin/python3 " + (SourceDir() / "tools/str0/make_str0.py").string() + " " + extra +
        " " + (FDir / "in.txt").string() + " " + Out().string() + " 2>/dev/null";
    return std::system(command.c_str());
  }
  std::filesystem::path Out() const { return FDir / "out.str0"; }

  std::filesystem::path FDir;
};

TEST_F(Str0Generator, SortsEntriesWrittenOutOfOrder) {
  ASSERT_EQ(Run("20 = b\n# comment\n\n-3 = a\n10 = c\n"), 0);
  const std::string blob = ReadFile(Out());
  const std::vector<TBlobEntry> entries = ExpectWellFormed(blob);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Id, -3);
  EXPECT_EQ(Text(blob, entries[2]), u"b");
}

TEST_F(Str0Generator, RefusesBadSources) {
  EXPECT_NE(Run("1 = a\n1 = b\n"), 0) << "duplicate identifier";
  EXPECT_NE(Run("1 =\n"), 0) << "empty text";
  EXPECT_NE(Run("one = a\n"), 0) << "identifier not a number";
  EXPECT_NE(Run("4294967296 = a\n"), 0) << "identifier beyond 32 bits";
  EXPECT_NE(Run("1 = a\n2 = b\n", "--count 3"), 0) << "wrong entry count";
  EXPECT_FALSE(std::filesystem::exists(Out()));
  EXPECT_EQ(Run("1 = a\n2 = b\n", "--count 2"), 0);
}
