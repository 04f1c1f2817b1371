#include "platform/messages.h"

#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <map>
#include <unordered_map>

#include "platform/eventloop.h"
#include "platform/library.h"
#include "platform/time.h"
#include "thread_queue.h"

namespace {

using platform::detail::CurrentQueue;
using platform::detail::SentMessage;
using platform::detail::ThreadQueue;

struct WindowClassRecord {
  std::string name;
  WNDPROC proc = nullptr;
  int wndExtra = 0;
  HINSTANCE instance = nullptr;
};

struct WindowRecord {
  std::string className;
  WNDPROC proc = nullptr;
  TWndMethod method;  // object windows only
  std::vector<std::uint8_t> extra;
  LONG_PTR userData = 0;
  LONG_PTR id = 0;
  HINSTANCE instance = nullptr;
  std::shared_ptr<ThreadQueue> queue;
  bool destroying = false;
};

std::string Lower(const char* s) {
  std::string out = s ? s : "";
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Window handles are numbers that are never reused, so that a message left for a destroyed
// window can never reach a new one.
struct Registry {
  std::mutex mutex;
  std::map<std::string, WindowClassRecord> classes;  // by lower-case name
  std::unordered_map<std::uintptr_t, std::shared_ptr<WindowRecord>> windows;
  std::uintptr_t nextHandle = 0x10010;
  std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> queues;
};

Registry& Reg() {
  static auto* registry = new Registry;  // lives to the very end of the process
  return *registry;
}

std::shared_ptr<WindowRecord> FindWindowRecord(HWND hwnd) {
  auto& reg = Reg();
  std::lock_guard lock(reg.mutex);
  auto it = reg.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
  return it == reg.windows.end() ? nullptr : it->second;
}

thread_local std::shared_ptr<ThreadQueue> currentQueue;

constexpr char kObjectWindowClass[] = "TPUtilWindow";
constexpr UINT kMinTimerMs = 10;

LRESULT CALLBACK_ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto record = FindWindowRecord(hwnd);
  if (!record || !record->method) return DefWindowProcA(hwnd, msg, wParam, lParam);
  TMessage message{msg, wParam, lParam, 0};
  auto method = record->method;  // the window may be deallocated inside
  method(message);
  return message.Result;
}

bool MatchesFilter(const MSG& m, HWND hwnd, UINT minMsg, UINT maxMsg) {
  if (hwnd == reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1))) {
    if (m.hwnd) return false;
  } else if (hwnd && m.hwnd != hwnd) {
    return false;
  }
  if (minMsg == 0 && maxMsg == 0) return true;
  return m.message >= minMsg && m.message <= maxMsg;
}

DWORD NowTime() {
  return timeGetTime();
}

// Takes the next message by Win32 priority: posted, quit, timer. Returns false when none.
bool TakeMessage(ThreadQueue& queue, MSG* out, HWND hwnd, UINT minMsg, UINT maxMsg, bool remove) {
  platform::detail::ServeSentMessages(queue);
  {
    std::lock_guard lock(queue.mutex);
    for (auto it = queue.posted.begin(); it != queue.posted.end();) {
      if (it->hwnd && !IsWindow(it->hwnd)) {  // destroyed meanwhile: dropped
        it = queue.posted.erase(it);
        continue;
      }
      if (MatchesFilter(*it, hwnd, minMsg, maxMsg)) {
        *out = *it;
        if (remove) queue.posted.erase(it);
        return true;
      }
      ++it;
    }
  }
  // The quit message passes every window and range filter.
  if (queue.quitPosted) {
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, NowTime(), {}};
    if (remove) queue.quitPosted = false;
    return true;
  }
  if (!queue.timers.empty()) {
    std::int64_t now = platform::MonotonicMs();
    platform::detail::Timer* best = nullptr;
    for (auto& t : queue.timers) {
      if (t.dueMs > now) continue;
      MSG probe{t.hwnd, WM_TIMER, t.id, 0, 0, {}};
      if (!MatchesFilter(probe, hwnd, minMsg, maxMsg)) continue;
      if (!best || t.dueMs < best->dueMs) best = &t;
    }
    if (best) {
      *out =
          MSG{best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), NowTime(), {}};
      // One message per expiry: the next one is due a whole interval after it was taken.
      if (remove) best->dueMs = now + best->elapseMs;
      return true;
    }
  }
  return false;
}

