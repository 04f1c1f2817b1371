// Windows, window classes, messages, timers and the message loop.
//
// Every window and every queue belongs to the thread that created it. PostMessage may be
// called from any thread; everything else is called on the owning thread. Ordering rules are
// those of Win32: posted messages first (FIFO), then the quit message, then timer messages
// (at most one pending per timer, produced only when nothing else waits).
#pragma once

#include <functional>
#include <string>

#include "platform/wintypes.h"

#ifndef _WIN32
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct POINT {
  LONG x = 0;
  LONG y = 0;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};

struct WNDCLASSA {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  const char* lpszClassName = nullptr;
};

// Message numbers.
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr UINT PM_NOYIELD = 0x0002;

inline constexpr UINT SMTO_NORMAL = 0x0000;
inline constexpr UINT SMTO_BLOCK = 0x0001;
inline constexpr UINT SMTO_ABORTIFHUNG = 0x0002;

inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_HINSTANCE = -6;
inline constexpr int GWLP_ID = -12;
inline constexpr int GWLP_USERDATA = -21;

// The parent given to CreateWindowEx for a message-only window.
inline const HWND HWND_MESSAGE = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-3));

ATOM RegisterClassA(const WNDCLASSA* wndClass);
BOOL UnregisterClassA(const char* className, HINSTANCE instance);
BOOL GetClassInfoA(HINSTANCE instance, const char* className, WNDCLASSA* wndClass);

// Windows of this platform are never shown by it: they are targets for messages. The widget
// sets above draw controls themselves. `createParam` reaches WM_CREATE as lParam.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, void* menu,
                     HINSTANCE instance, void* createParam);
// Sends WM_DESTROY and WM_NCDESTROY, kills the window's timers and drops the messages posted
// to it that are still waiting. Only on the window's own thread (else ERROR_ACCESS_DENIED).
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
// GWLP_WNDPROC replaces the procedure and returns the previous one (subclassing).
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

#endif  // _WIN32

// Object windows: a hidden window whose messages go to a bound callable (a method of the
// object that made it). Its procedure can still be replaced and called through as usual.
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
using TWndMethod = std::function<void(TMessage&)>;
HWND AllocateHWnd(TWndMethod method);
void DeallocateHWnd(HWND hwnd);
// The class name a window was created with.
std::string GetWindowClassName(HWND hwnd);

#ifndef _WIN32
// Names follow Win32 with the A (8-bit text) suffix; no unsuffixed macros are defined, so
// that methods of the layers above may use the plain names.

// hwnd == nullptr posts a thread message to the calling thread's queue.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);
// On the window's own thread: a direct call of its procedure. From another thread the call is
// queued to the owner and this thread waits for it.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Returns 0 (with GetLastError ERROR_TIMEOUT) when the owner did not answer in time.
LRESULT SendMessageTimeoutA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeoutMs, DWORD_PTR* result);
void PostQuitMessage(int exitCode);

// GetMessage returns 0 for WM_QUIT, -1 for a bad window handle, otherwise non-zero.
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
// Blocks until a message is waiting (or a descriptor, timer or widget event needs handling).
BOOL WaitMessage();
// The message loops use the W names, so that on Windows a typed character reaches a control
// whole where the ANSI code page has no such character. Messages here carry no text of their
// own to convert: the W names are the A functions.
inline BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  return GetMessageA(msg, hwnd, filterMin, filterMax);
}
inline BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  return PeekMessageA(msg, hwnd, filterMin, filterMax, removeFlags);
}
inline LRESULT DispatchMessageW(const MSG* msg) {
  return DispatchMessageA(msg);
}

// Window timers: WM_TIMER to hwnd with wParam = id. Callback timers (hwnd == nullptr) get a new
// id and run `proc` when their WM_TIMER is dispatched. An existing id is replaced.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

DWORD GetCurrentThreadId();
#endif  // _WIN32
