// The download window on the headless widget set: what its creation prepares, the stale
// installer rule, parsing of the listing, the language toggle, the texts and boxes of the
// session's handlers, names that are never fetched, and the Install button.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "app/file_names.h"
#include "app/get_update_file.h"
#include "app/program.h"
#include "app/run_texts.h"
#include "app/session_values.h"
#include "app_support.h"
#include "errors/string_resource.h"
#include "forms/application.h"
#include "forms/headless_widget_set.h"
#include "forms/message_box.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/messages.h"
#include "platform/sysutils.h"
#include "port/device_socket.h"
#include "port/winsock_binding.h"
#include "support/loop_support.h"

using apptest::TempDir;
using apptest::WriteFile;
namespace fs = std::filesystem;

namespace {

// Big5 texts of the window (readings in the comments).
const std::string ChineseCaption =
    "KVB \xAA\xD1\xA5\xAB\xA4\xC0\xAA"
    "R\xA8t\xB2\xCE (\xA4U\xB8\xFC / \xA6w\xB8\xCB) ";  // KVB 股市分析系統 (下載 / 安裝)
const std::string EnglishCaption = "KVB-System (Download / Installation) ";
const std::string Suffix = "  (Updated on 2016/06/15)";

struct TControlTexts {
  const char* Name;
  std::string English;
  std::string Chinese;
};
const std::vector<TControlTexts>& TranslatedControls() {
  static const std::vector<TControlTexts> controls{
      {"Label3", "Program (Download / Installation) System",
       "\xB3n\xA5\xF3 (\xA4U\xB8\xFC / \xA6w\xB8\xCB) \xA8t\xB2\xCE"},
      {"Label2", "Download required files for program setup (about 15 minutes)",
       "\xA4U\xB8\xFC\xB3n\xA5\xF3\xA6w\xB8\xCB\xA9\xD2\xBB\xDD\xC0\xC9\xAE\xD7 "
       "(\xAC\xF9\xBB\xDD\xAE\xC9"
       "15\xA4\xC0\xC4\xC1)"},
      {"Label4", "Files List",
       "\xC0\xC9\xAE\xD7\xA6"
       "C\xAA\xED"},
      {"Label5", "Received Files", "\xA6\xA8\xA5\x5C\xA4U\xB8\xFC\xA4\xA7\xC0\xC9\xAE\xD7"},
      {"Label1", "Status:",
       "\xA4u\xA7@\xAA\xAC\xBA"
       "A:"},
      {"FTP_Mode", "Use Passive Mode", "\xA8\xCF\xA5\xCE\xB3Q\xB0\xCA\xBC\xD2\xA6\xA1"},
      {"btnFileDownload", "Download File", "\xA4U\xB8\xFC\xC0\xC9\xAE\xD7"},
      {"btnInstall", "Install Program", "\xA6w\xB8\xCB\xB3n\xA5\xF3"},
      {"btnExit", "Exit", "\xC2\xF7\xB6}"},
  };
  return controls;
}

std::string CaptionOf(TComponent* form, const char* name) {
  auto* control = dynamic_cast<TControl*>(form->FindComponent(name));
  return control ? control->GetText() : "<missing " + std::string(name) + ">";
}

bool QuitPosted() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDriveFolder('C', drive.Path().string());
    headless = new THeadlessWidgetSet([this](const TMessageBoxRequest& r) { return policy(r); });
    Application->SetWidgetSet(std::unique_ptr<TWidgetSet>(headless));
    Application->SetTitle(ApplicationTitle);
  }
  void TearDown() override {
    Application->DestroyComponents();
    MSG msg;
    // What is left is dispatched, not dropped: the process-wide device socket outlives the
    // window, and its notice window must still see the closing marks of the sockets closed.
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
    Application->SetWidgetSet(nullptr);
    fs::current_path(apptest::BinaryDir());
  }

  TGetUpdateFile* CreateWindow() {
    TGetUpdateFile* form = nullptr;
    Application->CreateForm(&form);
    return form;
  }
  std::string SuperSetup() const { return (drive.Path() / "SuperSetup").string(); }
  std::vector<THeadlessWidgetSet::TBoxRecord> Boxes() const { return headless->Log(); }

  testsupport::Watchdog watchdog{120};
  TempDir drive;
  THeadlessWidgetSet* headless = nullptr;
  std::function<int(const TMessageBoxRequest&)> policy = [](const TMessageBoxRequest& r) {
    return MessageBoxDefaultButton(r.Flags);
  };
};

