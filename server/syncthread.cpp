#include "server/syncthread.h"

#include "server/copyrun.h"
#include "server/problems.h"

namespace qm {

TSyncThread* SyncThread = nullptr;

TSyncThread::TSyncThread(EngineContext& ctx, bool start) : ctx_(ctx) {
  // The copy run parks here between files, so that cmdSuspend can hold a long run midway
  // without the sync thread owning any guard while it waits.
  if (!ctx_.holdPoint) {
    ctx_.holdPoint = [this] { HoldPoint(); };
    ownsHoldPoint_ = true;
  }
  // The server's end stops a run in the copy in hand or at its next file, not after the whole
  // run, so that it ends in the seconds that the session's end allows.
  if (!ctx_.stopRequested) {
    ctx_.stopRequested = [this] {
      if (Terminated()) runCut_ = true;
      return runCut_;
    };
    ownsStopCheck_ = true;
  }
  if (start) Start(THREAD_PRIORITY_IDLE);
}

TSyncThread::~TSyncThread() {
  Terminate();
  WaitFor();
  // The context outlives this thread; it must not keep a call into a freed object.
  if (ownsHoldPoint_) ctx_.holdPoint = nullptr;
  if (ownsStopCheck_) ctx_.stopRequested = nullptr;
}

void TSyncThread::CheckTarget() {
  TargetAvailable = false;
  try {
    const std::string target = ctx_.core.TargetPath();
    // Fewer than three characters name no volume root; asked anyway, the volume query may
    // answer for the current folder's volume, and the run would copy below a relative path.
    if (target.size() < 3) return;
    TargetAvailable = ctx_.volumes.VolumeAnswers(target.substr(0, 3));
  } catch (...) {
    // A query that fails counts as a missing target.
  }
}

// The copy run reports a full target itself and returns, so the run's times and its save follow.
void TSyncThread::SyncAll(std::vector<TTagItem>& tags, const std::string& target) {
  CopyTags(tags, target);
}

void TSyncThread::CopyTags(std::vector<TTagItem>& tags, const std::string& target) {
  CopyRun(ctx_).SyncAll(tags, target);
}

void TSyncThread::Execute() {
  unsigned tick = 0;
  while (!Terminated()) {
    HoldPoint();
    // A release by Terminate must not start one more tick, which might begin a whole run.
    if (Terminated()) break;
    Tick(tick);
    ++tick;
    ++Ticks;
    Pause(ctx_.clock, kTickWaitMs);
  }
}

void TSyncThread::Tick(unsigned tick) {
  try {
    ServerCore& core = ctx_.core;
    if (!TargetAvailable)
      ShowState(ssNoTarget);
    else
      ShowState(ctx_.clock.Now() + kSyncAhead >= core.NextSync() ? ssSync : ssReady);

    if (tick % kCheckEvery == 0) {
      CheckTarget();
      if (ctx_.clock.Now() >= core.NextSync()) DueRun();
    }
  } catch (...) {
    // A failed tick is dropped; the run, if one had begun, is due again at the next check.
  }
}

void TSyncThread::DueRun() {
  ServerCore& core = ctx_.core;
  ShowState(ssSync);
  // Ending, the server starts no run; it stays due.
  if (Pause(ctx_.clock, kRunPauseMs) || Terminated()) return;
  const bool confRead = !ctx_.reload || ctx_.reload();
  const DateTime runStart = ctx_.clock.Now();
  core.SetNextSync(runStart);
  if (!confRead) {
    // The tags are unknown while another program writes conf.xml: a run over none would
    // report a sync that never happened. The run stays due for the next check.
    ShowState(TargetAvailable ? ssReady : ssNoTarget);
    return;
  }
  CheckTarget();
  if (TargetAvailable) {
    core.FSilent = false;
    ShowState(ssSync);
    // The run copies its own list: a reload during the run replaces the shared list without
    // touching what the run works on, and the main thread never waits for the run.
    const std::vector<TTagItem> before = core.Tags();
    std::vector<TTagItem> run = before;
    runCut_ = false;
    core.BeginRun(before);
    SyncAll(run, core.TargetPath());
    if (runCut_) {
      // Ended at a file by the server's end: the tags it finished keep their results, but it
      // is no completed run, so the last-sync time stays and the run stays due.
      core.FinishRun(before, run, core.LastSync());
    } else {
      core.FinishRun(before, run, runStart);
      core.SetNextSync(ctx_.clock.Now() + core.SyncPeriod());
    }
  } else {
    ReportProblem(ctx_, "", pkNoTarget);
  }
  if (ctx_.save) ctx_.save();
  Pause(ctx_.clock, kRunPauseMs);
  ShowState(TargetAvailable ? ssReady : ssNoTarget);
}

void TSyncThread::ShowState(uint8_t state) {
  // While cmdSuspend holds the thread the state is its ssStopped, until a tick after the
  // release sets it again; a status read must not even catch a passing other value.
  if (HoldCount() > 0) return;
  ctx_.core.FState = state;
  // A hold that came between the test and the store has set ssStopped before or will set it
  // after ours; either way ssStopped must be what stays.
  if (HoldCount() > 0) ctx_.core.FState = ssStopped;
}

}  // namespace qm
