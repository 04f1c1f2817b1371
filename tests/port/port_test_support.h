// Shared pieces of the port tests: a data sink registered on a port's dispatcher, the capture
// of exceptions that reach the application, and byte-string helpers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dispatch/dispatcher.h"
#include "forms/application.h"
#include "port/com_port.h"
#include "support/loop_support.h"

namespace porttest {

inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Reads everything a port's dispatcher announces; attaches itself whenever the port opens.
class TDataSink {
 public:
  explicit TDataSink(TApdCustomComPort& port) : FPort(port) {
    port.AddPortCallback(PortCallbackMethod<&TDataSink::PortChange>, this);
  }
  ~TDataSink() {
    Detach();
    FPort.RemovePortCallback(PortCallbackMethod<&TDataSink::PortChange>);
  }

  void PortChange(TObject*, bool opening) {
    if (opening) {
      FDispatcher = FPort.CurrentDispatcher();
      FDispatcher->AddEventHandler(ApdMethod<&TDataSink::Handle>, this);
    } else {
      Detach();
    }
  }
  void Handle(UINT msg, WPARAM, LPARAM) {
    if (msg != DM_DATA_AVAILABLE || !FDispatcher) return;
    ++Notices;
    DWORD n = FDispatcher->InputCount();
    std::string chunk(n, '\0');
    if (n > 0 && FDispatcher->ReadInput(chunk.data(), n) == static_cast<int>(n)) Data += chunk;
    if (OnData) OnData();
  }

  std::string Data;
  int Notices = 0;
  std::function<void()> OnData;

 private:
  void Detach() {
    if (FDispatcher) FDispatcher->RemoveEventHandler(ApdMethod<&TDataSink::Handle>, this);
    FDispatcher = nullptr;
  }

  TApdCustomComPort& FPort;
  TApdBaseDispatcher* FDispatcher = nullptr;
};

// Exceptions that reach the application's error box are collected instead of shown.
class TCaughtExceptions {
 public:
  TCaughtExceptions() {
    Application->OnException = [this](TObject*, const std::exception& e) {
      Messages.push_back(e.what());
    };
  }
  ~TCaughtExceptions() { Application->OnException = nullptr; }
  std::vector<std::string> Messages;
};

}  // namespace porttest
