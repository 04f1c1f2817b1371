// The data packet matcher on a port whose dispatcher reads from an in-memory device, so that
// the blocks the matcher sees can be chosen byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/test_device.h"
#include "errors/codes.h"
#include "errors/exceptions.h"
#include "forms/application.h"
#include "ftp/data_packet.h"
#include "port/com_port.h"

namespace {

class TPacketTestPort : public TApdCustomComPort {
 public:
  using TApdCustomComPort::TApdCustomComPort;
  TTestDispatcher* Device() { return static_cast<TTestDispatcher*>(CurrentDispatcher()); }

  // One block arrives and one dispatch step runs.
  void Receive(const std::string& block) {
    Device()->Arrive(block);
    Device()->DispatchStep(false);
  }

 protected:
  TApdBaseDispatcher* CreateDispatcher() override { return new TTestDispatcher(this); }
  int OpenDevice() override { return Device()->Open(); }
};

struct Delivered {
  std::vector<std::string> Packets;  // from OnPacket
  std::vector<std::string> Strings;  // from OnStringPacket
  int Timeouts = 0;
};

class DataPacketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = new TPacketTestPort(nullptr);
    port->SetPortOpen(true);
    ASSERT_TRUE(port->PortOpen());
  }
  void TearDown() override { TObject::Free(port); }

  TApdDataPacket* NewPacket(Delivered& out) {
    auto* packet = new TApdDataPacket(port);
    packet->SetComPort(port);
    packet->OnPacket = [&out](TObject*, const void* data, int size) {
      out.Packets.emplace_back(static_cast<const char*>(data), static_cast<std::size_t>(size));
    };
    packet->OnStringPacket = [&out](TObject*, const std::string& text) {
      out.Strings.push_back(text);
    };
    packet->OnTimeout = [&out](TObject*) { ++out.Timeouts; };
    return packet;
  }

  // The reply packet of the FTP client.
  TApdDataPacket* LinePacket(Delivered& out) {
    TApdDataPacket* packet = NewPacket(out);
    packet->SetStartCond(scAnyData);
    packet->SetEndString("\r\n");
    packet->SetEndCond({ecString});
    packet->SetTimeOut(0);
    packet->SetEnabled(true);
    return packet;
  }

  TPacketTestPort* port = nullptr;
};

TEST_F(DataPacketTest, LinesAreDeliveredWholeOnceAndInOrderHoweverTheyArrive) {
  Delivered out;
  LinePacket(out);
  port->Receive("220 hello\r\n");
  ASSERT_EQ(out.Strings.size(), 1u);
  EXPECT_EQ(out.Strings[0], "220 hello\r\n");
  EXPECT_EQ(out.Strings[0].size(), 11u);
  EXPECT_EQ(out.Packets, out.Strings);

  port->Receive("331 one\r\n200 two\r\n226 three\r\n");
  ASSERT_EQ(out.Strings.size(), 4u);
  EXPECT_EQ(out.Strings[1], "331 one\r\n");
  EXPECT_EQ(out.Strings[2], "200 two\r\n");
  EXPECT_EQ(out.Strings[3], "226 three\r\n");

  // Split between CR and LF, and a line in single bytes.
  port->Receive("250 split\r");
  EXPECT_EQ(out.Strings.size(), 4u);
  port->Receive("\n");
  ASSERT_EQ(out.Strings.size(), 5u);
  EXPECT_EQ(out.Strings[4], "250 split\r\n");
  for (char c : std::string("257 \"/\"\r\n")) port->Receive(std::string(1, c));
  ASSERT_EQ(out.Strings.size(), 6u);
  EXPECT_EQ(out.Strings[5], "257 \"/\"\r\n");
  // Nothing is left behind once every line has gone.
  EXPECT_EQ(PacketManagerList().GetPortManager(port)->DataCount(), 0u);
}

