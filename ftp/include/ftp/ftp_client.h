// TApdCustomFtpClient: an FTP client component that logs in to one server over one control
// connection (its Winsock port base) and runs one operation at a time: change directory,
// report the current directory, list a directory, retrieve a file, abort. Every operation
// only starts its work and returns; results arrive later as events on the user-interface
// thread, fired from the client's own hidden window. TApdFtpClient publishes its properties.
//
// Events of one operation, for a usual dialogue:
//   login:     fsConnected (220), fsLoggedIn (230); a refusal such as 530 gives OnFtpError and
//              the client stays logging in (OpenSession again sends "USER " once more)
//   directory: fsCommandDone (250) or fsDirectoryReply (257, the quoted name)
//   listing:   fsDataReceived with the listing text (at most 32,768 bytes)
//   retrieval: fsProgress per received chunk (ByteCount), then fsTransferDone
//   logout:    fsLoggedOut (and the log code flLoggedOut), then fsClosed when the server's
//              221 arrived
//   timeouts:  fsTimedOut (TransferTimeout); OnFtpError(-1) (ConnectTimeout)
// A listing or retrieval ends once, when both its data connection has ended and the server's
// final reply has come, in whichever order: fsDataReceived / fsTransferDone when the data
// connection closed cleanly and the reply is 226 or 250; otherwise one OnFtpError (the error
// reply's code and text, or the Winsock error of the data connection). OnFtpReply is fired
// for every line received on the control connection.
//
// The local file of a retrieval: wmReplace writes beside it and replaces it only when the
// retrieval has succeeded; a failed one leaves it as it was. wmResume keeps the file up to
// ResumeOffset and then what arrived, and nothing older after it: a retrieval that succeeded
// ends the file there; one that failed does so once it has written anything. A local write
// that fails is shown once in the application's error box, then reported as OnFtpError with
// the Windows error number and the error's text (or with the server's error, when that was
// already ending the retrieval); the box comes when the report is delivered, never from
// inside the transfer.
//
// An aborted listing or retrieval never succeeds: it ends with OnFtpError carrying the
// server's first answer to the transfer command or to "ABOR" (426, 226, 225 ...), or, when
// the server says nothing once the data connection has ended, with
// OnFtpError(426, "426 Transfer aborted by user"). wmReplace then leaves the file as it was;
// wmAppend and wmResume keep what was written before the abort.
//
// Replies are tied to the commands they answer: every command sent is remembered in order,
// and a reply goes to the oldest one still waiting, except that an aborted transfer command
// and "ABOR" itself may never be answered (servers answer the pair with two replies, one or
// none). Those two are passed over when the reply is not one they could have been given, so
// the next command's reply is never taken for theirs.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "ftp/ftp_types.h"
#include "platform/messages.h"
#include "platform/sysutils.h"
#include "port/socket.h"
#include "port/winsock_port.h"

class TApdDataPacket;
class TApdFtpLog;
class TApdSocket;

namespace platform {
class TFileStream;
}

// The engine's states; "busy" is any state beyond idle.
enum TFtpClientState : BYTE {
  fcClosed = 0,
  fcLoggingIn = 1,
  fcIdle = 2,
  fcListing = 3,
  fcRetrieving = 4,
  fcDirCommand = 5,
};

inline constexpr int FtpCommandStackSize = 32;
inline constexpr int DefaultTransferTimeout = 1092;  // ticks: 60.06 s
// Listing text kept; a chunk of file data is at most one more byte than this.
inline constexpr int FtpDataBufferSize = 32768;
inline constexpr int FtpReplyBufferSize = 32768;

// The commands sent on the control connection whose replies have not come yet, oldest first,
// and which reply answers which of them.
class TFtpReplyLedger {
 public:
  enum TKind : std::uint8_t {
    ckConnect,  // the greeting answers the connection
    ckLogin,
    ckDirectory,
    ckSetting,  // TYPE, PORT, REST: answered 200 or 350
    ckPassive,
    ckTransfer,  // RETR, LIST, NLST
    ckAbort,
    ckOther,
  };
  struct TEntry {
    TKind Kind = ckOther;
    unsigned Operation = 0;  // the operation the command was sent for
    bool Started = false;    // a transfer command answered with a preliminary reply
    // Servers answer an aborted transfer and its "ABOR" with two replies, one or none.
    bool MayGoUnanswered = false;
  };

