#include "server/syncthread.h"

#include "server/copyrun.h"
#include "server/problems.h"
#include "server/tagitem.h"
#include "support/fakes.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

using test::FakeEngine;
using test::MakeTag;
using test::WaitUntil;

constexpr DateTime kHour = 1.0 / 24;
constexpr DateTime kMs = 1.0 / kMsPerDay;

// The schedule with its copy stage replaced by the test's.
class Schedule : public TSyncThread {
 public:
  explicit Schedule(FakeEngine& e) : TSyncThread(e.ctx, false), engine_(e) {}
  ~Schedule() override {
    engine_.clock.Ungate();
    Terminate();
    WaitFor();
  }
  void CopyTags(std::vector<TTagItem>& tags, const std::string& target) override {
    ++copyRuns;
    stateInRun = engine_.core.FState.load();
    if (copyStage) copyStage(tags, target);
  }

  std::function<void(std::vector<TTagItem>&, const std::string&)> copyStage;
  std::atomic<unsigned> copyRuns{0};
  std::atomic<uint8_t> stateInRun{0xFF};

 private:
  FakeEngine& engine_;
};

// Declared after a thread, so that a failed assertion cannot leave it parked in a gated wait.
struct UngateOnExit {
  test::FakeClock& clock;
  ~UngateOnExit() { clock.Ungate(); }
};

class SyncSchedule : public ::testing::Test {
 protected:
  void SetUp() override {
    e.core.SetTargetPath("E:\\Backup\\");
    e.core.SetLastSync(NeverSyncDate);
    start = e.clock.Now();
    e.core.SetNextSync(start + kHour);
    e.onReload = [this] { reloadTimes.push_back(e.clock.Now()); };
    e.clock.Gate();
    sync = std::make_unique<Schedule>(e);
  }
  void TearDown() override { sync.reset(); }

  // Starts the thread and returns once it waits at the end of its first tick.
  bool Begin() {
    sync->Start(THREAD_PRIORITY_NORMAL);
    if (!e.clock.WaitUntilBlocked()) return false;
    return e.clock.BlockedMs() == TSyncThread::kTickWaitMs || ToNextTickEnd();
  }
  bool ToNextTickEnd() { return e.clock.StepUntilSleep(TSyncThread::kTickWaitMs, 4); }
  bool RunTicks(unsigned n) {
    for (unsigned i = 0; i < n; ++i)
      if (!ToNextTickEnd()) return false;
    return true;
  }
  // Makes the next tick start due seconds before the due time.
  void DueInAtNextTick(double seconds) {
    e.core.SetNextSync(e.clock.Now() + TSyncThread::kTickWaitMs * kMs + seconds * kOneSecond);
  }

  FakeEngine e;
  std::unique_ptr<Schedule> sync;
  std::vector<DateTime> reloadTimes;  // touched only on the sync thread while it runs
  DateTime start = 0;
};

TEST_F(SyncSchedule, StateLeadsTheDueTimeBySevenSeconds) {
  ASSERT_TRUE(Begin());
  EXPECT_EQ(e.core.FState, ssReady);
  DueInAtNextTick(5);
  ASSERT_TRUE(RunTicks(1));
  EXPECT_EQ(e.core.FState, ssSync);
  DueInAtNextTick(8);
  ASSERT_TRUE(RunTicks(1));
  EXPECT_EQ(e.core.FState, ssReady);
  EXPECT_EQ(sync->copyRuns, 0u);  // ticks 1 and 2 check nothing
}

