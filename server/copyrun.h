// One copy run: every tagged file and every file below a tagged folder that has no copy on the
// target yet, or whose file date differs from its copy's, is copied to target + drive letter +
// path. Nothing on the target is deleted.
#pragma once

#include "server/engine.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {

class EDiskFull : public std::runtime_error {
 public:
  EDiskFull() : std::runtime_error("The Target Volume is full!") {}
};

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
  EngineContext& ctx_;
};

}  // namespace qm
