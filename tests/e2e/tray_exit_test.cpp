// The built server's end while a copy run is under way ("Exit" in its tray menu, the session's
// end): the run ends at its next file and saves what it finished, then the server ends in its
// orderly way.
#include "base/fileio.h"
#include "base/handles.h"
#include "tools/protocol.h"
#include "server/trayicons.h"
#include "support/controlclient.h"
#include "support/serverprocess.h"
#include "support/syncscene.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <string>
#include <utility>

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

// A run that has copied the file tag and is held (cmdSuspend) inside the folder tag after it.
class HeldRun {
 public:
  HeldRun() : server("trayexit"), started(server.Start()), world(server.folder) {}

  void Hold() {
    ASSERT_TRUE(started);
    test::ConfFile conf = world.Configuration();
    std::swap(conf.items[0], conf.items[1]);  // the file first, then the folder
    ASSERT_TRUE(test::WriteFileBytes(ConfPath(), test::ServerLayout(conf)));
    EXPECT_EQ(test::Acknowledge(client, server.control, cmdReload), LPARAM{0});
    EXPECT_EQ(test::Acknowledge(client, server.control, cmdSyncNow), LPARAM{0});
    ASSERT_TRUE(test::WaitUntil([&] { return test::CopyProblem(world.target, world.single).empty(); },
                                kRunMs))
        << "no run within a minute of cmdSyncNow";
    EXPECT_EQ(test::Acknowledge(client, server.control, cmdSuspend), LPARAM{0});
    const auto held = test::AskStatus(client, server.control);
    ASSERT_TRUE(held.has_value());
    ASSERT_EQ(held->lastSync, NeverSyncDate) << "the run ended before it could be held";
  }

  // conf.xml holds the file tag's results, the folder tag as it was, and no completed run.
  void ExpectResultsSoFar() const {
    const auto saved = test::ReadConf(ConfPath());
    ASSERT_TRUE(saved.has_value()) << test::ReadFileOrEmpty(ConfPath());
    EXPECT_EQ(saved->lastsyncdate, "01-01-2004");
    ASSERT_EQ(saved->items.size(), 2u);
    EXPECT_NE(saved->items[0].lastsync, "01-01-2004") << "the finished tag's results are lost";
    EXPECT_EQ(saved->items[0].size, test::KilobytesOf(world.single.bytes.size()));
    EXPECT_EQ(saved->items[1].lastsync, "01-01-2004");
    EXPECT_EQ(saved->items[1].size, 0);
    size_t copied = 0;
    for (const test::SourceFile& f : world.tree.files)
      if (test::CopyProblem(world.target, f).empty()) ++copied;
    EXPECT_LT(copied, world.tree.files.size()) << "the run went on to its end";
  }

  std::string ConfPath() const { return server.folder + "conf.xml"; }

  test::ScratchServer server;
  const bool started;
  test::ControlClient client;
  const test::SyncWorld world;
};

TEST(TrayExit, ExitDuringAHeldRunEndsItAtTheNextFileSavesWhatItFinishedAndEndsInOrder) {
  FillFmtSettings("DD-MM-yyyy");
  HeldRun run;
  ASSERT_NO_FATAL_FAILURE(run.Hold());
  ASSERT_TRUE(ChooseExit(run.server));
  ASSERT_NO_FATAL_FAILURE(ExpectOrderlyEnd(run.server));
  run.ExpectResultsSoFar();
}

TEST(TrayExit, TheSessionsEndSavesWhatARunFinishedBeforeItsAnswer) {
  FillFmtSettings("DD-MM-yyyy");
  HeldRun run;
  ASSERT_NO_FATAL_FAILURE(run.Hold());
  const HWND form =
      test::WaitForProcessWindowOfClass(run.server.process.Pid(), "TfrQuillmereServ", kAnswerMs);
  ASSERT_NE(form, nullptr);
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutA(form, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                  kAnswerMs, &answer));
  EXPECT_EQ(answer, DWORD_PTR{TRUE});
  ASSERT_TRUE(SendMessageTimeoutA(form, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                  kRunMs, &answer));
  // The system may end the process as soon as the answer is in: the results are on disk now.
  run.ExpectResultsSoFar();
  ASSERT_NO_FATAL_FAILURE(ExpectOrderlyEnd(run.server));
}

// The server's sync thread, the one of its threads at idle priority, opened to be suspended.
UniqueKernelHandle OpenSyncThread(DWORD pid) {
  UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return {};
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != pid) continue;
    UniqueKernelHandle thread(OpenThread(THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME, FALSE,
                                         entry.th32ThreadID));
    if (thread && GetThreadPriority(thread.get()) == THREAD_PRIORITY_IDLE) return thread;
  }
  return {};
}

// A run that no stop reaches (here: its thread suspended; on Wine a copy of many gigabytes,
// which its CopyFileEx cannot cancel; on Windows a volume that stops answering): the server
// still answers the session's end within the 5 seconds that Windows gives it, with what the
// run finished saved and its last log line written.
TEST(TrayExit, TheSessionsEndIsAnsweredInTimeWithTheResultsSavedWhenTheRunCannotBeStopped) {
  FillFmtSettings("DD-MM-yyyy");
  HeldRun run;
  ASSERT_NO_FATAL_FAILURE(run.Hold());
  const UniqueKernelHandle sync = OpenSyncThread(run.server.process.Pid());
  ASSERT_TRUE(sync) << "no thread of the server runs at idle priority";
  ASSERT_NE(SuspendThread(sync.get()), static_cast<DWORD>(-1));
  const HWND form =
      test::WaitForProcessWindowOfClass(run.server.process.Pid(), "TfrQuillmereServ", kAnswerMs);
  ASSERT_NE(form, nullptr);
  constexpr unsigned kWindowsLimitMs = 5000;
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutA(form, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                  kWindowsLimitMs, &answer));
  EXPECT_TRUE(SendMessageTimeoutA(form, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                  kWindowsLimitMs, &answer))
      << "Windows would have ended the server before it answered";
  run.ExpectResultsSoFar();
  const auto lines = test::ReadLines(run.server.LogPath());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(test::LogText(lines.back()), "QuillmereServer# Stoped.");
  // What Windows does after the answer, the server does itself: it ends.
  ASSERT_NO_FATAL_FAILURE(ExpectOrderlyEnd(run.server));
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
