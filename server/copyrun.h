// One copy run: every tagged file and every file below a tagged folder that has no copy on the
// target yet, or whose file date differs from its copy's, is copied to target + drive letter +
// path. Nothing on the target is deleted but what this program itself left there.
//
// A folder that has no copy yet is built whole under a temporary name beside its real one, its
// files copied straight to their names inside it, and renamed once at its end: an ended run
// leaves no half-filled folder under a source's name, and no file pays a rename of its own.
// Files added to folders that exist already reach their names one by one (CopyReplacing).
//
// Threads: a run executes on the sync thread over its own copy of the tag list; it owns no
// lock while it works, so ctx.holdPoint (called before each tag and each file) may park it.
#pragma once

#include "base/fileio.h"
#include "server/copyfs.h"
#include "server/engine.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {

class EDiskFull : public std::runtime_error {
 public:
  EDiskFull() : std::runtime_error("The Target Volume is full!") {}
};

// The message box text (message "|" caption) for a file that could not be copied.
std::string UnableToMoveText(const std::string& fileName);

class CopyRun {
 public:
  explicit CopyRun(EngineContext& ctx);

  // The whole run over tags (updates their Size and LastSync); no exception leaves it.
  void SyncAll(std::vector<TTagItem>& tags, const std::string& targetPath);

  DateTime SyncFileTag(const std::string& source, const std::string& dest, int32_t& kb);
  int32_t SyncFile(const std::string& source, const std::string& dest);  // -1: not copied
  DateTime SyncDir(const std::string& source, const std::string& dest, int32_t& totalKb);
  bool CopyOneFile(const std::string& source, const std::string& dest);

 private:
  enum class Outcome { Copied, NotCopied, SourceMissing };
  // How the files of a folder reach their names: Update, one by one, and a new sub-folder is
  // built under a temporary name; Build, straight, inside a folder being built; InPlace, one by
  // one, and new sub-folders are made under their own names (where no build fits).
  enum class Fill { Update, Build, InPlace };
  // The folder being built: its temporary path and its real one.
  struct Building {
    std::string temp, dest;
    bool partLeft = false;  // a torn copy that could not be removed stands in it
  };

  void SyncTag(std::vector<TTagItem>& tags, size_t index, const std::string& targetPath,
               std::string& failureName);
  // folder: source, opened; destEntry: what the parent's listing holds at dest (null: nothing).
  DateTime WalkFolder(const SourceFolder& folder, const std::string& source,
                      const std::string& dest, const EntryFacts* destEntry, int32_t& totalKb,
                      Fill fill);
  // Walks source into dest, which exists; entries is dest's listing, or empty for a new folder.
  DateTime WalkContents(const SourceFolder& folder, const std::string& source,
                        const std::string& dest, const FolderEntries& entries, bool lookUpEach,
                        int32_t& totalKb, Fill fill, DateTime t);
  // nullopt when the folder could not be built and published: then nothing of it is left and
  // totalKb is as before.
  std::optional<DateTime> BuildNewFolder(const SourceFolder& folder, const std::string& source,
                                         const std::string& dest, int32_t& totalKb);
  bool EndBuilding(bool publish);
  void CheckBuildFits(const std::string& path, size_t limit) const;
  std::string ShownPath(const std::string& path) const;
  int32_t SyncListedFile(const std::string& source, const std::string& dest,
                         const EntryFacts& sourceFacts, const EntryFacts* destFacts,
                         Fill fill = Fill::Update);
  Outcome CopyOne(const std::string& source, const std::string& dest, const EntryFacts* oldCopy,
                  Fill fill = Fill::Update);
  void CheckFreeSpace(const std::string& dest);
  void Log(const std::string& text);
  void Hold();

  EngineContext& ctx_;
  CopyControl control_;  // the copy in hand stops where ctx.stopRequested says so
  std::vector<FolderId> walkChain_;  // the folders from the tag's root down to the one in hand
  // The target folder, which a walk never enters: inside a tagged folder it would copy its own
  // copies on every run.
  std::optional<FolderId> targetId_;
  std::optional<Building> building_;  // one at a time: a build holds no build of its own
};

}  // namespace qm
