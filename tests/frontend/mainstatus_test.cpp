// The main window's status poll and its handling of the server's answers, on a fake clock: the
// silence rule, the registry read on silent ticks, status replies of every kind, and when
// "Start Sync Process" starts a server.
#include "frontend/mainform.h"

#include "frontend/screentext.h"
#include "support/frontform.h"
#include "support/serverprocess.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace qm {
namespace {

using test::FakeServerWindow;
using test::FrontForm;
using test::PumpMessages;

constexpr char kConf[] =
    "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
    " <lastsyncdate>01-01-2004</lastsyncdate>\r\n <syncperiod>3600000</syncperiod>\r\n"
    " <targetdrive>C:\\Backup\\</targetdrive>\r\n <tagslist>\r\n"
    "  <item><caption>a.txt</caption><path>C:\\Docs\\</path><lastsync>01-01-2004</lastsync>"
    "<size>1</size><ftype>0</ftype></item>\r\n </tagslist>\r\n</configuration>\r\n";

class StatusClient : public ::testing::Test {
 protected:
  void SetUp() override {
    fx.WriteConf(kConf);
    fx.Create();
    ASSERT_NE(form().hwnd(), nullptr);
  }
  TfrMain& form() { return *fx.form; }

  // The six server controls, and the two tag buttons.
  void ExpectServerControls(bool enabled) {
    EXPECT_EQ(fx.MenuEnabled(idSyncNow1), enabled);
    EXPECT_EQ(fx.MenuEnabled(idStartSyncProcess1), enabled);
    EXPECT_EQ(fx.MenuEnabled(idStopSyncProcess1), enabled);
    EXPECT_EQ(IsWindowEnabled(form().btScanSet) != FALSE, enabled);
    EXPECT_EQ(IsWindowEnabled(form().btTargetSet) != FALSE, enabled);
    EXPECT_EQ(IsWindowEnabled(form().lvTagged) != FALSE, enabled);
  }
  void EnableTagButtons() {
    EnableWindow(form().btTag, TRUE);
    EnableWindow(form().btUnTag, TRUE);
  }

