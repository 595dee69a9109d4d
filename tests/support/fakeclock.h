// The one stand-in for the clock seam. Time stands where the test puts it; what a wait does is
// the test's choice: pass fake time at once (the default, so engine tests run hundreds of
// one-second ticks in milliseconds), wait for real (a worker keeps its rhythm), or wait only
// briefly. Gated, each wait also waits for a pass from the test, so the test can look at the
// worker between any two waits: Step() lets one wait finish and returns when the worker is
// waiting again. A wait with a stop event (Wait) ends as soon as the event is set, without a
// pass. Hooks let a test act inside Now or at the start of a wait.
//
// Threads: used from the worker under test and from the test's thread at once; the state is
// guarded by one lock, never held while a hook runs or a real wait lasts.
#pragma once

#include "base/clock.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace qm::test {

class FakeClock final : public Clock {
 public:
  static constexpr unsigned kDefaultTimeoutMs = 30000;

  enum class Waits {
    Pass,   // the time moves on by the wait's length; no real time passes
    Real,   // waits the full time for real; the time stands still
    Brief,  // waits at most a few milliseconds for real, so waiting threads still yield
  };

  explicit FakeClock(DateTime start = 45000.5, Waits waits = Waits::Pass);  // 15 March 2023, noon

  DateTime Now() override;  // throws while FailNow is set
  void Sleep(unsigned ms) override;
  // As Sleep, but a signalled stop ends the wait at once, gated or not, and no time passes.
  bool Wait(unsigned ms, HANDLE stop) override;

  void SetNow(DateTime t);
  void Advance(DateTime days);
  void SetWaits(Waits waits);
  std::atomic<bool> FailNow{false};

  // Run on the calling thread, outside the clock's lock: onNow at the start of every Now,
  // onSleep at the start of every wait with its length.
  void SetHooks(std::function<void()> onNow, std::function<void(unsigned)> onSleep);

  void Gate();
  void Ungate();  // also frees every waiting sleeper
  void Let(unsigned passes);
  // Waits (real time) until count sleepers are waiting with no pass left for them.
  bool WaitUntilBlocked(unsigned count = 1, unsigned timeoutMs = kDefaultTimeoutMs);
  // Let(1), then WaitUntilBlocked(); false when the worker did not come back in time.
  bool Step(unsigned timeoutMs = kDefaultTimeoutMs);
  // Steps until a sleeper waits with exactly ms milliseconds; at most maxSteps steps.
  bool StepUntilSleep(unsigned ms, unsigned maxSteps, unsigned timeoutMs = kDefaultTimeoutMs);
  // Waits (real time) until count waits of exactly ms milliseconds have ended.
  bool WaitForFinishedSleeps(unsigned ms, size_t count, unsigned timeoutMs = kDefaultTimeoutMs);

  unsigned BlockedMs() const;  // milliseconds of the latest sleeper that began to wait
  std::vector<unsigned> FinishedSleeps() const;  // in the order they ended
  unsigned StoppedWaits() const;  // waits that a stop ended early

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  DateTime now_;
  Waits waits_;
  std::function<void()> onNow_;
  std::function<void(unsigned)> onSleep_;
  bool gated_ = false;
  unsigned passes_ = 0;
  unsigned blocked_ = 0;
  unsigned blockedMs_ = 0;
  std::vector<unsigned> finished_;
  unsigned stoppedWaits_ = 0;

  bool WaitOrStop(unsigned ms, HANDLE stop);  // stop may be null
};

}  // namespace qm::test