TEST_F(DataPacketTest, CrCrLfEndsAtTheLfWithBothCrs) {
  Delivered out;
  TApdDataPacket* packet = LinePacket(out);
  port->Receive("200 a\r\r\n");
  ASSERT_EQ(out.Strings.size(), 1u);
  EXPECT_EQ(out.Strings[0], "200 a\r\r\n");
  // The block ends after the second CR.
  port->Receive("200 b\r\r");
  EXPECT_EQ(out.Strings.size(), 1u);
  port->Receive("\n200 c\r\n");
  ASSERT_EQ(out.Strings.size(), 3u);
  EXPECT_EQ(out.Strings[1], "200 b\r\r\n");
  EXPECT_EQ(out.Strings[2], "200 c\r\n");
  EXPECT_EQ(packet->Manager()->DataCount(), 0u);
}

TEST_F(DataPacketTest, StartStringWithoutEndConditionDropsTheBytesBetween) {
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartString("ab");
  packet->SetEnabled(true);
  port->Receive("xyabzzab");
  ASSERT_EQ(out.Strings.size(), 2u);
  EXPECT_EQ(out.Strings[0], "ab");
  EXPECT_EQ(out.Strings[1], "ab");
  EXPECT_EQ(packet->Manager()->DataCount(), 0u);
  // A failed partial match restarts at the byte after its first one: "aab" holds "ab".
  port->Receive("aab");
  ASSERT_EQ(out.Strings.size(), 3u);
}

TEST_F(DataPacketTest, IgnoreCaseDecidesWhetherLetterCaseMatters) {
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartString("go");
  packet->SetEnabled(true);
  port->Receive("GO gO go");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"GO", "gO", "go"}));

  packet->SetEnabled(false);
  packet->SetIgnoreCase(false);
  packet->SetEnabled(true);
  out.Strings.clear();
  port->Receive("GO gO go Go");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"go"}));
}

TEST_F(DataPacketTest, WildcardAndBackslashInPatterns) {
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartString("a?c");
  packet->SetEnabled(true);
  port->Receive("abc a?c axc");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"abc", "a?c", "axc"}));

  packet->SetEnabled(false);
  packet->SetStartString("a\\?c");
  packet->SetEnabled(true);
  out.Strings.clear();
  port->Receive("abc a?c");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"a?c"}));

  packet->SetEnabled(false);
  packet->SetStartString("\\\\x\\");  // a backslash, x; the trailing backslash is dropped
  packet->SetEnabled(true);
  out.Strings.clear();
  port->Receive("x \\x");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"\\x"}));
}

TEST_F(DataPacketTest, IncludeStringsFalseDeliversOnlyTheDataBetween) {
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartString("<");
  packet->SetEndString(">");
  packet->SetEndCond({ecString});
  packet->SetIncludeStrings(false);
  packet->SetEnabled(true);
  port->Receive("junk<abc>tail");
  ASSERT_EQ(out.Strings.size(), 1u);
  EXPECT_EQ(out.Strings[0], "abc");
  EXPECT_EQ(out.Packets[0], "abc");
}

TEST_F(DataPacketTest, SizePacketsCutEveryFourBytesAndKeepTheRest) {
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartCond(scAnyData);
  packet->SetEndCond({ecPacketSize});
  packet->SetPacketSize(4);
  packet->SetEnabled(true);
  port->Receive("123456789");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"1234", "5678"}));
  EXPECT_EQ(packet->MatchState(), pmCollecting);
  EXPECT_EQ(packet->Manager()->DataCount(), 1u);
  port->Receive("abc");
  EXPECT_EQ(out.Strings.back(), "9abc");
}

TEST_F(DataPacketTest, EndStringOrSizeWhicheverComesFirst) {
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartCond(scAnyData);
  packet->SetEndString(";");
  packet->SetEndCond({ecString, ecPacketSize});
  packet->SetPacketSize(5);
  packet->SetEnabled(true);
  port->Receive("ab;cdefghi;");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"ab;", "cdefg", "hi;"}));
}

