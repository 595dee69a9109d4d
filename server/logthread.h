// The log writer: AddLine stamps and queues a line and returns at once; the writer thread
// appends the queue to "quillmere.log" every 100 ms.
//
// Threads: AddLine runs on any thread; Execute and Flush on the writer thread only. The queue
// lines_ is guarded by queueLock_, held for one list operation at a time and never while the
// file is open. Ready_ is the hand-off flag: false while a writer adds a line.
#pragma once

#include "base/clock.h"
#include "base/thread.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <string>

namespace qm {

class TLogThread : public Thread {
 public:
  // logFolder is the installation folder, as a rule ending in "\"; the file is
  // logFolder + "quillmere.log". Starts the thread at below-normal priority.
  explicit TLogThread(const std::string& logFolder, Clock& clock = SystemClock());
  ~TLogThread() override;  // stops the thread, then drops what is still queued

  void AddLine(const std::string& text);

  const std::string& FileName() const { return fileName_; }
  size_t QueuedLines() const;  // for tests

 protected:
  void Execute() override;

 private:
  void Flush();
  bool TakeFirst(std::string& line);

  std::string fileName_;
  Clock& clock_;
  std::atomic<bool> ready_{false};
  mutable std::mutex queueLock_;
  std::deque<std::string> lines_;
};

// The server's one log writer, from start-up to shut-down; null outside that time.
extern TLogThread* LogThread;

// Queues text on LogThread when there is one.
void LogLine(const std::string& text);

}  // namespace qm