// ---- Creation ---------------------------------------------------------------------------------

TEST_F(WindowTest, FirstStartCreatesTheFolderAndShowsItAndTheProgramFolder) {
  ASSERT_FALSE(fs::exists(SuperSetup()));
  TGetUpdateFile* form = CreateWindow();

  EXPECT_TRUE(fs::is_directory(SuperSetup()));
  EXPECT_EQ(LocalDir, "C:\\SuperSetup\\");
  EXPECT_EQ(form->Label6->Caption(), "C:\\SuperSetup\\");
  EXPECT_EQ(fs::current_path(), fs::path(SuperSetup()));
  EXPECT_EQ(form->FileListBox1->Directory(), "C:\\SuperSetup");
  EXPECT_EQ(RemoteDir, "//KVB_program");
  EXPECT_EQ(platform::FormatSettings().ShortDateFormat, "yyyy/mm/dd");
  EXPECT_TRUE(UseChinese);

  // The program's folder, and nothing else, when there is no installer: outside drive C: it
  // lies on drive Z:, the host's root, and is written as Windows writes a folder.
  std::string windowsFolder = "Z:" + platform::ProgramFolder();
  std::replace(windowsFolder.begin(), windowsFolder.end(), '/', '\\');
  EXPECT_EQ(ProgramDir, windowsFolder);
  EXPECT_TRUE(fs::exists(platform::ToHostPath(ProgramDir) + "app_tests"));
  EXPECT_EQ(form->StatusBar1->SimpleText(), ProgramDir);

  // The update suffix is English after the Chinese caption.
  EXPECT_EQ(form->Caption(), ChineseCaption + Suffix);
  EXPECT_EQ(form->SavedCaption, form->Caption());
  ASSERT_NE(FileQueue, nullptr);
  EXPECT_EQ(FileQueue->Count(), 0);
  EXPECT_FALSE(form->ListReady || form->QueueDone || form->ExpectFileList);
  EXPECT_EQ(form->DownloadedCount, 0);
  EXPECT_FALSE(form->Timer1->Enabled() || form->Timer2->Enabled() || form->Timer3->Enabled());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(WindowTest, TheWindowIsBuiltAsDescribed) {
  TGetUpdateFile* form = CreateWindow();
  EXPECT_EQ(form->ClientWidth(), 544);
  EXPECT_EQ(form->ClientHeight(), 361);
  EXPECT_EQ(form->BorderStyle(), bsDialog);
  EXPECT_EQ(form->Position(), poScreenCenter);
  struct TPlace {
    const char* Name;
    int Left, Top, Width, Height;
  };
  for (auto p : {TPlace{"ProgramIcon", 16, 12, 33, 33}, TPlace{"Label3", 72, 18, 150, 15},
                 TPlace{"BitBtn1", 478, 16, 50, 22}, TPlace{"Label6", 336, 80, 25, 12},
                 TPlace{"InfoMemo", 16, 104, 140, 137}, TPlace{"FileListBox1", 336, 104, 193, 137},
                 TPlace{"StatusBar1", 80, 256, 449, 19}, TPlace{"FTP_Mode", 16, 290, 113, 17},
                 TPlace{"btnExit", 436, 320, 90, 25}}) {
    auto* c = dynamic_cast<TControl*>(form->FindComponent(p.Name));
    ASSERT_NE(c, nullptr) << p.Name;
    EXPECT_EQ(c->Left(), p.Left) << p.Name;
    EXPECT_EQ(c->Top(), p.Top) << p.Name;
    EXPECT_EQ(c->Width(), p.Width) << p.Name;
    EXPECT_EQ(c->Height(), p.Height) << p.Name;
  }
  EXPECT_EQ(form->ProgramIcon->Picture()->Width(), 32);
  EXPECT_EQ(form->BitBtn1->Glyph()->Width(), 37);
  EXPECT_EQ(form->BitBtn1->Glyph()->Height(), 18);
  EXPECT_EQ(form->BitBtn1->TabOrder(), 8);
  EXPECT_TRUE(form->BitBtn1->Caption().empty());
  EXPECT_EQ(form->Label3->Font()->Height(), -15);
  EXPECT_EQ(form->Label3->Font()->Color(), clBlue);
  EXPECT_EQ(form->Label3->Font()->CharSet(), CHINESEBIG5_CHARSET);
  EXPECT_EQ(form->btnFileDownload->Font()->CharSet(), DEFAULT_CHARSET);
  EXPECT_EQ(form->btnFileDownload->Font()->Color(), clBlue);
  EXPECT_EQ(form->btnFileDownload->Font()->Height(), -11);
  EXPECT_EQ(form->Label6->Font()->Color(), clBlue);
  EXPECT_FALSE(form->InfoMemo->WordWrap());
  EXPECT_TRUE(form->Memo1->WordWrap());
  EXPECT_EQ(form->FileListBox1->ItemHeight(), 13);
  EXPECT_TRUE(form->StatusBar1->SimplePanel());
  EXPECT_TRUE(form->FTP_Mode->Checked());
  EXPECT_EQ(form->Timer1->Interval(), 2000u);
  EXPECT_EQ(form->Timer2->Interval(), 3000u);
  EXPECT_EQ(form->Timer3->Interval(), 5000u);
  EXPECT_EQ(form->ApdFtpClient1->FtpLog(), form->ApdFtpLog1);
  EXPECT_FALSE(form->ApdFtpLog1->Enabled());
  EXPECT_EQ(form->ApdFtpClient1->WsPort(), "ftp");
  EXPECT_EQ(form->ApdFtpClient1->TransferTimeout(), 5000);
  EXPECT_EQ(form->MultiLang1->Words()->Count(), 30);
  EXPECT_EQ(form->MultiLang1->CharSets()->Count(), 2);
  EXPECT_EQ(form->MultiLang1->ActiveLanguage(), 1);
  for (auto& c : TranslatedControls()) EXPECT_EQ(CaptionOf(form, c.Name), c.Chinese) << c.Name;
}

TEST_F(WindowTest, AFolderThatCannotBeMadeLeavesTheProgramFolder) {
  WriteFile(SuperSetup(), "a file where the folder should be");
  TGetUpdateFile* form = CreateWindow();
  EXPECT_EQ(LocalDir, ProgramDir);
  EXPECT_EQ(form->Label6->Caption(), ProgramDir);
  EXPECT_TRUE(fs::equivalent(fs::current_path(), fs::path(platform::ToHostPath(ProgramDir))));
  EXPECT_TRUE(Boxes().empty());  // silently
}

// The stale installer rule, around midnight 30 days before today.
struct TStaleCase {
  const char* Name;
  double DaysBeforeMidnight;  // before today's midnight
  bool Deleted;
};

void PrintTo(const TStaleCase& c, std::ostream* os) {
  *os << c.Name;
}

class StaleInstallerTest : public WindowTest, public ::testing::WithParamInterface<TStaleCase> {};

TEST_P(StaleInstallerTest, ItIsNamedWithItsDateAndDeletedOnlyWhenOlderThan30Days) {
  const TStaleCase& c = GetParam();
  std::string installer = SuperSetup() + "/SetupKVB.exe";
  WriteFile(installer, "old installer");
  platform::TDateTime age = platform::Date() - c.DaysBeforeMidnight;
  ASSERT_TRUE(platform::SetFileAge(installer, age));

  TGetUpdateFile* form = CreateWindow();
  EXPECT_EQ(form->StatusBar1->SimpleText(), ProgramDir + "SetupKVB.exe downloaded on " +
                                                platform::FormatDateTime("yyyy/mm/dd", age));
  EXPECT_EQ(!fs::exists(installer), c.Deleted);
}

INSTANTIATE_TEST_SUITE_P(
    AroundTheBoundary, StaleInstallerTest,
    ::testing::Values(TStaleCase{"ThirtyOneDays", 31, true},
                      TStaleCase{"TwentyNineDays", 29, false},
                      TStaleCase{"ExactlyAtMidnight30DaysAgo", 30, false},
                      TStaleCase{"OneSecondBeforeThat", 30 + 1.0 / 86400, true},
                      TStaleCase{"OneSecondAfterThat", 30 - 1.0 / 86400, false}),
    [](const auto& info) { return std::string(info.param.Name); });

// A folder that exists but cannot be made the current directory (as an unprivileged user).
TEST_F(WindowTest, AFailedChangeOfDirectoryShowsTheErrorAndTheWindowStillWorks) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  fs::create_directories(SuperSetup());
  fs::permissions(drive.Path(), fs::perms::all);
  fs::permissions(SuperSetup(), fs::perms::owner_all);
  EXPECT_EXIT(
      {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(10);
        if (::chdir(SuperSetup().c_str()) == 0) std::_Exit(11);  // the test needs it to fail
        TGetUpdateFile* form = CreateWindow();
        auto boxes = Boxes();
        bool ok = boxes.size() == 1 && boxes[0].Request.Text.find("denied") != std::string::npos &&
                  LocalDir == "C:\\SuperSetup\\" && FileQueue != nullptr &&
                  form->Caption() == ChineseCaption + Suffix &&
                  form->Label6->Caption() == "C:\\SuperSetup\\";
        if (ok) {
          // The handlers that need the queue work.
          FileQueue->Add("a/b");
          form->FetchNextFile();
          ok = form->QueueDone && Boxes().size() == 2;
        }
        std::_Exit(ok ? 0 : 12);
      },
      ::testing::ExitedWithCode(0), "");
}

