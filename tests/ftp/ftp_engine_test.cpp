// The command engine against the scripted peer: log-in dialogues, multi-line replies, replies
// cut into pieces or packed together, refusals, closes, the two timeouts and destruction.
#include <gtest/gtest.h>

#include <chrono>

#include "ftp/ftp_client.h"
#include "ftp_test_support.h"
#include "platform/time.h"

using namespace ftptest;
using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

class FtpEngineTest : public ::testing::Test {
 protected:
  testsupport::Watchdog watchdog{120};
};

TEST_F(FtpEngineTest, LogInReportsEachStepInOrder) {
  ScriptedPeer peer("plain");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  EXPECT_FALSE(client->IsSessionOpen());
  ASSERT_TRUE(client->OpenSession());
  // Open from the start of the attempt, before any reply; nothing is reported yet.
  EXPECT_TRUE(client->IsSessionOpen());
  EXPECT_TRUE(events.Events.empty());
  ASSERT_TRUE(events.WaitFor('S', fsLoggedIn));
  EXPECT_EQ(events.Summary(), "R220 S1 R331 R230 S3");
  EXPECT_EQ(events.Events[0].Text, "220 scripted peer ready\r\n");
  EXPECT_EQ(events.Events[1].Text, "scripted peer ready\r\n");
  EXPECT_EQ(peer.Transcript(), (std::vector<std::string>{"USER dlmorv", "PASS ka47tz19"}));
  EXPECT_EQ(client->State(), fcIdle);

  // Idle or busy: a second OpenSession does nothing.
  EXPECT_FALSE(client->OpenSession());
  PumpFor(200);
  EXPECT_EQ(peer.Transcript().size(), 2u);
}

TEST_F(FtpEngineTest, MultiLineGreetingIsOneReplyWithItsContinuationLines) {
  ScriptedPeer peer("multiline-greeting");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  // Every line fires OnFtpReply; one fsConnected with the first and the continuation lines,
  // the hyphenated "220-" continuation not ending the reply.
  EXPECT_EQ(events.Summary(), "R220 R220 R0 R220 S1 R331 R230 S3");
  EXPECT_EQ(events.Count('S', fsConnected), 1);
  EXPECT_EQ(events.Last('S', fsConnected)->Text,
            "Welcome to the scripted peer\r\n220-this line begins with the code and a hyphen\r\n"
            "   an indented continuation line\r\n");
  EXPECT_EQ(peer.Transcript(), (std::vector<std::string>{"USER dlmorv", "PASS ka47tz19"}));
}

TEST_F(FtpEngineTest, MultiLineLogInReplyGivesOneLoggedIn) {
  ScriptedPeer peer("multiline-login");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  PumpFor(100);
  EXPECT_EQ(events.Summary(), "R220 S1 R331 R230 R0 R230 S3");
}

TEST_F(FtpEngineTest, RefusedLogInStaysLoggingInAndOpenSessionAsksAgain) {
  ScriptedPeer peer("refuse-login");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(client->OpenSession());
  ASSERT_TRUE(events.WaitFor('E', 530));
  EXPECT_EQ(events.Summary(), "R220 S1 R331 R530 E530");
  EXPECT_EQ(events.Last('E', 530)->Text, "530 Login incorrect.\r\n");
  EXPECT_EQ(client->State(), fcLoggingIn);
  EXPECT_TRUE(client->IsSessionOpen());

  ASSERT_TRUE(client->OpenSession());
  ASSERT_TRUE(events.WaitFor('E', 530, 5000, 2));
  EXPECT_EQ(peer.Transcript(), (std::vector<std::string>{"USER dlmorv", "PASS ka47tz19",
                                                         "USER dlmorv", "PASS ka47tz19"}));
}

