// The data side of the FTP client: listings and retrievals, passive and active data
// connections, receiving, the local file, and the end of a transfer.
#include <algorithm>
#include <cstring>
#include <exception>

#include "dispatch/dispatcher.h"
#include "forms/application.h"
#include "ftp/ftp_client.h"
#include "platform/files.h"
#include "platform/sysutils.h"
#include "port/socket.h"
#include "port/winsock_binding.h"
#include "port/winsock_dispatcher.h"

namespace {

constexpr long DataNotices = SockNoticeRead | SockNoticeWrite | SockNoticeConnect | SockNoticeClose;
constexpr long ListenNotices =
    SockNoticeRead | SockNoticeWrite | SockNoticeAccept | SockNoticeClose;

// Decimal digits, blanks around them allowed; 0 when not a number.
int DecimalOrZero(const std::string& text) {
  auto first = text.find_first_not_of(' ');
  auto last = text.find_last_not_of(' ');
  if (first == std::string::npos) return 0;
  long value = 0;
  for (auto i = first; i <= last; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > 0xFFFFFF) return 0;
  }
  return static_cast<int>(value);
}

// Creates an empty file beside `local` under a name that no file had (X.part, X.1.part ...
// X.999.part) and returns the name. Created exclusively: received data never goes into a
// file that was there before.
std::string CreateTemporaryFor(const std::string& local) {
  for (int n = 0; n < 1000; ++n) {
    const std::string name = n == 0 ? local + ".part" : local + "." + std::to_string(n) + ".part";
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
      return name;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      throw platform::EFCreateError(
          "Cannot create file \"" + name + "\". " + platform::SysErrorMessage(error), error);
  }
  throw platform::EFCreateError("Cannot create file \"" + local +
                                    ".part\". Every temporary name beside it, from .part to "
                                    ".999.part, is taken by an existing file.",
                                ERROR_FILE_EXISTS);
}

}  // namespace

void ParsePassiveArgument(const std::string& argument, std::string& address, WORD& port) {
  std::string text = argument;
  std::size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    at = text.find(',', at);
    if (at == std::string::npos) break;
    text[at] = '.';
  }
  std::string p1, p2;
  auto comma = text.find(',');
  if (comma == std::string::npos) {
    address = text;
  } else {
    address = text.substr(0, comma);
    std::string rest = text.substr(comma + 1);
    auto second = rest.find(',');
    p1 = rest.substr(0, second);
    if (second != std::string::npos) p2 = rest.substr(second + 1);
  }
  // The numbers may be as large as the server likes: computed wide, then kept to 16 bits.
  const long value = static_cast<long>(DecimalOrZero(p1)) * 256 + DecimalOrZero(p2);
  port = static_cast<WORD>(value & 0xFFFF);
}

std::string FtpPortArgument(const std::string& dottedAddress, WORD port) {
  std::string argument =
      dottedAddress + "." + std::to_string(port >> 8) + "." + std::to_string(port & 0xFF);
  std::replace(argument.begin(), argument.end(), '.', ',');
  return argument;
}

// ---------------------------------------------------------------------------------------------
// Operations

void TApdCustomFtpClient::BeginTransfer(TFtpClientState state) {
  FState = state;
  FTransferCommandSent = false;
  FOperationAborted = false;
  FDataEnded = false;
  FFinalReply = 0;
  FLocalFileFailed = false;
  FCutAfterWritten = false;
  FWroteLocalFile = false;
  FListingCount = 0;
  FByteCount = 0;
  // A failure of this retrieval's data connection is reported, whatever happened before. A
  // listing leaves the flag as it is: it writes no file.
  if (state == fcRetrieving) FAbort = false;
}

bool TApdCustomFtpClient::ListDirectory(const std::string& Directory, bool FullListing) {
  if (FState != fcIdle) return false;
  RequireOneLine("directory", Directory);
  BeginTransfer(fcListing);
  std::string command = FullListing ? "LIST" : "NLST";
  if (!Directory.empty()) command += " " + Directory;
  PushCommand(command);
  std::memset(FDataBuffer.get(), 0, FtpDataBufferSize + 1);
  if (FPassiveMode) PushCommand("PASV");
  PushCommand("TYPE A");
  return StartDataConnection();
}

