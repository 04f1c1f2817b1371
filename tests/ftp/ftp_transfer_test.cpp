// Listings and retrievals against the scripted peer: the exact command dialogue in both modes,
// the passive address, listings at their edges, the end of a transfer in either order, and
// every way a transfer can fail.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <sstream>

#include "forms/application.h"
#include "ftp/ftp_client.h"
#include "ftp/ftp_log.h"
#include "ftp_test_support.h"
#include "port/winsock_binding.h"

using namespace ftptest;
using testsupport::PumpFor;

namespace {

std::vector<std::string> After(const std::vector<std::string>& transcript, std::size_t skip) {
  if (transcript.size() <= skip) return {};
  return std::vector<std::string>(transcript.begin() + static_cast<long>(skip), transcript.end());
}

std::string PeerBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 255);
  return bytes;
}

// Files of this process may not grow beyond `bytes` until Lift (or the end of the scope); a
// write beyond fails instead of raising SIGXFSZ.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FSaved);
    FPrevious = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = FSaved;
    small.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~TFileSizeLimit() { Lift(); }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
  void Lift() {
    if (FLifted) return;
    FLifted = true;
    ::setrlimit(RLIMIT_FSIZE, &FSaved);
    std::signal(SIGXFSZ, FPrevious);
  }

 private:
  struct rlimit FSaved {};
  void (*FPrevious)(int) = nullptr;
  bool FLifted = false;
};

class FtpTransferTest : public ::testing::Test {
 protected:
  void Start(const std::string& scenario, std::vector<std::string> args = {}, bool passive = true) {
    peer = std::make_unique<ScriptedPeer>(scenario, std::move(args));
    client = MakeClient(peer->Port());
    client->SetPassiveMode(passive);
    events.Attach(*client);
    ASSERT_TRUE(LogIn(*client, events));
    events.Clear();
  }
  std::vector<std::string> Commands() const { return After(peer->Transcript(), 2); }

  testsupport::Watchdog watchdog{120};
  TempDir dir;
  std::unique_ptr<ScriptedPeer> peer;
  ClientPtr client;
  Recorder events;
};

TEST(FtpArguments, PortArgumentAndPassiveReplyText) {
  EXPECT_EQ(FtpPortArgument("192.168.1.5", 5001), "192,168,1,5,19,137");
  EXPECT_EQ(FtpPortArgument("127.0.0.1", 21), "127,0,0,1,0,21");
  std::string address;
  WORD port = 0;
  ParsePassiveArgument("10,0,0,7,4,1", address, port);
  EXPECT_EQ(address, "10.0.0.7");
  EXPECT_EQ(port, 1025);
  ParsePassiveArgument("127,0,0,1,255,255", address, port);
  EXPECT_EQ(port, 65535);
  ParsePassiveArgument("1,2,3,4,x,9", address, port);
  EXPECT_EQ(address, "1.2.3.4");
  EXPECT_EQ(port, 9);
  ParsePassiveArgument("1,2,3", address, port);
  EXPECT_EQ(address, "1.2.3");
  EXPECT_EQ(port, 0);
  ParsePassiveArgument("1,2,3,4,300,1", address, port);
  EXPECT_EQ(port, (300 * 256 + 1) & 0xFFFF);
}

TEST(FtpArguments, HugePortNumbersOfA227ReplyAreKeptToSixteenBits) {
  // p1 up to 16777215 is still read as a number; times 256 it no longer fits an int.
  std::string address;
  WORD port = 0;
  ParsePassiveArgument("1,2,3,4,9999999,97", address, port);
  EXPECT_EQ(address, "1.2.3.4");
  EXPECT_EQ(port, static_cast<WORD>((9999999L * 256 + 97) & 0xFFFF));
  ParsePassiveArgument("1,2,3,4,16777215,16777215", address, port);
  EXPECT_EQ(port, static_cast<WORD>((16777215L * 256 + 16777215L) & 0xFFFF));
  // Beyond that a field is no number at all.
  ParsePassiveArgument("1,2,3,4,16777216,5", address, port);
  EXPECT_EQ(port, 5);
}

