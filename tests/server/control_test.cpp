#include "server/control.h"

#include "server/config.h"
#include "server/servform.h"
#include "server/syncthread.h"
#include "support/controlclient.h"
#include "support/formfixture.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::At;
using test::ControlClient;
using test::InProcessServer;
using test::ReadStatus;

TEST(CopyDataText, StopsAtTheFirstNulAndNeverPassesTheBlock) {
  COPYDATASTRUCT block{};
  char hello[5] = {'h', 'e', 'l', 'l', 'o'};
  block.lpData = hello;
  block.cbData = 5;
  EXPECT_EQ(CopyDataText(&block), "hello");

  char withNul[6] = {'a', 'b', 'c', '\0', 'd', 'e'};
  block.lpData = withNul;
  block.cbData = 6;
  EXPECT_EQ(CopyDataText(&block), "abc");

  block.cbData = 2;  // shorter than the text: the block's size wins
  EXPECT_EQ(CopyDataText(&block), "ab");

  block.cbData = 0;
  EXPECT_EQ(CopyDataText(&block), "");
  block.lpData = nullptr;
  block.cbData = 5;
  EXPECT_EQ(CopyDataText(&block), "");
  EXPECT_EQ(CopyDataText(nullptr), "");
}

TEST(CopyDataText, ReadsAMegabyteBlockWhole) {
  std::vector<char> big(1 << 20, 'x');
  COPYDATASTRUCT block{0, static_cast<DWORD>(big.size()), big.data()};
  EXPECT_EQ(CopyDataText(&block).size(), big.size());
  big[1000] = '\0';
  EXPECT_EQ(CopyDataText(&block), std::string(1000, 'x'));
}

TEST(CopyDataText, AUnterminatedTextAtTheEndOfItsPageDoesNotFault) {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  char* pages = static_cast<char*>(
      VirtualAlloc(nullptr, si.dwPageSize * 2, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
  char* text = pages + si.dwPageSize - 5;
  std::memcpy(text, "hello", 5);
  COPYDATASTRUCT block{0, 5, text};
  EXPECT_EQ(CopyDataText(&block), "hello");
  VirtualFree(pages, 0, MEM_RELEASE);
}

class ControlWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    form = &server.Create();
    control = form->FCtrlWnd();
    ASSERT_TRUE(IsWindow(control));
  }
  void TearDown() override {
    delete SyncThread;
    SyncThread = nullptr;
  }

  // The control window runs on this thread, so the command and its answer (sent to the
  // client's thread) are both complete when this returns.
  void Command(LPARAM code, HWND sender) {
    SendMessageA(control, WM_SYNCCONTROL, reinterpret_cast<WPARAM>(sender), code);
  }
  void Command(LPARAM code) { Command(code, client.hwnd()); }

  void ExpectOneAcknowledgement(LPARAM result) {
    const auto got = client.Messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, WM_SYNCCONTROL);
    EXPECT_EQ(got[0].wParam, reinterpret_cast<WPARAM>(control));
    EXPECT_EQ(got[0].lParam, result);
    client.Clear();
  }

  InProcessServer server;
  TfrQuillmereServ* form = nullptr;
  HWND control = nullptr;
  ControlClient client;
};

TEST_F(ControlWindow, StatusIsOneCopyDataRecordAndNothingElse) {
  Command(cmdStatus);
  auto got = client.Messages();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_COPYDATA));
  EXPECT_EQ(got[0].wParam, reinterpret_cast<WPARAM>(control));
  EXPECT_EQ(got[0].dwData, 1u);
  EXPECT_EQ(got[0].cbData, 16u);
  auto status = ReadStatus(got[0]);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->lastSync, NeverSyncDate);
  EXPECT_EQ(status->state, ssReady);
  EXPECT_TRUE(status->reservedZero);

  client.Clear();
  const DateTime last = At(2025, 3, 14, 9, 15, 2, 250);
  form->core.SetLastSync(last);
  form->core.FState = ssNoTarget;
  Command(cmdStatus);
  got = client.Messages();
  ASSERT_EQ(got.size(), 1u);
  status = ReadStatus(got[0]);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->lastSync, last);
  EXPECT_EQ(status->state, ssNoTarget);
}

