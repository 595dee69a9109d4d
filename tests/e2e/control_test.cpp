// The control protocol against the built server under Wine, with a client that has a real
// window, as the configuration program does.
#include "tools/protocol.h"
#include "support/controlclient.h"
#include "server/trayicons.h"
#include "support/serverprocess.h"
#include "support/syncscene.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <string>
#include <vector>

namespace qm {
namespace {

using test::ControlClient;
using test::LogText;
using test::ReadStatus;
using test::WaitUntil;

constexpr unsigned kAnswerMs = 15000;

class Control : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Start()); }

  // The answer to one cmdStatus from client; nullopt when none came.
  std::optional<test::StatusAnswer> AskStatus(ControlClient& c) {
    c.Clear();
    if (!c.Post(server.control, cmdStatus) || !c.WaitForCount(1, kAnswerMs)) return std::nullopt;
    return ReadStatus(c.Messages()[0]);
  }

  // Every log text from the line whose text is first on, up to and including last.
  std::vector<std::string> LogTextsBetween(const std::string& first, const std::string& last) {
    const auto lines = test::WaitForLogText(server.LogPath(), last, kAnswerMs);
    std::vector<std::string> texts;
    bool inside = false;
    for (const std::string& line : lines) {
      const std::string text = LogText(line);
      if (text == first) inside = true;
      if (inside) texts.push_back(text);
      if (inside && text == last) break;
    }
    return texts;
  }

  test::ScratchServer server{"control"};
  ControlClient client;
};

TEST_F(Control, StatusOfAFreshServerIsNeverSyncedAndReady) {
  ASSERT_TRUE(client.Post(server.control, cmdStatus));
  ASSERT_TRUE(client.WaitForCount(1, kAnswerMs));
  // A later answer proves that nothing else followed the first.
  ASSERT_TRUE(client.Post(server.control, cmdStatus));
  ASSERT_TRUE(client.WaitForCount(2, kAnswerMs));
  const auto got = client.Messages();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_COPYDATA));
  EXPECT_EQ(got[0].wParam, reinterpret_cast<WPARAM>(server.control));
  EXPECT_EQ(got[0].dwData, 1u);
  EXPECT_EQ(got[0].cbData, 16u);
  const auto status = ReadStatus(got[0]);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->lastSync, NeverSyncDate);
  EXPECT_EQ(status->state, ssReady);
  EXPECT_TRUE(status->reservedZero);
  EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_COPYDATA));
}

TEST_F(Control, CodesOutsideTheTableGetNoAnswer) {
  for (LPARAM code : {LPARAM{0}, LPARAM{6}, LPARAM{9}, LPARAM{-1}})
    ASSERT_TRUE(client.Post(server.control, code));
  // Posted messages are served in order: once this answer is here, the others were handled.
  ASSERT_TRUE(client.Post(server.control, cmdStatus));
  ASSERT_TRUE(client.WaitForCount(1, kAnswerMs));
  const auto got = client.Messages();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_COPYDATA));
}

TEST_F(Control, SuspendHoldsNestAndTheStateFollowsAgainAfterTheLastResume) {
  for (LPARAM code : {cmdSuspend, cmdSuspend, cmdResume}) {
    client.Clear();
    ASSERT_TRUE(client.Post(server.control, code));
    ASSERT_TRUE(client.WaitForCount(1, kAnswerMs));
    EXPECT_EQ(client.Messages()[0].lParam, 0);
  }
  // That the thread stays parked while one hold remains is shown in-process, where the release
  // can be watched; from outside, the state must still be the hold's.
  auto status = AskStatus(client);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->state, ssStopped);

  client.Clear();
  ASSERT_TRUE(client.Post(server.control, cmdResume));
  ASSERT_TRUE(client.WaitForCount(1, kAnswerMs));
  uint8_t state = ssStopped;
  WaitUntil(
      [&] {
        const auto s = AskStatus(client);
        if (s) state = s->state;
        return state != ssStopped;
      },
      10000);
  EXPECT_EQ(state, ssReady);
}

TEST_F(Control, SyncNowReloadAndGuiStartedAreAcknowledgedWithZero) {
  for (LPARAM code : {cmdSyncNow, cmdReload, cmdGuiStarted}) {
    client.Clear();
    ASSERT_TRUE(client.Post(server.control, code));
    ASSERT_TRUE(client.WaitForCount(1, kAnswerMs)) << "code " << code;
    const auto got = client.Messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, WM_SYNCCONTROL);
    EXPECT_EQ(got[0].wParam, reinterpret_cast<WPARAM>(server.control));
    EXPECT_EQ(got[0].lParam, 0) << "code " << code;
  }
}

TEST_F(Control, CopyDataTextsAreLoggedUpToTheirFirstNulWithoutPrefix) {
  const std::string first = "first marker " + std::to_string(GetCurrentProcessId());
  const char withNul[] = {'a', 'b', 'c', '\0', 'x', 'y'};
  auto send = [&](const void* data, DWORD size) {
    return test::SendCopyData(server.control, client.hwnd(), data, size);
  };
  ASSERT_TRUE(send(first.data(), static_cast<DWORD>(first.size())));
  ASSERT_TRUE(send("hello", 5));
  ASSERT_TRUE(send("between", 7));
  ASSERT_TRUE(send(withNul, sizeof withNul));
  ASSERT_TRUE(send("then", 4));
  ASSERT_TRUE(send("", 0));
  ASSERT_TRUE(send("last", 4));
  EXPECT_EQ(LogTextsBetween(first, "last"),
            (std::vector<std::string>{first, "hello", "between", "abc", "then", "", "last"}));
  EXPECT_EQ(client.Count(), 0u) << "log texts get no answer";
}

