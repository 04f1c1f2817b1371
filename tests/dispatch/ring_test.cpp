// Input ring, output path, registry, open and close, line controls.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dispatch/test_device.h"
#include "errors/codes.h"

namespace {

std::string Pattern(std::size_t n, int seed = 0) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  return s;
}

std::string ReadExactly(TApdBaseDispatcher& d, DWORD n) {
  std::string out(n, '\0');
  EXPECT_EQ(d.ReadInput(out.data(), n), static_cast<int>(n));
  return out;
}

// Moves head and tail on by `index` bytes by filling and reading them.
void PlaceRingAt(TTestDispatcher& d, DWORD index) {
  DWORD start = d.InputHead;
  d.Arrive(std::string(index, 'x'));
  ASSERT_TRUE(d.FillInput());
  ReadExactly(d, index);
  ASSERT_EQ(d.InputHead, (start + index) % InputRingSize);
  ASSERT_EQ(d.InputTail, d.InputHead);
}

class RingTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(d.Open(), 0); }
  TTestDispatcher d;
};

TEST_F(RingTest, FreshRingIsEmptyAndReadsNothing) {
  EXPECT_EQ(d.InputCount(), 0u);
  char c;
  EXPECT_EQ(d.ReadInput(&c, 1), ecBufferIsEmpty);
  EXPECT_EQ(d.ReadInput(&c, 0), 0);
  EXPECT_FALSE(d.FillInput());  // nothing waiting in the device
  EXPECT_EQ(d.Reads, 0);
}

TEST_F(RingTest, FullRingStopsReadingTheDevice) {
  d.Arrive(Pattern(InputRingSize + 100));
  EXPECT_TRUE(d.FillInput());
  EXPECT_EQ(d.InputCount(), InputRingSize);
  EXPECT_TRUE(d.InputFull);
  int reads = d.Reads;
  EXPECT_TRUE(d.FillInput());
  EXPECT_EQ(d.Reads, reads);         // no device read while full
  EXPECT_EQ(d.Source.size(), 100u);  // the rest waits in the device
  EXPECT_EQ(ReadExactly(d, InputRingSize), Pattern(InputRingSize));
  EXPECT_FALSE(d.InputFull);
  EXPECT_EQ(d.InputCount(), 0u);
  EXPECT_TRUE(d.FillInput());
  EXPECT_EQ(ReadExactly(d, 100), Pattern(InputRingSize + 100).substr(InputRingSize));
}

TEST_F(RingTest, ReadIsAllOrNothing) {
  d.Arrive("0123456789");
  d.FillInput();
  char buf[16] = {};
  EXPECT_EQ(d.ReadInput(buf, 11), ecBufferIsEmpty);
  EXPECT_EQ(d.InputCount(), 10u);
  EXPECT_EQ(ReadExactly(d, 3), "012");
  EXPECT_EQ(ReadExactly(d, 4), "3456");
  EXPECT_EQ(d.InputCount(), 3u);
  EXPECT_EQ(d.ReadInput(buf, 4), ecBufferIsEmpty);
  EXPECT_EQ(ReadExactly(d, 3), "789");
}

TEST_F(RingTest, FillAcrossTheRingEndUsesTwoPiecesAndReadsInOrder) {
  PlaceRingAt(d, 8000);
  int reads = d.Reads;
  std::string data = Pattern(500, 3);
  d.Arrive(data);
  EXPECT_TRUE(d.FillInput());
  EXPECT_EQ(d.Reads - reads, 2);  // 192 up to the end, 308 from index 0
  EXPECT_EQ(d.InputHead, 308u);
  EXPECT_EQ(d.InputCount(), 500u);
  EXPECT_EQ(ReadExactly(d, 500), data);
  EXPECT_EQ(d.InputTail, 308u);
}

TEST_F(RingTest, FillEndingExactlyAtRingEndWrapsHeadToZero) {
  PlaceRingAt(d, 8000);
  d.Arrive(Pattern(192));
  d.FillInput();
  EXPECT_EQ(d.InputHead, 0u);
  EXPECT_FALSE(d.InputFull);
  EXPECT_EQ(d.InputCount(), 192u);
}

TEST_F(RingTest, FillingUpToTheTailSetsFullAcrossTheWrap) {
  PlaceRingAt(d, 5000);
  std::string data = Pattern(InputRingSize, 9);
  d.Arrive(data);
  EXPECT_TRUE(d.FillInput());
  EXPECT_TRUE(d.InputFull);
  EXPECT_EQ(d.InputHead, 5000u);
  EXPECT_EQ(d.InputCount(), InputRingSize);
  EXPECT_EQ(ReadExactly(d, 4000), data.substr(0, 4000));
  EXPECT_EQ(ReadExactly(d, 4192), data.substr(4000));
}

