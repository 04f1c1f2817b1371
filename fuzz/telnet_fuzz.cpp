// The Telnet input decoder of a Winsock connection, fed through its input ring. The first
// bytes choose the ring's size, the sizes of the pieces that arrive in the ring and the sizes
// of the reads; the rest is the byte stream from the peer.
//
// Checked against a plain decoder written from the Telnet rules: the bytes delivered, the
// negotiation replies queued for the peer, and that nothing but an unfinished command is left
// in the ring at the end (the decoder never stalls on a full ring).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "port/device_socket.h"

namespace {

constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240,
                       CR = 13;

struct TDecoded {
  std::string Data;
  std::string Replies;
  std::size_t Left = 0;  // bytes of an unfinished command at the end
};

std::string Command(std::uint8_t command, std::uint8_t option) {
  return std::string{static_cast<char>(IAC), static_cast<char>(command), static_cast<char>(option)};
}

TDecoded Reference(const std::string& s, const std::string& terminalType) {
  TDecoded result;
  bool binary = false, afterCR = false, inSub = false;
  int subOption = -1;
  std::size_t i = 0;
  const std::size_t n = s.size();
  auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(s[at]); };
  while (i < n) {
    if (inSub) {
      if (byte(i) != IAC) {
        ++i;
        continue;
      }
      if (i + 1 >= n) break;
      const std::uint8_t command = byte(i + 1);
      i += 2;
      if (command == SE) {
        inSub = false;
        if (subOption == 24)
          result.Replies += std::string{static_cast<char>(IAC), static_cast<char>(SB), 24, 0} +
                            terminalType +
                            std::string{static_cast<char>(IAC), static_cast<char>(SE)};
      }
      continue;
    }
    const std::uint8_t b = byte(i);
    if (afterCR) {
      afterCR = false;
      if (b == 0 && !binary) {
        ++i;
        continue;
      }
    }
    if (b == CR && !binary) {
      result.Data += static_cast<char>(CR);
      afterCR = true;
      ++i;
      continue;
    }
    if (b != IAC) {
      result.Data += static_cast<char>(b);
      ++i;
      continue;
    }
    if (i + 1 >= n) break;
    const std::uint8_t command = byte(i + 1);
    if (command == IAC) {
      result.Data += static_cast<char>(IAC);
      i += 2;
    } else if (command >= WILL && command <= DONT) {
      if (i + 2 >= n) break;
      const std::uint8_t option = byte(i + 2);
      i += 3;
      std::uint8_t reply;
      if (command == WILL) {
        reply = (option == 0 || option == 1 || option == 3) ? DO : DONT;
        if (option == 0) binary = true;
      } else if (command == WONT) {
        reply = DONT;
        if (option == 0) binary = false;
      } else if (command == DO) {
        reply = (option == 0 || option == 24) ? WILL : WONT;
        if (option == 0) binary = true;
      } else {
        reply = WONT;
        if (option == 0) binary = false;
      }
      result.Replies += Command(reply, option);
    } else if (command == SB) {
      if (i + 2 >= n) break;
      const std::uint8_t option = byte(i + 2);
      if (option == IAC) {
        subOption = -1;
        i += 2;
      } else {
        subOption = option;
        i += 3;
      }
      inSub = true;
    } else {
      i += 2;
    }
  }
  result.Left = n - i;
  return result;
}

// Puts up to `length` stream bytes into the ring's free space, as a receive would.
std::size_t Fill(TWsConnection& c, const std::string& stream, std::size_t at, std::size_t length) {
  std::size_t put = 0;
  while (put < length && at + put < stream.size() && !c.InFull) {
    const DWORD stored = c.InStored();
    if (stored == 0) c.InRead = c.InWrite = 0;
    DWORD room = c.InWrite >= c.InRead ? c.InSize - c.InWrite : c.InRead - c.InWrite;
    const std::size_t n = std::min<std::size_t>({room, length - put, stream.size() - at - put});
    std::copy_n(stream.data() + at + put, n, c.InBuffer.get() + c.InWrite);
    c.InWrite += static_cast<DWORD>(n);
    if (c.InWrite >= c.InSize) c.InWrite -= c.InSize;
    if (n > 0 && c.InWrite == c.InRead) c.InFull = true;
    put += n;
  }
  return put;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::SetUpApplication();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const DWORD ringSize = input.ConsumeIntegralInRange<DWORD>(16, 80);
  std::vector<std::size_t> pieces(input.ConsumeIntegralInRange<std::size_t>(1, 6));
  for (auto& piece : pieces) piece = input.ConsumeIntegralInRange<std::size_t>(1, 40);
  std::vector<DWORD> reads(input.ConsumeIntegralInRange<std::size_t>(1, 6));
  for (auto& read : reads) read = input.ConsumeIntegralInRange<DWORD>(1, 40);
  const std::string stream = input.ConsumeRemainingBytesAsString();

  TApdDeviceSocket& device = DeviceSocket();
  // No socket: what the connection would send stays in its output ring, which is large
  // enough for every reply the stream can ask for.
  auto* connection =
      new TWsConnection(&device, NoSocket, ringSize, static_cast<DWORD>(3 * stream.size() + 64));
  connection->Telnet = true;
  connection->Connected = 1;

  std::string delivered;
  std::size_t at = 0;
  std::vector<std::uint8_t> buffer(64);
  int idle = 0;
  for (std::size_t step = 0; idle < 3; ++step) {
    at += Fill(*connection, stream, at, pieces[step % pieces.size()]);
    const DWORD count = reads[step % reads.size()];
    const int got = connection->Read(buffer.data(), count);
    FUZZ_CHECK(got >= 0 && static_cast<DWORD>(got) <= count, "read gave " + std::to_string(got));
    delivered.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(got));
    // Finished once the stream is in and reads stop delivering.
    idle = (at == stream.size() && got == 0) ? idle + 1 : 0;
    FUZZ_CHECK(step < 4 * stream.size() + 64, "the decoder makes no progress");
  }

  const TDecoded expected = Reference(stream, device.TerminalType);
  FUZZ_CHECK(delivered == expected.Data, "delivered " + fuzzsupport::Escaped(delivered) +
                                             ", expected " + fuzzsupport::Escaped(expected.Data));
  const std::string replies(reinterpret_cast<const char*>(connection->OutBuffer.get()),
                            connection->OutStored());
  FUZZ_CHECK(connection->OutSend == 0, "the output ring wrapped");
  FUZZ_CHECK(replies == expected.Replies, "replies " + fuzzsupport::Escaped(replies) +
                                              ", expected " +
                                              fuzzsupport::Escaped(expected.Replies));
  FUZZ_CHECK(connection->InStored() == expected.Left, std::to_string(connection->InStored()) +
                                                          " bytes left in the ring, expected " +
                                                          std::to_string(expected.Left));
  TObject::Free(connection);
  return 0;
}
