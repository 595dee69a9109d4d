// Worker threads with a termination request, nested cooperative holds, and calls handed to the
// main thread that the caller waits for.
//
// Threads: Start, Terminate, Hold and Release may be called from any thread; Execute runs on the
// worker; WaitFor runs on the thread that owns the object (the main thread in the programs),
// which keeps serving the calls that workers hand to it while it waits, so that a worker
// blocked in Synchronize can always reach its end, and the messages sent to its windows.
#pragma once

#include "base/clock.h"
#include "base/handles.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace qm {

// The queue of calls that worker threads hand to the main thread.
class MainThreadCalls {
 public:
  // On the main thread, before any worker hands it a call; creates the hidden window whose
  // posted message lets every message loop (modal ones included) serve the queue.
  static void Attach();
  static void Detach();
  static bool IsMainThread();
  // Runs call on the main thread and returns when it has run; an exception it throws is
  // rethrown here. Called on the main thread itself, it runs the call at once.
  static void Run(const std::function<void()>& call);
  // On the main thread: runs every call queued so far.
  static void ServePending();
  // Signalled while calls are queued; lets a waiting main thread serve them.
  static HANDLE PendingEvent();
};

class Thread {
 public:
  Thread();
  virtual ~Thread();  // asks for termination and waits for the end
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Creates the thread suspended, sets its priority (THREAD_PRIORITY_*), then lets it run.
  bool Start(int priority = THREAD_PRIORITY_NORMAL);
  // Also lifts every hold, so that a held thread can reach its loop test, ends the worker's
  // Pause at once, and gives a worker of a lower priority the normal one: on a busy machine an
  // idle-priority thread may not run for seconds, and its end must not wait for that.
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  // Waits until Execute has returned; on the main thread it serves handed calls and sent
  // messages meanwhile, and may be entered again from one of them.
  void WaitFor();
  // The same, for at most timeoutMs; false when the worker is still running then.
  bool WaitFor(unsigned timeoutMs);
  bool Running() const;

  // Nested holds: the worker stops at its next HoldPoint while at least one hold is in force.
  void Hold();
  void Release();  // without a hold it does nothing
  unsigned HoldCount() const;
  // True while the worker is parked at a HoldPoint (for tests and status).
  bool Parked() const { return parked_.load(); }
  // How often the worker has looked at the holds while parked: after a Release, a new look
  // shows that the worker has seen it (for tests).
  unsigned HoldChecks() const;

 protected:
  virtual void Execute() = 0;
  // Called by Execute only where the worker owns no lock that another thread needs.
  void HoldPoint();
  // Waits ms through clock, or until Terminate; true when Terminate ended the wait.
  bool Pause(Clock& clock, unsigned ms) { return clock.Wait(ms, stop_.get()); }
  void Synchronize(const std::function<void()>& call) { MainThreadCalls::Run(call); }

 private:
  static DWORD WINAPI Entry(void* self);

  bool WaitUntil(DWORD deadline, bool bounded);

  UniqueKernelHandle handle_;
  UniqueKernelHandle stop_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};  // set by Terminate
  std::atomic<bool> terminated_{false};
  std::atomic<bool> parked_{false};
  mutable std::mutex holdLock_;
  std::condition_variable holdChanged_;
  unsigned holds_ = 0;
  unsigned holdChecks_ = 0;
};

}  // namespace qm
