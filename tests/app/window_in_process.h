// The download window in the test's own process, on the headless widget set: drive C: in a
// folder of the test's, the server at 127.0.0.1 on the given port, message boxes answered by
// the given policy. Everything is undone when the object goes, also when a test stops at a
// failed assertion: the window and the messages still posted for it, the widget set, the
// server setting and the current folder (the window makes its download folder current).
#pragma once

#include <filesystem>
#include <string>

#include "app/get_update_file.h"
#include "app/session_values.h"
#include "app_support.h"
#include "forms/application.h"
#include "forms/headless_widget_set.h"
#include "platform/files.h"
#include "platform/messages.h"

namespace apptest {

class TWindowInProcess {
 public:
  TWindowInProcess(const std::filesystem::path& driveFolder, int serverPort,
                   TMessageBoxPolicy answers) {
    platform::SetDriveFolder('C', driveFolder.string());
    ServerHost = "127.0.0.1";
    ServerPort = std::to_string(serverPort);
    Widgets = new THeadlessWidgetSet(std::move(answers));
    Application->SetWidgetSet(std::unique_ptr<TWidgetSet>(Widgets));
    Application->CreateForm(&Form);
  }

  ~TWindowInProcess() {
    Application->DestroyComponents();
    MSG msg;
    // What is left is dispatched, not dropped: the process-wide device socket outlives the
    // window, and its notice window must still see the closing marks of the sockets closed.
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
    Application->SetWidgetSet(nullptr);
    ServerHost = DefaultServerHost;
    ServerPort.clear();
    std::filesystem::current_path(BinaryDir());
  }

  TWindowInProcess(const TWindowInProcess&) = delete;
  TWindowInProcess& operator=(const TWindowInProcess&) = delete;

  TGetUpdateFile* Form = nullptr;
  THeadlessWidgetSet* Widgets = nullptr;  // owned by the application
};

}  // namespace apptest
