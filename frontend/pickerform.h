// What the two picker dialogs share: the dialog frame at its designed place, the fonts, the
// chosen-path edit ePath, the Select and Cancel buttons, and the way an opener prepares a
// dialog before it shows.
#pragma once

#include "base/dlgtemplate.h"
#include "base/handles.h"
#include "base/window.h"
#include "frontend/speedbutton.h"

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace qm {

// Modal results of a picker.
constexpr INT_PTR kPickOk = 1;
constexpr INT_PTR kPickCancel = 2;

// Control ids of the pickers; above IDOK and IDCANCEL, which Enter and Escape send and which
// stand for neither button.
enum PickerId : int {
  idPickPath = 300,  // ePath
  idPickSelect,      // btSelect
  idPickCancel,      // btCancel
  idPickUp,          // btUp
  idPickList,        // ShellListView1
  idPickCombo,       // ShellComboBox1
  idPickTree,        // ShellTreeView1
};

// The edit of the opening window that a picker reads and fills.
struct PathField {
  std::function<std::string()> text;
  std::function<void(const std::string&)> setText;
};

class PickerForm : public Dialog {
 public:
  struct Design {
    const char* caption;
    int left, top, clientWidth, clientHeight;
    RECT path, select, cancel;  // left, top, right, bottom in client pixels
  };
  explicit PickerForm(const Design& design);

  // Runs the dialog; kPickOk or kPickCancel. Prepare, when set, runs once the controls exist
  // and before the dialog shows; what it throws ends the dialog unseen and is thrown here.
  INT_PTR ShowModal(HWND owner);
  std::function<void()> Prepare;

  // ePath's text; after the dialog closed, the text it had last.
  std::string PathText() const;
  void SetPathText(const std::string& text);

  HWND ePath = nullptr;
  SpeedButton btSelect;
  SpeedButton btCancel;

 protected:
  HFONT FormFont() const { return static_cast<HFONT>(formFont_.get()); }
  // Creates the controls that come before ePath in the tab order.
  virtual void CreateLeadingControls() = 0;
  // Creates the rest, which take no part in the tab order; ePath and the buttons exist by then.
  virtual void CreateTrailingControls() = 0;
  virtual void btSelectClick() = 0;
  void btCancelClick() { End(kPickCancel); }

  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  bool OnInitDialog() override;
  void OnCommand(int id, int notifyCode, HWND control) override;

 private:
  void Place();

  Design design_;
  DialogTemplate template_;
  UniqueGdiObject formFont_;     // MS Sans Serif, 11 pixels
  UniqueGdiObject captionFont_;  // Arial, 12 pixels, for the buttons' captions
  std::exception_ptr prepareFailure_;
  std::string closedPath_;
};

// Everything up to and including the last "\" or ":" of a path.
std::string FolderPart(const std::string& path);

}  // namespace qm
