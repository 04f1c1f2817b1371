// The Windows program (cross-built by scripts/build-windows) under Wine, against the same real
// FTP servers as the Linux tool: in batch mode every file byte for byte in the prefix's
// C:\SuperSetup, and the downloaded installer started through the system's WinExec; its window
// of the system's own controls under an Xvfb of the test's own.
//
// Only where the Windows build and Wine are both there (and Xvfb for the window) (scripts/test's
// Windows stage); skipped otherwise. Booting a Wine prefix costs seconds, so the tests share one:
// under ctest the one that WindowsWinePrefix.Setup booted for the whole run
// (tests/app/wine_prefix.sh), run by hand one of the program's own. Each test starts with an empty
// C:\SuperSetup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

#include "app_support.h"
#include "support/ftp_servers.h"
#include "support/gui_support.h"

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

TEST_F(WindowsBatchTest, DriveCIsRefused) {
  ToolResult refused = Run(21, {"--drive-c", "/tmp"});
  EXPECT_EQ(refused.ExitCode, 2);
  EXPECT_NE(refused.Errors.find("--drive-c has no meaning on Windows"), std::string::npos)
      << Describe(refused);
}

// The window of the system's controls under Xvfb, driven from outside by drive-window.exe
// (tests/windows/drive_window.cpp), a program of the same build: it reads the window's texts,
// walks the tab order, clicks Download, answers the install question, presses the language
// button with Enter and Exit with Space, and writes down what it saw. Screenshots of each stage are
// kept as build/artifacts/app/windows_*.png.
std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

std::multimap<std::string, std::string> ReadResults(const fs::path& file) {
  std::multimap<std::string, std::string> results;
  std::istringstream in(ReadFile(file));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t colon = line.find(": ");
    if (colon != std::string::npos) results.emplace(line.substr(0, colon), line.substr(colon + 2));
  }
  return results;
}

std::string One(const std::multimap<std::string, std::string>& results, const std::string& key) {
  auto it = results.find(key);
  return it == results.end() ? "(none)" : it->second;
}

