// Many whole runs of the download window in one process, on the headless widget set, against
// pyftpdlib: what a run takes (descriptors, memory) must be given back when it ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "app/get_update_file.h"
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
using apptest::WriteFile;
namespace fs = std::filesystem;

namespace {

int OpenDescriptors() {
  int count = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::end(it); ++it) ++count;
  return count;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// 50 runs, Download pressed again after each one has finished. The window's polling timers are
// shortened so that a run takes about two and a half seconds (its two 1000 ms pauses stay).
TEST(Soak, FiftyRunsInOneWindowGiveBackTheirDescriptorsAndMemory) {
  constexpr int Runs = 50;
  constexpr int WarmUp = 5;
  testsupport::Watchdog watchdog{280};
  TempDir drive, server;
  const fs::path remote = server.Path() / "KVB_program";
  const std::string data = SampleBytes(200000, 5);
  WriteFile(remote / "data.bin", data);
  WriteFile(remote / "Setup.exe", "#!/bin/sh\nexit 0\n");
  WriteFile(remote / "notes.txt", "a\r\nb\n");
  auto ftp = testsupport::FtpServer::StartPyftpd(server.Path().string());

  apptest::TWindowInProcess window(drive.Path(), ftp->Port(), [](const TMessageBoxRequest& r) {
    return (r.Flags & MB_TYPEMASK) == MB_YESNOCANCEL ? IDNO : IDOK;
  });
  TGetUpdateFile* form = window.Form;
  THeadlessWidgetSet* headless = window.Widgets;
  for (TTimer* timer : {form->Timer1, form->Timer2, form->Timer3}) timer->SetInterval(50);
  int finished = 0;
  form->OnRunFinished = [&](TObject*) { ++finished; };

  int descriptorsAfterWarmUp = 0;
  long residentAfterWarmUp = 0;
  for (int run = 1; run <= Runs; ++run) {
    fs::remove_all(drive.Path() / "SuperSetup" / "data.bin");
    form->btnFileDownload->Click();
    ASSERT_TRUE(testsupport::PumpUntil([&] { return finished == run; }, 30000))
        << "run " << run << " did not finish";
    ASSERT_EQ(form->Memo1->Lines()->Count(), 3) << "run " << run;
    ASSERT_EQ(form->RunFailures, 0) << "run " << run;
    ASSERT_FALSE(form->ApdFtpClient1->IsSessionOpen());
    // Every box of the run is answered; the log of the answered ones is not the tool's memory.
    ASSERT_EQ(headless->Log().size(), 1u) << "run " << run;
    headless->ClearLog();
    if (run == WarmUp) {
      testsupport::PumpFor(200);
      descriptorsAfterWarmUp = OpenDescriptors();
      residentAfterWarmUp = ResidentKb();
    }
  }
  EXPECT_EQ(ReadFile(drive.Path() / "SuperSetup" / "data.bin"), data);
  testsupport::PumpFor(200);
  const int descriptors = OpenDescriptors();
  const long resident = ResidentKb();
  std::printf("descriptors %d -> %d, resident %ld -> %ld KiB after runs %d and %d\n",
              descriptorsAfterWarmUp, descriptors, residentAfterWarmUp, resident, WarmUp, Runs);
  EXPECT_LE(descriptors, descriptorsAfterWarmUp);
  // 45 runs after the warm-up each move 200 KB of file data through 256 KiB receive blocks, a
  // 32 KiB listing buffer and the memos; a leak of one run's buffers or of the file data would
  // add 10 MiB or more. 2 MiB leaves room for the allocator's own bookkeeping.
  if (apptest::ResidentMemoryTellsLeaks) {
    EXPECT_LT(resident - residentAfterWarmUp, 2048);
  }
}

}  // namespace
