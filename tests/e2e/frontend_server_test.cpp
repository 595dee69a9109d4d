// The built Quillmere.exe against the built QuillmereServ.exe, both installed in one folder
// whose path holds a blank: the status poll, "Sync Now", "Stop Sync Process" and
// "Start Sync Process", also pressed again and again.
#include "frontend/mainform.h"

#include "support/frontprocess.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

using test::FrontProcess;
using test::ServerProcess;
using test::WaitUntil;

constexpr unsigned kStartMs = 30000;
constexpr unsigned kEndMs = 30000;
// The server checks whether a run is due every 21 seconds; the run itself is short here.
constexpr unsigned kRunMs = 60000;

std::vector<DWORD> ServerProcessIds() { return test::ProcessIdsByImage("QuillmereServ.exe"); }

std::string ImagePath(DWORD pid) {
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  char path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!process || !QueryFullProcessImageNameA(process.get(), 0, path, &size)) return {};
  return std::string(path, size);
}

void Terminate(DWORD pid) {
  UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  if (!process) return;
  TerminateProcess(process.get(), 1);
  WaitForSingleObject(process.get(), 5000);
}

class FrontAndServer : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = test::MakeScratchFolder("front end");
    ASSERT_NE(folder.find(' '), std::string::npos);
    serverExe = test::InstallServerCopy(folder);  // also removes the registry key
    frontExe = test::InstallFrontCopy(folder);
    CreateDirectoryA((folder + "target").c_str(), nullptr);
    ASSERT_TRUE(test::WriteFileBytes(folder + "conf.xml",
                                     test::FrontConfText(folder + "target\\", "01-01-2004",
                                                         3600000)));
  }
  void TearDown() override {
    front.process.Kill();
    server.Kill();
    for (DWORD pid : ServerProcessIds()) Terminate(pid);  // one that the front end started
    test::DeleteServerKey();
    test::RemoveTree(folder);
  }

  void StartServer() {
    ASSERT_TRUE(server.Start(serverExe));
    ASSERT_NE(server.WaitForControlWindow(kStartMs), nullptr);
  }
  void StartFront() {
    ASSERT_TRUE(front.Start(frontExe));
    ASSERT_NE(front.WaitForMainWindow(kStartMs), nullptr);
  }
  std::string Status() const { return front.ControlText(idLbStatus); }
  bool WaitForStatus(const std::string& text, unsigned timeoutMs) const {
    return front.WaitForControlText(idLbStatus, text, timeoutMs);
  }
  // The window controls that follow the server's state (the menu items belong to another
  // process's menu and are not read here).
  void ExpectServerControls(bool enabled) const {
    EXPECT_EQ(front.ControlEnabled(idScanSet), enabled);
    EXPECT_EQ(front.ControlEnabled(idTargetSet), enabled);
    EXPECT_EQ(front.ControlEnabled(idTagged), enabled);
  }

  std::string folder, serverExe, frontExe;
  ServerProcess server;
  FrontProcess front;
};

TEST_F(FrontAndServer, StoppedUntilAServerAnswersThenTheServersState) {
  StartFront();
  EXPECT_EQ(Status(), "") << "empty until the first tick";
  ASSERT_TRUE(WaitForStatus("Stopped", 10000)) << Status();
  // A server started now publishes its window; the next silent tick finds it.
  StartServer();
  EXPECT_TRUE(WaitForStatus("Running", 15000)) << Status();
  EXPECT_EQ(front.ControlText(idLbLastScan), "Never");
  ExpectServerControls(true);
}

TEST_F(FrontAndServer, SyncNowShowsSynchronisingWithTheServerControlsDisabledThenTheState) {
  StartServer();
  StartFront();
  ASSERT_TRUE(WaitForStatus("Running", 15000)) << Status();
  ASSERT_TRUE(front.Command(idSyncNow1));
  ASSERT_TRUE(WaitForStatus("Synchronising", 10000)) << Status();
  ExpectServerControls(false);
  EXPECT_FALSE(front.ControlEnabled(idTagButton));
  EXPECT_FALSE(front.ControlEnabled(idUnTag));
  ASSERT_TRUE(WaitForStatus("Running", kRunMs)) << Status();
  ExpectServerControls(true);
  EXPECT_NE(front.ControlText(idLbLastScan), "Never") << "the run's time";
}

TEST_F(FrontAndServer, StopShowsStoppedAfterTheSilenceAndStartRunsTheServerFromItsFolder) {
  StartServer();
  StartFront();
  ASSERT_TRUE(WaitForStatus("Running", 15000)) << Status();

  // "Start Sync Process" while the status reads "Running" does nothing: the stop that follows
  // it in the window's queue ends the only server there is.
  ASSERT_TRUE(front.Command(idStartSyncProcess1));
  // The server answers nothing from the stop on, though its process takes a few seconds more
  // to end: the silence counts from the stop.
  const ULONGLONG stoppedAt = GetTickCount64();
  ASSERT_TRUE(front.Command(idStopSyncProcess1));
  ASSERT_TRUE(server.WaitForExit(kEndMs));
  EXPECT_TRUE(ServerProcessIds().empty()) << "a second server was started";

  ASSERT_TRUE(WaitForStatus("Stopped", 15000)) << Status();
  const ULONGLONG silence = GetTickCount64() - stoppedAt;
  EXPECT_GE(silence, 3500u);
  EXPECT_LE(silence, 9000u);
  ExpectServerControls(true);

  ASSERT_TRUE(front.Command(idStartSyncProcess1));
  std::vector<DWORD> started;
  ASSERT_TRUE(WaitUntil([&] { return !(started = ServerProcessIds()).empty(); }, kStartMs));
  ASSERT_EQ(started.size(), 1u);
  EXPECT_STRCASEEQ(ImagePath(started[0]).c_str(), (folder + "QUILLMERESERV.exe").c_str());
  // The restarted server is found again at the first silent tick after it published itself.
  EXPECT_TRUE(WaitForStatus("Running", 15000)) << Status();
}

// A user who sees "Stopped" after a stop and nothing happen at his press presses again and again,
// while the new server is still starting. One server comes of it: any further one would ask
// whether to end the one before it.
TEST_F(FrontAndServer, StartPressedAgainAndAgainAfterAStopStartsOneServer) {
  StartServer();
  StartFront();
  ASSERT_TRUE(WaitForStatus("Running", 15000)) << Status();
  ASSERT_TRUE(front.Command(idStopSyncProcess1));
  ASSERT_TRUE(server.WaitForExit(kEndMs));
  ASSERT_TRUE(WaitForStatus("Stopped", 15000)) << Status();

  constexpr int kPresses = 20;
  constexpr DWORD kPressPauseMs = 250;  // the pace of a user's clicks
  for (int i = 0; i < kPresses; ++i) {
    ASSERT_TRUE(front.Command(idStartSyncProcess1));
    Sleep(kPressPauseMs);
  }
  ASSERT_TRUE(WaitForStatus("Running", kStartMs)) << Status();
  EXPECT_EQ(ServerProcessIds().size(), 1u);
  EXPECT_EQ(FindWindowA(nullptr, test::kAlreadyRunningCaption), nullptr);
}

}  // namespace
}  // namespace qm
