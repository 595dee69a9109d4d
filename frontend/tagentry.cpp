#include "frontend/tagentry.h"

#include "base/codepage.h"
#include "base/fileio.h"
#include "base/folderlist.h"
#include "base/handles.h"
#include "tools/tools.h"

#include <algorithm>
#include <limits>
#include <string_view>

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

// The parts of a path between its separators; Windows takes "/" for "\" too.
std::vector<std::string> PathParts(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find_first_of("\\/", start);
    parts.push_back(path.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// Windows shortens a part of dots and blanks only to "." or "..", which lead out of the folder.
bool IsDotsAndBlanks(const std::string& part) {
  return part.find('.') != std::string::npos && part.find_first_not_of(". ") == std::string::npos;
}

// One entry has many spellings: a trailing dot or blank, a doubled backslash, an 8.3 short name
// of itself or of any folder above it. The one kept is the full path (GetFullPathName) with the
// long name of every part (GetLongPathName, which alone would keep a trailing dot or blank); a
// part that differs from its long name only in letter case stays as typed, as letter case
// tells tags apart (Wine's GetLongPathName gives every part that fits 8.3 the case on disk).
// The long names come in UTF-16: GetLongPathNameA would hand a name the code page cannot hold
// over as its best-fit look-alike, another entry's name. False when a long name has no exact
// form in the code page: the text names nothing that can be tagged.
bool LongFullForm(const std::string& text, std::string& form) {
  form = text;
  const std::wstring full = FullPathOf(SystemTextToWide(text));
  if (full.empty()) return true;
  std::string fullText, longText;
  if (!WideToCodePage(full, GetACP(), fullText)) return false;
  const std::wstring longForm = LongPathOf(full);
  if (!WideToCodePage(longForm, GetACP(), longText)) return false;
  form = fullText;
  std::vector<std::string> parts = PathParts(fullText);
  const std::vector<std::string> longParts = PathParts(longText);
  if (longParts.size() != parts.size()) return true;
  form.clear();
  for (size_t i = 0; i < parts.size(); ++i) {
    if (lstrcmpiA(parts[i].c_str(), longParts[i].c_str()) != 0) parts[i] = longParts[i];
    form += (i ? "\\" : "") + parts[i];
  }
  return true;
}

struct SizeWalk {
  DWORD volumeSerial = 0;        // of the walk's start
  std::vector<FolderId> chain;  // the folders from the walk's start down to the one in hand
  std::vector<unsigned char> listing = std::vector<unsigned char>(kListingBlockBytes);
};

struct SubFolder {
  std::wstring name;
  bool link;  // a reparse point: a junction or a link, which may lead to another volume
};

// Each folder is opened once, and that one handle tells its identity and lists it, in large
// blocks and in UTF-16, so that a name outside the code page is walked too.
int32_t WalkSizeKB(const std::wstring& folder, bool reachedByLink, SizeWalk& walk) {
  UniqueFile handle = OpenFolderForListing(folder);
  if (!handle) return 0;
  // A plain sub-folder shares its parent's volume: its index alone spares the volume query.
  FolderId id;
  bool identified;
  if (reachedByLink || walk.chain.empty()) {
    identified = ReadFolderId(handle.get(), id);
    if (identified && walk.chain.empty()) walk.volumeSerial = id.volumeSerial;
  } else {
    id.volumeSerial = walk.volumeSerial;
    identified = ReadFileIndex(handle.get(), id.fileIndex);
  }
  // A link back into the folders being walked would make the walk endless.
  if (identified && std::find(walk.chain.begin(), walk.chain.end(), id) != walk.chain.end())
    return 0;

  int32_t total = 0;
  std::vector<SubFolder> subs;
  ListFolder(handle.get(), walk.listing, [&](const FILE_FULL_DIR_INFO& entry) {
    const std::wstring_view name(entry.FileName, entry.FileNameLength / sizeof(wchar_t));
    if (!(entry.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      total = AddKb(total, BytesToKB64(static_cast<uint64_t>(entry.EndOfFile.QuadPart)));
    else if (name != L"." && name != L"..")
      subs.push_back({std::wstring(name), (entry.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  });
  handle.close();

  if (identified) walk.chain.push_back(id);
  for (const SubFolder& sub : subs)
    total = AddKb(total, WalkSizeKB(folder + L"\\" + sub.name, sub.link, walk));
  if (identified) walk.chain.pop_back();
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

bool TagEntryPath(const std::string& text, std::string& entry, const EntryLookup& lookUp) {
  if (!IsFullPathText(text) || HasWildcard(text) || text.find(':', 2) != std::string::npos)
    return false;
  // A "." or ".." is refused rather than resolved: it resolves by the text alone, through
  // folders that need not exist, and the user would be shown another entry than the one typed.
  const std::vector<std::string> typed = PathParts(text);
  FoundEntry found;
  if (std::any_of(typed.begin(), typed.end(), IsDotsAndBlanks) || !lookUp(text, found))
    return false;
  if (!LongFullForm(text, entry)) return false;
  const std::vector<std::string> parts = PathParts(entry);
  return std::none_of(parts.begin(), parts.end(), [](const std::string& part) {
    return !part.empty() && (part.back() == '.' || part.back() == ' ');
  });
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
  SizeWalk walk;
  return WalkSizeKB(SystemTextToWide(folder), false, walk);
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
