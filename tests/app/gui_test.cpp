// The download window on GTK under an Xvfb of the test's own: it opens in Chinese with its
// caption, a click on Download brings the files of a local server into the file list, and a
// click on the language button switches to English. Screenshots are kept under
// <build>/artifacts/app/. Without an X server the test fails: CI must be able to run it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/get_update_file.h"
#include "app/session_values.h"
#include "app_support.h"
#include "forms/application.h"
#include "forms/gtk_widget_set.h"
#include "forms/message_box.h"
#include "platform/files.h"
#include "platform/time.h"
#include "support/ftp_servers.h"
#include "support/gui_support.h"
#include "support/loop_support.h"

using testsupport::PumpFor;
using testsupport::PumpUntil;
namespace fs = std::filesystem;

namespace {

using testsupport::RunPumping;
using testsupport::TChild;
using testsupport::TXvfb;

std::string ArtifactDir() {
  fs::path dir = fs::path(apptest::BinaryDir()) / "artifacts" / "app";
  fs::create_directories(dir);
  return dir.string();
}

TWidgetProbe Probe(TControl* control) {
  TWidgetProbe probe;
  WidgetSet().Probe(control, probe);
  return probe;
}

std::vector<std::string> ClickAt(const TWidgetProbe& p) {
  return {"xdotool",
          "mousemove",
          std::to_string(p.ScreenLeft + p.Width / 2),
          std::to_string(p.ScreenTop + p.Height / 2),
          "click",
          "1"};
}

bool Screenshot(const std::string& name) {
  std::string shot = ArtifactDir() + "/" + name;
  fs::remove(shot);
  return RunPumping({"import", "-window", "root", shot}) == 0 && fs::exists(shot);
}

// Number of colours in a part of a screenshot (ImageMagick): 1 for an empty area.
int Colours(const std::string& name, const TWidgetProbe& p) {
  std::string out = ArtifactDir() + "/colours.txt";
  std::string crop = std::to_string(p.Width - 8) + "x" + std::to_string(p.Height - 8) + "+" +
                     std::to_string(p.ScreenLeft + 4) + "+" + std::to_string(p.ScreenTop + 4);
  TChild child;
  if (!child.Start({"convert", ArtifactDir() + "/" + name, "-crop", crop, "+repage", "-format",
                    "%k", "info:"},
                   out))
    return -1;
  if (!PumpUntil([&] { return !child.Running(); }, 20000)) return -1;
  return std::atoi(apptest::ReadFile(out).c_str());
}

TEST(DownloadWindowOnGtk, OpensInChineseDownloadsOnAClickAndSwitchesToEnglish) {
  testsupport::Watchdog watchdog{240};
  TXvfb xvfb;
  std::string error;
  ASSERT_TRUE(xvfb.Start(error, ArtifactDir() + "/xvfb.log")) << error;
  setenv("DISPLAY", xvfb.Display().c_str(), 1);
  setenv("LANG", "C.UTF-8", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  ASSERT_TRUE(UseGtkWidgetSet(&error)) << error;

  apptest::TempDir drive, server;
  struct TRestoreDir {
    ~TRestoreDir() { fs::current_path(apptest::BinaryDir()); }
  } restoreDir;
  platform::SetDriveFolder('C', drive.Path().string());
  apptest::WriteFile(server.Path() / "KVB_program" / "Setup.exe", "#!/bin/sh\nexit 0\n");
  apptest::WriteFile(server.Path() / "KVB_program" / "data.bin", apptest::SampleBytes(40000, 5));
  apptest::WriteFile(server.Path() / "KVB_program" / "readme.txt", "read me\r\n");
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());
  ServerHost = "127.0.0.1";
  ServerPort = std::to_string(ftp->Port());
  Application->SetTitle("KVB Download");

  TGetUpdateFile* form = nullptr;
  Application->CreateForm(&form);
  form->Show();
  ASSERT_TRUE(
      PumpUntil([&] { return Probe(form).Mapped && Probe(form->btnFileDownload).Mapped; }, 10000))
      << "the window did not appear";
  PumpFor(300);

  // In Chinese, with the update suffix in the caption.
  EXPECT_EQ(Probe(form).Text, "KVB 股市分析系統 (下載 / 安裝)   (Updated on 2016/06/15)");
  EXPECT_EQ(Probe(form->Label3).Text, "軟件 (下載 / 安裝) 系統");
  EXPECT_EQ(Probe(form->btnFileDownload).Text, "下載檔案");
  EXPECT_EQ(Probe(form->FTP_Mode).Text, "使用被動模式");
  EXPECT_EQ(Probe(form->Label5).Text, "成功下載之檔案");
  EXPECT_EQ(Probe(form->Label3).UnknownGlyphs, 0);
  EXPECT_EQ(Probe(form->Label6).Text, "C:\\SuperSetup\\");
  EXPECT_TRUE(Probe(form->ProgramIcon).Mapped);
  EXPECT_TRUE(Probe(form->BitBtn1).Mapped);
  EXPECT_EQ(Probe(form).Width, 544);
  EXPECT_EQ(Probe(form).Height, 361);
  ASSERT_TRUE(Screenshot("window_chinese.png"));
  EXPECT_EQ(Colours("window_chinese.png", Probe(form->FileListBox1)), 1);  // empty yet

  // Download: the install question opens inside the timer's handler; a driver timer, served
  // by the box's own loop, takes a picture of it and answers No.
  int finished = 0;
  form->OnRunFinished = [&](TObject*) { ++finished; };
  TChild tool;
  int stage = 0;
  TTimer driver(nullptr);
  driver.SetInterval(100);
  driver.OnTimer = [&](TObject*) {
    if (tool.Running()) return;
    TWidgetProbe no;
    bool open = ProbeGtkMessageBoxButton(IDNO, no) && no.Mapped;
    if (stage == 0 && open) {
      tool.Start({"import", "-window", "root", ArtifactDir() + "/install_question.png"});
      stage = 1;
    } else if (stage == 1 && open) {
      tool.Start(ClickAt(no));
      stage = 2;
    }
  };
  ASSERT_EQ(RunPumping(ClickAt(Probe(form->btnFileDownload))), 0) << "xdotool failed";
  ASSERT_TRUE(PumpUntil([&] { return finished == 1; }, 120000))
      << "the run did not end; status: " << form->StatusBar1->SimpleText() << ", stage " << stage;
  driver.SetEnabled(false);
  EXPECT_EQ(stage, 2) << "the install question was not seen";
  EXPECT_EQ(form->Memo1->Lines()->Lines(),
            (std::vector<std::string>{"Setup.exe", "data.bin", "readme.txt"}));
  EXPECT_EQ(form->FileListBox1->Items()->Lines(),
            (std::vector<std::string>{"data.bin", "readme.txt", "SetupKVB.exe"}));
  PumpFor(300);
  ASSERT_TRUE(Screenshot("window_after_download.png"));
  // The lists are drawn with their lines now: more than their background colour.
  EXPECT_GT(Colours("window_after_download.png", Probe(form->FileListBox1)), 1);
  EXPECT_GT(Colours("window_after_download.png", Probe(form->Memo1)), 1);

  // The language button.
  ASSERT_EQ(RunPumping(ClickAt(Probe(form->BitBtn1))), 0);
  ASSERT_TRUE(PumpUntil([&] { return !UseChinese; }, 5000)) << "the toggle did not react";
  PumpFor(300);
  EXPECT_EQ(Probe(form).Text, "KVB-System (Download / Installation) ");
  EXPECT_EQ(Probe(form->btnFileDownload).Text, "Download File");
  EXPECT_EQ(Probe(form->Label3).Text, "Program (Download / Installation) System");
  EXPECT_EQ(Probe(form->FTP_Mode).Text, "Use Passive Mode");
  ASSERT_TRUE(Screenshot("window_english.png"));

  TObject::Free(form);
  PumpFor(50);
  Application->SetWidgetSet(nullptr);
  xvfb.Stop();
  ServerHost = DefaultServerHost;
  ServerPort.clear();
}

}  // namespace
