#include "server/logthread.h"

#include "support/fakeclock.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

// Sets the test clock to a moment of December 2026.
void SetDay(test::FakeClock& clock, int day, int hour, int minute, int second) {
  clock.SetNow(EncodeDateTime({2026, 12, day, hour, minute, second, 0}));
}

constexpr unsigned kPatienceMs = 30000;
const std::string kStamp = "08-12-2026 07:31:35: ";

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeScratchFolder("log");
    SetDay(clock_, 8, 7, 31, 35);
  }
  void TearDown() override { test::RemoveTree(folder_); }

  std::string LogPath() const { return folder_ + "quillmere.log"; }
  std::string LogText() const { return test::ReadFileOrEmpty(LogPath()); }
  // Waits for the file to read exactly expected; returns what it reads in the end.
  std::string WaitForLog(const std::string& expected) const {
    test::WaitUntil([&] { return LogText() == expected; }, kPatienceMs);
    return LogText();
  }

  std::string folder_;
  // The time is set line by line; waits are real, so the writer keeps its 100 ms rhythm.
  test::FakeClock clock_{0, test::FakeClock::Waits::Real};
};

TEST_F(LogWriterTest, FirstStartCreatesTheLogARestartAppendsAndTextsGoInUnchanged) {
  // Names go in as the bytes of the system code page: Cyrillic under Windows-1251.
  const std::string named = "\xCD\xE5\xF2 \xF4\xE0\xE9\xEB\xE0 \xD1\xEC\xE5\xF2\xE0 \xB9" "1.txt";
  std::string expected =
      kStamp + "QuillmereServer# Started.\r\n" + kStamp + "\r\n" + kStamp + named + "\r\n";
  {
    TLogThread writer(folder_, clock_);
    EXPECT_EQ(writer.FileName(), LogPath());
    writer.AddLine("QuillmereServer# Started.");
    writer.AddLine("");
    writer.AddLine(named);
    ASSERT_EQ(WaitForLog(expected), expected);
  }
  SetDay(clock_, 9, 0, 0, 0);  // midnight: the stamp is the date alone
  TLogThread writer(folder_, clock_);
  writer.AddLine("first\r\nsecond");
  expected += "09-12-2026: first\r\nsecond\r\n";
  EXPECT_EQ(WaitForLog(expected), expected);
}

TEST_F(LogWriterTest, LinesFromTwoThreadsEachLandWholeOnALineOfTheirOwn) {
  constexpr int kPerThread = 150;
  TLogThread writer(folder_, clock_);
  auto add = [&](char who) {
    for (int i = 0; i < kPerThread; ++i) writer.AddLine(who + std::to_string(i));
  };
  std::thread a(add, 'A'), b(add, 'B');
  a.join();
  b.join();
  test::WaitUntil(
      [&] {
        const std::string text = LogText();
        return std::count(text.begin(), text.end(), '\n') >= 2 * kPerThread;
      },
      kPatienceMs);

  std::istringstream in(LogText());
  int next[2] = {0, 0};
  for (std::string line; std::getline(in, line);) {
    ASSERT_EQ(line.substr(0, kStamp.size()), kStamp) << line;
    ASSERT_EQ(line.back(), '\r') << line;
    const char who = line[kStamp.size()];
    ASSERT_TRUE(who == 'A' || who == 'B') << line;
    // Each thread's lines come out whole and in the order that thread added them.
    EXPECT_EQ(line.substr(kStamp.size() + 1, line.size() - kStamp.size() - 2),
              std::to_string(next[who - 'A']++));
  }
  EXPECT_EQ(next[0], kPerThread);
  EXPECT_EQ(next[1], kPerThread);
}

