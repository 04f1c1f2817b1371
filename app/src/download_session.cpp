// The download session of the window: the Download and Install buttons, the FTP client's
// events and the three polling timers that carry a run from log-in to the install question.
#include <exception>
#include <string>

#include "app/file_names.h"
#include "app/get_update_file.h"
#include "app/run_texts.h"
#include "app/session_values.h"
#include "forms/application.h"
#include "forms/message_box.h"
#include "platform/process.h"
#include "platform/sysutils.h"
#include "platform/time.h"

void TGetUpdateFile::btnFileDownloadClick(TObject*) {
  SetStatus(Pick(runtext::PleaseWait));
  Memo1->Clear();
  // A stale installer must not be started if this run does not bring a new one.
  std::string installer = LocalDir + InstallerFileName;
  if (platform::FileExists(installer)) platform::DeleteFileAt(installer);
  StartSession();
}

void TGetUpdateFile::StartSession() {
  ConfigureClient();
  Sleep(1000);
  if (!ApdFtpClient1->IsSessionOpen()) {
    // A new connection starts a new run. A run whose connection was lost leaves its watches
    // polling; they would act on this run's flags (after a refused log-in Timer1 would close
    // the session and offer to install). This run's Timer3Timer starts them again.
    Timer1->SetEnabled(false);
    Timer2->SetEnabled(false);
    if (!ApdFtpClient1->OpenSession()) return;
  }
  Timer3->SetEnabled(true);
}

void TGetUpdateFile::ConfigureClient() {
  LoggedInSeen = false;
  ListingSeen = false;
  ApdFtpClient1->SetUserName("dlmorv");
  ApdFtpClient1->SetPassword("ka47tz19");
  ApdFtpClient1->SetServerAddress(ServerHost);
  if (!ServerPort.empty()) ApdFtpClient1->SetWsPort(ServerPort);
  ApdFtpClient1->SetPassiveMode(FTP_Mode->Checked());
  ApdFtpClient1->SetTransferTimeout(3000);
  ApdFtpClient1->SetResumeOffset(0);
  ApdFtpClient1->SetFileType(ftBinary);
}

void TGetUpdateFile::ApdFtpClient1FtpStatus(TObject*, TFtpStatusCode StatusCode,
                                            const char* InfoText) {
  switch (StatusCode) {
    case fsClosed:
      SetCaption(SavedCaption);
      break;
    case fsConnected:
      SetStatus(Pick(runtext::Connected));
      break;
    case fsLoggedOut:
      SetStatus(Pick(runtext::LoggedOut));
      FileQueue->Clear();
      // The list is gone with the connection: Timer2 must not take the empty queue for a list
      // whose files were all handled and so end the run with the install question.
      ListReady = false;
      break;
    case fsLoggedIn:
      SetStatus(Pick(runtext::LoggedIn));
      ApdFtpClient1->ReportCurrentDirectory();
      LoggedInSeen = true;
      break;
    case fsCommandDone:
      InfoMemo->Lines()->Add(OperationCompleteText);
      ApdFtpClient1->ReportCurrentDirectory();
      break;
    case fsDirectoryReply:
      ApdFtpClient1->ListDirectory("", false);
      break;
    case fsDataReceived:
      if (ExpectFileList) {
        std::string listing = InfoText ? InfoText : "";
        // The client keeps only the start of a long listing: the names after it are missing,
        // and its last line may be a name cut short, which must not be fetched.
        const bool cut = ApdFtpClient1->ByteCount() > static_cast<std::int64_t>(listing.size());
        if (cut) {
          auto end = listing.find_last_of("\r\n");
          listing.erase(end == std::string::npos ? 0 : end + 1);
        }
        InfoMemo->SetTextValue(listing);
        ParseFileList();
        if (cut) {
          ++RunFailures;
          Application->MessageBox(Pick(runtext::ListingCut), Application->Title(),
                                  MB_OK | MB_ICONEXCLAMATION);
        }
      }
      ListingSeen = true;
      break;
    case fsProgress: {
      std::string head = QueueHead();
      SetStatus((head.empty() ? "" : head + " ") + Pick(runtext::Downloading) +
                std::to_string(ApdFtpClient1->ByteCount()));
      break;
    }
    case fsTransferDone: {
      std::string head = QueueHead();
      SetStatus((head.empty() ? "" : head + " ") + Pick(runtext::Completed));
      if (!head.empty()) Memo1->Lines()->Add(head);
      ++DownloadedCount;
      if (FileQueue->Count() > 0) {
        FileQueue->Delete(0);
        FetchNextFile();
      }
      break;
    }
    case fsTimedOut:
      ShowMessage(TransferTimedOutText);
      break;
    default:
      break;
  }
}

