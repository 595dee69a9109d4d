#include "server/config.h"

#include "base/fileio.h"
#include "base/filelock.h"
#include "base/xmldoc.h"
#include "tools/tools.h"

#include <windows.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

namespace qm {

namespace {

constexpr uint64_t kUnopenedBit = 1;
// A save that keeps finding the file rewritten under it stops after this many loads of it; the
// next save tries again.
constexpr int kMaxTakeovers = 5;

// The guarded part of a load: each step throws on the failure that ends it, and what the steps
// before it read stays read.
void ReadInto(const XmlNode& root, LoadedConfig& loaded) {
  DateTime lastSync = 0;
  if (TryTextToDateTime(RequiredText(root, "lastsyncdate"), lastSync)) loaded.lastSync = lastSync;
  loaded.syncPeriod = MsToPeriod(ParseInt32(RequiredText(root, "syncperiod")));
  std::string target = RequiredText(root, "targetdrive");
  if (target.back() != '\\') target += '\\';
  loaded.targetPath = target;
  loaded.silent = ParseInt32(RequiredText(root, "silentflag")) != 0;
  const XmlNode list = root.ChildByName("tagslist");
  const int count = list.ChildCount();  // 0 for a missing tagslist
  for (int i = 0; i < count; ++i) loaded.tags.push_back(TTagItem::FromNode(list.Child(i)));
  loaded.whole = true;
}

}  // namespace

struct ConfigFile::FileRead {
  std::optional<std::string> bytes;  // none: missing, or held open by a writer
  LoadedConfig config;
  LoadOutcome outcome;

  explicit FileRead(const std::string& path) {
    try {
      bytes = ReadWholeFile(path);
      XmlDocument doc;
      if (bytes && doc.Parse(*bytes)) {
        outcome.fileRead = true;
        ReadInto(doc.DocumentElement(), config);
      }
    } catch (...) {
    }
    outcome.complete = config.whole;
    outcome.held = !bytes && FileExists(path);
  }
};

std::string BuildConfigText(const ServerSettings& settings, bool silent,
                            const std::vector<TTagItem>& tags) {
  std::string text;
  auto add = [&text](const std::string& line) {
    text += line;
    text += "\r\n";
  };
  add("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>");
  add("<configuration>");
  add(XmlElementLine("lastsyncdate", DateTimeToText(settings.LastSync)));
  add(XmlElementLine("syncperiod", std::to_string(PeriodToMs(settings.SyncPeriod))));
  add(XmlElementLine("targetdrive", settings.TargetPath));
  add(XmlElementLine("silentflag", silent ? "1" : "0"));
  add(" <tagslist>");
  for (const TTagItem& tag : tags) add(TagItemXml(tag));
  add(" </tagslist>");
  add("</configuration>");
  return ToDeclaredEncoding(text);
}

void MoveNextSyncEarlier(ServerCore& core, DateTime now) {
  const DateTime lastSync = core.LastSync();
  const DateTime candidate = (lastSync <= NeverSyncDate ? now : lastSync) + core.SyncPeriod();
  if (candidate < core.NextSync()) core.SetNextSync(candidate);
}

std::string ConfigFile::KeptCopyPath(int n) const {
  return n <= 1 ? path_ + ".unread" : path_ + ".unread." + std::to_string(n);
}

LoadOutcome ConfigFile::Load(ServerCore& core, DateTime now) {
  LoadOutcome outcome;
  try {
    {
      // A save on the sync thread reads the mark first and the tag list later; both must come
      // from one load, or it could write the tags of a load that stopped early over a file
      // that it has not kept. Nor may a save come between the read and the taking of its
      // values: the server would hold older values than the file it wrote.
      std::lock_guard saving(core.SaveLock());
      outcome = Take(core, FileRead(path_), /*keepOwnFacts=*/false);
    }
    MoveNextSyncEarlier(core, now);
  } catch (...) {
  }
  return outcome;
}

LoadOutcome ConfigFile::Take(ServerCore& core, FileRead read, bool keepOwnFacts) {
  LoadOutcome outcome = read.outcome;
  const bool opened = read.bytes.has_value();
  const bool unread = !outcome.complete && (opened || outcome.held);
  known_ = std::move(read.bytes);
  outcome.tookRunResults = core.TakeLoaded(std::move(read.config), keepOwnFacts);
  unreadMark_ = unread ? (++markCounter_ << 1) | (opened ? 0 : kUnopenedBit) : 0;
  return outcome;
}

// A file that is gone holds nothing to keep; one that cannot be read may hold anything.
bool ConfigFile::StillAsKnown() const {
  const std::optional<std::string> bytes = ReadWholeFile(path_);
  if (!bytes) return !FileExists(path_);
  return known_ == bytes;
}

bool ConfigFile::KeepUnreadFile() {
  const std::optional<std::string> bytes = ReadWholeFile(path_);
  if (!bytes) return !FileExists(path_);  // gone: nothing to keep; held open: not now
  if (bytes->empty()) return true;
  for (int n = 1; n <= kMaxKeptCopies; ++n) {
    const std::string kept = KeptCopyPath(n);
    if (!FileExists(kept)) return ReplaceFileAtomically(kept, *bytes);
    if (ReadWholeFile(kept) == bytes) return true;  // kept already by an earlier save
  }
  return false;
}

bool ConfigFile::Save(ServerCore& core, bool* tookNewerFile, std::optional<unsigned> waitMs) {
  try {
    std::unique_lock saving(core.SaveLock(), std::defer_lock);
    if (!waitMs)
      saving.lock();
    else if (!saving.try_lock_for(std::chrono::milliseconds(*waitMs)))
      return false;
    for (int takeovers = 0;; ++takeovers) {
      uint64_t mark = unreadMark_.load();
      if (mark != 0) {
        // A file no load could open may hold anything: it waits for a load that reads it.
        if ((mark & kUnopenedBit) != 0 ? FileExists(path_) : !KeepUnreadFile()) return false;
      }
      const SaveSnapshot snapshot = core.Snapshot();
      const std::string text = BuildConfigText(snapshot.settings, snapshot.silent, snapshot.tags);
      // The look at the file and the swap are one step against the configuration program's
      // read, merge and swap: otherwise a text that it built before this save could land
      // after it and put older run results back. A holder that does not let go within the
      // wait (a hung program) only delays the save.
      FileWriteLock lock(path_);
      bool rewritten = false;
      const auto untouched = [&] {
        if (!lock.Held()) lock.Acquire(waitMs.value_or(FileWriteLock::kWaitMs), lockBusy_);
        if (saveHold_) saveHold_();
        rewritten = !StillAsKnown();
        return !rewritten;
      };
      const bool swapped = ReplaceFileAtomically(path_, text, SystemClock(), {}, untouched);
      lock.Release();
      if (swapped) {
        known_ = text;
        if (mark != 0) unreadMark_.compare_exchange_strong(mark, 0);
        core.Saved(snapshot);
        return true;
      }
      if (!rewritten || takeovers == kMaxTakeovers) return false;
      // Another program wrote the file since this server last read or wrote it: its tags and
      // settings are newer, and what the server learnt itself is brought into them.
      FileRead read(path_);
      if (read.outcome.held) return false;  // tells nothing yet; a later save looks again
      Take(core, std::move(read), /*keepOwnFacts=*/true);
      MoveNextSyncEarlier(core, clock_.Now());
      if (tookNewerFile) *tookNewerFile = true;
    }
  } catch (...) {
    return false;
  }
}

}  // namespace qm
