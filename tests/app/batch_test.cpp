// The tool as a process in batch mode against real FTP servers (pyftpdlib and vsftpd, passive
// and active) and against pyftpdlib tweaked to misbehave; and its command line.
#include <gtest/gtest.h>
#include <unistd.h>

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

// Big5 texts as the tool writes them, in UTF-8.
const std::string QuestionUtf8 = "所需檔案已下載完成, 現在開始安裝軟件?";
const std::string MissingUtf8 = "所需檔案不存在!";

std::string Describe(const ToolResult& r) {
  return "exit " + std::to_string(r.ExitCode) + "\n--- stdout\n" + r.Output + "--- stderr\n" +
         r.Errors;
}

class BatchTest : public ::testing::Test {
 protected:
  fs::path Remote() const { return server.Path() / "KVB_program"; }
  fs::path Local() const { return drive.Path() / "SuperSetup"; }
  ToolResult Run(int port, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--batch",
                                  "--server",
                                  "127.0.0.1:" + std::to_string(port),
                                  "--drive-c",
                                  drive.Path().string(),
                                  "--timeout",
                                  "150"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(args, 200);
  }

  TempDir server, drive;
};

// ---- Every file arrives, with both servers in both modes --------------------------------------

class AllFilesTest : public BatchTest, public ::testing::WithParamInterface<TServerCase> {};

TEST_P(AllFilesTest, EveryListedFileArrivesByteForByteAndSetupExeAsSetupKvbExe) {
  const TServerCase& c = GetParam();
  std::map<std::string, std::string> files{
      {"Setup.exe", "#!/bin/sh\necho installer\n"},
      {"setup.exe", "not the installer: other letter case"},
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
  EXPECT_EQ(ListFiles(Local()), (std::vector<std::string>{"SetupKVB.exe", "big.bin", "empty.dat",
                                                          "notes.txt", "setup.exe"}));
  for (auto& [name, bytes] : files) {
    std::string local = name == "Setup.exe" ? "SetupKVB.exe" : name;
    EXPECT_EQ(ReadFile(Local() / local), bytes) << name;
    EXPECT_TRUE(r.Has("kvb: Memo1: " + name)) << name;
  }
  EXPECT_TRUE(r.Has(std::string("kvb: start: server 127.0.0.1:") + std::to_string(ftp->Port()) +
                    (c.Active ? ", active" : ", passive") +
                    " mode, drive C: " + fs::canonical(drive.Path()).string()))
      << Describe(r);
  EXPECT_TRUE(r.Has("kvb: InfoMemo: operation complete"));
  EXPECT_TRUE(r.Has("kvb: status: big.bin 下載中...300000")) << Describe(r);
  EXPECT_TRUE(r.Has("kvb: status: big.bin 下載完成"));
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] " + QuestionUtf8 + " -> No")) << Describe(r);
  EXPECT_EQ(r.Count("kvb: box"), 1);
  EXPECT_EQ(r.Count("kvb: installer"), 0);
  EXPECT_EQ(r.Lines.back(), "kvb: end: 0 5 of 5 listed files received");
}

INSTANTIATE_TEST_SUITE_P(Servers, AllFilesTest, ServerCases(), ServerCaseName);

// ---- Refusals and other ends of a run ----------------------------------------------------------

TEST_F(BatchTest, ARefusedSecondFileOfThreeGivesOneBoxAndTheThirdStillArrives) {
  WriteFile(Remote() / "a.bin", "first");
  fs::create_symlink("missing-target", Remote() / "b.bin");  // listed, but cannot be read
  WriteFile(Remote() / "c.bin", "third");
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());
  ToolResult r = Run(ftp->Port());

  EXPECT_EQ(r.ExitCode, 1) << Describe(r);
  EXPECT_EQ(r.Count("kvb: box [FTP Error: 550] 550 "), 1) << Describe(r);
  EXPECT_EQ(r.Count("kvb: Memo1: "), 2);
  EXPECT_TRUE(r.Has("kvb: Memo1: a.bin"));
  EXPECT_TRUE(r.Has("kvb: Memo1: c.bin"));
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] " + QuestionUtf8 + " -> No"));
  EXPECT_EQ(ListFiles(Local()), (std::vector<std::string>{"a.bin", "c.bin"}));
  EXPECT_EQ(ReadFile(Local() / "c.bin"), "third");
  EXPECT_EQ(r.Lines.back(), "kvb: end: 1 2 of 3 listed files received, 1 failed");
}