  static TKind KindOf(const std::string& command);
  void Sent(TKind kind, unsigned operation);
  // AbortTransfer: the transfer commands of the operation may go unanswered from now on.
  void Aborting(unsigned operation);
  // A preliminary reply (1xx): the oldest transfer command not started yet has started.
  void Preliminary();
  // A final reply: the command it answers, taken off the list; false when none waits.
  // Commands that may go unanswered and could not have been given this reply are passed over
  // (and forgotten): the reply belongs to a later command.
  bool Answer(int code, TEntry& answered);
  // Whether a command of the operation must still be answered.
  bool Awaits(unsigned operation) const;
  void Clear() { FEntries.clear(); }
  std::size_t Size() const { return FEntries.size(); }

 private:
  static bool CanAnswer(const TEntry& entry, int code);
  std::deque<TEntry> FEntries;
};

class TApdCustomFtpClient : public TApdCustomWinsockPort {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TApdCustomFtpClient(TComponent* owner);
  ~TApdCustomFtpClient() override;
  void BeforeDestruction() override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

  // ---- Operations: each returns at once ----
  // A name, directory, user name, password or account that holds a CR, LF or NUL would end
  // its command early and smuggle in another: each operation refuses one by raising
  // EFtpArgument before anything is sent or changed.
  // Closed: opens the control connection to ServerAddress:WsPort (result: whether the port
  // opened; errors opening it are raised). Logging in: sends "USER " again, true. Otherwise
  // false.
  bool OpenSession();
  // Sends "QUIT" when connected, handles messages for 5 ticks, closes the connection. Result:
  // whether the connection was open.
  bool CloseSession();
  // Idle only: "CWD " + directory, or "PWD" for an empty one.
  bool ChangeDirectory(const std::string& Directory);
  // Idle only: "PWD".
  bool ReportCurrentDirectory();
  // Idle only: "NLST" or "LIST" (FullListing), with " " + Directory when not empty. False when
  // not idle or the data connection could not be prepared.
  bool ListDirectory(const std::string& Directory, bool FullListing);
  // Idle only, both names not empty: "RETR " + RemoteName into LocalName. An error opening
  // the local file is raised (the client stays idle).
  bool RetrieveFile(const std::string& RemoteName, const std::string& LocalName,
                    TFtpWriteMode Mode);
  // Busy only: sends "ABOR" at once; received file data is no longer written. Called before
  // a listing or retrieval has sent its transfer command, it sends nothing more for it: the
  // server's answer to "ABOR" ends the operation as OnFtpError with that reply.
  bool AbortTransfer();
  // True from a successful OpenSession until the session is closed.
  bool IsSessionOpen() const { return FState != fcClosed; }

