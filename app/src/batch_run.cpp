#include "app/batch_run.h"

#include <chrono>
#include <cstdio>

#include "app/get_update_file.h"
#include "app/run_texts.h"
#include "app/session_values.h"
#include "forms/application.h"
#include "forms/message_box.h"
#include "forms/timer.h"
#include "platform/codepages.h"
#include "platform/messages.h"

namespace {

constexpr const char* LinePrefix = "kvb: ";
constexpr UINT LimitMessage = WM_APP + 1;

std::string AnswerName(int id) {
  switch (id) {
    case IDOK:
      return "OK";
    case IDCANCEL:
      return "Cancel";
    case IDYES:
      return "Yes";
    case IDNO:
      return "No";
    default:
      return std::to_string(id);
  }
}

// A text shown in a box or memo ends its last line on its own; the line of the output does.
std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TBatchWidgetSet::TBatchWidgetSet(TBatchOutput output, bool answerYes)
    : THeadlessWidgetSet([this](const TMessageBoxRequest& r) { return Answer(r); }),
      FOutput(std::move(output)),
      FAnswerYes(answerYes) {}

int TBatchWidgetSet::Answer(const TMessageBoxRequest& request) {
  // Only the install question asks for a choice; every other box is acknowledged.
  int answer = IDOK;
  if ((request.Flags & MB_TYPEMASK) == MB_YESNOCANCEL)
    answer = FAnswerYes ? IDYES : IDNO;
  else if ((request.Flags & MB_TYPEMASK) != MB_OK)
    answer = MessageBoxDefaultButton(request.Flags);
  FOutput("box [" + request.Caption + "] " + WithoutLineEnd(request.Text) + " -> " +
          AnswerName(answer));
  return answer;
}

void TBatchWidgetSet::ControlChanged(TControl* control, TWidgetChange change) {
  THeadlessWidgetSet::ControlChanged(control, change);
  if (auto* status = dynamic_cast<TStatusBar*>(control)) {
    if (change == TWidgetChange::wcText) FOutput("status: " + status->SimpleText());
  } else if (auto* memo = dynamic_cast<TMemo*>(control)) {
    if (change == TWidgetChange::wcItems) MemoChanged(memo, memo->Lines()->Lines());
  }
}

void TBatchWidgetSet::MemoChanged(TControl* memo, const std::vector<std::string>& lines) {
  std::vector<std::string>& known = FMemoLines[memo];
  bool extends =
      lines.size() >= known.size() && std::equal(known.begin(), known.end(), lines.begin());
  if (extends && lines.size() == known.size()) return;
  std::size_t first = known.size();
  if (!extends) {
    FOutput(memo->Name() + (lines.empty() ? " cleared" : " replaced"));
    first = 0;
  }
  for (std::size_t i = first; i < lines.size(); ++i) FOutput(memo->Name() + ": " + lines[i]);
  known = lines;
}

void TBatchWidgetSet::ReleaseControl(TControl* control) {
  FMemoLines.erase(control);
  THeadlessWidgetSet::ReleaseControl(control);
}

// ---------------------------------------------------------------------------------------------

TBatchRun::TBatchRun(TBatchOutput output, const TBatchOptions& options)
    : FOutput(std::move(output)), FOptions(options) {
  Application->SetWidgetSet(std::make_unique<TBatchWidgetSet>(
      [this](const std::string& line) { Report(line); }, options.AnswerYes));
}

TBatchRun::~TBatchRun() {
  StopLimitWatch();
}

std::string TBatchRun::Escape(const std::string& text) {
  std::string result;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (ch == '\r') {
      result += "\\r";
    } else if (ch == '\n') {
      result += "\\n";
    } else if (ch == '\t') {
      result += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      static const char digits[] = "0123456789ABCDEF";
      result += "\\x";
      result += digits[c >> 4];
      result += digits[c & 15];
    } else {
      result += ch;
    }
  }
  return result;
}

void TBatchRun::Report(const std::string& line) {
  if (FEndWritten) return;
  FOutput(LinePrefix + Escape(platform::AnsiToUtf8(line)));
}

