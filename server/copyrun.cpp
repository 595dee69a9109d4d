#include "server/copyrun.h"

#include "base/fileio.h"
#include "base/handles.h"
#include "server/problems.h"
#include "tools/tools.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>

namespace qm {
namespace {

const char kPrefix[] = "QuillmereServer# ";

std::string LastName(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int32_t AddKb(int32_t total, int32_t kb) {
  // A tree of more than 2 TB must not wrap round to a negative size.
  const int64_t sum = static_cast<int64_t>(total) + kb;
  return sum > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                   : static_cast<int32_t>(sum);
}

// The server is ending: the run stops before its next file.
struct RunStopped {};

// A path inside a folder being built would not fit where its real path does: the build gives
// way to copies made in place.
struct BuildDoesNotFit {};

// Pops the folder that a walk pushed, also when EDiskFull passes through.
class ChainEntry {
 public:
  ChainEntry(std::vector<FolderId>& chain, const FolderId& id) : chain_(chain) {
    chain_.push_back(id);
  }
  ~ChainEntry() { chain_.pop_back(); }
  ChainEntry(const ChainEntry&) = delete;
  ChainEntry& operator=(const ChainEntry&) = delete;

 private:
  std::vector<FolderId>& chain_;
};

}  // namespace

std::string UnableToMoveText(const std::string& fileName) {
  return "Quillmere was unable to move the file: " + fileName +
         ". This was most likely because it was in use by another application.  Close all "
         "applications and try again!|Quillmere was unable to move a file!";
}

CopyRun::CopyRun(EngineContext& ctx) : ctx_(ctx) {
  if (ctx_.copyFile) control_.copy = ctx_.copyFile;
  control_.stop = [&ctx] { return ctx.stopRequested && ctx.stopRequested(); };
}

void CopyRun::Log(const std::string& text) {
  if (ctx_.log) ctx_.log(kPrefix + text);
}

void CopyRun::Hold() {
  if (ctx_.holdPoint) ctx_.holdPoint();
  if (ctx_.stopRequested && ctx_.stopRequested()) throw RunStopped();
}

void CopyRun::SyncAll(std::vector<TTagItem>& tags, const std::string& targetPath) {
  struct ReleaseAtEnd {
    VolumeProbe& volumes;
    ~ReleaseAtEnd() { volumes.ReleaseHeld(); }
  } release{ctx_.volumes};
  try {
    const size_t count = tags.size();
    for (size_t i = 0; i < count; ++i) {
      std::string failureName;
      const TTagItem before = tags[i];
      try {
        SyncTag(tags, i, targetPath, failureName);
      } catch (const RunStopped&) {
        // Cut short, the tag must not look synchronised later than the copies it has.
        tags[i] = before;
        return;
      } catch (const EDiskFull&) {
        ReportProblem(ctx_, "", pkDiskFull);
        return;
      } catch (...) {
        ReportProblem(ctx_, UnableToMoveText(failureName), pkGeneral);
      }
      ctx_.core.TagFinished(i, tags[i]);
      ctx_.clock.Sleep(1);
    }
  } catch (...) {
    // Only the reporting itself can fail here (out of memory); the run ends quietly.
  }
}

void CopyRun::SyncTag(std::vector<TTagItem>& tags, size_t index, const std::string& targetPath,
                      std::string& failureName) {
  TTagItem& item = tags[index];
  std::string destFolder = targetPath + item.TargetSub;
  if (!destFolder.empty() && destFolder.back() == '\\') destFolder.pop_back();
  failureName = LastName(destFolder);
  const std::string destination = destFolder + "\\" + item.Caption;

  Hold();
  // A hand-edited or hostile conf.xml must not make the run write outside the target, nor
  // create folders there: checked before anything touches the disk. Nor may a name with a
  // wildcard, which every lookup would take as a pattern that matches other entries: conf.xml
  // gives "?" for each character of a name that the code page cannot hold.
  const auto wildcard = [](const std::string& text) {
    return text.find_first_of("?*") != std::string::npos;
  };
  if (wildcard(item.Caption) || wildcard(item.Path) ||
      !StaysInsideTarget(targetPath, destination.substr(targetPath.size()))) {
    ReportProblem(ctx_, UnableToMoveText(item.Caption), pkGeneral);
    return;
  }

  EntryFacts found;
  if (!LookUpEntry(destFolder, found)) {
    ForceDirChain(destFolder.substr(0, 3), destFolder);
    item.LastSync = ctx_.clock.Now();
  }

  failureName = item.Caption;
  targetId_.reset();
  FolderId targetId;
  if (item.IsFolder() && ReadFolderId(targetPath, targetId)) targetId_ = targetId;
  int32_t kb = 0;
  DateTime t = item.IsFolder() ? SyncDir(item.Source(), destination, kb)
                               : SyncFileTag(item.Source(), destination, kb);

  if (t < ctx_.clock.Now() - kOneMinute) {
    const std::string key = item.TagKey();
    for (size_t j = 0; j < index; ++j) {
      if (tags[j].TagKey() == key) {
        t = tags[j].LastSync;
        break;
      }
    }
  }
  if (kb > 0) item.Size = static_cast<uint32_t>(kb);
  if (item.LastSync < t) item.LastSync = t;
}

DateTime CopyRun::SyncFileTag(const std::string& source, const std::string& dest, int32_t& kb) {
  const size_t sourceSlash = source.find_last_of('\\'), destSlash = dest.find_last_of('\\');
  if (sourceSlash != std::string::npos && destSlash != std::string::npos)
    RemoveLeftoverTemporaries(source.substr(0, sourceSlash), dest.substr(0, destSlash));
  kb = SyncFile(source, dest);
  return kb >= 0 ? ctx_.clock.Now() : 0.0;
}

int32_t CopyRun::SyncFile(const std::string& source, const std::string& dest) {
  EntryFacts sourceFacts;
  if (!LookUpEntry(source, sourceFacts)) {
    Log("The tagged file is not available!");
    return -1;
  }
  EntryFacts destFacts;
  const bool destFound = LookUpEntry(dest, destFacts);
  return SyncListedFile(source, dest, sourceFacts, destFound ? &destFacts : nullptr);
}

int32_t CopyRun::SyncListedFile(const std::string& source, const std::string& dest,
                                const EntryFacts& sourceFacts, const EntryFacts* destFacts,
                                Fill fill) {
  const int32_t kb = BytesToKB64(sourceFacts.size);
  if (destFacts != nullptr && !destFacts->IsFolder() &&
      SameFileDate(sourceFacts.lastWrite, destFacts->lastWrite))
    return -1;
  const Outcome outcome = CopyOne(source, dest, destFacts, fill);
  // A source that vanished after the listing was never there to copy: no copy attempt.
  if (outcome == Outcome::SourceMissing) return -1;
  CheckFreeSpace(dest);
  return outcome == Outcome::Copied ? kb : -1;
}

bool CopyRun::CopyOneFile(const std::string& source, const std::string& dest) {
  EntryFacts oldCopy;
  const bool found = LookUpEntry(dest, oldCopy);
  return CopyOne(source, dest, found ? &oldCopy : nullptr) == Outcome::Copied;
}

CopyRun::Outcome CopyRun::CopyOne(const std::string& source, const std::string& dest,
                                  const EntryFacts* oldCopy, Fill fill) {
  const CopyResult result = fill == Fill::Build
                                ? CopyStraight(source, dest, building_->partLeft, control_)
                                : CopyReplacing(source, dest, oldCopy, control_);
  switch (result) {
    case CopyResult::Copied:
      return Outcome::Copied;
    case CopyResult::Stopped:
      throw RunStopped();
    case CopyResult::DiskFull:
      throw EDiskFull();
    case CopyResult::SourceMissing:
      Log("The tagged file is not available!");
      return Outcome::SourceMissing;
    case CopyResult::Failed:
      break;
  }
  ReportProblem(ctx_, UnableToMoveText(LastName(dest)), pkGeneral);
  return Outcome::NotCopied;
}

void CopyRun::CheckFreeSpace(const std::string& dest) {
  uint64_t bytes = 0;
  const char drive =
      dest.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(dest[0])));
  if (!ctx_.volumes.FreeBytes(drive, bytes) || bytes < 100) throw EDiskFull();
}

