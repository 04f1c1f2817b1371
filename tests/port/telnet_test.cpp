// Telnet conventions on a Winsock port: input decoding, negotiation replies checked byte for
// byte by the peer, output encoding, and commands split across reads and across the ring end.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "peer.h"
#include "port/device_socket.h"
#include "port/winsock_dispatcher.h"
#include "port/winsock_port.h"
#include "port_test_support.h"

using namespace porttest;
using testsupport::PumpUntil;

namespace {

constexpr int IAC = 0xFF, WILL = 0xFB, WONT = 0xFC, DO = 0xFD, DONT = 0xFE, SB = 0xFA, SE = 0xF0;

const std::string TermTypeReply = Bytes({IAC, SB, 24, 0}) + "vt100" + Bytes({IAC, SE});

// Opens a Telnet port to the server and pumps until the server's script has finished and the
// expected input has arrived.
struct TTelnetRun {
  explicit TTelnetRun(int serverPort, WORD inputSize = 4096) : Port(nullptr), Sink(Port) {
    Port.SetServerAddress("127.0.0.1");
    Port.SetWsPort(std::to_string(serverPort));
    Port.SetInputBufferSize(inputSize);
    Port.SetPortOpen(true);
  }
  TWsConnection& Connection() {
    return *static_cast<TApdWinsockDispatcher*>(Port.CurrentDispatcher())->Connection();
  }
  TCaughtExceptions Caught;
  TApdWinsockPort Port;
  TDataSink Sink;
};

// Sends the stimulus, then collects `replyLength` bytes of answers.
struct TStimulus {
  std::string Send;
  std::size_t ReplyLength = 0;
  std::string Reply;
};

}  // namespace

TEST(Telnet, DecodesInputAndAnswersNegotiationsByteForByte) {
  testsupport::Watchdog watchdog;
  TStimulus s;
  s.Send = Bytes({IAC, IAC, 0x41}) + Bytes({IAC, WILL, 1}) + Bytes({IAC, DO, 24}) +
           Bytes({IAC, SB, 24, 1, IAC, SE}) + Bytes({IAC, 0xF1}) + "x";
  s.ReplyLength = 3 + 3 + TermTypeReply.size();
  Server peer([&](Conn& conn, int) {
    conn.Send(s.Send);
    s.Reply = conn.Recv(s.ReplyLength);
    conn.WaitClosed();
  });
  TTelnetRun run(peer.Port());
  ASSERT_TRUE(PumpUntil([&] { return run.Sink.Data.size() >= 3; }));
  EXPECT_EQ(Hex(run.Sink.Data), Hex(Bytes({0xFF, 0x41}) + "x"));
  run.Port.SetPortOpen(false);
  ASSERT_TRUE(peer.Join());
  EXPECT_EQ(Hex(s.Reply), Hex(Bytes({IAC, DO, 1}) + Bytes({IAC, WILL, 24}) + TermTypeReply));
}

TEST(Telnet, NegotiationRepliesForEveryCommandAndOption) {
  testsupport::Watchdog watchdog;
  // Expected reply per (command, option): binary, echo, suppress go-ahead, terminal type,
  // terminal speed, and an option nobody knows.
  const int options[] = {0, 1, 3, 24, 32, 5};
  const int replies[4][6] = {
      {DO, DO, DO, DONT, DONT, DONT},        // WILL
      {DONT, DONT, DONT, DONT, DONT, DONT},  // WONT
      {WILL, WONT, WONT, WILL, WONT, WONT},  // DO
      {WONT, WONT, WONT, WONT, WONT, WONT},  // DONT
  };
  std::string send, expected;
  for (int c = 0; c < 4; ++c) {
    for (int o = 0; o < 6; ++o) {
      send += Bytes({IAC, WILL + c, options[o]});
      expected += Bytes({IAC, replies[c][o], options[o]});
    }
  }
  std::string reply;
  std::atomic<bool> replied{false};
  Server peer([&](Conn& conn, int) {
    conn.Send(send);
    reply = conn.Recv(expected.size());
    replied = true;
    // Connected until the port closes: a peer that hangs up would close the port, and its
    // connection with it, before the test has looked at the options.
    conn.WaitClosed();
  });
  TTelnetRun run(peer.Port());
  ASSERT_TRUE(PumpUntil([&] { return replied.load(); }));
  EXPECT_EQ(Hex(reply), Hex(expected));
  EXPECT_TRUE(run.Sink.Data.empty());
  // The last word on binary was DONT.
  EXPECT_EQ(run.Connection().OptBinary, TelnetOptionOff);
  run.Port.SetPortOpen(false);
  ASSERT_TRUE(peer.Join());
}