TEST_F(BatchTest, AnEmptyFolderEndsWithoutTheQuestion) {
  fs::create_directories(Remote());
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());
  ToolResult r = Run(ftp->Port(), {"--answer", "yes"});
  EXPECT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(r.Count("kvb: box"), 0) << Describe(r);
  EXPECT_TRUE(r.Has("kvb: status: 已登出系統"));
  EXPECT_EQ(r.Lines.back(), "kvb: end: 0 0 of 0 listed files received");
  EXPECT_TRUE(ListFiles(Local()).empty());
}

TEST_F(BatchTest, AnsweringYesStartsTheDownloadedInstallerAndEndsTheProgram) {
  std::string marker = (server.Path() / "installer-ran").string();
  WriteFile(Remote() / "Setup.exe", "#!/bin/sh\npwd > '" + marker + "'\n");
  WriteFile(Remote() / "data.txt", "data");
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());
  ToolResult r = Run(ftp->Port(), {"--answer", "yes"});
  EXPECT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] " + QuestionUtf8 + " -> Yes")) << Describe(r);
  ASSERT_EQ(r.Count("kvb: installer: WinExec(\"SetupKVB\", 5) = "), 1) << Describe(r);
  EXPECT_EQ(r.Count("kvb: installer: WinExec(\"SetupKVB\", 5) = 0 "), 0);
  EXPECT_NE(r.Output.find("(started)"), std::string::npos);
  // The installer runs on its own, in the download folder.
  for (int i = 0; i < 100 && !fs::exists(marker); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ReadFile(marker), fs::canonical(Local()).string() + "\n");
}

TEST_F(BatchTest, InstallWithoutAnInstallerSaysItIsMissingAndEnds) {
  WriteFile(Remote() / "data.txt", "data");
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());
  ToolResult r = Run(ftp->Port(), {"--answer", "yes"});
  EXPECT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] " + MissingUtf8 + " -> OK")) << Describe(r);
  EXPECT_EQ(r.Count("kvb: installer"), 0);
}

TEST_F(BatchTest, ARefusedLogInCannotFinish) {
  WriteFile(Remote() / "data.txt", "data");
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string(), "dlmorv", "other", false);
  ToolResult r = Run(ftp->Port());
  EXPECT_EQ(r.ExitCode, 2) << Describe(r);
  EXPECT_EQ(r.Count("kvb: box [FTP Error: 530] 530 "), 1) << Describe(r);
  EXPECT_EQ(r.Lines.back(), "kvb: end: 2 log-in failed");
  EXPECT_TRUE(ListFiles(Local()).empty());
}

TEST_F(BatchTest, NoServerCannotFinishWithinTheTimeLimit) {
  ToolResult r =
      RunTool({"--batch", "--server", "127.0.0.1:" + std::to_string(testsupport::FreeTcpPort()),
               "--drive-c", drive.Path().string(), "--timeout", "3"},
              60);
  EXPECT_EQ(r.ExitCode, 2) << Describe(r);
  ASSERT_FALSE(r.Lines.empty());
  EXPECT_EQ(r.Lines.back().rfind("kvb: end: 2 ", 0), 0u) << Describe(r);
}

// ---- Misbehaving server -------------------------------------------------------------------------

