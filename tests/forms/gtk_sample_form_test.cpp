// The GTK widget set on a real X server: the test starts its own Xvfb on a free display,
// shows the sample window with Big5 texts, presses its controls with xdotool and keeps
// screenshots under <build>/artifacts/forms/. Without an X server the tests fail: CI must be
// able to run them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "forms/application.h"
#include "forms/class_registry.h"
#include "forms/gtk_widget_set.h"
#include "forms/message_box.h"
#include "platform/time.h"
#include "sample_form.h"
#include "support/gui_support.h"
#include "support/loop_support.h"

extern char** environ;

using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

using testsupport::ReadWholeFile;
using testsupport::RunPumping;
using testsupport::TChild;
using testsupport::TXvfb;

std::string ArtifactDir() {
  const char* build = std::getenv("KVB_BINARY_DIR");
  std::filesystem::path dir = std::filesystem::path(build ? build : ".") / "artifacts" / "forms";
  std::filesystem::create_directories(dir);
  return dir.string();
}

std::unique_ptr<TXvfb> gServer;
std::string gStartError;

class GtkSampleForm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gServer = std::make_unique<TXvfb>();
    if (!gServer->Start(gStartError, ArtifactDir() + "/xvfb.log")) {
      gStartError = "no X server for the GTK tests: " + gStartError;
      return;
    }
    setenv("DISPLAY", gServer->Display().c_str(), 1);
    setenv("LANG", "C.UTF-8", 1);
    // Any misuse of GTK ends the test instead of scrolling by.
    setenv("G_DEBUG", "fatal-criticals", 1);
    std::string why;
    if (!UseGtkWidgetSet(&why))
      gStartError = "GTK did not start on " + gServer->Display() + ": " + why;
  }
  static void TearDownTestSuite() {
    Application->DestroyComponents();
    Application->SetWidgetSet(nullptr);
    if (gServer) gServer->Stop();
    gServer.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(gStartError.empty()) << gStartError;
    ASSERT_EQ(WidgetSet().Name(), "gtk");
    form = new TSampleForm(Application);
    form->Show();
    ASSERT_TRUE(PumpUntil([&] { return Probe(form).Mapped && Probe(form->Button1).Mapped; }, 10000))
        << "the sample window did not appear";
    PumpFor(200);  // let GTK lay out and paint
  }
  void TearDown() override {
    if (form) TObject::Free(form);
    PumpFor(50);
  }

  static TWidgetProbe Probe(TControl* control) {
    TWidgetProbe probe;
    WidgetSet().Probe(control, probe);
    return probe;
  }
  // Without --sync: it waits for a motion that never comes when the pointer is there already;
  // the server handles the fake motion and the click in order anyway.
  static std::vector<std::string> ClickAt(const TWidgetProbe& p) {
    return {"xdotool",
            "mousemove",
            std::to_string(p.ScreenLeft + p.Width / 2),
            std::to_string(p.ScreenTop + p.Height / 2),
            "click",
            "1"};
  }
  static bool Contains(const std::vector<std::string>& events, const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
  }
  // Number of colours in a part of a screenshot (ImageMagick): 1 for an empty area.
  static int Colours(const std::string& shot, const TWidgetProbe& p) {
    std::string out = ArtifactDir() + "/colours.txt";
    std::string crop = std::to_string(p.Width) + "x" + std::to_string(p.Height) + "+" +
                       std::to_string(p.ScreenLeft) + "+" + std::to_string(p.ScreenTop);
    if (RunPumping({"convert", shot, "-crop", crop, "+repage", "-format", "%k", "info:"}, out) != 0)
      return -1;
    return std::atoi(ReadWholeFile(out).c_str());
  }

  testsupport::Watchdog watchdog{120};
  TSampleForm* form = nullptr;
};

