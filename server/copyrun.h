// One copy run: every tagged file and every file below a tagged folder that has no copy on the
// target yet, or whose file date differs from its copy's, is copied to target + drive letter +
// path. Nothing on the target is deleted.
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
  explicit CopyRun(EngineContext& ctx) : ctx_(ctx) {}

  // The whole run over tags (updates their Size and LastSync); no exception leaves it.
  void SyncAll(std::vector<TTagItem>& tags, const std::string& targetPath);

  DateTime SyncFileTag(const std::string& source, const std::string& dest, int32_t& kb);
  int32_t SyncFile(const std::string& source, const std::string& dest);  // -1: not copied
  DateTime SyncDir(const std::string& source, const std::string& dest, int32_t& totalKb);
  bool CopyOneFile(const std::string& source, const std::string& dest);

 private:
  enum class Outcome { Copied, NotCopied, SourceMissing };

  void SyncTag(std::vector<TTagItem>& tags, size_t index, const std::string& targetPath,
               std::string& failureName);
  // destEntry: what the parent's listing holds at dest (null: nothing).
  DateTime WalkFolder(const std::string& source, const std::string& dest,
                      const EntryFacts* destEntry, int32_t& totalKb);
  int32_t SyncListedFile(const std::string& source, const std::string& dest,
                         const EntryFacts& sourceFacts, const EntryFacts* destFacts);
  Outcome CopyOne(const std::string& source, const std::string& dest, const EntryFacts* oldCopy);
  void CheckFreeSpace(const std::string& dest);
  void Log(const std::string& text);
  void Hold();

  EngineContext& ctx_;
  std::vector<FolderId> walkChain_;  // the folders from the tag's root down to the one in hand
  // The target folder, which a walk never enters: inside a tagged folder it would copy its own
  // copies on every run.
  std::optional<FolderId> targetId_;
};

}  // namespace qm