  // ---- Properties ----
  const std::string& Account() const { return FAccount; }
  void SetAccount(const std::string& account) { FAccount = account; }
  // Ticks; at most 0: no limit.
  int ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int ticks) { FConnectTimeout = ticks; }
  TFtpFileType FileType() const { return FFileType; }
  void SetFileType(TFtpFileType type) { FFileType = type; }
  // When set, log codes go to the log component and OnFtpLog is not fired.
  TApdFtpLog* FtpLog() const { return FFtpLog; }
  void SetFtpLog(TApdFtpLog* log);
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& password) { FPassword = password; }
  bool PassiveMode() const { return FPassiveMode; }
  void SetPassiveMode(bool passive) { FPassiveMode = passive; }
  // Ticks; at most 0 disables the transfer timer.
  int TransferTimeout() const { return FTransferTimeout; }
  void SetTransferTimeout(int ticks) { FTransferTimeout = ticks; }
  const std::string& UserName() const { return FUserName; }
  void SetUserName(const std::string& name) { FUserName = name; }

  // Data bytes received in the current listing or retrieval.
  std::int64_t ByteCount() const { return FByteCount; }
  // Where a wmResume retrieval restarts; RetrieveFile replaces a negative value, or one beyond
  // the end of the local file, by the file's size.
  std::int64_t ResumeOffset() const { return FResumeOffset; }
  void SetResumeOffset(std::int64_t offset) { FResumeOffset = offset; }
  // Names of the latest RetrieveFile (read by the history log).
  const std::string& RemoteName() const { return FRemoteName; }
  const std::string& LocalName() const { return FLocalName; }

  TFtpClientState State() const { return FState; }
  HWND Window() const { return FWindow; }
  TApdDataPacket* ReplyPacket() const { return FReplyPacket; }

  // The latest passive connect: the address named by the 227 reply (network order), the
  // address actually connected to (the control connection's peer, network order) and the
  // port (host order).
  struct TPassiveTarget {
    std::uint32_t ReplyAddress = 0;
    std::uint32_t ConnectAddress = 0;
    WORD Port = 0;
  };
  const TPassiveTarget& LastPassiveTarget() const { return FPassiveTarget; }

  TFtpErrorEvent OnFtpError;
  TFtpLogEvent OnFtpLog;
  TFtpReplyEvent OnFtpReply;
  TFtpStatusEvent OnFtpStatus;

 protected:
  void DoConnected() override;
  void DoDisconnected() override;

 private:
  // ---- Command engine ----
  void Shutdown();
  void LinkInsertedLog();
  void WndProc(TMessage& message);
  void HandleMessage(TMessage& message);
  void LineIntake(TObject* sender, const std::string& line);
  void HandleReply(int code, const std::string& line);
  void DispatchReply(int code);
  void ErrorPath(int code);
  bool AbortedTransfer() const;
  void AbortEndsUnanswered();
  void StopAbortWait();
  void TimerHandler(UINT msg, WPARAM wParam, LPARAM lParam);
  void Send(const std::string& command);
  void PushCommand(const std::string& command);
  void SendNextCommand();
  void ClearCommands() { FQueueCount = 0; }
  void SetState(TFtpClientState state);
  void SetStateClosed();
  void SetStateIdle();
  void ReportStatus(TFtpStatusCode code);
  void ReportStatus(TFtpStatusCode code, const std::string& text);
  void ReportError(int code, const std::string* text);
  void ReportError(int code, const std::string& text);
  void ReportLog(TFtpLogCode code);
  void PostText(UINT msg, WPARAM code, const std::string* text);
  std::unique_ptr<std::string> TakeText(LPARAM lParam);
  void ForgetPendingTexts();
  void RemoveTransferTimer();
  void RestartTransferTimer();
  void RearmTransferTimer();
  void StopConnectTimer();
  void WaitForGoodbye(bool wasOpen);

  // ---- Data connections and transfers ----
  void BeginTransfer(TFtpClientState state);
  void OpenLocalFile(TFtpWriteMode mode);
  bool StartDataConnection();
  bool PrepareDataConnection();
  bool PrepareActive();
  void PassiveConnect(const std::string& argument);
  void SockAccept(TObject* sender, TSocket socket);
  void SockDisconnect(TObject* sender, TSocket socket);
  void SockError(TObject* sender, TSocket socket, int errorCode);
  void SockRead(TObject* sender, TSocket socket);
  void SockWrite(TObject* sender, TSocket socket);
  // One receive; false when nothing came.
  bool ReceiveChunk();
  void WriteChunk(const char* data, int count);
  // Ends the retrieval on a local file failure. The failure is queued to be shown, and
  // reported as an error unless the data connection is being finished: the operation is then
  // already ending with a report of its own.
  void LocalFileFailed(int code);
  // Shows the queued failures through the application; false when the client did not outlive
  // them (a box keeps dispatching messages).
  bool ShowQueuedFailures();
  void DataConnectionEnded(bool failed);
  bool LocalFileCannotBeCut();
  void TryCompleteTransfer();
  void CutLocalFile(bool complete);
  bool CommitLocalFile();
  void FinishDataConnection();
  void ReleaseDataConnection();
  void CloseLocalFile(bool keep);
  std::uint32_t ControlPeerAddress();

  // ---- Fields ----
  bool FAbort = false;
  std::string FCommands[FtpCommandStackSize];
  std::uint8_t FQueueCount = 0;
  TSockAddrIn FAcceptAddress{};
  TSocket FDataSocket = NoSocket;
  HWND FWindow = nullptr;
  TApdDataPacket* FReplyPacket = nullptr;
  std::unique_ptr<char[]> FDataBuffer;
  std::unique_ptr<char[]> FOverflowBuffer;  // listing bytes beyond the kept text
  std::string FReplyBuffer;
  TSocket FListenSocket = NoSocket;
  TSockAddrIn FLocalAddress{};
  std::unique_ptr<platform::TFileStream> FLocalFile;
  bool FMultiLine = false;
  std::string FMultiLineTerminator;
  bool FDestroying = false;
  TFtpClientState FState = fcClosed;
  TApdSocket* FSocket = nullptr;
  DWORD FTransferTimer = 0;
  bool FTimerHandlerRegistered = false;
  bool FConnectTimerRunning = false;
  bool FShutDown = false;
  DWORD FTimerSerial = 0;  // counts transfer timer restarts

  std::string FAccount;
  std::int64_t FByteCount = 0;
  int FConnectTimeout = 0;
  TFtpFileType FFileType = ftBinary;
  TApdFtpLog* FFtpLog = nullptr;
  std::string FLocalName;
  std::string FPassword;
  bool FPassiveMode = false;
  int FTransferTimeout = DefaultTransferTimeout;
  std::string FRemoteName;
  std::int64_t FResumeOffset = 0;
  std::string FUserName;

  // Transfer bookkeeping: an operation with a data connection ends when both its data
  // connection has ended and its final reply has come.
  bool FTransferCommandSent = false;
  bool FOperationAborted = false;  // AbortTransfer during this listing or retrieval
  bool FAbortWaitRunning = false;  // the server's answer to an abort is given a moment
  bool FDataEnded = false;
  int FFinalReply = 0;  // the transfer command's final reply code, 0 while none
  std::string FFinalReplyText;
  bool FFinishing = false;        // socket failures while finishing stay silent
  bool FLocalFileFailed = false;  // a local write failed: the retrieval is over
  // Local file failures not shown yet: the application shows them when the client next
  // delivers one of its reports, outside the transfer that failed.
  std::vector<std::exception_ptr> FFailuresToShow;
  // Lives as long as the client: tells a report handler whether the client outlived the boxes.
  std::shared_ptr<int> FLifeToken = std::make_shared<int>(0);
  bool FCutAfterWritten = false;   // wmResume: the file ends where the received data ends
  bool FWroteLocalFile = false;    // received data has been written to the local file
  std::int64_t FListingCount = 0;  // listing bytes stored in the data buffer
  std::string FTempName;           // wmReplace writes here until the retrieval succeeded
  // Commands waiting for their replies. Each belongs to an operation (counted up whenever one
  // ends); a reply to a command of an operation that already ended is taken without effect.
  TFtpReplyLedger FReplies;
  unsigned FOperation = 0;
  TPassiveTarget FPassiveTarget;

  // Texts posted with messages and not handled yet (freed at destruction).
  std::unordered_set<std::string*> FPendingTexts;
  std::vector<TComponent*> FInsertedCandidates;
};

