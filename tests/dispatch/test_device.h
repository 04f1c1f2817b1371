// A dispatcher whose device is an in-memory byte source and sink, so that the ring, the
// triggers and the delivery can be driven byte for byte. The real device (a TCP connection) is
// the next layer's.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "dispatch/dispatcher.h"

class TTestDispatcher : public TApdBaseDispatcher {
 public:
  explicit TTestDispatcher(TApdCustomComPort* owner = nullptr) : TApdBaseDispatcher(owner) {}
  ~TTestDispatcher() override { CloseForDestroy(); }

  // Opens with the given sizes and fails the test on error.
  int Open(DWORD inSize = 4096, DWORD outSize = 4096) { return OpenConnection(inSize, outSize); }

  // Bytes that arrive at the device.
  void Arrive(const std::string& bytes) { Source += bytes; }

  // ---- Device behaviour the tests set ----
  std::string Source;        // waiting input
  std::string Sink;          // bytes the device took
  DWORD Queued = 0;          // output waiting in the device
  bool QueueWrites = false;  // writes add to Queued
  int ReadLimit = -1;        // at most this many bytes per read (-1: no limit)
  int ReadFailure = 0;       // when negative, reads give it
  int WriteResult = 1;       // <= 0: writes give it; 1: take everything
  DWORD StatusBits = 0;      // error bits DeviceStatus reports
  int OpenResult = 3;        // device id, or a negative error
  bool SetupResult = true;
  DWORD ReportedInCount = ~DWORD{0};  // overrides InCount when set

  // ---- What the device saw ----
  int Reads = 0;
  int Writes = 0;
  int Closes = 0;
  int FlushInput = 0;
  int FlushOutput = 0;
  int EventMaskCalls = 0;
  int BeginCalls = 0;
  int EndCalls = 0;
  int FinishCalls = 0;
  std::string Escapes;  // escape codes as digits
  TLineSettings LastLine;
  int SetLineCalls = 0;

  int DeviceEscape(int code) override {
    Escapes += std::to_string(code);
    return 0;
  }
  int DeviceFlush(int which) override {
    if (which == 0) {
      ++FlushOutput;
      Queued = 0;
    } else {
      ++FlushInput;
      Source.clear();
    }
    return 0;
  }
  DWORD DeviceStatus(TDeviceCounts& counts) override {
    counts.InCount =
        ReportedInCount != ~DWORD{0} ? ReportedInCount : static_cast<DWORD>(Source.size());
    counts.OutCount = Queued;
    return StatusBits;
  }
  int DeviceEventMask(int) override {
    ++EventMaskCalls;
    return 0;
  }
  int DeviceGetLine(TLineSettings& settings) override {
    settings.BaudRate = 19200;
    settings.DataBits = 8;
    settings.Parity = 0;
    settings.StopBits = 1;
    return 0;
  }
  int DeviceRead(void* buffer, DWORD count) override {
    ++Reads;
    if (ReadFailure < 0) return ReadFailure;
    std::size_t n = std::min<std::size_t>(count, Source.size());
    if (ReadLimit >= 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(ReadLimit));
    std::memcpy(buffer, Source.data(), n);
    Source.erase(0, n);
    return static_cast<int>(n);
  }
  int DeviceSetLine(const TLineSettings& settings) override {
    LastLine = settings;
    ++SetLineCalls;
    return 0;
  }
  int DeviceWrite(const void* buffer, DWORD count) override {
    ++Writes;
    if (WriteResult <= 0) return WriteResult;
    Sink.append(static_cast<const char*>(buffer), count);
    if (QueueWrites) Queued += count;
    return static_cast<int>(count);
  }
  bool DeviceWaitEvent(DWORD&, void*) override { return true; }
  bool DeviceSetup(DWORD, DWORD) override { return SetupResult; }
  void FinishClose() override {
    ++FinishCalls;
    TApdBaseDispatcher::FinishClose();
  }
  void BeginDispatching() override {
    ++BeginCalls;
    Dispatching = true;
  }
  void EndDispatching() override {
    ++EndCalls;
    Dispatching = false;
  }
  int DeviceOpen(const char*, DWORD, DWORD) override { return OpenResult; }
  int DeviceClose() override {
    ++Closes;
    return 0;
  }
  int PollDevice() override {
    DispatchStep(true);
    return 0;
  }

  // Reaches the log queue directly, to put entries with chosen times into it.
  using TApdBaseDispatcher::PopLogEntry;
  using TApdBaseDispatcher::PushLogBytes;
};

// Records every delivery an event handler receives and reads what it is told to.
struct TRecordingHandler {
  struct TCall {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
  };
  TApdBaseDispatcher* Dispatcher = nullptr;
  std::vector<TCall> Calls;
  int ReadPerCall = 0;  // bytes to read per DM_DATA_AVAILABLE; -1 reads all announced
  std::string Read;

  void OnTrigger(UINT msg, WPARAM wParam, LPARAM lParam) {
    Calls.push_back({msg, wParam, lParam});
    if (msg != DM_DATA_AVAILABLE || ReadPerCall == 0) return;
    DWORD n = ReadPerCall < 0 ? static_cast<DWORD>(wParam) : static_cast<DWORD>(ReadPerCall);
    std::string bytes(n, '\0');
    if (Dispatcher->ReadInput(bytes.data(), n) == static_cast<int>(n)) Read += bytes;
  }
  void Register() { Dispatcher->AddEventHandler(ApdMethod<&TRecordingHandler::OnTrigger>, this); }
  void Unregister() {
    Dispatcher->RemoveEventHandler(ApdMethod<&TRecordingHandler::OnTrigger>, this);
  }
  int Count(UINT msg) const {
    return static_cast<int>(
        std::count_if(Calls.begin(), Calls.end(), [msg](const TCall& c) { return c.Msg == msg; }));
  }
};