// Asking again for the log-in on an established connection starts the connect timer too: a
// log-in still refused when it expires is closed; one that succeeds in time is kept.
TEST_F(FtpEngineTest, ConnectTimeoutLimitsALogInAskedForAgain) {
  {
    ScriptedPeer peer("refuse-login");
    auto client = MakeClient(peer.Port());
    client->SetConnectTimeout(3);
    Recorder events;
    events.Attach(*client);
    ASSERT_TRUE(client->OpenSession());
    ASSERT_TRUE(events.WaitFor('E', 530));
    PumpFor(300);
    EXPECT_FALSE(events.Has('E', -1));  // the connection came in time
    ASSERT_TRUE(client->OpenSession());
    ASSERT_TRUE(events.WaitFor('E', -1, 3000)) << events.Summary();
    PumpFor(100);
    EXPECT_EQ(events.Summary(), "R220 S1 R331 R530 E530 R331 R530 E530 E-1 S0 S0");
    EXPECT_FALSE(client->IsSessionOpen());
  }
  ScriptedPeer peer("refuse-login", {"--set", "refusals=1"});
  auto client = MakeClient(peer.Port());
  client->SetConnectTimeout(6);
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(client->OpenSession());
  ASSERT_TRUE(events.WaitFor('E', 530));
  ASSERT_TRUE(client->OpenSession());
  ASSERT_TRUE(events.WaitFor('S', fsLoggedIn));
  PumpFor(600);
  EXPECT_FALSE(events.Has('E', -1)) << events.Summary();
  EXPECT_EQ(client->State(), fcIdle);
}

TEST_F(FtpEngineTest, AccountIsSentWhenTheServerAsksForIt) {
  ScriptedPeer peer("account");
  auto client = MakeClient(peer.Port());
  client->SetAccount("acct7");
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  EXPECT_EQ(peer.Transcript(),
            (std::vector<std::string>{"USER dlmorv", "PASS ka47tz19", "ACCT acct7"}));
}

TEST_F(FtpEngineTest, ServiceClosingWhileIdleLogsOutAndClosesTwice) {
  ScriptedPeer peer("idle-421");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  events.Clear();
  ASSERT_TRUE(events.WaitFor('S', fsClosed));
  PumpFor(200);
  EXPECT_EQ(events.Summary(), "R421 S2 L2 S0");
  EXPECT_FALSE(client->IsSessionOpen());
  EXPECT_FALSE(client->PortOpen());
}

TEST_F(FtpEngineTest, ServerThatNeverAnswersTimesOutDuringLogIn) {
  ScriptedPeer peer("silent");
  auto client = MakeClient(peer.Port());
  client->SetTransferTimeout(10);
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(client->OpenSession());
  ASSERT_TRUE(peer.WaitForCommands(1));
  const auto sent = platform::MonotonicMs();
  ASSERT_TRUE(events.WaitFor('S', fsTimedOut, 5000));
  // Ten ticks after "USER " went out, counted from the next tick boundary at the latest.
  EXPECT_GE(platform::MonotonicMs() - sent, 10 * 55 - 60);
  PumpFor(200);
  EXPECT_EQ(events.Summary(), "R220 S1 S9 S0 S0");
  EXPECT_FALSE(client->IsSessionOpen());
}

TEST_F(FtpEngineTest, ReplyWhoseLastLineNeverCameIsGivenUpAtTheTimeout) {
  ScriptedPeer peer("unended-multiline");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  events.Clear();
  client->SetTransferTimeout(6);
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsTimedOut, 5000));
  EXPECT_EQ(events.Summary(), "R257 R0 S9");
  EXPECT_EQ(client->State(), fcIdle);
  // Later replies are replies of their own, not lines of the one given up.
  ASSERT_TRUE(client->ChangeDirectory("sub"));
  ASSERT_TRUE(events.WaitFor('S', fsCommandDone, 3000)) << events.Summary();
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply, 3000)) << events.Summary();
  EXPECT_EQ(events.Last('S', fsDirectoryReply)->Text, "/sub");
  EXPECT_EQ(events.Count('S', fsTimedOut), 1);
}

TEST_F(FtpEngineTest, TransferTimeoutZeroNeverTimesOut) {
  ScriptedPeer peer("silent");
  auto client = MakeClient(peer.Port());
  client->SetTransferTimeout(0);
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(client->OpenSession());
  PumpFor(1500);
  EXPECT_FALSE(events.Has('S', fsTimedOut));
  EXPECT_EQ(client->State(), fcLoggingIn);
}

TEST_F(FtpEngineTest, TransferTimerExpiringWhileIdleReportsNothing) {
  ScriptedPeer peer("plain");
  auto client = MakeClient(peer.Port());
  client->SetTransferTimeout(3);
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  PumpFor(500);
  EXPECT_FALSE(events.Has('S', fsTimedOut));
  EXPECT_EQ(client->State(), fcIdle);
}

