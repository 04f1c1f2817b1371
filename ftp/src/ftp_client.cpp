// The command engine of the FTP client: operations on the control connection, reply lines,
// multi-line replies, the state machine, the hidden window and the two timers.
#include "ftp/ftp_client.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "dispatch/dispatcher.h"
#include "dispatch/tick_clock.h"
#include "dispatch/triggers.h"
#include "forms/application.h"
#include "forms/class_record.h"
#include "forms/class_registry.h"
#include "ftp/data_packet.h"
#include "ftp/ftp_log.h"
#include "platform/eventloop.h"
#include "platform/files.h"
#include "platform/sysutils.h"
#include "port/socket.h"

namespace {

constexpr UINT_PTR ConnectTimerId = 1;
// An aborted transfer whose data connection has ended gives the server this long to answer.
constexpr UINT_PTR AbortWaitTimerId = 2;
constexpr UINT AbortReplyWaitMs = 1000;

const TEnumInfo& FileTypeNames() {
  static const TEnumInfo info{"TFtpFileType", {"ftAscii", "ftBinary"}};
  return info;
}
const TEnumInfo& TraceLogStateNames() {
  static const TEnumInfo info{"TTraceLogState",
                              {"tlOff", "tlOn", "tlDump", "tlAppend", "tlClear", "tlPause"}};
  return info;
}

// The first three characters as a decimal number; 0 when they are not one.
int ReplyCodeOf(const std::string& line) {
  if (line.size() < 3) return 0;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    char c = line[static_cast<std::size_t>(i)];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return code;
}

std::string FromFifth(const std::string& reply) {
  return reply.size() > 4 ? reply.substr(4) : std::string();
}

}  // namespace

// Raises EFtpArgument when text cannot go on one command line.
void RequireOneLine(const char* what, const std::string& text) {
  if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    throw EFtpArgument(std::string("FTP ") + what + " holds a line break or NUL: not sent");
}

std::string QuotedDirectoryName(const std::string& reply) {
  auto first = reply.find('"');
  if (first == std::string::npos) return {};
  auto second = reply.find('"', first + 1);
  if (second == std::string::npos) return {};
  return reply.substr(first + 1, second - first - 1);
}

