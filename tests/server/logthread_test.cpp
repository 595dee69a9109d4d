#include "server/logthread.h"

#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace qm {
namespace {

// A clock whose time the test sets line by line; its waits are real, so the writer keeps its
// 100 ms rhythm.
class SetClock final : public Clock {
 public:
  void Set(int day, int hour, int minute, int second) {
    DateTimeParts p;
    p.year = 2026, p.month = 12, p.day = day, p.hour = hour, p.minute = minute, p.second = second;
    now_ = EncodeDateTime(p);
  }
  DateTime Now() override { return now_.load(); }
  void Sleep(unsigned ms) override { ::Sleep(ms); }

 private:
  std::atomic<double> now_{0};
};

constexpr unsigned kPatienceMs = 30000;
const std::string kStamp = "08-12-2026 07:31:35: ";

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeScratchFolder("log");
    clock_.Set(8, 7, 31, 35);
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
  SetClock clock_;
};

TEST_F(LogWriterTest, FirstStartCreatesTheLogARestartAppendsAndTextsGoInUnchanged) {
  std::string expected = kStamp + "QuillmereServer# Started.\r\n" + kStamp + "\r\n";
  {
    TLogThread writer(folder_, clock_);
    EXPECT_EQ(writer.FileName(), LogPath());
    writer.AddLine("QuillmereServer# Started.");
    writer.AddLine("");
    ASSERT_EQ(WaitForLog(expected), expected);
  }
  clock_.Set(9, 0, 0, 0);  // midnight: the stamp is the date alone
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
  for (int second = 1; second <= 3; ++second) {
    clock_.Set(8, 10, 0, second);
    writer.AddLine("line " + std::to_string(second));
  }
  Sleep(700);  // several passes that cannot open the file
  EXPECT_EQ(writer.QueuedLines(), 3u);

  clock_.Set(8, 11, 0, 0);  // the time of writing must not show
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

}  // namespace
}  // namespace qm
