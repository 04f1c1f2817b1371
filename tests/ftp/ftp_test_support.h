// Helpers of the FTP client tests: the scripted peer, a temporary folder, a recorder of the
// client's events, and file helpers.
#pragma once

#include <unistd.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ftp/ftp_client.h"
#include "support/loop_support.h"
#ifndef _WIN32
// The servers and the scripted peer run as child processes: on Linux only (under Wine the
// Linux side starts the servers for the Windows test program).
#include "support/ftp_servers.h"
#include "support/peer_process.h"
#endif

namespace ftptest {

namespace fs = std::filesystem;

// A folder of its own, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("kvb-ftp-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(std::random_device{}()));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Byte-for-byte comparison without holding both files in memory.
inline bool SameContent(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  std::vector<char> bx(1 << 20), by(1 << 20);
  for (;;) {
    x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
    y.read(by.data(), static_cast<std::streamsize>(by.size()));
    if (x.gcount() != y.gcount()) return false;
    if (std::memcmp(bx.data(), by.data(), static_cast<std::size_t>(x.gcount())) != 0) return false;
    if (x.gcount() == 0) return true;
  }
}

// A large file made quickly: sparse, with marked bytes spread through it.
inline void MakeBigFile(const std::string& path, std::int64_t size) {
  { std::ofstream out(path, std::ios::binary | std::ios::trunc); }
  fs::resize_file(path, static_cast<std::uintmax_t>(size));
  std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
  std::mt19937 random(42);
  for (std::int64_t at = 0; at < size; at += 1 << 20) {
    char mark[64];
    for (char& c : mark) c = static_cast<char>(random());
    io.seekp(at);
    io.write(mark, std::min<std::int64_t>(sizeof mark, size - at));
  }
  io.seekp(size - 1);
  io.put('\x5a');
}

#ifndef _WIN32
// tests/peers/ftp_peer.py running one scenario; the transcript holds every command received.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(const std::string& scenario, std::vector<std::string> args = {})
      : transcript_((dir_.Path() / "transcript.txt").string()),
        process_(Arguments(scenario, transcript_, std::move(args))) {}

  int Port() const { return process_.Port(); }
  std::vector<std::string> Transcript() const {
    std::vector<std::string> lines;
    std::ifstream in(transcript_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Waits (handling messages) until the peer has received `count` commands.
  bool WaitForCommands(std::size_t count, int ms = 5000) const {
    return testsupport::PumpUntil([&] { return Transcript().size() >= count; }, ms);
  }

 private:
  static std::vector<std::string> Arguments(const std::string& scenario,
                                            const std::string& transcript,
                                            std::vector<std::string> args) {
    std::vector<std::string> argv{
        "/usr/bin/python3", testsupport::SourceDir() + "/tests/peers/ftp_peer.py",
        "--scenario",       scenario,
        "--transcript",     transcript};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  TempDir dir_;
  std::string transcript_;
  testsupport::PeerProcess process_;
};

// Every event of a client, in order.
#endif  // _WIN32

struct Event {
  char Kind;  // 'S' status, 'E' error, 'R' reply, 'L' log
  int Code;
  bool HasText;
  std::string Text;
  std::int64_t ByteCount;
};

class Recorder {
 public:
  void Attach(TApdCustomFtpClient& client) {
    client.OnFtpStatus = [this, &client](TObject*, TFtpStatusCode code, const char* text) {
      Add('S', code, text, client.ByteCount());
    };
    client.OnFtpError = [this](TObject*, int code, const char* text) { Add('E', code, text, 0); };
    client.OnFtpReply = [this](TObject*, int code, const char* text) { Add('R', code, text, 0); };
    client.OnFtpLog = [this](TObject*, TFtpLogCode code) { Add('L', code, nullptr, 0); };
  }

  std::vector<Event> Events;

  int Count(char kind, int code) const {
    int n = 0;
    for (auto& e : Events)
      if (e.Kind == kind && e.Code == code) ++n;
    return n;
  }
  bool Has(char kind, int code) const { return Count(kind, code) > 0; }
  const Event* Last(char kind, int code) const {
    for (auto it = Events.rbegin(); it != Events.rend(); ++it)
      if (it->Kind == kind && it->Code == code) return &*it;
    return nullptr;
  }
  // "R220 S1 R331 ..." without progress reports.
  std::string Summary(bool withProgress = false) const {
    std::string text;
    for (auto& e : Events) {
      if (!withProgress && e.Kind == 'S' && e.Code == fsProgress) continue;
      if (!text.empty()) text += ' ';
      text += e.Kind + std::to_string(e.Code);
    }
    return text;
  }
  bool WaitFor(char kind, int code, int ms = 10000, int count = 1) const {
    return testsupport::PumpUntil([&] { return Count(kind, code) >= count; }, ms);
  }
  bool WaitForKind(char kind, int ms = 10000) const {
    return testsupport::PumpUntil(
        [&] {
          for (auto& e : Events)
            if (e.Kind == kind) return true;
          return false;
        },
        ms);
  }
  void Clear() { Events.clear(); }

 private:
  void Add(char kind, int code, const char* text, std::int64_t bytes) {
    Events.push_back({kind, code, text != nullptr, text ? text : "", bytes});
  }
};

// Frees a component the way its owner would.
struct ComponentFree {
  void operator()(TComponent* component) const { TObject::Free(component); }
};
using ClientPtr = std::unique_ptr<TApdFtpClient, ComponentFree>;

inline ClientPtr MakeClient(int port, const std::string& user = "dlmorv",
                            const std::string& password = "ka47tz19") {
  ClientPtr client(new TApdFtpClient(nullptr));
  client->SetServerAddress("127.0.0.1");
  client->SetWsPort(std::to_string(port));
  client->SetUserName(user);
  client->SetPassword(password);
  return client;
}

inline bool LogIn(TApdCustomFtpClient& client, Recorder& recorder, int ms = 10000) {
  if (!client.OpenSession()) return false;
  return recorder.WaitFor('S', fsLoggedIn, ms);
}

}  // namespace ftptest