TEST_F(FtpTransferTest, PassiveListingSendsTypePasvThenNlstAndNothingAfter) {
  Start("plain", {"--listing", "alpha", "--listing", "beta"});
  ASSERT_TRUE(client->ListDirectory("", false));
  EXPECT_EQ(client->State(), fcListing);
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived));
  PumpFor(200);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"TYPE A", "PASV", "NLST"}));
  EXPECT_EQ(events.Last('S', fsDataReceived)->Text, "alpha\r\nbeta\r\n");
  EXPECT_EQ(events.Count('S', fsDataReceived), 1);
  EXPECT_EQ(client->ByteCount(), 13);
  EXPECT_EQ(client->State(), fcIdle);
  // A full listing of a named directory.
  ASSERT_TRUE(client->ListDirectory("sub", true));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived, 5000, 2));
  EXPECT_EQ(Commands().back(), "LIST sub");
  EXPECT_NE(events.Last('S', fsDataReceived)->Text.find(" alpha\r\n"), std::string::npos);
}

TEST_F(FtpTransferTest, ActiveListingSendsPortThenTypeThenList) {
  Start("plain", {"--listing", "one"}, false);
  ASSERT_TRUE(client->ListDirectory("dir", true));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived));
  PumpFor(200);
  auto commands = Commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].rfind("PORT 127,0,0,1,", 0), 0u);
  EXPECT_EQ(commands[1], "TYPE A");
  EXPECT_EQ(commands[2], "LIST dir");
  EXPECT_EQ(events.Summary(), "R200 R200 R150 R226 S6");
}

TEST_F(FtpTransferTest, ActiveRetrievalAnnouncesItsListeningPort) {
  Start("plain", {"--file", "notes.txt=hello there"}, false);
  client->SetFileType(ftAscii);
  const std::string local = dir / "notes.txt";
  ASSERT_TRUE(client->RetrieveFile("notes.txt", local, wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  PumpFor(200);
  auto commands = Commands();
  ASSERT_EQ(commands.size(), 3u);
  ASSERT_EQ(commands[0].rfind("PORT 127,0,0,1,", 0), 0u) << commands[0];
  int high = 0, low = 0;
  ASSERT_EQ(std::sscanf(commands[0].c_str(), "PORT 127,0,0,1,%d,%d", &high, &low), 2);
  EXPECT_GT(high * 256 + low, 0);
  EXPECT_EQ(commands[1], "TYPE A");
  EXPECT_EQ(commands[2], "RETR notes.txt");
  EXPECT_EQ(ReadFile(local), "hello there");
  EXPECT_EQ(events.Summary(), "L6 R200 R200 R150 R226 S8");
}

TEST_F(FtpTransferTest, ResumeAsksTheServerToRestartAtTheLocalEnd) {
  const std::string content = PeerBytes(5000);
  Start("plain", {"--file-size", "data.bin=5000"});
  const std::string local = dir / "data.bin";
  WriteFile(local, content.substr(0, 3000));
  client->SetResumeOffset(5000);  // beyond the local end
  ASSERT_TRUE(client->RetrieveFile("data.bin", local, wmResume));
  EXPECT_EQ(client->ResumeOffset(), 3000);
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  EXPECT_EQ(Commands(), (std::vector<std::string>{"TYPE I", "PASV", "REST 3000", "RETR data.bin"}));
  EXPECT_EQ(ReadFile(local), content);
  EXPECT_EQ(client->ByteCount(), 2000);
  EXPECT_EQ(events.Events.front().Kind, 'L');
  EXPECT_EQ(events.Events.front().Code, flRestarting);

  // A negative offset resumes at the end of the local file.
  WriteFile(local, content.substr(0, 1234));
  client->SetResumeOffset(-1);
  ASSERT_TRUE(client->RetrieveFile("data.bin", local, wmResume));
  EXPECT_EQ(client->ResumeOffset(), 1234);
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone, 5000, 2));
  EXPECT_EQ(ReadFile(local), content);
}

TEST_F(FtpTransferTest, AppendWritesAfterTheContentAndNeverRestarts) {
  Start("plain", {"--file", "tail.txt=TAIL"}, false);
  const std::string local = dir / "log.txt";
  WriteFile(local, "HEAD-");
  ASSERT_TRUE(client->RetrieveFile("tail.txt", local, wmAppend));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  EXPECT_EQ(ReadFile(local), "HEAD-TAIL");
  for (auto& command : Commands()) EXPECT_NE(command.rfind("REST", 0), 0u);
  EXPECT_EQ(events.Events.front().Code, flDownloading);
}

