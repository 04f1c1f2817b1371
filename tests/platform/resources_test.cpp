// Resources compiled into the program, into a static library the program links and into a
// loaded library: named binary resources, numbered strings and the generator's checks.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host_folder.h"
#include "platform/codepages.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/resources.h"

using testsupport::HostExists;
using testsupport::HostFolder;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

namespace {

// The bytes of a resource, or "<missing>" with GetLastError set.
std::string ResourceBytes(HMODULE module, const char* name) {
  HRSRC info = FindResourceA(module, name, RT_RCDATA);
  if (info == nullptr) return "<missing>";
  HGLOBAL loaded = LoadResource(module, info);
  if (loaded == nullptr) return "<not loaded>";
  const void* data = LockResource(loaded);
  if (data == nullptr) return "<not locked>";
  return std::string(static_cast<const char*>(data), SizeofResource(module, info));
}

std::string DataFile(const char* name) {
  return ReadHostFile(std::string(KVB_TEST_DATA_DIR) + "/" + name);
}

// The Big5 bytes of a UTF-8 text.
std::string Big5(const char* utf8) {
  return platform::Utf8ToAnsi(utf8);
}

std::string LoadString(HINSTANCE module, UINT id, int size = 512) {
  std::string buffer(static_cast<std::size_t>(size), '\x7F');
  int length = LoadStringA(module, id, buffer.data(), size);
  if (length < 0 || length >= size || buffer[static_cast<std::size_t>(length)] != '\0') {
    return "<unterminated>";
  }
  return buffer.substr(0, static_cast<std::size_t>(length));
}

TEST(ResourcesTest, ProgramBlobsRoundTripByteForByte) {
  std::string expected = DataFile("blob.bin");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ResourceBytes(nullptr, "TestBlob"), expected);
  EXPECT_EQ(ResourceBytes(GetModuleHandleA(nullptr), "TestBlob"), expected);
  // A file that a build step made is embedded as it was made.
  std::string generated = ReadHostFile(KVB_TEST_GENERATED_BLOB);
  ASSERT_EQ(generated.size(), 4096u);
  EXPECT_EQ(ResourceBytes(nullptr, "Generated.Bin"), generated);
}

TEST(ResourcesTest, NamesIgnoreLetterCase) {
  std::string expected = DataFile("blob.bin");
  EXPECT_EQ(ResourceBytes(nullptr, "TESTBLOB"), expected);
  EXPECT_EQ(ResourceBytes(nullptr, "testblob"), expected);
  EXPECT_EQ(ResourceBytes(nullptr, "GENERATED.BIN").size(), 4096u);
}