TEST(Telnet, CarriageReturnHandlingFollowsTheBinaryOption) {
  testsupport::Watchdog watchdog;
  std::string firstWrite, secondWrite, binaryReply;
  std::atomic<int> stage{0};
  Server peer([&](Conn& conn, int) {
    conn.Send(std::string("A\r\0B\r\nC", 7));
    firstWrite = conn.Recv(8);  // "A\r\0B" "\r\n" "\xFF\xFF"
    conn.Send(Bytes({IAC, WILL, 0}));
    binaryReply = conn.Recv(3);
    stage = 1;
    conn.Send(std::string("D\r\0E", 4));
    secondWrite = conn.Recv(4);
    conn.WaitClosed();
  });
  TTelnetRun run(peer.Port());
  ASSERT_TRUE(PumpUntil([&] { return run.Sink.Data.size() >= 6; }));
  EXPECT_EQ(Hex(run.Sink.Data), Hex("A\rB\r\nC"));
  run.Port.WriteText("A\rB");
  run.Port.WriteText("\r\n");
  run.Port.WriteText("\xFF");
  ASSERT_TRUE(PumpUntil([&] { return stage == 1; }));
  EXPECT_EQ(Hex(firstWrite), Hex(std::string("A\r\0B\r\n\xFF\xFF", 8)));
  EXPECT_EQ(Hex(binaryReply), Hex(Bytes({IAC, DO, 0})));
  EXPECT_EQ(run.Connection().OptBinary, TelnetOptionOn);
  // Binary on: CR NUL is no longer collapsed and CR is no longer padded.
  ASSERT_TRUE(PumpUntil([&] { return run.Sink.Data.size() >= 10; }));
  EXPECT_EQ(Hex(run.Sink.Data.substr(6)), Hex(std::string("D\r\0E", 4)));
  run.Port.WriteText("F\rG\xFF");
  run.Port.SetPortOpen(false);
  ASSERT_TRUE(peer.Join());
  EXPECT_EQ(Hex(secondWrite), Hex("F\rG\xFF"));
}

// One pattern with every kind of Telnet sequence, repeated; the expected input and replies.
struct TPattern {
  std::string Stream, Delivered, Replies;
};
TPattern MixedPattern(int repetitions) {
  const std::string unit = "ab" + Bytes({IAC, IAC}) + "c" + Bytes({IAC, WILL, 1}) +
                           std::string("\r\0", 2) + "d\r\n" + Bytes({IAC, SB, 24, 1, IAC, SE}) +
                           Bytes({IAC, 0xF1}) + "e" +
                           Bytes({IAC, SB, 5, 1, 2, IAC, IAC, 3, IAC, SE}) + "f\r";
  // The CR at the end meets the next unit's "a" (or the final "z"): not a CR NUL pair.
  const std::string delivered = "ab" + Bytes({0xFF}) + "c" + "\r" + "d\r\n" + "e" + "f\r";
  const std::string replies = Bytes({IAC, DO, 1}) + TermTypeReply;
  TPattern p;
  for (int i = 0; i < repetitions; ++i) {
    p.Stream += unit;
    p.Delivered += delivered;
    p.Replies += replies;
  }
  p.Stream += "z";
  p.Delivered += "z";
  return p;
}

class TelnetSplit : public ::testing::TestWithParam<bool> {};

