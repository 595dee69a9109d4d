#include "base/clock.h"

namespace qm {
namespace {

class RealClock final : public Clock {
 public:
  DateTime Now() override { return NowLocal(); }
  void Sleep(unsigned ms) override { ::Sleep(ms); }
  bool Wait(unsigned ms, HANDLE stop) override {
    return WaitForSingleObject(stop, ms) == WAIT_OBJECT_0;
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace qm