TEST_F(SyncSchedule, FirstTickRunsAPastDueTimeAtOnce) {
  e.core.SetNextSync(start - kHour);
  e.core.FSilent = true;
  e.core.SetSyncPeriod(2 * kHour);
  DateTime firstCopy = 0, runEnd = 0;
  sync->copyStage = [&](std::vector<TTagItem>&, const std::string& target) {
    EXPECT_EQ(target, "E:\\Backup\\");
    firstCopy = e.clock.Now();
    e.clock.Advance(5 * kOneMinute);  // the copying takes five minutes
    runEnd = e.clock.Now();
  };
  ASSERT_TRUE(Begin());
  EXPECT_EQ(sync->Ticks, 1u);
  EXPECT_EQ(sync->copyRuns, 1u);
  EXPECT_EQ(sync->stateInRun, ssSync);
  EXPECT_EQ(e.volumes.Queries(), 2u);  // the tick's check and the run's own
  EXPECT_EQ(e.volumes.RootsAsked()[0], "E:\\");
  ASSERT_EQ(reloadTimes.size(), 1u);
  // The run start is the time right after the reload, which follows a 100 ms pause.
  EXPECT_DOUBLE_EQ(reloadTimes[0], start + 100 * kMs);
  EXPECT_DOUBLE_EQ(e.core.LastSync(), reloadTimes[0]);
  EXPECT_LE(e.core.LastSync(), firstCopy);
  EXPECT_DOUBLE_EQ(e.core.NextSync(), runEnd + 2 * kHour);
  EXPECT_FALSE(e.core.FSilent);
  EXPECT_EQ(e.core.FState, ssReady);
  ASSERT_EQ(e.Saves(), 1u);
  EXPECT_DOUBLE_EQ(e.SavedStates()[0].settings.LastSync, reloadTimes[0]);
  EXPECT_TRUE(e.Dialogs().empty());
  EXPECT_EQ(e.clock.FinishedSleeps(), (std::vector<unsigned>{100, 100}));
}

TEST_F(SyncSchedule, TargetIsCheckedOnTicksZero21And42Only) {
  ASSERT_TRUE(Begin());
  EXPECT_EQ(e.volumes.Queries(), 1u);
  ASSERT_TRUE(RunTicks(20));  // ticks 1-20
  EXPECT_EQ(e.volumes.Queries(), 1u);
  ASSERT_TRUE(RunTicks(1));  // tick 21
  EXPECT_EQ(e.volumes.Queries(), 2u);
  ASSERT_TRUE(RunTicks(20));
  EXPECT_EQ(e.volumes.Queries(), 2u);
  ASSERT_TRUE(RunTicks(1));  // tick 42
  EXPECT_EQ(e.volumes.Queries(), 3u);
  EXPECT_EQ(sync->Ticks, 43u);
  EXPECT_EQ(sync->copyRuns, 0u);
}

TEST_F(SyncSchedule, MissingTargetIsReportedAndSavedAtEveryCheck) {
  e.volumes.SetAnswers(false);
  const DateTime lastSync = start - 3;
  e.core.SetLastSync(lastSync);
  e.core.SetNextSync(start - kOneMinute);
  ASSERT_TRUE(Begin());
  for (unsigned attempt = 1; attempt <= 3; ++attempt) {
    SCOPED_TRACE(attempt);
    EXPECT_EQ(e.Saves(), attempt);
    ASSERT_EQ(e.Dialogs().size(), attempt);
    EXPECT_EQ(e.Dialogs().back(), (std::pair<std::string, int>{kNoTargetText, dkWarnSilence}));
    ASSERT_EQ(e.LogLines().size(), attempt);
    EXPECT_EQ(e.LogLines().back(), "QuillmereServer# The Target Volume is not available!");
    EXPECT_DOUBLE_EQ(e.core.LastSync(), lastSync);
    ASSERT_EQ(reloadTimes.size(), attempt);
    EXPECT_DOUBLE_EQ(e.core.NextSync(), reloadTimes.back());
    EXPECT_DOUBLE_EQ(e.SavedStates().back().settings.NextSync, reloadTimes.back());
    EXPECT_EQ(e.core.FState, ssNoTarget);
    ASSERT_TRUE(RunTicks(1));
    EXPECT_EQ(e.core.FState, ssNoTarget);  // between checks too
    ASSERT_TRUE(RunTicks(TSyncThread::kCheckEvery - 1));
  }
  EXPECT_EQ(sync->copyRuns, 0u);
}

