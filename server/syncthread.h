// The sync schedule: a thread that ticks about once a second, keeps FState, checks the target
// every 21st tick (the first tick included) and runs a due copy run.
//
// Threads: Execute runs on the sync thread at idle priority. It touches shared data only
// through ServerCore (guarded there) and hands the reload to the main thread through
// ctx.reload. Holds (cmdSuspend) take effect at HoldPoint, where it owns no lock; so does the
// termination request, which ends a run there (ctx.stopRequested) and stops the copy in hand.
// Every wait that only passes time is a Pause, which the termination request ends at once.
#pragma once

#include "base/thread.h"
#include "server/engine.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

class TSyncThread : public Thread {
 public:
  // A check of the target, and of a due run, comes on every this many ticks.
  static constexpr unsigned kCheckEvery = 21;
  static constexpr unsigned kTickWaitMs = 1000;
  static constexpr unsigned kRunPauseMs = 100;  // before the reload and after the save
  static constexpr DateTime kSyncAhead = 7 * kOneSecond;

  // Starts the thread (idle priority) at once unless start is false (tests start it later).
  explicit TSyncThread(EngineContext& ctx, bool start = true);
  ~TSyncThread() override;

  void CheckTarget();
  // The copy stage of a due run, over the run's own copy of the tag list.
  void SyncAll(std::vector<TTagItem>& tags, const std::string& target);

  std::atomic<bool> TargetAvailable{true};
  std::atomic<unsigned> Ticks{0};  // ticks completed, for tests

 protected:
  void Execute() override;
  // The copying itself (the copy run); schedule tests stand in for it.
  virtual void CopyTags(std::vector<TTagItem>& tags, const std::string& target);

 private:
  void Tick(unsigned tick);
  void DueRun();
  void ShowState(uint8_t state);

  EngineContext& ctx_;
  bool ownsHoldPoint_ = false;
  bool ownsStopCheck_ = false;
  bool runCut_ = false;  // the run in hand was told to stop (sync thread only)
};

// The server's one sync thread, from start-up to shut-down; null outside that time.
extern TSyncThread* SyncThread;

}  // namespace qm
