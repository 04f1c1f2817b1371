// WinExec: the Windows search order, what kind of file runs how, and results that tell a start
// from a failure. The programs started here are small shell scripts that leave a mark.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "host_folder.h"
#include "platform/files.h"
#include "platform/process.h"

using testsupport::HostExists;
using testsupport::HostFolder;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

namespace {

// Waits for a started program's mark; gives up after a limit instead of hanging.
bool WaitForFile(const std::string& path, int limitMs = 10000) {
  for (int waited = 0; waited < limitMs; waited += 10) {
    if (HostExists(path)) {
      // The script writes its mark in one go; give it a moment to finish the line.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void WriteScript(const std::string& path, const std::string& body, mode_t mode) {
  WriteHostFile(path, "#!/bin/sh\n" + body + "\n");
  chmod(path.c_str(), mode);
}

// Children of this process that have ended but were never reaped.
int ZombieChildren() {
  int count = 0;
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::string stat = ReadHostFile(std::string("/proc/") + entry->d_name + "/stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid() &&
        state == 'Z') {
      ++count;
    }
  }
  closedir(proc);
  return count;
}

class WinExecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDriveFolder('C', folder.Path());
    ASSERT_EQ(chdir(folder.Path().c_str()), 0);
  }
  void TearDown() override {
    if (!programFolderFile_.empty()) unlink(programFolderFile_.c_str());
  }

  // A file beside the test program, removed after the test.
  std::string InProgramFolder(const std::string& name) {
    programFolderFile_ = platform::ProgramFolder() + name;
    return programFolderFile_;
  }

  HostFolder folder;
  std::string programFolderFile_;
};

// The download window starts its installer as "SetupKVB": a downloaded file has no execute
// permission, yet a script must run as a Windows program would.
TEST_F(WinExecTest, DownloadedScriptRunsByItsBareName) {
  WriteScript(folder / "SetupKVB.exe", "echo \"started $#\" > installer.mark", 0644);
  UINT result = WinExec("SetupKVB", SW_SHOW);
  EXPECT_GT(result, 31u);
  ASSERT_TRUE(WaitForFile(folder / "installer.mark"));
  EXPECT_EQ(ReadHostFile(folder / "installer.mark"), "started 0\n");
}

TEST_F(WinExecTest, ArgumentsAndQuotedNames) {
  WriteScript(folder / "Setup KVB.exe", "printf '%s|' \"$@\" > args.mark", 0755);
  EXPECT_GT(WinExec("\"Setup KVB\" one \"two three\" \"say \\\"hi\\\"\"", SW_SHOWNORMAL), 31u);
  ASSERT_TRUE(WaitForFile(folder / "args.mark"));
  EXPECT_EQ(ReadHostFile(folder / "args.mark"), "one|two three|say \"hi\"|");
}

