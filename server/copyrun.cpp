#include "server/copyrun.h"

namespace qm {
// stub
void CopyRun::SyncAll(std::vector<TTagItem>&, const std::string&) {}
DateTime CopyRun::SyncFileTag(const std::string&, const std::string&, int32_t& kb) { kb = -1; return 0; }
int32_t CopyRun::SyncFile(const std::string&, const std::string&) { return -1; }
DateTime CopyRun::SyncDir(const std::string&, const std::string&, int32_t&) { return 0; }
bool CopyRun::CopyOneFile(const std::string&, const std::string&) { return false; }
}  // namespace qm
