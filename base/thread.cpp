#include "base/thread.h"

#include <deque>
#include <exception>
#include <memory>

namespace qm {
namespace {

constexpr UINT kServeMessage = WM_APP + 0x51;

struct HandedCall {
  std::function<void()> call;
  UniqueKernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  std::exception_ptr failure;
};

std::mutex g_queueLock;
std::deque<std::shared_ptr<HandedCall>> g_queue;
std::atomic<DWORD> g_mainThreadId{0};
HWND g_serveWindow = nullptr;
HANDLE g_pending = CreateEventA(nullptr, TRUE, FALSE, nullptr);

LRESULT CALLBACK ServeWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kServeMessage) {
    MainThreadCalls::ServePending();
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

void MainThreadCalls::Attach() {
  g_mainThreadId = GetCurrentThreadId();
  static const char* kClass = "QuillmereMainThreadCalls";
  WNDCLASSA wc{};
  wc.lpfnWndProc = ServeWndProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);  // a second Attach finds the class registered already
  if (!g_serveWindow)
    g_serveWindow = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
}

void MainThreadCalls::Detach() {
  ServePending();
  if (g_serveWindow) DestroyWindow(g_serveWindow);
  g_serveWindow = nullptr;
  g_mainThreadId = 0;
}

bool MainThreadCalls::IsMainThread() { return g_mainThreadId == GetCurrentThreadId(); }

HANDLE MainThreadCalls::PendingEvent() { return g_pending; }

void MainThreadCalls::Run(const std::function<void()>& call) {
  if (IsMainThread() || g_mainThreadId == 0) {
    call();
    return;
  }
  auto handed = std::make_shared<HandedCall>();
  handed->call = call;
  {
    std::lock_guard<std::mutex> hold(g_queueLock);
    g_queue.push_back(handed);
    SetEvent(g_pending);
  }
  if (g_serveWindow) PostMessageA(g_serveWindow, kServeMessage, 0, 0);
  WaitForSingleObject(handed->done.get(), INFINITE);
  if (handed->failure) std::rethrow_exception(handed->failure);
}

void MainThreadCalls::ServePending() {
  for (;;) {
    std::shared_ptr<HandedCall> next;
    {
      std::lock_guard<std::mutex> hold(g_queueLock);
      if (g_queue.empty()) {
        ResetEvent(g_pending);
        return;
      }
      next = g_queue.front();
      g_queue.pop_front();
    }
    try {
      next->call();
    } catch (...) {
      next->failure = std::current_exception();
    }
    SetEvent(next->done.get());
  }
}

Thread::Thread() = default;

Thread::~Thread() {
  Terminate();
  WaitFor();
}

bool Thread::Start(int priority) {
  if (handle_) return false;
  HANDLE h = CreateThread(nullptr, 0, &Thread::Entry, this, CREATE_SUSPENDED, nullptr);
  if (!h) return false;
  handle_.reset(h);
  SetThreadPriority(h, priority);
  ResumeThread(h);
  return true;
}

DWORD WINAPI Thread::Entry(void* self) {
  try {
    static_cast<Thread*>(self)->Execute();
  } catch (...) {
    // A worker's failure ends the worker, never the program.
  }
  return 0;
}

void Thread::Terminate() {
  // Raised before it is woken, so that all it does from here runs at the normal priority.
  if (handle_ && GetThreadPriority(handle_.get()) < THREAD_PRIORITY_NORMAL)
    SetThreadPriority(handle_.get(), THREAD_PRIORITY_NORMAL);
  terminated_ = true;
  if (stop_) SetEvent(stop_.get());
  std::lock_guard<std::mutex> hold(holdLock_);
  holdChanged_.notify_all();
}

void Thread::WaitFor() { WaitUntil(0, false); }

bool Thread::WaitFor(unsigned timeoutMs) { return WaitUntil(GetTickCount() + timeoutMs, true); }

bool Thread::WaitUntil(DWORD deadline, bool bounded) {
  const auto remaining = [&]() -> DWORD {
    if (!bounded) return INFINITE;
    const DWORD now = GetTickCount();
    // Differences of tick counts stay right across the counter's wrap.
    return static_cast<int32_t>(deadline - now) > 0 ? deadline - now : 0;
  };
  if (!MainThreadCalls::IsMainThread()) {
    if (handle_ && WaitForSingleObject(handle_.get(), remaining()) != WAIT_OBJECT_0) return false;
    handle_.reset();
    return true;
  }
  // The main thread owns the programs' windows: messages that other threads and programs send
  // them (the session's end, a broadcast) are handled while it waits, or every sender would
  // hang with it. One of them may wait for this thread as well, so the handle is looked at
  // afresh after each.
  while (handle_) {
    HANDLE handles[2] = {handle_.get(), MainThreadCalls::PendingEvent()};
    const DWORD r = MsgWaitForMultipleObjects(2, handles, FALSE, remaining(), QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0 + 1) {
      MainThreadCalls::ServePending();
    } else if (r == WAIT_OBJECT_0 + 2) {
      // Delivers the sent messages only; posted ones stay queued for the message loop.
      MSG msg;
      PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    } else if (r == WAIT_TIMEOUT) {
      // A wait further up the stack may still find the thread ended; the handle stays.
      return !handle_;
    } else {
      break;
    }
  }
  handle_.reset();
  return true;
}

bool Thread::Running() const {
  return handle_ && WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT;
}

void Thread::Hold() {
  std::lock_guard<std::mutex> hold(holdLock_);
  ++holds_;
}

void Thread::Release() {
  std::lock_guard<std::mutex> hold(holdLock_);
  if (holds_ > 0) --holds_;
  holdChanged_.notify_all();
}

unsigned Thread::HoldChecks() const {
  std::lock_guard<std::mutex> hold(holdLock_);
  return holdChecks_;
}

unsigned Thread::HoldCount() const {
  std::lock_guard<std::mutex> hold(holdLock_);
  return holds_;
}

void Thread::HoldPoint() {
  std::unique_lock<std::mutex> hold(holdLock_);
  if (holds_ == 0 || terminated_) return;
  parked_ = true;
  holdChanged_.wait(hold, [this] {
    ++holdChecks_;
    return holds_ == 0 || terminated_.load();
  });
  parked_ = false;
}

}  // namespace qm