TEST_F(Control, StopGetsNoAnswerEndsInOrderAndLeavesTheHandle) {
  ASSERT_TRUE(client.Post(server.control, cmdStop));
  ASSERT_TRUE(server.process.WaitForExit(30000));
  EXPECT_EQ(client.Count(), 0u);
  const auto lines = test::ReadLines(server.LogPath());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(LogText(lines.back()), "QuillmereServer# Stoped.");
  EXPECT_EQ(test::ReadServerHandle().value_or(0),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(server.control)));
}

TEST_F(Control, AServerHeldBySuspendStillStopsInOrder) {
  for (LPARAM code : {cmdSuspend, cmdSuspend}) {
    client.Clear();
    ASSERT_TRUE(client.Post(server.control, code));
    ASSERT_TRUE(client.WaitForCount(1, kAnswerMs));
  }
  ASSERT_TRUE(client.Post(server.control, cmdStop));
  ASSERT_TRUE(server.process.WaitForExit(30000));
  const auto lines = test::ReadLines(server.LogPath());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(LogText(lines.back()), "QuillmereServer# Stoped.");
}

TEST_F(Control, AClientThatDoesNotPumpDoesNotStopAnswersToOthers) {
  ControlClient stuck;
  stuck.Block();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(stuck.Post(server.control, cmdStatus));
  ASSERT_TRUE(stuck.Post(server.control, cmdSyncNow));
  EXPECT_TRUE(AskStatus(client).has_value());

  stuck.Unblock();
  // Answered again once it pumps; the server learns that with a short delay.
  bool answered = WaitUntil(
      [&] {
        stuck.Clear();
        return stuck.Post(server.control, cmdStatus) && stuck.WaitForCount(1, 500);
      },
      kAnswerMs);
  EXPECT_TRUE(answered);
}

TEST_F(Control, HostileInputDoesNotBringTheServerDown) {
  const WPARAM notWindows[] = {0, 0x12345678, reinterpret_cast<WPARAM>(HWND_BROADCAST)};
  for (WPARAM sender : notWindows)
    for (LPARAM code : {LPARAM{cmdStatus}, LPARAM{cmdSyncNow}, LPARAM{cmdReload}, LPARAM{77}})
      ASSERT_TRUE(PostMessageA(server.control, WM_SYNCCONTROL, sender, code));
  const std::string big(1 << 20, 'q');
  ASSERT_TRUE(test::SendCopyData(server.control, nullptr, big.data(), static_cast<DWORD>(big.size())));
  ASSERT_TRUE(test::SendCopyData(server.control, nullptr, nullptr, 0, 0xdeadbeef));
  ASSERT_TRUE(test::SendCopyData(server.control, nullptr, "after", 5));

  const auto lines = test::WaitForLogText(server.LogPath(), "after", kAnswerMs);
  bool bigLogged = false;
  for (const std::string& line : lines)
    if (LogText(line) == big) bigLogged = true;
  EXPECT_TRUE(bigLogged);
  EXPECT_TRUE(AskStatus(client).has_value());
  EXPECT_TRUE(server.process.Running());
}

// Committed private memory; Wine leaves PrivateUsage at 0 but fills PagefileUsage, which
// Windows reports as the same figure.
size_t PrivateBytes(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
  return counters.PagefileUsage;
}

TEST_F(Control, ABurstOfStatusRequestsIsAnsweredWithoutFallingBehind) {
  ASSERT_TRUE(AskStatus(client).has_value());
  const size_t memoryBefore = PrivateBytes(server.process.Handle());
  client.Clear();
  size_t posted = 0;
  for (int i = 0; i < 10000; ++i)
    if (client.Post(server.control, cmdStatus)) ++posted;
  ASSERT_GT(posted, 1000u) << "the platform refused most posts";
  EXPECT_TRUE(client.WaitForCount(posted, 180000)) << client.Count() << " of " << posted;
  const size_t answers = client.Count();
  EXPECT_EQ(answers, posted);

  // Nothing of the burst is left over: the next request is the next answer.
  EXPECT_TRUE(AskStatus(client).has_value());
  const size_t memoryAfter = PrivateBytes(server.process.Handle());
  ASSERT_NE(memoryBefore, 0u);
  EXPECT_LT(memoryAfter, memoryBefore + 8 * 1024 * 1024) << "the server grew during the burst";
}

TEST_F(Control, AnotherProgramsCloseLeavesTheControlAndTrayWindowsServing) {
  const HWND tray =
      test::WaitForProcessWindowOfClass(server.process.Pid(), kTrayWindowClass, kAnswerMs);
  ASSERT_NE(tray, nullptr);
  ASSERT_TRUE(PostMessageA(server.control, WM_CLOSE, 0, 0));
  ASSERT_TRUE(PostMessageA(tray, WM_CLOSE, 0, 0));
  // Both windows belong to the server's main thread, which serves posted messages in order:
  // this answer comes after both closes were handled.
  const auto status = AskStatus(client);
  ASSERT_TRUE(status.has_value()) << "the control window no longer answers";
  EXPECT_TRUE(IsWindow(server.control));
  EXPECT_TRUE(IsWindow(tray));
  EXPECT_TRUE(server.process.Running());
  EXPECT_EQ(test::Acknowledge(client, server.control, cmdReload), LPARAM{0});
}

}  // namespace
}  // namespace qm
