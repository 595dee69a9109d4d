// The main window's tag list editing: "Add Tag", "UnTag", the click in the "UnTag" column, and
// the selection and edit events that switch the two buttons.
//
// Rows and the children of tagslist pair by index: row i shows child i. Every change here keeps
// that pairing, and every item is found by its row's index, never by its name.
//
// The list's events, as measured under Wine: LVN_ITEMCHANGED also comes for focus-only changes
// and for a selected row that LVM_DELETEITEM removes; a press on an unselected row clears the
// other selections inside the list's own WM_LBUTTONDOWN, and a press on a selected row keeps
// them until the release. A press in the "UnTag" column is handled after the list has applied
// its own selection, so that the question acts on what the user sees selected.
#include "frontend/mainform.h"

#include "base/prompt.h"
#include "frontend/tagentry.h"

#include <commctrl.h>
#include <windowsx.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qm {
namespace {

constexpr int kNameColumn = 1;
constexpr int kPathColumn = 2;
constexpr UINT_PTR kTagListHook = 1;

constexpr const char* kUntagCaption = "Untag a File or Directory?";
// A line feed alone, a tab and one blank: the box's own layout.
constexpr const char* kUntagText =
    "By untagging this file, copies will no longer be made when the file changes!\n\t Would you "
    "like to proceed?";

std::string CellText(HWND list, int row, int column) {
  std::string text(512, '\0');
  for (;;) {
    LVITEMA cell{};
    cell.iSubItem = column;
    cell.pszText = text.data();
    cell.cchTextMax = static_cast<int>(text.size());
    const int got = static_cast<int>(SendMessageA(list, LVM_GETITEMTEXTA,
                                                  static_cast<WPARAM>(row),
                                                  reinterpret_cast<LPARAM>(&cell)));
    if (got < static_cast<int>(text.size()) - 1) {
      text.resize(got > 0 ? static_cast<size_t>(got) : 0);
      return text;
    }
    text.assign(text.size() * 2, '\0');
  }
}

TagName RowName(HWND list, int row) {
  return {CellText(list, row, kNameColumn), CellText(list, row, kPathColumn)};
}

std::string RowFullPath(HWND list, int row) {
  const TagName tag = RowName(list, row);
  return tag.path + tag.name;
}

int RowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

// The list's item index: its first selected row, or -1.
int FirstSelectedRow(HWND list) {
  return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                       LVNI_SELECTED));
}

// Setting the item index: the row joins whatever is selected already.
void SelectRow(HWND list, int row) {
  LVITEMA state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

class OwnRemoval {
 public:
  explicit OwnRemoval(int& count) : count_(count) { ++count_; }
  ~OwnRemoval() { --count_; }
  OwnRemoval(const OwnRemoval&) = delete;
  OwnRemoval& operator=(const OwnRemoval&) = delete;

 private:
  int& count_;
};

}  // namespace

bool TfrMain::OnEditingCommand(int id, int notifyCode) {
  switch (id) {
    case idTagButton:
      if (notifyCode == BN_CLICKED) btTagClick();
      return true;
    case idUnTag:
      if (notifyCode == BN_CLICKED) btUnTagClick();
      return true;
    case idTag:
      if (notifyCode == EN_CHANGE) eTagChange();
      return true;
    case idTargetSet:
      if (notifyCode == BN_CLICKED) btTargetSetClick();
      return true;
    case idScanSet:
      if (notifyCode == BN_CLICKED) btScanSetClick();
      return true;
    case idUnits:
      if (notifyCode == CBN_SELCHANGE) cbUnitsChange();
      return true;
  }
  return false;
}

LRESULT TfrMain::OnTagListNotify(NMHDR& header) {
  // A reload empties the list in one go: no notice per row, which nothing here reads.
  if (header.hwndFrom == lvTagged && header.code == LVN_DELETEALLITEMS) return TRUE;
  if (header.hwndFrom != lvTagged || header.code != LVN_ITEMCHANGED || ownRowRemovals_ > 0)
    return 0;
  const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
  // Only the selected bit counts: focus moves and other state changes come here too.
  if (change.iItem < 0 || !(change.uChanged & LVIF_STATE) ||
      !((change.uOldState ^ change.uNewState) & LVIS_SELECTED))
    return 0;
  try {
    lvTaggedSelectItem(change.iItem);
  } catch (...) {
  }
  return 0;
}

void TfrMain::HookTagListMouse() {
  SetWindowSubclass(lvTagged, TagListProc, kTagListHook, reinterpret_cast<DWORD_PTR>(this));
}

void TfrMain::UnhookTagListMouse() { RemoveWindowSubclass(lvTagged, TagListProc, kTagListHook); }

LRESULT CALLBACK TfrMain::TagListProc(HWND list, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                      DWORD_PTR self) {
  auto* form = reinterpret_cast<TfrMain*>(self);
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      form->dropNextButtonUp_ = false;
      // The list's own selection first (under Windows the whole click, which its drag test
      // takes in here).
      const LRESULT result = DefSubclassProc(list, msg, wp, lp);
      const MouseButton button = msg == WM_LBUTTONDOWN   ? MouseButton::Left
                                 : msg == WM_RBUTTONDOWN ? MouseButton::Right
                                                         : MouseButton::Middle;
      try {
        form->lvTaggedMouseDown(button, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      } catch (...) {
      }
      return result;
    }
    case WM_LBUTTONUP:
      // After a question the rows may have moved up under the pointer: a release passed on now
      // would select whichever row took the pressed row's index.
      if (form->dropNextButtonUp_) {
        form->dropNextButtonUp_ = false;
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(list, TagListProc, kTagListHook);
      break;
  }
  return DefSubclassProc(list, msg, wp, lp);
}