  FrontForm fx;
  FakeServerWindow server;
};

TEST_F(StatusClient, SilenceIsMoreThanFiveSecondsOfClockTimeAndRereadsTheRegistry) {
  const std::string otherFolder = "C:\\Elsewhere\\";
  form().FLastHeard = fx.clock.Now();
  TfrMain::SetTextOf(form().lbStatus, "Running");
  form().EnableServerControls(false);
  fx.Publish(server.hwnd(), otherFolder);

  fx.clock.Advance(4.9 * kOneSecond);
  form().tmrCheckStatusTimer();
  PumpMessages();
  EXPECT_EQ(fx.Text(form().lbStatus), "Running");
  EXPECT_EQ(form().FServerWnd, nullptr) << "a tick within the limit reads no registry";
  EXPECT_TRUE(server.commands.empty());
  ExpectServerControls(false);

  fx.clock.Advance(0.2 * kOneSecond);
  const DateTime silentAt = fx.clock.Now();
  form().tmrCheckStatusTimer();
  PumpMessages();
  EXPECT_EQ(fx.Text(form().lbStatus), "Stopped");
  ExpectServerControls(true);
  EXPECT_EQ(form().FServerWnd, server.hwnd());
  EXPECT_EQ(form().FConfPath, otherFolder + "conf.xml");
  EXPECT_NEAR(form().FLastHeard, silentAt - 5 * kOneSecond, 1e-9);
  ASSERT_EQ(server.commands.size(), 1u) << "the silent tick's request reaches the new window";
  EXPECT_EQ(server.commands[0].code, cmdStatus);
  EXPECT_EQ(server.commands[0].sender, form().hwnd());

  // Still silent a second later: the registry is read again, and a restarted server is found.
  FakeServerWindow restarted;
  fx.Publish(restarted.hwnd(), otherFolder);
  fx.clock.Advance(1 * kOneSecond);
  form().tmrCheckStatusTimer();
  PumpMessages();
  EXPECT_EQ(form().FServerWnd, restarted.hwnd());
  EXPECT_EQ(restarted.Codes(), std::vector<LPARAM>{cmdStatus});
}

TEST_F(StatusClient, EveryTickOfAHeardServerAsksForTheStatusOnly) {
  form().FServerWnd = server.hwnd();
  form().FLastHeard = fx.clock.Now();
  TfrMain::SetTextOf(form().lbStatus, "No target");
  for (int i = 0; i < 3; ++i) {
    fx.clock.Advance(1 * kOneSecond);
    form().tmrCheckStatusTimer();
    form().ReciveMsg(server.hwnd(), 0);  // heard again each second
  }
  PumpMessages();
  EXPECT_EQ(server.Codes(), (std::vector<LPARAM>{cmdStatus, cmdStatus, cmdStatus}));
  EXPECT_EQ(fx.Text(form().lbStatus), "No target");
}

TEST_F(StatusClient, FirstTickAfterStartFindsTheServerSilent) {
  EXPECT_EQ(fx.Text(form().lbStatus), "");
  form().tmrCheckStatusTimer();
  EXPECT_EQ(fx.Text(form().lbStatus), "Stopped");
  EXPECT_EQ(form().FServerWnd, nullptr) << "no key of the test's own yet";
}

TEST_F(StatusClient, AcknowledgementCountsAsHeardAndChangesNothingShown) {
  form().FLastHeard = 0;
  TfrMain::SetTextOf(form().lbStatus, "Stopped");
  fx.clock.Advance(3 * kOneSecond);
  SendMessageA(form().hwnd(), WM_SYNCCONTROL, reinterpret_cast<WPARAM>(server.hwnd()), 1);
  EXPECT_DOUBLE_EQ(form().FLastHeard, fx.clock.Now());
  EXPECT_EQ(fx.Text(form().lbStatus), "Stopped");
}

TEST_F(StatusClient, SynchronisingDisablesTheServerControlsAndTheTagButtons) {
  EnableTagButtons();
  const DateTime lastSync = test::At(2025, 1, 5, 14, 3, 0);
  fx.SendStatus(lastSync, ssSync);
  EXPECT_EQ(fx.Text(form().lbStatus), "Synchronising");
  EXPECT_EQ(fx.Text(form().lbLastScan), LastSyncText(lastSync));
  ExpectServerControls(false);
  EXPECT_FALSE(IsWindowEnabled(form().btTag));
  EXPECT_FALSE(IsWindowEnabled(form().btUnTag));
  EXPECT_DOUBLE_EQ(form().FLastHeard, fx.clock.Now());
  EXPECT_DOUBLE_EQ(form().FLastSync, lastSync);
  EXPECT_EQ(form().FServerState, ssSync);

  // After the run: the six come back; the tag buttons wait for the user.
  fx.SendStatus(lastSync, ssReady);
  EXPECT_EQ(fx.Text(form().lbStatus), "Running");
  ExpectServerControls(true);
  EXPECT_FALSE(IsWindowEnabled(form().btTag));
  EXPECT_FALSE(IsWindowEnabled(form().btUnTag));
}

TEST_F(StatusClient, EachStateShowsItsTextAndAnUnknownStateShowsStopped) {
  const struct {
    uint8_t state;
    const char* text;
  } cases[] = {{0, "Running"}, {1, "Stopped"}, {2, "No target"}, {3, "Synchronising"},
               {4, "Stopped"}, {5, "Stopped"},  {255, "Stopped"}};
  for (const auto& c : cases) {
    fx.SendStatus(NeverSyncDate, c.state);
    EXPECT_EQ(fx.Text(form().lbStatus), c.text) << int(c.state);
    EXPECT_EQ(fx.Text(form().lbLastScan), "Never");
    EXPECT_EQ(IsWindowEnabled(form().btScanSet) != FALSE, c.state != ssSync) << int(c.state);
  }
}

TEST_F(StatusClient, TheSixteenBytesAreKeptInWireOrder) {
  unsigned char bytes[16];
  const DateTime lastSync = test::At(2024, 6, 1, 8, 0, 0);
  std::memcpy(bytes, &lastSync, 8);
  const unsigned char rest[8] = {2, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
  std::memcpy(bytes + 8, rest, 8);
  fx.SendStatus(bytes, sizeof bytes);
  EXPECT_EQ(form().FServerState, 0x33221102);
  EXPECT_EQ(form().FServerSpare, 0x77665544);
  EXPECT_EQ(fx.Text(form().lbStatus), "No target") << "the low byte is the state";
}

TEST_F(StatusClient, ABlockThatIsNoStatusCountsAsHeardOnly) {
  TfrMain::SetTextOf(form().lbStatus, "Running");
  TfrMain::SetTextOf(form().lbLastScan, "01-Feb-2020 10:00");
  form().FServerState = ssReady;
  const TServerStatus nan = EncodeServerStatus(std::numeric_limits<double>::quiet_NaN(), ssSync);
  const TServerStatus infinite = EncodeServerStatus(std::numeric_limits<double>::infinity(), ssSync);
  const TServerStatus good = EncodeServerStatus(NeverSyncDate, ssSync);
  const struct {
    const char* what;
    const void* data;
    DWORD size;
  } cases[] = {{"15 bytes", &good, 15}, {"no data", nullptr, 16}, {"empty", &good, 0},
               {"NaN", &nan, 16},       {"infinity", &infinite, 16}};
  for (const auto& c : cases) {
    fx.clock.Advance(1 * kOneSecond);
    fx.SendStatus(c.data, c.size);
    EXPECT_DOUBLE_EQ(form().FLastHeard, fx.clock.Now()) << c.what;
    EXPECT_EQ(fx.Text(form().lbStatus), "Running") << c.what;
    EXPECT_EQ(fx.Text(form().lbLastScan), "01-Feb-2020 10:00") << c.what;
    EXPECT_EQ(form().FServerState, ssReady) << c.what;
    ExpectServerControls(true);
  }
}

TEST_F(StatusClient, AReplySetsTheDocumentsLastSyncInMemoryOnly) {
  const std::string before = test::ReadFileOrEmpty(fx.ConfPath());
  const DateTime lastSync = test::At(2025, 2, 3, 4, 5, 6);
  fx.SendStatus(lastSync, ssReady);
  EXPECT_EQ(form().ConfXML.Root().ChildByName("lastsyncdate").Text(), DateTimeToText(lastSync));
  EXPECT_EQ(test::ReadFileOrEmpty(fx.ConfPath()), before);
}

TEST_F(StatusClient, AReplyWhileTheDocumentIsNotLoadedChangesNoLabelOrControl) {
  TfrMain::SetTextOf(form().lbStatus, "Running");
  TfrMain::SetTextOf(form().lbLastScan, "Never");
  form().ConfXML.Deactivate();
  const DateTime lastSync = test::At(2025, 1, 5, 14, 3, 0);
  fx.clock.Advance(2 * kOneSecond);
  fx.SendStatus(lastSync, ssSync);
  EXPECT_DOUBLE_EQ(form().FLastHeard, fx.clock.Now());
  EXPECT_DOUBLE_EQ(form().FLastSync, lastSync);
  EXPECT_EQ(form().FServerState, ssSync);
  EXPECT_EQ(fx.Text(form().lbStatus), "Running");
  EXPECT_EQ(fx.Text(form().lbLastScan), "Never");
  ExpectServerControls(true);
}

TEST_F(StatusClient, MenuCommandsAndTheStartNoticeArePostedToTheServer) {
  form().FServerWnd = server.hwnd();
  form().SyncNow1Click();
  form().StopSyncProcess1Click();
  form().tmrStart->SetEnabled(true);
  form().tmrStartTimer();
  EXPECT_FALSE(form().tmrStart->Enabled());
  PumpMessages();
  EXPECT_EQ(server.Codes(), (std::vector<LPARAM>{cmdSyncNow, cmdStop, cmdGuiStarted}));
  for (const auto& c : server.commands) EXPECT_EQ(c.sender, form().hwnd());
}

TEST_F(StatusClient, StartWaitsUntilTheProcessOfTheServerLastHeardHasEnded) {
  SendMessageA(form().hwnd(), WM_SYNCCONTROL, reinterpret_cast<WPARAM>(server.hwnd()), 0);
  EXPECT_EQ(GetProcessId(form().FServerProcess.get()), GetCurrentProcessId());
  // In its place, a process that ends when the test says: a stopped server still finishing.
  test::ServerProcess finishing;
  ASSERT_TRUE(finishing.Start(test::BinDir() + "qm_instance_helper.exe", "wait 120"));
  form().FServerProcess.reset(OpenProcess(SYNCHRONIZE, FALSE, finishing.Pid()));
  fx.clock.Advance(6 * kOneSecond);
  form().tmrCheckStatusTimer();
  ASSERT_EQ(fx.Text(form().lbStatus), "Stopped");

  form().StartSyncProcess1Click();
  form().tmrCheckStatusTimer();
  EXPECT_TRUE(fx.serverStarts.empty()) << "a second server would offer to end the first";
  finishing.Kill();
  form().tmrCheckStatusTimer();
  form().tmrCheckStatusTimer();
  EXPECT_EQ(fx.serverStarts, std::vector<std::string>{fx.ConfPath()});
  EXPECT_EQ(fx.Text(form().lbStatus), "Stopped");
}

// After "Stop Sync Process" the window reads "Stopped" while the old process may still finish
// its run, and a user who sees nothing happen presses again and again. All of it makes one start,
// and no more while the new server has not answered yet: each further one would ask whether to
// end the servers before it.
TEST_F(StatusClient, PressesWhileTheOldServerEndsAndTheNewOneStartsMakeOneStart) {
  const std::string helper = test::BinDir() + "qm_instance_helper.exe";
  SendMessageA(form().hwnd(), WM_SYNCCONTROL, reinterpret_cast<WPARAM>(server.hwnd()), 0);
  test::ServerProcess finishing;
  ASSERT_TRUE(finishing.Start(helper, "wait 120"));
  form().FServerProcess.reset(OpenProcess(SYNCHRONIZE, FALSE, finishing.Pid()));
  // Each start stands a process in for the new server; it answers nothing.
  std::vector<std::unique_ptr<test::ServerProcess>> started;
  fx.startedProcess = [&] {
    started.push_back(std::make_unique<test::ServerProcess>());
    if (!started.back()->Start(helper, "wait 120")) return UniqueKernelHandle();
    return UniqueKernelHandle(OpenProcess(SYNCHRONIZE, FALSE, started.back()->Pid()));
  };
  const auto pressesThenATick = [&](int presses) {
    for (int i = 0; i < presses; ++i) form().StartSyncProcess1Click();
    fx.clock.Advance(1 * kOneSecond);
    form().tmrCheckStatusTimer();
  };
  fx.clock.Advance(5 * kOneSecond);
  pressesThenATick(0);
  ASSERT_EQ(fx.Text(form().lbStatus), "Stopped");

  for (int second = 0; second < 3; ++second) pressesThenATick(3);
  EXPECT_TRUE(fx.serverStarts.empty()) << "the old server still runs";
  finishing.Kill();
  for (int i = 0; i < 3; ++i) form().StartSyncProcess1Click();
  EXPECT_TRUE(fx.serverStarts.empty()) << "the start waits for the tick";
  pressesThenATick(0);
  EXPECT_EQ(fx.serverStarts.size(), 1u) << "one start for every press while it ran";
  for (int second = 0; second < 3; ++second) pressesThenATick(3);
  EXPECT_EQ(fx.serverStarts.size(), 1u) << "the new server has not answered yet";
  EXPECT_EQ(fx.Text(form().lbStatus), "Stopped");

  // Its user answered No to its question: it ended without a word, and a press starts again.
  ASSERT_EQ(started.size(), 1u);
  started[0]->Kill();
  form().StartSyncProcess1Click();
  EXPECT_EQ(fx.serverStarts.size(), 2u);
}

}  // namespace
}  // namespace qm
