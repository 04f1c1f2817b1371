// One TCP connection of the device socket: its rings, the read path with Telnet input
// decoding and negotiation replies, and the write path with Telnet encoding.

#include <algorithm>
#include <cstring>

#include "dispatch/byte_copy.h"
#include "port/device_socket.h"
#include "port/winsock_dispatcher.h"

namespace {

constexpr std::uint8_t CR = 13;
constexpr std::uint8_t LF = 10;
constexpr std::uint8_t NUL = 0;
// Log subtypes: sent WILL..DONT are 20..23, received 24..27.
constexpr std::uint8_t SentBase = 20;
constexpr std::uint8_t ReceivedBase = 24;
// Rings smaller than this could not hold a whole Telnet command.
constexpr DWORD MinRingSize = 16;
// A read tops the ring up only when it holds fewer bytes than this (or than asked for).
constexpr DWORD TopUpBelow = 16;

// First IAC, or (when crSpecial) CR, in [p, p + n); n when there is none.
DWORD FindSpecial(const std::uint8_t* p, DWORD n, bool crSpecial) {
  const void* iac = std::memchr(p, TelnetIAC, n);
  DWORD limit = iac ? static_cast<DWORD>(static_cast<const std::uint8_t*>(iac) - p) : n;
  if (crSpecial && limit > 0) {
    const void* cr = std::memchr(p, CR, limit);
    if (cr) limit = static_cast<DWORD>(static_cast<const std::uint8_t*>(cr) - p);
  }
  return limit;
}

}  // namespace

// Marks an operation of the connection as running; the outermost one frees a connection that
// was detached meanwhile, as its last act.
class TWsConnection::TBusyScope {
 public:
  explicit TBusyScope(TWsConnection& connection) : FConnection(connection) { ++FConnection.FBusy; }
  ~TBusyScope() {
    if (--FConnection.FBusy == 0 && FConnection.FDetached) delete &FConnection;
  }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  TWsConnection& FConnection;
};

TWsConnection::TWsConnection(TApdDeviceSocket* owner, TSocket mainSocket, DWORD inSize,
                             DWORD outSize)
    : TComponent(owner), MainSocket(mainSocket), FDevice(owner) {
  InSize = std::max(inSize, MinRingSize);
  OutSize = outSize + OutputRingExtra;
  InBuffer = std::make_unique<std::uint8_t[]>(InSize);
  OutBuffer = std::make_unique<std::uint8_t[]>(OutSize);
}

TWsConnection::~TWsConnection() = default;

TApdDeviceSocket& TWsConnection::Device() const {
  return *FDevice;
}

void TWsConnection::Detach() {
  // The sockets are already closed: nothing more is received, sent or logged.
  CommSocket = NoSocket;
  MainSocket = NoSocket;
  Dispatcher = nullptr;
  Connected = 0;
  FDrained = true;
  FDetached = true;
  if (Owner()) Owner()->RemoveComponent(this);
}

void TWsConnection::ResetForPeer() {
  FlushInput();
  OptBinary = OptSuppressGA = OptEcho = TelnetOptionOff;
}

// ---- Input ring ----

DWORD TWsConnection::InStored() const {
  if (InFull) return InSize;
  return InWrite >= InRead ? InWrite - InRead : InWrite + InSize - InRead;
}

std::uint8_t TWsConnection::PeekIn(DWORD offset) const {
  DWORD index = InRead + offset;
  if (index >= InSize) index -= InSize;
  return InBuffer[index];
}

void TWsConnection::ConsumeIn(DWORD count) {
  if (count == 0) return;
  InRead += count;
  if (InRead >= InSize) InRead -= InSize;
  InFull = false;
}

DWORD TWsConnection::ReceiveDirect(std::uint8_t* at, DWORD length) {
  if (CommSocket == NoSocket) {
    FDrained = true;
    return 0;
  }
  int n = Device().ReceiveInto(CommSocket, at, static_cast<int>(length), 0);
  if (n <= 0) {
    // Nothing waiting (10035), the end of the stream (0) or a failure already reported: no
    // point asking again before the next read notice.
    FDrained = true;
    return 0;
  }
  // A short read emptied the socket; the read notice is re-armed by this receive.
  if (static_cast<DWORD>(n) < length) FDrained = true;
  return static_cast<DWORD>(n);
}

DWORD TWsConnection::ReceivePiece(DWORD length) {
  DWORD n = ReceiveDirect(InBuffer.get() + InWrite, length);
  InWrite += n;
  if (InWrite >= InSize) InWrite -= InSize;
  if (n > 0 && InWrite == InRead) InFull = true;
  return n;
}

