// Files and folders with Windows-style paths: drive mapping, errors as Windows numbers, share
// modes between handles, pointers, sizes and times.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "host_folder.h"
#include "platform/files.h"
#include "platform/sysutils.h"

using testsupport::HostExists;
using testsupport::HostFolder;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir((folder / "C").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((folder / "D").c_str(), 0777), 0);
    platform::SetDriveFolder('C', folder / "C");
    platform::SetDriveFolder('D', folder / "D");
  }

  std::string C(const std::string& rest) const { return folder / ("C/" + rest); }

  HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD creation) {
    return CreateFileA(path.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }

  HostFolder folder;
};

TEST_F(FilesTest, DrivePathsMapToTheirFolders) {
  EXPECT_EQ(platform::ToHostPath("C:\\SuperSetup\\SetupKVB.exe"), C("SuperSetup/SetupKVB.exe"));
  EXPECT_EQ(platform::ToHostPath("c:/SuperSetup/x"), C("SuperSetup/x"));
  EXPECT_EQ(platform::ToHostPath("D:\\a\\b\\"), folder / "D/a/b/");
  EXPECT_EQ(platform::ToHostPath("C:\\"), folder / "C/");
  // ".." stops at the drive's root: no path climbs out of the folder behind a drive.
  EXPECT_EQ(platform::ToHostPath("C:\\..\\..\\etc\\passwd"), C("etc/passwd"));
  EXPECT_EQ(platform::ToHostPath("C:\\a\\.\\b\\..\\c"), C("a/c"));
  // Native absolute paths pass through; relative ones stay relative.
  EXPECT_EQ(platform::ToHostPath("/tmp/some file"), "/tmp/some file");
  EXPECT_EQ(platform::ToHostPath("sub\\name.txt"), "sub/name.txt");
  // An unmapped drive and network names have no host path.
  EXPECT_EQ(platform::ToHostPath("Q:\\x"), "");
  EXPECT_EQ(platform::ToHostPath("\\\\server\\share\\x"), "");
  EXPECT_EQ(platform::ToHostPath(""), "");
}

