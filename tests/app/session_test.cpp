// Whole runs of the download window in this process, on the headless widget set, against
// pyftpdlib: two presses of Download in one window, in active mode.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/get_update_file.h"
#include "app/run_texts.h"
#include "app/session_values.h"
#include "app_support.h"
#include "forms/application.h"
#include "forms/headless_widget_set.h"
#include "forms/message_box.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "support/ftp_servers.h"
#include "support/loop_support.h"
#include "window_in_process.h"

using apptest::ReadFile;
using apptest::SampleBytes;
using apptest::TempDir;
using apptest::TWindowInProcess;
using apptest::WriteFile;
namespace fs = std::filesystem;

namespace {

TEST(Session, ASecondRunClearsTheReceivedListButCountsOnSoTheQuestionIsAskedAgain) {
  testsupport::Watchdog watchdog{240};
  TempDir drive, server;
  const fs::path remote = server.Path() / "KVB_program";
  const std::string data = SampleBytes(70000, 1);
  WriteFile(remote / "data.bin", data);
  WriteFile(remote / "Setup.exe", "#!/bin/sh\nexit 0\n");
  WriteFile(remote / "notes.txt", "a\r\nb\n");
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());

  int questions = 0;
  TWindowInProcess window(drive.Path(), ftp->Port(), [&](const TMessageBoxRequest& r) {
    if ((r.Flags & MB_TYPEMASK) == MB_YESNOCANCEL) ++questions;
    return (r.Flags & MB_TYPEMASK) == MB_YESNOCANCEL ? IDNO : IDOK;
  });
  TGetUpdateFile* form = window.Form;
  int finished = 0;
  form->OnRunFinished = [&](TObject*) { ++finished; };
  form->FTP_Mode->SetChecked(false);  // active mode

  form->btnFileDownload->Click();
  ASSERT_TRUE(testsupport::PumpUntil([&] { return finished == 1; }, 90000));
  EXPECT_FALSE(form->ApdFtpClient1->PassiveMode());
  EXPECT_EQ(form->Memo1->Lines()->Lines(),
            (std::vector<std::string>{"Setup.exe", "data.bin", "notes.txt"}));
  EXPECT_EQ(form->DownloadedCount, 3);
  EXPECT_EQ(questions, 1);
  EXPECT_EQ(ReadFile(drive.Path() / "SuperSetup" / "data.bin"), data);
  EXPECT_EQ(ReadFile(drive.Path() / "SuperSetup" / "SetupKVB.exe"), "#!/bin/sh\nexit 0\n");
  EXPECT_FALSE(fs::exists(drive.Path() / "SuperSetup" / "Setup.exe"));
  // The file list shows the folder as it is now.
  EXPECT_EQ(form->FileListBox1->Items()->IndexOf("data.bin") >= 0, true);
  EXPECT_FALSE(form->ApdFtpClient1->IsSessionOpen());
  ASSERT_EQ(window.Widgets->Log().size(), 1u);  // only the question
  const TMessageBoxRequest& question = window.Widgets->Log()[0].Request;
  EXPECT_EQ(question.Text, Pick(runtext::InstallQuestion));
  EXPECT_EQ(question.Flags, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON1);
  EXPECT_EQ(MessageBoxDefaultButton(question.Flags), IDYES);
  EXPECT_EQ(MessageBoxEscapeResult(question.Flags), IDCANCEL);
  EXPECT_EQ(question.Owner, form);

  // The second run finds nothing to fetch, yet the count of the first one still stands.
  fs::remove_all(remote);
  fs::create_directories(remote);
  form->btnFileDownload->Click();
  EXPECT_EQ(form->Memo1->Lines()->Count(), 0);
  ASSERT_TRUE(testsupport::PumpUntil([&] { return finished == 2; }, 90000));
  EXPECT_EQ(form->Memo1->Lines()->Count(), 0);
  EXPECT_EQ(form->DownloadedCount, 3);
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(form->FilesListed, 0);
}

// A transfer that stops in the middle ends with the time-out box; the partial data never
// takes the file's place, so the copy of an earlier run is still whole.
TEST(Session, ATimedOutRetrievalLeavesTheEarlierCopyAndNoPartialFile) {
  testsupport::Watchdog watchdog{120};
  TempDir drive;
  const std::string earlier = "the copy of an earlier run";
  WriteFile(drive.Path() / "SuperSetup" / "big.bin", earlier);
  // A quarter of the file comes, then both connections fall silent.
  apptest::ScriptedPeer ftp("retr-stall", {"--file-size", "big.bin=300000"});

  std::vector<std::string> boxes;
  TWindowInProcess window(drive.Path(), ftp.Port(), [&](const TMessageBoxRequest& r) {
    boxes.push_back(r.Text);
    return IDOK;
  });
  TGetUpdateFile* form = window.Form;
  TApdFtpClient* client = form->ApdFtpClient1;
  // The window's own limit is 165 s; after log-in the test shortens it to 2.2 s.
  TFtpStatusEvent status = client->OnFtpStatus;
  bool timedOut = false;
  client->OnFtpStatus = [&, status](TObject* sender, TFtpStatusCode code, const char* text) {
    if (code == fsLoggedIn) client->SetTransferTimeout(40);
    if (code == fsTimedOut) timedOut = true;
    status(sender, code, text);
  };

  form->btnFileDownload->Click();
  ASSERT_TRUE(testsupport::PumpUntil([&] { return timedOut; }, 60000))
      << "client state " << int(client->State()) << ", " << client->ByteCount() << " bytes";
  EXPECT_GT(client->ByteCount(), 0);  // part of the file had come
  EXPECT_EQ(boxes, std::vector<std::string>{"Transfer timed out"});
  EXPECT_EQ(apptest::ListFiles(drive.Path() / "SuperSetup"), std::vector<std::string>{"big.bin"});
  EXPECT_EQ(ReadFile(drive.Path() / "SuperSetup" / "big.bin"), earlier);
  // The run stays where it is: the file is still at the head of the queue.
  EXPECT_EQ(FileQueue->Lines(), std::vector<std::string>{"big.bin"});
  EXPECT_EQ(form->DownloadedCount, 0);
}

