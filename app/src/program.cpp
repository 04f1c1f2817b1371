#include "app/program.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/batch_run.h"
#include "app/command_line.h"
#include "app/get_update_file.h"
#include "app/run_texts.h"
#include "app/session_values.h"
#include "errors/string_resource.h"
#include "forms/application.h"
#ifdef _WIN32
#include "forms/win32_widget_set.h"
#else
#include "forms/gtk_widget_set.h"
#endif
#include "platform/files.h"
#include "port/device_socket.h"
#include "port/winsock_binding.h"

namespace {

constexpr const char* ProgramName = "kvb-download";
constexpr const char* VersionText = "kvb-download 1.0.0";

int Fail(const std::string& message) {
  std::cerr << ProgramName << ": " << message << "\n";
  return BatchCannotFinish;
}

}  // namespace

void StartProcessWideObjects() {
  AdsrmgrStrings();
  AproErrorStrings();
  DeviceSocket();
}

#ifndef _WIN32
std::string DefaultDriveCFolder() {
  namespace fs = std::filesystem;
  const char* data = std::getenv("XDG_DATA_HOME");
  fs::path base;
  if (data && *data && fs::path(data).is_absolute()) {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : "/tmp") / ".local" / "share";
  }
  return (base / "kvb-download" / "drive_c").string();
}
#endif

int RunProgram(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  TCommandLine options;
  std::string error;
  if (!ParseCommandLine(args, options, error)) {
    std::cerr << ProgramName << ": " << error << "\n" << UsageText();
    return 2;
  }
  if (options.Help) {
    std::cout << UsageText();
    return 0;
  }
  if (options.Version) {
    std::cout << VersionText << "\n";
    return 0;
  }

#ifdef _WIN32
  // Drive C: is the system's own here: the files go to the real C:\SuperSetup.
  if (!options.DriveC.empty())
    return Fail("--drive-c has no meaning on Windows (drive C: is the system's own)");
  // The batch lines are UTF-8: a console shows them as such.
  if (options.Batch) SetConsoleOutputCP(CP_UTF8);
#else
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path driveC =
      options.DriveC.empty() ? fs::path(DefaultDriveCFolder()) : fs::path(options.DriveC);
  driveC = fs::absolute(driveC, ec);
  if (!ec) fs::create_directories(driveC, ec);
  if (ec || !fs::is_directory(driveC))
    return Fail("cannot use \"" + driveC.string() +
                "\" as drive C: " + (ec ? ec.message() : "not a folder"));
  platform::SetDriveFolder('C', fs::canonical(driveC, ec).string());
#endif

  try {
    StartProcessWideObjects();
  } catch (const std::exception& e) {
    return Fail(e.what());  // the program's own string tables are unreadable
  }

  if (!options.ServerHost.empty()) ServerHost = options.ServerHost;
  ServerPort = options.ServerPort;

  Application->SetTitle(ApplicationTitle);
  std::unique_ptr<TBatchRun> batch;
  if (options.Batch) {
    TBatchOptions batchOptions;
    batchOptions.AnswerYes = options.AnswerYes;
    batchOptions.TimeoutSeconds = options.TimeoutSeconds;
    batch = std::make_unique<TBatchRun>(
        [](const std::string& line) {
          std::fwrite(line.data(), 1, line.size(), stdout);
          std::fputc('\n', stdout);
          std::fflush(stdout);
        },
        batchOptions);
  } else {
#ifdef _WIN32
    // Started from the desktop, the program got a console of its own: the window does not
    // need it. One it shares with the command line that started it stays.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
    std::string why;
    if (!UseWin32WidgetSet(&why))
      return Fail("cannot open the window (" + why + "); use --batch to run without one");
#else
    std::string why;
    if (!UseGtkWidgetSet(&why))
      return Fail("cannot open the window (" + why + "); use --batch to run without one");
#endif
  }

  if (batch)
    batch->Report("start: server " + ServerHost + ":" + (ServerPort.empty() ? "ftp" : ServerPort) +
                  ", " + (options.Active ? "active" : "passive") +
                  " mode, drive C: " + platform::GetDriveFolder('C'));
  TGetUpdateFile* form = nullptr;
  Application->CreateForm(&form);
  if (options.Active) form->FTP_Mode->SetChecked(false);
  if (batch) batch->Start(form);
  Application->Run();
  // Program end: the window and its components are gone; the process-wide device socket
  // cleans its Winsock start-up up, and the library is let go.
  const int exitCode = batch ? batch->ExitCode() : 0;
  batch.reset();
  FreeDeviceSocket();
  UnbindWinsock();
  return exitCode;
}