void TWsConnection::TopUp(DWORD wanted, bool both) {
  if (InFull || CommSocket == NoSocket || FDrained) return;
  const DWORD stored = InStored();
  if (stored >= wanted) return;
  if (stored == 0) InRead = InWrite = 0;  // the whole ring in one piece
  if (InWrite >= InRead) {
    // Free space runs to the ring's end and, when the read position is not at 0, on from
    // the start.
    DWORD first = InSize - InWrite;
    DWORD got = ReceivePiece(first);
    if (got == first && both && InRead > 0 && !FDrained) ReceivePiece(InRead - InWrite);
  } else {
    ReceivePiece(InRead - InWrite);
  }
}

DWORD TWsConnection::CopyPlain(std::uint8_t* out, DWORD count) {
  DWORD n = std::min(count, InStored());
  DWORD first = std::min(n, InSize - InRead);
  CopyBytes(out, InBuffer.get() + InRead, first);
  if (n > first) CopyBytes(out + first, InBuffer.get(), n - first);
  ConsumeIn(n);
  return n;
}

int TWsConnection::Read(void* buffer, DWORD count) {
  TBusyScope busy(*this);
  if (!Telnet && count >= InSize && InStored() == 0) {
    // The ring could not hold what is asked for: receive straight into the caller's buffer,
    // one receive and one copy fewer.
    if (CommSocket == NoSocket || FDrained) return 0;
    return static_cast<int>(ReceiveDirect(static_cast<std::uint8_t*>(buffer), count));
  }
  // Stored bytes are handed out before the socket is asked again, so that receives happen
  // into an empty ring, in one large piece. A handful is enough for the longest Telnet
  // command that may be waiting for its last bytes, however little is asked for.
  TopUp(Telnet ? TopUpBelow : std::clamp<DWORD>(count, 1, TopUpBelow), count != 0);
  if (count == 0) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  if (Telnet) return static_cast<int>(Decode(out, count));
  DWORD delivered = CopyPlain(out, count);
  // The ring ran empty before the caller's buffer was full: the socket is asked for the rest
  // while it has some, straight into the buffer when a ringful or more is missing, otherwise
  // through the ring, which keeps what the buffer has no room for. Reads then fill what they
  // are given, and a reader taking whole blocks gets whole blocks.
  while (delivered < count && CommSocket != NoSocket && !FDrained) {
    const DWORD rest = count - delivered;
    if (rest >= InSize) {
      delivered += ReceiveDirect(out + delivered, rest);
      break;
    }
    TopUp(rest, true);
    const DWORD more = CopyPlain(out + delivered, rest);
    if (more == 0) break;
    delivered += more;
  }
  return static_cast<int>(delivered);
}

DWORD TWsConnection::InputCount() {
  TBusyScope busy(*this);
  if (InFull) return InSize;
  if (Connected) TopUp(1, false);
  return InStored();
}

bool TWsConnection::SkipSubnegotiation() {
  for (;;) {
    DWORD stored = InStored();
    if (stored == 0) return false;
    if (PeekIn(0) != TelnetIAC) {
      // Skip the plain run up to the next IAC or the ring's end.
      DWORD run = std::min(stored, InSize - InRead);
      const void* iac = std::memchr(InBuffer.get() + InRead, TelnetIAC, run);
      ConsumeIn(iac ? static_cast<DWORD>(static_cast<const std::uint8_t*>(iac) -
                                         (InBuffer.get() + InRead))
                    : run);
      continue;
    }
    if (stored < 2) return false;
    std::uint8_t command = PeekIn(1);
    ConsumeIn(2);
    if (command != TelnetSE) continue;  // IAC IAC and others belong to the subnegotiation
    FInSubneg = false;
    if (FSubnegOption == TelnetOptTermType) {
      const std::string& type = Device().TerminalType;
      std::string reply = {static_cast<char>(TelnetIAC), static_cast<char>(TelnetSB),
                           static_cast<char>(TelnetOptTermType), '\0'};
      reply += type;
      reply += static_cast<char>(TelnetIAC);
      reply += static_cast<char>(TelnetSE);
      SendRaw(reinterpret_cast<const std::uint8_t*>(reply.data()),
              static_cast<DWORD>(reply.size()));
      LogTelnet(lst_TelnetSentTerm, TelnetOptTermType, type.data(),
                static_cast<DWORD>(type.size()));
    }
    return true;
  }
}