TEST_F(FtpEngineTest, DirectoryRepliesBecomeTheirStatusReports) {
  ScriptedPeer peer("plain", {"--set", "missing-dirs=nowhere"});
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  events.Clear();

  ASSERT_TRUE(client->ChangeDirectory("//KVB_program"));
  EXPECT_EQ(client->State(), fcDirCommand);
  EXPECT_FALSE(client->ReportCurrentDirectory());  // busy
  ASSERT_TRUE(events.WaitFor('S', fsCommandDone));
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply));
  EXPECT_EQ(events.Last('S', fsDirectoryReply)->Text, "/KVB_program");
  // An empty directory asks for the current one.
  ASSERT_TRUE(client->ChangeDirectory(""));
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply, 5000, 2));
  ASSERT_TRUE(client->ChangeDirectory("nowhere"));
  ASSERT_TRUE(events.WaitFor('E', 550));
  EXPECT_EQ(events.Last('E', 550)->Text, "550 No such directory.\r\n");
  EXPECT_EQ(client->State(), fcIdle);
  EXPECT_EQ(events.Summary(), "R250 S4 R257 S5 R257 S5 R550 E550");
  auto transcript = peer.Transcript();
  EXPECT_EQ(std::vector<std::string>(transcript.begin() + 2, transcript.end()),
            (std::vector<std::string>{"CWD //KVB_program", "PWD", "PWD", "CWD nowhere"}));
}

TEST_F(FtpEngineTest, DirectoryReplyWithoutQuotesGivesAnEmptyName) {
  ScriptedPeer peer("pwd-unquoted");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  ASSERT_TRUE(client->ReportCurrentDirectory());
  ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply));
  const Event* reply = events.Last('S', fsDirectoryReply);
  EXPECT_TRUE(reply->HasText);
  EXPECT_EQ(reply->Text, "");
}

TEST_F(FtpEngineTest, StatusReplyToADirectoryCommandIsReportedAsData) {
  ScriptedPeer peer("stat-212");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  ASSERT_TRUE(client->ChangeDirectory("x"));
  ASSERT_TRUE(events.WaitFor('S', fsDataReceived));
  EXPECT_EQ(events.Last('S', fsDataReceived)->Text, "Directory status: fine.\r\n");
  EXPECT_EQ(client->State(), fcIdle);
}

TEST_F(FtpEngineTest, RepliesCutIntoSingleBytesOrPackedTogetherAreTakenInOrder) {
  {
    ScriptedPeer peer("split-bytes");
    auto client = MakeClient(peer.Port());
    Recorder events;
    events.Attach(*client);
    ASSERT_TRUE(LogIn(*client, events));
    EXPECT_EQ(events.Summary(), "R220 S1 R331 R230 S3");
    EXPECT_EQ(events.Events[2].Text, "331 Password required.\r\n");
  }
  {
    ScriptedPeer peer("three-in-one");
    auto client = MakeClient(peer.Port());
    Recorder events;
    events.Attach(*client);
    ASSERT_TRUE(LogIn(*client, events));
    // The three lines were queued before the reports their handling queued.
    EXPECT_EQ(events.Summary(), "R220 R331 R230 S1 S3");
    ASSERT_TRUE(client->ReportCurrentDirectory());
    ASSERT_TRUE(events.WaitFor('S', fsDirectoryReply));
  }
}

TEST_F(FtpEngineTest, RepliesEndingInCrCrLfAreLines) {
  ScriptedPeer peer("cr-cr-lf");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  EXPECT_EQ(events.Summary(), "R220 S1 R331 R230 S3");
  for (auto& e : events.Events) {
    if (e.Kind == 'R') {
      EXPECT_EQ(e.Text.substr(e.Text.size() - 2), "\r\n");
    }
  }
}

TEST_F(FtpEngineTest, CloseSessionTakesTheGoodbyeWithinItsWait) {
  ScriptedPeer peer("plain");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  events.Clear();
  EXPECT_TRUE(client->CloseSession());
  // The 221 and the close it causes were handled inside the wait, which then ended.
  EXPECT_TRUE(events.Has('R', 221));
  EXPECT_FALSE(client->PortOpen());
  PumpFor(100);
  EXPECT_EQ(events.Summary(), "R221 S2 L2 S0");
  EXPECT_EQ(peer.Transcript().back(), "QUIT");
  EXPECT_FALSE(client->IsSessionOpen());

  // Closed: nothing is sent or reported, after the whole wait of 5 ticks.
  events.Clear();
  const auto before = platform::MonotonicMs();
  EXPECT_FALSE(client->CloseSession());
  EXPECT_GE(platform::MonotonicMs() - before, 4 * 55);
  PumpFor(100);
  EXPECT_TRUE(events.Events.empty());
  EXPECT_EQ(peer.Transcript().size(), 3u);
}