TEST_F(WindowsBatchTest, TheWindowDownloadsAsksSwitchesLanguageAndTabsInOrder) {
  testsupport::TXvfb xvfb;
  std::string error;
  const fs::path artifacts = fs::path(apptest::BinaryDir()) / "artifacts" / "app";
  fs::create_directories(artifacts);
  if (!xvfb.Start(error, (artifacts / "windows_xvfb.log").string())) GTEST_SKIP() << error;
  const fs::path driver = WindowsBuildDir() + "/bin/drive-window.exe";
  ASSERT_TRUE(fs::exists(driver)) << driver;
  std::map<std::string, std::string> files{
      {"Setup.exe", "MZ not started: the answer is no"},
      {"big.bin", SampleBytes(200000, 3)},
      {"notes.txt", "notes"},
  };
  for (auto& [name, bytes] : files) WriteFile(Remote() / name, bytes);
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());
  const fs::path results = server.Path() / "results.txt";
  // A desktop of its own, shown on the test's display: the prefix's default desktop was
  // started without one.
  ToolResult r = RunTool(
      {WindowsPath(Program), "127.0.0.1:" + std::to_string(ftp->Port()), WindowsPath(results),
       WindowsPath(artifacts)},
      240, {"WINEPREFIX=" + PrefixPath().string(), "WINEDEBUG=-all", "DISPLAY=" + xvfb.Display()},
      {Wine, "explorer", "/desktop=kvbwindow,1024x768"}, WindowsPath(driver));
  xvfb.Stop();
  for (const char* shot : {"windows_chinese", "windows_question", "windows_english"}) {
    const fs::path bmp = artifacts / (std::string(shot) + ".bmp");
    if (!fs::exists(bmp)) continue;
    const std::string convert = "convert '" + bmp.string() + "' '" +
                                (artifacts / (std::string(shot) + ".png")).string() + "'";
    if (std::system(convert.c_str()) == 0) fs::remove(bmp);
  }
  const auto seen = ReadResults(results);
  const std::string log = ReadFile(results);
  ASSERT_EQ(r.ExitCode, 0) << Describe(r) << log;
  ASSERT_EQ(seen.count("error"), 0u) << log;

  // Opened in Chinese, the texts converted from Big5, at the description's positions.
  EXPECT_EQ(One(seen, "chinese caption"),
            "KVB 股市分析系統 (下載 / 安裝)   (Updated on 2016/06/15)");
  EXPECT_EQ(One(seen, "chinese control 72,18"), "Static|軟件 (下載 / 安裝) 系統|-");
  EXPECT_EQ(One(seen, "chinese control 16,320"), "Button|下載檔案|tab");
  EXPECT_EQ(One(seen, "chinese control 16,290"), "Button|使用被動模式|tab");
  EXPECT_EQ(One(seen, "chinese control 336,80"), "Static|C:\\SuperSetup\\|-");
  // Typed text reaches the control whole, whatever the ANSI code page.
  EXPECT_NE(One(seen, "typed").find("中"), std::string::npos) << One(seen, "typed");
  // Tab from the listing box through the window's tab order and around; Shift+Tab back.
  EXPECT_EQ(One(seen, "tab walk"),
            "16,104 436,320 176,104 320,320 336,104 16,320 16,290 478,16 16,104");
  EXPECT_EQ(One(seen, "shift tab"), "478,16");
  // The install question, its buttons in the window's language; answered No.
  EXPECT_EQ(One(seen, "question caption"), "KVB Download");
  EXPECT_NE(log.find("question text: 所需檔案已下載完成"), std::string::npos) << log;
  EXPECT_EQ(One(seen, "question button 6"), "是(&Y)");
  EXPECT_EQ(One(seen, "question button 7"), "否(&N)");
  // The file list box shows the folder; the files arrived byte for byte.
  std::vector<std::string> listed;
  for (auto [it, end] = seen.equal_range("file list"); it != end; ++it)
    listed.push_back(it->second);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"SetupKVB.exe", "big.bin", "notes.txt"}));
  for (auto& [name, bytes] : files)
    EXPECT_EQ(ReadFile(Local() / (name == "Setup.exe" ? "SetupKVB.exe" : name)), bytes) << name;
  // Enter on the language button: every text of the word table in English.
  EXPECT_EQ(One(seen, "language focused"), "yes");
  EXPECT_EQ(One(seen, "english caption"), "KVB-System (Download / Installation) ");
  EXPECT_EQ(One(seen, "english control 16,320"), "Button|Download File|tab");
  EXPECT_EQ(One(seen, "english control 16,80"), "Static|Files List|-");
  EXPECT_EQ(One(seen, "english control 436,320"), "Button|Exit|tab");
  // Space on Exit ends the program.
  EXPECT_EQ(One(seen, "exit focused"), "yes");
  EXPECT_EQ(One(seen, "exit code"), "0");
  EXPECT_TRUE(fs::exists(artifacts / "windows_chinese.png"));
}

// The system's message boxes as the widget set shows them (tests/windows/show_box.cpp): buttons
// labelled in the window's language, and the box with Cancel alone, which the system lacks,
// answering IDCANCEL.
TEST_F(WindowsBatchTest, MessageBoxesSpeakTheWindowsLanguageAndCancelOnlyAnswersCancel) {
  testsupport::TXvfb xvfb;
  std::string error;
  const fs::path artifacts = fs::path(apptest::BinaryDir()) / "artifacts" / "app";
  fs::create_directories(artifacts);
  if (!xvfb.Start(error, (artifacts / "windows_xvfb.log").string())) GTEST_SKIP() << error;
  const fs::path boxes = WindowsBuildDir() + "/bin/show-box.exe";
  ASSERT_TRUE(fs::exists(boxes)) << boxes;
  ToolResult r = RunTool(
      {"7:0x0409", "7:0x0404", "3:0x0409", "4:0"}, 120,
      {"WINEPREFIX=" + PrefixPath().string(), "WINEDEBUG=-all", "DISPLAY=" + xvfb.Display()},
      {Wine, "explorer", "/desktop=kvbboxes,800x600"}, WindowsPath(boxes));
  xvfb.Stop();
  for (std::string& line : r.Lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  EXPECT_EQ(r.Lines, (std::vector<std::string>{
                         "box 7:0x0409 buttons 1=Cancel result 2",
                         "box 7:0x0404 buttons 1=取消 result 2",
                         "box 3:0x0409 buttons 6=&Yes 7=&No 2=Cancel result 6",
                         "box 4:0 buttons 6=是(&Y) 7=否(&N) result 6",
                     }))
      << Describe(r);
}

}  // namespace
