// The application object, timers, message boxes that keep the loop dispatching, the error
// box for exceptions from handlers, notices, closing and the GTK set without a display.
#include <gtest/gtest.h>

#include <cstdlib>

#include "forms/application.h"
#include "forms/gtk_widget_set.h"
#include "forms/headless_widget_set.h"
#include "forms/message_box.h"
#include "forms/std_controls.h"
#include "forms/timer.h"
#include "platform/messages.h"
#include "sample_form.h"
#include "support/loop_support.h"

using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless = new THeadlessWidgetSet([this](const TMessageBoxRequest& r) { return policy(r); });
    Application->SetWidgetSet(std::unique_ptr<TWidgetSet>(headless));
    Application->SetTitle("Forms Test");
  }
  void TearDown() override {
    Application->OnException.Clear();
    Application->DestroyComponents();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    Application->SetWidgetSet(nullptr);
  }

  testsupport::Watchdog watchdog{60};
  THeadlessWidgetSet* headless = nullptr;
  // Answers every box with its default button unless a test says otherwise.
  std::function<int(const TMessageBoxRequest&)> policy = [](const TMessageBoxRequest& r) {
    return MessageBoxDefaultButton(r.Flags);
  };
};

TEST_F(ApplicationTest, TimerFiresWhileEnabledAndStopsWhenDisabled) {
  auto* timer = new TTimer(Application);
  int ticks = 0;
  timer->OnTimer = [&](TObject* sender) {
    EXPECT_EQ(sender, timer);
    ++ticks;
  };
  timer->SetInterval(20);
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }, 3000));
  timer->SetEnabled(false);
  int stopped = ticks;
  PumpFor(120);
  EXPECT_EQ(ticks, stopped);
  timer->SetEnabled(true);
  timer->SetInterval(0);  // no interval, no timer
  PumpFor(120);
  EXPECT_EQ(ticks, stopped);
  timer->SetInterval(15);
  EXPECT_TRUE(PumpUntil([&] { return ticks > stopped; }, 3000));
}

TEST_F(ApplicationTest, TimerOfADescriptionRunsOnceLoadedAndItsHandlerIsBound) {
  auto* form = new TSampleForm(Application);
  EXPECT_FALSE(form->Timer1->Enabled());
  PumpFor(100);
  EXPECT_EQ(form->Ticks, 0);
  form->Timer1->SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return form->Ticks >= 2; }, 3000));
}

TEST_F(ApplicationTest, ExceptionFromOnTimerShowsTheErrorBoxAndTheTimerGoesOn) {
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) {
    ++ticks;
    throw platform::EInOutError("Disk full", 112);
  };
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 2; }, 3000));
  timer->SetEnabled(false);
  ASSERT_GE(headless->Log().size(), 2u);
  const auto& box = headless->Log()[0];
  EXPECT_EQ(box.Request.Text, "Disk full.");  // the standard box ends it with a full stop
  EXPECT_EQ(box.Request.Caption, "Forms Test");
  EXPECT_EQ(box.Request.Flags, MB_OK | MB_ICONSTOP);
  EXPECT_EQ(box.Result, IDOK);
}

TEST_F(ApplicationTest, MessageBoxKeepsDispatchingPostedMessagesAndTimersUntilAnswered) {
  policy = [](const TMessageBoxRequest&) { return 0; };  // the box stays open
  int posted = 0;
  HWND window = AllocateHWnd([&](TMessage& m) {
    if (m.Msg == WM_USER + 7) ++posted;
  });
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) {
    ++ticks;
    if (ticks == 2) PostMessageA(window, WM_USER + 7, 0, 0);
    if (ticks == 4) {
      EXPECT_EQ(headless->OpenBoxCount(), 1);
      headless->Answer(IDNO);
    }
  };
  int result =
      Application->MessageBox("Install now?", "KVB Download", MB_YESNOCANCEL | MB_ICONQUESTION);
  EXPECT_EQ(result, IDNO);
  EXPECT_EQ(ticks, 4);
  EXPECT_EQ(posted, 1);
  EXPECT_EQ(headless->OpenBoxCount(), 0);
  ASSERT_EQ(headless->Log().size(), 1u);
  EXPECT_EQ(headless->Log()[0].Result, IDNO);
  EXPECT_EQ(Application->ModalLevel(), 0);
  DeallocateHWnd(window);
}

