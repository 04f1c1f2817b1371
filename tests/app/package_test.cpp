// The Debian package, as a user gets it: CPack builds it from this build, dpkg-deb unpacks it
// into a scratch root, and the program runs from there in batch mode against pyftpdlib with
// nothing of the build tree (its own socket library and platform library beside it). lintian
// finds no error in it, and the desktop entry is valid.
#include <gtest/gtest.h>

#include "app_support.h"
#include "support/ftp_servers.h"

using apptest::ReadFile;
using apptest::RunTool;
using apptest::TempDir;
using apptest::ToolResult;
using apptest::WriteFile;
namespace fs = std::filesystem;

namespace {

std::string Describe(const ToolResult& r) {
  return "exit " + std::to_string(r.ExitCode) + "\n--- stdout\n" + r.Output + "--- stderr\n" +
         r.Errors;
}

// Runs `program` (searched on PATH) with `args`.
ToolResult Exec(const std::string& program, const std::vector<std::string>& args,
                int limitSeconds = 300) {
  return RunTool(args, limitSeconds, {}, {}, program);
}

TEST(DebianPackage, InstallsAProgramThatRunsFromItsOwnFolderAndLintianFindsNoError) {
#ifdef KVB_APPTEST_ASAN
  GTEST_SKIP() << "the package is made from the ordinary build, not from a sanitizer build";
#endif
  TempDir work;
  const fs::path out = work.Path() / "out";
  ToolResult built = Exec(
      "cpack", {"--config", apptest::BinaryDir() + "/CPackConfig.cmake", "-B", out.string()}, 900);
  ASSERT_EQ(built.ExitCode, 0) << Describe(built);
  const fs::path deb = out / "kvb-download_1.0.0_amd64.deb";
  ASSERT_TRUE(fs::exists(deb)) << Describe(built);

  // The libraries' packages, the Chinese font and the services database.
  ToolResult depends = Exec("dpkg-deb", {"--field", deb.string(), "Depends"});
  ASSERT_EQ(depends.ExitCode, 0) << Describe(depends);
  for (const char* package :
       {"libc6", "libstdc++6", "libgtk-3-0", "libglib2.0-0", "fonts-arphic-uming", "netbase"})
    EXPECT_NE(depends.Output.find(package), std::string::npos)
        << package << " in " << depends.Output;

  const fs::path root = work.Path() / "root";
  ToolResult unpacked = Exec("dpkg-deb", {"--extract", deb.string(), root.string()});
  ASSERT_EQ(unpacked.ExitCode, 0) << Describe(unpacked);
  EXPECT_TRUE(fs::is_symlink(root / "usr/bin/kvb-download"));
  for (const char* file :
       {"usr/lib/kvb-download/kvb-download", "usr/lib/kvb-download/libwsock32.so",
        "usr/lib/kvb-download/libplatform.so", "usr/share/applications/kvb-download.desktop",
        "usr/share/icons/hicolor/32x32/apps/kvb-download.png",
        "usr/share/icons/hicolor/128x128/apps/kvb-download.png",
        "usr/share/man/man1/kvb-download.1.gz", "usr/share/doc/kvb-download/copyright"})
    EXPECT_TRUE(fs::is_regular_file(root / file)) << file;
  ToolResult desktop = Exec("desktop-file-validate",
                            {(root / "usr/share/applications/kvb-download.desktop").string()});
  EXPECT_EQ(desktop.ExitCode, 0) << Describe(desktop);
  EXPECT_EQ(desktop.Output + desktop.Errors, "");

  // The installed program, started through its link, downloads in batch mode.
  TempDir server, drive;
  WriteFile(server.Path() / "KVB_program" / "Setup.exe", "#!/bin/sh\nexit 0\n");
  WriteFile(server.Path() / "KVB_program" / "data.bin", apptest::SampleBytes(70000, 3));
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());
  ToolResult r = RunTool({"--batch", "--server", "127.0.0.1:" + std::to_string(ftp->Port()),
                          "--drive-c", drive.Path().string(), "--timeout", "120"},
                         180, {"LD_LIBRARY_PATH=", "LD_PRELOAD="}, {},
                         (root / "usr/bin/kvb-download").string());
  EXPECT_EQ(r.ExitCode, 0) << Describe(r);
  EXPECT_EQ(ReadFile(drive.Path() / "SuperSetup" / "data.bin"), apptest::SampleBytes(70000, 3));
  EXPECT_TRUE(fs::exists(drive.Path() / "SuperSetup" / "SetupKVB.exe"));

  ToolResult lint = Exec("lintian", {"--fail-on", "error", deb.string()}, 900);
  EXPECT_EQ(lint.ExitCode, 0) << Describe(lint);
  EXPECT_EQ(lint.Output.find("E: "), std::string::npos) << lint.Output;
}

}  // namespace
