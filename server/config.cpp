#include "server/config.h"

#include "base/fileio.h"
#include "base/xmldoc.h"
#include "tools/tools.h"

#include <windows.h>

#include <cmath>
#include <limits>
#include <optional>

namespace qm {

namespace {

constexpr uint64_t kUnopenedBit = 1;

// The guarded part of a load: each step throws on the failure that ends it, and what the steps
// before it set stays set.
void ReadInto(const XmlNode& root, ServerCore& core, std::vector<TTagItem>& tags) {
  DateTime lastSync = 0;
  if (TryTextToDateTime(RequiredText(root, "lastsyncdate"), lastSync)) core.SetLastSync(lastSync);
  core.SetSyncPeriod(MsToPeriod(ParseInt32(RequiredText(root, "syncperiod"))));
  std::string target = RequiredText(root, "targetdrive");
  if (target.back() != '\\') target += '\\';
  core.SetTargetPath(target);
  core.FSilent = ParseInt32(RequiredText(root, "silentflag")) != 0;
  const XmlNode list = root.ChildByName("tagslist");
  const int count = list.ChildCount();  // 0 for a missing tagslist
  for (int i = 0; i < count; ++i) tags.push_back(TTagItem::FromNode(list.Child(i)));
}

}  // namespace

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
  bool opened = false;
  try {
    std::vector<TTagItem> tags;
    try {
      const std::optional<std::string> bytes = ReadWholeFile(path_);
      opened = bytes.has_value();
      XmlDocument doc;
      if (bytes && doc.Parse(*bytes)) {
        outcome.fileRead = true;
        ReadInto(doc.DocumentElement(), core, tags);
        outcome.complete = true;
      }
    } catch (...) {
    }
    const bool unread = !outcome.complete && (opened || FileExists(path_));
    outcome.held = unread && !opened;
    {
      // A save on the sync thread reads the mark first and the tag list later; both must come
      // from one load, or it could write the tags of a load that stopped early over a file
      // that it has not kept.
      std::lock_guard<std::mutex> saving(core.SaveLock());
      outcome.tookRunResults = core.SetLoadedTags(std::move(tags), outcome.complete);
      unreadMark_ = unread ? (++markCounter_ << 1) | (opened ? 0 : kUnopenedBit) : 0;
    }
    MoveNextSyncEarlier(core, now);
  } catch (...) {
  }
  return outcome;
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

bool ConfigFile::Save(ServerCore& core) {
  try {
    std::lock_guard<std::mutex> saving(core.SaveLock());
    uint64_t mark = unreadMark_.load();
    if (mark != 0) {
      // A file no load could open may hold anything: it waits for a load that reads it.
      if ((mark & kUnopenedBit) != 0 ? FileExists(path_) : !KeepUnreadFile()) return false;
    }
    const std::string text = BuildConfigText(core.Settings(), core.FSilent.load(), core.Tags());
    if (!ReplaceFileAtomically(path_, text)) return false;
    if (mark != 0) unreadMark_.compare_exchange_strong(mark, 0);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace qm