TEST_F(SyncSchedule, OnlyARunThatFindsTheTargetClearsTheSilentFlag) {
  e.volumes.SetAnswers(false);
  e.core.FSilent = true;
  e.core.SetNextSync(start - kOneMinute);
  ASSERT_TRUE(Begin());
  ASSERT_TRUE(RunTicks(TSyncThread::kCheckEvery));  // a second missed attempt at tick 21
  EXPECT_TRUE(e.core.FSilent);
  EXPECT_TRUE(e.Dialogs().empty());
  EXPECT_EQ(e.LogLines().size(), 2u);  // silenced, but still logged
  e.volumes.SetAnswers(true);
  ASSERT_TRUE(RunTicks(TSyncThread::kCheckEvery));
  EXPECT_EQ(sync->copyRuns, 1u);
  EXPECT_FALSE(e.core.FSilent);
  ASSERT_EQ(e.Saves(), 3u);
  EXPECT_TRUE(e.SavedStates()[1].silent);
  EXPECT_FALSE(e.SavedStates()[2].silent);
  EXPECT_EQ(e.core.FState, ssReady);
}

TEST_F(SyncSchedule, VanishedTargetShowsOnlyAfterTheNextCheck) {
  ASSERT_TRUE(Begin());
  ASSERT_TRUE(RunTicks(5));
  e.volumes.SetAnswers(false);
  ASSERT_TRUE(RunTicks(TSyncThread::kCheckEvery - 5));  // up to and including tick 21
  EXPECT_EQ(e.core.FState, ssReady);  // tick 21 set its state before its check
  EXPECT_FALSE(sync->TargetAvailable);
  ASSERT_TRUE(RunTicks(1));
  EXPECT_EQ(e.core.FState, ssNoTarget);
}

TEST_F(SyncSchedule, FullTargetRunStillSetsTheTimesAndSaves) {
  e.core.SetNextSync(start - kOneMinute);
  e.core.SetTags({MakeTag("C:\\Docs\\", "a.txt", 0, 1, NeverSyncDate),
                  MakeTag("C:\\Docs\\", "b.txt", 0, 2, NeverSyncDate)});
  DateTime copied = 0;
  sync->copyStage = [&](std::vector<TTagItem>& tags, const std::string&) {
    copied = e.clock.Now();
    tags[0].Size = 7;
    tags[0].LastSync = copied;
    // What the copy run does when the target fills up: report it and end the copying.
    ReportProblem(e.ctx, "", pkDiskFull);
  };
  ASSERT_TRUE(Begin());
  ASSERT_EQ(e.Dialogs().size(), 1u);
  EXPECT_EQ(e.Dialogs()[0], (std::pair<std::string, int>{kDiskFullText, dkWarn}));
  EXPECT_EQ(e.LogLines(), std::vector<std::string>{"QuillmereServer# The Target Volume is full!"});
  EXPECT_DOUBLE_EQ(e.core.LastSync(), reloadTimes.at(0));
  EXPECT_DOUBLE_EQ(e.core.NextSync(), copied + kHour);
  EXPECT_EQ(e.Saves(), 1u);
  const std::vector<TTagItem> tags = e.core.Tags();
  EXPECT_EQ(tags[0].Size, 7u);  // what the run did before the target filled up stays
  EXPECT_DOUBLE_EQ(tags[0].LastSync, copied);
  EXPECT_DOUBLE_EQ(tags[1].LastSync, NeverSyncDate);
}

TEST_F(SyncSchedule, FailedRunLeavesItDueAndIsRetriedAtTheNextCheck) {
  e.core.SetNextSync(start - kOneMinute);
  sync->copyStage = [&](std::vector<TTagItem>&, const std::string&) {
    if (sync->copyRuns == 1) throw std::runtime_error("lost");
  };
  ASSERT_TRUE(Begin());
  EXPECT_EQ(e.Saves(), 0u);
  EXPECT_DOUBLE_EQ(e.core.LastSync(), NeverSyncDate);
  EXPECT_DOUBLE_EQ(e.core.NextSync(), reloadTimes.at(0));
  EXPECT_EQ(e.core.FState, ssSync);
  ASSERT_TRUE(RunTicks(TSyncThread::kCheckEvery));
  EXPECT_EQ(sync->copyRuns, 2u);
  EXPECT_EQ(e.Saves(), 1u);
  EXPECT_DOUBLE_EQ(e.core.LastSync(), reloadTimes.at(1));
  EXPECT_EQ(e.core.FState, ssReady);
}

