#include "base/shellcontrols.h"

namespace qm {

bool ShellComboBox::Create(HWND parent, int id, const RECT& place, HFONT font,
                           ShellNavigation& navigation, int dropRows) {
  if (!CreateChild(parent, id, place, WC_COMBOBOXEXA, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                   0, font, navigation))
    return false;
  SendMessageA(hwnd(), CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(SystemSmallImages()));
  // A combo box's window height is its closed part plus its drop-down list.
  const int closed = place.bottom - place.top;
  const int row = static_cast<int>(SendMessageA(hwnd(), CB_GETITEMHEIGHT, 0, 0));
  SetWindowPos(hwnd(), nullptr, 0, 0, place.right - place.left,
               closed + dropRows * (row > 0 ? row : 16) + 2, SWP_NOMOVE | SWP_NOZORDER);
  RootChanged();
  return true;
}

void ShellComboBox::RootChanged() {
  rootFolders_.clear();
  try {
    rootFolders_ = FolderEntries(Navigation().Root(), true);
  } catch (const ShellError&) {
    // A root that cannot be listed shows itself alone.
  }
  Rebuild();
}

void ShellComboBox::Add(const ShellPlace& place, int indent) {
  const std::string name = place.DisplayName();
  const int icon = place.IconIndex();
  COMBOBOXEXITEMA item{};
  item.mask = CBEIF_TEXT | CBEIF_INDENT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
  item.iItem = -1;
  item.pszText = const_cast<char*>(name.c_str());
  item.iIndent = indent;
  item.iImage = item.iSelectedImage = icon < 0 ? 0 : icon;
  item.lParam = static_cast<LPARAM>(shown_.size());
  shown_.push_back(place);
  SendMessageA(hwnd(), CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

// The root, its folders, and below the one of them that leads to the current folder the chain
// of folders down to it; a current folder outside the root comes last on its own.
void ShellComboBox::Rebuild() {
  SendMessageA(hwnd(), CB_RESETCONTENT, 0, 0);
  shown_.clear();
  current_ = -1;
  const ShellPlace& root = Navigation().Root();
  const ShellPlace& folder = Navigation().Folder();
  const bool inside = folder.IsWithin(root);
  Add(root, 0);
  if (folder == root) current_ = 0;
  const int rootDepth = root.Depth();
  for (const ShellEntry& entry : rootFolders_) {
    Add(entry.place, 1);
    if (!inside || !folder.IsWithin(entry.place)) continue;
    if (folder == entry.place) current_ = static_cast<int>(shown_.size()) - 1;
    for (int depth = rootDepth + 2; depth <= folder.Depth(); ++depth) {
      Add(folder.Ancestor(depth), depth - rootDepth);
      current_ = static_cast<int>(shown_.size()) - 1;
    }
  }
  if (current_ < 0 && inside && folder.Depth() > rootDepth) {
    // Below the root but not below any folder it lists (a hidden system place, say).
    for (int depth = rootDepth + 1; depth <= folder.Depth(); ++depth)
      Add(folder.Ancestor(depth), depth - rootDepth);
    current_ = static_cast<int>(shown_.size()) - 1;
  }
  if (current_ < 0) {
    Add(folder, 0);
    current_ = static_cast<int>(shown_.size()) - 1;
  }
  SendMessageA(hwnd(), CB_SETCURSEL, current_, 0);
}

std::string ShellComboBox::Path() const {
  return current_ >= 0 ? shown_[current_].ParsingName() : std::string();
}

void ShellComboBox::SetPath(const std::string& text) {
  const ShellPlace place = ShellPlace::Parse(text);
  if (place.IsFolder()) Navigation().Navigate(place);
}

bool ShellComboBox::HandleCommand(int id, int code) {
  if (id != this->id()) return false;
  if (code != CBN_SELCHANGE && code != CBN_SELENDOK && code != CBN_CLOSEUP) return false;
  // While the list is open the selection only follows the mouse; the choice comes on closing.
  if (code == CBN_SELCHANGE && SendMessageA(hwnd(), CB_GETDROPPEDSTATE, 0, 0)) return true;
  const int index = static_cast<int>(SendMessageA(hwnd(), CB_GETCURSEL, 0, 0));
  if (index >= 0 && index < static_cast<int>(shown_.size()) && index != current_) {
    const ShellPlace target = shown_[index];  // the rebuild replaces shown_
    Navigation().Navigate(target);
  }
  return true;
}

}  // namespace qm
