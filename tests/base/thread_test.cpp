// Waiting for a worker's end on the main thread, which owns the program's windows.
#include "base/thread.h"

#include "base/window.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qm