void TGetUpdateFile::ApdFtpClient1FtpError(TObject*, int ErrorCode, const char* ErrorText) {
  ++RunFailures;
  Application->MessageBox(ErrorText ? ErrorText : "", FtpErrorCaption + std::to_string(ErrorCode),
                          MB_OK | MB_ICONEXCLAMATION);
  if (FileQueue->Count() > 0) FileQueue->Delete(0);
  FetchNextFile();
}

void TGetUpdateFile::Timer3Timer(TObject*) {
  if (!(ApdFtpClient1->IsSessionOpen() && LoggedInSeen && ListingSeen)) return;
  Timer3->SetEnabled(false);
  FileQueue->Clear();
  ListReady = false;
  QueueDone = false;
  ExpectFileList = true;
  FilesListed = 0;
  RunFailures = 0;
  Timer1->SetEnabled(true);
  ApdFtpClient1->ChangeDirectory(RemoteDir);
  Timer2->SetEnabled(true);
}

void TGetUpdateFile::ParseFileList() {
  std::string text = Pick(runtext::Login);
  QueueListedNames(*InfoMemo->Lines(), *FileQueue);
  FilesListed = FileQueue->Count();
  SetStatus(text);
  Sleep(1000);
  ExpectFileList = false;
  ListReady = true;
}

void TGetUpdateFile::Timer2Timer(TObject*) {
  if (!ListReady) return;
  Timer2->SetEnabled(false);
  FetchNextFile();
}

void TGetUpdateFile::FetchNextFile() {
  for (;;) {
    if (FileQueue->Count() == 0) {
      QueueDone = true;
      return;
    }
    std::string remoteName = FileQueue->Get(0);
    if (IsPlainFileName(remoteName)) {
      SetStatus(remoteName);
      try {
        ApdFtpClient1->RetrieveFile(remoteName, LocalDir + LocalFileName(remoteName), wmReplace);
        return;
      } catch (...) {
        // The local file cannot be written: shown like any error, and the run goes on with
        // the next file instead of waiting for this one forever.
        Application->HandleCurrentException(this);
      }
    } else {
      // Never fetched: it would be written outside the local folder, or cannot be stored.
      Application->MessageBox(Pick(runtext::BadFileName) + remoteName, Application->Title(),
                              MB_OK | MB_ICONEXCLAMATION);
    }
    ++RunFailures;
    if (FileQueue->Count() > 0) FileQueue->Delete(0);
  }
}

void TGetUpdateFile::Timer1Timer(TObject*) {
  if (!QueueDone) return;
  Timer1->SetEnabled(false);
  ExpectFileList = false;
  ListReady = false;
  ApdFtpClient1->CloseSession();
  FinishDownload();
  OnRunFinished(this);
}

void TGetUpdateFile::FinishDownload() {
  ApdFtpClient1->CloseSession();
  if (DownloadedCount == 0) return;
  FileListBox1->Update();
  int answer = Application->MessageBox(Pick(runtext::InstallQuestion), Application->Title(),
                                       MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON1);
  if (answer == IDYES) btnInstallClick(this);
}

void TGetUpdateFile::btnInstallClick(TObject*) {
  if (platform::FileExists(LocalDir + InstallerFileName)) {
    UINT result = WinExec(InstallerCommand, SW_SHOW);
    OnInstallerStart(this, result);
  } else {
    ShowMessage(Pick(runtext::InstallerMissing));
  }
  Application->Terminate();
}