TEST_F(FtpTransferTest, ReplaceWritesTheWholeFileAndProgressCountsIt) {
  Start("plain", {"--file-size", "big.bin=300000"});
  const std::string local = dir / "big.bin";
  WriteFile(local, std::string(500000, 'o'));  // longer than what arrives
  ASSERT_TRUE(client->RetrieveFile("big.bin", local, wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  EXPECT_EQ(Commands(), (std::vector<std::string>{"TYPE I", "PASV", "RETR big.bin"}));
  EXPECT_EQ(ReadFile(local), PeerBytes(300000));
  EXPECT_EQ(client->ByteCount(), 300000);
  std::int64_t last = 0;
  int progress = 0;
  for (auto& e : events.Events) {
    if (e.Kind != 'S' || e.Code != fsProgress) continue;
    // A handler reads the total when its event comes, which may be after a later chunk.
    EXPECT_GE(e.ByteCount, last);
    last = e.ByteCount;
    ++progress;
  }
  // One event per chunk, and a chunk fills at most the 32,769-byte data buffer.
  EXPECT_GE(progress, (300000 + 32768) / 32769);
  EXPECT_EQ(last, 300000);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST_F(FtpTransferTest, LongListingIsCutAndTheRestIsReadAndDropped) {
  std::vector<std::string> args;
  std::string expected;
  for (int i = 0; i < 4000; ++i) {
    std::string name = "file-" + std::to_string(100000 + i);
    args.push_back("--listing");
    args.push_back(name);
    expected += name + "\r\n";
  }
  ASSERT_GT(expected.size(), 32768u);
  Start("plain", args);
  ASSERT_TRUE(client->ListDirectory("", false));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived));
  EXPECT_EQ(events.Last('S', fsDataReceived)->Text, expected.substr(0, 32768));
  EXPECT_EQ(client->ByteCount(), static_cast<std::int64_t>(expected.size()));
}

TEST_F(FtpTransferTest, ListingLinesArriveAsTheServerSentThem) {
  // Names a download must never use as they stand: the listing itself passes them on.
  Start("plain", {"--listing", "../evil", "--listing", "/etc/passwd", "--listing", " Setup.exe\t"});
  ASSERT_TRUE(client->ListDirectory("", false));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived));
  EXPECT_EQ(events.Last('S', fsDataReceived)->Text, "../evil\r\n/etc/passwd\r\n Setup.exe\t\r\n");
}

TEST_F(FtpTransferTest, LineWithoutACodeDuringATransferIsPassedOnOnly) {
  Start("stray-line", {"--file", "f=FILE DATA", "--listing", "x"});
  ASSERT_TRUE(client->RetrieveFile("f", dir / "f", wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone)) << events.Summary();
  EXPECT_EQ(ReadFile(dir / "f"), "FILE DATA");
  ASSERT_TRUE(client->ListDirectory("", false));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived)) << events.Summary();
  EXPECT_EQ(events.Last('S', fsDataReceived)->Text, "x\r\n");
  EXPECT_EQ(events.Count('R', 0), 2);
  EXPECT_EQ(events.Last('R', 0)->Text, "    (a line without a code)\r\n");
  EXPECT_FALSE(events.WaitForKind('E', 300)) << events.Summary();
}

// A line without a code whose fourth character is a dash opens no multi-line reply: no line
// could ever end it, and every later reply would be taken into it.
TEST_F(FtpTransferTest, LineWithoutACodeButWithADashOpensNoMultiLineReply) {
  Start("stray-line", {"--file", "f=FILE DATA", "--set", "line=----- notice -----"});
  ASSERT_TRUE(client->RetrieveFile("f", dir / "f", wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone, 3000)) << events.Summary();
  EXPECT_EQ(ReadFile(dir / "f"), "FILE DATA");
  EXPECT_EQ(events.Last('R', 0)->Text, "----- notice -----\r\n");
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply, 3000)) << events.Summary();
}

TEST_F(FtpTransferTest, EmptyListingGivesEmptyText) {
  Start("plain");
  ASSERT_TRUE(client->ListDirectory("", false));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived));
  const Event* listing = events.Last('S', fsDataReceived);
  EXPECT_TRUE(listing->HasText);
  EXPECT_EQ(listing->Text, "");
}

TEST_F(FtpTransferTest, PassiveConnectGoesToTheControlPeerWithTheRepliedPort) {
  Start("foreign-pasv", {"--listing", "from-1025"});
  ASSERT_TRUE(client->ListDirectory("", false));
  ASSERT_TRUE(peer->WaitForCommands(5));
  const auto& target = client->LastPassiveTarget();
  EXPECT_EQ(target.ReplyAddress, 0x0700000Au);  // 10.0.0.7 in network order
  EXPECT_EQ(target.Port, 1025);
  EXPECT_EQ(target.ConnectAddress, 0x0100007Fu);  // 127.0.0.1, the control connection's peer
  // When the peer could listen on 1025 the listing comes through there.
  ASSERT_TRUE(testsupport::PumpUntil(
      [&] { return events.Has('S', fsDataReceived) || events.Has('E', 425); }, 10000));
  if (events.Has('S', fsDataReceived)) {
    EXPECT_EQ(events.Last('S', fsDataReceived)->Text, "from-1025\r\n");
  }
}