TEST_F(SyncSchedule, AConfHeldByAWriterAtTheReloadPutsTheRunOffToTheNextCheck) {
  const DateTime lastSync = start - 3;
  e.core.SetLastSync(lastSync);
  e.core.SetNextSync(start - kOneMinute);
  e.core.FSilent = true;
  e.confHeld = true;
  ASSERT_TRUE(Begin());
  EXPECT_EQ(sync->copyRuns, 0u);
  ASSERT_EQ(reloadTimes.size(), 1u);
  EXPECT_DOUBLE_EQ(e.core.LastSync(), lastSync);
  EXPECT_LE(e.core.NextSync(), e.clock.Now());  // still due
  EXPECT_TRUE(e.core.FSilent);
  EXPECT_EQ(e.Saves(), 0u);  // the file is another program's until a load reads it
  EXPECT_TRUE(e.Dialogs().empty());

  // Tried again at the next check, not before.
  ASSERT_TRUE(RunTicks(TSyncThread::kCheckEvery - 1));
  EXPECT_EQ(reloadTimes.size(), 1u);
  e.confHeld = false;
  ASSERT_TRUE(RunTicks(1));
  ASSERT_EQ(reloadTimes.size(), 2u);
  EXPECT_EQ(sync->copyRuns, 1u);
  EXPECT_DOUBLE_EQ(e.core.LastSync(), reloadTimes[1]);
  EXPECT_EQ(e.Saves(), 1u);
}

TEST_F(SyncSchedule, TerminationLetsTheRunSaveAndEndsThePausesAndTheTickWaitAtOnce) {
  e.core.SetNextSync(start - kOneMinute);
  std::atomic<bool> inRun{false}, proceed{false};
  sync->copyStage = [&](std::vector<TTagItem>&, const std::string&) {
    inRun = true;
    while (!proceed) Sleep(1);
  };
  sync->Start(THREAD_PRIORITY_NORMAL);
  ASSERT_TRUE(e.clock.WaitUntilBlocked());  // the pause before the reload
  e.clock.Let(1);
  ASSERT_TRUE(WaitUntil([&] { return inRun.load(); }, 30000));
  sync->Terminate();
  proceed = true;
  // No wait is passed from here on: the pause after the save and the tick's wait end at once.
  EXPECT_TRUE(sync->WaitFor(30000)) << "a wait that only passes time held the end back";
  EXPECT_EQ(e.Saves(), 1u);
  EXPECT_EQ(sync->Ticks, 1u);
  EXPECT_EQ(e.clock.FinishedSleeps(), (std::vector<unsigned>{100}));
  EXPECT_EQ(e.clock.StoppedWaits(), 2u);
  EXPECT_DOUBLE_EQ(e.core.LastSync(), reloadTimes.at(0));
}

TEST_F(SyncSchedule, AnEndDuringThePauseBeforeARunStartsNoRun) {
  e.core.SetNextSync(start - kOneMinute);
  sync->Start(THREAD_PRIORITY_NORMAL);
  ASSERT_TRUE(e.clock.WaitUntilBlocked());
  ASSERT_EQ(e.clock.BlockedMs(), TSyncThread::kRunPauseMs);
  sync->Terminate();
  EXPECT_TRUE(sync->WaitFor(30000));
  EXPECT_EQ(sync->copyRuns, 0u);
  EXPECT_TRUE(reloadTimes.empty());
  EXPECT_EQ(e.Saves(), 0u);
  EXPECT_LE(e.core.NextSync(), e.clock.Now()) << "the run no longer stays due";
}

TEST_F(SyncSchedule, HoldsNestAndKeepTheStoppedState) {
  ASSERT_TRUE(Begin());
  for (int i = 0; i < 2; ++i) {  // cmdSuspend twice
    sync->Hold();
    e.core.FState = ssStopped;
  }
  e.clock.Let(1);
  ASSERT_TRUE(WaitUntil([&] { return sync->Parked(); }, 30000));
  ASSERT_TRUE(WaitUntil([&] { return sync->HoldChecks() > 0; }, 30000));  // it waits
  const unsigned looks = sync->HoldChecks();
  sync->Release();
  // Once the parked thread has looked at the release, it either left or stays for good.
  ASSERT_TRUE(WaitUntil([&] { return sync->HoldChecks() > looks; }, 30000));
  EXPECT_TRUE(sync->Parked());
  EXPECT_EQ(sync->Ticks, 1u);
  EXPECT_EQ(e.core.FState, ssStopped);
  sync->Release();
  ASSERT_TRUE(e.clock.WaitUntilBlocked());
  EXPECT_EQ(sync->Ticks, 2u);
  EXPECT_EQ(e.core.FState, ssReady);
}

