// The download window: its controls and components come from the stored description
// GETUPDATEFILE. Creating it prepares the local folder and removes a stale installer; the
// Download button drives the FTP client through log-in, listing, one retrieval per listed file
// and log-out, advanced by the client's events and three polling timers; then the installer
// may be started.
#pragma once

#include <cstdint>
#include <string>

#include "forms/buttons.h"
#include "forms/com_controls.h"
#include "forms/ext_controls.h"
#include "forms/file_controls.h"
#include "forms/form.h"
#include "forms/std_controls.h"
#include "forms/timer.h"
#include "ftp/ftp_client.h"
#include "ftp/ftp_log.h"
#include "multilang/multi_lang.h"

using TInstallerStartEvent = TEvent<void(TObject* Sender, UINT Result)>;

class TGetUpdateFile : public TForm {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TGetUpdateFile(TComponent* owner);
  ~TGetUpdateFile() override;

  // ---- Controls and components of the description ----
  TImage* ProgramIcon = nullptr;
  TLabel* Label3 = nullptr;
  TBitBtn* BitBtn1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label4 = nullptr;
  TLabel* Label5 = nullptr;
  TLabel* Label6 = nullptr;
  TMemo* InfoMemo = nullptr;
  TMemo* Memo1 = nullptr;
  TFileListBox* FileListBox1 = nullptr;
  TLabel* Label1 = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  TCheckBox* FTP_Mode = nullptr;
  TBitBtn* btnFileDownload = nullptr;
  TButton* btnInstall = nullptr;
  TButton* btnExit = nullptr;
  TApdFtpClient* ApdFtpClient1 = nullptr;
  TApdFtpLog* ApdFtpLog1 = nullptr;
  TTimer* Timer1 = nullptr;
  TTimer* Timer2 = nullptr;
  TTimer* Timer3 = nullptr;
  TMultiLang* MultiLang1 = nullptr;

  // ---- Handlers named by the description ----
  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void btnExitClick(TObject* Sender);
  void BitBtn1Click(TObject* Sender);
  void btnFileDownloadClick(TObject* Sender);
  void btnInstallClick(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  void Timer2Timer(TObject* Sender);
  void Timer3Timer(TObject* Sender);
  void ApdFtpClient1FtpStatus(TObject* Sender, TFtpStatusCode StatusCode, const char* InfoText);
  void ApdFtpClient1FtpError(TObject* Sender, int ErrorCode, const char* ErrorText);

  // ---- Operations of the session ----
  void ConfigureClient();
  void StartSession();
  void FetchNextFile();
  void ParseFileList();
  void FinishDownload();

  // ---- Fields ----
  std::string UpdateDate;
  std::string SavedCaption;
  bool LoggedInSeen = false;
  bool ListingSeen = false;
  bool QueueDone = false;
  bool ExpectFileList = false;
  bool ListReady = false;
  std::int32_t DownloadedCount = 0;

  // What the current run has seen, for a caller that reports its outcome (batch mode): the
  // names queued by the listing, and the failures (error events, names that cannot be
  // stored, local files that cannot be written). Both start at 0 when a run changes to the
  // remote folder.
  int FilesListed = 0;
  int RunFailures = 0;
  // Fired when Timer1 has ended a run (after the install question, if one was asked).
  TNotifyEvent OnRunFinished;
  // Fired after the installer was started, with WinExec's result.
  TInstallerStartEvent OnInstallerStart;

 private:
  // The language of UseChinese for the window (its word table) and for message boxes.
  void SelectLanguage();
  void SetStatus(const std::string& text);
  // The head of the queue, or empty when the queue is empty.
  std::string QueueHead() const;
};

// Makes TGetUpdateFile and the classes its description names known to the class registry.
void RegisterDownloadClasses();
