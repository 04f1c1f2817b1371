// Exact bytes of trace and dispatch-log files, and the rings behind them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "dispatch/test_device.h"
#include "errors/codes.h"
#include "platform/system.h"

namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("kvb_dispatch_" + std::to_string(getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    ASSERT_EQ(d.Open(), 0);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string PathOf(const std::string& name) const { return (folder / name).string(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Receive(const std::string& bytes) {
    d.Arrive(bytes);
    d.FillInput();
    std::string out(bytes.size(), '\0');
    ASSERT_EQ(d.ReadInput(out.data(), static_cast<DWORD>(out.size())),
              static_cast<int>(out.size()));
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(d.WriteOutput(bytes.data(), static_cast<DWORD>(bytes.size())), 0);
  }

  fs::path folder;
  TTestDispatcher d;
};

// ---- Trace ----

TEST_F(FileTest, TransmittedCommandInHexMode) {
  ASSERT_EQ(d.BeginTrace(100), 0);
  Send("PWD\r\n");
  std::string path = PathOf("APRO.TRC");
  EXPECT_EQ(d.WriteTraceFile(path, false, false, true), 0);
  EXPECT_EQ(Contents(path), "Transmit: \r\nPWD[0D][0A]");
  EXPECT_FALSE(d.TraceQueue);  // discarded after writing
  EXPECT_FALSE(d.Tracing);
}

TEST_F(FileTest, FullTraceRingKeepsTheNewestEntries) {
  ASSERT_EQ(d.BeginTrace(3), 0);
  Receive("ABCD");
  std::string path = PathOf("t.trc");
  EXPECT_EQ(d.WriteTraceFile(path, false, false, true), 0);
  EXPECT_EQ(Contents(path), "Receive: \r\nBCD");
}

TEST_F(FileTest, EachChangeOfDirectionStartsABlock) {
  ASSERT_EQ(d.BeginTrace(100), 0);
  Receive("ab");
  Send("cd");
  Receive("e");
  d.RecordTraceByte('X', 'z');
  std::string path = PathOf("t.trc");
  EXPECT_EQ(d.WriteTraceFile(path, false, false, true), 0);
  EXPECT_EQ(Contents(path),
            "Receive: \r\nab\r\n\r\nTransmit: \r\ncd\r\n\r\nReceive: \r\ne\r\n\r\n"
            "Special-X: \r\nz");
}

TEST_F(FileTest, HexAndDecimalItems) {
  std::string bytes = " \r\n\x7F\xC8~!";
  ASSERT_EQ(d.BeginTrace(100), 0);
  Receive(bytes);
  std::string hex = PathOf("hex.trc");
  EXPECT_EQ(d.WriteTraceFile(hex, false, false, true), 0);
  EXPECT_EQ(Contents(hex), "Receive: \r\n[20][0D][0A][7F][C8]~!");

  ASSERT_EQ(d.BeginTrace(100), 0);
  Receive(bytes);
  std::string dec = PathOf("dec.trc");
  EXPECT_EQ(d.WriteTraceFile(dec, false, false, false), 0);
  EXPECT_EQ(Contents(dec), "Receive: \r\n [13][10][127][200]~!");

  ASSERT_EQ(d.BeginTrace(100), 0);
  Receive("a b");
  std::string all = PathOf("all.trc");
  EXPECT_EQ(d.WriteTraceFile(all, false, true, false), 0);
  EXPECT_EQ(Contents(all), "Receive: \r\n[61][20][62]");
}

TEST_F(FileTest, TraceLinesNeverPass78Columns) {
  ASSERT_EQ(d.BeginTrace(1000), 0);
  Send(std::string(100, 'x'));
  Receive(std::string(20, '\x01'));
  std::string path = PathOf("t.trc");
  EXPECT_EQ(d.WriteTraceFile(path, false, false, true), 0);
  EXPECT_EQ(
      Contents(path), "Transmit: \r\n" + std::string(78, 'x') + "\r\n" + std::string(22, 'x') +
                          "\r\n\r\nReceive: \r\n" + [] {
                            std::string s;
                            for (int i = 0; i < 19; ++i) s += "[01]";
                            return s + "\r\n[01]";
                          }());
}

TEST_F(FileTest, AppendedTraceStartsOnTheLastLine) {
  std::string path = PathOf("a.trc");
  ASSERT_EQ(d.BeginTrace(100), 0);
  Send("PWD\r\n");
  ASSERT_EQ(d.WriteTraceFile(path, true, false, true), 0);  // no file yet: created
  ASSERT_EQ(d.BeginTrace(100), 0);
  Receive("ok");
  ASSERT_EQ(d.WriteTraceFile(path, true, false, true), 0);
  EXPECT_EQ(Contents(path), "Transmit: \r\nPWD[0D][0A]Receive: \r\nok");
  ASSERT_EQ(d.BeginTrace(100), 0);
  Receive("new");
  ASSERT_EQ(d.WriteTraceFile(path, false, false, true), 0);  // not appending: replaced
  EXPECT_EQ(Contents(path), "Receive: \r\nnew");
}

TEST_F(FileTest, EmptyTraceWritesNoFile) {
  ASSERT_EQ(d.BeginTrace(100), 0);
  std::string path = PathOf("none.trc");
  EXPECT_EQ(d.WriteTraceFile(path, false, false, true), 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(d.TraceQueue);
}

TEST_F(FileTest, TraceSizeLimitStateChangesAndFileErrors) {
  EXPECT_EQ(d.BeginTrace(MaxTraceEntries + 1), ecBadArgument);
  EXPECT_FALSE(d.TraceQueue);
  EXPECT_FALSE(d.Tracing);
  ASSERT_EQ(d.BeginTrace(10), 0);
  Receive("a");
  d.PauseTrace();
  Receive("b");  // not recorded
  d.ResumeTrace();
  Receive("c");
  EXPECT_EQ(d.BeginTrace(99), 0);  // an existing ring is emptied, its size kept
  EXPECT_EQ(d.TraceMax, 10u);
  EXPECT_EQ(d.TraceIndex, 0u);
  Receive("d");
  std::string bad = PathOf("missing/folder/x.trc");
  EXPECT_EQ(d.WriteTraceFile(bad, false, false, true), -static_cast<int>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(d.TraceQueue);  // discarded after a failed open

  ASSERT_EQ(d.BeginTrace(0), 0);  // a ring of nothing keeps nothing
  Receive("e");
  EXPECT_EQ(d.TraceIndex, 0u);
}

// ---- Dispatch log ----

TEST(LogTimeTextTest, SevenDigitsAndAPointBeforeTheFifth) {
  EXPECT_EQ(LogTimeText(1234), "0001.234");
  EXPECT_EQ(LogTimeText(0), "0000.000");
  EXPECT_EQ(LogTimeText(12345678), "1234.5678");
  EXPECT_EQ(LogTimeText(4294967295u), "4294.967295");
}

void PushEntry(TTestDispatcher& d, BYTE type, BYTE subType, DWORD time, DWORD value,
               const std::string& data = "") {
  TLogEntryHeader header;
  header.Type = type;
  header.SubType = subType;
  header.Time = time;
  header.Value = value;
  header.DataLength = static_cast<DWORD>(data.size());
  ASSERT_TRUE(d.PushLogBytes(&header, sizeof header));
  if (!data.empty()) {
    ASSERT_TRUE(d.PushLogBytes(data.data(), header.DataLength));
  }
}

std::string HeaderLines() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  EXPECT_TRUE(GetVersionExA(&info));
  std::string os = info.dwPlatformId == VER_PLATFORM_WIN32_NT ? "Windows NT " : "Unknown";
  os += std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + " " +
        info.szCSDVersion;
  return "Operating System : " + os.substr(0, 80) +
         "\r\n"
         "Time      Type      SubType       Data      OtherData\r\n"
         "--------  --------  ------------  --------  ---------\r\n";
}

TEST_F(FileTest, LogFileLinesInTheExactFormat) {
  ASSERT_EQ(d.BeginLog(10000), 0);
  d.ResetLog();
  PushEntry(d, lt_Dispatch, lst_WriteCom, 1234, 5, "PWD\r\n");
  PushEntry(d, lt_TriggerDataChange, lst_TimerAlloc, 12345678, 8, "Deactivated");
  PushEntry(d, lt_Telnet, 24, 2000, 1);
  PushEntry(d, lt_Telnet, 28, 2001, 99);
  PushEntry(d, lt_TriggerDispose, lst_StatusAlloc, 2002, 35, "\x03");
  PushEntry(d, lt_Trigger, lst_AvailTrigger, 0, 10);
  PushEntry(d, lt_Error, lst_None, 7, 0);
  PushEntry(d, lt_Dispatch, lst_ModemStatus, 8, 0x90, "x");
  PushEntry(d, lt_Dispatch, lst_ReadCom, 9, 40, std::string(40, 'a'));
  std::string path = PathOf("APRO.LOG");
  ASSERT_EQ(d.WriteLogFile(path, false, false, true), 0);
  std::string text = Contents(path);

  std::string first = "APRO v3.04\r\nCompiler : ";
  ASSERT_EQ(text.compare(0, first.size(), first), 0);
  std::size_t compilerEnd = text.find("\r\n", first.size());
  ASSERT_NE(compilerEnd, std::string::npos);
  EXPECT_GT(compilerEnd, first.size());  // some tool-chain name
  std::string rest = text.substr(compilerEnd + 2);
  EXPECT_EQ(rest, HeaderLines() +
                      "0001.234  Dispatch  WriteCom      00000005  PWD[0D][0A]\r\n"
                      "1234.5678  TrDatChg  Timer         00000008  Deactivated\r\n"
                      "0002.000  Telnet    Recv WILL     00000001  [Echo]\r\n"
                      "0002.001  Telnet    Command       00000063  []\r\n"
                      "0002.002  TrigDisp  Status        00000023  (Output buffer free)\r\n"
                      "0000.000  Trigger   Avail         0000000A  \r\n"
                      "0000.007  Error                   00000000  \r\n"
                      "0000.008  Dispatch  Modem status  00000090  x(CTS DCD)\r\n"
                      "0000.009  Dispatch  ReadCom       00000028  " +
                      std::string(33, 'a') + "\r\n" + std::string(44, ' ') + std::string(7, 'a') +
                      "\r\n");
  EXPECT_FALSE(d.LogQueue);
  EXPECT_FALSE(d.Logging);
}

TEST_F(FileTest, LogFullHexShowsUserEntriesAsText) {
  ASSERT_EQ(d.BeginLog(1000), 0);
  d.ResetLog();
  PushEntry(d, lt_User, 0, 1, 0, "hi");
  PushEntry(d, lt_Packet, 244, 2, 0, "hi");
  std::string path = PathOf("hex.log");
  ASSERT_EQ(d.WriteLogFile(path, false, true, false), 0);
  std::string text = Contents(path);
  EXPECT_NE(text.find("0000.001  User                    00000000  hi\r\n"), std::string::npos);
  EXPECT_NE(text.find("0000.002  Packet    StringPacket  00000000  [68][69]\r\n"),
            std::string::npos);
}

TEST_F(FileTest, RecordedEntriesOfTheDispatcher) {
  ASSERT_EQ(d.BeginLog(10000), 0);
  d.Arrive("in");
  d.FillInput();
  ASSERT_EQ(d.WriteOutput("out", 3), 0);
  DWORD t = d.NewTimerTrigger();
  d.ArmTimerTrigger(t, 0x01020304, true);
  d.ArmTimerTrigger(t, 0, false);
  d.SetAvailThreshold(1);
  d.DeleteTrigger(t);
  struct TExpected {
    BYTE Type, SubType;
    DWORD Value;
    std::string Data;
  };
  std::vector<TExpected> expected = {
      {lt_Dispatch, lst_ReadCom, 2, "in"},
      {lt_Dispatch, lst_WriteCom, 3, "out"},
      {lt_TriggerAlloc, lst_TimerAlloc, t, ""},
      {lt_TriggerDataChange, lst_TimerAlloc, t, std::string("\x04\x03\x02\x01", 4)},
      {lt_TriggerDataChange, lst_TimerAlloc, t, "Deactivated"},
      {lt_TriggerDataChange, lst_AvailAlloc, 1, ""},
      {lt_TriggerDispose, lst_TimerTrigger, t, ""},
  };
  for (const TExpected& e : expected) {
    TLogEntryHeader header;
    ASSERT_TRUE(d.PopLogEntry(header, true));
    EXPECT_EQ(header.Type, e.Type);
    EXPECT_EQ(header.SubType, e.SubType);
    EXPECT_EQ(header.Value, e.Value);
    EXPECT_LE(header.Time, 10000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.LogScratch.data()), header.DataLength),
              e.Data);
  }
  TLogEntryHeader none;
  EXPECT_FALSE(d.PopLogEntry(none, true));
}

TEST_F(FileTest, FullLogQueueLosesItsOldestEntries) {
  ASSERT_EQ(d.BeginLog(100), 0);
  d.ResetLog();
  for (DWORD i = 1; i <= 3; ++i)
    d.RecordLogEntry(lt_User, 0, 20, std::string(20, static_cast<char>('0' + i)).data(), i);
  EXPECT_EQ(d.LogFree, 100u - 72u);
  TLogEntryHeader header;
  ASSERT_TRUE(d.PopLogEntry(header, true));
  EXPECT_EQ(header.Value, 2u);
  EXPECT_EQ(d.LogScratch[0], '2');
  ASSERT_TRUE(d.PopLogEntry(header, true));
  EXPECT_EQ(header.Value, 3u);
  EXPECT_FALSE(d.PopLogEntry(header, true));

  // An entry the queue cannot hold whole is dropped whole.
  d.RecordLogEntry(lt_User, 0, 1, "k", 7);
  d.RecordLogEntry(lt_User, 0, 85, std::string(85, 'z').data(), 8);
  ASSERT_TRUE(d.PopLogEntry(header, true));
  EXPECT_EQ(header.Value, 7u);
  EXPECT_FALSE(d.PopLogEntry(header, true));
}

TEST_F(FileTest, LogEntryThatFillsTheQueueExactlyIsKept) {
  ASSERT_EQ(d.BeginLog(100), 0);
  d.ResetLog();
  d.RecordLogEntry(lt_User, 0, 1, "k", 7);
  d.RecordLogEntry(lt_User, 0, 84, std::string(84, 'z').data(), 8);  // 16 + 84 bytes
  EXPECT_EQ(d.LogFree, 0u);
  d.RecordLogEntry(lt_User, 0, 2, "ab", 9);  // pushes the full-size entry out again
  TLogEntryHeader header;
  ASSERT_TRUE(d.PopLogEntry(header, true));
  EXPECT_EQ(header.Value, 9u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.LogScratch.data()), 2), "ab");
  EXPECT_FALSE(d.PopLogEntry(header, true));

  d.RecordLogEntry(lt_User, 0, 84, std::string(83, 'z').append("!").data(), 10);
  std::string path = PathOf("full.log");
  ASSERT_EQ(d.WriteLogFile(path, false, false, true), 0);
  std::string text = Contents(path);
  std::string data = std::string(33, 'z') + "\r\n" + std::string(44, ' ') + std::string(33, 'z') +
                     "\r\n" + std::string(44, ' ') + std::string(17, 'z') + "!\r\n";
  EXPECT_TRUE(text.ends_with("  User                    0000000A  " + data)) << text;
}

