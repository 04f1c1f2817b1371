// Object windows, the pumping wait and the monotonic clock over the system's user32.

#include <memory>

#include "platform/eventloop.h"
#include "platform/messages.h"
#include "platform/time.h"

namespace {

constexpr char kObjectWindowClass[] = "TPUtilWindow";

// The bound method lives in the window's extra bytes, so that GWLP_USERDATA stays free for
// whoever subclasses the window.
TWndMethod* MethodOf(HWND hwnd) {
  return reinterpret_cast<TWndMethod*>(GetWindowLongPtrA(hwnd, 0));
}

LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWndMethod* bound = MethodOf(hwnd);
  if (bound == nullptr || !*bound) return DefWindowProcA(hwnd, msg, wParam, lParam);
  TMessage message{msg, wParam, lParam, 0};
  TWndMethod method = *bound;  // the window may be deallocated inside
  method(message);
  return message.Result;
}

bool RegisterObjectWindowClass() {
  WNDCLASSA existing{};
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (GetClassInfoA(instance, kObjectWindowClass, &existing)) return true;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ObjectWindowProc;
  windowClass.cbWndExtra = sizeof(TWndMethod*);
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kObjectWindowClass;
  return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

HWND AllocateHWnd(TWndMethod method) {
  if (!RegisterObjectWindowClass()) return nullptr;
  // WM_CREATE must not reach a method that is not bound yet: it is bound afterwards.
  HWND hwnd = CreateWindowExA(0, kObjectWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  if (hwnd == nullptr) return nullptr;
  SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(new TWndMethod(std::move(method))));
  return hwnd;
}

void DeallocateHWnd(HWND hwnd) {
  if (!IsWindow(hwnd)) return;
  std::unique_ptr<TWndMethod> bound(MethodOf(hwnd));
  SetWindowLongPtrA(hwnd, 0, 0);
  DestroyWindow(hwnd);
}

std::string GetWindowClassName(HWND hwnd) {
  char name[256];
  int length = GetClassNameA(hwnd, name, sizeof name);
  return length > 0 ? std::string(name, static_cast<std::size_t>(length)) : std::string();
}

namespace platform {

bool PumpLoop(int timeoutMs) {
  DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  return MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
         WAIT_OBJECT_0;
}

// The performance counter rather than GetTickCount64, which moves in steps of the system
// tick (10 to 16 ms): waits measured here are as exact as on the stand-in.
std::int64_t MonotonicMs() {
  static const std::int64_t frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<std::int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER count{};
  QueryPerformanceCounter(&count);
  const std::int64_t ticks = count.QuadPart;
  return ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
}

}  // namespace platform
