#include "frontend/selectpath.h"

#include <memory>

namespace qm {
namespace {

const PickerForm::Design kDesign = {
    "Select Path", 309, 211, 497, 331,
    {8, 304, 8 + 326, 304 + 21},     // ePath
    {344, 302, 344 + 69, 302 + 25},  // btSelect
    {417, 302, 417 + 72, 302 + 25},  // btCancel
};

}  // namespace

TfrSelectPath::TfrSelectPath() : PickerForm(kDesign) {
  navigation_.SetRoot(ShellRoot::rfMyComputer);
  ShellTreeView1.OnChange = [this](HTREEITEM node) { ShellTreeView1Change(node); };
}

void TfrSelectPath::CreateLeadingControls() {
  ShellTreeView::Style tree;
  tree.linesAtRoot = false;
  tree.rightClickSelects = true;
  ShellTreeView1.Create(hwnd(), idPickTree, RECT{8, 8, 8 + 481, 8 + 289}, FormFont(),
                        navigation_, tree);
}

void TfrSelectPath::ShellTreeView1Change(HTREEITEM) {
  try {
    SetPathText(ShellTreeView1.Path());
  } catch (...) {
  }
}

void TfrSelectPath::btSelectClick() {
  try {
    ShellTreeView1.SetPath(PathText());
  } catch (const ShellError&) {
    SetPathText("");
    return;
  }
  End(kPickOk);
}

LRESULT TfrSelectPath::OnNotify(NMHDR& header) {
  LRESULT result = 0;
  if (ShellTreeView1.HandleNotify(header, result)) return result;
  return 0;
}

void BrowseForTarget(HWND owner, const PathField& eTarget) {
  try {
    auto dialog = std::make_unique<TfrSelectPath>();
    TfrSelectPath& form = *dialog;
    form.Prepare = [&form, &eTarget] {
      const std::string target = eTarget.text();
      if (target.empty()) return;
      try {
        form.ShellTreeView1.SetPath(target);
        form.SetPathText(target);
      } catch (const ShellError&) {
        // The tree stays at its root, My Computer, and ePath stays empty.
      }
    };
    if (form.ShowModal(owner) == kPickOk) eTarget.setText(form.PathText());
  } catch (...) {
    // Nothing of a failed pick reaches the user; the dialog is freed all the same.
  }
}

}  // namespace qm
