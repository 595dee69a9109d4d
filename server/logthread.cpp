#include "server/logthread.h"

#include "tools/tools.h"

#include <cstdint>
#include <utility>

namespace qm {

TLogThread* LogThread = nullptr;

namespace {

constexpr unsigned kPassIntervalMs = 100;
constexpr unsigned kPauseAfterLineMs = 1;
// Windows' Sleep(0) gives the processor only to threads of at least the caller's priority; the
// writer this thread waits for may be the idle-priority sync thread, which would then starve
// while this one spins.
constexpr unsigned kReadyWaitMs = 1;

bool WriteWhole(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

TLogThread::TLogThread(const std::string& logFolder, Clock& clock, LogFileWrite write)
    : fileName_(logFolder + "quillmere.log"),
      clock_(clock),
      write_(write ? std::move(write) : LogFileWrite(WriteWhole)) {
  Start(THREAD_PRIORITY_BELOW_NORMAL);
}

TLogThread::~TLogThread() {
  // The thread must be gone before the queue it reads; what it has not written by then is
  // dropped (its last pass writes what was queued when it was told to end).
  Terminate();
  WaitFor();
  std::lock_guard<std::mutex> hold(queueLock_);
  lines_.clear();
}

void TLogThread::AddLine(const std::string& text) {
  ready_ = false;
  try {
    // Stamped now, not when written: a line that waits out a locked file keeps its own time.
    std::string line = DateTimeToText(clock_.Now(), FmtSettings) + ": " + text;
    std::lock_guard<std::mutex> hold(queueLock_);
    lines_.push_back(std::move(line));
  } catch (...) {
    // Logging must never fail its caller; the line is lost, the writer goes on.
  }
  ready_ = true;
}

size_t TLogThread::QueuedLines() const {
  std::lock_guard<std::mutex> hold(queueLock_);
  return lines_.size();
}

void TLogThread::Execute() {
  while (!Terminated()) {
    if (ready_ && HasLines()) {
      try {
        Flush(SIZE_MAX);
      } catch (...) {
        // The lines not yet taken stay queued for the next pass.
      }
    }
    Pause(clock_, kPassIntervalMs);
  }
  // The server's last lines ("Stoped.") are written before its end goes on; only those queued
  // now, so that a writer that goes on queueing cannot keep this thread from ending.
  try {
    Flush(QueuedLines());
  } catch (...) {
  }
}

void TLogThread::Flush(size_t most) {
  // OPEN_ALWAYS appends to the log that is there and creates a missing one in the same step;
  // a log that merely cannot be opened this time (locked, read-only) is never emptied, and
  // the lines wait for the next pass.
  UniqueFile file(CreateFileA(fileName_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  if (!SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END)) return;
  for (size_t written = 0; written < most && HasLines();) {
    if (!ready_) {
      clock_.Sleep(kReadyWaitMs);
      continue;
    }
    LARGE_INTEGER lineStart{};
    if (!SetFilePointerEx(file.get(), LARGE_INTEGER{}, &lineStart, FILE_CURRENT)) return;
    std::string line;
    if (!TakeFirst(line)) break;
    if (!write_(file.get(), line + "\r\n")) {
      // A full disk may have taken part of the line: a fragment without its line end would
      // run into the line written again later, so the file goes back to where the line began.
      if (SetFilePointerEx(file.get(), lineStart, nullptr, FILE_BEGIN)) SetEndOfFile(file.get());
      // Back to the front, so that the line is neither lost nor overtaken by later ones.
      PutBack(std::move(line));
      return;
    }
    ++written;
    clock_.Sleep(kPauseAfterLineMs);
  }
}

bool TLogThread::HasLines() const {
  std::lock_guard<std::mutex> hold(queueLock_);
  return !lines_.empty();
}

bool TLogThread::TakeFirst(std::string& line) {
  std::lock_guard<std::mutex> hold(queueLock_);
  if (lines_.empty()) return false;
  line = std::move(lines_.front());
  lines_.pop_front();
  return true;
}

void TLogThread::PutBack(std::string line) {
  std::lock_guard<std::mutex> hold(queueLock_);
  lines_.push_front(std::move(line));
}

void LogLine(const std::string& text) {
  if (LogThread) LogThread->AddLine(text);
}

}  // namespace qm
