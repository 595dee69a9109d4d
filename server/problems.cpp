#include "server/problems.h"

namespace qm {
// stub
const char* const kNoTargetText = "";
const char* const kDiskFullText = "";
void ReportProblem(EngineContext&, const std::string&, int) {}
}  // namespace qm
