// The client against real FTP servers, pyftpdlib and vsftpd, in passive and in active mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>

#include "ftp/ftp_client.h"
#include "ftp/ftp_log.h"
#include "ftp_test_support.h"
#include "platform/sysutils.h"

using namespace ftptest;
using testsupport::PumpFor;

namespace {

constexpr std::int64_t BigSize = 100ll * 1024 * 1024;
const char* const TextContent = "first line\nsecond line\n\nlast line without end";

// One server root for the whole program: the log-in directory holds KVB_program. On Windows
// the Linux side has started the servers on a folder of its choosing (run_under_wine.sh
// --ftp-servers) and names it, in Wine's terms and in its own.
struct ServerRoot {
  std::unique_ptr<TempDir> dir;
  fs::path Root;
  std::string Program;        // as this program reads it
  std::string ServedProgram;  // as vsftpd, which serves the machine's root, names it
  ServerRoot() {
#ifdef _WIN32
    Root = std::getenv("KVB_WINDOWS_FTP_ROOT");
    ServedProgram = std::string(std::getenv("KVB_WINDOWS_FTP_ROOT_UNIX")) + "/KVB_program";
#else
    dir = std::make_unique<TempDir>();
    Root = dir->Path();
#endif
    Program = (Root / "KVB_program").string();
#ifndef _WIN32
    ServedProgram = Program;
#endif
    fs::create_directories(Program);
    WriteFile((Root / "readme.txt").string(), "top level\n");
    WriteFile(Program + "/empty.bin", "");
    WriteFile(Program + "/one.bin", "\x7f");
    WriteFile(Program + "/text.txt", TextContent);
    WriteFile(Program + "/Setup.exe", "MZ installer");
    MakeBigFile(Program + "/big.bin", BigSize);
  }
  std::set<std::string> ProgramNames() const {
    return {"Setup.exe", "big.bin", "empty.bin", "one.bin", "text.txt"};
  }
};

ServerRoot* root = nullptr;
int pyftpdPort = 0, vsftpdPort = 0;
#ifdef _WIN32
bool ServersHandedOver() {
  for (const char* name : {"KVB_WINDOWS_PYFTPD", "KVB_WINDOWS_VSFTPD", "KVB_WINDOWS_FTP_ROOT",
                           "KVB_WINDOWS_FTP_ROOT_UNIX"})
    if (!std::getenv(name)) return false;
  return true;
}
#else
std::unique_ptr<testsupport::FtpServer> pyftpd, vsftpd;
#endif

enum class Server { Pyftpd, Vsftpd };
struct Setup {
  Server Kind;
  bool Passive;
};

std::string SetupName(const Setup& setup) {
  return std::string(setup.Kind == Server::Pyftpd ? "Pyftpd" : "Vsftpd") +
         (setup.Passive ? "Passive" : "Active");
}
std::string Name(const ::testing::TestParamInfo<Setup>& info) {
  return SetupName(info.param);
}
void PrintTo(const Setup& setup, std::ostream* out) {
  *out << SetupName(setup);
}

std::set<std::string> Lines(const std::string& text) {
  std::set<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.insert(line);
  }
  return lines;
}

class FtpServersTest : public ::testing::TestWithParam<Setup> {
 protected:
  static void SetUpTestSuite() {
#ifdef _WIN32
    if (!ServersHandedOver()) return;
    root = new ServerRoot;
    pyftpdPort = std::atoi(std::getenv("KVB_WINDOWS_PYFTPD"));
    vsftpdPort = std::atoi(std::getenv("KVB_WINDOWS_VSFTPD"));
#else
    root = new ServerRoot;
    pyftpd = testsupport::FtpServer::StartPyftpd(root->Root.string());
    vsftpd = testsupport::FtpServer::StartVsftpd(root->Root.string());
    pyftpdPort = pyftpd->Port();
    vsftpdPort = vsftpd->Port();
#endif
  }
  static void TearDownTestSuite() {
#ifndef _WIN32
    pyftpd.reset();
    vsftpd.reset();
#endif
    delete root;
    root = nullptr;
  }

  void SetUp() override {
    if (!root) GTEST_SKIP() << "no servers: run by tests/windows/run_under_wine.sh --ftp-servers";
    const bool py = GetParam().Kind == Server::Pyftpd;
    client = py ? MakeClient(pyftpdPort) : MakeClient(vsftpdPort, "anonymous", "guest");
    client->SetPassiveMode(GetParam().Passive);
    events.Attach(*client);
    ASSERT_TRUE(LogIn(*client, events));
    events.Clear();
  }