std::string PassiveReplyArgument(const std::string& reply) {
  auto open = reply.find('(');
  if (open == std::string::npos) return {};
  auto close = reply.find(')', open + 1);
  return reply.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

// ---------------------------------------------------------------------------------------------
// Which reply answers which command

TFtpReplyLedger::TKind TFtpReplyLedger::KindOf(const std::string& command) {
  const std::string verb = command.substr(0, command.find(' '));
  if (verb == "USER" || verb == "PASS" || verb == "ACCT") return ckLogin;
  if (verb == "CWD" || verb == "PWD") return ckDirectory;
  if (verb == "TYPE" || verb == "PORT" || verb == "REST") return ckSetting;
  if (verb == "PASV") return ckPassive;
  if (verb == "RETR" || verb == "LIST" || verb == "NLST") return ckTransfer;
  if (verb == "ABOR") return ckAbort;
  return ckOther;
}

void TFtpReplyLedger::Sent(TKind kind, unsigned operation) {
  TEntry entry;
  entry.Kind = kind;
  entry.Operation = operation;
  entry.MayGoUnanswered = kind == ckAbort;
  FEntries.push_back(entry);
}

void TFtpReplyLedger::Aborting(unsigned operation) {
  for (TEntry& entry : FEntries)
    if (entry.Kind == ckTransfer && entry.Operation == operation) entry.MayGoUnanswered = true;
}

void TFtpReplyLedger::Preliminary() {
  for (TEntry& entry : FEntries) {
    if (entry.Kind == ckTransfer && !entry.Started) {
      entry.Started = true;
      return;
    }
  }
}

bool TFtpReplyLedger::CanAnswer(const TEntry& entry, int code) {
  const bool refusal = code >= 400 && code <= 599;
  switch (entry.Kind) {
    case ckConnect:
      return code == 220 || refusal;
    case ckLogin:
      return code == 202 || code == 230 || code == 331 || code == 332 || refusal;
    case ckDirectory:
      return (code >= 200 && code <= 299 && code != 225 && code != 226) || refusal;
    case ckSetting:
      return code == 200 || code == 350 || refusal;
    case ckPassive:
      return code == 227 || refusal;
    case ckTransfer:
      // A transfer that has begun can only end, whole or cut off. (250, which some servers
      // end a transfer with, is left out: it is what a following CWD is answered with.)
      if (entry.Started)
        return code == 226 || code == 421 || code == 425 || code == 426 || code == 451;
      return code == 226 || code == 250 || refusal;
    case ckAbort:
      return code == 225 || code == 226 || code == 421 || (code >= 500 && code <= 504);
    case ckOther:
      return true;
  }
  return true;
}

bool TFtpReplyLedger::Answer(int code, TEntry& answered) {
  // Servers answer in order: a command that must be answered takes the reply whatever it is;
  // one that may go unanswered takes it only when it could have been given it.
  while (!FEntries.empty()) {
    const TEntry entry = FEntries.front();
    FEntries.pop_front();
    if (!entry.MayGoUnanswered || CanAnswer(entry, code)) {
      answered = entry;
      return true;
    }
  }
  return false;
}

bool TFtpReplyLedger::Awaits(unsigned operation) const {
  for (const TEntry& entry : FEntries)
    if (entry.Operation == operation && !entry.MayGoUnanswered) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
// Class records and registration

const TClassRecord& TApdCustomFtpClient::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TApdCustomFtpClient, TApdCustomWinsockPort>(
          "TApdCustomFtpClient", [](TClassBuilder<TApdCustomFtpClient>&) {});
  return record;
}

const TClassRecord& TApdFtpClient::StaticClass() {
  using C = TApdFtpClient;
  using B = TApdCustomFtpClient;
  static const TClassRecord record =
      TClassRecord::Define<C, B>("TApdFtpClient", [](TClassBuilder<C>& c) {
        c.Str("Account", &B::Account, &B::SetAccount);
        c.Int("ConnectTimeout", &B::ConnectTimeout, &B::SetConnectTimeout).Default(0);
        c.Enum("FileType", &B::FileType, &B::SetFileType, FileTypeNames()).Default(ftBinary);
        c.Component("FtpLog", &B::FtpLog, &B::SetFtpLog);
        c.Str("Password", &B::Password, &B::SetPassword);
        c.Bool("PassiveMode", &B::PassiveMode, &B::SetPassiveMode).Default(0);
        c.Str("ServerAddress", &B::ServerAddress, &B::SetServerAddress);
        c.Int("TransferTimeout", &B::TransferTimeout, &B::SetTransferTimeout)
            .Default(DefaultTransferTimeout);
        c.Str("UserName", &B::UserName, &B::SetUserName);
        c.Str("WsPort", &B::WsPort, &B::SetWsPort);
        c.Enum("Logging", &B::Logging, &B::SetLogging, TraceLogStateNames()).Default(tlOff);
        c.Int("LogSize", &B::LogSize, &B::SetLogSize).Default(10000);
        c.Str("LogName", &B::LogName, &B::SetLogName);
        c.Bool("LogHex", &B::LogHex, &B::SetLogHex).Default(1);
        c.Enum("Tracing", &B::Tracing, &B::SetTracing, TraceLogStateNames()).Default(tlOff);
        c.Int("TraceSize", &B::TraceSize, &B::SetTraceSize).Default(10000);
        c.Str("TraceName", &B::TraceName, &B::SetTraceName);
        c.Bool("TraceHex", &B::TraceHex, &B::SetTraceHex).Default(1);
        c.Event("OnFtpError", static_cast<TFtpErrorEvent C::*>(&B::OnFtpError));
        c.Event("OnFtpLog", static_cast<TFtpLogEvent C::*>(&B::OnFtpLog));
        c.Event("OnFtpReply", static_cast<TFtpReplyEvent C::*>(&B::OnFtpReply));
        c.Event("OnFtpStatus", static_cast<TFtpStatusEvent C::*>(&B::OnFtpStatus));
      });
  return record;
}

void RegisterFtpComponents() {
  RegisterClasses(
      {&TApdFtpClient::StaticClass(), &TApdFtpLog::StaticClass(), &TApdDataPacket::StaticClass()});
}

namespace {
// The download window's description names these classes; they are known from start-up on.
const bool FtpClassesRegistered = (RegisterFtpComponents(), true);
}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and destruction

TApdCustomFtpClient::TApdCustomFtpClient(TComponent* owner) : TApdCustomWinsockPort(owner) {
  (void)FtpClassesRegistered;
  SetDeviceKind(DeviceKindWinsock);
  SetPortRole(prClient);
  SetWsPort("ftp");
  SetOpenOnDemand(false);
  SetUseEventWord(false);
  FDataBuffer = std::make_unique<char[]>(FtpDataBufferSize + 1);
  std::memset(FDataBuffer.get(), 0, FtpDataBufferSize + 1);
  FWindow = AllocateHWnd([this](TMessage& message) { WndProc(message); });

  FReplyPacket = new TApdDataPacket(this);
  FReplyPacket->SetComPort(this);
  FReplyPacket->SetStartCond(scAnyData);
  FReplyPacket->SetEndString("\r\n");
  FReplyPacket->SetEndCond({ecString});
  FReplyPacket->SetTimeOut(0);
  FReplyPacket->OnStringPacket =
      TStringPacketNotifyEvent::Method(this, &TApdCustomFtpClient::LineIntake);
  FReplyPacket->SetEnabled(false);

  FSocket = new TApdSocket(this);
  FSocket->OnSockAccept = TWsNotifyEvent::Method(this, &TApdCustomFtpClient::SockAccept);
  FSocket->OnSockDisconnect = TWsNotifyEvent::Method(this, &TApdCustomFtpClient::SockDisconnect);
  FSocket->OnSockError = TWsErrorEvent::Method(this, &TApdCustomFtpClient::SockError);
  FSocket->OnSockRead = TWsNotifyEvent::Method(this, &TApdCustomFtpClient::SockRead);
  FSocket->OnSockWrite = TWsNotifyEvent::Method(this, &TApdCustomFtpClient::SockWrite);
}

TApdCustomFtpClient::~TApdCustomFtpClient() {
  Shutdown();
}

void TApdCustomFtpClient::BeforeDestruction() {
  Shutdown();
  TApdCustomWinsockPort::BeforeDestruction();
}

void TApdCustomFtpClient::Shutdown() {
  if (FShutDown) return;
  FShutDown = true;
  FDestroying = true;
  StopConnectTimer();
  StopAbortWait();
  ReleaseDataConnection();
  try {
    SetPortOpen(false);
  } catch (...) {
    // Nothing can be reported any more.
  }
  FTransferTimer = 0;
  if (FFtpLog) SetFtpLog(nullptr);
  TObject::Free(FReplyPacket);
  FReplyPacket = nullptr;
  TObject::Free(FSocket);
  FSocket = nullptr;
  if (FWindow) DeallocateHWnd(FWindow);
  FWindow = nullptr;
  ForgetPendingTexts();
}

void TApdCustomFtpClient::Loaded() {
  TApdCustomWinsockPort::Loaded();
  LinkInsertedLog();
}

void TApdCustomFtpClient::Notification(TComponent* component, TOperation operation) {
  TApdCustomWinsockPort::Notification(component, operation);
  if (operation == opRemove) {
    std::erase(FInsertedCandidates, component);
    if (component == FFtpLog && FFtpLog) FFtpLog = nullptr;
  } else if (component != this && component->Owner() == Owner() && !FFtpLog) {
    // Its class cannot be asked while it is being constructed; looked at when loaded.
    FInsertedCandidates.push_back(component);
  }
}

void TApdCustomFtpClient::LinkInsertedLog() {
  std::vector<TComponent*> candidates;
  candidates.swap(FInsertedCandidates);
  if (FFtpLog) return;
  for (TComponent* candidate : candidates) {
    auto* log = dynamic_cast<TApdFtpLog*>(candidate);
    if (log && !log->FtpClient()) {
      SetFtpLog(log);
      return;
    }
  }
}

void TApdCustomFtpClient::SetFtpLog(TApdFtpLog* log) {
  if (log == FFtpLog) return;
  TApdFtpLog* old = FFtpLog;
  FFtpLog = log;
  if (old && old->FtpClient() != this) RemoveFreeNotification(old);
  if (log) {
    log->FreeNotification(this);
    log->SetFtpClient(this);
  }
}

// ---------------------------------------------------------------------------------------------
// Operations

bool TApdCustomFtpClient::OpenSession() {
  if (FState >= fcIdle) return false;
  RequireOneLine("user name", FUserName);
  RequireOneLine("password", FPassword);
  RequireOneLine("account", FAccount);
  // The connect timer limits the wait for the connection, and on an established connection
  // the log-in asked for again.
  if (FConnectTimeout > 0 && FWindow) {
    SetTimer(FWindow, ConnectTimerId, static_cast<UINT>(FConnectTimeout) * TickMs, nullptr);
    FConnectTimerRunning = true;
  }
  bool result;
  if (FState == fcClosed) {
    FMultiLine = false;
    FReplies.Clear();
    try {
      SetPortOpen(true);
    } catch (...) {
      // The caller hears of the failure from the exception; the timer must not report it
      // again later.
      StopConnectTimer();
      throw;
    }
    result = PortOpen();
  } else {
    Send("USER " + FUserName);
    result = true;
  }
  // A port whose open is still pending (closing) logs in from its connected notice.
  if (result) FState = fcLoggingIn;
  return result;
}

bool TApdCustomFtpClient::CloseSession() {
  const bool wasOpen = PortOpen();
  if (wasOpen) {
    try {
      Send("QUIT");
    } catch (...) {
      // A connection that never came up cannot take the command; it is closed below anyway.
    }
  }
  WaitForGoodbye(wasOpen);
  SetPortOpen(false);
  return wasOpen;
}

void TApdCustomFtpClient::WaitForGoodbye(bool wasOpen) {
  // Messages are handled for 5 ticks. Once the server's goodbye has closed the session there
  // is nothing left to wait for, and the wait ends there.
  TickTimer timer;
  StartTickTimer(timer, 5);
  for (;;) {
    const int handled = PumpOneMessage();
    if (handled == static_cast<int>(WM_QUIT)) break;
    if (wasOpen && !PortOpen()) break;
    if (TickTimerExpired(timer)) break;
    if (handled == 0) {
      // Nothing waiting: sleep in the loop until something arrives or the time is up.
      const std::int64_t left = (static_cast<std::int64_t>(timer.Deadline) + 1) * TickMs - NowMs();
      platform::PumpLoop(static_cast<int>(std::clamp<std::int64_t>(left, 1, 6 * TickMs)));
    }
  }
}

bool TApdCustomFtpClient::ChangeDirectory(const std::string& Directory) {
  if (FState != fcIdle) return false;
  RequireOneLine("directory", Directory);
  FState = fcDirCommand;
  try {
    Send(Directory.empty() ? std::string("PWD") : "CWD " + Directory);
  } catch (...) {
    FState = fcIdle;
    throw;
  }
  return true;
}

bool TApdCustomFtpClient::ReportCurrentDirectory() {
  if (FState != fcIdle) return false;
  FState = fcDirCommand;
  try {
    Send("PWD");
  } catch (...) {
    FState = fcIdle;
    throw;
  }
  return true;
}

bool TApdCustomFtpClient::AbortTransfer() {
  if (FState <= fcIdle) return false;
  FAbort = true;
  if (FState == fcListing || FState == fcRetrieving) {
    FOperationAborted = true;
    // Before the transfer command has gone out there is nothing to transfer: the commands
    // not sent yet are dropped.
    if (!FTransferCommandSent) ClearCommands();
    FReplies.Aborting(FOperation);
  }
  Send("ABOR");
  ReportLog(flUserAbort);
  AbortEndsUnanswered();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Commands and the transfer timer

void TApdCustomFtpClient::Send(const std::string& command) {
  RestartTransferTimer();
  WriteText(command + "\r\n");
  FReplies.Sent(TFtpReplyLedger::KindOf(command), FOperation);
}

void TApdCustomFtpClient::PushCommand(const std::string& command) {
  if (FQueueCount >= FtpCommandStackSize) {
    ClearCommands();
    throw platform::Exception("FTP Command stack full");
  }
  FCommands[FQueueCount++] = command;
}

void TApdCustomFtpClient::SendNextCommand() {
  if (FQueueCount == 0) return;
  std::string command = std::move(FCommands[--FQueueCount]);
  // The transfer command is always queued first, so it goes out last.
  if (FQueueCount == 0 && (FState == fcListing || FState == fcRetrieving))
    FTransferCommandSent = true;
  Send(command);
}

void TApdCustomFtpClient::RestartTransferTimer() {
  TApdBaseDispatcher* dispatcher = CurrentDispatcher();
  if (!dispatcher) return;
  if (FTransferTimer) {
    dispatcher->ArmTimerTrigger(FTransferTimer, 0, false);
    dispatcher->DeleteTrigger(FTransferTimer);
    FTransferTimer = 0;
  }
  ++FTimerSerial;
  if (FTransferTimeout > 0) {
    FTransferTimer = dispatcher->NewTimerTrigger();
    dispatcher->ArmTimerTrigger(FTransferTimer, FTransferTimeout, true);
  }
}

void TApdCustomFtpClient::RearmTransferTimer() {
  if (!FTransferTimer || FTransferTimeout <= 0) return;
  if (TApdBaseDispatcher* dispatcher = CurrentDispatcher())
    dispatcher->ArmTimerTrigger(FTransferTimer, FTransferTimeout, true);
}

void TApdCustomFtpClient::RemoveTransferTimer() {
  if (!FTransferTimer) return;
  if (TApdBaseDispatcher* dispatcher = CurrentDispatcher()) {
    dispatcher->ArmTimerTrigger(FTransferTimer, 0, false);
    dispatcher->DeleteTrigger(FTransferTimer);
  }
  FTransferTimer = 0;
}

void TApdCustomFtpClient::TimerHandler(UINT msg, WPARAM wParam, LPARAM) {
  if (msg != DM_TIMER_EXPIRED || !FTransferTimer || wParam != FTransferTimer) return;
  RemoveTransferTimer();
  if (FState != fcIdle && FWindow)
    PostMessageA(FWindow, CM_APDFTPTIMEOUT, fsTimedOut, static_cast<LPARAM>(FTimerSerial));
}

void TApdCustomFtpClient::StopConnectTimer() {
  if (!FConnectTimerRunning) return;
  FConnectTimerRunning = false;
  if (FWindow) KillTimer(FWindow, ConnectTimerId);
}

// ---------------------------------------------------------------------------------------------
// Connection raisers

void TApdCustomFtpClient::DoConnected() {
  StopConnectTimer();
  if (FReplyPacket) FReplyPacket->SetEnabled(true);
  if (!FTimerHandlerRegistered) {
    if (TApdBaseDispatcher* dispatcher = CurrentDispatcher()) {
      dispatcher->AddEventHandler(ApdMethod<&TApdCustomFtpClient::TimerHandler>, this);
      FTimerHandlerRegistered = true;
    }
  }
  FState = fcLoggingIn;
  FReplies.Clear();
  FReplies.Sent(TFtpReplyLedger::ckConnect, FOperation);
  FMultiLine = false;
}

void TApdCustomFtpClient::DoDisconnected() {
  StopConnectTimer();
  if (FTimerHandlerRegistered) {
    FTimerHandlerRegistered = false;
    if (TApdBaseDispatcher* dispatcher = CurrentDispatcher())
      dispatcher->RemoveEventHandler(ApdMethod<&TApdCustomFtpClient::TimerHandler>, this);
  }
  if (FReplyPacket) FReplyPacket->SetEnabled(false);
  SetStateClosed();
}

// ---------------------------------------------------------------------------------------------
// Replies

void TApdCustomFtpClient::LineIntake(TObject*, const std::string& line) {
  PostText(CM_APDFTPREPLY, static_cast<WPARAM>(ReplyCodeOf(line)), &line);
}

void TApdCustomFtpClient::HandleReply(int code, const std::string& line) {
  bool complete = false;
  if (!FMultiLine) {
    FReplyBuffer.assign(line, 0, std::min<std::size_t>(line.size(), FtpReplyBufferSize));
    // Only a reply code opens a multi-line reply: a line without one could never be ended.
    if (code >= 100 && line.size() >= 4 && line[3] == '-') {
      FMultiLine = true;
      FMultiLineTerminator = std::to_string(code) + " ";
    } else {
      complete = true;
    }
  } else if (line.compare(0, FMultiLineTerminator.size(), FMultiLineTerminator) == 0) {
    FMultiLine = false;
    complete = true;
  } else {
    std::size_t room =
        FtpReplyBufferSize - std::min<std::size_t>(FReplyBuffer.size(), FtpReplyBufferSize);
    FReplyBuffer.append(line, 0, std::min(room, line.size()));
  }
  if (complete) DispatchReply(code);
  if (!FDestroying) OnFtpReply(this, code, line.c_str());
}

void TApdCustomFtpClient::DispatchReply(int code) {
  const bool closing = code == 221 || code == 421;
  TFtpReplyLedger::TEntry answered;
  bool matched = false;
  if (code >= 100 && code <= 199)
    FReplies.Preliminary();
  else if (code >= 200 && code <= 599)
    matched = FReplies.Answer(code, answered);
  // The answer to a command of an operation that has already ended has no effect.
  if (matched && answered.Operation != FOperation && !closing) return;

  switch (FState) {
    case fcLoggingIn:
      switch (code) {
        case 202:
          break;
        case 220:
          ReportStatus(fsConnected, FromFifth(FReplyBuffer));
          Send("USER " + FUserName);
          break;
        case 230:
          // A session that has logged in is not cut by a limit on logging in.
          StopConnectTimer();
          SetState(fcIdle);
          ReportStatus(fsLoggedIn);
          break;
        case 331:
          Send("PASS " + FPassword);
          break;
        case 332:
          Send("ACCT " + FAccount);
          break;
        default:
          ErrorPath(code);
      }
      break;

    case fcClosed:
    case fcIdle:
      if (code == 125 || code == 150) break;
      if (code == 226) {
        FinishDataConnection();
        break;
      }
      ErrorPath(code);
      break;

    case fcListing:
    case fcRetrieving:
      // Preliminary replies, and lines without a code, do not end a transfer.
      if (code < 200) break;
      // An aborted transfer ends with the server's first answer to it or to "ABOR", and
      // never as a success.
      if (FOperationAborted && (!matched || answered.Kind == TFtpReplyLedger::ckTransfer ||
                                answered.Kind == TFtpReplyLedger::ckAbort)) {
        ErrorPath(code);
        break;
      }
      switch (code) {
        case 200:
        case 350:
          SendNextCommand();
          break;
        case 227:
          // After an abort no transfer follows: nothing to connect to.
          if (!FOperationAborted) PassiveConnect(PassiveReplyArgument(FReplyBuffer));
          SendNextCommand();
          break;
        case 225:
          break;
        case 226:
        case 250:
          // Only the transfer command's own final reply ends the operation.
          if ((matched ? answered.Kind == TFtpReplyLedger::ckTransfer : FTransferCommandSent) &&
              FFinalReply == 0) {
            FFinalReply = code;
            TryCompleteTransfer();
          }
          break;
        default:
          ErrorPath(code);
      }
      // The server may not answer the abort at all once the rest of it is answered.
      AbortEndsUnanswered();
      break;

    case fcDirCommand:
      if (code >= 211 && code <= 215) {
        ReportStatus(fsDataReceived, FromFifth(FReplyBuffer));
      } else if (code == 225 || code == 226) {
        SetStateIdle();
      } else if (code == 250) {
        ReportStatus(fsCommandDone);
      } else if (code == 257) {
        ReportStatus(fsDirectoryReply, QuotedDirectoryName(FReplyBuffer));
      } else {
        ErrorPath(code);
      }
      break;
  }
}

void TApdCustomFtpClient::ErrorPath(int code) {
  ClearCommands();
  if (code == 221 || code == 421)
    SetStateClosed();
  else
    ReportError(code, FReplyBuffer);
}

bool TApdCustomFtpClient::AbortedTransfer() const {
  return FOperationAborted && (FState == fcListing || FState == fcRetrieving);
}

void TApdCustomFtpClient::AbortEndsUnanswered() {
  // Some servers answer neither the aborted transfer command nor "ABOR". Once nothing else of
  // the operation waits for a reply and its data connection, if it had one, has ended, the
  // server is given a moment; without an answer by then the transfer ends as aborted.
  if (!AbortedTransfer() || FAbortWaitRunning || !FWindow) return;
  if (FTransferCommandSent && !FDataEnded) return;
  if (FReplies.Awaits(FOperation)) return;
  FAbortWaitRunning = SetTimer(FWindow, AbortWaitTimerId, AbortReplyWaitMs, nullptr) != 0;
}

void TApdCustomFtpClient::StopAbortWait() {
  if (!FAbortWaitRunning) return;
  FAbortWaitRunning = false;
  if (FWindow) KillTimer(FWindow, AbortWaitTimerId);
}

// ---------------------------------------------------------------------------------------------
// State

void TApdCustomFtpClient::SetState(TFtpClientState state) {
  if (state == fcClosed)
    SetStateClosed();
  else if (state == fcIdle)
    SetStateIdle();
  else
    FState = state;
}

void TApdCustomFtpClient::SetStateClosed() {
  RemoveTransferTimer();
  StopAbortWait();
  ReleaseDataConnection();
  // Closing an open port runs the disconnected raiser, which closes the state first; this
  // step then reports once more.
  if (PortOpen()) SetPortOpen(false);
  ClearCommands();
  if (FState > fcLoggingIn) {
    ReportStatus(fsLoggedOut);
    ReportLog(flLoggedOut);
  } else {
    ReportStatus(fsClosed);
  }
  FState = fcClosed;
  FReplies.Clear();
  ++FOperation;
  FOperationAborted = false;
  FMultiLine = false;
}

void TApdCustomFtpClient::SetStateIdle() {
  const bool busy = FState > fcIdle;
  if (FState == fcListing || FState == fcRetrieving) FinishDataConnection();
  // Replies still due belong to the operation that ends here, and commands it had not sent
  // yet must not go out for it any more.
  if (busy) {
    ++FOperation;
    ClearCommands();
  }
  StopAbortWait();
  FState = fcIdle;
  FTransferCommandSent = false;
  FOperationAborted = false;
  FDataEnded = false;
  FFinalReply = 0;
}

// ---------------------------------------------------------------------------------------------
// Reports and the window

void TApdCustomFtpClient::ReportStatus(TFtpStatusCode code) {
  if (code > fsLoggedIn && code != fsProgress) SetStateIdle();
  if (!FDestroying) PostText(CM_APDFTPSTATUS, code, nullptr);
}

void TApdCustomFtpClient::ReportStatus(TFtpStatusCode code, const std::string& text) {
  if (code > fsLoggedIn && code != fsProgress) SetStateIdle();
  if (!FDestroying) PostText(CM_APDFTPSTATUS, code, &text);
}

void TApdCustomFtpClient::ReportError(int code, const std::string* text) {
  if (FState > fcIdle) SetStateIdle();
  if (!FDestroying) PostText(CM_APDFTPERROR, static_cast<WPARAM>(code), text);
}

void TApdCustomFtpClient::ReportError(int code, const std::string& text) {
  ReportError(code, &text);
}

void TApdCustomFtpClient::ReportLog(TFtpLogCode code) {
  if (FWindow) PostMessageA(FWindow, CM_APDFTPLOG, code & 0x7F, 0);
}

void TApdCustomFtpClient::PostText(UINT msg, WPARAM code, const std::string* text) {
  if (!FWindow) return;
  std::string* copy = nullptr;
  if (text) {
    copy = new std::string(*text);
    FPendingTexts.insert(copy);
  }
  if (!PostMessageA(FWindow, msg, code, reinterpret_cast<LPARAM>(copy)) && copy) {
    FPendingTexts.erase(copy);
    delete copy;
  }
}

std::unique_ptr<std::string> TApdCustomFtpClient::TakeText(LPARAM lParam) {
  auto* text = reinterpret_cast<std::string*>(lParam);
  if (!text || !FPendingTexts.erase(text)) return nullptr;
  return std::unique_ptr<std::string>(text);
}

void TApdCustomFtpClient::ForgetPendingTexts() {
  for (std::string* text : FPendingTexts) delete text;
  FPendingTexts.clear();
}

void TApdCustomFtpClient::WndProc(TMessage& message) {
  try {
    HandleMessage(message);
  } catch (...) {
    Application->HandleCurrentException(this);
  }
}

void TApdCustomFtpClient::HandleMessage(TMessage& message) {
  const auto code = static_cast<int>(static_cast<LPARAM>(message.WParam));
  switch (message.Msg) {
    case WM_TIMER:
      if (message.WParam == AbortWaitTimerId) {
        StopAbortWait();
        // The server said nothing to the abort: the transfer ends without its answer.
        if (AbortedTransfer()) {
          ClearCommands();
          ReportError(426, std::string("426 Transfer aborted by user\r\n"));
        }
        return;
      }
      if (message.WParam != ConnectTimerId) break;
      SetStateClosed();
      StopConnectTimer();
      KillTimer(FWindow, ConnectTimerId);
      if (!ShowQueuedFailures()) return;
      if (!FDestroying) OnFtpError(this, -1, nullptr);
      return;
    case CM_APDFTPERROR: {
      auto text = TakeText(message.LParam);
      if (!ShowQueuedFailures()) return;
      if (!FDestroying) OnFtpError(this, code, text ? text->c_str() : nullptr);
      return;
    }
    case CM_APDFTPLOG:
      if (FFtpLog)
        FFtpLog->WriteHistoryLine(static_cast<TFtpLogCode>(code & 0x7F));
      else if (!FDestroying)
        OnFtpLog(this, static_cast<TFtpLogCode>(code & 0x7F));
      return;
    case CM_APDFTPREPLY: {
      auto text = TakeText(message.LParam);
      if (text) HandleReply(code, *text);
      return;
    }
    case CM_APDFTPSTATUS: {
      auto text = TakeText(message.LParam);
      if (!ShowQueuedFailures()) return;
      if (!FDestroying)
        OnFtpStatus(this, static_cast<TFtpStatusCode>(code), text ? text->c_str() : nullptr);
      return;
    }
    case CM_APDFTPTIMEOUT:
      // A command sent since the timer fired has restarted it; an ended operation has
      // nothing left to time out.
      if (static_cast<DWORD>(message.LParam) != FTimerSerial || FState == fcIdle ||
          FState == fcClosed)
        return;
      FAbort = true;
      if (FState > fcLoggingIn)
        SetStateIdle();
      else
        SetStateClosed();
      // A server that never answered is not expected to answer later, nor to finish a
      // multi-line reply it left open: what comes next is a reply of its own.
      FReplies.Clear();
      FMultiLine = false;
      if (!ShowQueuedFailures()) return;
      if (!FDestroying) OnFtpStatus(this, static_cast<TFtpStatusCode>(code), nullptr);
      return;
    default:
      break;
  }
  message.Result = DefWindowProcA(FWindow, message.Msg, message.WParam, message.LParam);
}
