// The settings, state and tag list of the server, shared by the main thread, the sync thread
// and the log of problems.
//
// Guards: the date-time fields, the period, the target path and the tag list sit under one
// short lock (lock_), held only to copy values in or out, never across file I/O, a dialog or a
// wait. FState and FSilent are atomic bytes. saveLock_ makes each load and each save of
// conf.xml one step against the others: it is held around their reading and writing of the
// file, never while waiting for another thread.
#pragma once

#include "base/datetime.h"
#include "server/tagitem.h"
#include "tools/protocol.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct ServerSettings {
  DateTime LastSync = 0;
  DateTime NextSync = 0;
  double SyncPeriod = 1.0 / 24;  // days
  std::string TargetPath;
};

// What a load read from conf.xml. A setting that the load did not reach is empty; the tags
// are those read before the load stopped.
struct LoadedConfig {
  std::optional<DateTime> lastSync;
  std::optional<double> syncPeriod;
  std::optional<std::string> targetPath;
  std::optional<bool> silent;
  std::vector<TTagItem> tags;
  bool whole = false;  // read to its end
};

// What a save writes, taken at one moment.
struct SaveSnapshot {
  ServerSettings settings;
  bool silent = false;
  std::vector<TTagItem> tags;
  bool tagsWhole = true;
  uint64_t lastRun = 0;  // the newest run result the tags hold
};

class ServerCore {
 public:
  DateTime LastSync() const;
  void SetLastSync(DateTime t);
  DateTime NextSync() const;
  void SetNextSync(DateTime t);
  double SyncPeriod() const;
  void SetSyncPeriod(double days);
  std::string TargetPath() const;
  void SetTargetPath(const std::string& path);
  ServerSettings Settings() const;
  void SetSettings(const ServerSettings& s);

  // The status record's two fields, read together.
  void Status(DateTime& lastSync, uint8_t& state) const;

  std::vector<TTagItem> Tags() const;  // a copy
  void SetTags(std::vector<TTagItem> tags);
  size_t TagCount() const;

  // Hands the values of a finished copy run back to the current list: for every current tag
  // with the Path, Caption and kind (file or folder) of a run item (the n-th equal one matching
  // the n-th), Size and LastSync take the run's values where the run changed them; LastSync
  // never moves back.
  // Tags that a reload added during the run keep their own values.
  void MergeRunResults(const std::vector<TTagItem>& before, const std::vector<TTagItem>& after);

  // The end of a run that found the target: merges its results as above and sets LastSync to
  // the run start. The results are also kept until a save of a whole list has written them, so
  // that a load that replaces the list with the file's values meanwhile does not lose them.
  void FinishRun(const std::vector<TTagItem>& before, const std::vector<TTagItem>& after,
                 DateTime runStart);
  // The run in hand, tag by tag: an end that cannot wait for the run (a copy that does not stop)
  // still saves the results of the tags it finished. TagFinished outside a run does nothing.
  void BeginRun(const std::vector<TTagItem>& tags);
  void TagFinished(size_t index, const TTagItem& tag);
  // Takes in what the run in hand has finished, as the end of a run cut short does (the
  // last-sync time stays), and ends the record; false when no run is in hand.
  bool TakeUnfinishedRun();
  // Results of runs that no save of a whole list has written yet.
  bool HasUnsavedRunResults() const;

  // Takes what a load read: the settings it reached and its list. The server's own run results
  // never move back: for each loaded tag that matches one of the current list as
  // MergeRunResults matches, the later LastSync with its Size, and the later LastSync of the
  // settings. A list read whole also takes the kept results of runs; true when it took some,
  // which then still have to be saved.
  // With keepOwnFacts (the load that a save makes of a file another program wrote since),
  // FSilent stays as well: only the server ever changes it.
  bool TakeLoaded(LoadedConfig loaded, bool keepOwnFacts);

  SaveSnapshot Snapshot() const;
  // A save of snapshot reached conf.xml: the run results that it holds need no keeping.
  void Saved(const SaveSnapshot& snapshot);

  std::atomic<uint8_t> FState{ssReady};
  std::atomic<bool> FSilent{false};

  std::timed_mutex& SaveLock() { return saveLock_; }

 private:
  struct RunResults {
    std::vector<TTagItem> before, after;
    DateTime runStart = 0;
    uint64_t id = 0;
  };
  // Calls take(tag, j) for each tag that matches others[j]: the same Path, Caption and kind,
  // the n-th equal tag matching the n-th equal one of others.
  template <class Take>
  static void ForEachMatch(std::vector<TTagItem>& tags, const std::vector<TTagItem>& others,
                           Take take);
  static void MergeInto(std::vector<TTagItem>& tags, const std::vector<TTagItem>& before,
                        const std::vector<TTagItem>& after);
  void KeepRun(std::vector<TTagItem> before, std::vector<TTagItem> after, DateTime runStart);

  mutable std::mutex lock_;
  std::timed_mutex saveLock_;
  ServerSettings settings_;
  std::vector<TTagItem> tags_;
  bool tagsWhole_ = true;
  std::vector<RunResults> keptRuns_;  // not yet saved in a whole list, oldest first
  struct RunInHand {
    std::vector<TTagItem> before, done;
  };
  std::optional<RunInHand> inRun_;
  uint64_t runCount_ = 0;
};

}  // namespace qm
