// The settings, state and tag list of the server, shared by the main thread, the sync thread
// and the log of problems.
//
// Guards: the date-time fields, the period, the target path and the tag list sit under one
// short lock (lock_), held only to copy values in or out, never across file I/O, a dialog or a
// wait. FState and FSilent are atomic bytes. saveLock_ keeps two saves of conf.xml from
// interleaving; it is taken by the saver only around building and writing the file.
#pragma once

#include "base/datetime.h"
#include "server/tagitem.h"
#include "tools/protocol.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

struct ServerSettings {
  DateTime LastSync = 0;
  DateTime NextSync = 0;
  double SyncPeriod = 1.0 / 24;  // days
  std::string TargetPath;
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
  // the run start. While the current list does not come from a load that read conf.xml whole
  // (a reload during the run could not open it, or stopped early), the results are also kept,
  // so that they are not lost when a later load replaces the list with the file's values.
  void FinishRun(const std::vector<TTagItem>& before, const std::vector<TTagItem>& after,
                 DateTime runStart);
  // The list that a load built; whole when the load read the file to its end. A list read
  // whole takes the kept results of earlier runs (LastSync never moves back); true when it
  // took some, which then still have to be saved.
  bool SetLoadedTags(std::vector<TTagItem> tags, bool whole);
  bool HasKeptRunResults() const;

  std::atomic<uint8_t> FState{ssReady};
  std::atomic<bool> FSilent{false};

  std::mutex& SaveLock() { return saveLock_; }

 private:
  struct RunResults {
    std::vector<TTagItem> before, after;
  };
  static void MergeInto(std::vector<TTagItem>& tags, const std::vector<TTagItem>& before,
                        const std::vector<TTagItem>& after);

  mutable std::mutex lock_;
  std::mutex saveLock_;
  ServerSettings settings_;
  std::vector<TTagItem> tags_;
  bool tagsWhole_ = true;
  std::vector<RunResults> keptRuns_;  // oldest first
  DateTime keptLastSync_ = 0;
};

}  // namespace qm
