// Drives the Windows program's window from outside, as a user would, and writes what it saw:
//
//   drive-window.exe PROGRAM SERVER RESULTS SHOTS
//
// starts PROGRAM --server SERVER, finds its window, reads the caption and every control, types
// a Chinese character into a memo, walks the tab order with Tab and Shift+Tab, clicks Download,
// answers the install question No, reads the lists, presses the language button with Enter,
// reads the texts again and presses Exit with Space. RESULTS gets one "key: value" line per
// observation (UTF-8); SHOTS is a folder for screenshots (BMP) of the screen at each stage. Exit
// code 0 when it got to the end.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wide_text.h"

namespace {

FILE* gOut = nullptr;
DWORD gProcessId = 0;

// Line breaks in a value are written as "\\n", so that each observation is one line.
void Record(const std::string& key, const std::string& value) {
  std::string line;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
    if (value[i] == '\r' || value[i] == '\n')
      line += "\\n";
    else
      line += value[i];
  }
  std::fprintf(gOut, "%s: %s\n", key.c_str(), line.c_str());
  std::fflush(gOut);
}

std::wstring TextOf(HWND wnd) {
  wchar_t buffer[4096];
  // Asked through the message, so that a window of another process answers it.
  LRESULT n = SendMessageW(wnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
  return std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::wstring ClassOf(HWND wnd) {
  wchar_t name[128];
  int n = GetClassNameW(wnd, name, 128);
  return std::wstring(name, static_cast<std::size_t>(n > 0 ? n : 0));
}

// The left and top of a control in its window's client area: how the controls are named here.
std::string Where(HWND control) {
  if (!control) return "none";
  RECT rect;
  GetWindowRect(control, &rect);
  POINT at{rect.left, rect.top};
  ScreenToClient(GetParent(control), &at);
  return std::to_string(at.x) + "," + std::to_string(at.y);
}

// Top-level visible windows of the program's process with the given class.
std::vector<HWND> Windows(const wchar_t* className) {
  struct TFind {
    const wchar_t* Class;
    std::vector<HWND> Found;
  } find{className, {}};
  EnumWindows(
      [](HWND wnd, LPARAM data) -> BOOL {
        auto* f = reinterpret_cast<TFind*>(data);
        DWORD pid = 0;
        GetWindowThreadProcessId(wnd, &pid);
        if (pid == gProcessId && IsWindowVisible(wnd) && ClassOf(wnd) == f->Class)
          f->Found.push_back(wnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&find));
  return find.Found;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND wnd, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(wnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND ChildAt(HWND parent, int x, int y) {
  for (HWND child : Children(parent))
    if (Where(child) == std::to_string(x) + "," + std::to_string(y)) return child;
  return nullptr;
}

template <class F>
bool WaitFor(F done, int ms) {
  for (int waited = 0; waited < ms; waited += 100) {
    if (done()) return true;
    Sleep(100);
  }
  return done();
}

HWND Focus(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

void Key(WORD key, bool shift) {
  std::vector<INPUT> inputs;
  auto add = [&](WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(in);
  };
  if (shift) add(VK_SHIFT, false);
  add(key, false);
  add(key, true);
  if (shift) add(VK_SHIFT, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Sleep(300);
}

// The screen as a 24-bit BMP.
void Screenshot(const std::wstring& folder, const char* name) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
  const DWORD size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + size;
  std::wstring path = folder + L"\\" + Wide(name) + L".bmp";
  if (FILE* f = _wfopen(path.c_str(), L"wb")) {
    std::fwrite(&file, sizeof file, 1, f);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f);
    std::fwrite(bits, 1, size, f);
    std::fclose(f);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

void RecordControls(HWND window, const std::string& stage) {
  Record(stage + " caption", Utf8(TextOf(window)));
  for (HWND child : Children(window)) {
    std::wstring cls = ClassOf(child);
    std::string text = Utf8(TextOf(child));
    Record(stage + " control " + Where(child),
           Utf8(cls) + "|" + text + "|" +
               ((GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) ? "tab" : "-"));
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: drive-window PROGRAM SERVER RESULTS SHOTS\n");
    return 2;
  }
  gOut = _wfopen(argv[3], L"wb");
  if (!gOut) return 2;
  const std::wstring shots = argv[4];
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" --server " + argv[2];
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    Record("error", "cannot start the program");
    return 1;
  }
  gProcessId = process.dwProcessId;
  auto finish = [&](const char* error) {
    if (error) Record("error", error);
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(process.hProcess, 9);
    std::fclose(gOut);
    return error ? 1 : 0;
  };

  HWND window = nullptr;
  if (!WaitFor(
          [&] {
            auto w = Windows(L"#32770");
            window = w.empty() ? nullptr : w[0];
            return window && Children(window).size() > 10;
          },
          60000))
    return finish("the window did not open");
  Sleep(500);
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  RecordControls(window, "chinese");
  Screenshot(shots, "windows_chinese");

  // A character outside the ANSI code page, typed into the second memo.
  HWND memo = ChildAt(window, 176, 104);
  if (!memo) return finish("no memo at 176,104");
  PostMessageW(memo, WM_CHAR, 0x4E2D, 1);  // 中
  Sleep(300);
  Record("typed", Utf8(TextOf(memo)));

  // The tab order: where the focus is at the start, after each Tab around the window, and
  // after one Shift+Tab.
  SetForegroundWindow(window);
  Sleep(200);
  std::string walk = Where(Focus(thread));
  for (int i = 0; i < 8; ++i) {
    Key(VK_TAB, false);
    walk += " " + Where(Focus(thread));
  }
  Record("tab walk", walk);
  Key(VK_TAB, true);
  Record("shift tab", Where(Focus(thread)));

  // Download: a click on the button, then the install question at the end of the session.
  HWND download = ChildAt(window, 16, 320);
  if (!download) return finish("no Download button at 16,320");
  // The button's own click: a pointer moved by SendInput under Wine without a window manager
  // lands its press on the button only now and then.
  PostMessageW(download, BM_CLICK, 0, 0);
  HWND question = nullptr;
  if (!WaitFor(
          [&] {
            for (HWND w : Windows(L"#32770"))
              if (w != window) question = w;
            return question != nullptr;
          },
          90000)) {
    RecordControls(window, "stuck");
    return finish("no install question");
  }
  Sleep(500);
  for (HWND child : Children(question)) {
    std::wstring cls = ClassOf(child);
    if (cls == L"Static" || cls == L"STATIC") Record("question text", Utf8(TextOf(child)));
    if (cls == L"Button" || cls == L"BUTTON")
      Record("question button " + std::to_string(GetDlgCtrlID(child)), Utf8(TextOf(child)));
  }
  Record("question caption", Utf8(TextOf(question)));
  Screenshot(shots, "windows_question");
  HWND no = GetDlgItem(question, IDNO);
  if (!no) return finish("the question has no No button");
  PostMessageW(no, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return !IsWindow(question); }, 10000)) return finish("the question stays");
  Sleep(500);
  HWND files = ChildAt(window, 336, 104);
  if (files) {
    LRESULT count = SendMessageW(files, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      wchar_t item[512] = {};
      SendMessageW(files, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
      Record("file list", Utf8(item));
    }
  }
  RecordControls(window, "downloaded");

  // The language button, pressed with Enter where the focus is on it: Shift+Tab from the
  // first control.
  HWND language = ChildAt(window, 478, 16);
  SetForegroundWindow(window);
  SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ChildAt(window, 16, 104)), TRUE);
  Sleep(200);
  Key(VK_TAB, true);
  Record("language focused", Focus(thread) == language ? "yes" : "no");
  Key(VK_RETURN, false);
  Sleep(700);
  RecordControls(window, "english");
  Screenshot(shots, "windows_english");

  // Exit, pressed with Space: two Tabs on from the language button.
  Key(VK_TAB, false);
  Key(VK_TAB, false);
  Record("exit focused", Focus(thread) == ChildAt(window, 436, 320) ? "yes" : "no");
  Key(VK_SPACE, false);
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
    return finish("the program did not end after Space on Exit");
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  Record("exit code", std::to_string(code));
  return finish(nullptr);
}
