// The download window: creation, exit, closing and the language toggle. The download
// session's handlers are in download_session.cpp.
#include "app/get_update_file.h"

#include <exception>

#include "app/file_names.h"
#include "app/session_values.h"
#include "forms/application.h"
#include "forms/class_record.h"
#include "forms/class_registry.h"
#include "forms/message_box.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/sysutils.h"

namespace {

constexpr const char* SuperSetupDir = "C:\\SuperSetup";

std::string ProgramFileName() {
  char buffer[4096];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  // Shown in the Windows form when the program lies on a mapped drive.
  return platform::FromHostPath(std::string(buffer, n));
}

}  // namespace

const TClassRecord& TGetUpdateFile::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TGetUpdateFile, TForm>(
      "TGetUpdateFile", [](TClassBuilder<TGetUpdateFile>& c) {
        using F = TGetUpdateFile;
        c.Field("ProgramIcon", &F::ProgramIcon);
        c.Field("Label3", &F::Label3);
        c.Field("BitBtn1", &F::BitBtn1);
        c.Field("Label2", &F::Label2);
        c.Field("Label4", &F::Label4);
        c.Field("Label5", &F::Label5);
        c.Field("Label6", &F::Label6);
        c.Field("InfoMemo", &F::InfoMemo);
        c.Field("Memo1", &F::Memo1);
        c.Field("FileListBox1", &F::FileListBox1);
        c.Field("Label1", &F::Label1);
        c.Field("StatusBar1", &F::StatusBar1);
        c.Field("FTP_Mode", &F::FTP_Mode);
        c.Field("btnFileDownload", &F::btnFileDownload);
        c.Field("btnInstall", &F::btnInstall);
        c.Field("btnExit", &F::btnExit);
        c.Field("ApdFtpClient1", &F::ApdFtpClient1);
        c.Field("ApdFtpLog1", &F::ApdFtpLog1);
        c.Field("Timer1", &F::Timer1);
        c.Field("Timer2", &F::Timer2);
        c.Field("Timer3", &F::Timer3);
        c.Field("MultiLang1", &F::MultiLang1);
        c.Handler("FormCreate", &F::FormCreate);
        c.Handler("FormDestroy", &F::FormDestroy);
        c.Handler("FormClose", &F::FormClose);
        c.Handler("btnExitClick", &F::btnExitClick);
        c.Handler("BitBtn1Click", &F::BitBtn1Click);
        c.Handler("btnFileDownloadClick", &F::btnFileDownloadClick);
        c.Handler("btnInstallClick", &F::btnInstallClick);
        c.Handler("Timer1Timer", &F::Timer1Timer);
        c.Handler("Timer2Timer", &F::Timer2Timer);
        c.Handler("Timer3Timer", &F::Timer3Timer);
        c.Handler("ApdFtpClient1FtpStatus", &F::ApdFtpClient1FtpStatus);
        c.Handler("ApdFtpClient1FtpError", &F::ApdFtpClient1FtpError);
      });
  return record;
}

void RegisterDownloadClasses() {
  RegisterFtpComponents();
  RegisterMultiLangClasses();
  RegisterClass(TGetUpdateFile::StaticClass());
}

TGetUpdateFile::TGetUpdateFile(TComponent* owner) : TForm(owner) {
  RegisterDownloadClasses();
  LoadDescriptionResource("GETUPDATEFILE");
}

TGetUpdateFile::~TGetUpdateFile() = default;

void TGetUpdateFile::FormCreate(TObject*) {
  platform::FormatSettings().ShortDateFormat = "yyyy/mm/dd";
  UpdateDate = "2016/06/15";
  UseChinese = true;
  RemoteDir = "//KVB_program";
  SelectLanguage();
  ProgramDir = platform::ExtractFilePath(ProgramFileName());

  if (!platform::DirectoryExists(SuperSetupDir)) {
    try {
      platform::ForceDirectories(SuperSetupDir);
    } catch (const std::exception&) {
      // Not reported: the program folder is used instead.
    }
  }
  bool changed;
  if (platform::DirectoryExists(SuperSetupDir)) {
    LocalDir = std::string(SuperSetupDir) + "\\";
    changed = platform::SetCurrentDir(LocalDir);
    FileListBox1->SetDirectory(SuperSetupDir);
  } else {
    LocalDir = ProgramDir;
    changed = platform::SetCurrentDir(ProgramDir);
    FileListBox1->SetDirectory(ProgramDir);
  }
  if (!changed) {
    // Shown like any error of a handler, but the window still needs the steps below (the
    // session uses FileQueue), so they run all the same.
    try {
      platform::RaiseInOutError(static_cast<int>(GetLastError()));
    } catch (...) {
      Application->HandleCurrentException(this);
    }
  }

  // The local folder by name rather than the current directory, which may not be it.
  std::string installer = LocalDir + InstallerFileName;
  platform::TDateTime age;
  if (platform::FileExists(installer) && platform::FileAge(installer, age)) {
    SetStatus(ProgramDir + "SetupKVB.exe downloaded on " + platform::DateToStr(age));
    if (platform::Date() - 30 > age) platform::DeleteFileAt(installer);
  } else {
    SetStatus(ProgramDir);
  }

  Label6->SetCaption(LocalDir);
  FileListBox1->Update();
  delete FileQueue;
  FileQueue = new TStringList();
  ListReady = false;
  QueueDone = false;
  ExpectFileList = false;
  DownloadedCount = 0;
  SetCaption(Caption() + "  (Updated on " + UpdateDate + ")");
  SavedCaption = Caption();
}

void TGetUpdateFile::FormDestroy(TObject*) {
  delete FileQueue;
  FileQueue = nullptr;
}

void TGetUpdateFile::FormClose(TObject*, TCloseAction&) {
  Application->Terminate();
}

void TGetUpdateFile::btnExitClick(TObject*) {
  ApdFtpClient1->CloseSession();
  InfoMemo->Clear();
  if (FileQueue) FileQueue->Clear();
  Close();
}

void TGetUpdateFile::BitBtn1Click(TObject*) {
  UseChinese = !UseChinese;
  SelectLanguage();
  Repaint();
}

void TGetUpdateFile::SelectLanguage() {
  SetGlobalLanguage(UseChinese ? 1 : 0);
  // Message boxes answer in the window's language too, not in the system's.
  Application->SetBoxLanguage(UseChinese ? LANGID_CHINESE_TRADITIONAL : LANGID_ENGLISH_US);
}

void TGetUpdateFile::SetStatus(const std::string& text) {
  StatusBar1->SetSimpleText(text);
}

std::string TGetUpdateFile::QueueHead() const {
  return FileQueue && FileQueue->Count() > 0 ? FileQueue->Get(0) : std::string();
}