TEST_F(RingTest, FirstReadAsksForTheWholePieceAndShortReadSkipsTheSecond) {
  // The device under-reports; the ring still takes what the device gives.
  d.Arrive(Pattern(100));
  d.ReportedInCount = 5;
  d.FillInput();
  EXPECT_EQ(d.InputCount(), 100u);
  d.ReportedInCount = ~DWORD{0};
  ReadExactly(d, 100);

  PlaceRingAt(d, 7900);  // from 100 to 8000
  d.ReadLimit = 100;
  d.Arrive(Pattern(500));
  int reads = d.Reads;
  d.FillInput();
  EXPECT_EQ(d.Reads - reads, 1);
  EXPECT_EQ(d.InputCount(), 100u);
}

TEST_F(RingTest, FailedDeviceReadCountsAsNothing) {
  d.Arrive("abc");
  d.ReadFailure = -5;
  EXPECT_TRUE(d.FillInput());
  EXPECT_EQ(d.InputCount(), 0u);
  EXPECT_EQ(d.EventMaskCalls, 1);
  EXPECT_FALSE(d.InputFull);
}

TEST_F(RingTest, ClearInputEmptiesRingAndDevice) {
  d.Arrive(Pattern(InputRingSize + 5));
  d.FillInput();
  EXPECT_EQ(d.ClearInput(), 0);
  EXPECT_EQ(d.InputCount(), 0u);
  EXPECT_FALSE(d.InputFull);
  EXPECT_EQ(d.FlushInput, 1);
  EXPECT_TRUE(d.Source.empty());
}

TEST_F(RingTest, CopyInputReportsIndexAfterLastByte) {
  PlaceRingAt(d, 8190);
  d.Arrive("ABCDEF");
  d.FillInput();
  char buf[4];
  DWORD next = 99;
  EXPECT_EQ(d.CopyInput(buf, 1, 3, next), 3);
  EXPECT_EQ(std::string(buf, 3), "BCD");
  EXPECT_EQ(next, 2u);
  EXPECT_EQ(d.CopyInput(buf, 4, 3, next), ecBufferIsEmpty);
  EXPECT_EQ(d.CopyInput(buf, 1, 1, next), 1);
  EXPECT_EQ(next, 0u);            // 8192 wraps to 0
  EXPECT_EQ(d.InputCount(), 6u);  // copying takes nothing
}

// ---- Output ----

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(d.Open(4096, 100), 0); }
  TTestDispatcher d;
};

TEST_F(OutputTest, RoomIsOutputSizeMinusQueued) {
  d.Queued = 40;
  EXPECT_EQ(d.OutputFree(), 60u);
  EXPECT_EQ(d.OutputCount(), 40u);
  EXPECT_EQ(d.WriteOutput(std::string(61, 'a').data(), 61), ecOutputBufferTooSmall);
  EXPECT_EQ(d.Writes, 0);
  EXPECT_FALSE(d.OutputSent);
  EXPECT_EQ(d.WriteOutput(std::string(60, 'b').data(), 60), 0);
  EXPECT_EQ(d.Sink, std::string(60, 'b'));
  EXPECT_TRUE(d.OutputSent);
  d.Queued = 150;  // a device may report more than the size
  EXPECT_EQ(d.OutputFree(), 0u);
}

TEST_F(OutputTest, ZeroCountDoesNothing) {
  ASSERT_EQ(d.BeginLog(1000), 0);
  EXPECT_EQ(d.WriteOutput("x", 0), 0);
  EXPECT_EQ(d.Writes, 0);
  EXPECT_FALSE(d.OutputSent);
  EXPECT_EQ(d.LogFree, d.LogSize);
}

TEST_F(OutputTest, DeviceRefusalGivesPutBlockFailAndNewLineErrors) {
  d.WriteResult = 0;
  d.StatusBits = 0x40;
  EXPECT_EQ(d.WriteOutput("abc", 3), ecPutBlockFail);
  EXPECT_EQ(d.LineErrors, 0x40u);
  EXPECT_TRUE(d.OutputSent);
}

TEST_F(OutputTest, FailureMagnitudeNeverRecordsPastTheBlock) {
  ASSERT_EQ(d.BeginTrace(100), 0);
  d.WriteResult = -50;
  EXPECT_EQ(d.WriteOutput("ab", 2), ecPutBlockFail);
  EXPECT_EQ(d.TraceIndex, 2u);
}