// Program start makes the comm library's process-wide objects before the window: the device
// socket loads and starts Winsock, so the window's FTP client finds the library loaded.
TEST_F(WindowTest, ProgramStartMakesTheProcessWideObjectsBeforeTheWindow) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        WNDCLASSA windowClass;
        if (DeviceSocketExists() || WinsockEntryTable().Library != nullptr ||
            GetClassInfoA(GetModuleHandleA(nullptr), "awDispatch", &windowClass))
          std::_Exit(10);  // a fresh process is needed
        StartProcessWideObjects();
        if (!DeviceSocketExists() || !DeviceSocket().Bound() || DeviceSocket().StartupError() != 0)
          std::_Exit(11);
        const HMODULE library = WinsockEntryTable().Library;
        if (!library || !GetClassInfoA(GetModuleHandleA(nullptr), "awDispatch", &windowClass) ||
            !AproErrorStrings().IsOpen() || !AdsrmgrStrings().IsOpen())
          std::_Exit(12);
        CreateWindow();
        std::_Exit(WinsockEntryTable().Library == library ? 0 : 13);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---- Language toggle ----------------------------------------------------------------------

TEST_F(WindowTest, TheToggleSwitchesEveryTextAndDropsTheUpdateSuffix) {
  TGetUpdateFile* form = CreateWindow();
  std::string label6 = form->Label6->Caption();
  std::string status = form->StatusBar1->SimpleText();

  form->BitBtn1->Click();
  EXPECT_FALSE(UseChinese);
  EXPECT_EQ(form->MultiLang1->ActiveLanguage(), 0);
  EXPECT_EQ(form->Caption(), EnglishCaption);
  for (auto& c : TranslatedControls()) EXPECT_EQ(CaptionOf(form, c.Name), c.English) << c.Name;
  EXPECT_EQ(form->Label6->Caption(), label6);  // not in the word table
  EXPECT_EQ(form->StatusBar1->SimpleText(), status);
  EXPECT_EQ(Pick(runtext::PleaseWait), "Please wait.....");

  form->BitBtn1->Click();
  EXPECT_TRUE(UseChinese);
  EXPECT_EQ(form->Caption(), ChineseCaption);
  for (auto& c : TranslatedControls()) EXPECT_EQ(CaptionOf(form, c.Name), c.Chinese) << c.Name;
  EXPECT_EQ(Pick(runtext::PleaseWait), "\xBD\xD0\xB5y\xAD\xD4.....");
}

