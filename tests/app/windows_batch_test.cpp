// The Windows program (cross-built by scripts/build-windows) in batch mode under Wine, against
// the same real FTP servers as the Linux tool: every file byte for byte in the prefix's
// C:\SuperSetup, and the downloaded installer started through the system's WinExec.
//
// Only where the Windows build and Wine are both there (scripts/test's Windows stage); skipped
// otherwise. Booting a Wine prefix costs seconds, so the tests share one: under ctest the one that
// WindowsWinePrefix.Setup booted for the whole run (tests/app/wine_prefix.sh), run by hand one
// of the program's own. Each test starts with an empty C:\SuperSetup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <thread>

#include "app_support.h"
#include "support/ftp_servers.h"

using apptest::ListFiles;
using apptest::ReadFile;
using apptest::RunTool;
using apptest::SampleBytes;
using apptest::ServerCaseName;
using apptest::ServerCases;
using apptest::StartServer;
using apptest::TempDir;
using apptest::ToolResult;
using apptest::TServerCase;
using apptest::WriteFile;
namespace fs = std::filesystem;

namespace {

std::string WindowsBuildDir() {
  const char* dir = std::getenv("KVB_WINDOWS_BUILD_DIR");
  return dir && *dir ? dir : std::string(KVB_TEST_SOURCE_DIR) + "/build-win64";
}

std::string FindWine() {
  const char* path = std::getenv("PATH");
  std::string paths = path ? path : "/usr/bin";
  for (std::size_t start = 0; start <= paths.size();) {
    std::size_t end = paths.find(':', start);
    if (end == std::string::npos) end = paths.size();
    fs::path candidate = fs::path(paths.substr(start, end - start)) / "wine";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return {};
}

std::string Describe(const ToolResult& r) {
  return "exit " + std::to_string(r.ExitCode) + "\n--- stdout\n" + r.Output + "--- stderr\n" +
         r.Errors;
}

class WindowsBatchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Program = WindowsBuildDir() + "/bin/kvb-download.exe";
    Wine = FindWine();
    if (!fs::exists(Program) || Wine.empty()) return;
    if (const char* build = std::getenv("KVB_BINARY_DIR"); build && *build) {
      const fs::path shared = fs::path(build) / "wine-prefix";
      if (fs::exists(shared / "booted")) {
        Prefix = shared / "prefix";
        Booted = true;
        return;
      }
    }
    Own = std::make_unique<TempDir>();
    Prefix = Own->Path() / "prefix";
    const std::string boot = "WINEPREFIX='" + Prefix.string() + "' WINEDEBUG=-all DISPLAY= '" +
                             Wine + "' wineboot -i >/dev/null 2>&1";
    Booted = std::system(boot.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    if (Own) {
      const std::string stop = "WINEPREFIX='" + Prefix.string() + "' wineserver -k 2>/dev/null";
      [[maybe_unused]] int ignored = std::system(stop.c_str());
    }
    Own.reset();
  }
  static const fs::path& PrefixPath() { return Prefix; }

  void SetUp() override {
    if (!fs::exists(Program)) GTEST_SKIP() << "no Windows build at " << Program;
    if (Wine.empty()) GTEST_SKIP() << "Wine is not installed";
    ASSERT_TRUE(Booted) << "wineboot failed";
    fs::remove_all(Local());
  }

  fs::path Remote() const { return server.Path() / "KVB_program"; }
  static fs::path Local() { return PrefixPath() / "drive_c" / "SuperSetup"; }

  ToolResult Run(int port, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--batch", "--server", "127.0.0.1:" + std::to_string(port),
                                  "--timeout", "150"};
    args.insert(args.end(), extra.begin(), extra.end());
    ToolResult r =
        RunTool(args, 200, {"WINEPREFIX=" + PrefixPath().string(), "WINEDEBUG=-all", "DISPLAY="},
                {Wine}, Program);
    // A Windows console program ends its lines in CR LF.
    for (std::string& line : r.Lines)
      if (!line.empty() && line.back() == '\r') line.pop_back();
    return r;
  }

