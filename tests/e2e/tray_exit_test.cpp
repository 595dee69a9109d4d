// "Exit" in the built server's tray menu while a copy run is under way: the run is completed
// and saved, then the server ends in its orderly way.
#include "base/fileio.h"
#include "tools/protocol.h"
#include "server/trayicons.h"
#include "support/controlclient.h"
#include "support/serverprocess.h"
#include "support/syncscene.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

constexpr unsigned kRunMs = 60000;  // up to 21 s to the next check; more under load
constexpr unsigned kAnswerMs = 15000;

// Chooses "Exit" in the tray menu: the command its click sends to the tray window.
bool ChooseExit(const test::ScratchServer& server) {
  const HWND tray =
      test::WaitForProcessWindowOfClass(server.process.Pid(), kTrayWindowClass, kAnswerMs);
  return tray && PostMessageA(tray, WM_COMMAND, MAKEWPARAM(kTrayExitItem, 0), 0);
}

// The end of a shut-down that ran all its steps: exit code 0, the log's last line, and the
// registry value Handle left in place.
void ExpectOrderlyEnd(test::ScratchServer& server) {
  ASSERT_TRUE(server.process.WaitForExit(kRunMs)) << "the server did not end";
  DWORD exitCode = 1;
  EXPECT_TRUE(GetExitCodeProcess(server.process.Handle(), &exitCode));
  EXPECT_EQ(exitCode, 0u);
  const auto lines = test::ReadLines(server.LogPath());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(test::LogText(lines.back()), "QuillmereServer# Stoped.");
  EXPECT_EQ(test::CountLogText(server.LogPath(), "QuillmereServer# Stoped."), 1);
  EXPECT_EQ(test::ReadServerHandle().value_or(0),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(server.control)))
      << "Handle must stay after the end";
}

TEST(TrayExit, ExitDuringARunCompletesTheRunThenEndsInOrder) {
  FillFmtSettings("DD-MM-yyyy");
  test::ScratchServer server("trayexit");
  test::ControlClient client;
  ASSERT_TRUE(server.Start());
  const test::SyncWorld world(server.folder);
  const std::string confPath = server.folder + "conf.xml";
  ASSERT_TRUE(test::WriteFileBytes(confPath, test::ServerLayout(world.Configuration())));
  EXPECT_EQ(test::Acknowledge(client, server.control, cmdReload), LPARAM{0});
  EXPECT_EQ(test::Acknowledge(client, server.control, cmdSyncNow), LPARAM{0});

  ASSERT_TRUE(world.WaitForRunUnderWay(kRunMs)) << "no run within a minute of cmdSyncNow";
  const auto during = test::AskStatus(client, server.control);
  ASSERT_TRUE(during.has_value());
  ASSERT_EQ(during->lastSync, NeverSyncDate) << "the run ended before Exit could be chosen";
  ASSERT_TRUE(ChooseExit(server));
  ASSERT_NO_FATAL_FAILURE(ExpectOrderlyEnd(server));

  for (const test::SourceFile& f : world.AllFiles())
    EXPECT_EQ(test::CopyProblem(world.target, f), "") << "the run was cut short";
  const auto saved = test::ReadConf(confPath);
  ASSERT_TRUE(saved.has_value()) << test::ReadFileOrEmpty(confPath);
  EXPECT_NE(saved->lastsyncdate, "01-01-2004") << "the run's save is missing";
  ASSERT_EQ(saved->items.size(), 2u);
  EXPECT_EQ(saved->items[0].size, world.tree.TotalKb());
  EXPECT_EQ(saved->items[1].size, test::KilobytesOf(world.single.bytes.size()));
}

TEST(TrayExit, ExitWhileAWarningIsOpenStillEndsInOrder) {
  test::ScratchServer server("trayexitwarn");
  const std::string drive = test::UnusedDriveRoot();
  ASSERT_FALSE(drive.empty()) << "every drive letter from Q: on names a drive";
  test::ConfFile conf;
  conf.targetdrive = drive + "Backup\\";
  // A period of a second makes the first due time, the start cut down to the minute plus the
  // period, one that has passed: the first check at start attempts a run and warns at once.
  conf.syncperiod = 1000;
  ASSERT_TRUE(test::WriteFileBytes(server.folder + "conf.xml", test::ServerLayout(conf)));
  ASSERT_TRUE(server.Start());
  const HWND dialog = test::WaitForShownDialog(
      server.process.Pid(), "Harvo Quillmere - Target Volume Not Accessible", kRunMs);
  ASSERT_NE(dialog, nullptr) << "no warning within a minute of the start";

  ASSERT_TRUE(ChooseExit(server));
  ASSERT_NO_FATAL_FAILURE(ExpectOrderlyEnd(server));
  EXPECT_FALSE(IsWindow(dialog));
  const auto saved = test::ReadConf(server.folder + "conf.xml");
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->silentflag, 0) << "leaving the warning unanswered is no Silence";
}

}  // namespace
}  // namespace qm