TEST_F(GtkSampleForm, Big5TextsAreShownWithTheTraditionalChineseFont) {
  TWidgetProbe label = Probe(form->Label3);
  EXPECT_TRUE(label.Mapped);
  EXPECT_EQ(label.Text, "軟件 (下載 / 安裝) 系統");
  EXPECT_EQ(label.FontFamily, "AR PL UMing TW");
  EXPECT_EQ(label.UnknownGlyphs, 0);
  // Trail bytes 0x5C (許功蓋) are characters, not backslashes.
  EXPECT_EQ(Probe(form->Label1).Text, "工作狀態: 許功蓋");
  EXPECT_EQ(Probe(form->Label1).UnknownGlyphs, 0);
  EXPECT_EQ(Probe(form->Button1).Text, "下載檔案");
  EXPECT_EQ(Probe(form->CheckBox1).Text, "使用被動模式");
  // The window's own font is "MS Sans Serif" with the default character set: its title too
  // is converted from Big5.
  EXPECT_EQ(Probe(form).Text, "Sample 軟件 ");
  // Controls sit where the model puts them, relative to the client area.
  TWidgetProbe client = Probe(form);
  TWidgetProbe button = Probe(form->Button1);
  EXPECT_EQ(button.ScreenLeft - client.ScreenLeft, form->Button1->Left());
  EXPECT_EQ(button.ScreenTop - client.ScreenTop, form->Button1->Top());
  EXPECT_EQ(button.Width, form->Button1->Width());
  EXPECT_EQ(client.Width, form->ClientWidth());
  EXPECT_EQ(client.Height, form->ClientHeight());
}

TEST_F(GtkSampleForm, ClicksReachTheHandlersAndTheModelAndTheScreenshotIsKept) {
  ASSERT_EQ(RunPumping(ClickAt(Probe(form->Button1))), 0) << "xdotool failed";
  ASSERT_TRUE(PumpUntil([&] { return Contains(form->Events, "click Button1"); }, 5000))
      << "the click did not reach Button1Click";
  ASSERT_TRUE(form->CheckBox1->Checked());
  ASSERT_EQ(RunPumping(ClickAt(Probe(form->CheckBox1))), 0);
  EXPECT_TRUE(PumpUntil([&] { return !form->CheckBox1->Checked(); }, 5000))
      << "the check box click did not reach the model";
  ASSERT_EQ(RunPumping(ClickAt(Probe(form->BitBtn1))), 0);
  EXPECT_TRUE(PumpUntil([&] { return Contains(form->Events, "click BitBtn1"); }, 5000));
  // The model's changes reach the screen.
  form->Label3->SetCaption("\xC2\xF7\xB6}");  // 離開
  EXPECT_EQ(Probe(form->Label3).Text, "離開");
  form->Label3->SetCaption("\xB3n\xA5\xF3 (\xA4U\xB8\xFC / \xA6w\xB8\xCB) \xA8t\xB2\xCE");
  form->StatusBar1->SetSimpleText("Clicked");
  PumpFor(300);

  std::string shot = ArtifactDir() + "/sample_form.png";
  std::filesystem::remove(shot);
  ASSERT_EQ(RunPumping({"import", "-window", "root", shot}), 0) << "import failed";
  ASSERT_TRUE(std::filesystem::exists(shot));
  // The Big5 label is drawn (the Ming font has bitmap glyphs at this size: two colours or
  // more), an empty part of the window has its background colour alone.
  EXPECT_GE(Colours(shot, Probe(form->Label3)), 2);
  TWidgetProbe empty = Probe(form);
  empty.ScreenLeft += 120;
  empty.ScreenTop += 200;
  empty.Width = 60;
  empty.Height = 10;
  EXPECT_EQ(Colours(shot, empty), 1);
}

TEST_F(GtkSampleForm, MessageBoxIsModalKeepsTimersRunningAndItsYesButtonAnswers) {
  int result = -1;
  int ticksBefore = 0;
  int ticksAfter = 0;
  form->OnButton1 = [&] {
    form->Timer1->SetEnabled(true);
    ticksBefore = form->Ticks;
    // 是否要儲存檔案？ (Save the file?)
    result = Application->MessageBox(
        "\xAC"
        "O\xA7_\xADn\xC0x\xA6s\xC0\xC9\xAE\xD7\xA1H",
        "KVB Download", MB_YESNOCANCEL | MB_ICONQUESTION);
    ticksAfter = form->Ticks;
  };
  // The box runs its own loop inside the click handler: a driver timer, served by that
  // loop, takes a screenshot of the open box and then presses Yes.
  std::string shot = ArtifactDir() + "/message_box.png";
  std::filesystem::remove(shot);
  TChild tool;
  int stage = 0;
  int pressesOfButton1 = 0;
  TTimer driver(nullptr);
  driver.SetInterval(100);
  driver.OnTimer = [&](TObject*) {
    if (tool.Running()) return;
    TWidgetProbe yes;
    bool open = ProbeGtkMessageBoxButton(IDYES, yes) && yes.Mapped;
    if (stage == 0 && open && form->Ticks >= ticksBefore + 3) {
      // A click on the window behind the box must not get through.
      tool.Start(ClickAt(Probe(form->Button1)));
      stage = 1;
    } else if (stage == 1) {
      pressesOfButton1 =
          static_cast<int>(std::count(form->Events.begin(), form->Events.end(), "click Button1"));
      tool.Start({"import", "-window", "root", shot});
      stage = 2;
    } else if (stage == 2 && open) {
      EXPECT_EQ(yes.Text, "是(Y)");
      tool.Start(ClickAt(yes));
      stage = 3;
    }
  };
  ASSERT_EQ(RunPumping(ClickAt(Probe(form->Button1))), 0);
  ASSERT_TRUE(PumpUntil([&] { return result != -1; }, 30000))
      << "the box was not answered, stage " << stage;
  driver.SetEnabled(false);
  EXPECT_EQ(result, IDYES);
  EXPECT_GE(ticksAfter - ticksBefore, 3) << "the timer stopped while the box was open";
  EXPECT_EQ(pressesOfButton1, 1) << "the window behind the modal box took a click";
  EXPECT_TRUE(std::filesystem::exists(shot));
  form->Timer1->SetEnabled(false);
}