DWORD TWsConnection::Decode(std::uint8_t* out, DWORD count) {
  DWORD delivered = 0;
  while (delivered < count) {
    DWORD stored = InStored();
    if (stored == 0) break;
    if (FInSubneg) {
      if (!SkipSubnegotiation()) break;
      continue;
    }
    const bool binary = OptBinary == TelnetOptionOn;
    std::uint8_t byte = PeekIn(0);
    if (FAfterCR) {
      FAfterCR = false;
      if (byte == NUL && !binary) {
        ConsumeIn(1);
        continue;
      }
    }
    DWORD run = std::min({stored, InSize - InRead, count - delivered});
    DWORD plain = FindSpecial(InBuffer.get() + InRead, run, !binary);
    if (plain > 0) {
      CopyBytes(out + delivered, InBuffer.get() + InRead, plain);
      ConsumeIn(plain);
      delivered += plain;
      continue;
    }
    if (byte == CR) {
      // Delivered at once; a NUL that follows, now or in a later read, is dropped.
      out[delivered++] = CR;
      ConsumeIn(1);
      FAfterCR = true;
      continue;
    }
    // IAC: wait until the whole command is here.
    if (stored < 2) break;
    std::uint8_t command = PeekIn(1);
    if (command == TelnetIAC) {
      out[delivered++] = TelnetIAC;
      ConsumeIn(2);
    } else if (command >= TelnetWILL && command <= TelnetDONT) {
      if (stored < 3) break;
      std::uint8_t option = PeekIn(2);
      ConsumeIn(3);
      Negotiate(command, option);
    } else if (command == TelnetSB) {
      if (stored < 3) break;
      std::uint8_t option = PeekIn(2);
      if (option == TelnetIAC) {
        // An empty subnegotiation: its IAC SE follows at once.
        FSubnegOption = -1;
        ConsumeIn(2);
      } else {
        FSubnegOption = option;
        ConsumeIn(3);
      }
      FInSubneg = true;
    } else {
      ConsumeIn(2);
      LogTelnet(lst_TelnetCommand, command);
    }
  }
  return delivered;
}

void TWsConnection::Negotiate(std::uint8_t command, std::uint8_t option) {
  LogTelnet(static_cast<std::uint8_t>(ReceivedBase + (command - TelnetWILL)), option);
  std::uint8_t reply;
  switch (command) {
    case TelnetWILL:
      reply =
          (option == TelnetOptBinary || option == TelnetOptEcho || option == TelnetOptSuppressGA)
              ? TelnetDO
              : TelnetDONT;
      if (option == TelnetOptBinary) OptBinary = TelnetOptionOn;
      if (option == TelnetOptEcho) OptEcho = TelnetOptionOn;
      if (option == TelnetOptSuppressGA) OptSuppressGA = TelnetOptionOn;
      break;
    case TelnetWONT:
      reply = TelnetDONT;
      if (option == TelnetOptBinary) OptBinary = TelnetOptionOff;
      if (option == TelnetOptEcho) OptEcho = TelnetOptionOff;
      if (option == TelnetOptSuppressGA) OptSuppressGA = TelnetOptionOff;
      break;
    case TelnetDO:
      reply = (option == TelnetOptBinary || option == TelnetOptTermType) ? TelnetWILL : TelnetWONT;
      if (option == TelnetOptBinary) OptBinary = TelnetOptionOn;
      break;
    default:  // DONT
      reply = TelnetWONT;
      if (option == TelnetOptBinary) OptBinary = TelnetOptionOff;
      break;
  }
  const std::uint8_t bytes[3] = {TelnetIAC, reply, option};
  SendRaw(bytes, 3);
  LogTelnet(static_cast<std::uint8_t>(SentBase + (reply - TelnetWILL)), option);
}

void TWsConnection::LogTelnet(std::uint8_t subType, DWORD value, const void* data, DWORD length) {
  if (!Dispatcher || !Dispatcher->Logging) return;
  TLockHolder lock(Dispatcher->MainLock);
  if (Dispatcher->Logging)
    Dispatcher->RecordLogEntry(lt_Telnet, subType, data ? length : 0, data, value);
}

void TWsConnection::FlushInput() {
  InRead = InWrite = 0;
  InFull = false;
  FAfterCR = false;
  FInSubneg = false;
  FSubnegOption = -1;
}

// ---- Output ring ----

DWORD TWsConnection::OutStored() const {
  if (OutFull) return OutSize;
  return OutWrite >= OutSend ? OutWrite - OutSend : OutWrite + OutSize - OutSend;
}