  // pyftpdlib serves its root as "/"; vsftpd, run by the tests without a change of root,
  // names folders from the machine's root.
  std::string ProgramPath() const {
    return GetParam().Kind == Server::Pyftpd ? "//KVB_program" : "/" + root->ServedProgram;
  }

  void EnterProgramFolder() {
    ASSERT_TRUE(client->ChangeDirectory(ProgramPath()));
    ASSERT_TRUE(events.WaitFor('S', fsCommandDone));
  }

  bool Retrieve(const std::string& remote, const std::string& local, TFtpWriteMode mode) {
    const int before = events.Count('S', fsTransferDone);
    if (!client->RetrieveFile(remote, local, mode)) return false;
    return events.WaitFor('S', fsTransferDone, 120000, before + 1);
  }

  std::string Listing(const std::string& directory, bool full) {
    const int before = events.Count('S', fsDataReceived);
    if (!client->ListDirectory(directory, full)) return "<not started>";
    if (!events.WaitFor('S', fsDataReceived, 20000, before + 1))
      return "<no listing: " + events.Summary() + " " + LastErrorText() + ">";
    return events.Last('S', fsDataReceived)->Text;
  }

  std::string LastErrorText() const {
    for (auto it = events.Events.rbegin(); it != events.Events.rend(); ++it)
      if (it->Kind == 'E') return it->Text;
    return {};
  }

  testsupport::Watchdog watchdog{280};
  TempDir local;
  ClientPtr client;
  Recorder events;
};

TEST_P(FtpServersTest, ChangesToTheProgramFolderAndReportsIt) {
  EnterProgramFolder();
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply));
  std::string name = events.Last('S', fsDirectoryReply)->Text;
  while (name.rfind("//", 0) == 0) name.erase(0, 1);
  EXPECT_EQ(name, GetParam().Kind == Server::Pyftpd ? "/KVB_program" : root->ServedProgram);
  EXPECT_FALSE(events.Has('E', 550));
}

TEST_P(FtpServersTest, NamesOnlyAndFullListings) {
  std::set<std::string> top = Lines(Listing("", false));
  EXPECT_TRUE(top.count("KVB_program")) << *top.begin();
  EXPECT_TRUE(top.count("readme.txt"));

  // Listing a named folder: vsftpd names "folder/name", pyftpdlib the bare name.
  std::set<std::string> named;
  for (std::string line : Lines(Listing("KVB_program", false))) {
    auto slash = line.rfind('/');
    named.insert(slash == std::string::npos ? line : line.substr(slash + 1));
  }
  EXPECT_EQ(named, root->ProgramNames());

  EnterProgramFolder();
  EXPECT_EQ(Lines(Listing("", false)), root->ProgramNames());
  std::string full = Listing("", true);
  for (const std::string& name : root->ProgramNames())
    EXPECT_NE(full.find(" " + name + "\r\n"), std::string::npos) << name;
  EXPECT_EQ(events.Count('E', 425) + events.Count('E', 426), 0);
}

TEST_P(FtpServersTest, BinaryRetrievalsAreByteForByte) {
  EnterProgramFolder();
  for (const char* name : {"empty.bin", "one.bin", "Setup.exe", "big.bin"}) {
    const std::string target = local / name;
    ASSERT_TRUE(Retrieve(name, target, wmReplace)) << name << ": " << events.Summary();
    EXPECT_TRUE(SameContent(target, root->Program + "/" + name)) << name;
    EXPECT_EQ(client->ByteCount(), static_cast<std::int64_t>(fs::file_size(target)));
    fs::remove(target);
  }
  EXPECT_EQ(events.Count('S', fsTransferDone), 4);
  // Nothing but the files themselves was ever left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(local.Path()), fs::directory_iterator()), 0);
}

TEST_P(FtpServersTest, AsciiRetrieval) {
  EnterProgramFolder();
  client->SetFileType(ftAscii);
  const std::string target = local / "text.txt";
  ASSERT_TRUE(Retrieve("text.txt", target, wmReplace));
  std::string expected = TextContent;
  if (GetParam().Kind == Server::Pyftpd) {
    // pyftpdlib sends text with CR LF line ends; vsftpd sends the bytes as they are.
    std::string converted;
    for (char c : expected) {
      if (c == '\n') converted += '\r';
      converted += c;
    }
    expected = converted;
  }
  EXPECT_EQ(ReadFile(target), expected);
}