TEST_F(SyncSchedule, HoldDuringATickKeepsStoppedUntilTheTickAfterTheRelease) {
  e.core.SetNextSync(start - kOneMinute);
  e.onReload = [this] {  // cmdSuspend arrives while the run reloads
    reloadTimes.push_back(e.clock.Now());
    sync->Hold();
    e.core.FState = ssStopped;
  };
  ASSERT_TRUE(Begin());
  EXPECT_EQ(e.Saves(), 1u);  // the run itself went on to its end
  EXPECT_EQ(e.core.FState, ssStopped);
  e.clock.Let(1);
  ASSERT_TRUE(WaitUntil([&] { return sync->Parked(); }, 30000));
  EXPECT_EQ(e.core.FState, ssStopped);
  sync->Release();
  ASSERT_TRUE(e.clock.WaitUntilBlocked());
  EXPECT_EQ(e.core.FState, ssReady);
}

TEST_F(SyncSchedule, RunHeldBetweenFilesContinuesWhereItStopped) {
  e.core.SetNextSync(start - kOneMinute);
  e.core.SetTags({MakeTag("C:\\A\\", "a", 0, 1, 0), MakeTag("C:\\B\\", "b", 0, 1, 0)});
  std::atomic<unsigned> done{0};
  sync->copyStage = [&](std::vector<TTagItem>& tags, const std::string&) {
    for (TTagItem& t : tags) {
      e.ctx.holdPoint();
      t.Size = 9;
      ++done;
    }
  };
  sync->Start(THREAD_PRIORITY_NORMAL);
  ASSERT_TRUE(e.clock.WaitUntilBlocked());
  sync->Hold();
  e.core.FState = ssStopped;
  e.clock.Let(1);
  ASSERT_TRUE(WaitUntil([&] { return sync->Parked(); }, 30000));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(e.Saves(), 0u);
  sync->Release();
  ASSERT_TRUE(ToNextTickEnd());
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(e.Saves(), 1u);
  EXPECT_EQ(e.core.Tags()[1].Size, 9u);
  EXPECT_EQ(e.core.FState, ssReady);
}

TEST_F(SyncSchedule, TerminateEndsAHeldThreadWithoutAnotherTick) {
  ASSERT_TRUE(Begin());
  sync->Hold();
  e.clock.Let(1);
  ASSERT_TRUE(WaitUntil([&] { return sync->Parked(); }, 30000));
  sync->Terminate();
  sync->WaitFor();
  EXPECT_FALSE(sync->Running());
  EXPECT_EQ(sync->Ticks, 1u);
  EXPECT_EQ(e.volumes.Queries(), 1u);
}

TEST_F(SyncSchedule, PeriodFromTheReloadSetsTheNextDueTime) {
  e.core.SetNextSync(start - kOneMinute);
  e.onReload = [this] {  // conf.xml now says two hours, and moved the due time
    reloadTimes.push_back(e.clock.Now());
    e.core.SetSyncPeriod(2 * kHour);
    e.core.SetNextSync(start - 2);
  };
  ASSERT_TRUE(Begin());
  EXPECT_DOUBLE_EQ(e.core.NextSync(), reloadTimes.at(0) + 2 * kHour);
}

TEST_F(SyncSchedule, SyncNowShowsSyncAtOnceAndRunsAtTheNextCheck) {
  ASSERT_TRUE(Begin());
  ASSERT_TRUE(RunTicks(2));
  EXPECT_EQ(e.core.FState, ssReady);
  e.core.SetNextSync(e.clock.Now());  // cmdSyncNow
  ASSERT_TRUE(RunTicks(1));
  EXPECT_EQ(e.core.FState, ssSync);
  ASSERT_TRUE(RunTicks(TSyncThread::kCheckEvery - 4));  // up to tick 20
  EXPECT_EQ(sync->copyRuns, 0u);
  EXPECT_EQ(e.core.FState, ssSync);
  ASSERT_TRUE(RunTicks(1));  // tick 21
  EXPECT_EQ(sync->copyRuns, 1u);
  EXPECT_EQ(e.core.FState, ssReady);
}