TEST_F(FtpEngineTest, CloseSessionWithoutAGoodbyeClosesAfterItsWait) {
  ScriptedPeer peer("silent");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(client->OpenSession());
  ASSERT_TRUE(events.WaitFor('S', fsConnected));
  const auto before = platform::MonotonicMs();
  EXPECT_TRUE(client->CloseSession());
  EXPECT_GE(platform::MonotonicMs() - before, 4 * 55);
  PumpFor(100);
  // Logging in, not logged in: one fsClosed, from the port's own close.
  EXPECT_EQ(events.Summary(), "R220 S1 S0");
  EXPECT_EQ(peer.Transcript().back(), "QUIT");
}

TEST_F(FtpEngineTest, ConnectTimeoutClosesAnAttemptThatNeverConnects) {
  const int closedPort = testsupport::FreeTcpPort();
  {
    auto client = MakeClient(closedPort);
    client->SetConnectTimeout(4);
    Recorder events;
    events.Attach(*client);
    ASSERT_TRUE(client->OpenSession());
    ASSERT_TRUE(events.WaitFor('E', -1, 5000));
    PumpFor(100);
    EXPECT_EQ(events.Summary(), "E-1 S0 S0");
    EXPECT_FALSE(events.Events[0].HasText);
    EXPECT_FALSE(client->IsSessionOpen());
  }
  {
    // Without a limit the refused attempt stays open until closed, reporting nothing.
    auto client = MakeClient(closedPort);
    Recorder events;
    events.Attach(*client);
    ASSERT_TRUE(client->OpenSession());
    PumpFor(500);
    EXPECT_TRUE(events.Events.empty());
    EXPECT_TRUE(client->IsSessionOpen());
    EXPECT_TRUE(client->CloseSession());
    PumpFor(100);
    EXPECT_EQ(events.Summary(), "S0");
  }
}

// An open that raises (a host that cannot be found) is reported by its exception alone: the
// connect timer started for it reports nothing later.
TEST_F(FtpEngineTest, AnOpenThatRaisesLeavesNoConnectTimerBehind) {
  auto client = MakeClient(testsupport::FreeTcpPort());
  client->SetServerAddress("no-such-host..invalid");  // no host name: no name server is asked
  client->SetConnectTimeout(2);
  Recorder events;
  events.Attach(*client);
  EXPECT_ANY_THROW(client->OpenSession());
  PumpFor(400);
  EXPECT_TRUE(events.Events.empty()) << events.Summary();
  EXPECT_FALSE(client->IsSessionOpen());
}

TEST_F(FtpEngineTest, OperationsOutsideTheirStateChangeNothing) {
  ScriptedPeer peer("plain");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  EXPECT_FALSE(client->ChangeDirectory("x"));
  EXPECT_FALSE(client->ReportCurrentDirectory());
  EXPECT_FALSE(client->ListDirectory("", false));
  EXPECT_FALSE(client->RetrieveFile("a", "b", wmReplace));
  EXPECT_FALSE(client->AbortTransfer());
  ASSERT_TRUE(LogIn(*client, events));
  EXPECT_FALSE(client->AbortTransfer());
  EXPECT_FALSE(client->RetrieveFile("", "b", wmReplace));
  EXPECT_FALSE(client->RetrieveFile("a", "", wmReplace));
  PumpFor(200);
  EXPECT_EQ(peer.Transcript().size(), 2u);
  EXPECT_EQ(events.Summary(), "R220 S1 R331 R230 S3");
}

TEST_F(FtpEngineTest, DestructionReportsNothing) {
  ScriptedPeer peer("plain");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  ASSERT_TRUE(client->ReportCurrentDirectory());
  const auto count = events.Events.size();
  client.reset();
  PumpFor(300);
  EXPECT_EQ(events.Events.size(), count);
}

TEST_F(FtpEngineTest, ServerClosingTheConnectionLogsOutOnce) {
  ScriptedPeer peer("hang-up");
  auto client = MakeClient(peer.Port());
  Recorder events;
  events.Attach(*client);
  ASSERT_TRUE(LogIn(*client, events));
  events.Clear();
  ASSERT_TRUE(events.WaitFor('S', fsLoggedOut));
  PumpFor(300);
  EXPECT_EQ(events.Summary(), "S2 L2");
  EXPECT_FALSE(client->IsSessionOpen());
}

}  // namespace