void TfrMain::btTagClick() {
  std::string text;
  if (!TagEntryPath(DropOneTrailingBackslash(TextOf(eTag)), text)) {
    ShowMessageBox(hwnd(), kUnknownEntryText, kUnknownEntryCaption, MB_OK);
    EnableWindow(btTag, FALSE);
    return;
  }
  SetTextOf(eTag, text);

  const TagName tag = SplitTagText(text);
  std::vector<TagName> rows;
  for (int row = 0, count = RowCount(lvTagged); row < count; ++row)
    rows.push_back(RowName(lvTagged, row));
  const int match = FindTagRow(rows, tag);
  if (match >= 0) {
    SelectRow(lvTagged, match);
    SetTextOf(eTag, RowFullPath(lvTagged, match));
    return;
  }

  const XmlNode tags = ConfXML.Root().ChildByNameOrAppend("tagslist");
  const bool tagEnabled = IsWindowEnabled(btTag), unTagEnabled = IsWindowEnabled(btUnTag);
  const std::string currentTag = FCurrentTag;
  // The row comes only once the item is whole, so a failed item leaves no row behind.
  const bool added = AppendTagItem(tags, text);
  if (added) {
    AddTagRow(tags.Child(tags.ChildCount() - 1));
    EnableWindow(btTag, FALSE);
    EnableWindow(btUnTag, TRUE);
    FCurrentTag = TextOf(eTag);
  }
  SaveOrUndo([&] {
    if (!added) return;
    tags.RemoveChild(tags.ChildCount() - 1);
    const OwnRemoval own(ownRowRemovals_);
    SendMessageA(lvTagged, LVM_DELETEITEM, static_cast<WPARAM>(RowCount(lvTagged) - 1), 0);
    EnableWindow(btTag, tagEnabled);
    EnableWindow(btUnTag, unTagEnabled);
    FCurrentTag = currentTag;
  });
}

void TfrMain::lvTaggedSelectItem(int row) {
  // FCurrentTag first: the edit's change event then finds the two equal.
  FCurrentTag = RowFullPath(lvTagged, row);
  SetTextOf(eTag, FCurrentTag);
  EnableWindow(btUnTag, TRUE);
  EnableWindow(btTag, FALSE);
}

void TfrMain::eTagChange() {
  if (!IsWindowEnabled(lvTagged)) return;  // the server is synchronising
  if (TextOf(eTag) == FCurrentTag) return;
  EnableWindow(btUnTag, FALSE);
  EnableWindow(btTag, TRUE);
}

void TfrMain::btUnTagClick() {
  if (FirstSelectedRow(lvTagged) < 0) return;
  if (ShowMessageBox(hwnd(), kUntagText, kUntagCaption, MB_YESNO) != IDYES) return;
  try {
    // Lowest index first; the rows and children after each removal move up together, so each
    // removed item's own index is its row's plus the number removed before it.
    std::vector<std::pair<int, XmlNode>> removed;
    for (int row; (row = FirstSelectedRow(lvTagged)) >= 0;) {
      const XmlNode item = DeleteSelectedTag();
      removed.emplace_back(row + static_cast<int>(removed.size()), item);
    }
    const std::string typed = TextOf(eTag);
    const bool tagEnabled = IsWindowEnabled(btTag);
    SetTextOf(eTag, "");
    EnableWindow(btUnTag, FALSE);
    SaveOrUndo([&] {
      if (removed.empty()) return;
      const XmlNode tags = ConfXML.Root().ChildByNameOrAppend("tagslist");
      for (const auto& [index, item] : removed) tags.InsertChild(index, item);
      // The rows from the first removed one on are made again from their children, and the
      // removed ones selected as they were.
      const OwnRemoval own(ownRowRemovals_);
      const int first = removed.front().first;
      while (RowCount(lvTagged) > first)
        SendMessageA(lvTagged, LVM_DELETEITEM, static_cast<WPARAM>(RowCount(lvTagged) - 1), 0);
      const std::vector<XmlNode> items = tags.Children();
      for (size_t i = static_cast<size_t>(first); i < items.size(); ++i) AddTagRow(items[i]);
      for (const auto& entry : removed) SelectRow(lvTagged, entry.first);
      SetTextOf(eTag, typed);
      EnableWindow(btTag, tagEnabled);
      EnableWindow(btUnTag, TRUE);
    });
  } catch (...) {
    // What was removed stays removed in memory; the next change saves it.
  }
}

XmlNode TfrMain::DeleteSelectedTag() {
  const int row = FirstSelectedRow(lvTagged);
  if (row < 0) return {};
  XmlNode item = ConfXML.Root().ChildByNameOrAppend("tagslist").RemoveChild(row);
  const OwnRemoval own(ownRowRemovals_);
  // A row that stayed would pair with the wrong child from here on.
  if (!SendMessageA(lvTagged, LVM_DELETEITEM, static_cast<WPARAM>(row), 0))
    throw std::runtime_error("the row cannot be removed");
  return item;
}

void TfrMain::lvTaggedMouseDown(MouseButton button, int x, int y) {
  if (button != MouseButton::Left) return;
  // Read at every press: the user may have resized the column.
  const int width = static_cast<int>(SendMessageA(lvTagged, LVM_GETCOLUMNWIDTH, 0, 0));
  if (x <= 1 || x >= width + 1) return;
  LVHITTESTINFO hit{};
  hit.pt = POINT{2, y};
  const int row =
      static_cast<int>(SendMessageA(lvTagged, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (row < 0 || !(hit.flags & LVHT_ONITEM)) return;
  SetTextOf(eTag, RowFullPath(lvTagged, row));
  SelectRow(lvTagged, row);
  dropNextButtonUp_ = true;
  btUnTagClick();
}

}  // namespace qm
