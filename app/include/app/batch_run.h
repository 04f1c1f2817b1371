// Batch mode: the window runs on the headless widget set, Download is pressed at start, and
// every event is written as one line to an output (standard output in the tool):
//
//   kvb: status: <text>                  the status line changed
//   kvb: InfoMemo: <line>                a line added to the listing memo
//   kvb: InfoMemo replaced               its text was replaced (the new lines follow)
//   kvb: InfoMemo cleared
//   kvb: Memo1: <line>                   a received file, Memo1 replaced/cleared likewise
//   kvb: box [<caption>] <text> -> <answer>
//   kvb: installer: WinExec("SetupKVB", 5) = <result> (started|not started)
//   kvb: end: <exit code> <reason>
//
// Texts are UTF-8; control characters inside a text are written as \r, \n, \t or \xHH.
// Every box is answered OK, except the install question (Yes or No as asked). The run ends
// with exit code 0 when every listed file was received, 1 when the run finished with files
// refused or failed, 2 when it cannot finish (no connection or log-in, connection lost,
// transfer timed out, time limit reached).
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "forms/headless_widget_set.h"
#include "ftp/ftp_types.h"

class TGetUpdateFile;
class TTimer;
class TControl;

inline constexpr int BatchAllReceived = 0;
inline constexpr int BatchSomeFailed = 1;
inline constexpr int BatchCannotFinish = 2;

using TBatchOutput = std::function<void(const std::string& line)>;

// The headless widget set of batch mode: reports the status line, the two memos and every
// message box, and answers the boxes.
class TBatchWidgetSet : public THeadlessWidgetSet {
 public:
  TBatchWidgetSet(TBatchOutput output, bool answerYes);

  void ControlChanged(TControl* control, TWidgetChange change) override;
  void ReleaseControl(TControl* control) override;

 private:
  int Answer(const TMessageBoxRequest& request);
  void MemoChanged(TControl* memo, const std::vector<std::string>& lines);

  TBatchOutput FOutput;
  bool FAnswerYes;
  std::unordered_map<TControl*, std::vector<std::string>> FMemoLines;
};

struct TBatchOptions {
  bool AnswerYes = false;
  int TimeoutSeconds = 900;
  // A connection whose server has not replied in this time (its greeting, as a rule) ends the
  // run (the window itself waits).
  int ConnectSeconds = 30;
};

class TBatchRun {
 public:
  // Makes the batch widget set the application's; the window is created afterwards.
  TBatchRun(TBatchOutput output, const TBatchOptions& options);
  ~TBatchRun();
  TBatchRun(const TBatchRun&) = delete;
  TBatchRun& operator=(const TBatchRun&) = delete;

  // Watches the window's run and presses Download once the message loop runs.
  void Start(TGetUpdateFile* form);
  bool Ended() const { return FEnded; }
  // BatchCannotFinish until the run has ended otherwise.
  int ExitCode() const { return FExitCode; }

  // One line of the output, text converted from the system code page. Nothing is written
  // after the end line.
  void Report(const std::string& line);
  // Control characters of `text` as escapes.
  static std::string Escape(const std::string& text);

 private:
  void PressDownload();
  // Ends the run when the server has not replied within the connection's time.
  void StartGreetingWatch();
  int ConnectSeconds() const;
  void ObserveStatus(TFtpStatusCode code);
  void ObserveError(int code);
  void RunFinished();
  void LimitReached();
  void StopLimitWatch();
  void End(int exitCode, const std::string& reason);

  TBatchOutput FOutput;
  TBatchOptions FOptions;
  TGetUpdateFile* FForm = nullptr;
  std::unique_ptr<TTimer> FStartTimer;
  std::unique_ptr<TTimer> FGreetingTimer;
  bool FReplySeen = false;
  // A thread that posts the time limit's message to FLimitWindow once the limit is reached.
  HWND FLimitWindow = nullptr;
  std::thread FLimitWatch;
  std::mutex FLimitMutex;
  std::condition_variable FLimitCancel;
  bool FLimitCancelled = false;
  bool FPressed = false;
  bool FEnded = false;
  bool FEndWritten = false;
  int FExitCode = BatchCannotFinish;
};
