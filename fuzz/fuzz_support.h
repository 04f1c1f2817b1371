// Shared set-up of the fuzz targets that use the forms: a headless widget set that answers
// every message box with its default button, and a record of exceptions that reached the
// application's error box.
#pragma once

#include <memory>
#include <string>

#include "forms/application.h"
#include "forms/headless_widget_set.h"
#include "forms/message_box.h"
#include "fuzz_check.h"

namespace fuzzsupport {

// Exceptions that escaped an event handler into the application's error box.
inline int& EscapedExceptions() {
  static int count = 0;
  return count;
}
inline std::string& LastEscapedMessage() {
  static std::string text;
  return text;
}

inline void SetUpApplication() {
  Application->SetWidgetSet(std::make_unique<THeadlessWidgetSet>(
      [](const TMessageBoxRequest& request) { return MessageBoxDefaultButton(request.Flags); }));
  Application->OnException = [](TObject*, const std::exception& error) {
    ++EscapedExceptions();
    LastEscapedMessage() = error.what();
  };
}

}  // namespace fuzzsupport
