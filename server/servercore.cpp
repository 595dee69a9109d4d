#include "server/servercore.h"

#include <algorithm>

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

template <class Take>
void ServerCore::ForEachMatch(std::vector<TTagItem>& tags, const std::vector<TTagItem>& others,
                              Take take) {
  std::vector<bool> used(others.size(), false);
  for (TTagItem& current : tags) {
    for (size_t j = 0; j < others.size(); ++j) {
      // A tag re-made with the other kind under the same name is a different entry: the
      // run's size of a file must not land on a folder, nor the other way round.
      if (used[j] || others[j].Path != current.Path || others[j].Caption != current.Caption ||
          others[j].IsFolder() != current.IsFolder())
        continue;
      used[j] = true;
      take(current, j);
      break;
    }
  }
}

void ServerCore::MergeRunResults(const std::vector<TTagItem>& before,
                                 const std::vector<TTagItem>& after) {
  Guard g(lock_);
  MergeInto(tags_, before, after);
}

void ServerCore::FinishRun(const std::vector<TTagItem>& before,
                           const std::vector<TTagItem>& after, DateTime runStart) {
  Guard g(lock_);
  inRun_.reset();
  MergeInto(tags_, before, after);
  settings_.LastSync = runStart;
  KeepRun(before, after, runStart);
}

void ServerCore::KeepRun(std::vector<TTagItem> before, std::vector<TTagItem> after,
                         DateTime runStart) {
  // A file left unreadable for weeks must not make the kept results grow without end.
  constexpr size_t kMaxKeptRuns = 32;
  if (keptRuns_.size() >= kMaxKeptRuns) keptRuns_.erase(keptRuns_.begin());
  keptRuns_.push_back({std::move(before), std::move(after), runStart, ++runCount_});
}

void ServerCore::BeginRun(const std::vector<TTagItem>& tags) {
  Guard g(lock_);
  inRun_ = RunInHand{tags, tags};
}

void ServerCore::TagFinished(size_t index, const TTagItem& tag) {
  Guard g(lock_);
  if (inRun_ && index < inRun_->done.size()) inRun_->done[index] = tag;
}

bool ServerCore::TakeUnfinishedRun() {
  Guard g(lock_);
  if (!inRun_) return false;
  RunInHand run = std::move(*inRun_);
  inRun_.reset();
  MergeInto(tags_, run.before, run.done);
  KeepRun(std::move(run.before), std::move(run.done), settings_.LastSync);
  return true;
}

bool ServerCore::HasUnsavedRunResults() const {
  Guard g(lock_);
  return !keptRuns_.empty();
}

bool ServerCore::TakeLoaded(LoadedConfig loaded, bool keepOwnFacts) {
  Guard g(lock_);
  // The run results the server holds are its own and never older than any file's: a file the
  // configuration program built from a read before a run, an older copy put back, or one it
  // could not read before its save may all hold older ones.
  if (loaded.lastSync) settings_.LastSync = std::max(settings_.LastSync, *loaded.lastSync);
  if (loaded.syncPeriod) settings_.SyncPeriod = *loaded.syncPeriod;
  if (loaded.targetPath) settings_.TargetPath = *loaded.targetPath;
  if (loaded.silent && !keepOwnFacts) FSilent = *loaded.silent;
  ForEachMatch(loaded.tags, tags_, [this](TTagItem& tag, size_t j) {
    if (tags_[j].LastSync <= tag.LastSync) return;
    tag.LastSync = tags_[j].LastSync;
    tag.Size = tags_[j].Size;
  });
  tags_.swap(loaded.tags);
  tagsWhole_ = loaded.whole;
  if (!tagsWhole_ || keptRuns_.empty()) return false;
  // Merging is idempotent, so results that already reached a list before are harmless here.
  for (const RunResults& run : keptRuns_) {
    MergeInto(tags_, run.before, run.after);
    settings_.LastSync = std::max(settings_.LastSync, run.runStart);
  }
  return true;
}

SaveSnapshot ServerCore::Snapshot() const {
  Guard g(lock_);
  return {settings_, FSilent.load(), tags_, tagsWhole_, runCount_};
}

void ServerCore::Saved(const SaveSnapshot& snapshot) {
  // A list that a load read only in part lacks tags that the kept results may still be for.
  if (!snapshot.tagsWhole) return;
  Guard g(lock_);
  std::erase_if(keptRuns_, [&](const RunResults& run) { return run.id <= snapshot.lastRun; });
}

void ServerCore::MergeInto(std::vector<TTagItem>& tags, const std::vector<TTagItem>& before,
                           const std::vector<TTagItem>& after) {
  if (before.size() != after.size()) return;
  ForEachMatch(tags, after, [&](TTagItem& current, size_t j) {
    if (after[j].Size != before[j].Size) current.Size = after[j].Size;
    if (after[j].LastSync != before[j].LastSync && after[j].LastSync > current.LastSync)
      current.LastSync = after[j].LastSync;
  });
}

}  // namespace qm