TEST_F(DataPacketTest, ArmingRefusesUnusableSettingsAndStaysDisabled) {
  Delivered out;
  auto expectRefusal = [&](TApdDataPacket* packet, int code, const char* text) {
    try {
      packet->SetEnabled(true);
      ADD_FAILURE() << "no exception for " << code;
    } catch (const EInvalidProperty& e) {
      EXPECT_EQ(e.ErrorCode, code);
      EXPECT_EQ(e.Message(), text);
    }
    EXPECT_FALSE(packet->Enabled());
    EXPECT_EQ(packet->MatchState(), pmIdle);
  };
  TApdDataPacket* p1 = NewPacket(out);
  expectRefusal(p1, ecStartStringEmpty, "Start string is empty");

  TApdDataPacket* p2 = NewPacket(out);
  p2->SetStartString("abcdef");
  p2->SetEndCond({ecPacketSize});
  p2->SetPacketSize(3);
  expectRefusal(p2, ecPacketTooSmall, "Packet size cannot be smaller than start string");

  TApdDataPacket* p3 = NewPacket(out);
  p3->SetStartCond(scAnyData);
  expectRefusal(p3, ecNoEndCharCount, "CharCount packets must have an end-condition");

  TApdDataPacket* p4 = NewPacket(out);
  p4->SetStartCond(scAnyData);
  p4->SetEndCond({ecString});
  expectRefusal(p4, ecEmptyEndString, "End string is empty");
  // The refused packet did not keep the capture.
  EXPECT_EQ(p4->Manager()->CapturingPacket(), nullptr);

  TApdDataPacket* p5 = NewPacket(out);
  p5->SetStartCond(scAnyData);
  p5->SetEndCond({ecPacketSize});
  expectRefusal(p5, ecZeroSizePacket, "Packet size cannot be zero");
}

TEST_F(DataPacketTest, TimeoutFiresOnceAndLeavesThePacketDisabled) {
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartString("<");
  packet->SetEndString(">");
  packet->SetEndCond({ecString});
  packet->SetTimeOut(2);
  packet->SetAutoEnable(true);
  packet->SetEnabled(true);
  port->Receive("<never ends");
  EXPECT_EQ(packet->MatchState(), pmCollecting);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  port->Receive("");
  EXPECT_EQ(out.Timeouts, 1);
  EXPECT_FALSE(packet->Enabled());
  EXPECT_TRUE(out.Strings.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  port->Receive("more>");
  EXPECT_EQ(out.Timeouts, 1);
  EXPECT_TRUE(out.Strings.empty());
}

TEST_F(DataPacketTest, OneCollectsAtATimeAndTheOthersRestartAfterEachDelivery) {
  Delivered lines, tags;
  TApdDataPacket* line = LinePacket(lines);
  TApdDataPacket* tag = NewPacket(tags);
  tag->SetStartString("#");
  tag->SetEndCond({});
  tag->SetEnabled(true);
  // The line packet holds the capture from its arming on, so "#" inside a line is its data.
  EXPECT_EQ(line->Manager()->CapturingPacket(), line);
  port->Receive("a#b\r\nc\r\n");
  EXPECT_EQ(lines.Strings, (std::vector<std::string>{"a#b\r\n", "c\r\n"}));
  EXPECT_TRUE(tags.Strings.empty());
  // Without the line packet the tag packet matches what is left.
  line->SetEnabled(false);
  port->Receive("x#y");
  EXPECT_EQ(tags.Strings, (std::vector<std::string>{"#"}));
}

TEST_F(DataPacketTest, HandlerExceptionsGoToTheApplicationAndMatchingGoesOn) {
  Delivered out;
  TApdDataPacket* packet = LinePacket(out);
  int shown = 0;
  Application->OnException = [&shown](TObject*, const std::exception&) { ++shown; };
  packet->OnStringPacket = [&out](TObject*, const std::string& text) {
    out.Strings.push_back(text);
    throw std::runtime_error("handler failed");
  };
  port->Receive("1\r\n2\r\n");
  Application->OnException = nullptr;
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"1\r\n", "2\r\n"}));
}

TEST_F(DataPacketTest, AHugeLineIsCutAtTheLimitAndMatchingGoesOn) {
  Delivered out;
  TApdDataPacket* packet = LinePacket(out);
  const std::string block(8000, 'x');
  std::size_t sent = 0;
  while (sent < MaxPacketLength + 10000) {
    port->Receive(block);
    sent += block.size();
    ASSERT_LE(packet->Manager()->Capacity(), MaxPacketLength + 2 * PacketBufferStep);
  }
  ASSERT_EQ(out.Strings.size(), 1u);
  EXPECT_EQ(out.Strings[0].size(), MaxPacketLength);
  port->Receive("\r\n200 ok\r\n");
  ASSERT_EQ(out.Strings.size(), 3u);
  EXPECT_EQ(out.Strings[1].size(), sent + 2 - MaxPacketLength);
  EXPECT_EQ(out.Strings[2], "200 ok\r\n");
}

