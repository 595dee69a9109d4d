#include "server/config.h"

namespace qm {
// stub
double MsToPeriod(int32_t ms) { return ms / 86400000.0; }
int64_t PeriodToMs(double days) { return static_cast<int64_t>(days * 86400000.0); }
std::string BuildConfigText(const ServerSettings&, bool, const std::vector<TTagItem>&) { return {}; }
LoadOutcome ConfigFile::Load(ServerCore&, DateTime) { return {}; }
bool ConfigFile::Save(ServerCore&) { return false; }
}  // namespace qm
