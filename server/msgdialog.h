// The server's warning dialog: a red headline, "To Rectify this Problem", the instructions, and
// the buttons "Silence" (optional) and "Ok". Created once at start, reused for every warning.
#pragma once

#include <windows.h>

#include <string>

namespace qm {

class TfrMsgDialog {
 public:
  static constexpr int kSilence = 6;
  static constexpr int kOk = 1;
  static constexpr int kClosed = 2;

  TfrMsgDialog() = default;
  void Setup(const std::string& caption, const std::string& headline, const std::string& message,
             bool showSilence);
  // Shows the dialog modally; returns kSilence, kOk or kClosed.
  int ShowModal(HWND owner);

  const std::string& Caption() const { return caption_; }
  const std::string& Headline() const { return headline_; }
  const std::string& Message() const { return message_; }
  bool SilenceShown() const { return showSilence_; }

 private:
  std::string caption_ = "frMsgDialog";
  std::string headline_;
  std::string message_;
  bool showSilence_ = true;
};

// The one warning dialog of the server, from start-up to the end of the program.
extern TfrMsgDialog* frMsgDialog;

}  // namespace qm