TEST_F(WinExecTest, FolderPathsAndDrives) {
  ASSERT_EQ(mkdir((folder / "SuperSetup").c_str(), 0777), 0);
  WriteScript(folder / "SuperSetup/SetupKVB.exe", "echo drive > drive.mark", 0644);
  EXPECT_GT(WinExec("C:\\SuperSetup\\SetupKVB.exe", SW_SHOW), 31u);
  ASSERT_TRUE(WaitForFile(folder / "drive.mark"));
  EXPECT_EQ(WinExec("C:\\SuperSetup\\Missing.exe", SW_SHOW), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinExec("C:\\NoFolder\\SetupKVB.exe", SW_SHOW), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(WinExec("/nonexistent-kvb-folder/SetupKVB", SW_SHOW), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(WinExec("Q:\\SetupKVB.exe", SW_SHOW), ERROR_PATH_NOT_FOUND);
}

TEST_F(WinExecTest, ProgramFolderComesBeforeTheCurrentFolder) {
  std::string name = "kvbwinexec" + std::to_string(getpid());
  WriteScript(InProgramFolder(name + ".exe"), "echo program > \"$PWD/where.mark\"", 0644);
  WriteScript(folder / (name + ".exe"), "echo current > \"$PWD/where.mark\"", 0644);
  EXPECT_GT(WinExec(name.c_str(), SW_SHOW), 31u);
  ASSERT_TRUE(WaitForFile(folder / "where.mark"));
  EXPECT_EQ(ReadHostFile(folder / "where.mark"), "program\n");
}

TEST_F(WinExecTest, NothingFromPathRunsByABareName) {
  // "sh" and "true" are on PATH; as Windows programs they would be sh.exe and true.exe.
  EXPECT_EQ(WinExec("sh -c 'echo bad > path.mark'", SW_SHOW), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinExec("true", SW_SHOW), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinExec("", SW_SHOW), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinExec(nullptr, SW_SHOW), ERROR_FILE_NOT_FOUND);
  // A file without the extension is not what "name" means either.
  WriteScript(folder / "plain", "echo bad > plain.mark", 0755);
  EXPECT_EQ(WinExec("plain", SW_SHOW), ERROR_FILE_NOT_FOUND);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(HostExists(folder / "path.mark"));
  EXPECT_FALSE(HostExists(folder / "plain.mark"));
}

TEST_F(WinExecTest, NativeExecutablesRunDirectly) {
  const char* touch = HostExists("/usr/bin/touch") ? "/usr/bin/touch" : "/bin/touch";
  WriteHostFile(folder / "mytouch.exe", ReadHostFile(touch));
  chmod((folder / "mytouch.exe").c_str(), 0755);
  EXPECT_GT(WinExec("mytouch native.mark", SW_SHOW), 31u);
  EXPECT_TRUE(WaitForFile(folder / "native.mark"));
}

TEST_F(WinExecTest, WindowsAndUnknownFormatsAreBadFormat) {
  if (HostExists("/usr/bin/wine") || HostExists("/usr/local/bin/wine")) {
    GTEST_SKIP() << "wine is installed here";
  }
  WriteHostFile(folder / "Setup.exe", std::string("MZ\x90\0\x03\0\0\0", 8) + "PE program");
  EXPECT_EQ(WinExec("Setup", SW_SHOW), ERROR_BAD_FORMAT);
  WriteHostFile(folder / "text.exe", "just some text\n");
  chmod((folder / "text.exe").c_str(), 0755);
  EXPECT_EQ(WinExec("text", SW_SHOW), ERROR_BAD_FORMAT);
  WriteHostFile(folder / "empty.exe", "");
  EXPECT_EQ(WinExec("empty", SW_SHOW), ERROR_BAD_FORMAT);
}

// A file that is there but cannot run gives an error, never a result that reads as started.
TEST_F(WinExecTest, FilesThatCannotRunAreNotReportedAsStarted) {
  const char* trueProgram = HostExists("/usr/bin/true") ? "/usr/bin/true" : "/bin/true";
  WriteHostFile(folder / "noexec.exe", ReadHostFile(trueProgram));
  chmod((folder / "noexec.exe").c_str(), 0644);
  EXPECT_EQ(WinExec("noexec", SW_SHOW), ERROR_ACCESS_DENIED);

  ASSERT_EQ(mkdir((folder / "folder.exe").c_str(), 0777), 0);
  EXPECT_EQ(WinExec("C:\\folder.exe", SW_SHOW), ERROR_ACCESS_DENIED);
  UINT folderResult = WinExec("folder", SW_SHOW);
  EXPECT_LE(folderResult, 31u);
  EXPECT_NE(folderResult, 0u);

  WriteHostFile(folder / "orphan.exe", "#!/nonexistent/interpreter\n");
  chmod((folder / "orphan.exe").c_str(), 0755);
  UINT result = WinExec("orphan", SW_SHOW);
  EXPECT_LE(result, 31u);
  EXPECT_NE(result, 0u);
}

// An installer still being written by this process (its download not finished) must not start
// half-written.
TEST_F(WinExecTest, ProgramStillOpenForWritingDoesNotStart) {
  HANDLE download = CreateFileA("C:\\SetupKVB.exe", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(download, INVALID_HANDLE_VALUE);
  const std::string script = "#!/bin/sh\necho ran > early.mark\n";
  DWORD written = 0;
  ASSERT_TRUE(
      WriteFile(download, script.data(), static_cast<DWORD>(script.size()), &written, nullptr));
  EXPECT_EQ(WinExec("SetupKVB", SW_SHOW), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(CloseHandle(download));
  EXPECT_GT(WinExec("SetupKVB", SW_SHOW), 31u);
  EXPECT_TRUE(WaitForFile(folder / "early.mark"));
}

// WinExec returns while the program still runs, leaves it no descriptors of ours, and no
// ended program stays behind as a zombie.
TEST_F(WinExecTest, ChildRunsDetachedWithoutOurDescriptorsAndIsReaped) {
  int leaked = open("/dev/null", O_RDONLY);  // no close-on-exec on purpose
  ASSERT_GE(leaked, 0);
  int high = dup2(leaked, 77);
  ASSERT_EQ(high, 77);
  WriteScript(folder / "worker.exe",
              "ls /proc/$$/fd > fds.mark\n"
              "n=0; while [ ! -e release ] && [ $n -lt 2000 ]; do sleep 0.01; n=$((n+1)); done\n"
              "echo done > done.mark",
              0644);
  EXPECT_GT(WinExec("worker", SW_HIDE), 31u);
  ASSERT_TRUE(WaitForFile(folder / "fds.mark"));
  EXPECT_FALSE(HostExists(folder / "done.mark"));  // returned without waiting for the child
  std::string fds = ReadHostFile(folder / "fds.mark");
  EXPECT_EQ(fds.find("77\n"), std::string::npos) << fds;
  close(high);
  close(leaked);

  WriteHostFile(folder / "release", "");
  ASSERT_TRUE(WaitForFile(folder / "done.mark"));
  int zombies = 1;
  for (int i = 0; i < 500 && zombies > 0; ++i) {
    zombies = ZombieChildren();
    if (zombies > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(zombies, 0);
}

}  // namespace