// ---- The listing ----------------------------------------------------------------------------

// "." and ".." (the folder and its parent, as some servers list them) are no files of it.
TEST_F(WindowTest, ListingsWithCrLfAndBareLfGiveTheSameQueue) {
  TGetUpdateFile* form = CreateWindow();
  const std::vector<std::string> expected{"Setup.exe", "readme.txt", "data file.bin", "readme.txt",
                                          "setup.exe"};
  for (const char* text :
       {".\r\n..\r\nSetup.exe\r\n readme.txt\t\r\n\r\n  \t \r\ndata file.bin\r\n"
        "readme.txt\r\nsetup.exe\r\n",
        "Setup.exe\n readme.txt\t\n\n  \t \n .. \ndata file.bin\nreadme.txt\n.\nsetup.exe"}) {
    form->ExpectFileList = true;
    form->InfoMemo->SetTextValue(text);
    form->ParseFileList();
    EXPECT_EQ(FileQueue->Lines(), expected);
    EXPECT_EQ(form->FilesListed, 5);
    EXPECT_TRUE(form->ListReady);
    EXPECT_FALSE(form->ExpectFileList);
    EXPECT_EQ(form->StatusBar1->SimpleText(), "\xB5n\xA4J");  // 登入
  }
  UseChinese = false;
  form->InfoMemo->SetTextValue("\r\n \t\r\n");
  form->ParseFileList();
  EXPECT_EQ(FileQueue->Count(), 0);
  EXPECT_EQ(form->StatusBar1->SimpleText(), "Login");
}

