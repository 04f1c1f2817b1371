// LoadLibrary, GetProcAddress and FreeLibrary over dlopen, with the program's folder searched
// before the system's. The test libraries are built beside the test program (bin/) and in
// bin/testsys, which the test program's RPATH puts ahead of bin/ for the system search.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "host_folder.h"
#include "platform/files.h"
#include "platform/library.h"

using testsupport::HostExists;
using testsupport::HostFolder;
using testsupport::WriteHostFile;

namespace {

using WhereFunction = int (*)();

int Where(HMODULE module) {
  auto where = reinterpret_cast<WhereFunction>(GetProcAddress(module, "kvb_testlib_where"));
  return where ? where() : -1;
}

std::string FileNameOf(HMODULE module) {
  char buffer[4096];
  DWORD length = GetModuleFileNameA(module, buffer, sizeof buffer);
  return std::string(buffer, length);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class LibraryTest : public ::testing::Test {
 protected:
  // The search must not depend on the current folder.
  void SetUp() override { ASSERT_EQ(chdir(folder.Path().c_str()), 0); }
  HostFolder folder;
};

TEST_F(LibraryTest, ProgramFolderComesFirst) {
  HMODULE lib = LoadLibraryA("KVBTESTLIB");
  ASSERT_NE(lib, nullptr) << GetLastError();
  EXPECT_EQ(Where(lib), 1);
  EXPECT_EQ(FileNameOf(lib), platform::ProgramFolder() + "libkvbtestlib.so");
  EXPECT_TRUE(FreeLibrary(lib));
}

TEST_F(LibraryTest, SystemPathIsSearchedNext) {
  HMODULE lib = LoadLibraryA("kvbsystemonly.dll");
  ASSERT_NE(lib, nullptr) << GetLastError();
  EXPECT_EQ(Where(lib), 3);
  EXPECT_TRUE(EndsWith(FileNameOf(lib), "/testsys/libkvbsystemonly.so")) << FileNameOf(lib);
  EXPECT_TRUE(FreeLibrary(lib));
}

TEST_F(LibraryTest, WindowsNamesMapToSharedObjects) {
  for (const char* name : {"kvbtestlib", "KvbTestLib.DLL", "kvbtestlib.dll"}) {
    HMODULE lib = LoadLibraryA(name);
    ASSERT_NE(lib, nullptr) << name;
    EXPECT_EQ(Where(lib), 1) << name;
    FreeLibrary(lib);
  }
  // The socket library the program binds at run time.
  if (HostExists(platform::ProgramFolder() + "libwsock32.so")) {
    HMODULE wsock = LoadLibraryA("WSOCK32");
    ASSERT_NE(wsock, nullptr);
    EXPECT_EQ(FileNameOf(wsock), platform::ProgramFolder() + "libwsock32.so");
    FreeLibrary(wsock);
  }
  // A host path is taken as it is.
  HMODULE byPath = LoadLibraryA((platform::ProgramFolder() + "testsys/libkvbtestlib.so").c_str());
  ASSERT_NE(byPath, nullptr);
  EXPECT_EQ(Where(byPath), 2);
  FreeLibrary(byPath);
}

TEST_F(LibraryTest, LoadedOnceLookedUpManyTimes) {
  HMODULE first = LoadLibraryA("KVBTESTLIB");
  HMODULE second = LoadLibraryA("kvbtestlib.dll");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(GetModuleHandleA("KVBTESTLIB"), first);
  using NextFunction = int (*)();
  auto next = reinterpret_cast<NextFunction>(GetProcAddress(first, "kvb_testlib_next"));
  auto again = reinterpret_cast<NextFunction>(GetProcAddress(second, "kvb_testlib_next"));
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next, again);
  int n = next();
  EXPECT_EQ(again(), n + 1);  // one library, one counter
  for (int i = 0; i < 100; ++i)
    ASSERT_EQ(GetProcAddress(first, "kvb_testlib_next"), reinterpret_cast<FARPROC>(next));

  EXPECT_TRUE(FreeLibrary(first));
  // Still loaded once more: the functions stay callable.
  EXPECT_EQ(next(), n + 2);
  EXPECT_TRUE(FreeLibrary(second));
  EXPECT_FALSE(FreeLibrary(second));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetModuleHandleA("KVBTESTLIB"), nullptr);
}

TEST_F(LibraryTest, MissingLibrariesAndProcedures) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("NOSUCHKVBLIB"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA(""), nullptr);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);

  HMODULE lib = LoadLibraryA("KVBTESTLIB");
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(GetProcAddress(lib, "no_such_procedure"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  // Only the library's own exports count, not what it found in the libraries it uses: a
  // binding that resolved "malloc" or "send" elsewhere would call the wrong function.
  EXPECT_EQ(GetProcAddress(lib, "malloc"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(lib, "strlen"), nullptr);
  using LengthFunction = int (*)(const char*);
  auto length = reinterpret_cast<LengthFunction>(GetProcAddress(lib, "kvb_testlib_length"));
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length("WSOCK32"), 7);
  EXPECT_EQ(GetProcAddress(lib, reinterpret_cast<const char*>(1)), nullptr);  // an ordinal
  FreeLibrary(lib);
}

TEST_F(LibraryTest, NotALibraryIsABadFormat) {
  platform::SetDriveFolder('C', folder.Path());
  WriteHostFile(folder / "libbroken.so", "this is no shared object\n");
  EXPECT_EQ(LoadLibraryA((folder / "libbroken.so").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
  EXPECT_EQ(LoadLibraryA("C:\\libbroken.so"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
  EXPECT_EQ(LoadLibraryA("C:\\libmissing.so"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(LibraryTest, MadeUpHandlesAreRefused) {
  auto bogus = reinterpret_cast<HMODULE>(0x1234560);
  EXPECT_FALSE(FreeLibrary(bogus));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetProcAddress(bogus, "kvb_testlib_where"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  char buffer[64];
  EXPECT_EQ(GetModuleFileNameA(bogus, buffer, sizeof buffer), 0u);
}

TEST_F(LibraryTest, TheProgramItself) {
  HMODULE program = GetModuleHandleA(nullptr);
  ASSERT_NE(program, nullptr);
  std::string name = FileNameOf(nullptr);
  EXPECT_EQ(name, platform::ProgramFolder() + "platform_tests");
  EXPECT_EQ(FileNameOf(program), name);
  // Too small a buffer: cut, terminated, the buffer's size returned.
  char small[8];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(small), name.substr(0, 7));
  EXPECT_TRUE(FreeLibrary(program));  // the program is never unloaded
}

}  // namespace