// How long the loop may sleep: until the nearest timer, or forever.
int WaitTimeout(ThreadQueue& queue) {
  if (queue.timers.empty()) return -1;
  std::int64_t now = platform::MonotonicMs();
  std::int64_t nearest = INT64_MAX;
  for (auto& t : queue.timers) nearest = std::min(nearest, t.dueMs);
  std::int64_t wait = nearest - now;
  if (wait <= 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(wait + 1, 1 << 30));
}

bool HasPosted(ThreadQueue& queue) {
  std::lock_guard lock(queue.mutex);
  return !queue.posted.empty() || !queue.sent.empty();
}

// A look at the descriptors before a message is taken, so that a flood of posted messages cannot
// starve sockets and the widget set. While messages wait, once a millisecond is enough: a busy
// transfer then pays one poll per received chunk, not one per message it posts.
void LookAtDescriptors(ThreadQueue& queue) {
  if (HasPosted(queue) && queue.PolledWithin(std::chrono::milliseconds(1))) return;
  platform::PumpLoop(0);
}

}  // namespace

namespace platform::detail {

ThreadQueue::ThreadQueue() {
  threadId = static_cast<DWORD>(syscall(SYS_gettid));
  wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

ThreadQueue::~ThreadQueue() {
  if (wakeFd >= 0) close(wakeFd);
}

void ThreadQueue::Wake() {
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(wakeFd, &one, sizeof one);
}

void ThreadQueue::DrainWake() {
  std::uint64_t value;
  [[maybe_unused]] auto n = read(wakeFd, &value, sizeof value);
}

ThreadQueue& CurrentQueue() {
  if (!currentQueue) {
    currentQueue = std::make_shared<ThreadQueue>();
    auto& reg = Reg();
    std::lock_guard lock(reg.mutex);
    reg.queues[currentQueue->threadId] = currentQueue;
  }
  return *currentQueue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId) {
  auto& reg = Reg();
  std::lock_guard lock(reg.mutex);
  auto it = reg.queues.find(threadId);
  return it == reg.queues.end() ? nullptr : it->second.lock();
}

void ServeSentMessages(ThreadQueue& queue) {
  for (;;) {
    std::shared_ptr<SentMessage> item;
    {
      std::lock_guard lock(queue.mutex);
      if (queue.sent.empty()) return;
      item = queue.sent.front();
      queue.sent.pop_front();
      if (item->abandoned) continue;
    }
    LRESULT result = 0;
    auto record = FindWindowRecord(item->hwnd);
    if (record)
      result = CallWindowProcA(record->proc, item->hwnd, item->msg, item->wParam, item->lParam);
    auto sender = item->sender.lock();
    if (!sender) continue;  // the sending thread has ended
    {
      std::lock_guard lock(sender->mutex);
      item->result = result;
      item->done = true;
    }
    sender->sentDone.notify_all();
  }
}

}  // namespace platform::detail

DWORD GetCurrentThreadId() {
  return CurrentQueue().threadId;
}

ATOM RegisterClassA(const WNDCLASSA* wndClass) {
  if (!wndClass || !wndClass->lpszClassName || !wndClass->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto& reg = Reg();
  std::lock_guard lock(reg.mutex);
  auto key = Lower(wndClass->lpszClassName);
  if (reg.classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  // A class registered without an instance belongs to the program.
  HINSTANCE instance = wndClass->hInstance ? wndClass->hInstance : GetModuleHandleA(nullptr);
  reg.classes[key] = {wndClass->lpszClassName, wndClass->lpfnWndProc, wndClass->cbWndExtra,
                      instance};
  return static_cast<ATOM>(0xC000 + reg.classes.size());
}

BOOL UnregisterClassA(const char* className, HINSTANCE) {
  auto& reg = Reg();
  std::lock_guard lock(reg.mutex);
  if (reg.classes.erase(Lower(className)) == 0) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE instance, const char* className, WNDCLASSA* wndClass) {
  auto& reg = Reg();
  std::lock_guard lock(reg.mutex);
  auto it = reg.classes.find(Lower(className));
  // No instance asks for the system's classes, of which this platform has none.
  if (instance == nullptr || it == reg.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (wndClass) {
    *wndClass = WNDCLASSA{};
    wndClass->lpfnWndProc = it->second.proc;
    wndClass->cbWndExtra = it->second.wndExtra;
    wndClass->hInstance = it->second.instance;
    wndClass->lpszClassName = it->second.name.c_str();
  }
  return TRUE;
}

HWND CreateWindowExA(DWORD, const char* className, const char*, DWORD, int, int, int, int, HWND,
                     void* menu, HINSTANCE instance, void* createParam) {
  auto record = std::make_shared<WindowRecord>();
  HWND hwnd;
  {
    auto& reg = Reg();
    std::lock_guard lock(reg.mutex);
    auto it = reg.classes.find(Lower(className));
    if (it == reg.classes.end()) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    record->className = it->second.name;
    record->proc = it->second.proc;
    record->extra.assign(static_cast<std::size_t>(std::max(0, it->second.wndExtra)), 0);
    record->instance = instance ? instance : it->second.instance;
    record->id = reinterpret_cast<LONG_PTR>(menu);
    hwnd = reinterpret_cast<HWND>(reg.nextHandle);
    reg.nextHandle += 4;
    reg.windows[reinterpret_cast<std::uintptr_t>(hwnd)] = record;
  }
  CurrentQueue();
  record->queue = currentQueue;
  if (CallWindowProcA(record->proc, hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(createParam)) ==
      -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  auto record = FindWindowRecord(hwnd);
  if (!record || record->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  CurrentQueue();
  if (record->queue != currentQueue) {  // only the thread that made it destroys a window
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  record->destroying = true;
  CallWindowProcA(record->proc, hwnd, WM_DESTROY, 0, 0);
  CallWindowProcA(record->proc, hwnd, WM_NCDESTROY, 0, 0);
  auto& queue = *record->queue;
  std::erase_if(queue.timers, [hwnd](auto& t) { return t.hwnd == hwnd; });
  {
    std::lock_guard lock(queue.mutex);
    std::erase_if(queue.posted, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
  }
  auto& reg = Reg();
  std::lock_guard lock(reg.mutex);
  reg.windows.erase(reinterpret_cast<std::uintptr_t>(hwnd));
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  if (!hwnd) return FALSE;
  auto& reg = Reg();
  std::lock_guard lock(reg.mutex);
  return reg.windows.count(reinterpret_cast<std::uintptr_t>(hwnd)) ? TRUE : FALSE;
}

std::string GetWindowClassName(HWND hwnd) {
  auto record = FindWindowRecord(hwnd);
  return record ? record->className : std::string();
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  auto record = FindWindowRecord(hwnd);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(record->proc);
    case GWLP_USERDATA:
      return record->userData;
    case GWLP_ID:
      return record->id;
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(record->instance);
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > record->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG_PTR value;
  std::memcpy(&value, record->extra.data() + index, sizeof value);
  return value;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  auto record = FindWindowRecord(hwnd);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = 0;
  switch (index) {
    case GWLP_WNDPROC:
      if (!value) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      old = reinterpret_cast<LONG_PTR>(record->proc);
      record->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWLP_USERDATA:
      old = record->userData;
      record->userData = value;
      return old;
    case GWLP_ID:
      old = record->id;
      record->id = value;
      return old;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(record->instance);
      record->instance = reinterpret_cast<HINSTANCE>(value);
      return old;
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > record->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  std::memcpy(&old, record->extra.data() + index, sizeof old);
  std::memcpy(record->extra.data() + index, &value, sizeof value);
  return old;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_CLOSE) DestroyWindow(hwnd);
  return 0;
}

HWND AllocateHWnd(TWndMethod method) {
  {
    auto& reg = Reg();
    std::lock_guard lock(reg.mutex);
    auto key = Lower(kObjectWindowClass);
    if (!reg.classes.count(key))
      reg.classes[key] = {kObjectWindowClass, CALLBACK_ObjectWindowProc, 0, nullptr};
  }
  // WM_CREATE must not reach a method that is not bound yet.
  HWND hwnd = CreateWindowExA(0, kObjectWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              nullptr, nullptr);
  if (auto record = FindWindowRecord(hwnd)) record->method = std::move(method);
  return hwnd;
}

void DeallocateHWnd(HWND hwnd) {
  if (auto record = FindWindowRecord(hwnd)) {
    record->method = nullptr;
    DestroyWindow(hwnd);
  }
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue;
  if (hwnd) {
    auto record = FindWindowRecord(hwnd);
    if (!record || record->destroying) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    queue = record->queue;
  } else {
    CurrentQueue();
    queue = currentQueue;
  }
  {
    std::lock_guard lock(queue->mutex);
    queue->posted.push_back(MSG{hwnd, msg, wParam, lParam, NowTime(), {}});
  }
  if (queue != currentQueue) queue->Wake();
  return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto queue = platform::detail::QueueOfThread(threadId);
  if (!queue) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  {
    std::lock_guard lock(queue->mutex);
    queue->posted.push_back(MSG{nullptr, msg, wParam, lParam, NowTime(), {}});
  }
  if (queue != currentQueue) queue->Wake();
  return TRUE;
}

namespace {

// Sends to a window of another thread and waits for the owner to handle it. While it waits,
// the calling thread handles what other threads send to its own windows (the owner may be
// asking back), unless `serveOwn` is false (SMTO_BLOCK).
bool SendAcross(const std::shared_ptr<WindowRecord>& record, HWND hwnd, UINT msg, WPARAM wParam,
                LPARAM lParam, int timeoutMs, bool serveOwn, LRESULT* result) {
  CurrentQueue();
  const std::shared_ptr<ThreadQueue> own = currentQueue;
  auto item = std::make_shared<SentMessage>();
  item->hwnd = hwnd;
  item->msg = msg;
  item->wParam = wParam;
  item->lParam = lParam;
  item->sender = own;
  auto& target = *record->queue;
  {
    std::lock_guard lock(target.mutex);
    target.sent.push_back(item);
  }
  target.sentDone.notify_all();  // the owner may be waiting for an answer itself
  target.Wake();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto ready = [&] { return item->done || (serveOwn && !own->sent.empty()); };
  std::unique_lock lock(own->mutex);
  for (;;) {
    if (item->done) {
      if (result) *result = item->result;
      return true;
    }
    if (serveOwn && !own->sent.empty()) {
      lock.unlock();
      platform::detail::ServeSentMessages(*own);
      lock.lock();
      continue;
    }
    if (timeoutMs < 0) {
      own->sentDone.wait(lock, ready);
    } else if (!own->sentDone.wait_until(lock, deadline, ready)) {
      break;
    }
  }
  lock.unlock();
  // Timed out: a request the owner has not taken yet is skipped, not handled late.
  std::lock_guard targetLock(target.mutex);
  item->abandoned = true;
  return false;
}

}  // namespace

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto record = FindWindowRecord(hwnd);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (record->queue == currentQueue)
    return CallWindowProcA(record->proc, hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  SendAcross(record, hwnd, msg, wParam, lParam, -1, true, &result);
  return result;
}

LRESULT SendMessageTimeoutA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeoutMs, DWORD_PTR* result) {
  auto record = FindWindowRecord(hwnd);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LRESULT value = 0;
  if (record->queue == currentQueue) {
    value = CallWindowProcA(record->proc, hwnd, msg, wParam, lParam);
  } else if (!SendAcross(record, hwnd, msg, wParam, lParam, static_cast<int>(timeoutMs),
                         (flags & SMTO_BLOCK) == 0, &value)) {
    SetLastError(ERROR_TIMEOUT);
    return 0;
  }
  if (result) *result = static_cast<DWORD_PTR>(value);
  return 1;
}

void PostQuitMessage(int exitCode) {
  auto& queue = CurrentQueue();
  queue.quitPosted = true;
  queue.quitCode = exitCode;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)) && !IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  auto& queue = CurrentQueue();
  LookAtDescriptors(queue);
  for (;;) {
    if (TakeMessage(queue, msg, hwnd, filterMin, filterMax, true)) return msg->message != WM_QUIT;
    platform::PumpLoop(HasPosted(queue) ? 0 : WaitTimeout(queue));
  }
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  auto& queue = CurrentQueue();
  LookAtDescriptors(queue);
  MSG local;
  return TakeMessage(queue, msg ? msg : &local, hwnd, filterMin, filterMax,
                     (removeFlags & PM_REMOVE) != 0);
}

BOOL TranslateMessage(const MSG*) {
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    // A timer with a callback: the callback runs instead of the window procedure.
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    auto& timers = CurrentQueue().timers;
    bool alive = std::any_of(timers.begin(), timers.end(),
                             [&](auto& t) { return t.hwnd == msg->hwnd && t.id == msg->wParam; });
    if (alive) proc(msg->hwnd, WM_TIMER, msg->wParam, timeGetTime());
    return 0;
  }
  if (!msg->hwnd) return 0;
  auto record = FindWindowRecord(msg->hwnd);
  if (!record || record->destroying) return 0;
  return CallWindowProcA(record->proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitMessage() {
  auto& queue = CurrentQueue();
  for (;;) {
    platform::detail::ServeSentMessages(queue);
    if (HasPosted(queue) || queue.quitPosted) return TRUE;
    std::int64_t now = platform::MonotonicMs();
    for (auto& t : queue.timers)
      if (t.dueMs <= now) return TRUE;
    platform::PumpLoop(WaitTimeout(queue));
  }
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  if (hwnd && !IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  auto& queue = CurrentQueue();
  elapseMs = std::max(elapseMs, kMinTimerMs);
  if (!hwnd) {
    // Window-less timers get an id of their own unless an existing one is being replaced.
    bool exists = id && std::any_of(queue.timers.begin(), queue.timers.end(),
                                    [&](auto& t) { return !t.hwnd && t.id == id; });
    if (!exists) {
      do {
        id = ++queue.nextCallbackTimerId;
      } while (std::any_of(queue.timers.begin(), queue.timers.end(),
                           [&](auto& t) { return !t.hwnd && t.id == id; }));
    }
  }
  std::int64_t due = platform::MonotonicMs() + elapseMs;
  for (auto& t : queue.timers) {
    if (t.hwnd == hwnd && t.id == id) {
      t.elapseMs = elapseMs;
      t.proc = proc;
      t.dueMs = due;
      return hwnd ? (id ? id : 1) : id;
    }
  }
  queue.timers.push_back({hwnd, id, elapseMs, proc, due});
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto& timers = CurrentQueue().timers;
  auto before = timers.size();
  std::erase_if(timers, [&](auto& t) { return t.hwnd == hwnd && t.id == id; });
  if (timers.size() == before) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A WM_TIMER already taken by PeekMessage(PM_NOREMOVE) can still be dispatched; for callback
  // timers DispatchMessage checks that the timer still exists.
  return TRUE;
}
