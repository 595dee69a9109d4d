// conf.xml: the server's load and save.
//
// Threads: Load runs on the main thread only; Save on the main or the sync thread, and two
// saves never interleave (ServerCore::SaveLock). Neither reports anything or lets a failure
// out.
#pragma once

#include "base/datetime.h"
#include "server/servercore.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct LoadOutcome {
  bool fileRead = false;  // the file was there, readable and well-formed
  bool complete = false;  // every element was read
};

// Sync period conversions, through extended precision as the file format demands.
double MsToPeriod(int32_t ms);
int64_t PeriodToMs(double days);

// The exact text the server writes: declaration, one element per line, CR LF after each.
std::string BuildConfigText(const ServerSettings& settings, bool silent,
                            const std::vector<TTagItem>& tags);

class ConfigFile {
 public:
  explicit ConfigFile(std::string path) : path_(std::move(path)) {}

  // Reads the file into core (settings, FSilent, tags), then applies the due-time rule
  // with now. Whatever the load does not reach keeps its previous value.
  LoadOutcome Load(ServerCore& core, DateTime now);
  bool Save(ServerCore& core);

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  // Set by a load that stopped early on a file that exists: the next save keeps that file.
  std::atomic<bool> preserveBeforeSave_{false};
};

}  // namespace qm
