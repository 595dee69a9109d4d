#include "server/msgdialog.h"

namespace qm {
// stub
TfrMsgDialog* frMsgDialog = nullptr;
void TfrMsgDialog::Setup(const std::string& caption, const std::string& headline,
                         const std::string& message, bool showSilence) {
  caption_ = caption;
  headline_ = headline;
  message_ = message;
  showSilence_ = showSilence;
}
int TfrMsgDialog::ShowModal(HWND) { return kClosed; }
}  // namespace qm