TEST_F(BatchTest, NamesOutsideTheFolderInTheListingAreNeverFetched) {
  WriteFile(Remote() / "good.txt", "good");
  // What the server would hand out for those names, were they asked for.
  WriteFile(server.Path() / "evil", "evil");
  WriteFile(server.Path() / "etc" / "passwd", "root:x:0:0");
  std::string listing = server / "listing";
  WriteFile(listing, "good.txt\r\n../evil\r\n/etc/passwd\r\n..\\evil\r\n..\r\n");
  apptest::TweakedServer ftp(server.Path().string(), {"--listing", listing});
  fs::path outside = drive.Path() / "outside";
  ToolResult r = Run(ftp.Port());

  EXPECT_EQ(r.ExitCode, 1) << Describe(r);
  EXPECT_EQ(ListFiles(drive.Path()), std::vector<std::string>{"SuperSetup/good.txt"});
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] 檔案名稱無效: ../evil -> OK")) << Describe(r);
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] 檔案名稱無效: /etc/passwd -> OK"));
  // ".." names the folder's parent, no file: left out without a box.
  EXPECT_EQ(r.Count("kvb: box [KVB Download] 檔案名稱無效: "), 3);
  EXPECT_EQ(r.Count("kvb: box [FTP Error"), 0);
  EXPECT_EQ(r.Lines.back(), "kvb: end: 1 1 of 4 listed files received, 3 failed");
}

TEST_F(BatchTest, AFailedRetrievalLeavesNoPartialFileAndKeepsTheEarlierCopy) {
  WriteFile(Remote() / "Setup.exe", "#!/bin/sh\n" + std::string(100000, '#') + "\n");
  WriteFile(Remote() / "big.bin", SampleBytes(200000, 3));
  WriteFile(Remote() / "ok.txt", "fine");
  const std::string earlier = "the good copy of an earlier run";
  WriteFile(Local() / "big.bin", earlier);
  apptest::TweakedServer ftp(server.Path().string(),
                             {"--broken", "big.bin=65536", "--broken", "Setup.exe=1000"});
  ToolResult r = Run(ftp.Port(), {"--answer", "yes"});

  EXPECT_EQ(r.ExitCode, 1) << Describe(r);
  EXPECT_EQ(r.Count("kvb: box [FTP Error: 426] "), 2) << Describe(r);
  EXPECT_EQ(ListFiles(Local()), (std::vector<std::string>{"big.bin", "ok.txt"}));
  EXPECT_EQ(ReadFile(Local() / "big.bin"), earlier);
  // Only ok.txt arrived, so the question is asked; the installer is missing, not partial.
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] " + MissingUtf8 + " -> OK")) << Describe(r);
  EXPECT_EQ(r.Count("kvb: installer"), 0);
}

// ---- Command line
// --------------------------------------------------------------------------------

TEST(BatchCommandLine, BadOptionsGiveOneLineAndTheUsageWithExitCode2) {
  ToolResult r = RunTool({"--timeout", "soon"}, 30);
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(r.Errors.rfind("kvb-download: --timeout: expected a number of seconds", 0), 0u)
      << r.Errors;
  EXPECT_NE(r.Errors.find("\nusage: kvb-download [--server HOST[:PORT]]"), std::string::npos);
  EXPECT_TRUE(r.Output.empty());

  r = RunTool({"--frobnicate"}, 30);
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(r.Errors.rfind("kvb-download: unknown option --frobnicate\nusage:", 0), 0u);
}

TEST(BatchCommandLine, HelpAndVersion) {
  ToolResult r = RunTool({"--help"}, 30);
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Output.rfind("usage: kvb-download", 0), 0u);
  r = RunTool({"--version"}, 30);
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Output, "kvb-download 1.0.0\n");
}

TEST(BatchCommandLine, WithoutADisplayTheWindowModeSaysSoAndExits2) {
  TempDir drive;
  ToolResult r =
      RunTool({"--drive-c", drive.Path().string()}, 30, {"DISPLAY=", "WAYLAND_DISPLAY="});
  EXPECT_EQ(r.ExitCode, 2) << r.Errors;
  EXPECT_EQ(r.Errors.rfind("kvb-download: cannot open the window", 0), 0u) << r.Errors;
}

TEST(BatchCommandLine, TheDefaultDriveFolderIsMadeUnderTheDataFolder) {
  TempDir home;
  ToolResult r =
      RunTool({"--batch", "--server", "127.0.0.1:" + std::to_string(testsupport::FreeTcpPort()),
               "--timeout", "1"},
              30, {"XDG_DATA_HOME=" + home.Path().string()});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_TRUE(fs::is_directory(home.Path() / "kvb-download" / "drive_c" / "SuperSetup"))
      << Describe(r);
}

}  // namespace
