// The shell browsing controls: a folder tree, an item list and a folder combo. Controls that
// share one ShellNavigation are linked: each shows its current folder, navigating one moves
// the others, and setting the root of one sets the root of all.
//
// The controls are child windows of a window that forwards their WM_NOTIFY (HandleNotify) and
// WM_COMMAND (HandleCommand) messages; the events below run on that window's thread.
#pragma once

#include "base/shellnav.h"

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qm {

class ShellControl : protected ShellNavigation::Follower {
 public:
  ShellControl() = default;
  ~ShellControl() override;
  ShellControl(const ShellControl&) = delete;
  ShellControl& operator=(const ShellControl&) = delete;

  HWND hwnd() const { return hwnd_; }
  int id() const { return id_; }
  // Sets the root of every linked control; throws ShellError.
  void SetRoot(ShellRoot root) { navigation_->SetRoot(root); }
  ShellNavigation& Navigation() const { return *navigation_; }

 protected:
  // Creates the window and follows navigation from now on.
  bool CreateChild(HWND parent, int id, const RECT& place, const char* className, DWORD style,
                   DWORD exStyle, HFONT font, ShellNavigation& navigation);
  bool Mine(const NMHDR& header) const { return hwnd_ && header.hwndFrom == hwnd_; }

 private:
  // At the window's last message: from then on the control holds no handle and follows no
  // navigation, so that nothing here reaches a destroyed window.
  static LRESULT CALLBACK LifeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                   DWORD_PTR self);

  HWND hwnd_ = nullptr;
  int id_ = 0;
  ShellNavigation* navigation_ = nullptr;
};

// The folders below the root, filled as nodes are expanded. Its top node is the root itself,
// shown open and unselected until a folder is navigated to.
class ShellTreeView : public ShellControl {
 public:
  struct Style {
    bool linesAtRoot = true;
    bool rightClickSelects = false;
    bool tabStop = true;
  };
  ~ShellTreeView() override;
  bool Create(HWND parent, int id, const RECT& place, HFONT font, ShellNavigation& navigation,
              const Style& style);

  // The parsing name of the selected folder; empty with nothing selected.
  std::string Path() const;
  // Has the shell parse the text (throws ShellError when it cannot) and moves to it: a folder
  // becomes the current folder of every linked control; an item the tree does not hold leaves
  // the tree without a selection.
  void SetPath(const std::string& text);

  // The selection changed, by the user or by navigation; the argument is the new node or null.
  std::function<void(HTREEITEM)> OnChange;

  bool HandleNotify(NMHDR& header, LRESULT& result);

 protected:
  void RootChanged() override;
  void FolderChanged() override;

 private:
  struct Node {
    ShellPlace place;
    bool filled = false;
  };
  HTREEITEM AddNode(HTREEITEM parent, ShellPlace place, const std::string& name,
                    bool hasChildren);
  Node* NodeOf(HTREEITEM item) const;
  void Fill(HTREEITEM item);
  HTREEITEM Find(const ShellPlace& place);
  void Show(const ShellPlace& place);

  static LRESULT CALLBACK FocusProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                    DWORD_PTR self);

  Style style_;
  std::deque<Node> nodes_;  // stable addresses for the items' lParam
  HTREEITEM top_ = nullptr;
  bool rebuilding_ = false;
  bool focusing_ = false;
};

// The items of the current folder in report view with the columns the shell gives for it;
// folders first, each group by name. Labels can be edited, which renames through the shell.
class ShellListView : public ShellControl {
 public:
  ~ShellListView() override;
  bool Create(HWND parent, int id, const RECT& place, HFONT font, ShellNavigation& navigation);

  int ItemCount() const { return static_cast<int>(entries_.size()); }
  // The item at an index; throws std::out_of_range when there is none.
  const ShellEntry& Item(int index) const;
  // The index of the selected item, or -1.
  int ItemIndex() const;
  // The list moves to the parent of its current folder (never above the root).
  void Back();

  std::function<void()> OnClick;
  std::function<void()> OnDblClick;
  std::function<void()> OnKeyUp;

  bool HandleNotify(NMHDR& header, LRESULT& result);

 protected:
  void RootChanged() override { Refill(); }
  void FolderChanged() override { Refill(); }

 private:
  struct Row {
    std::vector<std::string> details;  // filled on first display
    int icon = -2;                     // -2: not asked yet
  };
  void Refill();
  void SetColumns();
  void GiveDisplayInfo(LVITEMA& item);
  void GiveDisplayInfo(LVITEMW& item);
  const std::string* DetailText(int index, int column);
  int IconOf(int index);
  bool Rename(int index, const std::string& name);
  static LRESULT CALLBACK KeyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                  DWORD_PTR self);

  ComPtr<IShellFolder> folder_;
  ComPtr<IShellFolder2> details_;  // null when the folder gives no columns
  int columns_ = 0;
  std::vector<ShellEntry> entries_;
  std::vector<Row> rows_;
  std::wstring wideScratch_;  // text handed to a Unicode display request
};

// The current folder with the chain of folders above it down from the root, beside the root's
// own folders; choosing one navigates there.
class ShellComboBox : public ShellControl {
 public:
  bool Create(HWND parent, int id, const RECT& place, HFONT font, ShellNavigation& navigation,
              int dropRows);

  // The parsing name of the current folder.
  std::string Path() const;
  // Has the shell parse the text (throws ShellError when it cannot); a folder becomes the
  // current folder of every linked control.
  void SetPath(const std::string& text);

  bool HandleCommand(int id, int code);

 protected:
  void RootChanged() override;
  void FolderChanged() override { Rebuild(); }

 private:
  void Rebuild();
  void Add(const ShellPlace& place, int indent);

  std::vector<ShellEntry> rootFolders_;
  std::vector<ShellPlace> shown_;  // by item index
  int current_ = -1;
};

}  // namespace qm
