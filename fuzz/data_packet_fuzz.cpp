// The data packet matcher fed arbitrary byte streams through a port whose dispatcher reads
// from an in-memory device. The first bytes choose the packets' settings and how the stream is
// cut into the blocks that arrive; the rest is the stream.
//
// Checked: every delivered packet lies in the stream, packets come in stream order without
// overlapping, OnPacket and OnStringPacket see the same bytes; with the FTP client's line
// packet the lines are exactly the stream cut after each CR LF, and the bytes after the last
// CR LF are what the manager still holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dispatch/test_device.h"
#include "errors/exceptions.h"
#include "ftp/data_packet.h"
#include "fuzz_support.h"
#include "port/com_port.h"

namespace {

class TFuzzPort : public TApdCustomComPort {
 public:
  using TApdCustomComPort::TApdCustomComPort;
  TTestDispatcher* Device() { return static_cast<TTestDispatcher*>(CurrentDispatcher()); }

 protected:
  TApdBaseDispatcher* CreateDispatcher() override { return new TTestDispatcher(this); }
  int OpenDevice() override { return Device()->Open(); }
};

struct TDelivered {
  std::vector<std::string> Packets;
  std::vector<std::string> Strings;
};

struct TPacketSetup {
  TApdDataPacket* Packet = nullptr;
  TDelivered Out;
  bool Lines = false;  // the FTP client's reply packet
  bool Armed = false;
};

void Configure(TPacketSetup& setup, FuzzedDataProvider& input, bool lines) {
  TApdDataPacket* packet = setup.Packet;
  setup.Lines = lines;
  if (lines) {
    packet->SetStartCond(scAnyData);
    packet->SetEndString("\r\n");
    packet->SetEndCond({ecString});
    packet->SetTimeOut(0);
  } else {
    packet->SetStartCond(input.ConsumeBool() ? scAnyData : scString);
    packet->SetStartString(input.ConsumeRandomLengthString(6));
    packet->SetEndString(input.ConsumeRandomLengthString(6));
    TPacketEndSet end;
    const std::uint8_t bits = input.ConsumeIntegral<std::uint8_t>();
    if (bits & 1) end.Include(ecString);
    if (bits & 2) end.Include(ecPacketSize);
    packet->SetEndCond(end);
    packet->SetPacketSize(input.ConsumeIntegralInRange<int>(0, 40));
    packet->SetIgnoreCase(input.ConsumeBool());
    packet->SetIncludeStrings(input.ConsumeBool());
    packet->SetAutoEnable(input.ConsumeBool());
    packet->SetTimeOut(0);
  }
  TDelivered& out = setup.Out;
  packet->OnPacket = [&out](TObject*, const void* data, int size) {
    FUZZ_CHECK(size >= 0, "negative packet size");
    out.Packets.emplace_back(static_cast<const char*>(data), static_cast<std::size_t>(size));
  };
  packet->OnStringPacket = [&out](TObject*, const std::string& text) {
    out.Strings.push_back(text);
  };
  try {
    packet->SetEnabled(true);
    setup.Armed = packet->Enabled();
  } catch (const EInvalidProperty& error) {
    FUZZ_CHECK(error.ErrorCode <= -5501 && error.ErrorCode >= -5505,
               "arming error " + std::to_string(error.ErrorCode));
    FUZZ_CHECK(!packet->Enabled(), "a packet whose arming failed stays disabled");
  }
}

// Packets of one packet, found in the stream in order and without overlap.
void CheckInStream(const TDelivered& out, const std::string& stream) {
  FUZZ_CHECK(out.Packets == out.Strings, "OnPacket and OnStringPacket differ");
  std::size_t from = 0;
  for (const std::string& packet : out.Packets) {
    FUZZ_CHECK(packet.size() <= MaxPacketLength, "packet longer than the limit");
    if (packet.empty()) continue;
    std::size_t at = stream.find(packet, from);
    FUZZ_CHECK(at != std::string::npos,
               "packet not in the stream after the previous one: " + fuzzsupport::Escaped(packet));
    from = at + packet.size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::SetUpApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::uint8_t mode = input.ConsumeIntegral<std::uint8_t>();
  // Most inputs use the FTP client's line packet alone, as the client does.
  const bool lines = (mode & 3) != 0;
  const bool second = (mode & 4) != 0;
  std::vector<std::size_t> cuts(input.ConsumeIntegralInRange<std::size_t>(0, 8));
  for (auto& cut : cuts) cut = input.ConsumeIntegralInRange<std::size_t>(1, 64);

  auto* port = new TFuzzPort(nullptr);
  port->SetPortOpen(true);
  FUZZ_CHECK(port->PortOpen(), "the in-memory port did not open");

  TPacketSetup first;
  first.Packet = new TApdDataPacket(port);
  first.Packet->SetComPort(port);
  TPacketSetup other;
  if (second) {
    other.Packet = new TApdDataPacket(port);
    other.Packet->SetComPort(port);
  }
  Configure(first, input, lines);
  if (second) Configure(other, input, false);

  const std::string stream = input.ConsumeRemainingBytesAsString();
  std::size_t at = 0;
  for (std::size_t n = 0; at < stream.size(); ++n) {
    std::size_t length = cuts.empty() ? stream.size() : cuts[n % cuts.size()];
    length = std::min(length, stream.size() - at);
    port->Device()->Arrive(stream.substr(at, length));
    at += length;
    // A block larger than the ring's free space takes more than one step.
    for (int step = 0; step < 64 && !port->Device()->Source.empty(); ++step)
      port->Device()->DispatchStep(false);
    FUZZ_CHECK(port->Device()->Source.empty(), "the dispatcher stopped taking input");
  }

  CheckInStream(first.Out, stream);
  if (second) CheckInStream(other.Out, stream);

  if (lines && !second && first.Armed) {
    // Every line, CR LF included, exactly once and in order; the rest waits in the manager.
    std::string joined;
    for (const std::string& line : first.Out.Strings) {
      FUZZ_CHECK(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0,
                 "line without its CR LF: " + fuzzsupport::Escaped(line));
      FUZZ_CHECK(line.find("\r\n") == line.size() - 2,
                 "line with a CR LF inside: " + fuzzsupport::Escaped(line));
      joined += line;
    }
    FUZZ_CHECK(stream.compare(0, joined.size(), joined) == 0, "lines are not the stream's start");
    const std::string rest = stream.substr(joined.size());
    FUZZ_CHECK(rest.find("\r\n") == std::string::npos,
               "a complete line was not delivered: " + fuzzsupport::Escaped(rest));
    TApdDataPacketManager* manager = first.Packet->Manager();
    FUZZ_CHECK(manager && manager->DataCount() == rest.size(),
               "the manager holds " + std::to_string(manager ? manager->DataCount() : 0) +
                   " bytes, " + std::to_string(rest.size()) + " are left");
  }

  TObject::Free(port);
  return 0;
}
