// Copy runs of the built server under Wine, driven as the configuration program drives it:
// conf.xml written by hand, then cmdReload and cmdSyncNow; the copies, the status and conf.xml
// looked at from outside.
#include "base/fileio.h"
#include "base/filelock.h"
#include "base/handles.h"
#include "tools/protocol.h"
#include "support/controlclient.h"
#include "support/serverprocess.h"
#include "support/syncscene.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::AskStatus;
using test::ConfFile;
using test::StatusAnswer;

// A run starts at the sync thread's next check, up to 21 s after cmdSyncNow; more under load.
constexpr unsigned kRunMs = 60000;
constexpr unsigned kAnswerMs = 15000;
// The run is held while it is looked at, so it need not be long: enough files that it cannot
// end between the moment its first folder shows and the hold.
constexpr int kSmallFiles = 500;
constexpr int kBigFiles = 2;
constexpr size_t kBigBytes = 4u << 20;

class CopyRuns : public ::testing::Test {
 protected:
  void SetUp() override { FillFmtSettings("DD-MM-yyyy"); }

  std::string ConfPath() const { return server.folder + "conf.xml"; }

  // Starts the server, makes the files to tag while it comes up (the run waits for the sync
  // thread's next check anyway), hands it a hand-written conf.xml and asks for a run; returns
  // once the state shows the run due.
  void StartAndSyncNow() {
    ASSERT_TRUE(server.Start());
    world = std::make_unique<test::SyncWorld>(server.folder, kSmallFiles, kBigFiles, kBigBytes);
    ASSERT_TRUE(test::WriteFileBytes(ConfPath(), test::ServerLayout(world->Configuration())));
    EXPECT_EQ(test::Acknowledge(client, server.control, cmdReload), LPARAM{0});
    asked = NowLocal();
    EXPECT_EQ(test::Acknowledge(client, server.control, cmdSyncNow), LPARAM{0});
    const auto due = test::WaitForStatus(
        client, server.control, [](const StatusAnswer& s) { return s.state == ssSync; }, kAnswerMs);
    ASSERT_TRUE(due.has_value()) << "the state does not show the run that is due";
    EXPECT_EQ(due->lastSync, NeverSyncDate);
  }

  // Holds the run between two files as soon as it has begun to copy, so that it can be
  // looked at and acted on for as long as the test needs, whatever the speed of the disk.
  void HoldTheRunOnceUnderWay() {
    const std::string mirror = test::MirrorOf(world->target, world->source);
    const ULONGLONG end = GetTickCount64() + kRunMs;
    while (!FolderExists(mirror)) {
      ASSERT_LT(GetTickCount64(), end) << "no run within a minute of cmdSyncNow";
      Sleep(1);
    }
    ASSERT_EQ(test::Acknowledge(client, server.control, cmdSuspend), LPARAM{0});
    const auto held = AskStatus(client, server.control);
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(held->state, ssStopped);
    ASSERT_EQ(held->lastSync, NeverSyncDate) << "the run ended before it could be held";
  }
  void ReleaseTheRun() { EXPECT_EQ(test::Acknowledge(client, server.control, cmdResume), LPARAM{0}); }

  // The status once a run that began after lastBefore has ended.
  std::optional<StatusAnswer> WaitForRunEnd(DateTime lastBefore, unsigned timeoutMs = kRunMs) {
    return test::WaitForStatus(
        client, server.control,
        [&](const StatusAnswer& s) { return s.lastSync > lastBefore && s.state == ssReady; },
        timeoutMs);
  }

  std::optional<ConfFile> WaitForSavedRun(DateTime lastSync) {
    return test::WaitForConf(
        ConfPath(),
        [&](const ConfFile& c) {
          return std::abs(test::ParsedTime(c.lastsyncdate) - lastSync) < kOneSecond;
        },
        kAnswerMs);
  }

  test::ScratchServer server{"sync"};
  std::unique_ptr<test::SyncWorld> world;
  test::ControlClient client;
  DateTime asked = 0;
};

