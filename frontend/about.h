// The About box: the product's name, its version and a legal notice. No buttons: the user
// closes it with the close box.
#pragma once

#include "base/handles.h"
#include "base/window.h"

#include <string>
#include <vector>

namespace qm {

class TAboutBox : public Dialog {
 public:
  static constexpr int kClientWidth = 335;
  static constexpr int kClientHeight = 218;
  static const char* const kCaption;
  static const char* const kNotice;  // begins with the blanks that the "Warning:" label covers

  TAboutBox();
  // Shows the box modally; timers and sent messages go on being handled meanwhile.
  void ShowModal(HWND owner);

 protected:
  bool OnInitDialog() override;

 private:
  HWND AddLabel(const std::string& text, int left, int top, int width, int height,
                HGDIOBJ font, DWORD style);
  void KeepApart(HWND title, HWND version);

  UniqueGdiObject titleFont_, versionFont_, warningFont_, noticeFont_;
  std::vector<WORD> template_;
};

}  // namespace qm
