#include "base/shellnav.h"

#include "base/codepage.h"

#include <shellapi.h>

#include <algorithm>

namespace qm {
namespace {

ComPtr<IShellFolder> Desktop() {
  ComPtr<IShellFolder> desktop;
  const HRESULT hr = SHGetDesktopFolder(desktop.put());
  if (FAILED(hr)) throw ShellError("the shell's Desktop is not available", hr);
  return desktop;
}

int CsidlOf(ShellRoot root) {
  switch (root) {
    case ShellRoot::rfMyComputer:
      return CSIDL_DRIVES;
    case ShellRoot::rfPersonal:
      return CSIDL_PERSONAL;
    case ShellRoot::rfDesktop:
      break;
  }
  return CSIDL_DESKTOP;
}

UniquePidl ClonePidl(const ITEMIDLIST* pidl) {
  return UniquePidl(pidl ? ILClone(pidl) : nullptr);
}

// The attributes asked for, of an absolute place, through its parent folder.
SFGAOF AttributesOf(const ITEMIDLIST* pidl, SFGAOF wanted) {
  if (!pidl || pidl->mkid.cb == 0) return wanted & SFGAO_FOLDER;  // the Desktop is a folder
  ComPtr<IShellFolder> parent;
  PCUITEMID_CHILD last = nullptr;
  if (FAILED(SHBindToParent(pidl, IID_IShellFolder, parent.put_void(), &last))) return 0;
  SFGAOF attributes = wanted;
  if (FAILED(parent->GetAttributesOf(1, &last, &attributes))) return 0;
  return attributes & wanted;
}

bool FolderFirstByName(const ShellEntry& a, const ShellEntry& b) {
  if (a.isFolder != b.isFolder) return a.isFolder;
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.name.c_str(), -1,
                        b.name.c_str(), -1) == CSTR_LESS_THAN;
}

}  // namespace

std::string Utf16ToAnsi(const wchar_t* text) {
  return text ? WideToSystemText(text, lstrlenW(text)) : std::string();
}

std::wstring AnsiToUtf16(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 1) return {};
  std::wstring out(size - 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), size);
  return out;
}

std::string StrRetText(STRRET& value, const ITEMIDLIST* relative) {
  switch (value.uType) {
    case STRRET_WSTR: {
      std::string text = Utf16ToAnsi(value.pOleStr);
      CoTaskMemFree(value.pOleStr);
      value.pOleStr = nullptr;
      return text;
    }
    case STRRET_CSTR:
      return value.cStr;
    case STRRET_OFFSET:
      return relative ? reinterpret_cast<const char*>(relative) + value.uOffset : "";
  }
  return {};
}

std::string ItemName(IShellFolder& folder, const ITEMIDLIST* item, SHGDNF flags) {
  STRRET value{};
  if (FAILED(folder.GetDisplayNameOf(item, flags, &value))) return {};
  // A name given as an offset lies inside the very item that was asked about.
  return StrRetText(value, item);
}

ShellPlace::ShellPlace(const ShellPlace& other) : pidl_(ClonePidl(other.get())) {}

ShellPlace& ShellPlace::operator=(const ShellPlace& other) {
  if (this != &other) pidl_ = ClonePidl(other.get());
  return *this;
}

ShellPlace ShellPlace::Of(ShellRoot root) {
  ITEMIDLIST* pidl = nullptr;
  const HRESULT hr = SHGetFolderLocation(nullptr, CsidlOf(root), nullptr, 0, &pidl);
  if (FAILED(hr) || !pidl) throw ShellError("the shell place is not available", hr);
  return ShellPlace(UniquePidl(pidl));
}

ShellPlace ShellPlace::Parse(const std::string& text) {
  std::wstring wide = AnsiToUtf16(text);
  ITEMIDLIST* pidl = nullptr;
  ULONG eaten = 0;
  const HRESULT hr =
      Desktop()->ParseDisplayName(nullptr, nullptr, wide.data(), &eaten, &pidl, nullptr);
  if (FAILED(hr) || !pidl) {
    if (pidl) CoTaskMemFree(pidl);
    throw ShellError("the shell cannot parse \"" + text + "\"", FAILED(hr) ? hr : E_FAIL);
  }
  return ShellPlace(UniquePidl(pidl));
}

int ShellPlace::Depth() const {
  int depth = 0;
  for (const ITEMIDLIST* id = get(); id && id->mkid.cb; id = ILGetNext(id)) ++depth;
  return depth;
}

ShellPlace ShellPlace::Ancestor(int depth) const {
  ShellPlace result(*this);
  if (!result) return result;
  for (int d = Depth(); d > depth; --d) ILRemoveLastID(result.pidl_.get());
  return result;
}

ShellPlace ShellPlace::Parent() const {
  const int depth = Depth();
  return depth > 0 ? Ancestor(depth - 1) : ShellPlace();
}

