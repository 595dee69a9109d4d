#include "base/errortext.h"

namespace qm {

std::string ErrorText(DWORD code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
  std::string text(buffer, n);
  if (text.empty()) text = "error";
  return text + " (code " + std::to_string(code) + ")";
}

}  // namespace qm