TEST_F(ApplicationTest, BoxesOpenedFromHandlersInsideABoxAreAnsweredInTurn) {
  policy = [](const TMessageBoxRequest&) { return 0; };
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  int inner = 0;
  int ticks = 0;
  timer->OnTimer = [&](TObject*) {
    ++ticks;
    if (ticks == 1) {
      timer->SetEnabled(false);
      timer->SetEnabled(true);
      inner = Application->MessageBox("inner", "t", MB_OKCANCEL);  // nested in the outer box
      headless->Answer(IDYES);                                     // then the outer one
    } else if (ticks == 2) {
      headless->Answer(IDCANCEL);  // the inner box is the newest
    }
  };
  EXPECT_EQ(Application->MessageBox("outer", "t", MB_YESNO), IDYES);
  EXPECT_EQ(inner, IDCANCEL);
}

TEST_F(ApplicationTest, QuitWhileABoxIsOpenEndsTheBoxAndStaysForTheOuterLoop) {
  policy = [](const TMessageBoxRequest&) { return 0; };
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  timer->OnTimer = [&](TObject*) {
    timer->SetEnabled(false);
    Application->Terminate();
  };
  EXPECT_EQ(Application->MessageBox("waiting", "t", MB_OK), 0);
  EXPECT_TRUE(Application->Terminated());
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(MessageBoxRules, ButtonsDefaultsAndEscape) {
  EXPECT_EQ(MessageBoxButtons(MB_YESNOCANCEL), (std::vector<int>{IDYES, IDNO, IDCANCEL}));
  EXPECT_EQ(MessageBoxButtons(MB_OK | MB_ICONEXCLAMATION), (std::vector<int>{IDOK}));
  EXPECT_EQ(MessageBoxDefaultButton(MB_YESNOCANCEL), IDYES);
  EXPECT_EQ(MessageBoxDefaultButton(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
  EXPECT_EQ(MessageBoxDefaultButton(MB_YESNO | MB_DEFBUTTON3), IDYES);  // beyond the buttons
  EXPECT_EQ(MessageBoxEscapeResult(MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxEscapeResult(MB_OK), IDOK);
  EXPECT_EQ(MessageBoxEscapeResult(MB_YESNO), 0);
  EXPECT_EQ(MessageBoxEscapeResult(MB_ABORTRETRYIGNORE), 0);
  // The runtime's box with Cancel alone answers Cancel to Enter and to Escape.
  EXPECT_EQ(MessageBoxDefaultButton(MB_CANCELONLY), IDCANCEL);
  EXPECT_EQ(MessageBoxEscapeResult(MB_CANCELONLY), IDCANCEL);
  EXPECT_EQ(MessageBoxIconOf(MB_OK | MB_ICONQUESTION), TMessageBoxIcon::Question);
  EXPECT_EQ(MessageBoxIconOf(MB_OK | MB_ICONINFORMATION), TMessageBoxIcon::Information);
  EXPECT_EQ(MessageBoxIconOf(MB_OK | MB_ICONEXCLAMATION), TMessageBoxIcon::Warning);
  EXPECT_EQ(MessageBoxIconOf(MB_OK), TMessageBoxIcon::None);
}

TEST_F(ApplicationTest, ShowMessageUsesTheTitleAndOk) {
  ShowMessage("Transfer timed out");
  ASSERT_EQ(headless->Log().size(), 1u);
  EXPECT_EQ(headless->Log()[0].Request.Caption, "Forms Test");
  EXPECT_EQ(headless->Log()[0].Request.Text, "Transfer timed out");
  EXPECT_EQ(headless->Log()[0].Request.Flags, MB_OK);
}

TEST_F(ApplicationTest, ExceptionFromAClickIsShownOrGivenToOnExceptionAndTheProgramGoesOn) {
  auto* form = new TForm(Application);
  auto* button = new TButton(form);
  button->SetParent(form);
  int clicks = 0;
  button->OnClick = [&](TObject*) {
    ++clicks;
    if (clicks == 1) throw platform::Exception("Cannot create file \"x\"");
    if (clicks == 2) throw EAbort();
    throw std::runtime_error("plain!");
  };
  PostControlNotice(button, cnClick);
  ASSERT_TRUE(PumpUntil([&] { return clicks == 1; }, 2000));
  ASSERT_EQ(headless->Log().size(), 1u);
  // The box adds a full stop unless the message ends in punctuation (a quote counts).
  EXPECT_EQ(headless->Log()[0].Request.Text, "Cannot create file \"x\"");
  PostControlNotice(button, cnClick);  // EAbort: silent
  ASSERT_TRUE(PumpUntil([&] { return clicks == 2; }, 2000));
  EXPECT_EQ(headless->Log().size(), 1u);
  std::string seen;
  Application->OnException = [&](TObject* sender, const std::exception& e) {
    EXPECT_EQ(sender, button);
    seen = e.what();
  };
  PostControlNotice(button, cnClick);
  ASSERT_TRUE(PumpUntil([&] { return clicks == 3; }, 2000));
  EXPECT_EQ(seen, "plain!");
  EXPECT_EQ(headless->Log().size(), 1u);
}

TEST_F(ApplicationTest, NoticeForAControlThatIsGoneIsDropped) {
  auto* form = new TForm(Application);
  auto* button = new TButton(form);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  PostControlNotice(button, cnClick);
  TObject::Free(button);
  PumpFor(50);
  EXPECT_EQ(clicks, 0);
  // A disabled button ignores clicks too.
  auto* other = new TButton(form);
  other->OnClick = [&](TObject*) { ++clicks; };
  other->SetEnabled(false);
  PostControlNotice(other, cnClick);
  PumpFor(50);
  EXPECT_EQ(clicks, 0);
}

TEST_F(ApplicationTest, RunShowsTheMainFormAndEndsWhenItClosesThenFreesTheForms) {
  std::vector<std::string> destroyed;
  TSampleForm* form = nullptr;
  Application->CreateForm(&form);
  ASSERT_EQ(Application->MainForm(), form);
  form->DestroyLog = &destroyed;
  bool shownDuringRun = false;
  form->OnButton1 = [&] {
    shownDuringRun = headless->IsShown(form);
    PostControlNotice(form->btnExit, cnClick);
  };
  PostControlNotice(form->Button1, cnClick);
  Application->Run();
  EXPECT_TRUE(shownDuringRun);
  EXPECT_EQ(destroyed, (std::vector<std::string>{"destroy 10"}));
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_EQ(Application->ComponentCount(), 0);
}

TEST_F(ApplicationTest, CloseOfOtherFormsHidesFreesOrIsRefused) {
  bool terminated = Application->Terminated();
  auto* main = new TForm(Application);
  Application->SetMainForm(main);
  auto* other = new TForm(Application);
  other->Show();
  EXPECT_TRUE(headless->IsShown(other));
  bool allow = false;
  other->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = allow; };
  other->Close();
  EXPECT_TRUE(other->Visible());
  allow = true;
  other->Close();  // caHide by default
  EXPECT_FALSE(other->Visible());
  EXPECT_FALSE(headless->IsShown(other));
  other->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  other->Close();
  EXPECT_EQ(Application->ComponentCount(), 2);  // freed once the message is handled
  PumpFor(30);
  EXPECT_EQ(Application->ComponentCount(), 1);
  EXPECT_EQ(Application->Terminated(), terminated);  // only the main form ends the program
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(ApplicationTest, ShowModalRunsUntilAButtonGivesAResult) {
  auto* dialog = new TForm(Application);
  auto* ok = new TButton(dialog);
  ok->SetParent(dialog);
  ok->SetModalResult(mrOk);
  PostControlNotice(ok, cnClick);
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_FALSE(dialog->Visible());
  // Closing a modal form cancels it.
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  timer->OnTimer = [&](TObject*) {
    timer->SetEnabled(false);
    dialog->Close();
  };
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
}

TEST_F(ApplicationTest, ProcessMessagesHandlesWhatIsWaitingAndReturns) {
  auto* form = new TForm(Application);
  auto* button = new TButton(form);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  bool terminated = Application->Terminated();
  PostControlNotice(button, cnClick);
  PostControlNotice(button, cnClick);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(Application->Terminated(), terminated);
  // A quit message ends it early and stays for the application's loop.
  PostControlNotice(button, cnClick);
  Application->Terminate();
  PostControlNotice(button, cnClick);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 4);  // posted messages come before the quit message
  EXPECT_TRUE(Application->Terminated());
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(ApplicationTest, ExceptionFromOnCreateIsShownAndTheFormStillOpens) {
  struct TFailing : TForm {
    explicit TFailing(TComponent* owner) : TForm(owner) {
      OnCreate = [](TObject*) { throw platform::EInOutError("Path not found", 3); };
      LoadDescription("object F: TForm\n  Caption = 'ok'\nend", "failing");
    }
  };
  auto* form = new TFailing(Application);
  EXPECT_EQ(form->Caption(), "ok");
  ASSERT_EQ(headless->Log().size(), 1u);
  EXPECT_EQ(headless->Log()[0].Request.Text, "Path not found.");
}

TEST(GtkWithoutDisplay, StartingFailsCleanlyWithAReason) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  std::string why;
  auto set = CreateGtkWidgetSet(&why);
  EXPECT_EQ(set, nullptr);
  EXPECT_NE(why.find("display"), std::string::npos) << why;
  EXPECT_FALSE(UseGtkWidgetSet(&why));
  EXPECT_EQ(WidgetSet().Name(), "headless");
}

TEST_F(ApplicationTest, ANewWidgetSetShowsTheFormsThatWereShown) {
  auto* shown = new TForm(Application);
  auto* hidden = new TForm(Application);
  shown->Show();
  auto* next = new THeadlessWidgetSet();
  Application->SetWidgetSet(std::unique_ptr<TWidgetSet>(next));
  headless = next;
  EXPECT_TRUE(next->IsShown(shown));
  EXPECT_FALSE(next->IsShown(hidden));
  TObject::Free(shown);
  EXPECT_FALSE(next->IsShown(shown));
}

TEST_F(ApplicationTest, HeadlessBoxesAreLoggedAndAnswersNeedAnOpenBox) {
  EXPECT_FALSE(headless->Answer(IDOK));
  policy = [](const TMessageBoxRequest& r) { return r.Flags & MB_YESNO ? IDNO : IDOK; };
  EXPECT_EQ(Application->MessageBox("a", "c1", MB_YESNO), IDNO);
  EXPECT_EQ(Application->MessageBox("b", "c2", MB_OK | MB_ICONINFORMATION), IDOK);
  ASSERT_EQ(headless->Log().size(), 2u);
  EXPECT_EQ(headless->Log()[1].Request.Caption, "c2");
  EXPECT_EQ(headless->Log()[1].Request.Flags, MB_OK | MB_ICONINFORMATION);
  headless->ClearLog();
  EXPECT_TRUE(headless->Log().empty());
}

TEST_F(ApplicationTest, ATimerFreedWithATickWaitingFiresNoMore) {
  auto* timer = new TTimer(Application);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) { ++ticks; };
  timer->SetInterval(10);
  Sleep(30);  // a tick is due
  TObject::Free(timer);
  PumpFor(60);
  EXPECT_EQ(ticks, 0);
}

TEST_F(ApplicationTest, FreeingTheMainFormClearsIt) {
  TForm* form = nullptr;
  Application->CreateForm(&form);
  EXPECT_EQ(Application->MainForm(), form);
  EXPECT_EQ(Application->Forms().size(), 1u);
  TObject::Free(form);
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_TRUE(Application->Forms().empty());
}

}  // namespace
