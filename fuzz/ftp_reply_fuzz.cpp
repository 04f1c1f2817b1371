// The FTP client's reply handling: reply bytes arrive on a control connection whose dispatcher
// reads from an in-memory device, pass the line packet, the line intake and the client's own
// window, and drive the multi-line assembly and the dispatch table. The client is worked as
// the download window works it (log-in, current directory, listing, change of directory),
// the next operation starting whenever an event leaves it idle. The first bytes choose how the
// reply stream is cut into the blocks that arrive; the rest is the stream.
//
// Checked: OnFtpReply sees each line of a connection once, whole and in order (its text up to
// a NUL the line holds), with the code of its first three characters; every text handed to
// OnFtpStatus or OnFtpError for a reply is a piece of the stream (a multi-line reply's first and
// continuation lines are consecutive); a directory name holds no double quote; every line the
// client writes is a command it knows. Data connections are active ones that nobody connects to, so
// no connection leaves the process.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dispatch/test_device.h"
#include "dispatch/tick_clock.h"
#include "ftp/data_packet.h"
#include "ftp/ftp_client.h"
#include "fuzz_support.h"
#include "port/device_socket.h"
#include "port/winsock_binding.h"

namespace {

// A datagram socket bound to 127.0.0.1 stands for the control connection's socket: the client
// reads its local address from it for "PORT ", and it has no peer.
winsock::SOCKET ControlSocket() {
  static winsock::SOCKET socket = [] {
    DeviceSocket();  // loads and starts the Winsock library
    auto& ws = WinsockEntryTable();
    winsock::SOCKET s = ws.socket(winsock::AF_INET, winsock::SOCK_DGRAM, 0);
    TSockAddrIn local{};
    local.sin_family = winsock::AF_INET;
    local.sin_addr.s_addr = ws.htonl(winsock::INADDR_LOOPBACK);
    ws.bind(s, reinterpret_cast<winsock::sockaddr*>(&local), sizeof local);
    return s;
  }();
  return socket;
}

class TFuzzFtpClient : public TApdFtpClient {
 public:
  using TApdFtpClient::TApdFtpClient;
  TTestDispatcher* Device() { return static_cast<TTestDispatcher*>(CurrentDispatcher()); }
  // The connect notice of the control connection.
  void Connect() { DoConnected(); }

