#include "frontend/tagentry.h"

#include "base/fileio.h"
#include "base/handles.h"
#include "tools/tools.h"

#include <algorithm>
#include <limits>

namespace qm {

const char* const kUnknownEntryCaption = "Unknown File or Directory";
const char* const kUnknownEntryText =
    "The File or Directory does not exist or is not available on this PC. Please use the Browse "
    "function to identify the file or directory you wish to tag!";

namespace {

int32_t AddKb(int32_t total, int32_t kb) {
  const int64_t sum = static_cast<int64_t>(total) + kb;
  return sum > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                   : static_cast<int32_t>(sum);
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// chain: the identities of the folders from the walk's start down to folder.
int32_t WalkSizeKB(const std::string& folder, std::vector<FolderId>& chain) {
  WIN32_FIND_DATAA found;
  UniqueFind search(FindFirstFileA((folder + "\\*.*").c_str(), &found));
  if (!search) return 0;
  int32_t total = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string sub = folder + "\\" + name;
      FolderId id;
      const bool identified = ReadFolderId(sub, id);
      if (identified && std::find(chain.begin(), chain.end(), id) != chain.end()) continue;
      if (identified) chain.push_back(id);
      total = AddKb(total, WalkSizeKB(sub, chain));
      if (identified) chain.pop_back();
    } else {
      total = AddKb(total, BytesToKB64((static_cast<uint64_t>(found.nFileSizeHigh) << 32) |
                                       found.nFileSizeLow));
    }
  } while (FindNextFileA(search.get(), &found));
  return total;
}

}  // namespace

bool FindEntry(const std::string& path, FoundEntry& entry) {
  WIN32_FIND_DATAA found;
  UniqueFind search(FindFirstFileA(path.c_str(), &found));
  if (!search) return false;
  entry.attributes = found.dwFileAttributes;
  entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return true;
}

bool IsFullPathText(const std::string& text) {
  if (text.size() >= 3 && IsDriveLetter(text[0]) && text[1] == ':' && text[2] == '\\') return true;
  return text.size() >= 3 && text[0] == '\\' && text[1] == '\\' && text[2] != '\\';
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

std::string DropOneTrailingBackslash(const std::string& text) {
  return !text.empty() && text.back() == '\\' ? text.substr(0, text.size() - 1) : text;
}

bool TagTextExists(const std::string& text, const EntryLookup& lookUp) {
  FoundEntry entry;
  return IsFullPathText(text) && !HasWildcard(text) && lookUp(text, entry);
}

TagName SplitTagText(const std::string& text) {
  const size_t cut = text.find_last_of("\\:");
  if (cut == std::string::npos) return {text, ""};
  return {text.substr(cut + 1), text.substr(0, cut + 1)};
}

int FindTagRow(const std::vector<TagName>& rows, const TagName& tag) {
  for (int i = static_cast<int>(rows.size()) - 1; i >= 0; --i)
    if (rows[static_cast<size_t>(i)] == tag) return i;
  return -1;
}

int TagKind(DWORD attributes) {
  return ((attributes & FILE_ATTRIBUTE_DIRECTORY) ? 2 : 0) +
         ((attributes & FILE_ATTRIBUTE_HIDDEN) ? 1 : 0);
}

int32_t FolderSizeKB(const std::string& folder) {
  std::vector<FolderId> chain;
  FolderId id;
  if (ReadFolderId(folder, id)) chain.push_back(id);
  return WalkSizeKB(folder, chain);
}

bool AppendTagItem(const XmlNode& tags, const std::string& text, const EntryLookup& lookUp) {
  const XmlNode item = tags.AppendChildElement("item");
  try {
    const TagName tag = SplitTagText(text);
    item.AppendChildElement("caption").SetText(tag.name);
    item.AppendChildElement("path").SetText(tag.path);
    item.AppendChildElement("lastsync").SetText(DateTimeToText(NeverSyncDate));
    FoundEntry entry;
    // An item without size and kind would end the server's reading of conf.xml.
    if (!lookUp(text, entry)) throw XmlError("the entry is gone: " + text);
    const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const int32_t kb = folder ? FolderSizeKB(text) : BytesToKB64(entry.size);
    item.AppendChildElement("size").SetText(std::to_string(kb));
    item.AppendChildElement("ftype").SetText(std::to_string(TagKind(entry.attributes)));
    return true;
  } catch (...) {
    item.RemoveAllChildren();
    tags.RemoveChild(tags.ChildCount() - 1);
    return false;
  }
}

}  // namespace qm