TEST_F(DataPacketTest, DispatchLogRecordsArmingStatesAndDeliveries) {
  port->SetLogging(tlOn);
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartString("A");
  packet->SetEndString("Z");
  packet->SetEndCond({ecString});
  packet->SetEnabled(true);
  port->Receive("AbcZ");
  std::vector<int> subtypes;
  std::vector<std::string> texts;
  TLogEntryHeader header;
  while (port->Device()->PopLogEntry(header, true)) {
    if (header.Type != lt_Packet) continue;
    subtypes.push_back(header.SubType);
    texts.emplace_back(port->Device()->LogScratch.begin(),
                       port->Device()->LogScratch.begin() + header.DataLength);
  }
  // Enable, StartStr "A", Waiting, EndStr "Z", then Collecting, the delivery (suspension
  // disarms: Idle, Disable), the two delivery entries, and the arming after AutoEnable.
  ASSERT_GE(subtypes.size(), 9u);
  EXPECT_EQ(subtypes[0], 242);
  EXPECT_EQ(subtypes[1], 247);
  EXPECT_EQ(texts[1], "A");
  EXPECT_EQ(subtypes[2], 250);
  EXPECT_EQ(subtypes[3], 248);
  EXPECT_EQ(texts[3], "Z");
  EXPECT_EQ(subtypes[4], 251);
  auto delivery = std::find(subtypes.begin(), subtypes.end(), 244) - subtypes.begin();
  ASSERT_LT(delivery + 1, static_cast<long>(subtypes.size()));
  EXPECT_EQ(subtypes[delivery + 1], 244);
  EXPECT_EQ(texts[delivery + 1], "AbcZ");
  // Armed again after the delivery: waiting for the start string.
  EXPECT_NE(std::find(subtypes.begin() + delivery, subtypes.end(), 250), subtypes.end());
  EXPECT_EQ(packet->MatchState(), pmWaiting);
}

TEST_F(DataPacketTest, ManagersComeAndGoWithTheirPackets) {
  Delivered out;
  const int before = PacketManagerList().Count();
  TApdDataPacket* a = NewPacket(out);
  TApdDataPacket* b = NewPacket(out);
  EXPECT_EQ(PacketManagerList().Count(), before + 1);
  EXPECT_EQ(a->Manager(), b->Manager());
  EXPECT_EQ(PacketManagerList().GetPortManager(port), a->Manager());
  EXPECT_TRUE(a->Manager()->HandlerEnabled());
  TObject::Free(a);
  EXPECT_EQ(b->Manager()->PacketCount(), 1);
  TObject::Free(b);
  EXPECT_EQ(PacketManagerList().Count(), before);
  EXPECT_EQ(PacketManagerList().GetPortManager(port), nullptr);
}

TEST_F(DataPacketTest, ClosingThePortDisarmsAndReopeningArmsAgain) {
  Delivered out;
  TApdDataPacket* packet = LinePacket(out);
  port->Receive("half a li");
  port->SetPortOpen(false);
  EXPECT_EQ(packet->MatchState(), pmIdle);
  EXPECT_FALSE(packet->Manager()->HandlerEnabled());
  EXPECT_TRUE(packet->Enabled());
  port->SetPortOpen(true);
  EXPECT_EQ(packet->MatchState(), pmCollecting);
  port->Receive("fresh\r\n");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"fresh\r\n"}));
}

TEST_F(DataPacketTest, APacketSizeOfTheStartStringEndsWithTheStartString) {
  // PacketSize may equal the start string's length; the packet is then complete as soon as
  // the start string has matched, without waiting for (or taking) another byte.
  Delivered sized, either;
  TApdDataPacket* packet = NewPacket(sized);
  packet->SetStartString("<>");
  packet->SetEndCond({ecPacketSize});
  packet->SetPacketSize(2);
  packet->SetEnabled(true);
  port->Receive("x<>");
  EXPECT_EQ(sized.Strings, (std::vector<std::string>{"<>"}));
  port->Receive("ab<>c");
  EXPECT_EQ(sized.Strings, (std::vector<std::string>{"<>", "<>"}));
  packet->SetEnabled(false);

  TApdDataPacket* both = NewPacket(either);
  both->SetStartString("#");
  both->SetEndString(";");
  both->SetEndCond({ecString, ecPacketSize});
  both->SetPacketSize(1);
  both->SetEnabled(true);
  port->Receive("#a;");
  EXPECT_EQ(either.Strings, (std::vector<std::string>{"#"}));
}

