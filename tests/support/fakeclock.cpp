#include "support/fakeclock.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace qm::test {

using Guard = std::lock_guard<std::mutex>;

namespace {
constexpr unsigned kBriefWaitMs = 5;
}  // namespace

FakeClock::FakeClock(DateTime start, Waits waits) : now_(start), waits_(waits) {}

DateTime FakeClock::Now() {
  std::function<void()> hook;
  {
    Guard g(lock_);
    hook = onNow_;
  }
  if (hook) hook();
  if (FailNow) throw std::runtime_error("clock unavailable");
  Guard g(lock_);
  return now_;
}

void FakeClock::Sleep(unsigned ms) { WaitOrStop(ms, nullptr); }

bool FakeClock::Wait(unsigned ms, HANDLE stop) { return WaitOrStop(ms, stop); }

bool FakeClock::WaitOrStop(unsigned ms, HANDLE stop) {
  std::function<void(unsigned)> hook;
  {
    Guard g(lock_);
    hook = onSleep_;
  }
  if (hook) hook(ms);
  const auto stopped = [stop] { return stop && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0; };
  bool woken = stopped();
  Waits waits;
  {
    std::unique_lock<std::mutex> hold(lock_);
    if (gated_ && !woken) {
      ++blocked_;
      blockedMs_ = ms;
      changed_.notify_all();
      const auto passed = [this] { return !gated_ || passes_ > 0; };
      if (!stop) {
        changed_.wait(hold, passed);
      } else {
        // The event cannot wake the condition: it is looked at every few milliseconds.
        while (!passed() && !(woken = stopped()))
          changed_.wait_for(hold, std::chrono::milliseconds(kBriefWaitMs));
      }
      if (!woken && gated_) --passes_;
      --blocked_;
    }
    waits = waits_;
  }
  if (!woken && stop && waits != Waits::Pass)
    woken = WaitForSingleObject(stop, waits == Waits::Real ? ms : std::min(ms, kBriefWaitMs)) ==
            WAIT_OBJECT_0;
  else if (!woken && waits == Waits::Real)
    ::Sleep(ms);
  else if (!woken && waits == Waits::Brief)
    ::Sleep(std::min(ms, kBriefWaitMs));
  {
    Guard g(lock_);
    // The time passes when the wait ends, as it would in a real one: a test looking at a
    // waiting worker still sees the time at which the wait began.
    if (woken) {
      ++stoppedWaits_;
    } else {
      if (waits == Waits::Pass) now_ += ms / kMsPerDay;
      finished_.push_back(ms);
    }
    changed_.notify_all();
  }
  // Workers on fake time run in a tight loop; let the test's thread in.
  std::this_thread::yield();
  return woken;
}

void FakeClock::SetNow(DateTime t) {
  Guard g(lock_);
  now_ = t;
}

void FakeClock::Advance(DateTime days) {
  Guard g(lock_);
  now_ += days;
}

void FakeClock::SetWaits(Waits waits) {
  Guard g(lock_);
  waits_ = waits;
}

void FakeClock::SetHooks(std::function<void()> onNow, std::function<void(unsigned)> onSleep) {
  Guard g(lock_);
  onNow_ = std::move(onNow);
  onSleep_ = std::move(onSleep);
}

void FakeClock::Gate() {
  Guard g(lock_);
  gated_ = true;
  passes_ = 0;
}

void FakeClock::Ungate() {
  Guard g(lock_);
  gated_ = false;
  passes_ = 0;
  changed_.notify_all();
}

void FakeClock::Let(unsigned passes) {
  Guard g(lock_);
  passes_ += passes;
  changed_.notify_all();
}

bool FakeClock::WaitUntilBlocked(unsigned count, unsigned timeoutMs) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                           [&] { return blocked_ >= count && passes_ == 0; });
}

bool FakeClock::Step(unsigned timeoutMs) {
  Let(1);
  return WaitUntilBlocked(1, timeoutMs);
}

bool FakeClock::StepUntilSleep(unsigned ms, unsigned maxSteps, unsigned timeoutMs) {
  for (unsigned i = 0; i < maxSteps; ++i) {
    if (!Step(timeoutMs)) return false;
    if (BlockedMs() == ms) return true;
  }
  return false;
}

bool FakeClock::WaitForFinishedSleeps(unsigned ms, size_t count, unsigned timeoutMs) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
    return static_cast<size_t>(std::count(finished_.begin(), finished_.end(), ms)) >= count;
  });
}

unsigned FakeClock::BlockedMs() const {
  Guard g(lock_);
  return blockedMs_;
}

std::vector<unsigned> FakeClock::FinishedSleeps() const {
  Guard g(lock_);
  return finished_;
}

unsigned FakeClock::StoppedWaits() const {
  Guard g(lock_);
  return stoppedWaits_;
}

}  // namespace qm::test
