// The download window on GTK under an Xvfb of the test's own: it opens in Chinese with its
// caption and the program's icon, the keyboard walks it in its tab order and presses its
// buttons, its controls keep their sizes in both languages with nothing cut off, a click on
// Download brings the files of a local server into the file list (the install question asks
// in the window's language), and a click on the language button switches back. Screenshots
// are kept under <build>/artifacts/app/. Without an X server the test fails: CI must be able to
// run it.
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

int Key(const std::string& keys) {
  return RunPumping({"xdotool", "key", "--clearmodifiers", keys});
}

// The controls whose size the window gives and the theme must not change, with nothing of
// their texts cut off.
void ExpectDesignedSizes(TGetUpdateFile* form, const std::string& language) {
  TWidgetProbe client = Probe(form);
  for (TControl* c : std::vector<TControl*>{form->btnFileDownload, form->btnInstall, form->btnExit,
                                            form->BitBtn1, form->FTP_Mode, form->StatusBar1,
                                            form->InfoMemo, form->Memo1, form->FileListBox1}) {
    TWidgetProbe p = Probe(c);
    EXPECT_EQ(p.ScreenLeft - client.ScreenLeft, c->Left()) << c->Name() << ", " << language;
    EXPECT_EQ(p.ScreenTop - client.ScreenTop, c->Top()) << c->Name() << ", " << language;
    EXPECT_EQ(p.Width, c->Width()) << c->Name() << ", " << language;
    EXPECT_EQ(p.Height, c->Height()) << c->Name() << ", " << language;
    EXPECT_FALSE(p.TextClipped) << c->Name() << " \"" << p.Text << "\", " << language;
  }
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

  // The program's icon on the window, at the sizes desktops use.
  std::string windows = ArtifactDir() + "/windows.txt";
  ASSERT_EQ(RunPumping({"xdotool", "search", "--onlyvisible", "--name", "Updated on"}, windows), 0);
  std::string windowId = apptest::ReadFile(windows);
  windowId = windowId.substr(0, windowId.find('\n'));
  std::string icon = ArtifactDir() + "/icon.txt";
  ASSERT_EQ(RunPumping({"xprop", "-id", windowId, "_NET_WM_ICON"}, icon), 0);
  for (const char* size : {"Icon (16 x 16)", "Icon (32 x 32)", "Icon (48 x 48)"})
    EXPECT_NE(apptest::ReadFile(icon).find(size), std::string::npos) << size;

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
  ExpectDesignedSizes(form, "Chinese");
  ASSERT_TRUE(Screenshot("window_chinese.png"));
  EXPECT_EQ(Colours("window_chinese.png", Probe(form->FileListBox1)), 1);  // empty yet

  // The keyboard: the first control in tab order has the focus; Tab walks the tab order of
  // the description (the memos do not take it) and comes round, Shift+Tab walks back.
  ASSERT_TRUE(PumpUntil([&] { return Probe(form->InfoMemo).Focused; }, 5000));
  TWidgetProbe client = Probe(form);
  ASSERT_EQ(RunPumping({"xdotool", "mousemove", std::to_string(client.ScreenLeft + 420),
                        std::to_string(client.ScreenTop + 60)}),
            0);  // keys go to the window under the pointer
  const std::vector<TControl*> tabOrder{form->btnExit,      form->Memo1,           form->btnInstall,
                                        form->FileListBox1, form->btnFileDownload, form->FTP_Mode,
                                        form->BitBtn1,      form->InfoMemo};
  for (TControl* next : tabOrder) {
    ASSERT_EQ(Key("Tab"), 0);
    ASSERT_TRUE(PumpUntil([&] { return Probe(next).Focused; }, 5000)) << next->Name();
  }
  EXPECT_EQ(form->InfoMemo->Text(), "");
  for (TControl* previous : std::vector<TControl*>{form->BitBtn1, form->FTP_Mode}) {
    ASSERT_EQ(Key("shift+Tab"), 0);
    ASSERT_TRUE(PumpUntil([&] { return Probe(previous).Focused; }, 5000)) << previous->Name();
  }
  // Space toggles the check box; Tab, then Enter presses the language button.
  ASSERT_EQ(Key("space"), 0);
  ASSERT_TRUE(PumpUntil([&] { return !form->FTP_Mode->Checked(); }, 5000));
  ASSERT_EQ(Key("space"), 0);
  ASSERT_TRUE(PumpUntil([&] { return form->FTP_Mode->Checked(); }, 5000));
  ASSERT_EQ(Key("Tab"), 0);
  ASSERT_TRUE(PumpUntil([&] { return Probe(form->BitBtn1).Focused; }, 5000));
  ASSERT_EQ(Key("Return"), 0);
  ASSERT_TRUE(PumpUntil([&] { return !UseChinese; }, 5000)) << "Enter did not press BitBtn1";
  PumpFor(300);
  EXPECT_EQ(Probe(form).Text, "KVB-System (Download / Installation) ");
  EXPECT_EQ(Probe(form->btnFileDownload).Text, "Download File");
  EXPECT_EQ(Probe(form->btnInstall).Text, "Install Program");
  EXPECT_EQ(Probe(form->Label3).Text, "Program (Download / Installation) System");
  EXPECT_EQ(Probe(form->FTP_Mode).Text, "Use Passive Mode");
  ExpectDesignedSizes(form, "English");
  ASSERT_TRUE(Screenshot("window_english.png"));

  // Download: the install question opens inside the timer's handler, in English; a driver
  // timer, served by the box's own loop, takes a picture of it and answers No.
  std::string yesText, noText;
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
      TWidgetProbe yes;
      ProbeGtkMessageBoxButton(IDYES, yes);
      yesText = yes.Text;
      noText = no.Text;
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
  EXPECT_EQ(yesText, "Yes");
  EXPECT_EQ(noText, "No");
  EXPECT_EQ(form->Memo1->Lines()->Lines(),
            (std::vector<std::string>{"Setup.exe", "data.bin", "readme.txt"}));
  EXPECT_EQ(form->FileListBox1->Items()->Lines(),
            (std::vector<std::string>{"data.bin", "readme.txt", "SetupKVB.exe"}));
  PumpFor(300);
  ASSERT_TRUE(Screenshot("window_after_download.png"));
  // The lists are drawn with their lines now: more than their background colour.
  EXPECT_GT(Colours("window_after_download.png", Probe(form->FileListBox1)), 1);
  EXPECT_GT(Colours("window_after_download.png", Probe(form->Memo1)), 1);
  EXPECT_EQ(Probe(form->FileListBox1).ItemHeight, form->FileListBox1->ItemHeight());

  // The language button, clicked: back to Chinese, without the update suffix.
  ASSERT_EQ(RunPumping(ClickAt(Probe(form->BitBtn1))), 0);
  ASSERT_TRUE(PumpUntil([&] { return UseChinese; }, 5000)) << "the toggle did not react";
  PumpFor(300);
  EXPECT_EQ(Probe(form).Text, "KVB 股市分析系統 (下載 / 安裝) ");
  EXPECT_EQ(Probe(form->btnFileDownload).Text, "下載檔案");
  EXPECT_EQ(Probe(form->FTP_Mode).Text, "使用被動模式");

  TObject::Free(form);
  PumpFor(50);
  Application->SetWidgetSet(nullptr);
  xvfb.Stop();
  ServerHost = DefaultServerHost;
  ServerPort.clear();
}

}  // namespace
