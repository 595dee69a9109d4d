#include "server/servform.h"

namespace qm {
// stub
void TfrQuillmereServ::QueueDialog(const std::string&, int) {}
void TfrQuillmereServ::tmrDlgTimer() {}
}  // namespace qm