TEST_F(FileTest, LogEntriesWrapAroundTheQueueEnd) {
  ASSERT_EQ(d.BeginLog(64), 0);
  d.ResetLog();
  d.RecordLogEntry(lt_User, 0, 10, "0123456789", 1);  // 26 bytes
  d.RecordLogEntry(lt_User, 0, 10, "abcdefghij", 2);  // 52
  d.RecordLogEntry(lt_User, 0, 10, "ABCDEFGHIJ", 3);  // passes the end, drops the first
  TLogEntryHeader header;
  ASSERT_TRUE(d.PopLogEntry(header, true));
  EXPECT_EQ(header.Value, 2u);
  ASSERT_TRUE(d.PopLogEntry(header, true));
  EXPECT_EQ(header.Value, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.LogScratch.data()), 10), "ABCDEFGHIJ");
  EXPECT_EQ(d.LogFree, 64u);
}

TEST_F(FileTest, EmptyLogWritesNoFileAndFailedOpenKeepsTheQueue) {
  ASSERT_EQ(d.BeginLog(1000), 0);
  d.ResetLog();
  std::string path = PathOf("none.log");
  EXPECT_EQ(d.WriteLogFile(path, false, false, true), 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(d.LogQueue);

  ASSERT_EQ(d.BeginLog(1000), 0);
  d.RecordLogEntry(lt_User, 0, 0, nullptr, 1);
  std::string bad = PathOf("missing/x.log");
  EXPECT_EQ(d.WriteLogFile(bad, false, false, true), -static_cast<int>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(d.LogQueue);
  EXPECT_FALSE(d.Logging);
  EXPECT_EQ(d.WriteLogFile(path, false, false, true), 0);
  EXPECT_TRUE(fs::exists(path));
}

}  // namespace