TEST(FileNames, TrimBlanksRemovesOnlyBlanksTabsAndLineEndsAtBothEnds) {
  EXPECT_EQ(TrimBlanks("  \t Setup.exe \r\n"), "Setup.exe");
  EXPECT_EQ(TrimBlanks("a b\tc"), "a b\tc");
  EXPECT_EQ(TrimBlanks(" \t\r\n \n"), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks("\v x \f"), "\v x \f");
  EXPECT_EQ(TrimBlanks(std::string("\0x\0", 3)), std::string("\0x\0", 3));
  EXPECT_EQ(TrimBlanks("\xA5\x5C "), "\xA5\x5C");
}

TEST(FileNames, OnlyExactlySetupExeIsStoredUnderTheInstallerName) {
  EXPECT_EQ(LocalFileName("Setup.exe"), "SetupKVB.exe");
  EXPECT_EQ(LocalFileName("setup.exe"), "setup.exe");
  EXPECT_EQ(LocalFileName("SETUP.EXE"), "SETUP.EXE");
  EXPECT_EQ(LocalFileName("Setup.exe.bak"), "Setup.exe.bak");
}

TEST(FileNames, NamesThatAreNotPlainFileNamesAreRefused) {
  for (std::string bad : {"", ".", "..", "../evil", "/etc/passwd", "a\\b", "dir/", "C:x", "a*",
                          "a?", "a|b", "\"q\"", "<a>", "tab\tname", "line\nfeed", "del\x7F"})
    EXPECT_FALSE(IsPlainFileName(bad)) << bad;
  EXPECT_FALSE(IsPlainFileName(std::string("nul\0x", 5)));
  for (std::string good : {"Setup.exe", "...", "..x", "a b.txt", ".hidden", "\xC0\xC9\xAE\xD7.txt",
                           "\xA5\x7C.dat",       // a Big5 character whose trail byte is '|'
                           "\xB3\x5C.txt",       // 許: its trail byte is a backslash
                           "\xA4\xA4\xA5\x5C"})  // 中功: a backslash byte at the very end
    EXPECT_TRUE(IsPlainFileName(good)) << good;
  // A backslash after a complete Big5 character is a separator.
  EXPECT_FALSE(IsPlainFileName("\xA4\xA4\\x"));
}