TEST_F(DataPacketTest, AHandlerThatDetachesItsPacketLosesNothingAndRepeatsNothing) {
  // The first line's handler takes its packet off the port; the other packet of the port
  // then goes on with the bytes after that line, never with the line itself.
  Delivered first, second;
  TApdDataPacket* a = LinePacket(first);
  TApdDataPacket* b = LinePacket(second);
  a->OnStringPacket = [&first, a](TObject*, const std::string& text) {
    first.Strings.push_back(text);
    a->SetComPort(nullptr);
  };
  port->Receive("one\r\ntwo\r\n");
  EXPECT_EQ(first.Strings, (std::vector<std::string>{"one\r\n"}));
  EXPECT_EQ(second.Strings, (std::vector<std::string>{"two\r\n"}));
  EXPECT_EQ(a->Manager(), nullptr);
  EXPECT_EQ(b->Manager()->DataCount(), 0u);

  // The last packet of the port leaves from its own handler: its manager goes once the
  // delivery is over, and the port can be watched again afterwards.
  b->OnStringPacket = [&second, b](TObject*, const std::string& text) {
    second.Strings.push_back(text);
    b->SetComPort(nullptr);
  };
  port->Receive("three\r\nfour\r\n");
  EXPECT_EQ(second.Strings, (std::vector<std::string>{"two\r\n", "three\r\n"}));
  EXPECT_EQ(PacketManagerList().GetPortManager(port), nullptr);
  Delivered third;
  LinePacket(third);
  port->Receive("five\r\n");
  EXPECT_EQ(third.Strings, (std::vector<std::string>{"five\r\n"}));
}

TEST_F(DataPacketTest, ATimeoutHandlerThatDetachesItsPacketIsSafe) {
  Delivered out;
  TApdDataPacket* packet = NewPacket(out);
  packet->SetStartString("<");
  packet->SetEndString(">");
  packet->SetEndCond({ecString});
  packet->SetTimeOut(1);
  packet->OnTimeout = [&out, packet](TObject*) {
    ++out.Timeouts;
    packet->SetComPort(nullptr);
  };
  packet->SetEnabled(true);
  port->Receive("<never");
  for (int i = 0; i < 100 && out.Timeouts == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port->Receive("");
  }
  EXPECT_EQ(out.Timeouts, 1);
  EXPECT_EQ(packet->Manager(), nullptr);
  EXPECT_EQ(PacketManagerList().GetPortManager(port), nullptr);
}

TEST_F(DataPacketTest, APatternOfALoneBackslashIsRefusedAsEmpty) {
  // The trailing backslash is dropped, so nothing is left to match.
  Delivered out;
  TApdDataPacket* start = NewPacket(out);
  start->SetStartString("\\");
  try {
    start->SetEnabled(true);
    ADD_FAILURE() << "a start string of a lone backslash was armed";
  } catch (const EInvalidProperty& e) {
    EXPECT_EQ(e.ErrorCode, ecStartStringEmpty);
  }
  EXPECT_FALSE(start->Enabled());

  TApdDataPacket* end = NewPacket(out);
  end->SetStartCond(scAnyData);
  end->SetEndCond({ecString});
  end->SetEndString("\\");
  try {
    end->SetEnabled(true);
    ADD_FAILURE() << "an end string of a lone backslash was armed";
  } catch (const EInvalidProperty& e) {
    EXPECT_EQ(e.ErrorCode, ecEmptyEndString);
  }
  EXPECT_FALSE(end->Enabled());
  EXPECT_EQ(end->Manager()->CapturingPacket(), nullptr);
  // A start string of an escaped backslash is one byte and works.
  start->SetStartString("\\\\");
  start->SetEnabled(true);
  port->Receive("a\\b\\");
  EXPECT_EQ(out.Strings, (std::vector<std::string>{"\\", "\\"}));
}

}  // namespace
