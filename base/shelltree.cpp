#include "base/shellcontrols.h"

namespace qm {
namespace {

constexpr UINT_PTR kFocusSubclass = 1;
constexpr UINT_PTR kLifeSubclass = 1;

}  // namespace

ShellControl::~ShellControl() {
  if (navigation_) navigation_->Detach(this);
}

LRESULT CALLBACK ShellControl::LifeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                        DWORD_PTR self) {
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, &ShellControl::LifeProc, kLifeSubclass);
    auto* control = reinterpret_cast<ShellControl*>(self);
    if (control->navigation_) control->navigation_->Detach(control);
    control->hwnd_ = nullptr;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

bool ShellControl::CreateChild(HWND parent, int id, const RECT& place, const char* className,
                               DWORD style, DWORD exStyle, HFONT font,
                               ShellNavigation& navigation) {
  // The combo's class in particular is registered only on request.
  static const BOOL registered = [] {
    INITCOMMONCONTROLSEX classes{sizeof classes,
                                 ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES};
    return InitCommonControlsEx(&classes);
  }();
  (void)registered;
  hwnd_ = CreateWindowExA(exStyle, className, "", WS_CHILD | WS_VISIBLE | style, place.left,
                          place.top, place.right - place.left, place.bottom - place.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleA(nullptr), nullptr);
  if (!hwnd_) return false;
  id_ = id;
  SetWindowSubclass(hwnd_, &ShellControl::LifeProc, kLifeSubclass,
                    reinterpret_cast<DWORD_PTR>(this));
  if (font) SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  navigation_ = &navigation;
  navigation.Attach(this);
  return true;
}

ShellTreeView::~ShellTreeView() {
  // Freed while its window lives on: the items must not point into freed nodes meanwhile.
  if (hwnd()) {
    RemoveWindowSubclass(hwnd(), &ShellTreeView::FocusProc, kFocusSubclass);
    rebuilding_ = true;
    TreeView_DeleteAllItems(hwnd());
  }
}

// A tree without a selection selects its first node when it gains the focus; that would pass
// for a choice of the user's, so it is refused (see TVN_SELCHANGING).
LRESULT CALLBACK ShellTreeView::FocusProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                          DWORD_PTR self) {
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &ShellTreeView::FocusProc, kFocusSubclass);
  if (msg != WM_SETFOCUS) return DefSubclassProc(hwnd, msg, wp, lp);
  auto* tree = reinterpret_cast<ShellTreeView*>(self);
  tree->focusing_ = true;
  const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
  tree->focusing_ = false;
  return result;
}

bool ShellTreeView::Create(HWND parent, int id, const RECT& place, HFONT font,
                           ShellNavigation& navigation, const Style& style) {
  style_ = style;
  const DWORD treeStyle = (style.tabStop ? WS_TABSTOP : 0) | TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS |
                          (style.linesAtRoot ? TVS_LINESATROOT : 0);
  if (!CreateChild(parent, id, place, WC_TREEVIEWA, treeStyle, WS_EX_CLIENTEDGE, font,
                   navigation))
    return false;
  TreeView_SetImageList(hwnd(), SystemSmallImages(), TVSIL_NORMAL);
  SetWindowSubclass(hwnd(), &ShellTreeView::FocusProc, kFocusSubclass,
                    reinterpret_cast<DWORD_PTR>(this));
  RootChanged();
  return true;
}

HTREEITEM ShellTreeView::AddNode(HTREEITEM parent, ShellPlace place, const std::string& name,
                                 bool hasChildren) {
  const int icon = place.IconIndex();
  const int openIcon = place.IconIndex(true);
  nodes_.push_back(Node{std::move(place), false});
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent ? parent : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<char*>(name.c_str());
  insert.item.lParam = reinterpret_cast<LPARAM>(&nodes_.back());
  insert.item.cChildren = hasChildren ? 1 : 0;
  insert.item.iImage = icon < 0 ? 0 : icon;
  insert.item.iSelectedImage = openIcon < 0 ? insert.item.iImage : openIcon;
  return TreeView_InsertItem(hwnd(), &insert);
}

ShellTreeView::Node* ShellTreeView::NodeOf(HTREEITEM item) const {
  if (!item) return nullptr;
  TVITEMA data{};
  data.mask = TVIF_PARAM;
  data.hItem = item;
  if (!TreeView_GetItem(hwnd(), &data)) return nullptr;
  return reinterpret_cast<Node*>(data.lParam);
}