DWORD TWsConnection::OutFree() const {
  return OutSize - OutStored();
}

void TWsConnection::PutOut(const std::uint8_t* bytes, DWORD length) {
  DWORD first = std::min(length, OutSize - OutWrite);
  CopyBytes(OutBuffer.get() + OutWrite, bytes, first);
  if (length > first) CopyBytes(OutBuffer.get(), bytes + first, length - first);
  OutWrite += length;
  if (OutWrite >= OutSize) OutWrite -= OutSize;
  if (length > 0 && OutWrite == OutSend) OutFull = true;
}

DWORD TWsConnection::EncodeInto(const std::uint8_t* source, DWORD count) {
  const bool binary = OptBinary == TelnetOptionOn;
  if (!Telnet || FindSpecial(source, count, !binary) == count) {
    DWORD n = std::min(count, OutFree());
    PutOut(source, n);
    return n;
  }
  DWORD taken = 0;
  while (taken < count) {
    std::uint8_t byte = source[taken];
    std::uint8_t pair[2] = {byte, byte};
    DWORD length = 1;
    if (byte == TelnetIAC) {
      length = 2;
    } else if (byte == CR && !binary && (taken + 1 >= count || source[taken + 1] != LF)) {
      // A CR at the end of a write has no LF after it as far as this write knows.
      pair[1] = NUL;
      length = 2;
    }
    if (OutFree() < length) break;
    PutOut(pair, length);
    ++taken;
  }
  return taken;
}

void TWsConnection::SendStored() {
  if (CommSocket == NoSocket) return;  // not connected yet: the bytes wait for the connect
  for (;;) {
    TakeWaitingReplies();
    const DWORD stored = OutStored();
    if (stored == 0) return;
    const std::uint8_t* from = OutBuffer.get() + OutSend;
    const DWORD first = OutSize - OutSend;
    if (stored > first) {
      // The stored bytes wrap: both parts leave in one send, so that a command is never cut
      // at the ring's end (some servers do not take a line whose CR and LF arrive apart).
      if (!FSendJoined) FSendJoined = std::make_unique<std::uint8_t[]>(OutSize);
      CopyBytes(FSendJoined.get(), from, first);
      CopyBytes(FSendJoined.get() + first, OutBuffer.get(), stored - first);
      from = FSendJoined.get();
    }
    int n = Device().SendFrom(CommSocket, from, static_cast<int>(stored), 0);
    if (n <= 0) return;
    OutFull = false;
    OutSend += static_cast<DWORD>(n);
    if (OutSend >= OutSize) OutSend -= OutSize;
    if (static_cast<DWORD>(n) < stored) return;  // the socket is full for now
  }
}

void TWsConnection::TakeWaitingReplies() {
  if (FWaitingReplies.empty()) return;
  const DWORD n = std::min(OutFree(), static_cast<DWORD>(FWaitingReplies.size()));
  PutOut(reinterpret_cast<const std::uint8_t*>(FWaitingReplies.data()), n);
  FWaitingReplies.erase(0, n);
}

void TWsConnection::SendRaw(const std::uint8_t* bytes, DWORD length) {
  // Queued behind what the ring holds, so that the reply goes out whole and in stream order;
  // when the ring has no room it waits beside it, ahead of any later output.
  if (FWaitingReplies.empty() && OutFree() >= length)
    PutOut(bytes, length);
  else
    FWaitingReplies.append(reinterpret_cast<const char*>(bytes), length);
  SendStored();
}

int TWsConnection::Write(const void* buffer, DWORD count) {
  TBusyScope busy(*this);
  OutputCount += count;
  DWORD taken = 0;
  TakeWaitingReplies();
  if (count > 0 && !OutFull && FWaitingReplies.empty())
    taken = EncodeInto(static_cast<const std::uint8_t*>(buffer), count);
  SendStored();
  return static_cast<int>(taken);
}

DWORD TWsConnection::OutputWaiting() {
  TBusyScope busy(*this);
  if (!Connected) return OutputCount;
  if (OutStored() > 0 || !FWaitingReplies.empty()) {
    SendStored();
    // Found empty now: the count starts again.
    if (OutStored() == 0) OutputCount = 0;
    return OutputCount;
  }
  OutputCount = 0;
  return 0;
}

void TWsConnection::FlushOutput() {
  OutSend = OutWrite = 0;
  OutFull = false;
  FWaitingReplies.clear();
}
