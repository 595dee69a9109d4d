// The log writer waiting for a writer that is halfway through adding a line.
#include "server/logthread.h"

#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

constexpr unsigned kPatienceMs = 30000;
constexpr int kWaitsToWatch = 3;

// Stops one writer inside AddLine, between clearing and setting the ready flag, at the moment
// the log thread has written a line and still has another queued; then records how the log
// thread waits for that writer.
class HandOffClock final : public Clock {
 public:
  DateTime Now() override {
    if (GetCurrentThreadId() == writer_.load()) {
      std::unique_lock<std::mutex> hold(lock_);
      writerInside_ = true;
      changed_.notify_all();
      changed_.wait_for(hold, std::chrono::milliseconds(kPatienceMs), [this] { return released_; });
    }
    return 46000.5;
  }

  // Every wait on this clock is the log thread's.
  void Sleep(unsigned ms) override {
    std::unique_lock<std::mutex> hold(lock_);
    const auto patience = std::chrono::milliseconds(kPatienceMs);
    if (phase_ == Phase::Idle) {
      changed_.wait_for(hold, patience, [this] { return linesQueued_; });
      // The pause after a written line, with the second line still queued.
      if (ms == 1) {
        phase_ = Phase::WriterHeld;
        go_ = true;
        changed_.notify_all();
        changed_.wait_for(hold, patience, [this] { return writerInside_; });
      }
      return;
    }
    if (phase_ == Phase::WriterHeld) {
      waitsWhileHeld_.push_back(ms);
      if (static_cast<int>(waitsWhileHeld_.size()) == kWaitsToWatch) {
        phase_ = Phase::Done;
        released_ = true;
        changed_.notify_all();
      }
    }
    hold.unlock();
    ::Sleep(ms);
  }

  void LinesQueued() {
    std::lock_guard<std::mutex> hold(lock_);
    linesQueued_ = true;
    changed_.notify_all();
  }
  // On the writer's thread: returns when the log thread is ready for it to begin AddLine.
  void AwaitTurn() {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::milliseconds(kPatienceMs), [this] { return go_; });
    writer_ = GetCurrentThreadId();
  }
  std::vector<unsigned> WaitsWhileHeld() {
    std::lock_guard<std::mutex> hold(lock_);
    return waitsWhileHeld_;
  }

 private:
  enum class Phase { Idle, WriterHeld, Done };
  std::mutex lock_;
  std::condition_variable changed_;
  std::atomic<DWORD> writer_{0};
  Phase phase_ = Phase::Idle;
  bool linesQueued_ = false;
  bool go_ = false;
  bool writerInside_ = false;
  bool released_ = false;
  std::vector<unsigned> waitsWhileHeld_;
};

TEST(LogHandOff, AWriterHeldHalfwayIsWaitedForWithRealPausesAndEveryLineLandsInOrder) {
  const std::string folder = test::MakeScratchFolder("reviewlog");
  ASSERT_FALSE(folder.empty());
  HandOffClock clock;
  {
    TLogThread writer(folder, clock);
    writer.AddLine("one");
    writer.AddLine("two");
    clock.LinesQueued();
    std::thread slow([&] {
      clock.AwaitTurn();
      writer.AddLine("three");
    });

    const std::string path = folder + "quillmere.log";
    test::WaitUntil([&] { return test::ReadFileOrEmpty(path).find(": three\r\n") != std::string::npos; },
                    kPatienceMs);
    slow.join();
    const std::string text = test::ReadFileOrEmpty(path);
    const size_t one = text.find(": one\r\n"), two = text.find(": two\r\n"),
                 three = text.find(": three\r\n");
    ASSERT_NE(three, std::string::npos);
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
  }
  // A zero-length wait would let the log thread spin past a writer of lower priority.
  const std::vector<unsigned> waits = clock.WaitsWhileHeld();
  ASSERT_EQ(waits.size(), static_cast<size_t>(kWaitsToWatch));
  for (unsigned ms : waits) EXPECT_GE(ms, 1u);
  test::RemoveTree(folder);
}

}  // namespace
}  // namespace qm
