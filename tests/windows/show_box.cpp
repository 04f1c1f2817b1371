// Opens message boxes through the Win32 widget set and answers them from a second thread, as
// a user would, writing what each box showed:
//
//   show-box.exe FLAGS:LANGUAGE...
//
// For each argument (MB_* flags and a language identifier, numbers in C syntax) one line
// "box FLAGS:LANGUAGE buttons ID=TEXT... result N" on standard output (UTF-8); the first button
// is pressed. Exit code 0 when every box was seen and answered.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "forms/application.h"
#include "forms/message_box.h"
#include "forms/win32_widget_set.h"
#include "wide_text.h"

namespace {

// Waits for the box of `thread`, records its buttons and presses the first.
void Answer(DWORD thread, std::string& seen) {
  HWND box = nullptr;
  for (int i = 0; i < 300 && !box; ++i) {
    EnumThreadWindows(
        thread,
        [](HWND wnd, LPARAM found) -> BOOL {
          wchar_t name[64];
          GetClassNameW(wnd, name, 64);
          if (std::wstring(name) != L"#32770" || !IsWindowVisible(wnd)) return TRUE;
          *reinterpret_cast<HWND*>(found) = wnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (!box) Sleep(100);
  }
  if (!box) {
    seen = " no box";
    return;
  }
  Sleep(300);
  HWND first = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64];
    GetClassNameW(child, name, 64);
    if (std::wstring(name) != L"Button" || !IsWindowVisible(child)) continue;
    wchar_t text[128] = {};
    GetWindowTextW(child, text, 128);
    seen += " " + std::to_string(GetDlgCtrlID(child)) + "=" + Utf8(text);
    if (!first) first = child;
  }
  if (first) PostMessageW(first, BM_CLICK, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::string why;
  if (!UseWin32WidgetSet(&why)) {
    std::printf("no widget set: %s\n", why.c_str());
    return 1;
  }
  const DWORD thread = GetCurrentThreadId();
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::size_t colon = arg.find(':');
    const UINT flags = static_cast<UINT>(std::strtoul(arg.substr(0, colon).c_str(), nullptr, 0));
    const WORD language = static_cast<WORD>(
        colon == std::string::npos ? 0 : std::strtoul(arg.substr(colon + 1).c_str(), nullptr, 0));
    Application->SetBoxLanguage(language);
    std::string seen;
    std::thread answer(Answer, thread, std::ref(seen));
    // "Download the files?" in Big5, as the program's texts are.
    int result = Application->MessageBox("\xA4U\xB8\xFC\xC0\xC9\xAE\xD7?", "show-box", flags);
    answer.join();
    if (seen.empty() || seen == " no box") ++failures;
    std::printf("box %s buttons%s result %d\n", arg.c_str(), seen.c_str(), result);
    std::fflush(stdout);
  }
  return failures == 0 ? 0 : 1;
}
