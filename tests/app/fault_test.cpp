// The tool as a process in batch mode against servers that misbehave: connections dropped
// at each stage, transfers cut, replies that never come or never end, Telnet bytes in the
// dialogue, bad passive addresses, a server that trickles, a huge listing, odd names and a
// download folder that cannot be written. Every run ends within a few seconds by itself or by
// its --timeout; none may crash, hang, or leave a partial file under a final name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "app_support.h"
#include "support/ftp_servers.h"

using apptest::ListFiles;
using apptest::ReadFile;
using apptest::RunTool;
using apptest::ScriptedPeer;
using apptest::TempDir;
using apptest::ToolResult;
using apptest::WriteFile;
namespace fs = std::filesystem;

namespace {

const std::string QuestionUtf8 = "所需檔案已下載完成, 現在開始安裝軟件?";
const std::string MissingUtf8 = "所需檔案不存在!";

// The run for a failure message; long lines and long outputs shortened.
std::string Describe(const ToolResult& r) {
  std::string out;
  for (std::size_t i = 0; i < r.Lines.size(); ++i) {
    if (i == 60 && r.Lines.size() > 80) {
      out += "... " + std::to_string(r.Lines.size() - 80) + " lines ...\n";
      i = r.Lines.size() - 20;
    }
    const std::string& line = r.Lines[i];
    out += (line.size() > 300 ? line.substr(0, 300) + "..." : line) + "\n";
  }
  return "exit " + std::to_string(r.ExitCode) + (r.Signalled ? " (signal)" : "") +
         "\n--- stdout\n" + out + "--- stderr\n" + r.Errors.substr(0, 4000);
}

// The bytes the scripted peer serves for --file-size NAME=N.
std::string PeerBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 255);
  return bytes;
}

class FaultTest : public ::testing::Test {
 protected:
  fs::path Local() const { return drive.Path() / "SuperSetup"; }

  ToolResult Run(int port, int timeoutSeconds, std::vector<std::string> extra = {},
                 const std::vector<std::string>& launcher = {}) {
    std::vector<std::string> args{"--batch",
                                  "--server",
                                  "127.0.0.1:" + std::to_string(port),
                                  "--drive-c",
                                  drive.Path().string(),
                                  "--timeout",
                                  std::to_string(timeoutSeconds)};
    args.insert(args.end(), extra.begin(), extra.end());
    // The tool must end by its own limit; the harness's is a backstop well beyond it.
    return RunTool(args, timeoutSeconds + 60, {}, launcher);
  }

  // A run that ended by itself, not by a signal or the harness's kill.
  static void ExpectCleanEnd(const ToolResult& r, int exitCode, const std::string& endLine) {
    EXPECT_FALSE(r.Signalled) << Describe(r);
    EXPECT_EQ(r.ExitCode, exitCode) << Describe(r);
    ASSERT_FALSE(r.Lines.empty()) << Describe(r);
    EXPECT_EQ(r.Lines.back(), endLine) << Describe(r);
  }

  // No file of the download folder is a cut-short copy of what the server holds, and no
  // replacement file is left behind: each file there is either whole or the earlier copy.
  void ExpectNoPartialFile(const std::map<std::string, std::string>& served,
                           const std::map<std::string, std::string>& earlier = {}) {
    for (const std::string& name : ListFiles(Local())) {
      EXPECT_EQ(name.find(".part"), std::string::npos) << "replacement file left: " << name;
      const std::string content = ReadFile(Local() / name);
      auto before = earlier.find(name);
      if (before != earlier.end() && content == before->second) continue;
      auto it = served.find(name == "SetupKVB.exe" ? "Setup.exe" : name);
      if (it == served.end()) continue;
      EXPECT_EQ(content.size(), it->second.size()) << name << " is not whole";
      EXPECT_TRUE(content == it->second) << name << " differs from the served file";
    }
  }

  TempDir drive;
};

// ---- The control connection dropped ----------------------------------------------------------