TEST(FileNames, ALeadByteDoesNotHideASeparatorOrReservedCharacterAfterIt) {
  // Bytes below 0x40 are no Big5 second bytes: a '/' after a lead byte would still put the
  // file into another folder of the host, and the others are refused as they are alone.
  for (std::string bad : {"\x81/x", "\xA4/..", "x\xFE/", "\xA5:", "\xA5*", "\xA5?", "\xA5\"",
                          "\xA5<", "\xA5>", "\xA5\x01", "\xA5\x7F"})
    EXPECT_FALSE(IsPlainFileName(bad)) << bad;
  // Lead and trail bytes at the edges of the Big5 ranges stay one character.
  // 0x80 and 0xFF are no lead bytes: the backslash byte after them is 功's second byte.
  for (std::string good : {"\x81\x40", "\xFE\x7E", "\xA1\xA1.txt", "\xFE\xFE", "x\xA4",
                           "\xFF\xA5\x5C", "\x80\xA5\x5C"})
    EXPECT_TRUE(IsPlainFileName(good)) << good;
}

// ---- Handlers of the session ----------------------------------------------------------------

TEST_F(WindowTest, StatusEventsShowTheirTextsInTheLanguageOfTheMoment) {
  TGetUpdateFile* form = CreateWindow();
  auto status = [&](TFtpStatusCode code) {
    form->ApdFtpClient1FtpStatus(form->ApdFtpClient1, code, nullptr);
    return form->StatusBar1->SimpleText();
  };
  EXPECT_EQ(status(fsConnected),
            "\xA4w\xB3s\xB1\xB5\xA5"
            "D\xA6\xF8\xAA"
            "A\xBE\xB9");
  EXPECT_EQ(status(fsLoggedOut), "\xA4w\xB5n\xA5X\xA8t\xB2\xCE");
  form->BitBtn1Click(form);
  EXPECT_EQ(status(fsConnected), "Connected to Main Server");
  EXPECT_EQ(status(fsLoggedOut), "Logged out");

  FileQueue->Add("a.bin");
  EXPECT_EQ(status(fsProgress), "a.bin Downloading...0");
  EXPECT_EQ(status(fsTransferDone), "a.bin Download completed");
  EXPECT_EQ(form->Memo1->Lines()->Lines(), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(form->DownloadedCount, 1);
  EXPECT_EQ(FileQueue->Count(), 0);
  EXPECT_TRUE(form->QueueDone);
  // With more to fetch, the next file is asked for at once and named in the status line.
  FileQueue->Add("b.bin");
  FileQueue->Add("c.bin");
  EXPECT_EQ(status(fsTransferDone), "c.bin");
  EXPECT_EQ(form->DownloadedCount, 2);
  EXPECT_EQ(FileQueue->Lines(), std::vector<std::string>{"c.bin"});

  status(fsCommandDone);
  EXPECT_EQ(form->InfoMemo->Lines()->Lines().back(), "operation complete");
  form->ExpectFileList = false;
  form->ApdFtpClient1FtpStatus(form->ApdFtpClient1, fsDataReceived, "x\r\ny\r\n");
  EXPECT_TRUE(form->ListingSeen);
  EXPECT_EQ(FileQueue->Lines(), std::vector<std::string>{"c.bin"});  // not the file list

  status(fsLoggedOut);
  EXPECT_EQ(FileQueue->Count(), 0);
  form->SetCaption("changed");
  status(fsClosed);
  EXPECT_EQ(form->Caption(), form->SavedCaption);
  EXPECT_TRUE(Boxes().empty());

  status(fsTimedOut);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Request.Text, "Transfer timed out");
  EXPECT_EQ(Boxes()[0].Request.Caption, "KVB Download");
  EXPECT_EQ(Boxes()[0].Request.Language, LANGID_ENGLISH_US);  // its buttons too
  EXPECT_EQ(Boxes()[0].Request.Flags & MB_TYPEMASK, MB_OK);
}

TEST_F(WindowTest, AnErrorShowsItsBoxSkipsTheFileAndGoesOn) {
  TGetUpdateFile* form = CreateWindow();
  FileQueue->Add("refused.bin");
  form->ApdFtpClient1FtpError(form->ApdFtpClient1, 550, "550 No such file.\r\n");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Request.Caption, "FTP Error: 550");
  EXPECT_EQ(Boxes()[0].Request.Text, "550 No such file.\r\n");
  EXPECT_EQ(Boxes()[0].Request.Flags, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(Boxes()[0].Request.Language, LANGID_CHINESE_TRADITIONAL);
  EXPECT_EQ(FileQueue->Count(), 0);
  EXPECT_TRUE(form->QueueDone);
  EXPECT_EQ(form->RunFailures, 1);

  form->ApdFtpClient1FtpError(form->ApdFtpClient1, 10054, nullptr);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].Request.Caption, "FTP Error: 10054");
  EXPECT_EQ(Boxes()[1].Request.Text, "");
}