ShellPlace ShellPlace::Child(const ITEMIDLIST* relative) const {
  return ShellPlace(UniquePidl(ILCombine(get(), relative)));
}

bool ShellPlace::operator==(const ShellPlace& other) const {
  if (!*this || !other) return !*this && !other;
  return ILIsEqual(get(), other.get()) != FALSE;
}

bool ShellPlace::IsWithin(const ShellPlace& other) const {
  if (!*this || !other) return false;
  const int depth = other.Depth();
  return Depth() >= depth && Ancestor(depth) == other;
}

std::string ShellPlace::ParsingName() const {
  return *this ? ItemName(*Desktop().get(), get(), SHGDN_FORPARSING) : std::string();
}

std::string ShellPlace::DisplayName() const {
  return *this ? ItemName(*Desktop().get(), get(), SHGDN_NORMAL) : std::string();
}

bool ShellPlace::IsFolder() const { return (AttributesOf(get(), SFGAO_FOLDER) & SFGAO_FOLDER) != 0; }

int ShellPlace::IconIndex(bool open) const {
  SHFILEINFOA info{};
  const UINT flags = SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | (open ? SHGFI_OPENICON : 0);
  if (!SHGetFileInfoA(reinterpret_cast<LPCSTR>(get()), 0, &info, sizeof info, flags)) return -1;
  return info.iIcon;
}

const ITEMIDLIST* ShellEntry::Relative() const { return ILFindLastID(place.get()); }

ComPtr<IShellFolder> BindFolder(const ShellPlace& place) {
  ComPtr<IShellFolder> desktop = Desktop();
  if (!place || place.Depth() == 0) return desktop;
  ComPtr<IShellFolder> folder;
  const HRESULT hr = desktop->BindToObject(place.get(), nullptr, IID_IShellFolder,
                                           folder.put_void());
  if (FAILED(hr) || !folder) throw ShellError("the folder cannot be opened", FAILED(hr) ? hr : E_FAIL);
  return folder;
}

std::vector<ShellEntry> FolderEntries(const ShellPlace& place, bool foldersOnly) {
  ComPtr<IShellFolder> folder = BindFolder(place);
  const SHCONTF flags = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN | (foldersOnly ? 0 : SHCONTF_NONFOLDERS);
  ComPtr<IEnumIDList> items;
  const HRESULT hr = folder->EnumObjects(nullptr, flags, items.put());
  if (FAILED(hr)) throw ShellError("the folder cannot be listed", hr);
  std::vector<ShellEntry> entries;
  if (hr != S_OK || !items) return entries;  // S_FALSE: nothing to list
  ITEMIDLIST* child = nullptr;
  while (items->Next(1, &child, nullptr) == S_OK) {
    UniquePidl owned(child);
    SFGAOF attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
    const ITEMIDLIST* ids[] = {child};
    if (FAILED(folder->GetAttributesOf(1, ids, &attributes))) attributes = 0;
    if (foldersOnly && !(attributes & SFGAO_FOLDER)) continue;
    ShellEntry entry;
    entry.place = place.Child(child);
    entry.isFolder = (attributes & SFGAO_FOLDER) != 0;
    entry.hasSubfolders = (attributes & SFGAO_HASSUBFOLDER) != 0;
    entry.name = ItemName(*folder.get(), child, SHGDN_INFOLDER);
    entry.parsingName = ItemName(*folder.get(), child, SHGDN_FORPARSING);
    entry.parent = folder;
    entries.push_back(std::move(entry));
  }
  std::stable_sort(entries.begin(), entries.end(), FolderFirstByName);
  return entries;
}

HIMAGELIST SystemSmallImages() {
  SHFILEINFOA info{};
  return reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
      "C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

ShellNavigation::ShellNavigation() : root_(ShellPlace::Of(ShellRoot::rfDesktop)), folder_(root_) {}

void ShellNavigation::Attach(Follower* follower) { followers_.push_back(follower); }

void ShellNavigation::Detach(Follower* follower) {
  followers_.erase(std::remove(followers_.begin(), followers_.end(), follower), followers_.end());
}

void ShellNavigation::SetRoot(ShellRoot root) {
  root_ = ShellPlace::Of(root);
  folder_ = root_;
  // A copy: a follower may detach while it is told.
  const std::vector<Follower*> followers = followers_;
  for (Follower* f : followers) f->RootChanged();
}

void ShellNavigation::Navigate(const ShellPlace& folder) {
  if (!folder || folder == folder_) return;
  folder_ = folder;
  const std::vector<Follower*> followers = followers_;
  for (Follower* f : followers) f->FolderChanged();
}

bool ShellNavigation::Up() {
  if (folder_ == root_ || folder_.Depth() == 0) return false;
  Navigate(folder_.Parent());
  return true;
}

}  // namespace qm