  TempDir server;
  static inline std::string Program, Wine;
  static inline fs::path Prefix;
  static inline std::unique_ptr<TempDir> Own;  // the prefix when no shared one was booted
  static inline bool Booted = false;
};

class WindowsAllFilesTest : public WindowsBatchTest,
                            public ::testing::WithParamInterface<TServerCase> {};

TEST_P(WindowsAllFilesTest, EveryListedFileArrivesByteForByteAndSetupExeAsSetupKvbExe) {
  const TServerCase& c = GetParam();
  std::map<std::string, std::string> files{
      {"Setup.exe", "MZ not started: the answer is no"},
      {"big.bin", SampleBytes(300000, 7)},
      {"notes.txt", "line 1\r\nline 2\n"},
      {"empty.dat", ""},
  };
  for (auto& [name, bytes] : files) WriteFile(Remote() / name, bytes);
  std::unique_ptr<testsupport::FtpServer> ftp = StartServer(c, server.Path().string());
  std::vector<std::string> extra;
  if (c.Active) extra.push_back("--active");
  ToolResult r = Run(ftp->Port(), extra);

  ASSERT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(ListFiles(Local()),
            (std::vector<std::string>{"SetupKVB.exe", "big.bin", "empty.dat", "notes.txt"}));
  for (auto& [name, bytes] : files)
    EXPECT_EQ(ReadFile(Local() / (name == "Setup.exe" ? "SetupKVB.exe" : name)), bytes) << name;
  EXPECT_TRUE(r.Has(std::string("kvb: start: server 127.0.0.1:") + std::to_string(ftp->Port()) +
                    (c.Active ? ", active" : ", passive") + " mode, drive C: C:\\"))
      << Describe(r);
  // The console lines are UTF-8, the Big5 texts converted.
  EXPECT_TRUE(r.Has("kvb: status: big.bin 下載完成")) << Describe(r);
  EXPECT_EQ(r.Count("kvb: installer"), 0);
  EXPECT_EQ(r.Lines.back(), "kvb: end: 0 4 of 4 listed files received");
}

INSTANTIATE_TEST_SUITE_P(Servers, WindowsAllFilesTest, ServerCases(), ServerCaseName);

TEST_F(WindowsBatchTest, AnsweringYesStartsTheDownloadedWindowsInstaller) {
  const fs::path installer = WindowsBuildDir() + "/bin/record-run.exe";
  ASSERT_TRUE(fs::exists(installer)) << installer;
  fs::create_directories(Remote());
  fs::copy_file(installer, Remote() / "Setup.exe");
  WriteFile(Remote() / "data.txt", "data");
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());
  ToolResult r = Run(ftp->Port(), {"--answer", "yes"});
  EXPECT_EQ(r.ExitCode, 0) << Describe(r);
  ASSERT_EQ(r.Count("kvb: installer: WinExec(\"SetupKVB\", 5) = "), 1) << Describe(r);
  EXPECT_NE(r.Output.find("(started)"), std::string::npos) << Describe(r);
  // The installer runs on its own, in the download folder.
  const fs::path marker = Local() / "installer-ran.txt";
  for (int i = 0; i < 200 && !fs::exists(marker); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ReadFile(marker), "C:\\SuperSetup");
}

TEST_F(WindowsBatchTest, DriveCIsRefusedAndTheWindowIsNotThereYet) {
  ToolResult refused = Run(21, {"--drive-c", "/tmp"});
  EXPECT_EQ(refused.ExitCode, 2);
  EXPECT_NE(refused.Errors.find("--drive-c has no meaning on Windows"), std::string::npos)
      << Describe(refused);
  ToolResult window =
      RunTool({}, 60, {"WINEPREFIX=" + PrefixPath().string(), "WINEDEBUG=-all"}, {Wine}, Program);
  EXPECT_EQ(window.ExitCode, 2);
  EXPECT_NE(window.Errors.find("the window is not available yet"), std::string::npos)
      << Describe(window);
}

}  // namespace
