#include "server/servform.h"

namespace qm {
// stub
TfrQuillmereServ* frQuillmereServ = nullptr;
TfrQuillmereServ::TfrQuillmereServ(ServerEnvironment env) : env_(std::move(env)) {}
TfrQuillmereServ::~TfrQuillmereServ() = default;
void TfrQuillmereServ::FormCreate() {}
void TfrQuillmereServ::FormDestroy() {}
void TfrQuillmereServ::Exit1Click() { PostQuitMessage(0); }
void TfrQuillmereServ::LoadConfig() {}
void TfrQuillmereServ::SaveConfig() {}
HWND TfrQuillmereServ::FCtrlWnd() const { return nullptr; }
HWND TfrQuillmereServ::FormHandle() const { return nullptr; }
DateTime TfrQuillmereServ::RoundDownTime(bool, DateTime t) { return t; }
void TfrQuillmereServ::PublishInRegistry() {}
}  // namespace qm
