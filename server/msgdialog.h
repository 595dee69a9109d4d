// The server's warning dialog: a red headline, "To Rectify this Problem", the instructions, and
// the buttons "Silence" (optional) and "Ok". Created once at start, reused for every warning;
// it keeps the texts of the last warning between showings.
//
// Threads: main thread only (the dialog's window lives on the thread that shows it).
#pragma once

#include "base/handles.h"
#include "base/window.h"

#include <windows.h>

#include <string>

namespace qm {

class TfrMsgDialog : public Dialog {
 public:
  static constexpr int kSilence = 6;
  static constexpr int kOk = 1;
  static constexpr int kClosed = 2;

  TfrMsgDialog();
  TfrMsgDialog(const TfrMsgDialog&) = delete;
  TfrMsgDialog& operator=(const TfrMsgDialog&) = delete;

  void Setup(const std::string& caption, const std::string& headline, const std::string& message,
             bool showSilence);
  // Shows the dialog modally; returns kSilence, kOk or kClosed (also when it cannot be shown).
  int ShowModal(HWND owner);

  const std::string& Caption() const { return caption_; }
  const std::string& Headline() const { return headline_; }
  const std::string& Message() const { return message_; }
  bool SilenceShown() const { return showSilence_; }

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int notifyCode, HWND control) override;
  HBRUSH OnCtlColorStatic(HDC dc, HWND control) override;
  void OnClose() override;

 private:
  void Button1Click();  // "Ok"
  void Button2Click();  // "Silence"
  void PlaceInPixels();

  std::string caption_ = "frMsgDialog";
  std::string headline_;
  std::string message_;
  bool showSilence_ = true;
  UniqueGdiObject headlineFont_;
  UniqueGdiObject boldFont_;
};

// The one warning dialog of the server, from start-up to the end of the program.
extern TfrMsgDialog* frMsgDialog;

}  // namespace qm