TEST_F(LogWriterTest, ALockedLogLosesNothingAndKeepsOrderAndQueueTimeStamps) {
  ASSERT_TRUE(test::WriteFileBytes(LogPath(), "older line\r\n"));
  UniqueFile lock(CreateFileA(LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  TLogThread writer(folder_, clock_);
  const auto passes = [this] {
    const std::vector<unsigned> waits = clock_.FinishedSleeps();
    return static_cast<size_t>(std::count(waits.begin(), waits.end(), 100u));
  };
  const size_t passesBefore = passes();
  for (int second = 1; second <= 3; ++second) {
    SetDay(clock_, 8, 10, 0, second);
    writer.AddLine("line " + std::to_string(second));
  }
  // Several passes that cannot open the file; the first may have begun before the lines.
  ASSERT_TRUE(clock_.WaitForFinishedSleeps(100, passesBefore + 4, kPatienceMs));
  EXPECT_EQ(writer.QueuedLines(), 3u);

  SetDay(clock_, 8, 11, 0, 0);  // the time of writing must not show
  lock.close();
  const std::string expected =
      "older line\r\n08-12-2026 10:00:01: line 1\r\n08-12-2026 10:00:02: line 2\r\n"
      "08-12-2026 10:00:03: line 3\r\n";
  EXPECT_EQ(WaitForLog(expected), expected);
}

TEST_F(LogWriterTest, AWriteThatFailsMidFlushPutsItsLineBackInFront) {
  // The disk refuses the second line (as a full volume would) until the test lets it through.
  std::atomic<bool> refuse{true};
  std::atomic<int> refusals{0};
  auto write = [&](HANDLE file, const std::string& bytes) {
    if (refuse && bytes.find("second") != std::string::npos) return ++refusals, false;
    DWORD n = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
           n == bytes.size();
  };
  TLogThread writer(folder_, clock_, write);
  for (const char* text : {"first", "second", "third"}) writer.AddLine(text);
  ASSERT_TRUE(test::WaitUntil([&] { return refusals >= 3; }, kPatienceMs));
  EXPECT_EQ(writer.QueuedLines(), 2u);
  EXPECT_EQ(LogText(), kStamp + "first\r\n");

  refuse = false;
  const std::string expected =
      kStamp + "first\r\n" + kStamp + "second\r\n" + kStamp + "third\r\n";
  EXPECT_EQ(WaitForLog(expected), expected);
}

TEST_F(LogWriterTest, APartWrittenLineIsCutBackBeforeItIsWrittenAgain) {
  // A disk that fills up halfway through the second line, then has room again.
  std::atomic<int> partWrites{0};
  auto write = [&](HANDLE file, const std::string& bytes) {
    const bool cut = bytes.find("second") != std::string::npos && partWrites == 0;
    const DWORD length = static_cast<DWORD>(cut ? bytes.size() / 2 : bytes.size());
    DWORD n = 0;
    const bool whole = WriteFile(file, bytes.data(), length, &n, nullptr) && n == bytes.size();
    if (cut) ++partWrites;
    return whole;
  };
  TLogThread writer(folder_, clock_, write);
  for (const char* text : {"first", "second", "third"}) writer.AddLine(text);
  const std::string expected =
      kStamp + "first\r\n" + kStamp + "second\r\n" + kStamp + "third\r\n";
  EXPECT_EQ(WaitForLog(expected), expected);
  EXPECT_EQ(partWrites, 1);
}

TEST_F(LogWriterTest, LogLineReachesTheGlobalWriterAndNothingIsWrittenAfterItStopped) {
  LogLine("no writer yet");
  auto writer = std::make_unique<TLogThread>(folder_, clock_);
  LogThread = writer.get();
  LogLine("via the global");
  const std::string expected = kStamp + "via the global\r\n";
  ASSERT_EQ(WaitForLog(expected), expected);

  writer->Terminate();
  writer->WaitFor();
  LogLine("after the stop");
  EXPECT_EQ(writer->QueuedLines(), 1u);
  LogThread = nullptr;
  writer.reset();
  EXPECT_EQ(LogText(), expected);
}

TEST_F(LogWriterTest, TheLinesQueuedWhenTheWriterIsToldToEndAreWrittenBeforeItEnds) {
  TLogThread writer(folder_, clock_);
  // The server's last line, queued right before its end: the end must not drop it, nor wait
  // out the writer's 100 ms pass for it.
  writer.AddLine("QuillmereServer# Stoped.");
  writer.Terminate();
  ASSERT_TRUE(writer.WaitFor(kPatienceMs));
  EXPECT_EQ(LogText(), kStamp + "QuillmereServer# Stoped.\r\n");
}

// ---- the hand-off between writers and the log thread ----

constexpr int kWaitsToWatch = 3;

// Stops one writer inside AddLine, between clearing and setting the ready flag, at the moment
// the log thread has written a line and still has another queued; then records how the log
// thread waits for that writer. Its two hooks go on the test clock.
class HandOff {
 public:
  explicit HandOff(test::FakeClock& clock) {
    clock.SetHooks([this] { OnNow(); }, [this](unsigned ms) { OnSleep(ms); });
  }

  void OnNow() {
    if (GetCurrentThreadId() == writer_.load()) {
      std::unique_lock<std::mutex> hold(lock_);
      writerInside_ = true;
      changed_.notify_all();
      changed_.wait_for(hold, std::chrono::milliseconds(kPatienceMs), [this] { return released_; });
    }
  }

  // Every wait on the clock is the log thread's; the clock waits for real after this.
  void OnSleep(unsigned ms) {
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
  const std::string folder = test::MakeScratchFolder("loghandoff");
  ASSERT_FALSE(folder.empty());
  test::FakeClock clock(46000.5, test::FakeClock::Waits::Real);
  HandOff handOff(clock);
  {
    TLogThread writer(folder, clock);
    writer.AddLine("one");
    writer.AddLine("two");
    handOff.LinesQueued();
    std::thread slow([&] {
      handOff.AwaitTurn();
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
  const std::vector<unsigned> waits = handOff.WaitsWhileHeld();
  ASSERT_EQ(waits.size(), static_cast<size_t>(kWaitsToWatch));
  for (unsigned ms : waits) EXPECT_GE(ms, 1u);
  test::RemoveTree(folder);
}

}  // namespace
}  // namespace qm