// The server hangs up after the greeting, before answering USER. The user sees the
// "connected" status and the run ends at once with exit 2; nothing is written.
TEST_F(FaultTest, ControlConnectionDroppedDuringLogInEndsTheRunAtOnce) {
  ScriptedPeer peer("drop-control", {"--set", "at=USER", "--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 30);
  ExpectCleanEnd(r, 2, "kvb: end: 2 connection closed before log-in");
  EXPECT_TRUE(r.Has("kvb: status: 已連接主伺服器")) << Describe(r);
  EXPECT_EQ(r.Count("kvb: Memo1: "), 0);
  EXPECT_TRUE(ListFiles(Local()).empty());
}

// The server hangs up in the middle of the first listing (half of it sent). The user sees
// "logged out" and the run ends with exit 2; nothing is fetched.
TEST_F(FaultTest, ControlConnectionDroppedDuringAListingEndsTheRun) {
  ScriptedPeer peer("drop-control", {"--set", "at=NLST", "--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 30);
  ExpectCleanEnd(r, 2, "kvb: end: 2 connection lost");
  EXPECT_TRUE(r.Has("kvb: status: 已登出系統")) << Describe(r);
  EXPECT_TRUE(ListFiles(Local()).empty());
}

// The server hangs up while the first file's data is half sent. The run ends with exit 2,
// and the copy that an earlier run left is still there, whole.
TEST_F(FaultTest, ControlConnectionDroppedDuringARetrievalKeepsTheEarlierCopy) {
  ScriptedPeer peer("drop-control", {"--set", "at=RETR", "--file-size", "a.bin=200000"});
  WriteFile(Local() / "a.bin", "earlier copy");
  ToolResult r = Run(peer.Port(), 30);
  ExpectCleanEnd(r, 2, "kvb: end: 2 connection lost");
  EXPECT_EQ(r.Count("kvb: Memo1: "), 0);
  EXPECT_EQ(ListFiles(Local()), std::vector<std::string>{"a.bin"});
  ExpectNoPartialFile({{"a.bin", PeerBytes(200000)}}, {{"a.bin", "earlier copy"}});
}

// The server accepts the connection and never greets. Batch mode gives the connection 30 s up
// to the server's first reply, not the whole --timeout: the run ends with exit 2 as one without
// a connection, and nothing is written. (Waits the 30 s: labelled slow.)
class SlowFaultTest : public FaultTest {};

TEST_F(SlowFaultTest, AServerThatNeverGreetsEndsTheRunAfterThirtySeconds) {
  ScriptedPeer peer("no-greeting", {"--file", "a.txt=alpha"});
  const auto start = std::chrono::steady_clock::now();
  ToolResult r = Run(peer.Port(), 120);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  ExpectCleanEnd(r, 2, "kvb: end: 2 no connection to the server");
  EXPECT_LT(seconds.count(), 60) << Describe(r);
  EXPECT_EQ(r.Count("kvb: box ["), 0) << Describe(r);
  EXPECT_EQ(r.Count("kvb: status: 已連接主伺服器"), 0) << Describe(r);
  EXPECT_TRUE(ListFiles(Local()).empty());
}

// ---- Data connections cut short ----------------------------------------------------------------

// Each retrieval's data connection closes after half the file, and the server then says so
// with 426 or 451. The user sees one error box per file; no file is stored, an earlier copy
// stays as it was, and the run ends with exit 1.
TEST_F(FaultTest, ADataConnectionCutShortThenAnErrorReplyStoresNothing) {
  for (const char* code : {"426", "451"}) {
    SCOPED_TRACE(code);
    fs::remove_all(Local());
    ScriptedPeer peer("retr-cut", {"--set", std::string("code=") + code, "--file-size",
                                   "a.bin=300000", "--file-size", "b.bin=1000"});
    WriteFile(Local() / "a.bin", "earlier copy");
    ToolResult r = Run(peer.Port(), 30);
    ExpectCleanEnd(r, 1, "kvb: end: 1 0 of 2 listed files received, 2 failed");
    EXPECT_EQ(
        r.Count(std::string("kvb: box [FTP Error: ") + code + "] " + code + " Transfer aborted"), 2)
        << Describe(r);
    EXPECT_EQ(ListFiles(Local()), std::vector<std::string>{"a.bin"});
    ExpectNoPartialFile({{"a.bin", PeerBytes(300000)}}, {{"a.bin", "earlier copy"}});
    EXPECT_EQ(r.Count("kvb: box [KVB Download]"), 0);  // nothing arrived: no question
  }
}

// The file's data arrives whole but the final reply never comes. The tool gives up at its
// --timeout with exit 2; the unconfirmed data is not stored under the file's name.
TEST_F(FaultTest, AFinalReplyThatNeverComesEndsAtTheTimeLimitWithoutAPartialFile) {
  ScriptedPeer peer("retr-no-final", {"--file-size", "a.bin=100000"});
  WriteFile(Local() / "a.bin", "earlier copy");
  ToolResult r = Run(peer.Port(), 6);
  ExpectCleanEnd(r, 2, "kvb: end: 2 time limit of 6 s reached");
  EXPECT_EQ(r.Count("kvb: Memo1: "), 0);
  EXPECT_EQ(ListFiles(Local()), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(ReadFile(Local() / "a.bin"), "earlier copy");
}

// ---- Servers that never stop sending ----------------------------------------------------------

// After log-in the server sends "150" lines without end and answers nothing. The lines keep
// the message queue full, which holds back timer messages; the time limit still ends the run
// on time, with exit 2, and the end line is the last line.
TEST_F(FaultTest, EndlessChatterCannotHoldTheToolPastItsTimeLimit) {
  ScriptedPeer peer("chatter", {"--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 5);
  ExpectCleanEnd(r, 2, "kvb: end: 2 time limit of 5 s reached");
  EXPECT_TRUE(r.Has("kvb: status: 已成功登入")) << Describe(r);
  EXPECT_TRUE(ListFiles(Local()).empty());
}

// A file whose data never ends: the tool gives up at its time limit with exit 2, and neither
// the data received so far nor its replacement file stays in the folder; the earlier copy does.
TEST_F(FaultTest, AnEndlessFileEndsAtTheTimeLimitAndLeavesNothingOfIt) {
  ScriptedPeer peer("retr-endless", {"--set", "pause=0.01", "--file", "a.bin=x"});
  WriteFile(Local() / "a.bin", "earlier copy");
  ToolResult r = Run(peer.Port(), 12);
  ExpectCleanEnd(r, 2, "kvb: end: 2 time limit of 12 s reached");
  EXPECT_GE(r.Count("kvb: status: a.bin 下載中..."), 1) << Describe(r);
  EXPECT_EQ(ListFiles(Local()), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(ReadFile(Local() / "a.bin"), "earlier copy");
}

// ---- Replies that never end, or go on for long -------------------------------------------------

// A greeting of 100 KiB without a line end, then the server hangs up: exit 2, no crash.
TEST_F(FaultTest, AHundredKibReplyLineWithoutALineEndThenAHangUp) {
  ScriptedPeer peer("long-line", {"--set", "size=102400"});
  ToolResult r = Run(peer.Port(), 30);
  ExpectCleanEnd(r, 2, "kvb: end: 2 connection closed before log-in");
  EXPECT_TRUE(ListFiles(Local()).empty());
}

// The same greeting, finally ended with CR LF: it is one long greeting, and the run goes on
// and fetches the file.
TEST_F(FaultTest, AHundredKibGreetingLineIsTakenWhole) {
  ScriptedPeer peer("long-line",
                    {"--set", "size=102400", "--set", "then=serve", "--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 40);
  ExpectCleanEnd(r, 0, "kvb: end: 0 1 of 1 listed files received");
  EXPECT_EQ(ReadFile(Local() / "a.txt"), "alpha");
}

// A "line" of 50 MiB without a line end: the tool reads it in pieces of bounded size, so its
// memory stays far below the line's size. The user sees one error box with the start of the
// piece that follows the greeting, and the run ends with exit 2.
TEST_F(FaultTest, AFiftyMibReplyLineKeepsMemoryBounded) {
  // What a run needs without the long line, for comparison.
  ScriptedPeer plain("plain", {"--file", "a.txt=alpha"});
  ToolResult baseline = Run(plain.Port(), 30);
  ASSERT_EQ(baseline.ExitCode, 0) << Describe(baseline);

  // The first piece of the line reads as the greeting, the next as a reply that is no reply:
  // the log-in has failed, and the run ends there without waiting for the rest.
  ScriptedPeer peer("long-line", {"--set", "size=52428800", "--set", "then=serve"});
  ToolResult r = Run(peer.Port(), 30);
  ExpectCleanEnd(r, 2, "kvb: end: 2 log-in failed");
  EXPECT_EQ(r.Count("kvb: box [FTP Error: 0] xxxx"), 1) << Describe(r);
  // The line is cut into packets of at most 1 MiB, and the error box shows at most 32 KiB of
  // a reply; a few copies of those in flight are all the line may cost.
  const long growthKb = r.MaxRssKb - baseline.MaxRssKb;
  if (apptest::ResidentMemoryTellsLeaks) {
    EXPECT_LT(growthKb, 16 * 1024)
        << "peak " << r.MaxRssKb << " KiB against " << baseline.MaxRssKb << " KiB for a plain run";
  }
  // The box text is bounded too.
  for (const std::string& line : r.Lines) EXPECT_LT(line.size(), 40000u);
}

// A log-in answered with a multi-line reply of 10,000 lines: one reply, and the run goes on.
TEST_F(FaultTest, AMultiLineReplyOfTenThousandLines) {
  ScriptedPeer peer("long-multiline", {"--set", "lines=10000", "--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 40);
  ExpectCleanEnd(r, 0, "kvb: end: 0 1 of 1 listed files received");
  EXPECT_EQ(r.Count("kvb: box [FTP Error"), 0);
  EXPECT_EQ(ReadFile(Local() / "a.txt"), "alpha");
}

// ---- Telnet bytes in the dialogue -------------------------------------------------------------

// Option negotiation before the greeting, a terminal type request, doubled IAC bytes and
// stray IAC bytes inside the texts: the tool answers the negotiation and the run goes on as
// usual.
TEST_F(FaultTest, TelnetCommandsAndStrayIacBytesInRepliesAreHandled) {
  ScriptedPeer peer("telnet", {"--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 40);
  ExpectCleanEnd(r, 0, "kvb: end: 0 1 of 1 listed files received");
  EXPECT_EQ(ReadFile(Local() / "a.txt"), "alpha");
  std::string telnet;
  for (const std::string& line : peer.Transcript())
    if (line.rfind("telnet: ", 0) == 0) telnet += line.substr(8);
  // WILL ECHO -> DO ECHO; DO TERMINAL-TYPE -> WILL; DO 31 -> WONT; then the terminal type.
  EXPECT_NE(telnet.find("fffd01"), std::string::npos) << telnet;
  EXPECT_NE(telnet.find("fffb18"), std::string::npos) << telnet;
  EXPECT_NE(telnet.find("fffc1f"), std::string::npos) << telnet;
  EXPECT_NE(telnet.find("fffa1800"
                        "7674313030"
                        "fff0"),
            std::string::npos)
      << telnet;
  EXPECT_EQ(peer.Transcript().front().rfind("telnet: ", 0), 0u);
  EXPECT_TRUE(std::find(peer.Transcript().begin(), peer.Transcript().end(), "USER dlmorv") !=
              peer.Transcript().end());
}

// A stray IAC right before a reply's CR LF: as a Telnet command the IAC takes the CR with it,
// so that reply never ends and runs into the next one, whose answer is then never seen. The
// user sees the run stop after log-in and the tool give up at its time limit with exit 2.
TEST_F(FaultTest, AStrayIacBeforeTheLineEndOfAReplyEndsAtTheTimeLimit) {
  ScriptedPeer peer("telnet", {"--set", "stray-before-crlf=1", "--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 12);
  ExpectCleanEnd(r, 2, "kvb: end: 2 time limit of 12 s reached");
  EXPECT_TRUE(r.Has("kvb: status: 已成功登入")) << Describe(r);
  EXPECT_TRUE(ListFiles(Local()).empty());
}

// ---- Bad passive addresses --------------------------------------------------------------------

// The retrieval's 227 reply names a port nobody listens on, or holds garbage in its
// parentheses. The user sees one error box for the file, and the run ends with exit 1.
TEST_F(FaultTest, APassiveAddressThatCannotBeReachedFailsTheFileOnly) {
  for (const char* kind : {"closed", "garbage"}) {
    SCOPED_TRACE(kind);
    fs::remove_all(Local());
    ScriptedPeer peer("bad-pasv", {"--set", std::string("kind=") + kind, "--file", "a.txt=alpha"});
    ToolResult r = Run(peer.Port(), 30);
    ExpectCleanEnd(r, 1, "kvb: end: 1 0 of 1 listed files received, 1 failed");
    EXPECT_EQ(r.Count("kvb: box [FTP Error: "), 1) << Describe(r);
    EXPECT_TRUE(ListFiles(Local()).empty()) << Describe(r);
  }
}

// ---- A server that trickles ---------------------------------------------------------------------

// Every reply arrives one byte per 100 ms (active mode keeps the dialogue short). The run is
// slow but completes.
TEST_F(FaultTest, AServerAnsweringOneBytePerTenthOfASecond) {
  ScriptedPeer peer("slow", {"--set", "pause=0.1", "--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 90, {"--active"});
  ExpectCleanEnd(r, 0, "kvb: end: 0 1 of 1 listed files received");
  EXPECT_EQ(ReadFile(Local() / "a.txt"), "alpha");
}

// ---- Names
// ----------------------------------------------------------------------------------------

// Names with blanks, a TAB, Big5 and UTF-8 bytes. Blanks around a name are trimmed; a name
// inside which a TAB stands cannot be a file of the folder and is refused with its box; the
// others are stored under the same bytes, also a Big5 character whose second byte is a
// backslash (it is no separator). Nothing lands outside the folder.
TEST_F(FaultTest, NamesWithBlanksTabsBig5AndUtf8Bytes) {
  const std::string big5 = "\xA4\xA4\xA4\xE5.txt";          // 中文 in Big5
  const std::string big5Slash = "\xA5\x5C.txt";             // 功: its trail byte is a backslash
  const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87.txt";  // 中文 in UTF-8
  std::vector<std::string> args{"--listing", "  lead and trail.txt \t",
                                "--listing", "inner space.txt",
                                "--listing", "tab\tinside.txt",
                                "--listing", big5,
                                "--listing", big5Slash,
                                "--listing", utf8};
  std::map<std::string, std::string> served{
      {"lead and trail.txt", "one"}, {"inner space.txt", "two"},
      {"tab\tinside.txt", "three"},  {big5, "four"},
      {big5Slash, "five"},           {utf8, "six"}};
  for (auto& [name, text] : served) args.insert(args.end(), {"--file", name + "=" + text});
  ScriptedPeer peer("plain", args);
  ToolResult r = Run(peer.Port(), 40);
  ExpectCleanEnd(r, 1, "kvb: end: 1 5 of 6 listed files received, 1 failed");
  EXPECT_EQ(ListFiles(drive.Path()),
            (std::vector<std::string>{"SuperSetup/inner space.txt", "SuperSetup/lead and trail.txt",
                                      "SuperSetup/" + big5, "SuperSetup/" + big5Slash,
                                      "SuperSetup/" + utf8}));
  EXPECT_EQ(ReadFile(Local() / big5), "four");
  EXPECT_EQ(ReadFile(Local() / big5Slash), "five");
  EXPECT_EQ(ReadFile(Local() / utf8), "six");
  EXPECT_EQ(ReadFile(Local() / "lead and trail.txt"), "one");
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] 檔案名稱無效: tab\\tinside.txt -> OK")) << Describe(r);
  EXPECT_FALSE(r.Has("kvb: box [KVB Download] 檔案名稱無效: 功.txt -> OK")) << Describe(r);
  EXPECT_TRUE(r.Has("kvb: Memo1: 功.txt")) << Describe(r);
  EXPECT_TRUE(r.Has("kvb: Memo1: 中文.txt")) << Describe(r);  // the Big5 name, shown in UTF-8
}

// "." and ".." in the listing name the folder and its parent: they are left out without a
// box and are not counted as listed files, so a run that fetched every file ends with exit 0.
TEST_F(FaultTest, DotAndDotDotInTheListingAreLeftOutSilently) {
  ScriptedPeer peer("plain",
                    {"--listing", ".", "--listing", "..", "--listing", "a.txt", "--listing", " .. ",
                     "--listing", "b.txt", "--file", "a.txt=alpha", "--file", "b.txt=beta"});
  ToolResult r = Run(peer.Port(), 40);
  ExpectCleanEnd(r, 0, "kvb: end: 0 2 of 2 listed files received");
  EXPECT_EQ(r.Count("kvb: box ["), 1) << Describe(r);  // only the install question
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] " + QuestionUtf8 + " -> No")) << Describe(r);
  EXPECT_EQ(ListFiles(drive.Path()),
            (std::vector<std::string>{"SuperSetup/a.txt", "SuperSetup/b.txt"}));
  EXPECT_EQ(ReadFile(Local() / "b.txt"), "beta");
  for (const std::string& command : peer.Transcript())
    EXPECT_EQ(command.find("RETR ."), std::string::npos) << command;
}

// ---- Servers that take a command only in one piece -------------------------------------------

// The server never answers a command whose bytes arrive in more than one receive, and lists
// names of such lengths that the client's 8 KiB output ring wraps between the CR and the LF of
// a RETR command. That command still leaves in one piece, and every file arrives.
TEST_F(FaultTest, ACommandAtTheOutputRingsEndStillArrivesInOnePiece) {
  ScriptedPeer peer("whole-commands");
  ToolResult r = Run(peer.Port(), 40);
  std::vector<std::string> wrapped, split;
  for (const std::string& line : peer.Transcript()) {
    if (line.rfind("wrap: ", 0) == 0) wrapped.push_back(line.substr(6));
    if (line.rfind("split: ", 0) == 0) split.push_back(line.substr(7));
  }
  ASSERT_EQ(wrapped.size(), 1u) << "no command was placed at the ring's end";
  EXPECT_EQ(wrapped[0].rfind("RETR f", 0), 0u) << wrapped[0];
  EXPECT_TRUE(split.empty()) << split.front();
  const int received = r.Count("kvb: Memo1: ");
  ExpectCleanEnd(r, 0,
                 "kvb: end: 0 " + std::to_string(received) + " of " + std::to_string(received) +
                     " listed files received");
  EXPECT_GE(received, 30);
  const std::vector<std::string> files = ListFiles(Local());
  EXPECT_EQ(files.size(), static_cast<std::size_t>(received));
  for (const std::string& name : files) EXPECT_EQ(ReadFile(Local() / name), name);
  EXPECT_NE(std::find(files.begin(), files.end(), wrapped[0].substr(5)), files.end());
}

// ---- Long listings
// ----------------------------------------------------------------------------------

// 5,000 small files: all 5,000 names are listed and queued in their order, and the files are
// fetched one after the other, each whole. (Fetching all of them takes about four minutes, one
// file per 50 ms; the run is ended by its time limit once a good share has arrived.)
TEST_F(FaultTest, FiveThousandNamesAreAllListedAndFetchedInTheirOrder) {
  ScriptedPeer peer("many-files", {"--set", "count=5000"});
  ToolResult r = Run(peer.Port(), 25);
  ExpectCleanEnd(r, 2, "kvb: end: 2 time limit of 25 s reached");
  std::vector<std::string> listed;
  for (const std::string& line : r.Lines)
    if (line.rfind("kvb: InfoMemo: ", 0) == 0 && line != "kvb: InfoMemo: operation complete")
      listed.push_back(line.substr(15));
  ASSERT_EQ(listed.size(), 5000u) << Describe(r);
  for (int i = 0; i < 5000; ++i)
    ASSERT_EQ(listed[static_cast<std::size_t>(i)], std::to_string(i + 1));
  // What arrived is the head of the list, each file whole; nothing else is in the folder.
  const int received = r.Count("kvb: Memo1: ");
  EXPECT_GE(received, 20) << Describe(r);
  std::vector<std::string> expected;
  for (int i = 1; i <= received; ++i) expected.push_back(std::to_string(i));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListFiles(Local()), expected);
  for (int i = 1; i <= received; ++i)
    EXPECT_EQ(ReadFile(Local() / std::to_string(i)), std::to_string(i));
}

// A listing longer than the 32 KiB the FTP client keeps: 300 names of 200 characters, of
// which 162 fit whole and the 163rd is cut short. The user sees a box saying the list is too
// long; the 162 files are fetched, the cut name is never asked for, and the run ends with
// exit 1 instead of claiming that every file arrived.
TEST_F(FaultTest, AListingLongerThanTheClientKeepsIsReportedAndItsCutNameNotFetched) {
  ScriptedPeer peer("many-files", {"--set", "count=300", "--set", "width=200"});
  ToolResult r = Run(peer.Port(), 90);
  ExpectCleanEnd(r, 1, "kvb: end: 1 162 of 162 listed files received, 1 failed");
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] 檔案清單過長, 只能下載清單前面的檔案 -> OK"))
      << Describe(r);
  EXPECT_EQ(ListFiles(Local()).size(), 162u);
  for (const std::string& command : peer.Transcript()) {
    if (command.rfind("RETR ", 0) == 0) {
      EXPECT_EQ(command.size(), 5u + 200u) << command;
    }
  }
}

// ---- A download folder that cannot be written ------------------------------------------------

// Drive C: lies under a regular file: the tool says on standard error that it cannot use the
// folder and exits with 2 before it connects.
TEST_F(FaultTest, ADriveFolderUnderARegularFileIsRefusedAtStart) {
  WriteFile(drive.Path() / "plain-file", "x");
  ScriptedPeer peer("plain", {"--file", "a.txt=alpha"});
  ToolResult r =
      RunTool({"--batch", "--server", "127.0.0.1:" + std::to_string(peer.Port()), "--drive-c",
               (drive.Path() / "plain-file" / "c").string(), "--timeout", "10"},
              60);
  EXPECT_EQ(r.ExitCode, 2) << Describe(r);
  EXPECT_EQ(r.Errors.rfind("kvb-download: cannot use \"", 0), 0u) << Describe(r);
  EXPECT_TRUE(peer.Transcript().empty());
}

// A file of the listing whose place in the folder is taken by a folder: its data cannot be
// stored there. The user sees an error box for it, the other file arrives, exit 1.
TEST_F(FaultTest, AFileWhoseNameIsTakenByAFolderIsReportedAndTheRestArrives) {
  fs::create_directories(Local() / "a.bin" / "inside");
  ScriptedPeer peer("plain", {"--file-size", "a.bin=5000", "--file", "b.txt=beta"});
  ToolResult r = Run(peer.Port(), 30);
  ExpectCleanEnd(r, 1, "kvb: end: 1 1 of 2 listed files received, 1 failed");
  EXPECT_EQ(ReadFile(Local() / "b.txt"), "beta");
  EXPECT_TRUE(fs::is_directory(Local() / "a.bin" / "inside"));
  EXPECT_EQ(ListFiles(Local()), std::vector<std::string>{"b.txt"});
  EXPECT_GE(r.Count("kvb: box ["), 1) << Describe(r);
}

// The download folder is on a read-only file system (a read-only bind mount in a namespace of
// its own, which stops root as well). Every file fails with a box, the run ends with exit 1,
// and the files already there are untouched.
TEST_F(FaultTest, AReadOnlyDownloadFolderFailsEveryFileAndKeepsWhatIsThere) {
  WriteFile(Local() / "a.txt", "earlier copy");
  const std::string local = Local().string();
  const std::vector<std::string> launcher{
      "/usr/bin/unshare",
      "-rm",
      "/bin/sh",
      "-c",
      "mount --bind \"$0\" \"$0\" && mount -o remount,ro,bind \"$0\" \"$0\" && exec \"$@\"",
      local};
  ToolResult probe = RunTool({"--version"}, 30, {}, launcher);
  if (probe.ExitCode != 0)
    GTEST_SKIP() << "no user and mount namespaces here for a read-only mount: " << probe.Errors;
  ScriptedPeer peer("plain", {"--file", "a.txt=alpha", "--file", "b.txt=beta"});
  ToolResult r = Run(peer.Port(), 30, {}, launcher);
  ExpectCleanEnd(r, 1, "kvb: end: 1 0 of 2 listed files received, 2 failed");
  EXPECT_EQ(r.Count("kvb: box ["), 2) << Describe(r);
  EXPECT_EQ(ListFiles(Local()), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadFile(Local() / "a.txt"), "earlier copy");
}

// ---- The installer
// --------------------------------------------------------------------------------

// No Setup.exe on the server, answer Yes: the user sees "Required files not found !" and the
// tool ends; the download itself went well, so exit 0.
TEST_F(FaultTest, AnsweringYesWithoutAnInstallerSaysItIsMissing) {
  ScriptedPeer peer("plain", {"--file", "a.txt=alpha"});
  ToolResult r = Run(peer.Port(), 30, {"--answer", "yes"});
  ExpectCleanEnd(r, 0, "kvb: end: 0 1 of 1 listed files received");
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] " + QuestionUtf8 + " -> Yes")) << Describe(r);
  EXPECT_TRUE(r.Has("kvb: box [KVB Download] " + MissingUtf8 + " -> OK")) << Describe(r);
  EXPECT_EQ(r.Count("kvb: installer"), 0);
}

// A Setup.exe that is no program (neither a script nor a native or Windows program), and one
// whose script names an interpreter that does not exist: the start is tried and reported as
// not started; the tool ends, the downloaded file stays, exit 0.
TEST_F(FaultTest, AnInstallerThatCannotRunIsReportedAsNotStarted) {
  for (const char* content : {"plain text, no program", "#!/nonexistent/interpreter\nexit 0\n"}) {
    SCOPED_TRACE(content);
    fs::remove_all(Local());
    ScriptedPeer peer("plain", {"--file", std::string("Setup.exe=") + content});
    ToolResult r = Run(peer.Port(), 30, {"--answer", "yes"});
    ExpectCleanEnd(r, 0, "kvb: end: 0 1 of 1 listed files received");
    ASSERT_EQ(r.Count("kvb: installer: WinExec(\"SetupKVB\", 5) = "), 1) << Describe(r);
    EXPECT_NE(r.Output.find("(not started)"), std::string::npos) << Describe(r);
    EXPECT_EQ(ReadFile(Local() / "SetupKVB.exe"), content);
  }
}

}  // namespace