TEST_F(ControlWindow, CodesOutsideTheTableChangeNothingAndGetNoAnswer) {
  form->core.FSilent = true;
  const ServerSettings before = form->core.Settings();
  for (LPARAM code : {LPARAM{0}, LPARAM{6}, LPARAM{9}, LPARAM{10}, LPARAM{-1}, LPARAM{-5},
                      LPARAM{0x10001}, static_cast<LPARAM>(0x7fffffff)})
    Command(code);
  EXPECT_EQ(client.Count(), 0u);
  EXPECT_FALSE(test::TakeQuitMessage());
  const ServerSettings after = form->core.Settings();
  EXPECT_EQ(after.NextSync, before.NextSync);
  EXPECT_EQ(after.LastSync, before.LastSync);
  EXPECT_EQ(form->core.FState.load(), ssReady);
  EXPECT_TRUE(form->core.FSilent.load());
}

TEST_F(ControlWindow, SyncNowMovesTheDueTimeToNow) {
  const DateTime now = At(2025, 3, 14, 10, 40, 1, 125);
  server.clock.SetNow(now);
  Command(cmdSyncNow);
  EXPECT_EQ(form->core.NextSync(), now);
  ExpectOneAcknowledgement(0);
}

TEST_F(ControlWindow, AFailingCommandIsAcknowledgedWithOne) {
  const DateTime due = form->core.NextSync();
  server.clock.FailNow = true;
  Command(cmdSyncNow);
  server.clock.FailNow = false;
  EXPECT_EQ(form->core.NextSync(), due);
  ExpectOneAcknowledgement(1);
}

TEST_F(ControlWindow, SuspendHoldsNestAndResumeReleasesOneAtATime) {
  SyncThread = new TSyncThread(form->Engine(), /*start=*/false);
  Command(cmdSuspend);
  ExpectOneAcknowledgement(0);
  Command(cmdSuspend);
  ExpectOneAcknowledgement(0);
  EXPECT_EQ(SyncThread->HoldCount(), 2u);
  EXPECT_EQ(form->core.FState.load(), ssStopped);

  Command(cmdResume);
  ExpectOneAcknowledgement(0);
  EXPECT_EQ(SyncThread->HoldCount(), 1u);
  EXPECT_EQ(form->core.FState.load(), ssStopped) << "the state waits for the thread's next tick";
  Command(cmdResume);
  ExpectOneAcknowledgement(0);
  EXPECT_EQ(SyncThread->HoldCount(), 0u);
  Command(cmdResume);  // without a hold: nothing, still acknowledged
  ExpectOneAcknowledgement(0);
  EXPECT_EQ(SyncThread->HoldCount(), 0u);
}

TEST_F(ControlWindow, ReloadReadsTheFileTheFrontEndWrote) {
  ASSERT_EQ(form->core.TagCount(), 0u);
  ASSERT_TRUE(test::WriteFileBytes(server.folder + "conf.xml", test::ConfigurationText(60000, true, 3)));
  Command(cmdReload);
  EXPECT_EQ(form->core.TagCount(), 3u);
  EXPECT_EQ(form->agsquantity1Text, "Tags quantity: 3");
  EXPECT_TRUE(form->core.FSilent.load());
  EXPECT_EQ(form->core.SyncPeriod(), MsToPeriod(60000));
  ExpectOneAcknowledgement(0);
}