void TBatchRun::Start(TGetUpdateFile* form) {
  FForm = form;
  TApdFtpClient* client = form->ApdFtpClient1;
  // 55 ms ticks; the window itself sets no limit and would wait for ever. The client's limit
  // ends with the connection; the greeting watch covers the wait for the first reply.
  client->SetConnectTimeout(ConnectSeconds() * 1000 / 55);
  TFtpReplyEvent reply = client->OnFtpReply;
  client->OnFtpReply = [this, reply](TObject* sender, int code, const char* text) {
    FReplySeen = true;
    reply(sender, code, text);
  };

  TFtpStatusEvent status = client->OnFtpStatus;
  client->OnFtpStatus = [this, status](TObject* sender, TFtpStatusCode code, const char* text) {
    status(sender, code, text);
    ObserveStatus(code);
  };
  TFtpErrorEvent error = client->OnFtpError;
  client->OnFtpError = [this, error](TObject* sender, int code, const char* text) {
    error(sender, code, text);
    ObserveError(code);
  };
  form->OnRunFinished = [this](TObject*) { RunFinished(); };
  form->OnInstallerStart = [this](TObject*, UINT result) {
    Report(std::string("installer: WinExec(\"SetupKVB\", 5) = ") + std::to_string(result) +
           (result > 31 ? " (started)" : " (not started)"));
  };

  // The time limit comes as a posted message, not a timer: a timer message is only taken
  // when no other message waits, and a server that keeps sending keeps the queue full.
  FLimitWindow = AllocateHWnd([this](TMessage& message) {
    if (message.Msg == LimitMessage)
      LimitReached();
    else
      message.Result = DefWindowProcA(FLimitWindow, message.Msg, message.WParam, message.LParam);
  });
  const auto limit = std::chrono::seconds(FOptions.TimeoutSeconds);
  FLimitWatch = std::thread([this, limit, window = FLimitWindow] {
    std::unique_lock lock(FLimitMutex);
    if (!FLimitCancel.wait_for(lock, limit, [this] { return FLimitCancelled; }))
      PostMessageA(window, LimitMessage, 0, 0);
  });
  // Pressed from the loop, as a user would, once the window is up.
  FStartTimer = std::make_unique<TTimer>(nullptr);
  FStartTimer->SetInterval(1);
  FStartTimer->OnTimer = [this](TObject*) {
    FStartTimer->SetEnabled(false);
    PressDownload();
  };
}

void TBatchRun::PressDownload() {
  if (FEnded || !FForm) return;
  FPressed = true;
  try {
    FForm->btnFileDownload->Click();
  } catch (...) {
    Application->HandleCurrentException(FForm);
  }
  if (!FEnded && !FForm->ApdFtpClient1->IsSessionOpen())
    End(BatchCannotFinish, "the connection to the server could not be started");
  else if (!FEnded && !FReplySeen)
    StartGreetingWatch();
}

void TBatchRun::StartGreetingWatch() {
  // A server that accepts the connection and never greets would otherwise hold the run until
  // its time limit. The watch starts just after the client's connect timer, on the same time,
  // so a connection that is never made is still reported by the client itself.
  FGreetingTimer = std::make_unique<TTimer>(nullptr);
  FGreetingTimer->SetInterval(static_cast<UINT>(ConnectSeconds()) * 1000);
  FGreetingTimer->OnTimer = [this](TObject*) {
    FGreetingTimer->SetEnabled(false);
    if (!FEnded && !FReplySeen) End(BatchCannotFinish, "no connection to the server");
  };
}

int TBatchRun::ConnectSeconds() const {
  return std::min(FOptions.ConnectSeconds, FOptions.TimeoutSeconds);
}

void TBatchRun::LimitReached() {
  End(BatchCannotFinish, "time limit of " + std::to_string(FOptions.TimeoutSeconds) + " s reached");
}

void TBatchRun::StopLimitWatch() {
  if (FLimitWatch.joinable()) {
    {
      std::lock_guard lock(FLimitMutex);
      FLimitCancelled = true;
    }
    FLimitCancel.notify_all();
    FLimitWatch.join();
  }
  if (FLimitWindow) DeallocateHWnd(FLimitWindow);
  FLimitWindow = nullptr;
}

void TBatchRun::ObserveStatus(TFtpStatusCode code) {
  if (FEnded || !FPressed) return;
  switch (code) {
    case fsTimedOut:
      End(BatchCannotFinish, "transfer timed out");
      break;
    case fsClosed:
    case fsLoggedOut:
      // The normal log-out comes once every file has been handled.
      if (!FForm->QueueDone)
        End(BatchCannotFinish,
            FForm->LoggedInSeen ? "connection lost" : "connection closed before log-in");
      break;
    default:
      break;
  }
}

void TBatchRun::ObserveError(int code) {
  if (FEnded || !FPressed) return;
  if (code == -1)
    End(BatchCannotFinish, "no connection to the server");
  else if (!FForm->LoggedInSeen)
    End(BatchCannotFinish, "log-in failed");
}

void TBatchRun::RunFinished() {
  if (FEnded) return;
  int received = FForm->Memo1->Lines()->Count();
  int listed = FForm->FilesListed;
  std::string counts =
      std::to_string(received) + " of " + std::to_string(listed) + " listed files received";
  if (FForm->RunFailures == 0 && received >= listed)
    End(BatchAllReceived, counts);
  else
    End(BatchSomeFailed, counts + ", " + std::to_string(FForm->RunFailures) + " failed");
}

void TBatchRun::End(int exitCode, const std::string& reason) {
  if (FEnded) return;
  FEnded = true;
  FExitCode = exitCode;
  Report("end: " + std::to_string(exitCode) + " " + reason);
  FEndWritten = true;
  Application->Terminate();
  // Nothing more is wanted from the server. The quit message is only taken once no other
  // message waits, so a server that keeps sending would keep the program busy after its end;
  // and a retrieval under way drops its replacement file when its connection closes.
  if (FForm) {
    try {
      FForm->ApdFtpClient1->SetPortOpen(false);
    } catch (...) {
      // Closing cannot fail in a way that matters here; the program ends anyway.
    }
  }
}
