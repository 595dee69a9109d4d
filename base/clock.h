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
  // Waits like Sleep, but ends as soon as stop (an event) is signalled: a wait that only passes
  // time must not hold back a program that is ending. True when stop ended it.
  virtual bool Wait(unsigned ms, HANDLE stop) = 0;
};

// The machine's clock and Win32 Sleep.
Clock& SystemClock();

}  // namespace qm
