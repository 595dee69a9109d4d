#include "frontend/selectfile.h"

#include "base/prompt.h"

#include <memory>

namespace qm {
namespace {

const PickerForm::Design kDesign = {
    "Select File or Folder", 127, 221, 575, 320,
    {8, 288, 8 + 401, 288 + 21},    // ePath
    {419, 287, 419 + 69, 287 + 25},  // btSelect
    {497, 287, 497 + 72, 287 + 25},  // btCancel
};

RECT Box(int left, int top, int width, int height) {
  return RECT{left, top, left + width, top + height};
}

}  // namespace

TfrSelectFile::TfrSelectFile() : PickerForm(kDesign) {
  ShellListView1.OnClick = [this] { ShellListView1Click(); };
  ShellListView1.OnKeyUp = [this] { ShellListView1KeyUp(); };
  ShellListView1.OnDblClick = [this] { ShellListView1DblClick(); };
}

void TfrSelectFile::CreateLeadingControls() {
  ShellListView1.Create(hwnd(), idPickList, Box(8, 40, 561, 241), FormFont(), navigation_);
  ShellComboBox1.Create(hwnd(), idPickCombo, Box(8, 8, 353, 22), FormFont(), navigation_, 8);
}

void TfrSelectFile::CreateTrailingControls() {
  btUp.Create(hwnd(), idPickUp, Box(364, 7, 24, 25), SpeedGlyph::UpLevel, "", FormFont());
  btUp.SetHint("Up Level");
  // Outside the client area: never seen, so it takes no part in the tab order either.
  ShellTreeView::Style tree;
  tree.tabStop = false;
  ShellTreeView1.Create(hwnd(), idPickTree, Box(592, 56, 121, 97), FormFont(), navigation_,
                        tree);
}

void TfrSelectFile::ShellListView1Click() {
  try {
    SetPathText(ShellListView1.Item(ShellListView1.ItemIndex()).parsingName);
  } catch (...) {
    // A click beside the items selects nothing; ePath keeps its text.
  }
}

void TfrSelectFile::ShellListView1KeyUp() { ShellListView1Click(); }

void TfrSelectFile::ShellListView1DblClick() {
  try {
    const ShellEntry& item = ShellListView1.Item(ShellListView1.ItemIndex());
    if (item.isFolder) ShellTreeView1.SetPath(item.parsingName);
  } catch (...) {
  }
}

void TfrSelectFile::btUpClick() { ShellListView1.Back(); }

void TfrSelectFile::btSelectClick() {
  try {
    ShellComboBox1.SetPath(PathText());
  } catch (const ShellError&) {
    ShowMessageBox(hwnd(), kUnknownPathText, kUnknownPathCaption, MB_OK);
    SetPathText("");
    return;
  }
  End(kPickOk);
}

void TfrSelectFile::OnCommand(int id, int notifyCode, HWND control) {
  if (ShellComboBox1.HandleCommand(id, notifyCode)) return;
  if (id == idPickUp) {
    btUpClick();
    return;
  }
  PickerForm::OnCommand(id, notifyCode, control);
}

LRESULT TfrSelectFile::OnNotify(NMHDR& header) {
  LRESULT result = 0;
  if (ShellListView1.HandleNotify(header, result)) return result;
  if (ShellTreeView1.HandleNotify(header, result)) return result;
  return 0;
}

void BrowseForTag(HWND owner, const PathField& eTag) {
  try {
    auto dialog = std::make_unique<TfrSelectFile>();
    TfrSelectFile& form = *dialog;
    form.Prepare = [&form, &eTag] {
      const std::string tag = eTag.text();
      try {
        form.ShellTreeView1.SetPath(FolderPart(tag));
        form.SetPathText(tag);
      } catch (const ShellError&) {
        eTag.setText("");
      }
      if (eTag.text().empty()) {
        // The personal folder, with My Computer at the top of the combo.
        form.ShellListView1.SetRoot(ShellRoot::rfPersonal);
        eTag.setText(form.ShellComboBox1.Path());
        form.ShellComboBox1.SetRoot(ShellRoot::rfMyComputer);
        form.ShellTreeView1.SetPath(eTag.text());
      }
    };
    if (form.ShowModal(owner) == kPickOk) eTag.setText(form.PathText());
  } catch (...) {
    // Nothing of a failed pick reaches the user; the dialog is freed all the same.
  }
}

}  // namespace qm