TEST_F(FtpTransferTest, FinalReplyBeforeTheDataConnectionClosesStillEndsOnce) {
  Start("data-close-late", {"--file", "late.txt=LATE DATA", "--listing", "x"});
  const std::string local = dir / "late.txt";
  ASSERT_TRUE(client->RetrieveFile("late.txt", local, wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  PumpFor(200);
  EXPECT_EQ(events.Count('S', fsTransferDone), 1);
  EXPECT_EQ(events.Summary(), "L6 R200 R227 R150 R226 S8");
  EXPECT_EQ(ReadFile(local), "LATE DATA");
  events.Clear();
  ASSERT_TRUE(client->ListDirectory("", false));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived));
  EXPECT_EQ(events.Last('S', fsDataReceived)->Text, "x\r\n");
}

TEST_F(FtpTransferTest, CutOffTransferIsAnErrorAndLeavesTheFileAlone) {
  Start("cut-off", {"--file-size", "cut.bin=200000"});
  const std::string local = dir / "cut.bin";
  WriteFile(local, "previous");
  ASSERT_TRUE(client->RetrieveFile("cut.bin", local, wmReplace));
  ASSERT_TRUE(events.WaitFor('E', 426));
  PumpFor(300);
  EXPECT_FALSE(events.Has('S', fsTransferDone));
  EXPECT_EQ(events.Count('E', 426), 1);
  EXPECT_EQ(events.Last('E', 426)->Text, "426 Connection closed; transfer aborted.\r\n");
  EXPECT_EQ(ReadFile(local), "previous");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  EXPECT_EQ(client->State(), fcIdle);
  // An absent file stays absent.
  const std::string absent = dir / "absent.bin";
  ASSERT_TRUE(client->RetrieveFile("cut.bin", absent, wmReplace));
  ASSERT_TRUE(events.WaitFor('E', 426, 5000, 2));
  EXPECT_FALSE(fs::exists(absent));
}

TEST_F(FtpTransferTest, CutOffResumeKeepsOnlyWhatCame) {
  const std::string content = PeerBytes(4000);
  Start("cut-off", {"--file-size", "r.bin=4000"});
  const std::string local = dir / "r.bin";
  WriteFile(local, content.substr(0, 1000) + std::string(9000, 'X'));
  client->SetResumeOffset(1000);
  ASSERT_TRUE(client->RetrieveFile("r.bin", local, wmResume));
  ASSERT_TRUE(events.WaitFor('E', 426));
  PumpFor(200);
  // Half of the 3000 bytes after the restart point came; the stale rest is not left behind
  // them, so resuming at the end of the file goes on from there.
  const std::string kept = ReadFile(local);
  EXPECT_EQ(kept.size(), 2500u);
  EXPECT_TRUE(kept == content.substr(0, 2500));
  EXPECT_FALSE(events.Has('S', fsTransferDone));

  // A refused file writes nothing and leaves the local file as it was.
  WriteFile(local, content.substr(0, 1000) + std::string(9000, 'X'));
  ASSERT_TRUE(client->RetrieveFile("absent.bin", local, wmResume));
  ASSERT_TRUE(events.WaitFor('E', 550));
  PumpFor(200);
  EXPECT_TRUE(ReadFile(local) == content.substr(0, 1000) + std::string(9000, 'X'));
}

TEST_F(FtpTransferTest, ErrorWhileDataStillFlowsEndsAtOnceAndLateRepliesAreNotMistaken) {
  Start("reply-before-data", {"--file-size", "x.bin=100000", "--listing", "y"});
  ASSERT_TRUE(client->RetrieveFile("x.bin", dir / "x.bin", wmReplace));
  ASSERT_TRUE(events.WaitFor('E', 451));
  EXPECT_EQ(client->State(), fcIdle);
  PumpFor(500);
  EXPECT_EQ(events.Count('E', 451), 1);
  EXPECT_FALSE(events.Has('S', fsTransferDone));
  EXPECT_FALSE(fs::exists(dir / "x.bin"));
  // The session goes on normally.
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply));
}