class TApdFtpClient : public TApdCustomFtpClient {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TApdFtpClient(TComponent* owner) : TApdCustomFtpClient(owner) {}
};

// The argument of a 227 reply: the text between its first "(" and the following ")" (to the
// end without one); empty without "(".
std::string PassiveReplyArgument(const std::string& reply);
// The name of a 257 reply: the text between its first double quote and the next one; empty
// without both.
std::string QuotedDirectoryName(const std::string& reply);
// The "(h1,h2,h3,h4,p1,p2)" text of a 227 reply: the dotted address and the port.
void ParsePassiveArgument(const std::string& argument, std::string& address, WORD& port);
// The argument of "PORT ": "192,168,1,5,19,137" for 192.168.1.5 and port 5001.
std::string FtpPortArgument(const std::string& dottedAddress, WORD port);

// Raised by the operations for an argument that cannot be sent on one command line.
class EFtpArgument : public platform::Exception {
 public:
  using platform::Exception::Exception;
};
// Raises EFtpArgument, naming `what`, when text holds a CR, LF or NUL.
void RequireOneLine(const char* what, const std::string& text);

// Registers TApdFtpClient, TApdFtpLog and TApdDataPacket with the class registry (also done
// at start-up; calling it again does nothing).
void RegisterFtpComponents();
