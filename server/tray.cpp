#include "server/servform.h"

namespace qm {
// stub
void TfrQuillmereServ::AddTrayIcon() {}
void TfrQuillmereServ::RemoveTrayIcon() {}
LRESULT TfrQuillmereServ::TrayWndProc(UINT, WPARAM, LPARAM) { return 0; }
void TfrQuillmereServ::tmrRefreshTimer() {}
HWND TfrQuillmereServ::FTrayWnd() const { return nullptr; }
UINT TfrQuillmereServ::TaskbarCreatedMessage() { return 0; }
}  // namespace qm
