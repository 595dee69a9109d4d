#include "server/servercore.h"

namespace qm {

using Guard = std::lock_guard<std::mutex>;

DateTime ServerCore::LastSync() const {
  Guard g(lock_);
  return settings_.LastSync;
}
void ServerCore::SetLastSync(DateTime t) {
  Guard g(lock_);
  settings_.LastSync = t;
}
DateTime ServerCore::NextSync() const {
  Guard g(lock_);
  return settings_.NextSync;
}
void ServerCore::SetNextSync(DateTime t) {
  Guard g(lock_);
  settings_.NextSync = t;
}
double ServerCore::SyncPeriod() const {
  Guard g(lock_);
  return settings_.SyncPeriod;
}
void ServerCore::SetSyncPeriod(double days) {
  Guard g(lock_);
  settings_.SyncPeriod = days;
}
std::string ServerCore::TargetPath() const {
  Guard g(lock_);
  return settings_.TargetPath;
}
void ServerCore::SetTargetPath(const std::string& path) {
  Guard g(lock_);
  settings_.TargetPath = path;
}
ServerSettings ServerCore::Settings() const {
  Guard g(lock_);
  return settings_;
}
void ServerCore::SetSettings(const ServerSettings& s) {
  Guard g(lock_);
  settings_ = s;
}

void ServerCore::Status(DateTime& lastSync, uint8_t& state) const {
  Guard g(lock_);
  lastSync = settings_.LastSync;
  state = FState.load();
}

std::vector<TTagItem> ServerCore::Tags() const {
  Guard g(lock_);
  return tags_;
}
void ServerCore::SetTags(std::vector<TTagItem> tags) {
  Guard g(lock_);
  tags_.swap(tags);
}
size_t ServerCore::TagCount() const {
  Guard g(lock_);
  return tags_.size();
}

void ServerCore::MergeRunResults(const std::vector<TTagItem>& before,
                                 const std::vector<TTagItem>& after) {
  Guard g(lock_);
  MergeInto(tags_, before, after);
}

void ServerCore::FinishRun(const std::vector<TTagItem>& before,
                           const std::vector<TTagItem>& after, DateTime runStart) {
  Guard g(lock_);
  MergeInto(tags_, before, after);
  settings_.LastSync = runStart;
  if (tagsWhole_) return;
  // A file left unreadable for weeks must not make the kept results grow without end.
  constexpr size_t kMaxKeptRuns = 32;
  if (keptRuns_.size() >= kMaxKeptRuns) keptRuns_.erase(keptRuns_.begin());
  keptRuns_.push_back({before, after});
  keptLastSync_ = runStart;
}

bool ServerCore::SetLoadedTags(std::vector<TTagItem> tags, bool whole) {
  Guard g(lock_);
  tags_.swap(tags);
  tagsWhole_ = whole;
  if (!whole || keptRuns_.empty()) return false;
  // Merging is idempotent, so results that already reached a list before are harmless here.
  for (const RunResults& run : keptRuns_) MergeInto(tags_, run.before, run.after);
  if (keptLastSync_ > settings_.LastSync) settings_.LastSync = keptLastSync_;
  keptRuns_.clear();
  return true;
}

bool ServerCore::HasKeptRunResults() const {
  Guard g(lock_);
  return !keptRuns_.empty();
}

void ServerCore::MergeInto(std::vector<TTagItem>& tags, const std::vector<TTagItem>& before,
                           const std::vector<TTagItem>& after) {
  if (before.size() != after.size()) return;
  std::vector<bool> used(after.size(), false);
  for (TTagItem& current : tags) {
    for (size_t j = 0; j < after.size(); ++j) {
      // A tag re-made with the other kind under the same name is a different entry: the
      // run's size of a file must not land on a folder, nor the other way round.
      if (used[j] || after[j].Path != current.Path || after[j].Caption != current.Caption ||
          after[j].IsFolder() != current.IsFolder())
        continue;
      used[j] = true;
      if (after[j].Size != before[j].Size) current.Size = after[j].Size;
      if (after[j].LastSync != before[j].LastSync && after[j].LastSync > current.LastSync)
        current.LastSync = after[j].LastSync;
      break;
    }
  }
}

}  // namespace qm