// Paths are ANSI text: the second byte of a Big5 character may be a backslash (許 is B3 5C,
// 功 A5 5C) and is part of the name, never a separator.
TEST_F(FilesTest, Big5CharactersEndingInABackslashByteStayInTheName) {
  const std::string xu = "\xB3\x5C";    // 許
  const std::string gong = "\xA5\x5C";  // 功
  EXPECT_EQ(platform::ToHostPath("C:\\SuperSetup\\" + xu + ".txt"), C("SuperSetup/" + xu + ".txt"));
  EXPECT_EQ(platform::ToHostPath("C:\\" + gong + "\\x"), C(gong + "/x"));
  EXPECT_EQ(platform::ToHostPath("C:\\" + gong), C(gong));  // no trailing separator
  // After a whole character a backslash separates again, also after a lead byte and a byte no
  // Big5 character has as its second; 0x80 and 0xFF are no lead bytes.
  EXPECT_EQ(platform::ToHostPath("C:\\\xA4\xA4\\x"), C("\xA4\xA4/x"));
  EXPECT_EQ(platform::ToHostPath("C:\\\x81"
                                 "0\\x"),
            C("\x81"
              "0/x"));
  EXPECT_EQ(platform::ToHostPath("C:\\\xFF\\\x80\\x"), C("\xFF/\x80/x"));

  const std::string windowsFolder = "C:\\" + gong + "\\";
  EXPECT_EQ(platform::ExtractFileName(windowsFolder + xu), xu);
  EXPECT_EQ(platform::ExtractFilePath(windowsFolder + xu), windowsFolder);
  EXPECT_EQ(platform::ExtractFileName("C:\\" + gong), gong);
  EXPECT_EQ(platform::IncludeTrailingPathDelimiter("C:\\" + gong), "C:\\" + gong + "\\");
  EXPECT_TRUE(platform::IsTrailByteAt("a" + gong, 2));
  EXPECT_FALSE(platform::IsTrailByteAt("a" + gong, 1));
  EXPECT_FALSE(platform::IsTrailByteAt(gong + "\\", 2));

  // Made, written, found and deleted under the same bytes.
  ASSERT_TRUE(platform::ForceDirectories(windowsFolder));
  EXPECT_TRUE(platform::DirectoryExists("C:\\" + gong));
  HANDLE file = Open(windowsFolder + xu, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(std::filesystem::is_regular_file(C(gong + "/" + xu)));
  EXPECT_TRUE(platform::FileExists(windowsFolder + xu));
  EXPECT_TRUE(platform::DeleteFileAt(windowsFolder + xu));
  EXPECT_FALSE(std::filesystem::exists(C(gong + "/" + xu)));
}

TEST_F(FilesTest, DriveFolderIsKeptAbsolute) {
  platform::SetDriveFolder('E', folder / "D/");
  EXPECT_EQ(platform::GetDriveFolder('e'), folder / "D");
  platform::SetDriveFolder('E', "");
  EXPECT_EQ(platform::ToHostPath("E:\\x"), "");
}

TEST_F(FilesTest, ErrnoMapsToWindowsNumbers) {
  EXPECT_EQ(platform::ErrnoToWinError(0), ERROR_SUCCESS);
  EXPECT_EQ(platform::ErrnoToWinError(ENOENT), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform::ErrnoToWinError(ENOTDIR), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(platform::ErrnoToWinError(EACCES), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::ErrnoToWinError(EPERM), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::ErrnoToWinError(EROFS), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::ErrnoToWinError(EISDIR), ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::ErrnoToWinError(EBUSY), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(platform::ErrnoToWinError(EMFILE), ERROR_TOO_MANY_OPEN_FILES);
  EXPECT_EQ(platform::ErrnoToWinError(EBADF), ERROR_INVALID_HANDLE);
  EXPECT_EQ(platform::ErrnoToWinError(ENOMEM), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(platform::ErrnoToWinError(EEXIST), ERROR_FILE_EXISTS);
  EXPECT_EQ(platform::ErrnoToWinError(ENOSPC), ERROR_DISK_FULL);
  EXPECT_EQ(platform::ErrnoToWinError(ENAMETOOLONG), ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(platform::ErrnoToWinError(ENOTEMPTY), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(platform::ErrnoToWinError(EINVAL), ERROR_INVALID_PARAMETER);
  // Whatever errno says, a failure never maps to success.
  EXPECT_NE(platform::ErrnoToWinError(EHOSTDOWN), ERROR_SUCCESS);
}

TEST_F(FilesTest, ProgramFolderHoldsTheRunningProgram) {
  std::string programFolder = platform::ProgramFolder();
  ASSERT_FALSE(programFolder.empty());
  EXPECT_EQ(programFolder.back(), '/');
  EXPECT_TRUE(HostExists(programFolder + "platform_tests"));
}

TEST_F(FilesTest, MissingFileAndMissingPathAreTold) {
  SetLastError(0);
  EXPECT_EQ(GetFileAttributesA("C:\\nothing.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("C:\\no folder\\nothing.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("Q:\\nothing.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  EXPECT_EQ(Open("C:\\nothing.txt", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open("C:\\no folder\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(DeleteFileA("C:\\nothing.txt"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FilesTest, AttributesTellFilesFromFolders) {
  WriteHostFile(C("file.txt"), "x");
  EXPECT_EQ(GetFileAttributesA("C:\\file.txt") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("C:\\") & FILE_ATTRIBUTE_DIRECTORY, 0u);
  chmod(C("file.txt").c_str(), 0444);
  EXPECT_NE(GetFileAttributesA("C:\\file.txt") & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(FilesTest, FoldersAreCreatedAndRemoved) {
  EXPECT_TRUE(CreateDirectoryA("C:\\SuperSetup", nullptr));
  EXPECT_TRUE(HostExists(C("SuperSetup")));
  EXPECT_FALSE(CreateDirectoryA("C:\\SuperSetup", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("C:\\a\\b\\c", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  WriteHostFile(C("SuperSetup/x"), "x");
  EXPECT_FALSE(RemoveDirectoryA("C:\\SuperSetup"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(RemoveDirectoryA("C:\\SuperSetup\\x"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  ASSERT_TRUE(DeleteFileA("C:\\SuperSetup\\x"));
  EXPECT_TRUE(RemoveDirectoryA("C:\\SuperSetup"));
  EXPECT_FALSE(HostExists(C("SuperSetup")));
}

// Root writes read-only files, so "access denied" is tried where root cannot pass either.
TEST_F(FilesTest, AccessDeniedWhereNobodyMayWrite) {
  ASSERT_TRUE(CreateDirectoryA("C:\\folder", nullptr));
  EXPECT_EQ(Open("C:\\folder", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open("C:\\folder", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFileA("C:\\folder"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  if (HostExists("/proc/1/environ")) {
    EXPECT_EQ(Open("/proc/1/environ", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA("/proc/1/status"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
}

TEST_F(FilesTest, CreationModesFollowWindows) {
  HANDLE h = Open("C:\\new.txt", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, "hello", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);
  ASSERT_TRUE(CloseHandle(h));

  EXPECT_EQ(Open("C:\\new.txt", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadHostFile(C("new.txt")), "hello");

  h = Open("C:\\new.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(h);
  EXPECT_EQ(ReadHostFile(C("new.txt")), "hello");

  h = Open("C:\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(h);
  EXPECT_EQ(ReadHostFile(C("new.txt")), "");

  EXPECT_EQ(Open("C:\\other.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open("C:\\other.txt", GENERIC_WRITE, 0, 99), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(HostExists(C("other.txt")));
}

TEST_F(FilesTest, ReadWriteSeekAndSize) {
  HANDLE h = Open("C:\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const std::string payload("0123456789\0\r\n\xFF", 14);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(h, payload.data(), static_cast<DWORD>(payload.size()), &done, nullptr));
  EXPECT_EQ(GetFileSize(h, nullptr), payload.size());

  EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_BEGIN), 3u);
  char buffer[32] = {};
  ASSERT_TRUE(ReadFile(h, buffer, 4, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "3456");
  EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_CURRENT), 5u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_END), 13u);
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xFF);
  // At the end a read succeeds with nothing.
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(done, 0u);

  EXPECT_EQ(SetFilePointer(h, -100, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);

  // A 64-bit position through the high part.
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  high = 0;
  EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_CURRENT), 16u);
  EXPECT_EQ(high, 1);

  EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
  ASSERT_TRUE(SetEndOfFile(h));
  DWORD sizeHigh = 7;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 4u);
  EXPECT_EQ(sizeHigh, 0u);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ(ReadHostFile(C("data.bin")), "0123");
}

TEST_F(FilesTest, HandlesAreCheckedAndAccessIsEnforced) {
  WriteHostFile(C("ro.txt"), "abc");
  HANDLE h = Open("C:\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD done = 99;
  EXPECT_FALSE(WriteFile(h, "x", 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(done, 0u);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  char c;
  EXPECT_FALSE(ReadFile(h, &c, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(ReadHostFile(C("ro.txt")), "abc");
}

TEST_F(FilesTest, ShareModesHoldBetweenHandles) {
  WriteHostFile(C("shared.txt"), "original");
  // Read, denying writers (the runtime's fmShareDenyWrite).
  HANDLE reader = Open("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);

  EXPECT_EQ(
      Open("C:\\shared.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
      INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  // Truncating through a new handle is refused before anything is lost.
  EXPECT_EQ(Open("C:\\shared.txt", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ReadHostFile(C("shared.txt")), "original");
  // Another reader that shares reading is fine; one that denies reading is not, because the
  // first handle reads.
  HANDLE second = Open("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  CloseHandle(second);
  EXPECT_EQ(Open("C:\\shared.txt", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  // The same file by another name is the same file.
  EXPECT_EQ(Open(C("shared.txt"), GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  // Deleting or replacing a file held open without shared deletion is refused.
  EXPECT_FALSE(DeleteFileA("C:\\shared.txt"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  WriteHostFile(C("other.txt"), "other");
  EXPECT_FALSE(MoveFileExA("C:\\other.txt", "C:\\shared.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);

  ASSERT_TRUE(CloseHandle(reader));
  HANDLE writer = Open("C:\\shared.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  // An exclusive writer keeps even readers out.
  EXPECT_EQ(Open("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(writer);
  EXPECT_TRUE(DeleteFileA("C:\\shared.txt"));
}

TEST_F(FilesTest, MoveReplacesOnlyWhenAsked) {
  WriteHostFile(C("a.txt"), "a");
  WriteHostFile(C("b.txt"), "b");
  EXPECT_FALSE(MoveFileExA("C:\\a.txt", "C:\\b.txt", 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(ReadHostFile(C("b.txt")), "b");
  EXPECT_TRUE(MoveFileExA("C:\\a.txt", "C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadHostFile(C("b.txt")), "a");
  EXPECT_FALSE(HostExists(C("a.txt")));
  EXPECT_TRUE(MoveFileExA("C:\\b.txt", "D:\\moved.txt", 0));
  EXPECT_EQ(ReadHostFile(folder / "D/moved.txt"), "a");
}

TEST_F(FilesTest, CurrentDirectoryMovesRelativePaths) {
  ASSERT_TRUE(CreateDirectoryA("C:\\SuperSetup", nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\SuperSetup\\"));
  char buffer[512];
  DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::string(buffer, length), "C:\\SuperSetup");
  // Too small a buffer: the size needed, terminator included.
  EXPECT_EQ(GetCurrentDirectoryA(3, buffer), length + 1);

  HANDLE h = Open("relative.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(HostExists(C("SuperSetup/relative.txt")));
  // A rooted path without a drive is on the current drive.
  EXPECT_EQ(platform::ToHostPath("\\SuperSetup\\x"), C("SuperSetup/x"));

  WriteHostFile(C("plain.txt"), "x");
  EXPECT_FALSE(SetCurrentDirectoryA("C:\\plain.txt"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_FALSE(SetCurrentDirectoryA("C:\\missing"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(SetCurrentDirectoryA("C:\\missing\\deeper"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  // Outside the other drives the host's root is drive Z:, as under Wine, and maps back.
  ASSERT_TRUE(SetCurrentDirectoryA("/tmp"));
  length = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(std::string(buffer, length), "Z:\\tmp");
  EXPECT_EQ(platform::FromHostPath(folder / "C/x"), "C:\\x");  // the nearer drive wins
  EXPECT_EQ(platform::FromHostPath("/"), "Z:\\");
  EXPECT_EQ(platform::ToHostPath("Z:\\opt\\kvb-download\\bin\\"), "/opt/kvb-download/bin/");
  ASSERT_TRUE(SetCurrentDirectoryA("Z:\\tmp\\"));
  EXPECT_EQ(platform::ToHostPath("\\x"), "/x");
}

TEST_F(FilesTest, LastWriteTimeRoundTrips) {
  HANDLE h = Open("C:\\dated.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // 2016-06-15 12:34:56.789 UTC in 100 ns units since 1601.
  const std::uint64_t stamp = 116444736000000000ull + 1465994096ull * 10000000ull + 7890000ull;
  FILETIME set;
  set.dwLowDateTime = static_cast<DWORD>(stamp);
  set.dwHighDateTime = static_cast<DWORD>(stamp >> 32);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &set));
  FILETIME got;
  ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &got));
  EXPECT_EQ(got.dwLowDateTime, set.dwLowDateTime);
  EXPECT_EQ(got.dwHighDateTime, set.dwHighDateTime);
  CloseHandle(h);

  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&got, &st));
  EXPECT_EQ(st.wYear, 2016);
  EXPECT_EQ(st.wMonth, 6);
  EXPECT_EQ(st.wDay, 15);
  EXPECT_EQ(st.wDayOfWeek, 3);  // a Wednesday
  EXPECT_EQ(st.wHour, 12);
  EXPECT_EQ(st.wMinute, 34);
  EXPECT_EQ(st.wSecond, 56);
  EXPECT_EQ(st.wMilliseconds, 789);

  FILETIME first{0, 0};
  ASSERT_TRUE(FileTimeToSystemTime(&first, &st));
  EXPECT_EQ(st.wYear, 1601);
  EXPECT_EQ(st.wMonth, 1);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wDayOfWeek, 1);  // a Monday
}

TEST_F(FilesTest, LocalFileTimeFollowsTheTimeZone) {
  const char* saved = std::getenv("TZ");
  std::string savedTz = saved ? saved : "";
  setenv("TZ", "CST-8", 1);  // Taipei: eight hours ahead of UTC, no daylight saving
  tzset();
  const std::uint64_t stamp = 116444736000000000ull + 1465994096ull * 10000000ull;
  FILETIME utc{static_cast<DWORD>(stamp), static_cast<DWORD>(stamp >> 32)};
  FILETIME local;
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
  EXPECT_EQ(st.wHour, 20);
  EXPECT_EQ(st.wMinute, 34);
  if (saved) {
    setenv("TZ", savedTz.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