TEST_F(FtpTransferTest, RefusedFileIsReportedAndTheNextOneStillComes) {
  Start("plain", {"--file", "good.txt=GOOD"}, false);
  const std::string missing = dir / "missing.txt";
  ASSERT_TRUE(client->RetrieveFile("missing.txt", missing, wmReplace));
  ASSERT_TRUE(events.WaitFor('E', 550));
  EXPECT_EQ(events.Last('E', 550)->Text, "550 missing.txt: No such file.\r\n");
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_FALSE(fs::exists(missing));
  ASSERT_TRUE(client->RetrieveFile("good.txt", dir / "good.txt", wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  EXPECT_EQ(ReadFile(dir / "good.txt"), "GOOD");
  EXPECT_EQ(events.Count('E', 550), 1);
}

TEST_F(FtpTransferTest, DataConnectionRefusedByTheServerIsOneError) {
  Start("no-data-connection", {"--file", "f=F"});
  ASSERT_TRUE(client->RetrieveFile("f", dir / "f", wmReplace));
  ASSERT_TRUE(events.WaitForKind('E'));
  PumpFor(500);
  // The peer drops the connection it never accepted: whichever of the reset and the 425
  // comes first is the one report.
  int errors = 0;
  for (auto& e : events.Events) errors += e.Kind == 'E';
  EXPECT_EQ(errors, 1) << events.Summary();
  EXPECT_TRUE(events.Has('R', 425)) << events.Summary();
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_FALSE(fs::exists(dir / "f"));
}

TEST_F(FtpTransferTest, RefusedPassiveConnectIsOneErrorAndEndsTheCommands) {
  Start("dead-pasv", {"--file", "f=F"});
  const std::string local = dir / "f";
  WriteFile(local, "old");
  client->SetResumeOffset(-1);
  ASSERT_TRUE(client->RetrieveFile("f", local, wmResume));
  ASSERT_TRUE(events.WaitForKind('E'));
  PumpFor(800);
  int errors = 0;
  for (auto& e : events.Events) errors += e.Kind == 'E';
  EXPECT_EQ(errors, 1) << events.Summary();
  EXPECT_TRUE(events.Has('E', 10061)) << events.Summary();
  // The restart was on its way; the retrieval it prepared is never asked for.
  EXPECT_EQ(Commands(), (std::vector<std::string>{"TYPE I", "PASV", "REST 3"}));
  EXPECT_EQ(ReadFile(local), "old");
  EXPECT_EQ(client->State(), fcIdle);
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply));
}

// After "150" the server gives the transfer up at "ABOR" with "225" alone: the transfer
// command gets no final reply, and the 225 ends the operation (not the transfer time-out).
TEST_F(FtpTransferTest, AbortAnsweredBy225AloneEndsTheTransfer) {
  Start("abort-before-data", {"--file", "f=DATA"});
  client->OnFtpReply = [&](TObject*, int code, const char* text) {
    events.Events.push_back({'R', code, text != nullptr, text ? text : "", 0});
    if (code == 150) {
      EXPECT_TRUE(client->AbortTransfer());
    }
  };
  ASSERT_TRUE(client->RetrieveFile("f", dir / "f", wmReplace));
  ASSERT_TRUE(events.WaitForKind('E', 3000)) << events.Summary();
  EXPECT_TRUE(events.Has('E', 225)) << events.Summary();
  EXPECT_EQ(Commands(), (std::vector<std::string>{"TYPE I", "PASV", "RETR f", "ABOR"}));
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_FALSE(fs::exists(dir / "f"));
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply));
}

TEST_F(FtpTransferTest, AbortWhileThePassiveAddressIsAwaitedSendsNoTransferCommand) {
  Start("plain", {"--file", "f=DATA", "--listing", "x"});
  bool aborted = false;
  client->OnFtpReply = [&](TObject* sender, int code, const char* text) {
    events.Events.push_back({'R', code, text != nullptr, text ? text : "", 0});
    // The answer to "TYPE" has just sent "PASV".
    if (code == 200 && !aborted) {
      aborted = true;
      EXPECT_TRUE(client->AbortTransfer());
    }
    (void)sender;
  };
  ASSERT_TRUE(client->RetrieveFile("f", dir / "f", wmReplace));
  ASSERT_TRUE(events.WaitForKind('E'));
  PumpFor(300);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"TYPE I", "PASV", "ABOR"}));
  EXPECT_EQ(events.Summary(), "L6 R200 L11 R227 R225 E225");
  EXPECT_EQ(events.Last('E', 225)->Text, "225 No transfer to abort.\r\n");
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_FALSE(fs::exists(dir / "f"));
  // A listing aborted the same way ends the same way; the next one is whole.
  events.Clear();
  aborted = false;
  ASSERT_TRUE(client->ListDirectory("", false));
  ASSERT_TRUE(events.WaitForKind('E'));
  EXPECT_FALSE(events.Has('S', fsDataReceived));
  aborted = true;
  ASSERT_TRUE(client->ListDirectory("", false));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived));
  EXPECT_EQ(events.Last('S', fsDataReceived)->Text, "x\r\n");
  EXPECT_EQ(events.Count('E', 225), 1);
}