void ShellTreeView::Fill(HTREEITEM item) {
  Node* node = NodeOf(item);
  if (!node || node->filled) return;
  node->filled = true;
  std::vector<ShellEntry> folders;
  try {
    folders = FolderEntries(node->place, true);
  } catch (const ShellError&) {
    // A folder that cannot be opened (a drive without a medium) simply shows no children.
  }
  for (ShellEntry& entry : folders)
    AddNode(item, std::move(entry.place), entry.name, entry.hasSubfolders);
  if (folders.empty()) {
    TVITEMA data{};
    data.mask = TVIF_CHILDREN;
    data.hItem = item;
    data.cChildren = 0;
    TreeView_SetItem(hwnd(), &data);
  }
}

HTREEITEM ShellTreeView::Find(const ShellPlace& place) {
  const ShellPlace& root = Navigation().Root();
  if (!top_ || !place.IsWithin(root)) return nullptr;
  HTREEITEM item = top_;
  for (int depth = root.Depth() + 1; depth <= place.Depth(); ++depth) {
    Fill(item);
    const ShellPlace step = place.Ancestor(depth);
    HTREEITEM child = TreeView_GetChild(hwnd(), item);
    while (child) {
      Node* node = NodeOf(child);
      if (node && node->place == step) break;
      child = TreeView_GetNextSibling(hwnd(), child);
    }
    if (!child) return nullptr;
    item = child;
  }
  return item;
}

void ShellTreeView::Show(const ShellPlace& place) {
  HTREEITEM item = Find(place);
  if (item) {
    for (HTREEITEM up = TreeView_GetParent(hwnd(), item); up; up = TreeView_GetParent(hwnd(), up))
      TreeView_Expand(hwnd(), up, TVE_EXPAND);
    TreeView_SelectItem(hwnd(), item);
    TreeView_EnsureVisible(hwnd(), item);
  } else {
    TreeView_SelectItem(hwnd(), nullptr);
  }
}

void ShellTreeView::RootChanged() {
  rebuilding_ = true;
  TreeView_DeleteAllItems(hwnd());
  nodes_.clear();
  const ShellPlace& root = Navigation().Root();
  top_ = AddNode(nullptr, root, root.DisplayName(), true);
  Fill(top_);
  TreeView_Expand(hwnd(), top_, TVE_EXPAND);
  rebuilding_ = false;
}

void ShellTreeView::FolderChanged() { Show(Navigation().Folder()); }

std::string ShellTreeView::Path() const {
  Node* node = NodeOf(TreeView_GetSelection(hwnd()));
  return node ? node->place.ParsingName() : std::string();
}

void ShellTreeView::SetPath(const std::string& text) {
  const ShellPlace place = ShellPlace::Parse(text);
  if (place.IsFolder()) Navigation().Navigate(place);
  Show(place);  // also when the folder was current already, or is no folder at all
}

bool ShellTreeView::HandleNotify(NMHDR& header, LRESULT& result) {
  if (!Mine(header)) return false;
  result = 0;
  switch (header.code) {
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW: {
      // The item part is laid out alike in both forms.
      auto& change = reinterpret_cast<NMTREEVIEWA&>(header);
      if (change.action & TVE_EXPAND) Fill(change.itemNew.hItem);
      return true;
    }
    case TVN_SELCHANGINGA:
    case TVN_SELCHANGINGW:
      result = focusing_ && !reinterpret_cast<NMTREEVIEWA&>(header).itemOld.hItem;
      return true;
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW: {
      if (rebuilding_) return true;
      HTREEITEM item = reinterpret_cast<NMTREEVIEWA&>(header).itemNew.hItem;
      if (Node* node = NodeOf(item)) Navigation().Navigate(node->place);
      if (OnChange) OnChange(item);
      return true;
    }
    case NM_RCLICK: {
      if (!style_.rightClickSelects) return false;
      TVHITTESTINFO hit{};
      GetCursorPos(&hit.pt);
      ScreenToClient(hwnd(), &hit.pt);
      if (HTREEITEM item = TreeView_HitTest(hwnd(), &hit)) TreeView_SelectItem(hwnd(), item);
      result = 1;
      return true;
    }
  }
  return false;
}

}  // namespace qm