TEST_P(TelnetSplit, CommandsSplitAcrossReadsAndTheRingEndAreNeitherLostNorMisread) {
  testsupport::Watchdog watchdog(120);
  const bool oneBytePerSend = GetParam();
  const TPattern p = MixedPattern(oneBytePerSend ? 12 : 200);
  std::string replies;
  Server peer([&](Conn& conn, int) {
    conn.NoDelay();
    std::thread reader([&] { replies = conn.Recv(p.Replies.size(), 60000); });
    if (oneBytePerSend) {
      for (char c : p.Stream) {
        conn.Send(std::string(1, c));
        std::this_thread::sleep_for(std::chrono::microseconds(700));
      }
    } else {
      conn.Send(p.Stream);
    }
    reader.join();
    conn.WaitClosed(60000);
  });
  // A 16-byte input ring: commands keep straddling its end.
  TTelnetRun run(peer.Port(), 16);
  ASSERT_TRUE(PumpUntil([&] { return run.Sink.Data.size() >= p.Delivered.size(); }, 60000))
      << run.Sink.Data.size() << " of " << p.Delivered.size();
  EXPECT_EQ(Hex(run.Sink.Data), Hex(p.Delivered));
  run.Port.SetPortOpen(false);
  ASSERT_TRUE(peer.Join(60000));
  EXPECT_EQ(Hex(replies), Hex(p.Replies));
  EXPECT_TRUE(run.Caught.Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Reads, TelnetSplit, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "OneByteEach" : "Bulk"; });

TEST(Telnet, OffPassesEveryByteUnchanged) {
  testsupport::Watchdog watchdog;
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  all += std::string("\r\0\xFF\xFF", 4);
  std::string echoed;
  Server peer([&](Conn& conn, int) {
    conn.Send(all);
    echoed = conn.Recv(all.size());
  });
  TApdWinsockPort port(nullptr);
  TDataSink sink(port);
  port.SetServerAddress("127.0.0.1");
  port.SetWsPort(std::to_string(peer.Port()));
  port.SetTelnetProcessing(false);
  port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return sink.Data.size() >= all.size(); }));
  EXPECT_TRUE(sink.Data == all);
  port.WriteText(all);
  ASSERT_TRUE(peer.Join());
  EXPECT_TRUE(echoed == all);
}

TEST(Telnet, NegotiationsAreWrittenToTheDispatchLog) {
  testsupport::Watchdog watchdog;
  std::string reply;
  const std::string termReply = TermTypeReply;
  Server peer([&](Conn& conn, int) {
    conn.Send(Bytes({IAC, WILL, 1, IAC, DO, 24, IAC, 0xF1, IAC, SB, 24, 1, IAC, SE}));
    reply = conn.Recv(6 + termReply.size());
    conn.WaitClosed();
  });
  auto log = std::filesystem::temp_directory_path() /
             ("port_telnet_" + std::to_string(::getpid()) + ".log");
  std::filesystem::remove(log);
  TApdWinsockPort port(nullptr);
  port.SetServerAddress("127.0.0.1");
  port.SetWsPort(std::to_string(peer.Port()));
  port.SetLogName(log.string());
  port.SetLogging(tlOn);
  port.SetPortOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return reply.size() == 6 + termReply.size(); }));
  port.SetPortOpen(false);
  std::string text;
  {
    std::ifstream in(log);  // closed before the removal, which Windows refuses for an open file
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::filesystem::remove(log);
  for (const char* entry : {"Recv WILL", "Sent DO", "Recv DO", "Sent WILL", "Command"})
    EXPECT_NE(text.find(entry), std::string::npos) << entry << " missing from\n" << text;
  // The terminal type reply carries the option's code as its value and the type as its data.
  auto term = text.find("Sent Term");
  ASSERT_NE(term, std::string::npos) << text;
  std::string line = text.substr(term, text.find('\r', term) - term);
  EXPECT_NE(line.find("00000018  vt100"), std::string::npos) << line;
}