DateTime CopyRun::SyncDir(const std::string& source, const std::string& dest, int32_t& totalKb) {
  walkChain_.clear();
  building_.reset();
  EntryFacts destFacts;
  const bool destFound = LookUpEntry(dest, destFacts);
  const SourceFolder folder(source, nullptr);
  std::optional<ChainEntry> root;
  if (const FolderId* id = folder.Id()) {
    if (targetId_ == *id) return 0.0;
    root.emplace(walkChain_, *id);
  }
  // A new tag folder is built beside its copy's place: what an ended run left there goes first.
  RemoveLeftoverTemporaries(ParentFolder(source), ParentFolder(dest));
  return WalkFolder(folder, source, dest, destFound ? &destFacts : nullptr, totalKb, Fill::Update);
}

DateTime CopyRun::WalkFolder(const SourceFolder& folder, const std::string& source,
                             const std::string& dest, const EntryFacts* destEntry,
                             int32_t& totalKb, Fill fill) {
  if (fill != Fill::Build && destEntry != nullptr && destEntry->IsFolder()) {
    FolderEntries entries;
    // A folder that exists but cannot be listed: each path is looked up on its own instead, so
    // that its copies are not all taken for new ones.
    const bool lookUpEach = !entries.Read(dest);
    return WalkContents(folder, source, dest, entries, lookUpEach, totalKb, fill, 0.0);
  }
  if (fill == Fill::Update && destEntry == nullptr) {
    if (const std::optional<DateTime> t = BuildNewFolder(folder, source, dest, totalKb)) return *t;
    // In place instead, over whatever took the name meanwhile.
    EntryFacts now;
    return WalkFolder(folder, source, dest, LookUpPath(dest, now) ? &now : nullptr, totalKb,
                      Fill::InPlace);
  }
  if (fill == Fill::Build) CheckBuildFits(dest, kFolderPathLimit);
  // A file standing where the folder belongs counts as no folder: creating it fails, and the
  // subtree is skipped with one log line instead of one failed copy per file.
  if (!CreateDirectoryA(dest.c_str(), nullptr)) {
    Log("Can't create new directiry: " + ShownPath(dest));
    return 0.0;
  }
  return WalkContents(folder, source, dest, FolderEntries(), false, totalKb, fill,
                      ctx_.clock.Now());
}

