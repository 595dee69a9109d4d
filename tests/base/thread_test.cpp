// Waiting for a worker's end on the main thread, which owns the program's windows.
#include "base/thread.h"

#include "base/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qm {
namespace {

// Runs until go is set.
class GatedWorker : public Thread {
 public:
  UniqueKernelHandle go{CreateEventA(nullptr, TRUE, FALSE, nullptr)};

 protected:
  void Execute() override { WaitForSingleObject(go.get(), INFINITE); }
};

TEST(ThreadWaitFor, OnTheMainThreadAnswersMessagesSentToItsWindows) {
  MainThreadCalls::Attach();
  FunctionWindow window([](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
    return msg == WM_APP ? 7 : DefWindowProcA(hwnd, msg, wp, lp);
  });
  ASSERT_TRUE(window.Create("QuillmereThreadTest", HiddenWindow::Kind::TopLevel));
  GatedWorker worker;
  ASSERT_TRUE(worker.Start());
  // The worker ends only once the main thread has answered (or the send has given up).
  bool answered = false;
  DWORD_PTR answer = 0;
  std::thread sender([&] {
    answered = SendMessageTimeoutA(window.hwnd(), WM_APP, 0, 0, SMTO_NORMAL, 10000, &answer) != 0;
    SetEvent(worker.go.get());
  });
  worker.WaitFor();
  sender.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(answer, 7u);
  MainThreadCalls::Detach();
}

// Pauses ten minutes on the real clock, at the priority it was started with.
class PausingWorker : public Thread {
 public:
  std::atomic<bool> pausing{false}, woken{false};
  std::atomic<int> priorityAfter{0};

 protected:
  void Execute() override {
    pausing = true;
    woken = Pause(SystemClock(), 600000);
    priorityAfter = GetThreadPriority(GetCurrentThread());
  }
};

TEST(ThreadEnd, TerminateEndsAPauseAtOnceAndAWaitForAWorkerThatRunsOnGivesUp) {
  PausingWorker idle;
  ASSERT_TRUE(idle.Start(THREAD_PRIORITY_IDLE));
  for (int i = 0; i < 3000 && !idle.pausing; ++i) Sleep(10);
  idle.Terminate();
  ASSERT_TRUE(idle.WaitFor(30000)) << "the pause held the end back";
  EXPECT_TRUE(idle.woken);
  // On a busy machine an idle-priority worker may get no time for seconds.
  EXPECT_EQ(idle.priorityAfter, THREAD_PRIORITY_NORMAL);

  GatedWorker stuck;
  ASSERT_TRUE(stuck.Start());
  stuck.Terminate();
  EXPECT_FALSE(stuck.WaitFor(20));
  EXPECT_TRUE(stuck.Running()) << "a wait that gave up let go of the worker";
  SetEvent(stuck.go.get());
  EXPECT_TRUE(stuck.WaitFor(30000));
}

}  // namespace
}  // namespace qm