// A run whose connection was lost leaves its completion watch polling. When the next press of
// Download opens a new session and the server refuses its log-in, that run stays where it is:
// the earlier run's watch must not take the refusal for the end of a download and offer to
// install.
TEST(Session, ARefusedLogInAfterALostConnectionDoesNotOfferToInstall) {
  testsupport::Watchdog watchdog{120};
  TempDir drive;
  apptest::ScriptedPeer dropping("drop-control",
                                 {"--set", "at=RETR", "--file-size", "a.bin=200000"});
  apptest::ScriptedPeer refusing("refuse-login");

  std::vector<TMessageBoxRequest> boxes;
  TWindowInProcess window(drive.Path(), dropping.Port(), [&](const TMessageBoxRequest& r) {
    boxes.push_back(r);
    return (r.Flags & MB_TYPEMASK) == MB_YESNOCANCEL ? IDNO : IDOK;
  });
  TGetUpdateFile* form = window.Form;
  // Files from an earlier run of this window: the install question would be asked.
  form->DownloadedCount = 2;
  TApdFtpClient* client = form->ApdFtpClient1;
  TFtpStatusEvent status = client->OnFtpStatus;
  int loggedOut = 0;
  client->OnFtpStatus = [&, status](TObject* sender, TFtpStatusCode code, const char* text) {
    if (code == fsLoggedOut) ++loggedOut;
    status(sender, code, text);
  };
  auto questions = [&] {
    return std::count_if(boxes.begin(), boxes.end(), [](const TMessageBoxRequest& r) {
      return (r.Flags & MB_TYPEMASK) == MB_YESNOCANCEL;
    });
  };

  // The server hangs up in the middle of the first file.
  form->btnFileDownload->Click();
  ASSERT_TRUE(testsupport::PumpUntil([&] { return loggedOut > 0; }, 60000));
  EXPECT_FALSE(client->IsSessionOpen());
  EXPECT_EQ(form->Memo1->Lines()->Count(), 0);
  testsupport::PumpFor(2500);
  EXPECT_EQ(questions(), 0);

  // The next press reaches a server that refuses the log-in.
  ServerPort = std::to_string(refusing.Port());
  form->btnFileDownload->Click();
  ASSERT_TRUE(testsupport::PumpUntil(
      [&] {
        return std::any_of(boxes.begin(), boxes.end(), [](const TMessageBoxRequest& r) {
          return r.Caption == "FTP Error: 530";
        });
      },
      30000));
  // Long enough for two ticks of the 2000 ms completion watch.
  testsupport::PumpFor(4500);
  EXPECT_EQ(questions(), 0);
  EXPECT_FALSE(form->LoggedInSeen);
  EXPECT_EQ(form->Memo1->Lines()->Count(), 0);
}

// The connection is lost once the remote folder's list has been read, before its first file
// is asked for. The list went with the connection: the first-fetch watch must not find the
// queue empty and end the run as if every file had been handled (with the install question,
// since an earlier run of this window received files).
TEST(Session, AConnectionLostAfterTheListingDoesNotOfferToInstall) {
  testsupport::Watchdog watchdog{120};
  TempDir drive;
  apptest::ScriptedPeer peer("drop-after-listing",
                             {"--file", "a.txt=alpha", "--file", "b.txt=beta"});

  std::vector<TMessageBoxRequest> boxes;
  TWindowInProcess window(drive.Path(), peer.Port(), [&](const TMessageBoxRequest& r) {
    boxes.push_back(r);
    return (r.Flags & MB_TYPEMASK) == MB_YESNOCANCEL ? IDNO : IDOK;
  });
  TGetUpdateFile* form = window.Form;
  form->DownloadedCount = 2;  // as an earlier run of this window left it
  TApdFtpClient* client = form->ApdFtpClient1;
  TFtpStatusEvent status = client->OnFtpStatus;
  int loggedOut = 0;
  client->OnFtpStatus = [&, status](TObject* sender, TFtpStatusCode code, const char* text) {
    if (code == fsLoggedOut) ++loggedOut;
    status(sender, code, text);
  };

  form->btnFileDownload->Click();
  ASSERT_TRUE(testsupport::PumpUntil([&] { return loggedOut > 0; }, 60000));
  EXPECT_EQ(form->FilesListed, 2);  // the list had been read
  EXPECT_EQ(FileQueue->Count(), 0);
  // Long enough for the 3000 ms first-fetch watch and then the 2000 ms completion watch.
  testsupport::PumpFor(6000);
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(form->QueueDone);
  EXPECT_EQ(form->Memo1->Lines()->Count(), 0);
  EXPECT_EQ(form->StatusBar1->SimpleText(), Pick(runtext::LoggedOut));
}

}  // namespace