TEST_P(FtpServersTest, ResumeAndAppend) {
  EnterProgramFolder();
  const std::string original = ReadFile(root->Program + "/Setup.exe");
  const std::string resumed = local / "Setup.exe";
  WriteFile(resumed, original.substr(0, 5));
  client->SetResumeOffset(5);
  ASSERT_TRUE(Retrieve("Setup.exe", resumed, wmResume)) << events.Summary();
  EXPECT_EQ(ReadFile(resumed), original);
  EXPECT_EQ(client->ByteCount(), static_cast<std::int64_t>(original.size() - 5));

  const std::string appended = local / "appended.bin";
  WriteFile(appended, "prefix:");
  ASSERT_TRUE(Retrieve("Setup.exe", appended, wmAppend));
  EXPECT_EQ(ReadFile(appended), "prefix:" + original);

  // Resuming a large file in the middle.
  const std::string big = local / "big.bin";
  {
    std::ifstream in(root->Program + "/big.bin", std::ios::binary);
    std::string head(3 * 1024 * 1024 + 17, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    WriteFile(big, head);
  }
  client->SetResumeOffset(-1);
  ASSERT_TRUE(Retrieve("big.bin", big, wmResume));
  EXPECT_TRUE(SameContent(big, root->Program + "/big.bin"));
}

// A local file longer than the restart point holds bytes the server is sending anew: what the
// server sends is all that follows it.
TEST_P(FtpServersTest, ResumeInsideALongerLocalFileEndsWithTheRemoteFile) {
  EnterProgramFolder();
  const std::string original = ReadFile(root->Program + "/Setup.exe");
  const std::string resumed = local / "Setup.exe";
  WriteFile(resumed, original.substr(0, 5) + std::string(100, '#'));
  client->SetResumeOffset(5);
  ASSERT_TRUE(Retrieve("Setup.exe", resumed, wmResume)) << events.Summary();
  EXPECT_EQ(ReadFile(resumed), original);
  EXPECT_EQ(client->ByteCount(), static_cast<std::int64_t>(original.size() - 5));

  // Restarted at the remote end: nothing comes, and nothing may stay after it.
  WriteFile(resumed, original + "stale");
  client->SetResumeOffset(static_cast<std::int64_t>(original.size()));
  ASSERT_TRUE(Retrieve("Setup.exe", resumed, wmResume)) << events.Summary();
  EXPECT_EQ(client->ByteCount(), 0);
  EXPECT_EQ(ReadFile(resumed), original);

  // Resuming in the middle of a large file whose local copy runs on past the remote end.
  const std::string big = local / "big.bin";
  {
    std::ifstream in(root->Program + "/big.bin", std::ios::binary);
    std::string head(2 * 1024 * 1024, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    WriteFile(big, head);
  }
  fs::resize_file(big, static_cast<std::uintmax_t>(BigSize + 4096));
  client->SetResumeOffset(2 * 1024 * 1024);
  ASSERT_TRUE(Retrieve("big.bin", big, wmResume));
  EXPECT_EQ(fs::file_size(big), static_cast<std::uintmax_t>(BigSize));
  EXPECT_TRUE(SameContent(big, root->Program + "/big.bin"));
}

TEST_P(FtpServersTest, RefusedFileIsAnErrorAndTheSessionGoesOn) {
  EnterProgramFolder();
  const std::string target = local / "missing.bin";
  ASSERT_TRUE(client->RetrieveFile("missing.bin", target, wmReplace));
  ASSERT_TRUE(events.WaitFor('E', 550));
  EXPECT_EQ(events.Last('E', 550)->Text.substr(0, 4), "550 ");
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(Retrieve("one.bin", local / "one.bin", wmReplace));
}

TEST_P(FtpServersTest, CloseSessionTakesTheGoodbyeWithinItsWait) {
  EXPECT_TRUE(client->CloseSession());
  EXPECT_TRUE(events.Has('R', 221));
  PumpFor(100);
  EXPECT_EQ(events.Summary(), "R221 S2 L2 S0");
}

TEST_P(FtpServersTest, AbortDuringALargeRetrieval) {
  EnterProgramFolder();
  const std::string target = local / "big.bin";
  WriteFile(target, "old content");
  bool aborted = false;
  client->OnFtpStatus = [&](TObject*, TFtpStatusCode code, const char* text) {
    events.Events.push_back({'S', code, text != nullptr, text ? text : "", client->ByteCount()});
    if (code == fsProgress && !aborted && client->ByteCount() > 1024 * 1024) {
      aborted = true;
      EXPECT_TRUE(client->AbortTransfer());
    }
  };
  ASSERT_TRUE(client->RetrieveFile("big.bin", target, wmReplace));
  ASSERT_TRUE(events.WaitForKind('E', 60000)) << events.Summary();
  PumpFor(500);
  EXPECT_TRUE(aborted);
  EXPECT_TRUE(events.Has('L', flUserAbort));
  EXPECT_FALSE(events.Has('S', fsTransferDone));
  int errors = 0;
  for (auto& e : events.Events) errors += e.Kind == 'E';
  EXPECT_EQ(errors, 1) << events.Summary();
  EXPECT_EQ(ReadFile(target), "old content");
  EXPECT_EQ(client->State(), fcIdle);
  // The session is usable afterwards, its late replies taken for what they are.
  EXPECT_TRUE(Retrieve("one.bin", local / "one.bin", wmReplace)) << events.Summary();
  EXPECT_EQ(ReadFile(local / "one.bin"), "\x7f");
}

// Aborted before the retrieval was asked for: the server has nothing to abort and says so;
// the file must not be fetched after all.
TEST_P(FtpServersTest, AbortBeforeTheTransferStartsFetchesNothing) {
  EnterProgramFolder();
  const std::string target = local / "big.bin";
  ASSERT_TRUE(client->RetrieveFile("big.bin", target, wmReplace));
  ASSERT_TRUE(client->AbortTransfer());
  ASSERT_TRUE(events.WaitForKind('E', 60000)) << events.Summary();
  PumpFor(500);
  int errors = 0;
  for (auto& e : events.Events) errors += e.Kind == 'E';
  EXPECT_EQ(errors, 1) << events.Summary();
  ASSERT_TRUE(events.Has('E', 225)) << events.Summary();
  // The error carries the server's answer as it came.
  EXPECT_EQ(events.Last('E', 225)->Text, events.Last('R', 225)->Text);
  EXPECT_EQ(events.Last('E', 225)->Text.substr(0, 4), "225 ");
  EXPECT_TRUE(events.Has('L', flUserAbort));
  EXPECT_FALSE(events.Has('S', fsTransferDone));
  EXPECT_FALSE(events.Has('S', fsProgress));
  EXPECT_EQ(client->ByteCount(), 0);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(client->State(), fcIdle);
  // The next retrieval is not confused by anything the first one left behind.
  EXPECT_TRUE(Retrieve("one.bin", local / "one.bin", wmReplace)) << events.Summary();
  EXPECT_EQ(ReadFile(local / "one.bin"), "\x7f");
  EXPECT_EQ(events.Count('E', 225), 1);
}

TEST_P(FtpServersTest, HistoryFileWhileEnabled) {
  TApdFtpLog* log = new TApdFtpLog(nullptr);
  client->SetFtpLog(log);
  EXPECT_EQ(log->FtpClient(), client.get());
  log->SetFtpHistoryName(local / "APROFTP.HIS");
  log->SetEnabled(true);
  EnterProgramFolder();
  ASSERT_TRUE(Retrieve("one.bin", local / "one.bin", wmReplace));
  client->SetResumeOffset(0);
  ASSERT_TRUE(Retrieve("Setup.exe", local / "Setup.exe", wmResume));
  client->CloseSession();
  PumpFor(200);
  // Log codes went to the log component, not to OnFtpLog.
  EXPECT_FALSE(events.Has('L', flDownloading));
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(local / "APROFTP.HIS"));
  for (std::string line; std::getline(in, line);) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\r');
    line.pop_back();
    auto colon = line.find(" : ");
    ASSERT_NE(colon, std::string::npos);
    lines.push_back(line.substr(colon + 3));
  }
  const std::string user = GetParam().Kind == Server::Pyftpd ? "dlmorv" : "anonymous";
  EXPECT_EQ(lines,
            (std::vector<std::string>{"Downloading one.bin", "Attempting re-transfer at 0 bytes",
                                      user + " logged out"}));
  TObject::Free(log);
  EXPECT_EQ(client->FtpLog(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpServersTest,
                         ::testing::Values(Setup{Server::Pyftpd, true},
                                           Setup{Server::Pyftpd, false},
                                           Setup{Server::Vsftpd, true},
                                           Setup{Server::Vsftpd, false}),
                         Name);

}  // namespace
