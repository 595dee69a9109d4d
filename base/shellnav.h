// The shell namespace as the browsing controls see it: places given by absolute item id lists,
// their parsing names, their children, and one current folder that linked controls share.
// All calls run on a thread that has entered a COM apartment.
#pragma once

#include "base/handles.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qm {

// A text the shell cannot parse, or a place it cannot open.
class ShellError : public std::runtime_error {
 public:
  ShellError(const std::string& what, HRESULT code) : std::runtime_error(what), code_(code) {}
  HRESULT code() const { return code_; }

 private:
  HRESULT code_;
};

// The places a control can be rooted at.
enum class ShellRoot { rfDesktop, rfMyComputer, rfPersonal };

// An absolute item id list; the empty list is the Desktop.
class ShellPlace {
 public:
  ShellPlace() = default;  // no place at all
  explicit ShellPlace(UniquePidl pidl) : pidl_(std::move(pidl)) {}
  ShellPlace(const ShellPlace& other);
  ShellPlace& operator=(const ShellPlace& other);
  ShellPlace(ShellPlace&&) noexcept = default;
  ShellPlace& operator=(ShellPlace&&) noexcept = default;

  static ShellPlace Of(ShellRoot root);  // throws ShellError
  // Has the shell parse a text (a path, "::{...}" or "" for My Computer); throws ShellError.
  static ShellPlace Parse(const std::string& text);

  explicit operator bool() const { return static_cast<bool>(pidl_); }
  const ITEMIDLIST* get() const { return pidl_.get(); }
  int Depth() const;  // ids below the Desktop
  ShellPlace Parent() const;  // no place for the Desktop
  ShellPlace Child(const ITEMIDLIST* relative) const;
  ShellPlace Ancestor(int depth) const;  // the first depth ids
  bool operator==(const ShellPlace& other) const;
  // True when this place is other or lies below it.
  bool IsWithin(const ShellPlace& other) const;

  std::string ParsingName() const;  // SHGDN_FORPARSING; empty when the shell gives none
  std::string DisplayName() const;  // as the shell shows it
  bool IsFolder() const;            // SFGAO_FOLDER
  int IconIndex(bool open = false) const;  // in the system's small image list

 private:
  UniquePidl pidl_;
};

// An item of a folder, with what a control shows of it.
struct ShellEntry {
  ShellPlace place;
  std::string name;         // in-folder display name
  std::string parsingName;  // SHGDN_FORPARSING
  bool isFolder = false;
  bool hasSubfolders = false;
  ComPtr<IShellFolder> parent;  // the folder that enumerated it
  const ITEMIDLIST* Relative() const;  // the last id, owned by place
};

// The folder interface of a place; throws ShellError.
ComPtr<IShellFolder> BindFolder(const ShellPlace& place);

// The items of a folder, folders first, each group by name without regard to case. Hidden
// items are included; foldersOnly leaves files out. Throws ShellError when the folder cannot be
// opened.
std::vector<ShellEntry> FolderEntries(const ShellPlace& folder, bool foldersOnly);

// The system's small image list (shared; nobody destroys it).
HIMAGELIST SystemSmallImages();

// Parsing names are compared as the file system does: without regard to case.
// A character the code page cannot hold becomes "?", so that the name names no other entry.
std::string Utf16ToAnsi(const wchar_t* text);
std::wstring AnsiToUtf16(const std::string& text);
std::string StrRetText(STRRET& value, const ITEMIDLIST* relative);  // frees what it holds
// The name of item as folder gives it (item relative to folder; any depth for the Desktop);
// empty when the folder gives none.
std::string ItemName(IShellFolder& folder, const ITEMIDLIST* item, SHGDNF flags);

// One current folder below a root that linked controls follow. Setting the root makes the root
// the current folder; navigating to the folder already current does nothing.
class ShellNavigation {
 public:
  class Follower {
   public:
    virtual ~Follower() = default;
    virtual void RootChanged() = 0;
    virtual void FolderChanged() = 0;
  };

  ShellNavigation();  // rooted at the Desktop
  void Attach(Follower* follower);
  void Detach(Follower* follower);

  void SetRoot(ShellRoot root);  // throws ShellError
  const ShellPlace& Root() const { return root_; }
  const ShellPlace& Folder() const { return folder_; }
  void Navigate(const ShellPlace& folder);
  // To the parent of the current folder, but never above the root; false at the root.
  bool Up();

 private:
  ShellPlace root_;
  ShellPlace folder_;
  std::vector<Follower*> followers_;
};

}  // namespace qm