// A copy's identity on disk: a copy made again lands in a new file.
struct CopyIdentity {
  uint64_t index = 0;
  uint64_t size = 0;
  bool operator==(const CopyIdentity&) const = default;
};

std::map<std::string, CopyIdentity> Identities(const std::string& target,
                                               const std::vector<test::SourceFile>& files) {
  std::map<std::string, CopyIdentity> ids;
  for (const auto& f : files) {
    const std::string copy = test::MirrorOf(target, f.path);
    UniqueFile h(CreateFileA(copy.c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (h && GetFileInformationByHandle(h.get(), &info))
      ids[copy] = {(uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                   (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow};
  }
  return ids;
}

TEST_F(CopyRuns, ARunMirrorsTheTagsAndASecondRunCopiesNothingNew) {
  ASSERT_NO_FATAL_FAILURE(StartAndSyncNow());
  ASSERT_NO_FATAL_FAILURE(HoldTheRunOnceUnderWay());
  const DateTime seen = NowLocal();
  ReleaseTheRun();

  const auto after = WaitForRunEnd(NeverSyncDate);
  ASSERT_TRUE(after.has_value()) << "the run did not end";
  // The run's start: after the command, before the run made its first folder.
  EXPECT_GE(after->lastSync, asked - kOneSecond);
  EXPECT_LE(after->lastSync, seen + kOneSecond);

  for (const test::SourceFile& f : world->AllFiles()) {
    EXPECT_EQ(test::CopyProblem(world->target, f), "");
    if (f.hidden) {
      const DWORD attributes = GetFileAttributesA(test::MirrorOf(world->target, f.path).c_str());
      EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN))
          << f.path;
    }
  }
  EXPECT_TRUE(
      FolderExists(test::MirrorOf(world->target, world->tree.root + "\\sub2\\hidden folder")));

  const auto saved = WaitForSavedRun(after->lastSync);
  ASSERT_TRUE(saved.has_value()) << test::ReadFileOrEmpty(ConfPath());
  ASSERT_EQ(saved->items.size(), 2u);
  const test::ConfItem& tree = saved->items[0];
  const test::ConfItem& notes = saved->items[1];
  EXPECT_EQ(tree.size, world->tree.TotalKb());
  EXPECT_EQ(notes.size, test::KilobytesOf(world->single.bytes.size()));
  for (const test::ConfItem* item : {&tree, &notes}) {
    const DateTime t = test::ParsedTime(item->lastsync);
    EXPECT_GE(t, after->lastSync - kOneSecond) << item->caption << " " << item->lastsync;
    EXPECT_LE(t, NowLocal() + kOneSecond) << item->caption << " " << item->lastsync;
  }

  // A copy changed behind the server's back but with its old date must stay as it is: only
  // dates decide what is copied.
  const test::SourceFile& watched = world->tree.files[5];
  const std::string watchedCopy = test::MirrorOf(world->target, watched.path);
  ASSERT_TRUE(test::WriteFileWithTime(watchedCopy, "changed on the target", watched.lastWrite));
  const auto identities = Identities(world->target, world->AllFiles());
  ASSERT_EQ(identities.size(), world->AllFiles().size());
  std::set<uint64_t> indices;
  for (const auto& [copy, id] : identities) indices.insert(id.index);
  ASSERT_EQ(indices.size(), identities.size()) << "file indices do not tell copies apart here";

  EXPECT_EQ(test::Acknowledge(client, server.control, cmdSyncNow), LPARAM{0});
  // Checking the first run's copies may take long enough under load to miss one check.
  const auto second = WaitForRunEnd(after->lastSync, kRunMs + 30000);
  ASSERT_TRUE(second.has_value()) << "no second run";
  const auto resaved = WaitForSavedRun(second->lastSync);
  ASSERT_TRUE(resaved.has_value()) << test::ReadFileOrEmpty(ConfPath());

  EXPECT_EQ(test::ReadFileOrEmpty(watchedCopy), "changed on the target");
  EXPECT_TRUE(Identities(world->target, world->AllFiles()) == identities)
      << "copies were made again";
  ASSERT_EQ(resaved->items.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(resaved->items[i].size, saved->items[i].size) << saved->items[i].caption;
    EXPECT_EQ(resaved->items[i].lastsync, saved->items[i].lastsync) << saved->items[i].caption;
  }
  // Nothing went wrong on the way: no problem was logged in either run.
  for (const std::string& line : test::ReadLines(server.LogPath()))
    EXPECT_EQ(test::LogText(line), "QuillmereServer# Started.");
}

TEST_F(CopyRuns, AReloadDuringARunKeepsTheAddedTagAndTheRunsResults) {
  ASSERT_NO_FATAL_FAILURE(StartAndSyncNow());
  const test::SourceFile added = test::MakeSourceFile(world->source + "added later.txt", 2600,
                                                      test::LocalFileTime(2022, 2, 3, 4, 5, 6));
  ASSERT_NO_FATAL_FAILURE(HoldTheRunOnceUnderWay());

  // The configuration program rewrites the file from its own document (the values it read
  // at start), waits 10 ms and asks for the reload.
  ConfFile edited = world->Configuration();
  test::ConfItem item;
  item.caption = "added later.txt";
  item.path = world->source;
  item.size = test::KilobytesOf(added.bytes.size());
  item.ftype = 0;
  edited.items.push_back(item);
  ASSERT_TRUE(test::WriteFileBytes(ConfPath(), test::FrontEndLayout(edited)));
  Sleep(10);
  const ULONGLONG posted = GetTickCount64();
  const auto answer = test::Acknowledge(client, server.control, cmdReload, kAnswerMs);
  const ULONGLONG answeredMs = GetTickCount64() - posted;
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, 0);
  const auto afterAnswer = AskStatus(client, server.control);
  ASSERT_TRUE(afterAnswer.has_value());
  EXPECT_EQ(afterAnswer->lastSync, NeverSyncDate)
      << "the reload was answered only after the run, " << answeredMs << " ms after it was asked";
  EXPECT_EQ(afterAnswer->state, ssStopped);
  ReleaseTheRun();

  const auto after = WaitForRunEnd(NeverSyncDate);
  ASSERT_TRUE(after.has_value()) << "the run did not end";
  const auto saved = WaitForSavedRun(after->lastSync);
  ASSERT_TRUE(saved.has_value()) << test::ReadFileOrEmpty(ConfPath());
  ASSERT_EQ(saved->items.size(), 3u) << test::ReadFileOrEmpty(ConfPath());
  EXPECT_EQ(saved->items[0].caption, "tree");
  EXPECT_EQ(saved->items[0].size, world->tree.TotalKb());
  EXPECT_EQ(saved->items[1].caption, "notes.txt");
  EXPECT_EQ(saved->items[1].size, test::KilobytesOf(world->single.bytes.size()));
  for (size_t i = 0; i < 2; ++i)
    EXPECT_GE(test::ParsedTime(saved->items[i].lastsync), after->lastSync - kOneSecond)
        << saved->items[i].caption << " " << saved->items[i].lastsync;
  // The run knew nothing of the added tag: it keeps what the configuration program wrote.
  EXPECT_EQ(saved->items[2].caption, item.caption);
  EXPECT_EQ(saved->items[2].path, item.path);
  EXPECT_EQ(saved->items[2].size, item.size);
  EXPECT_EQ(saved->items[2].lastsync, "01-01-2004");
  EXPECT_EQ(saved->items[2].ftype, 0);
  EXPECT_EQ(saved->targetdrive, world->target);
}

TEST_F(CopyRuns, ARunsResultsOutliveAReloadThatFindsConfHeldAndReachTheFileWhenItReadsAgain) {
  ASSERT_NO_FATAL_FAILURE(StartAndSyncNow());
  ASSERT_NO_FATAL_FAILURE(HoldTheRunOnceUnderWay());
  const std::string before = test::ReadFileOrEmpty(ConfPath());
  {
    // The configuration program is writing conf.xml when the reload comes.
    UniqueFile writer(CreateFileA(ConfPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(test::Acknowledge(client, server.control, cmdReload), LPARAM{0});
    ReleaseTheRun();
    const auto after = WaitForRunEnd(NeverSyncDate);
    ASSERT_TRUE(after.has_value()) << "the run did not end";
    // Its save found the file held and left it alone.
    EXPECT_EQ(test::ReadFileOrEmpty(ConfPath()), before);
  }
  const auto finished = AskStatus(client, server.control);
  ASSERT_TRUE(finished.has_value());
  EXPECT_EQ(test::Acknowledge(client, server.control, cmdReload), LPARAM{0});
  const auto saved = WaitForSavedRun(finished->lastSync);
  ASSERT_TRUE(saved.has_value()) << "the run's results never reached conf.xml:\n"
                                 << test::ReadFileOrEmpty(ConfPath());
  ASSERT_EQ(saved->items.size(), 2u);
  EXPECT_EQ(saved->items[0].size, world->tree.TotalKb());
  EXPECT_EQ(saved->items[1].size, test::KilobytesOf(world->single.bytes.size()));
  for (const test::ConfItem& item : saved->items)
    EXPECT_GE(test::ParsedTime(item.lastsync), finished->lastSync - kOneSecond)
        << item.caption << " " << item.lastsync;
  const auto status = AskStatus(client, server.control);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->lastSync, finished->lastSync) << "the reload took back the last sync time";
}

// The test stands in for the configuration program in the middle of its save: it holds the
// programs' lock over conf.xml while it writes a text built from a read before the run, with a
// change of its own. A server save that comes meanwhile waits for the lock, then takes that file
// in with the run's results, instead of being overwritten by it.
TEST_F(CopyRuns, AServerSaveWaitsForTheOtherProgramsLockAndKeepsBothItsFileAndTheRunsResults) {
  ASSERT_NO_FATAL_FAILURE(StartAndSyncNow());
  const auto finished = WaitForRunEnd(NeverSyncDate);
  ASSERT_TRUE(finished.has_value()) << "the run did not end";
  ASSERT_TRUE(WaitForSavedRun(finished->lastSync).has_value());

  FileWriteLock lock(ConfPath());
  ASSERT_TRUE(lock.Acquire(0));
  client.Clear();
  ASSERT_TRUE(client.Post(server.control, cmdGuiStarted));  // the server saves at once
  bool waiting = false;
  for (int probe = 0; probe < 200 && !waiting; ++probe) {
    DWORD_PTR result = 0;
    waiting = !SendMessageTimeoutA(server.control, WM_NULL, 0, 0, SMTO_NORMAL, 50, &result);
    ASSERT_EQ(client.Count(), 0u) << "the server saved while the other program held the lock";
  }
  ASSERT_TRUE(waiting) << "the server never waited for the lock";
  ConfFile other = world->Configuration();
  other.syncperiod = 60000;
  ASSERT_TRUE(test::WriteFileBytes(ConfPath(), test::FrontEndLayout(other)));
  lock.Release();
  ASSERT_TRUE(client.WaitForCount(1, kAnswerMs)) << "no acknowledgement of cmdGuiStarted";

  const auto saved = test::ReadConf(ConfPath());
  ASSERT_TRUE(saved.has_value()) << test::ReadFileOrEmpty(ConfPath());
  EXPECT_EQ(saved->syncperiod, 60000) << "the other program's change is lost";
  EXPECT_LT(std::abs(test::ParsedTime(saved->lastsyncdate) - finished->lastSync), kOneSecond);
  ASSERT_EQ(saved->items.size(), 2u);
  EXPECT_EQ(saved->items[0].size, world->tree.TotalKb());
  EXPECT_EQ(saved->items[1].size, test::KilobytesOf(world->single.bytes.size()));
  for (const test::ConfItem& item : saved->items)
    EXPECT_GE(test::ParsedTime(item.lastsync), finished->lastSync - kOneSecond) << item.caption;
}

}  // namespace
}  // namespace qm