TEST(ResourcesTest, MissingNamesAndTypesAreTold) {
  SetLastError(0);
  EXPECT_EQ(FindResourceA(nullptr, "NoSuchBlob", RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(FindResourceA(nullptr, "TestBlob", MAKEINTRESOURCEA(23)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(FindResourceA(nullptr, "TestBlob", "CUSTOMTYPE"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(4711), RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
  EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
}

TEST(ResourcesTest, LockingTwiceGivesTheSameBytes) {
  HRSRC info = FindResourceA(nullptr, "TestBlob", RT_RCDATA);
  ASSERT_NE(info, nullptr);
  HGLOBAL first = LoadResource(nullptr, info);
  HGLOBAL second = LoadResource(nullptr, info);
  EXPECT_EQ(LockResource(first), LockResource(second));
  FreeResource(first);  // resources live as long as their module
  EXPECT_EQ(ResourceBytes(nullptr, "TestBlob"), DataFile("blob.bin"));
}

// The static library's object is referred to by nothing; its resources must be there anyway.
TEST(ResourcesTest, StaticLibraryResourcesReachTheProgram) {
  EXPECT_EQ(ResourceBytes(nullptr, "STATIC_BLOB"), DataFile("static_blob.bin"));
  EXPECT_EQ(ResourceBytes(nullptr, "static_blob"), DataFile("static_blob.bin"));
}

TEST(ResourcesTest, LoadedLibraryCarriesItsOwn) {
  HMODULE lib = LoadLibraryA("KVBTESTRES");
  ASSERT_NE(lib, nullptr) << GetLastError();
  EXPECT_EQ(ResourceBytes(lib, "LibraryBlob"), DataFile("library_blob.bin"));
  EXPECT_EQ(ResourceBytes(lib, "LIBRARYBLOB"), DataFile("library_blob.bin"));
  // Each module sees its own resources only.
  EXPECT_EQ(ResourceBytes(lib, "TestBlob"), "<missing>");
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(ResourceBytes(nullptr, "LibraryBlob"), "<missing>");
  EXPECT_EQ(LoadString(lib, 1000), "from the library");
  EXPECT_EQ(LoadString(lib, 2000), Big5("程式庫"));
  EXPECT_EQ(LoadString(nullptr, 1000), Big5("下載檔案"));
  EXPECT_EQ(LoadString(lib, 1001), "");
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  FreeLibrary(lib);

  // A library without resources has no resource section at all.
  HMODULE plain = LoadLibraryA("KVBTESTLIB");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(FindResourceA(plain, "TestBlob", RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
  FreeLibrary(plain);
}

TEST(ResourceStringsTest, Big5TextsOfTheProgram) {
  EXPECT_EQ(LoadString(nullptr, 1000), "\xA4\x55\xB8\xFC\xC0\xC9\xAE\xD7");
  EXPECT_EQ(LoadString(nullptr, 1001), Big5("所需檔案已下載完成, 現在開始安裝軟件?"));
  EXPECT_EQ(LoadString(nullptr, 1003), "\xB3\x5C\xA5\x5C");  // 許功: trail bytes 0x5C
  EXPECT_EQ(platform::LoadResString(nullptr, 1001), Big5("所需檔案已下載完成, 現在開始安裝軟件?"));
}

TEST(ResourceStringsTest, EscapesBlanksAndEmptyStrings) {
  EXPECT_EQ(LoadString(nullptr, 1002), "  one\r\ntwo\tthree \\ A\xA4\x55  ");
  EXPECT_EQ(LoadString(nullptr, 1005), "plain text with blanks after it");
  EXPECT_EQ(LoadString(nullptr, 65535), "last number");
  SetLastError(ERROR_GEN_FAILURE);
  EXPECT_EQ(LoadString(nullptr, 1004), "");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);  // there, but empty
  EXPECT_EQ(LoadString(nullptr, 999), "");
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
}

TEST(ResourceStringsTest, BuffersAreCutBetweenCharacters) {
  // 下載檔案 is eight bytes; a buffer of five holds two characters and the terminator.
  EXPECT_EQ(LoadString(nullptr, 1000, 5), "\xA4\x55\xB8\xFC");
  EXPECT_EQ(LoadString(nullptr, 1000, 4), "\xA4\x55");
  EXPECT_EQ(LoadString(nullptr, 1000, 1), "");
  EXPECT_EQ(LoadString(nullptr, 1005, 6), "plain");
  // Size 0: a pointer to the read-only UTF-16 text, and its length.
  const WCHAR* text = nullptr;
  int length = LoadStringA(nullptr, 1000, reinterpret_cast<char*>(&text), 0);
  ASSERT_EQ(length, 4);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text, 4), u"下載檔案");
}

class ResourceGeneratorTest : public ::testing::Test {
 protected:
  // Runs the generator; returns its exit status and keeps what it wrote to stderr.
  int Run(const std::string& arguments) {
    std::string command =
        platform::ProgramFolder() + "resgen -o " + (folder / "out.cpp") + " " + arguments + " 2>&1";
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  int RunStrings(const std::string& content) {
    WriteHostFile(folder / "strings.txt", content);
    return Run("--strings " + (folder / "strings.txt"));
  }

  HostFolder folder;
  std::string output;
};

TEST_F(ResourceGeneratorTest, WritesASourceForGoodInput) {
  WriteHostFile(folder / "blob", std::string("\0\1\2", 3));
  ASSERT_EQ(RunStrings("# comment\r\n\r\n7 = seven\r\n8=\"  eight \"\n"), 0) << output;
  ASSERT_EQ(Run("--rcdata ONE " + (folder / "blob") + " --strings " + (folder / "strings.txt")), 0)
      << output;
  EXPECT_TRUE(HostExists(folder / "out.cpp"));
}

// Each mistake is refused with its file and line, and no half-written source is left behind.
TEST_F(ResourceGeneratorTest, RefusesBadStringFilesWithTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"1 = one\n1 = again\n", ":2:"},       // a number defined twice
      {"1 = one\nno number\n", ":2:"},       // no number
      {"\n\n12 text\n", ":3:"},              // no '='
      {"70000 = too big\n", ":1:"},          // beyond 65535
      {"1 = bad \\q escape\n", ":1:"},       // unknown escape
      {"1 = \\x4\n", ":1:"},                 // short hex escape
      {"1 = \"open quote\n", ":1:"},         // quote never closed
      {"1 = \xC3\x28 bad UTF-8\n", ":1:"},   // not UTF-8
      {"1 = ends in backslash\\\n", ":1:"},  // dangling backslash
  };
  for (const auto& [content, where] : cases) {
    unlink((folder / "out.cpp").c_str());
    EXPECT_NE(RunStrings(content), 0) << content;
    EXPECT_NE(output.find("strings.txt" + std::string(where)), std::string::npos)
        << content << " -> " << output;
    EXPECT_FALSE(HostExists(folder / "out.cpp")) << content;
  }
}

TEST_F(ResourceGeneratorTest, RefusesDuplicateNamesAndMissingFiles) {
  WriteHostFile(folder / "a", "a");
  EXPECT_NE(Run("--rcdata Name " + (folder / "a") + " --rcdata NAME " + (folder / "a")), 0);
  EXPECT_NE(output.find("NAME"), std::string::npos) << output;
  EXPECT_NE(Run("--rcdata Name " + (folder / "missing")), 0);
  EXPECT_NE(output.find("missing"), std::string::npos) << output;
  EXPECT_NE(Run("--rcdata"), 0);
  EXPECT_FALSE(HostExists(folder / "out.cpp"));
}

}  // namespace