TEST_F(GtkSampleForm, WhatTheUserDoesReachesTheModelThroughPostedNotices) {
  // Select the second row of the list box.
  TWidgetProbe list = Probe(form->ListBox1);
  TWidgetProbe row = list;
  row.Height = 2 * form->ListBox1->ItemHeight() + 8;  // the upper two rows
  row.ScreenTop += row.Height * 3 / 4 - row.Height / 2;
  ASSERT_EQ(RunPumping(ClickAt(row)), 0);
  EXPECT_TRUE(PumpUntil([&] { return form->ListBox1->ItemIndex() == 1; }, 5000))
      << "item index " << form->ListBox1->ItemIndex();
  // Type into the memo: the text comes back into its lines.
  TWidgetProbe memo = Probe(form->Memo1);
  memo.ScreenTop += memo.Height / 2 - 10;  // below the two lines: the caret goes to the end
  memo.Height = 20;
  ASSERT_EQ(RunPumping(ClickAt(memo)), 0);
  ASSERT_EQ(RunPumping({"xdotool", "type", "--delay", "20", "xyz"}), 0);
  EXPECT_TRUE(PumpUntil([&] { return form->Memo1->Text().find("xyz") != std::string::npos; }, 5000))
      << form->Memo1->Text();
  EXPECT_EQ(form->Memo1->Lines()->Get(0), "first line");
  // And the model's own changes go back to the screen without echoing as edits.
  form->Memo1->Lines()->SetText("one\r\ntwo\r\n");
  PumpFor(100);
  EXPECT_EQ(form->Memo1->Text(), "one\r\ntwo");
}

TEST_F(GtkSampleForm, EveryRegisteredControlCanBeShownChangedAndFreed) {
  auto* all = new TForm(Application);
  all->SetBounds(500, 40, 400, 400);
  int y = 0;
  for (const TClassRecord* record : RegisteredClasses()) {
    if (!record->CanCreate() || !record->InheritsFrom(TControl::StaticClass()) ||
        record->InheritsFrom(TCustomForm::StaticClass()))
      continue;
    auto* control = static_cast<TControl*>(record->Create(all));
    control->SetParent(all);
    control->SetBounds(4, y, 100, 20);
    y += 12;
  }
  all->Show();
  ASSERT_TRUE(PumpUntil([&] { return Probe(all).Mapped; }, 10000));
  // Every kind of change on every control, while it is on screen.
  for (int i = 0; i < all->ControlCount(); ++i) {
    TControl* c = all->Controls(i);
    c->SetText("\xA4\xA4 text");
    c->Font()->SetCharSet(CHINESEBIG5_CHARSET);
    c->SetColor(clYellow);
    c->SetBounds(c->Left() + 1, c->Top(), 90, 24);
    c->SetEnabled(false);
    c->SetHint("hint");
    c->SetVisible(false);
    c->SetVisible(true);
    if (auto* list = As<TCustomListBox>(c)) {
      list->Items()->SetText("a\r\nb\r\n");
      list->SetItemIndex(1);
    }
  }
  PumpFor(200);
  TObject::Free(all);
  PumpFor(50);
}

}  // namespace