// ---- Registry ----

TEST(RegistryTest, FreedSlotIsReusedAndTrailingSlotsAreTrimmed) {
  std::size_t base = DispatcherRegistry().size();
  auto a = std::make_unique<TTestDispatcher>();
  auto b = std::make_unique<TTestDispatcher>();
  EXPECT_EQ(a->Handle, static_cast<int>(base));
  EXPECT_EQ(b->Handle, static_cast<int>(base + 1));
  EXPECT_EQ(DispatcherRegistry()[b->Handle], b.get());
  int aHandle = a->Handle;
  a.reset();
  EXPECT_EQ(DispatcherRegistry().size(), base + 2);  // the hole stays
  auto c = std::make_unique<TTestDispatcher>();
  EXPECT_EQ(c->Handle, aHandle);
  b.reset();
  EXPECT_EQ(DispatcherRegistry().size(), base + 1);
  c.reset();
  EXPECT_EQ(DispatcherRegistry().size(), base);
}

class OtherDispatcher : public TTestDispatcher {};

TEST(RegistryTest, LookupByDeviceUsesClassAndOneEntryCache) {
  TTestDispatcher a;
  OtherDispatcher b;
  a.OpenResult = 7;
  b.OpenResult = 9;
  ASSERT_EQ(a.Open(), 0);
  ASSERT_EQ(b.Open(), 0);
  EXPECT_EQ(FindDispatcherByDevice<TTestDispatcher>(9), &b);  // a descendant counts
  EXPECT_EQ(DispatcherCache().Dispatcher, &b);
  EXPECT_EQ(FindDispatcherByDevice<OtherDispatcher>(7), nullptr);
  EXPECT_EQ(DispatcherCache().Dispatcher, &b);  // a miss leaves the cache
  EXPECT_EQ(FindDispatcherByDevice<TTestDispatcher>(42), nullptr);

  // A cache hit does not scan: a lower slot with the same id is not seen.
  a.DeviceId = 9;
  EXPECT_EQ(FindDispatcherByDevice(9, nullptr), &b);
  a.DeviceId = 7;
}

TEST(RegistryTest, CloseAndDestructionForgetTheCachedDispatcher) {
  auto a = std::make_unique<TTestDispatcher>();
  a->OpenResult = 11;
  ASSERT_EQ(a->Open(), 0);
  ASSERT_EQ(FindDispatcherByDevice<TTestDispatcher>(11), a.get());
  a->CloseDevice();
  EXPECT_LT(a->DeviceId, 0);
  EXPECT_EQ(DispatcherCache().Dispatcher, nullptr);
  // A new device with the same id (sockets are reused) is found, not the closed one.
  TTestDispatcher b;
  b.OpenResult = 11;
  ASSERT_EQ(b.Open(), 0);
  EXPECT_EQ(FindDispatcherByDevice<TTestDispatcher>(11), &b);
  b.CloseDevice();
  a.reset();
  EXPECT_EQ(DispatcherCache().Dispatcher, nullptr);
}

// ---- Open and close ----

TEST(OpenCloseTest, FailedDeviceOpenGivesItsResultAndNoRing) {
  TTestDispatcher d;
  d.OpenResult = -7;
  EXPECT_EQ(d.Open(), -7);
  EXPECT_LT(d.DeviceId, 0);
  EXPECT_FALSE(d.InputBuffer);
  EXPECT_EQ(d.Closes, 0);
  EXPECT_EQ(d.BeginCalls, 0);
}

TEST(OpenCloseTest, FailedSetupGivesNegatedDeviceError) {
  TTestDispatcher d;
  d.SetupResult = false;
  d.StatusBits = 10061;
  EXPECT_EQ(d.Open(), -10061);
  EXPECT_EQ(d.Closes, 1);
  EXPECT_FALSE(d.InputBuffer);
  EXPECT_LT(d.DeviceId, 0);

  TTestDispatcher quiet;  // failed without naming an error: still a failure
  quiet.SetupResult = false;
  EXPECT_EQ(quiet.Open(), ecHardware);
}

TEST(OpenCloseTest, OpenPreparesRingAndStartsDispatching) {
  TTestDispatcher d;
  d.ModemBits = 0xF0;
  ASSERT_EQ(d.Open(1024, 2048), 0);
  EXPECT_EQ(d.DeviceId, 3);
  EXPECT_TRUE(d.InputBuffer);
  EXPECT_EQ(d.InputSize, 1024u);
  EXPECT_EQ(d.OutputSize, 2048u);
  EXPECT_EQ(d.ModemBits, 0u);
  EXPECT_TRUE(d.Dispatching);
  EXPECT_EQ(d.BeginCalls, 1);
  EXPECT_LE(d.ElapsedMs(), 1000u);
}

