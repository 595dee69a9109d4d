// "Select File or Folder": the file-or-folder picker that fills the main window's eTag. Its
// item list, folder combo and an unseen folder tree follow one folder; the tree lies outside
// the client area and the handlers steer navigation through it.
#pragma once

#include "base/shellcontrols.h"
#include "frontend/pickerform.h"

#include <string>

namespace qm {

// The message of a path that cannot be used; "Add Tag" shows the same one.
inline constexpr char kUnknownPathCaption[] = "Unknown File or Directory";
inline constexpr char kUnknownPathText[] =
    "The File or Directory does not exist or is not available on this PC. Please use the Browse "
    "function to identify the file or directory you wish to tag!";

class TfrSelectFile : public PickerForm {
  // Declared before the controls that follow it, so that it is freed after them.
  ShellNavigation navigation_;  // the one folder the three controls follow

 public:
  TfrSelectFile();  // throws ShellError when the shell gives no Desktop

  ShellListView ShellListView1;
  ShellComboBox ShellComboBox1;
  ShellTreeView ShellTreeView1;
  SpeedButton btUp;

  void ShellListView1Click();
  void ShellListView1KeyUp();
  void ShellListView1DblClick();
  void btUpClick();
  void btSelectClick() override;

 protected:
  void CreateLeadingControls() override;
  void CreateTrailingControls() override;
  void OnCommand(int id, int notifyCode, HWND control) override;
  LRESULT OnNotify(NMHDR& header) override;
};

// btTagBrowse: picks a file or folder for eTag, starting where eTag points or else in the
// personal folder. Only OK copies the choice into eTag; an empty or unusable eTag receives the
// personal folder's path whatever the result. Failures are ignored.
void BrowseForTag(HWND owner, const PathField& eTag);

}  // namespace qm
