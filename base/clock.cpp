#include "base/clock.h"

namespace qm {
namespace {

class RealClock final : public Clock {
 public:
  DateTime Now() override { return NowLocal(); }
  void Sleep(unsigned ms) override { ::Sleep(ms); }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace qm