TEST(OpenCloseTest, CloseFlushesClosesAndFreesTheRing) {
  TTestDispatcher d;
  ASSERT_EQ(d.Open(), 0);
  d.Arrive("abc");
  d.FillInput();
  d.CloseDevice();
  EXPECT_EQ(d.FlushInput, 1);
  EXPECT_EQ(d.FlushOutput, 1);
  EXPECT_EQ(d.Closes, 1);
  EXPECT_EQ(d.EndCalls, 1);
  EXPECT_FALSE(d.Dispatching);
  EXPECT_FALSE(d.InputBuffer);
  EXPECT_FALSE(d.CloseDeferred);
  // The closed dispatcher answers safely.
  char c;
  EXPECT_EQ(d.InputCount(), 0u);
  EXPECT_EQ(d.ReadInput(&c, 1), ecBufferIsEmpty);
  d.Arrive("x");
  EXPECT_FALSE(d.FillInput());
  d.CloseDevice();  // twice: the device is not closed again
  EXPECT_EQ(d.Closes, 1);
}

// ---- Line control ----

TEST(LineControlTest, SignalsUseEscapesUnlessHandshaking) {
  TTestDispatcher d;
  ASSERT_EQ(d.Open(), 0);
  EXPECT_EQ(d.SetDtr(true), 0);
  EXPECT_EQ(d.SetDtr(false), 0);
  EXPECT_EQ(d.SetRts(true), 0);
  EXPECT_EQ(d.SetRts(false), 0);
  EXPECT_EQ(d.Escapes, "5634");
  d.DtrHandshake = true;
  EXPECT_EQ(d.SetDtr(true), 1);
  EXPECT_EQ(d.Escapes, "5634");
}

TEST(LineControlTest, HardwareFlowChecksLevelsAndSetsLimits) {
  TTestDispatcher d;
  ASSERT_EQ(d.Open(4096, 4096), 0);
  EXPECT_EQ(d.SetHardwareFlow(100, 200, hfUseDTR), ecBadArgument);
  EXPECT_EQ(d.SetHardwareFlow(5000, 200, hfUseDTR), ecBadArgument);
  EXPECT_EQ(d.SetLineCalls, 0);
  EXPECT_EQ(d.SetHardwareFlow(3686, 409, hfUseDTR | hfRequireCTS), 0);
  EXPECT_EQ(d.LastLine.XoffLim, 4096 - 3686);
  EXPECT_EQ(d.LastLine.XonLim, 409);
  EXPECT_EQ(d.LastLine.DtrControl, LineControlHandshake);
  EXPECT_TRUE(d.LastLine.OutxCtsFlow);
  EXPECT_FALSE(d.LastLine.OutxDsrFlow);
  EXPECT_TRUE(d.DtrHandshake);
  EXPECT_FALSE(d.RtsHandshake);
  EXPECT_EQ(d.LastBaudRate, 19200u);

  EXPECT_EQ(d.EnableSoftwareFlow(3072, 1024, sfReceiveFlow), 0);
  EXPECT_TRUE(d.LastLine.InX);
  EXPECT_FALSE(d.LastLine.OutX);
  EXPECT_EQ(d.LastLine.XonChar, 17);
  EXPECT_EQ(d.LastLine.XoffChar, 19);
  EXPECT_EQ(d.DisableSoftwareFlow(), 0);
  EXPECT_FALSE(d.LastLine.InX);
  EXPECT_EQ(d.SetFlowChars('A', 'B'), 0);
  EXPECT_EQ(d.LastLine.XonChar, 'A');
}

TEST(LineControlTest, LineErrorsAreTakenInOrderAndCleared) {
  TTestDispatcher d;
  d.LineErrors = 0x1C;  // bits 4, 8, 16
  EXPECT_EQ(d.TakeLineError(), 3);
  EXPECT_EQ(d.LineErrors, 0x10u);
  EXPECT_EQ(d.TakeLineError(), 9);
  EXPECT_EQ(d.LineErrors, 0x10u);  // bit 16 is the break; only the four low bits go
  EXPECT_TRUE(d.TakeLineBreak());
  EXPECT_FALSE(d.TakeLineBreak());
  EXPECT_EQ(d.TakeLineError(), 0);
}

}  // namespace