TEST_F(WindowTest, NamesThatAreNotPlainAreNeverFetchedButEachIsNamedInABox) {
  TGetUpdateFile* form = CreateWindow();
  for (const char* name : {"../evil", "/etc/passwd", "..", "sub\\x"}) FileQueue->Add(name);
  form->FetchNextFile();
  EXPECT_TRUE(form->QueueDone);
  EXPECT_EQ(form->RunFailures, 4);
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].Request.Text, Pick(runtext::BadFileName) + "../evil");
  EXPECT_EQ(boxes[1].Request.Text, Pick(runtext::BadFileName) + "/etc/passwd");
  EXPECT_EQ(boxes[0].Request.Flags, MB_OK | MB_ICONEXCLAMATION);
}

TEST_F(WindowTest, InstallWithoutTheInstallerSaysSoAndEndsTheProgram) {
  TGetUpdateFile* form = CreateWindow();
  UINT started = 0;
  form->OnInstallerStart = [&](TObject*, UINT result) { started = result; };
  form->BitBtn1Click(form);
  form->btnInstall->Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Request.Text, "Required files not found !");
  EXPECT_EQ(Boxes()[0].Request.Caption, "KVB Download");
  EXPECT_EQ(started, 0u);
  EXPECT_TRUE(QuitPosted());
}

TEST_F(WindowTest, InstallStartsTheDownloadedInstallerAndEndsTheProgram) {
  TGetUpdateFile* form = CreateWindow();
  std::string marker = drive / "installer-ran";
  WriteFile(SuperSetup() + "/SetupKVB.exe", "#!/bin/sh\necho ran > '" + marker + "'\n");
  UINT started = 0;
  form->OnInstallerStart = [&](TObject*, UINT result) { started = result; };
  form->btnInstall->Click();
  EXPECT_GT(started, 31u);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(QuitPosted());
  EXPECT_TRUE(testsupport::PumpUntil([&] { return fs::exists(marker); }, 10000));
}

TEST_F(WindowTest, DownloadDeletesAnOldInstallerAndWaitsWhileTheServerIsSilent) {
  // A listener that never answers: the session is under way but nothing arrives.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ServerHost = "127.0.0.1";
  ServerPort = std::to_string(ntohs(addr.sin_port));

  TGetUpdateFile* form = CreateWindow();
  WriteFile(SuperSetup() + "/SetupKVB.exe", "stale");
  form->Memo1->Lines()->Add("from before");
  form->btnFileDownload->Click();
  EXPECT_FALSE(fs::exists(SuperSetup() + "/SetupKVB.exe"));
  EXPECT_EQ(form->Memo1->Lines()->Count(), 0);
  EXPECT_EQ(form->StatusBar1->SimpleText(), "\xBD\xD0\xB5y\xAD\xD4.....");
  EXPECT_TRUE(form->ApdFtpClient1->IsSessionOpen());
  EXPECT_TRUE(form->Timer3->Enabled());
  EXPECT_EQ(form->ApdFtpClient1->UserName(), "dlmorv");
  EXPECT_EQ(form->ApdFtpClient1->Password(), "ka47tz19");
  EXPECT_EQ(form->ApdFtpClient1->ServerAddress(), "127.0.0.1");
  EXPECT_TRUE(form->ApdFtpClient1->PassiveMode());
  EXPECT_EQ(form->ApdFtpClient1->TransferTimeout(), 3000);

  // Exit closes the session and the window, and so ends the program.
  form->btnExit->Click();
  EXPECT_FALSE(form->ApdFtpClient1->IsSessionOpen());
  EXPECT_TRUE(QuitPosted());
  ::close(fd);
  ServerHost = DefaultServerHost;
  ServerPort.clear();
}

}  // namespace