TEST_F(ControlWindow, GuiStartedClearsTheSilentFlagAndSavesIt) {
  // The front end wrote its tags since the server's last save and ended before its reload
  // notice; started again, it announces itself: its tags must stay, the flag must clear.
  ASSERT_TRUE(test::WriteFileBytes(server.folder + "conf.xml", test::ConfigurationText(60000, true, 3)));
  form->core.FSilent = true;
  Command(cmdGuiStarted);
  EXPECT_FALSE(form->core.FSilent.load());
  const std::string saved = test::ReadFileOrEmpty(server.folder + "conf.xml");
  EXPECT_NE(saved.find(" <silentflag>0</silentflag> "), std::string::npos) << saved;
  EXPECT_NE(saved.find("<caption>f2.txt</caption>"), std::string::npos) << saved;
  EXPECT_EQ(form->agsquantity1Text, "Tags quantity: 3");
  ExpectOneAcknowledgement(0);
}

TEST_F(ControlWindow, ReloadAndGuiStartedAreAcknowledgedEvenWhenTheFileIsUnusable) {
  ASSERT_TRUE(test::WriteFileBytes(server.folder + "conf.xml", "<configuration><unclosed>"));
  Command(cmdReload);
  ExpectOneAcknowledgement(0);
  EXPECT_EQ(form->agsquantity1Text, "Tags quantity: 0");
  test::RemoveTree(server.folder);  // the save has nowhere to go
  Command(cmdGuiStarted);
  ExpectOneAcknowledgement(0);
}

TEST_F(ControlWindow, StopEndsTheMessageLoopWithoutAnAnswer) {
  test::TakeQuitMessage();
  Command(cmdStop);
  EXPECT_TRUE(test::TakeQuitMessage());
  EXPECT_EQ(client.Count(), 0u);
  EXPECT_TRUE(IsWindow(control)) << "the windows go in FormDestroy, after the loop";
}

TEST_F(ControlWindow, ASenderThatIsNoWindowStillHasItsCommandCarriedOut) {
  const DateTime now = At(2025, 3, 14, 11, 0, 0);
  server.clock.SetNow(now);
  Command(cmdSyncNow, reinterpret_cast<HWND>(static_cast<uintptr_t>(0x12345678)));
  EXPECT_EQ(form->core.NextSync(), now);
  Command(cmdStatus, HWND_BROADCAST);  // must not go to every top-level window
  Command(cmdStatus, nullptr);
  EXPECT_EQ(client.Count(), 0u);
}

TEST_F(ControlWindow, AnswersAreNeverSentToTheControlWindowItself) {
  SyncThread = new TSyncThread(form->Engine(), false);
  // A failure answer (1) to itself would read as cmdSuspend, a status as a log text.
  server.clock.FailNow = true;
  Command(cmdSyncNow, control);
  server.clock.FailNow = false;
  Command(cmdStatus, control);
  EXPECT_EQ(SyncThread->HoldCount(), 0u);
  EXPECT_EQ(form->core.FState.load(), ssReady);
}

TEST_F(ControlWindow, ABlockedClientCostsOneTimeoutAndIsAnsweredAgainOnceItPumps) {
  ControlClient blocked;
  blocked.Block();
  Command(cmdStatus, blocked.hwnd());  // waits out the timeout
  EXPECT_TRUE(AnswerChannel::Stalled(blocked.hwnd()));
  Command(cmdStatus, blocked.hwnd());  // dropped at once
  Command(cmdStatus);
  EXPECT_EQ(client.Count(), 1u) << "others are still answered";

  blocked.Unblock();
  // The client serves the probe; its callback arrives through this thread's queue.
  const ULONGLONG end = GetTickCount64() + 30000;
  while (AnswerChannel::Stalled(blocked.hwnd()) && GetTickCount64() < end) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  ASSERT_FALSE(AnswerChannel::Stalled(blocked.hwnd()));
  const size_t lateAnswers = blocked.Count();
  EXPECT_LE(lateAnswers, 1u) << "the answer dropped while stalled must not arrive";
  Command(cmdStatus, blocked.hwnd());
  EXPECT_TRUE(blocked.WaitForCount(lateAnswers + 1, 10000));
}

}  // namespace
}  // namespace qm