std::optional<DateTime> CopyRun::BuildNewFolder(const SourceFolder& folder,
                                                const std::string& source,
                                                const std::string& dest, int32_t& totalKb) {
  const std::string parent = ParentFolder(dest);
  std::string temp;
  for (int attempt = 0;; ++attempt) {
    temp = NewTemporaryPath(parent);
    // A temporary name longer than the real one may not fit where the real one does.
    if (temp.size() >= kFolderPathLimit) return std::nullopt;
    if (CreateDirectoryA(temp.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS || attempt == 16) return std::nullopt;
  }
  const int32_t totalBefore = totalKb;
  building_ = Building{temp, dest};
  DateTime t = 0.0;
  try {
    t = WalkContents(folder, source, temp, FolderEntries(), false, totalKb, Fill::Build,
                     ctx_.clock.Now());
  } catch (const BuildDoesNotFit&) {
    EndBuilding(false);
    totalKb = totalBefore;
    return std::nullopt;
  } catch (...) {
    // The run ends here (a full target): every copy in the folder is whole, so it takes its
    // name with what it holds, as copies made one by one would have stood; the next run adds
    // the rest.
    try {
      EndBuilding(true);
    } catch (...) {
    }
    throw;
  }
  if (EndBuilding(true)) return t;
  // Something took the name meanwhile, or the rename was refused: the folder is walked again
  // in place, where every copy reaches its name on its own.
  totalKb = totalBefore;
  return std::nullopt;
}

bool CopyRun::EndBuilding(bool publish) {
  const Building built = *building_;
  building_.reset();
  if (publish && !built.partLeft && RenameFolder(built.temp, built.dest)) return true;
  RemoveTree(built.temp);  // what cannot go now, the next run of the parent removes
  return false;
}

void CopyRun::CheckBuildFits(const std::string& path, size_t limit) const {
  if (path.size() < limit) return;
  const size_t realLength = path.size() - building_->temp.size() + building_->dest.size();
  if (realLength < limit) throw BuildDoesNotFit();
}

std::string CopyRun::ShownPath(const std::string& path) const {
  if (!building_ || path.compare(0, building_->temp.size(), building_->temp) != 0) return path;
  return building_->dest + path.substr(building_->temp.size());
}

DateTime CopyRun::WalkContents(const SourceFolder& folder, const std::string& source,
                               const std::string& dest, const FolderEntries& entries,
                               bool lookUpEach, int32_t& totalKb, Fill fill, DateTime t) {
  std::vector<ListedEntry> listing;
  if (!folder.List(listing)) {
    Log("The tagged Directory is not available!");
    return t;
  }
  RemoveLeftoverTemporaries(source, dest, entries.Temporaries());
  EntryFacts looked;
  const auto destFacts = [&](const std::string& name, const std::string& path) {
    if (!lookUpEach) return entries.Find(name);
    return LookUpPath(path, looked) ? static_cast<const EntryFacts*>(&looked) : nullptr;
  };
  for (const ListedEntry& found : listing) {
    const std::string& name = found.name;
    const std::string subSource = source + "\\" + name;
    const std::string subDest = dest + "\\" + name;
    // A name the code page cannot hold leads to no entry, or, through the best fit of the A
    // functions on Windows, to another one: the entry is reported as a copy that failed, under
    // its name as it shows, and never entered.
    if (found.facts.IsFolder()) {
      if (!found.named) {
        ReportProblem(ctx_, UnableToMoveText(name), pkGeneral);
        continue;
      }
      // A link (reparse point) may lead to another volume.
      const bool link = (found.facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      const SourceFolder sub(subSource, link ? nullptr : &folder);
      const FolderId* id = sub.Id();
      // A link back into the folders being walked would make the walk endless.
      if (id && (targetId_ == *id ||
                 std::find(walkChain_.begin(), walkChain_.end(), *id) != walkChain_.end()))
        continue;
      std::optional<ChainEntry> entry;
      if (id) entry.emplace(walkChain_, *id);
      const DateTime r =
          WalkFolder(sub, subSource, subDest, destFacts(name, subDest), totalKb, fill);
      if (r > t) t = ctx_.clock.Now();
    } else {
      Hold();
      const EntryFacts& facts = found.facts;
      totalKb = AddKb(totalKb, BytesToKB64(facts.size));
      if (!found.named) {
        ReportProblem(ctx_, UnableToMoveText(name), pkGeneral);
        continue;
      }
      if (fill == Fill::Build) CheckBuildFits(subDest, kFilePathLimit);
      if (SyncListedFile(subSource, subDest, facts, destFacts(name, subDest), fill) >= 0)
        t = ctx_.clock.Now();
    }
  }
  return t;
}

}  // namespace qm
