// conf.xml: the server's load and save.
//
// Threads: Load runs on the main thread only; Save on the main or the sync thread, and two
// saves never interleave (ServerCore::SaveLock). Neither reports anything or lets a failure
// out.
//
// The configuration program rewrites the file at any time. A save never replaces a file that
// differs from what this server last read or wrote: it loads that file first
// (ServerCore::TakeLoaded with the server's own newer facts kept) and then writes. The look and
// the swap are one step against the configuration program's read, merge and swap: both take
// the file's FileWriteLock around exactly that.
//
// A load that stops early leaves on disk tags that the server does not hold. A file that the
// load could not open at all (held by a writer) is not overwritten until a later load reads
// it. A file read in part (not well-formed, a bad element or item) is kept beside itself, as
// "conf.xml.unread" (then "conf.xml.unread.2" ... when earlier kept copies differ), before the
// next save overwrites it; a save that cannot keep the copy leaves conf.xml alone.
#pragma once

#include "base/clock.h"
#include "base/datetime.h"
#include "server/servercore.h"
#include "tools/confvalues.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct LoadOutcome {
  bool fileRead = false;  // the file was there, readable and well-formed
  bool complete = false;  // every element was read
  bool held = false;      // the file is there but could not be opened (a writer holds it)
  bool tookRunResults = false;  // the list took results of runs kept for it: save them
};

// The exact text the server writes: declaration, one element per line, CR LF after each.
// Texts are the system code page's; where that is not Windows-1251, characters are written as
// the declared encoding's bytes or, lacking one, as character references, so that every name
// reads back as it was.
std::string BuildConfigText(const ServerSettings& settings, bool silent,
                            const std::vector<TTagItem>& tags);

// The due-time rule after a load: the next run never moves later, and moves earlier when the
// period shrank or the last sync lies further back.
void MoveNextSyncEarlier(ServerCore& core, DateTime now);

class ConfigFile {
 public:
  static constexpr int kMaxKeptCopies = 20;

  // clock gives the time of the due-time rule when a save loads a file another program wrote.
  explicit ConfigFile(std::string path, Clock& clock = SystemClock())
      : path_(std::move(path)), clock_(clock) {}

  // Reads the file into core (settings, FSilent, tags), then applies the due-time rule
  // with now. Whatever the load does not reach keeps its previous value.
  LoadOutcome Load(ServerCore& core, DateTime now);
  // tookNewerFile, when given, tells whether the save loaded a file that another program wrote.
  // waitMs, when given, bounds each wait of the save: for a save in hand, and for the other
  // program's lock (the server's end has only seconds); a save that cannot start in time
  // writes nothing.
  bool Save(ServerCore& core, bool* tookNewerFile = nullptr,
            std::optional<unsigned> waitMs = std::nullopt);

  const std::string& Path() const { return path_; }
  // The n-th name (1-based) for keeping a file that a load did not read to its end.
  std::string KeptCopyPath(int n) const;

  // Called by a save between its decision (the text built) and its look at conf.xml before
  // swapping the text in: tests hold the save there while another program writes the file.
  // The hold comes inside the programs' FileWriteLock.
  void SetSaveHold(std::function<void()> hold) { saveHold_ = std::move(hold); }
  // Called when a save finds the other program holding the FileWriteLock, before it waits.
  void SetLockBusyHook(std::function<void()> hook) { lockBusy_ = std::move(hook); }

 private:
  struct FileRead;
  // The caller holds core's SaveLock.
  LoadOutcome Take(ServerCore& core, FileRead read, bool keepOwnFacts);
  bool StillAsKnown() const;
  bool KeepUnreadFile();

  std::string path_;
  Clock& clock_;
  std::function<void()> saveHold_;
  std::function<void()> lockBusy_;
  // The bytes this server last read from or wrote to the file, under core's SaveLock; empty
  // when it knows none (no file, or one held open by a writer).
  std::optional<std::string> known_;
  // Nonzero while the last load stopped early on an existing file: bit 0 set when it could not
  // even open it. Each such load draws a new value, so that a save clears only the mark of the
  // load it has dealt with.
  std::atomic<uint64_t> unreadMark_{0};
  std::atomic<uint64_t> markCounter_{0};
};

}  // namespace qm