 protected:
  TApdBaseDispatcher* CreateDispatcher() override {
    auto* device = new TTestDispatcher(this);
    device->OpenResult = static_cast<int>(ControlSocket());
    return device;
  }
  int OpenDevice() override { return Device()->Open(); }
};

const char* const KnownCommands[] = {"USER ", "PASS ", "ACCT ", "CWD ",  "PWD",   "LIST", "NLST",
                                     "PASV",  "PORT ", "TYPE ", "REST ", "RETR ", "ABOR", "QUIT"};

bool IsKnownCommand(const std::string& line) {
  for (const char* command : KnownCommands)
    if (line.rfind(command, 0) == 0) return true;
  return false;
}

int CodeOf(const std::string& line) {
  if (line.size() < 3) return 0;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

void PumpAll() {
  for (int i = 0; i < 100000 && PumpOneMessage() != 0; ++i) {
  }
}

struct TRun {
  std::string Stream;
  // The bytes that reached the current control connection; its lines follow each other
  // from its first byte on.
  std::string Connection;
  std::size_t LineCursor = 0;
  int Operations = 0;
  int Opens = 0;
};

void CheckText(const TRun& run, const char* text, const char* what) {
  if (!text) return;
  FUZZ_CHECK(run.Stream.find(text) != std::string::npos,
             std::string(what) + " text not in the stream: " + fuzzsupport::Escaped(text));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::SetUpApplication();
  ControlSocket();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::size_t> cuts(input.ConsumeIntegralInRange<std::size_t>(0, 6));
  for (auto& cut : cuts) cut = input.ConsumeIntegralInRange<std::size_t>(1, 80);
  TRun run;
  run.Stream = input.ConsumeRemainingBytesAsString();

  auto* client = new TFuzzFtpClient(nullptr);
  client->SetUserName("dlmorv");
  client->SetPassword("secret");
  client->SetServerAddress("127.0.0.1");
  client->SetPassiveMode(false);

  // The next operation, whenever the client is idle again.
  auto next = [&run, client] {
    if (client->State() != fcIdle || run.Operations >= 48) return;
    switch (run.Operations++ % 4) {
      case 0:
        client->ReportCurrentDirectory();
        break;
      case 1:
        client->ListDirectory("", run.Operations % 8 == 2);
        break;
      case 2:
        client->ChangeDirectory("//KVB_program");
        break;
      default:
        client->ChangeDirectory("");
        break;
    }
  };
  client->OnFtpReply = [&run](TObject*, int code, const char* text) {
    // The event's text ends at a NUL the line may hold; the line itself ends at its CR LF.
    const std::string seen = text ? text : "";
    const std::string& bytes = run.Connection;
    const std::size_t at = run.LineCursor;
    FUZZ_CHECK(bytes.compare(at, seen.size(), seen) == 0,
               "line out of order: " + fuzzsupport::Escaped(seen));
    const bool whole = seen.size() >= 2 && seen.compare(seen.size() - 2, 2, "\r\n") == 0;
    const std::size_t end = whole ? at + seen.size() - 2 : bytes.find("\r\n", at + seen.size());
    FUZZ_CHECK(end != std::string::npos, "a line without CR LF: " + fuzzsupport::Escaped(seen));
    const std::string line = bytes.substr(at, end + 2 - at);
    FUZZ_CHECK(whole ? seen.find("\r\n") == seen.size() - 2 : line[seen.size()] == '\0',
               "not one line: " + fuzzsupport::Escaped(seen));
    FUZZ_CHECK(code == CodeOf(line),
               "code " + std::to_string(code) + " for " + fuzzsupport::Escaped(line));
    run.LineCursor = end + 2;
  };
  client->OnFtpStatus = [&run, client, &next](TObject*, TFtpStatusCode code, const char* text) {
    CheckText(run, text, "status");
    if (code == fsDirectoryReply && text)
      FUZZ_CHECK(std::string(text).find('"') == std::string::npos, "a quote in the name");
    next();
    (void)client;
  };
  client->OnFtpError = [&run, &next](TObject*, int code, const char* text) {
    if (code >= 0 && code < 1000) CheckText(run, text, "error");
    next();
  };

  client->OpenSession();
  FUZZ_CHECK(client->PortOpen(), "the in-memory control connection did not open");
  client->Connect();

  std::size_t at = 0;
  for (std::size_t n = 0; at < run.Stream.size(); ++n) {
    if (!client->PortOpen()) {
      // The session was closed (221, 421): log in again, as a user would, a few times.
      if (run.Opens++ >= 3) break;
      client->OpenSession();
      if (!client->PortOpen()) break;
      client->Connect();
      run.Connection.clear();
      run.LineCursor = 0;
    }
    std::size_t length = cuts.empty() ? run.Stream.size() : cuts[n % cuts.size()];
    length = std::min(length, run.Stream.size() - at);
    client->Device()->Arrive(run.Stream.substr(at, length));
    run.Connection += run.Stream.substr(at, length);
    at += length;
    for (int step = 0; step < 64 && client->PortOpen() && !client->Device()->Source.empty(); ++step)
      client->Device()->DispatchStep(false);
    PumpAll();
  }
  PumpAll();

  if (client->PortOpen()) {
    const std::string& sent = client->Device()->Sink;
    std::size_t from = 0;
    while (from < sent.size()) {
      std::size_t end = sent.find("\r\n", from);
      FUZZ_CHECK(end != std::string::npos, "a command without CR LF");
      const std::string line = sent.substr(from, end - from);
      FUZZ_CHECK(IsKnownCommand(line), "unknown command sent: " + fuzzsupport::Escaped(line));
      from = end + 2;
    }
  }
  TObject::Free(client);
  PumpAll();
  return 0;
}