// Servers answer "RETR" + "ABOR" with two replies, one or none, and send data after "ABOR".
// Whichever: the retrieval ends once, as aborted, with the server's own reply when there is
// one; the file keeps what its mode says; the history says so; and the next commands' replies
// are matched to them at once (a reply left over or missing would cost the transfer time-out).
struct AbortAnswer {
  const char* Answers;  // the peer's replies to the abort
  int Code;             // the error reported
  const char* Text;
};

class FtpAbortAnswerTest : public FtpTransferTest,
                           public ::testing::WithParamInterface<AbortAnswer> {};

TEST_P(FtpAbortAnswerTest, AbortedRetrievalEndsOnceAndTheNextRepliesAreMatched) {
  const std::string payload = PeerBytes(400000);
  Start("abort-answers",
        {"--file-size", "f.bin=400000", "--set", std::string("answer=") + GetParam().Answers});
  TempDir logDir;
  TApdFtpLog* log = new TApdFtpLog(nullptr);
  client->SetFtpLog(log);
  log->SetFtpHistoryName(logDir / "history.his");
  log->SetEnabled(true);
  bool aborted = false;
  client->OnFtpStatus = [&](TObject*, TFtpStatusCode code, const char* text) {
    events.Events.push_back({'S', code, text != nullptr, text ? text : "", client->ByteCount()});
    if (code == fsProgress && !aborted) {
      aborted = true;
      EXPECT_TRUE(client->AbortTransfer());
    }
  };
  auto checkEnd = [&] {
    int errors = 0;
    std::string replies;
    bool after150 = false;
    for (auto& e : events.Events) {
      errors += e.Kind == 'E';
      if (e.Kind == 'R' && after150)
        replies += (replies.empty() ? "" : ",") + std::to_string(e.Code);
      after150 = after150 || (e.Kind == 'R' && e.Code == 150);
    }
    EXPECT_EQ(errors, 1) << events.Summary();
    ASSERT_TRUE(events.Has('E', GetParam().Code)) << events.Summary();
    EXPECT_EQ(events.Last('E', GetParam().Code)->Text, GetParam().Text);
    EXPECT_EQ(replies, GetParam().Answers);
    EXPECT_FALSE(events.Has('S', fsTransferDone)) << events.Summary();
    EXPECT_EQ(client->State(), fcIdle);
  };

  // wmReplace: the complete file from before stays as it was, and no temporary is left.
  const std::string local = dir / "f.bin";
  WriteFile(local, "the complete file from before");
  ASSERT_TRUE(client->RetrieveFile("f.bin", local, wmReplace));
  ASSERT_TRUE(events.WaitForKind('E', 5000)) << events.Summary();
  PumpFor(300);
  checkEnd();
  EXPECT_EQ(ReadFile(local), "the complete file from before");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
  EXPECT_EQ(client->LocalName(), local);

  // wmAppend keeps what was written before the abort, and nothing that came after it;
  // ByteCount counts just that.
  events.Clear();
  aborted = false;
  WriteFile(local, "HEAD");
  ASSERT_TRUE(client->RetrieveFile("f.bin", local, wmAppend));
  ASSERT_TRUE(events.WaitForKind('E', 5000)) << events.Summary();
  PumpFor(300);
  checkEnd();
  const std::int64_t written = client->ByteCount();
  EXPECT_GT(written, 0);
  EXPECT_LE(written, 100000);  // nothing of what came after "ABOR"
  EXPECT_TRUE(ReadFile(local) == "HEAD" + payload.substr(0, static_cast<std::size_t>(written)));

  // The next operation's reply is its own, at once.
  events.Clear();
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply, 3000)) << events.Summary();
  EXPECT_EQ(events.Summary(), "R257 S5");
  client->CloseSession();
  PumpFor(100);

  std::vector<std::string> lines;
  std::istringstream history(ReadFile(logDir / "history.his"));
  for (std::string line; std::getline(history, line);)
    lines.push_back(line.substr(line.find(" : ") + 3));
  EXPECT_EQ(lines, (std::vector<std::string>{"Downloading f.bin\r", "Transfer aborted by user\r",
                                             "Downloading f.bin\r", "Transfer aborted by user\r",
                                             "dlmorv logged out\r"}));
  TObject::Free(log);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FtpAbortAnswerTest,
    ::testing::Values(AbortAnswer{"426,226", 426, "426 Connection closed; transfer aborted.\r\n"},
                      AbortAnswer{"226", 226, "226 Abort successful\r\n"},
                      AbortAnswer{"426", 426, "426 Connection closed; transfer aborted.\r\n"},
                      AbortAnswer{"", 426, "426 Transfer aborted by user\r\n"}),
    [](const ::testing::TestParamInfo<AbortAnswer>& info) {
      const std::string answers = info.param.Answers;
      return answers.empty()
                 ? std::string("None")
                 : "Reply" + answers.substr(0, 3) + (answers.size() > 3 ? "Then226" : "");
    });