TEST_F(SyncSchedule, ReloadDuringTheRunKeepsNewTagsAndTheRunsResults) {
  const DateTime old = start - 10;
  const std::vector<TTagItem> conf = {MakeTag("C:\\Docs\\", "a.txt", 0, 1, old),
                                      MakeTag("C:\\", "Proj", 2, 10, old)};
  e.onReload = [&] { e.core.SetTags(conf); };
  e.core.SetNextSync(start - kOneMinute);
  DateTime copied = 0;
  sync->copyStage = [&](std::vector<TTagItem>& tags, const std::string&) {
    copied = e.clock.Now();
    tags[0].Size = 5;
    tags[0].LastSync = copied;
    // cmdReload on the main thread: the front end added a tag and rewrote conf.xml.
    std::vector<TTagItem> reloaded = conf;
    reloaded.push_back(MakeTag("D:\\New\\", "n.txt", 1, 3, NeverSyncDate));
    e.core.SetTags(reloaded);
  };
  ASSERT_TRUE(Begin());
  const std::vector<TTagItem> tags = e.core.Tags();
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[0].Size, 5u);
  EXPECT_DOUBLE_EQ(tags[0].LastSync, copied);
  EXPECT_EQ(tags[1].Size, 10u);
  EXPECT_DOUBLE_EQ(tags[1].LastSync, old);
  EXPECT_EQ(tags[2].Caption, "n.txt");
  EXPECT_EQ(tags[2].Size, 3u);
  ASSERT_EQ(e.Saves(), 1u);
  ASSERT_EQ(e.SavedStates()[0].tags.size(), 3u);
  EXPECT_EQ(e.SavedStates()[0].tags[0].Size, 5u);
}

// The real copy stage on real folders: two file tags of a scratch folder, a.txt and second,
// due at once, the first tag's copy made and the second's not when the server ends.
class TwoFileRun {
 public:
  explicit TwoFileRun(const std::string& second) : second_(second) {
    for (const std::string& name : {std::string("a.txt"), second}) {
      made_ = test::WriteFileBytes(source + name, name) && made_;
      TTagItem tag = MakeTag(source, name, 0, 7, NeverSyncDate);
      tag.TargetSub = MakeTargetSub(source);
      tags_.push_back(tag);
    }
    e.core.SetTags(tags_);
    e.core.SetTargetPath(target);
    e.core.SetLastSync(NeverSyncDate);
    e.core.SetNextSync(e.clock.Now() - kOneMinute);
  }
  ~TwoFileRun() {
    test::RemoveTree(source);
    test::RemoveTree(target);
  }
  bool Made() const { return made_; }

  // The one save: the first tag's results, the second as it was, no completed run.
  void ExpectFirstTagSavedAlone() {
    ASSERT_EQ(e.Saves(), 1u);
    const std::vector<TTagItem> saved = e.SavedStates()[0].tags;
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].Size, 1u);
    EXPECT_GT(saved[0].LastSync, NeverSyncDate);
    EXPECT_EQ(saved[1].Size, 7u);
    EXPECT_EQ(saved[1].LastSync, NeverSyncDate);
    const std::string copy = target + source.substr(0, 1) + source.substr(2) + second_;
    EXPECT_EQ(GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES);
    // No completed run: the last-sync time stays, and the run stays due.
    EXPECT_EQ(e.SavedStates()[0].settings.LastSync, NeverSyncDate);
    EXPECT_LE(e.core.NextSync(), e.clock.Now());
  }

  FakeEngine e;
  const std::string source = test::MakeScratchFolder("endsrc");
  const std::string target = test::MakeScratchFolder("endtgt");

 private:
  std::string second_;
  std::vector<TTagItem> tags_;
  bool made_ = true;
};

TEST(SyncThreadEnd, TheServersEndStopsTheRunAtItsNextTagAndSavesWhatItFinished) {
  TwoFileRun run("b.txt");
  ASSERT_TRUE(run.Made());
  Thread* server = nullptr;
  unsigned holds = 0;
  // The form's own hold point: the server ends as the run reaches its second tag.
  run.e.ctx.holdPoint = [&] {
    if (++holds == 2) server->Terminate();
  };
  TSyncThread sync(run.e.ctx, false);
  server = &sync;
  ASSERT_TRUE(sync.Start(THREAD_PRIORITY_NORMAL));
  sync.WaitFor();
  run.ExpectFirstTagSavedAlone();
}

