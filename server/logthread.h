// The log writer: AddLine stamps and queues a line and returns at once; the writer thread
// appends the queue to "quillmere.log" every 100 ms, and once more when it is told to end.
//
// Threads: AddLine runs on any thread; Execute and Flush on the writer thread only. The queue
// lines_ is guarded by queueLock_, held for one list operation at a time and never while the
// file is open. ready_ is the hand-off flag: false until the first line is queued and while a
// writer adds a line; the writer thread takes lines only while it is true.
#pragma once

#include "base/clock.h"
#include "base/handles.h"
#include "base/thread.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace qm {

// Appends bytes to the open log file; true when all of them got there. A seam, so that tests
// can make a write fail in the middle of a flush.
using LogFileWrite = std::function<bool(HANDLE file, const std::string& bytes)>;

class TLogThread : public Thread {
 public:
  // logFolder is the installation folder, as a rule ending in "\"; the file is
  // logFolder + "quillmere.log". Starts the thread at below-normal priority.
  explicit TLogThread(const std::string& logFolder, Clock& clock = SystemClock(),
                      LogFileWrite write = {});
  // Stops the thread, which first writes the lines queued at that moment; drops what is left.
  ~TLogThread() override;

  void AddLine(const std::string& text);

  const std::string& FileName() const { return fileName_; }
  size_t QueuedLines() const;  // for tests

 protected:
  void Execute() override;

 private:
  void Flush(size_t most);  // writes at most that many of the queued lines
  bool HasLines() const;
  bool TakeFirst(std::string& line);
  void PutBack(std::string line);

  std::string fileName_;
  Clock& clock_;
  LogFileWrite write_;
  std::atomic<bool> ready_{false};
  mutable std::mutex queueLock_;
  std::deque<std::string> lines_;
};

// The server's one log writer, from start-up to shut-down; null outside that time.
extern TLogThread* LogThread;

// Queues text on LogThread when there is one.
void LogLine(const std::string& text);

}  // namespace qm
