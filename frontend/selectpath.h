// "Select Path": the folder picker that fills the main window's eTarget, a folder tree rooted
// at My Computer.
#pragma once

#include "base/shellcontrols.h"
#include "frontend/pickerform.h"

namespace qm {

class TfrSelectPath : public PickerForm {
  // Declared before the tree that follows it, so that it is freed after it.
  ShellNavigation navigation_;

 public:
  TfrSelectPath();  // throws ShellError when the shell gives no My Computer

  ShellTreeView ShellTreeView1;

  void ShellTreeView1Change(HTREEITEM node);
  void btSelectClick() override;

 protected:
  void CreateLeadingControls() override;
  void CreateTrailingControls() override {}
  LRESULT OnNotify(NMHDR& header) override;
};

// btTargetBrowse: picks a folder for eTarget, starting at eTarget's folder when the shell can
// parse it and at My Computer otherwise. Only OK changes eTarget. Failures are ignored.
void BrowseForTarget(HWND owner, const PathField& eTarget);

}  // namespace qm