TEST_F(FtpTransferTest, MissingFinalReplyEndsInTheTransferTimeout) {
  Start("silent-transfer", {"--file", "f=DATA"});
  client->SetTransferTimeout(8);
  const std::string local = dir / "f";
  ASSERT_TRUE(client->RetrieveFile("f", local, wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTimedOut, 5000));
  PumpFor(200);
  EXPECT_FALSE(events.Has('S', fsTransferDone));
  EXPECT_FALSE(fs::exists(local));
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_TRUE(client->IsSessionOpen());
}

TEST_F(FtpTransferTest, LocalFileThatCannotBeOpenedRaisesAndLeavesTheClientIdle) {
  Start("plain", {"--file", "f=F"});
  EXPECT_ANY_THROW(client->RetrieveFile("f", dir / "no-such-folder/f", wmReplace));
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_ANY_THROW(client->RetrieveFile("f", dir / "no-such-folder/f", wmAppend));
  EXPECT_EQ(client->State(), fcIdle);
  PumpFor(200);
  EXPECT_TRUE(Commands().empty());
  EXPECT_TRUE(events.Events.empty());
  // Every temporary name beside the file is taken: none of those files is touched.
  const std::string taken = dir / "taken";
  WriteFile(taken, "mine");
  WriteFile(taken + ".part", "mine");
  for (int n = 1; n < 1000; ++n) WriteFile(taken + "." + std::to_string(n) + ".part", "mine");
  try {
    client->RetrieveFile("f", taken, wmReplace);
    ADD_FAILURE() << "no error";
  } catch (const platform::EFCreateError& e) {
    EXPECT_NE(std::string(e.what()).find("is taken"), std::string::npos) << e.what();
  }
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_EQ(ReadFile(taken), "mine");
  EXPECT_EQ(ReadFile(taken + ".part"), "mine");
  EXPECT_EQ(ReadFile(taken + ".999.part"), "mine");
  fs::remove(taken + ".517.part");
  ASSERT_TRUE(client->RetrieveFile("f", taken, wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  EXPECT_EQ(ReadFile(taken), "F");
  EXPECT_FALSE(fs::exists(taken + ".517.part"));
  EXPECT_EQ(ReadFile(taken + ".516.part"), "mine");
  for (auto& entry : fs::directory_iterator(dir.Path())) fs::remove(entry.path());
  events.Clear();
  const std::size_t sent = Commands().size();
  // Active mode, when the control connection's own address cannot be read: nothing is
  // announced, the operation is not started, and nothing is left behind.
  client->SetPassiveMode(false);
  auto& winsock = WinsockEntryTable();
  const auto getsockname = winsock.getsockname;
  winsock.getsockname = [](winsock::SOCKET, winsock::sockaddr*, int*) -> int { return -1; };
  const bool listed = client->ListDirectory("", false);
  const bool retrieved = client->RetrieveFile("f", dir / "g", wmReplace);
  winsock.getsockname = getsockname;
  EXPECT_FALSE(listed);
  EXPECT_FALSE(retrieved);
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_TRUE(fs::is_empty(dir.Path()));
  PumpFor(200);
  EXPECT_EQ(Commands().size(), sent);
  EXPECT_EQ(events.Summary(), "L6");
  client->SetPassiveMode(true);
  events.Clear();
  ASSERT_TRUE(client->RetrieveFile("f", dir / "f", wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
}

// A line break inside an argument would end the command early and send the rest as a command
// of its own ("x\r\nDELE f"). Such an argument is refused before anything is sent or changed.
TEST_F(FtpTransferTest, ArgumentsWithLineBreaksOrNulAreRefusedAndNothingIsSent) {
  Start("plain", {"--file", "f=F"});
  EXPECT_THROW(client->ChangeDirectory("x\r\nDELE f"), EFtpArgument);
  EXPECT_THROW(client->ListDirectory("x\nDELE f", false), EFtpArgument);
  EXPECT_THROW(client->RetrieveFile("f\rDELE f", dir / "f", wmReplace), EFtpArgument);
  EXPECT_THROW(client->RetrieveFile(std::string("f\0x", 3), dir / "f", wmReplace), EFtpArgument);
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));  // no file, no temporary beside it
  PumpFor(200);
  EXPECT_TRUE(Commands().empty());
  EXPECT_TRUE(events.Events.empty());
  // The client is still usable.
  ASSERT_TRUE(client->RetrieveFile("f", dir / "f", wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  EXPECT_EQ(ReadFile(dir / "f"), "F");

  // Log-in values are checked before the connection is opened.
  auto other = MakeClient(peer->Port(), "dlmorv\r\nDELE f");
  EXPECT_THROW(other->OpenSession(), EFtpArgument);
  EXPECT_FALSE(other->IsSessionOpen());
  PumpFor(200);
  EXPECT_EQ(peer->Transcript().size(), Commands().size() + 2);  // nothing from the second client
}

TEST_F(FtpTransferTest, WriteFailureIsShownOnceAndNothingIsLeftUnderTheName) {
  Start("plain", {"--file-size", "big.bin=1000000"});
  int shown = 0;
  Application->OnException = [&shown](TObject*, const std::exception&) { ++shown; };
  TFileSizeLimit limit(100 * 1024);
  const std::string local = dir / "big.bin";
  bool started = client->RetrieveFile("big.bin", local, wmReplace);
  bool ended = events.WaitForKind('E');
  PumpFor(500);
  limit.Lift();
  Application->OnException = nullptr;
  ASSERT_TRUE(started);
  ASSERT_TRUE(ended);
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(events.Has('S', fsTransferDone));
  int errors = 0;
  for (auto& e : events.Events) errors += e.Kind == 'E';
  EXPECT_EQ(errors, 1);
  EXPECT_FALSE(fs::exists(local));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 0);
  // The session is usable afterwards.
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply));
}

// The error box keeps dispatching messages while it is open. It comes before the error event
// and outside the transfer, so nothing reported meanwhile belongs to the failed retrieval, and
// the next one, started from the error event, goes through whole.
TEST_F(FtpTransferTest, WriteFailureBoxComesBeforeTheErrorEventAndOutsideTheTransfer) {
  Start("plain", {"--file-size", "big.bin=1000000", "--file-size", "next.bin=300000"});
  int shown = 0, errorsBeforeBox = -1, eventsDuringBox = -1;
  TFtpClientState stateInBox = fcClosed;
  Application->OnException = [&](TObject*, const std::exception&) {
    ++shown;
    errorsBeforeBox = 0;
    for (auto& e : events.Events) errorsBeforeBox += e.Kind == 'E';
    stateInBox = client->State();
    const std::size_t before = events.Events.size();
    PumpFor(300);  // as a box would
    // Replies of the control connection may come meanwhile; no status or error may.
    eventsDuringBox = 0;
    for (std::size_t i = before; i < events.Events.size(); ++i)
      eventsDuringBox += events.Events[i].Kind == 'S' || events.Events[i].Kind == 'E';
  };
  TFileSizeLimit limit(100 * 1024);
  ASSERT_TRUE(client->RetrieveFile("big.bin", dir / "big.bin", wmReplace));
  bool ended = events.WaitForKind('E');
  limit.Lift();
  Application->OnException = nullptr;
  ASSERT_TRUE(ended);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(errorsBeforeBox, 0);
  EXPECT_EQ(eventsDuringBox, 0);
  EXPECT_EQ(stateInBox, fcIdle);
  // The next retrieval, as the download window starts it from the error event.
  ASSERT_TRUE(client->RetrieveFile("next.bin", dir / "next.bin", wmReplace));
  ASSERT_TRUE(events.WaitFor('S', fsTransferDone));
  EXPECT_EQ(fs::file_size(dir / "next.bin"), 300000u);
  EXPECT_FALSE(fs::exists(dir / "big.bin"));
  int errors = 0;
  for (auto& e : events.Events) errors += e.Kind == 'E';
  EXPECT_EQ(errors, 1);
}

}  // namespace
