// The clock seam: everything that reads the time or waits goes through a Clock, so that the
// schedule and the log can be driven by a fake clock in tests.
#pragma once

#include "base/datetime.h"

namespace qm {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() = 0;             // local time
  virtual void Sleep(unsigned ms) = 0;    // wait on the calling thread
};

// The machine's clock and Win32 Sleep.
Clock& SystemClock();

}  // namespace qm