bool TApdCustomFtpClient::RetrieveFile(const std::string& RemoteName, const std::string& LocalName,
                                       TFtpWriteMode Mode) {
  if (FState != fcIdle || RemoteName.empty() || LocalName.empty()) return false;
  RequireOneLine("file name", RemoteName);
  BeginTransfer(fcRetrieving);
  TFtpLogCode logCode = flDownloading;
  try {
    PushCommand("RETR " + RemoteName);
    FRemoteName = RemoteName;
    FLocalName = LocalName;
    OpenLocalFile(Mode);
    if (Mode == wmResume) {
      PushCommand("REST " + std::to_string(FResumeOffset));
      logCode = flRestarting;
    }
  } catch (...) {
    // Nothing has been sent: the client stays idle and the caller learns why.
    ClearCommands();
    CloseLocalFile(false);
    FState = fcIdle;
    throw;
  }
  ReportLog(logCode);
  if (FPassiveMode) PushCommand("PASV");
  PushCommand(FFileType == ftAscii ? "TYPE A" : "TYPE I");
  return StartDataConnection();
}

void TApdCustomFtpClient::OpenLocalFile(TFtpWriteMode mode) {
  using platform::TFileStream;
  FTempName.clear();
  if (mode == wmReplace) {
    // The received data goes beside the file and replaces it only when all has arrived, so
    // a failed retrieval never leaves a half file under the name. An existing file that
    // cannot be written is refused now, as an open of it would be.
    if (platform::FileExists(FLocalName))
      TFileStream probe(FLocalName, platform::fmOpenWrite | platform::fmShareDenyNone);
    FTempName = CreateTemporaryFor(FLocalName);
    FLocalFile = std::make_unique<TFileStream>(
        FTempName, platform::fmOpenReadWrite | platform::fmShareExclusive);
    return;
  }
  if (!platform::FileExists(FLocalName)) TFileStream create(FLocalName, platform::fmCreate);
  FLocalFile = std::make_unique<TFileStream>(
      FLocalName, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
  const std::int64_t size = FLocalFile->Size();
  if (mode == wmAppend) {
    FLocalFile->Seek(0, platform::soEnd);
  } else {
    if (FResumeOffset < 0 || FResumeOffset > size) FResumeOffset = size;
    FLocalFile->Seek(FResumeOffset, platform::soBeginning);
    // The server sends everything after the restart point: old bytes beyond what it sent
    // are not part of the file.
    FCutAfterWritten = true;
  }
}

bool TApdCustomFtpClient::StartDataConnection() {
  bool prepared = PrepareDataConnection();
  if (!prepared && (FState == fcListing || FState == fcRetrieving)) {
    ClearCommands();
    SetStateIdle();
  }
  return prepared;
}

bool TApdCustomFtpClient::PrepareDataConnection() {
  try {
    if (FPassiveMode) {
      FDataSocket = FSocket->MakeStreamSocket();
      // Connect notices too, so that a refused connect is reported at once.
      FSocket->RequestNotices(FDataSocket, DataNotices);
      SendNextCommand();
      return FDataSocket != NoSocket;
    }
    return PrepareActive();
  } catch (...) {
    ReleaseDataConnection();
    ClearCommands();
    return false;
  }
}

bool TApdCustomFtpClient::PrepareActive() {
  TApdBaseDispatcher* dispatcher = CurrentDispatcher();
  auto& winsock = WinsockEntryTable();
  if (!dispatcher || !winsock.getsockname) return false;
  int length = sizeof FLocalAddress;
  if (winsock.getsockname(static_cast<winsock::SOCKET>(dispatcher->DeviceId),
                          reinterpret_cast<winsock::sockaddr*>(&FLocalAddress), &length) != 0)
    return false;
  if (FListenSocket == NoSocket) {
    FListenSocket = FSocket->MakeStreamSocket();
    if (FListenSocket != NoSocket) {
      FSocket->RequestNotices(FListenSocket, ListenNotices);
      FLocalAddress.sin_family = winsock::AF_INET;
      FLocalAddress.sin_port = FSocket->PortToNetwork(0);
      if (FSocket->BindLocal(FListenSocket, FLocalAddress) != 0) return false;
    }
  }
  length = sizeof FLocalAddress;
  if (winsock.getsockname(static_cast<winsock::SOCKET>(FListenSocket),
                          reinterpret_cast<winsock::sockaddr*>(&FLocalAddress), &length) != 0)
    return false;
  const WORD port = FSocket->PortFromNetwork(FLocalAddress.sin_port);
  // Listening before the PORT goes out: a server may connect as soon as it reads it.
  if (FSocket->StartListening(FListenSocket, 5) != 0) return false;
  Send("PORT " + FtpPortArgument(FSocket->AddressToDotted(FLocalAddress.sin_addr.s_addr), port));
  return true;
}

std::uint32_t TApdCustomFtpClient::ControlPeerAddress() {
  TApdBaseDispatcher* dispatcher = CurrentDispatcher();
  if (!dispatcher) return 0;
  auto& winsock = WinsockEntryTable();
  TSockAddrIn peer{};
  int length = sizeof peer;
  if (winsock.getpeername &&
      winsock.getpeername(static_cast<winsock::SOCKET>(dispatcher->DeviceId),
                          reinterpret_cast<winsock::sockaddr*>(&peer), &length) == 0)
    return peer.sin_addr.s_addr;
  if (auto* ws = dynamic_cast<TApdWinsockDispatcher*>(dispatcher))
    return ws->RemoteAddress.sin_addr.s_addr;
  return 0;
}

void TApdCustomFtpClient::PassiveConnect(const std::string& argument) {
  std::string address;
  WORD port = 0;
  ParsePassiveArgument(argument, address, port);
  FPassiveTarget.ReplyAddress = FSocket->DottedToAddress(address);
  // The server names an address, but a server could aim the client anywhere that way: the
  // data connection goes to the host the control connection is connected to.
  FPassiveTarget.ConnectAddress = ControlPeerAddress();
  FPassiveTarget.Port = port;
  if (FDataSocket == NoSocket) return;
  TSockAddrIn target{};
  target.sin_family = winsock::AF_INET;
  target.sin_port = FSocket->PortToNetwork(port);
  target.sin_addr.s_addr = FPassiveTarget.ConnectAddress;
  FSocket->StartConnect(FDataSocket, target);
}

// ---------------------------------------------------------------------------------------------
// Socket notices

void TApdCustomFtpClient::SockAccept(TObject*, TSocket socket) {
  if (socket != FListenSocket || FListenSocket == NoSocket) return;
  TSockAddrIn peer{};
  TSocket accepted = FSocket->TakeConnection(FListenSocket, peer);
  if (accepted == NoSocket) return;
  // Only the server may deliver the data; a second or a foreign connection is turned away.
  const std::uint32_t server = ControlPeerAddress();
  if (FDataSocket != NoSocket || (server != 0 && peer.sin_addr.s_addr != server) ||
      (FState != fcListing && FState != fcRetrieving)) {
    FFinishing = true;
    try {
      FSocket->DropSocket(accepted);
    } catch (...) {
      // A connection turned away concerns no operation: there is nobody to tell.
    }
    FFinishing = false;
    return;
  }
  FDataSocket = accepted;
  FAcceptAddress = peer;
}

void TApdCustomFtpClient::SockRead(TObject*, TSocket socket) {
  if (socket != FDataSocket || FDataSocket == NoSocket) return;
  if (FState != fcListing && FState != fcRetrieving) return;
  ReceiveChunk();
}

void TApdCustomFtpClient::SockWrite(TObject*, TSocket) {}

void TApdCustomFtpClient::SockDisconnect(TObject*, TSocket socket) {
  if (socket != FDataSocket || FDataSocket == NoSocket) return;
  if (FState != fcListing && FState != fcRetrieving) return;
  DataConnectionEnded(false);
}

void TApdCustomFtpClient::SockError(TObject*, TSocket socket, int errorCode) {
  if (FFinishing) return;
  if (socket != NoSocket && socket != FDataSocket && socket != FListenSocket) return;
  if (FState != fcListing && FState != fcRetrieving) {
    FAbort = true;
    return;
  }
  if (!FAbort) {
    FAbort = true;
    ReportError(errorCode, nullptr);
    return;
  }
  // After AbortTransfer the failure only ends the data connection.
  DataConnectionEnded(true);
}

// ---------------------------------------------------------------------------------------------
// Receiving

bool TApdCustomFtpClient::ReceiveChunk() {
  if (FDataSocket == NoSocket) return false;
  if (FState == fcRetrieving) {
    if (!FLocalFile && !FAbort && !FLocalFileFailed) return false;
    // A chunk fills at most the data buffer, so that progress is reported at least every
    // 32,769 bytes.
    int n = FSocket->ReceiveInto(FDataSocket, FDataBuffer.get(), FtpDataBufferSize + 1, 0);
    if (n <= 0) return false;
    // After an abort or a failure the data is read only so that the server can finish: it is
    // neither written nor counted, and keeps no transfer alive.
    if (FAbort || FLocalFileFailed || !FLocalFile) return true;
    RearmTransferTimer();
    WriteChunk(FDataBuffer.get(), n);
    return true;
  }
  if (FState == fcListing) {
    RearmTransferTimer();
    const std::int64_t room = FtpDataBufferSize - FListingCount;
    int n;
    if (room > 0) {
      n = FSocket->ReceiveInto(FDataSocket, FDataBuffer.get() + FListingCount,
                               static_cast<int>(room), 0);
      if (n > 0) FListingCount += n;
    } else {
      // Beyond the kept text the bytes are read and dropped, so the server can finish.
      if (!FOverflowBuffer) FOverflowBuffer = std::make_unique<char[]>(FtpDataBufferSize);
      n = FSocket->ReceiveInto(FDataSocket, FOverflowBuffer.get(), FtpDataBufferSize, 0);
    }
    if (n <= 0) return false;
    FByteCount += n;
    return true;
  }
  return false;
}

void TApdCustomFtpClient::WriteChunk(const char* data, int count) {
  std::int64_t done = 0;
  while (done < count) {
    SetLastError(0);
    std::int64_t written = FLocalFile->Write(data + done, count - done);
    if (written <= 0) {
      DWORD code = GetLastError();
      LocalFileFailed(code ? static_cast<int>(code) : 29);
      return;
    }
    done += written;
    FByteCount += written;
    FWroteLocalFile = true;
  }
  ReportStatus(fsProgress);
}

void TApdCustomFtpClient::LocalFileFailed(int code) {
  FLocalFileFailed = true;
  std::exception_ptr error;
  std::string text;
  try {
    platform::RaiseInOutError(code);
  } catch (const std::exception& e) {
    error = std::current_exception();
    text = e.what();
  }
  // Not shown from here: a box keeps dispatching messages, and the next operation would then
  // start while this transfer's code is still running under it.
  FFailuresToShow.push_back(error);
  if (FFinishing) return;
  // The retrieval is over: the data connection is finished, a replacement file dropped.
  ReportError(code, text);
}

bool TApdCustomFtpClient::ShowQueuedFailures() {
  if (FFailuresToShow.empty()) return true;
  std::vector<std::exception_ptr> failures;
  failures.swap(FFailuresToShow);
  const std::weak_ptr<int> alive = FLifeToken;
  for (const std::exception_ptr& failure : failures) {
    Application->HandleException(this, failure);
    if (alive.expired()) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// End of a transfer

void TApdCustomFtpClient::DataConnectionEnded(bool failed) {
  if (!failed) {
    // Winsock reports the close while bytes may still be waiting.
    while (FState == fcListing || FState == fcRetrieving) {
      if (!ReceiveChunk()) break;
    }
    if (FState != fcListing && FState != fcRetrieving) return;
  }
  FFinishing = true;
  try {
    if (FDataSocket != NoSocket) {
      FSocket->RequestNotices(FDataSocket, 0);
      FSocket->DropSocket(FDataSocket);
    }
    if (FListenSocket != NoSocket) FSocket->DropSocket(FListenSocket);
  } catch (...) {
    // The connection has ended already; a handle that fails to close is forgotten all the
    // same, and the transfer's outcome is decided by its replies.
  }
  FFinishing = false;
  FDataSocket = NoSocket;
  FListenSocket = NoSocket;
  FDataEnded = true;
  TryCompleteTransfer();
}

void TApdCustomFtpClient::TryCompleteTransfer() {
  if (FState != fcListing && FState != fcRetrieving) return;
  // An aborted transfer never completes: the server's answer ends it, or its silence.
  if (FOperationAborted) {
    AbortEndsUnanswered();
    return;
  }
  if (!FDataEnded || FFinalReply == 0) return;
  if (FState == fcListing) {
    // The listing's text is taken after every received byte is in.
    SetStateIdle();
    ReportStatus(fsDataReceived, std::string(FDataBuffer.get()));
    return;
  }
  if (!CommitLocalFile()) return;
  ReportStatus(fsTransferDone);
}

void TApdCustomFtpClient::CutLocalFile(bool complete) {
  // A complete file ends where the data ended, even when none came; one that a failure ended
  // is cut only when something of this retrieval was written.
  if (!FLocalFile || !FCutAfterWritten || (!complete && !FWroteLocalFile)) return;
  FCutAfterWritten = false;
  FLocalFile->SetSize(FLocalFile->Position());
}

bool TApdCustomFtpClient::CommitLocalFile() {
  try {
    CutLocalFile(true);
  } catch (...) {
    DWORD code = GetLastError();
    FLocalFile.reset();
    LocalFileFailed(code ? static_cast<int>(code) : 5);
    return false;
  }
  FLocalFile.reset();
  if (FTempName.empty()) return true;
  std::string temp = std::move(FTempName);
  FTempName.clear();
  if (platform::RenameFileReplacing(temp, FLocalName)) return true;
  DWORD code = GetLastError();
  platform::DeleteFileAt(temp);
  LocalFileFailed(code ? static_cast<int>(code) : 5);
  return false;
}

void TApdCustomFtpClient::FinishDataConnection() {
  const bool wasFinishing = FFinishing;
  FFinishing = true;
  if (FDataSocket != NoSocket) {
    try {
      FSocket->RequestNotices(FDataSocket, 0);
      FSocket->StopSocket(FDataSocket, 1);
      while ((FState == fcListing || FState == fcRetrieving) && ReceiveChunk()) {
      }
      FSocket->StopSocket(FDataSocket, 2);
    } catch (...) {
      // Draining is a courtesy to the server; the operation is ending with its own report,
      // and the connection is released below in any case.
    }
  }
  ReleaseDataConnection();
  FFinishing = wasFinishing;
}

void TApdCustomFtpClient::ReleaseDataConnection() {
  const bool wasFinishing = FFinishing;
  FFinishing = true;
  if (FSocket) {
    for (TSocket* socket : {&FDataSocket, &FListenSocket}) {
      if (*socket == NoSocket) continue;
      try {
        FSocket->DropSocket(*socket);
      } catch (...) {
        // Released while an operation ends or the session closes: a handle that fails to
        // close is forgotten all the same, and the ending operation has its own report.
      }
      *socket = NoSocket;
    }
  }
  FDataSocket = NoSocket;
  FListenSocket = NoSocket;
  FFinishing = wasFinishing;
  // A retrieval that succeeded has committed its file already; what is still open here
  // belongs to one that did not.
  CloseLocalFile(false);
}

void TApdCustomFtpClient::CloseLocalFile(bool keep) {
  // A resumed file that a failure ended keeps what came, and nothing after it, so that it can
  // be resumed from its end.
  try {
    CutLocalFile(false);
  } catch (...) {
    // Old bytes stay behind what came, and resuming from the file's end would build a wrong
    // file: the failure is shown (the operation is ending with its own report).
    FFailuresToShow.push_back(std::current_exception());
  }
  FLocalFile.reset();
  if (!FTempName.empty()) {
    if (!keep) platform::DeleteFileAt(FTempName);
    FTempName.clear();
  }
}
