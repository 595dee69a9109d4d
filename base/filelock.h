// One lock that the two programs take around their read, merge and replacement of one file, so
// that neither swaps in a text built from a read that the other's write has made stale.
//
// It is a named mutex, named after the file's full path. A kernel object's name takes no
// backslash after its namespace, so the name carries a hash of the path, upper-cased because
// Windows file names do not tell letter case apart. "Local\" is the namespace of the user's
// session, where both programs run.
//
// Threads: a mutex belongs to the thread that took it, so Acquire and Release run on one thread.
// A holder never waits for the other program while it holds the lock.
#pragma once

#include "base/handles.h"

#include <functional>
#include <string>

namespace qm {

class FileWriteLock {
 public:
  // About a second: longer than any holder needs for its read, merge and swap, short enough
  // that a hung holder only delays a save, which then goes on without the lock.
  static constexpr unsigned kWaitMs = 1000;

  explicit FileWriteLock(const std::string& path);  // does not take the lock yet
  ~FileWriteLock();                                 // releases it if held
  FileWriteLock(const FileWriteLock&) = delete;
  FileWriteLock& operator=(const FileWriteLock&) = delete;

  // Takes the lock, waiting at most waitMs; a holder that ended without releasing it (an
  // abandoned mutex) counts as gone. False when another holder kept it that long, or when no
  // lock could be made: the caller then goes on without it. onBusy, when given, runs once when
  // another holder is found, before the wait (tests learn so that a save is waiting).
  bool Acquire(unsigned waitMs = kWaitMs, const std::function<void()>& onBusy = {});
  void Release();
  bool Held() const { return held_; }

  // The lock's name for path: the same in both programs for every spelling of the path that
  // names the same file through the same folders.
  static std::string NameFor(const std::string& path);

 private:
  UniqueKernelHandle mutex_;
  bool held_ = false;
};

}  // namespace qm
