#include "base/dlgtemplate.h"

namespace qm {

DialogTemplate::DialogTemplate(DWORD style, DWORD exStyle, const std::string& caption) {
  DLGTEMPLATE head{};
  head.style = style & ~DS_SETFONT;  // no font block follows: the dialog sets its controls' fonts
  head.dwExtendedStyle = exStyle;
  head.cdit = 0;
  const WORD* raw = reinterpret_cast<const WORD*>(&head);
  words_.assign(raw, raw + sizeof head / sizeof(WORD));
  words_.push_back(0);  // no menu
  words_.push_back(0);  // the standard dialog class
  const int size = MultiByteToWideChar(CP_ACP, 0, caption.c_str(), -1, nullptr, 0);
  std::wstring title(size > 0 ? size : 1, L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, caption.c_str(), -1, title.data(), size);
  for (wchar_t c : title) words_.push_back(static_cast<WORD>(c));  // ends with its zero
}

}  // namespace qm