// Windows' CopyFileEx asks its progress routine after each chunk and gives up when told to;
// Wine's finishes every copy, so a stand-in copies the second file's first part and then waits
// for the stop as a copy of many gigabytes would, leaving its part behind.
TEST(SyncThreadEnd, TheServersEndStopsTheCopyInHandRemovesItsPartAndKeepsThatTagAsItWas) {
  TwoFileRun run("big.bin");
  ASSERT_TRUE(run.Made());
  std::atomic<bool> inBigCopy{false};
  std::string partPath;
  run.e.ctx.copyFile = [&](const std::string& from, const std::string& to, bool failIfExists,
                           const StopCheck& stop) {
    if (from.find("big.bin") == std::string::npos) return SystemFileCopy(from, to, failIfExists, stop);
    partPath = to;
    test::WriteFileBytes(to, "half");
    inBigCopy = true;
    while (!stop()) Sleep(1);
    SetLastError(ERROR_REQUEST_ABORTED);
    return false;
  };
  TSyncThread sync(run.e.ctx, false);
  ASSERT_TRUE(sync.Start(THREAD_PRIORITY_IDLE));
  ASSERT_TRUE(WaitUntil([&] { return inBigCopy.load(); }, 30000));
  sync.Terminate();
  ASSERT_TRUE(sync.WaitFor(30000)) << "the copy in hand was not told to stop";
  run.ExpectFirstTagSavedAlone();
  EXPECT_EQ(GetFileAttributesA(partPath.c_str()), INVALID_FILE_ATTRIBUTES) << "the part stays";
  EXPECT_TRUE(run.e.Dialogs().empty()) << "a copy given up at the end is no failed copy";
}

TEST(SyncThreadTarget, AsksTheRootOfTheTargetAndCountsFailuresAsMissing) {
  FakeEngine e;
  TSyncThread sync(e.ctx, false);
  e.core.SetTargetPath("F:\\Copies\\Here\\");
  sync.CheckTarget();
  EXPECT_TRUE(sync.TargetAvailable);
  e.volumes.SetAnswers("F:\\", false);
  sync.CheckTarget();
  EXPECT_FALSE(sync.TargetAvailable);
  e.core.SetTargetPath("G:\\");
  e.volumes.SetThrows(true);
  sync.TargetAvailable = true;
  sync.CheckTarget();
  EXPECT_FALSE(sync.TargetAvailable);
  e.volumes.SetThrows(false);
  for (const char* shortTarget : {"", "G:"}) {
    e.core.SetTargetPath(shortTarget);
    sync.TargetAvailable = true;
    sync.CheckTarget();
    EXPECT_FALSE(sync.TargetAvailable) << shortTarget;
  }
  EXPECT_EQ(e.volumes.RootsAsked(), (std::vector<std::string>{"F:\\", "F:\\", "G:\\"}));
}

TEST(SyncThreadLifetime, StartsItselfAndLendsItsHoldPointOnlyWhileItLives) {
  FakeEngine e;
  e.core.SetTargetPath("E:\\");
  e.core.SetNextSync(e.clock.Now() - kOneMinute);
  e.clock.Gate();
  {
    TSyncThread sync(e.ctx);
    const UngateOnExit ungate{e.clock};
    EXPECT_TRUE(static_cast<bool>(e.ctx.holdPoint));
    ASSERT_TRUE(e.clock.WaitUntilBlocked());
    ASSERT_TRUE(e.clock.StepUntilSleep(TSyncThread::kTickWaitMs, 4));
    EXPECT_EQ(e.Saves(), 1u);
    EXPECT_EQ(e.Reloads(), 1u);
  }
  EXPECT_FALSE(static_cast<bool>(e.ctx.holdPoint));
  bool called = false;
  e.ctx.holdPoint = [&] { called = true; };
  {
    TSyncThread sync(e.ctx, false);
    e.ctx.holdPoint();
  }
  EXPECT_TRUE(called);  // a hold point of the form's own is kept
  EXPECT_TRUE(static_cast<bool>(e.ctx.holdPoint));
}

}  // namespace
}  // namespace qm
