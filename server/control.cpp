#include "server/servform.h"

namespace qm {
// stub
LRESULT TfrQuillmereServ::ControlWndProc(UINT, WPARAM, LPARAM) { return 0; }
}  // namespace qm
