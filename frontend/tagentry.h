// What tagging needs of the file system and of the tag list's texts, without a window: the
// tests a typed path must pass, its split into name and path, the duplicate search, an entry's
// kind and size, and the building of a new conf.xml item.
//
// The server stops reading conf.xml at the first item it cannot use and drops every tag after
// it, so a new item is either complete (name, path, date, size, kind) or not added at all.
#pragma once

#include "base/xmldoc.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm {

// The box for a text that names no entry that can be tagged (also for a target with wildcards).
extern const char* const kUnknownEntryCaption;
extern const char* const kUnknownEntryText;

// What a directory search tells of one entry.
struct FoundEntry {
  DWORD attributes = 0;
  uint64_t size = 0;  // bytes, nFileSizeHigh:nFileSizeLow
};
using EntryLookup = std::function<bool(const std::string& path, FoundEntry& entry)>;

// FindFirstFileA for path with every kind of entry allowed; the search is closed at once.
bool FindEntry(const std::string& path, FoundEntry& entry);

// A drive letter, a colon and a backslash, or two backslashes and a server name.
bool IsFullPathText(const std::string& text);
bool HasWildcard(const std::string& text);

// The typed text as it is tested and stored: one trailing backslash dropped, a second kept.
std::string DropOneTrailingBackslash(const std::string& text);

// The existence test of "Add Tag": a full path without wildcards at which a search finds an
// entry, and that the server can mirror below its target: no part of dots and blanks only
// ("." and ".." among them, and the "." of a device path "\\.\"), no colon after the drive's.
// A relative text would be stored with an empty path, and a wildcard would be stored as a
// name; none of them can be copied. On success entry is what is tested for a duplicate and
// stored: the entry's long full form (full path, long names, letter case as typed), so that a
// trailing dot or blank or a short name is no second spelling of one entry. A form that still
// has a name ending in a dot or blank is refused: the server cannot copy it; so is one with a
// long name that the system code page cannot hold, which no text of the programs can name.
bool TagEntryPath(const std::string& text, std::string& entry,
                  const EntryLookup& lookUp = FindEntry);

// A tag's two texts: the name (after the last backslash or colon) and the path (up to and
// including it). A row's full path is path + name.
struct TagName {
  std::string name;
  std::string path;
  bool operator==(const TagName&) const = default;
};
TagName SplitTagText(const std::string& text);

// The last row whose name and path equal the tag's exactly (letter case counts); -1 when none.
int FindTagRow(const std::vector<TagName>& rows, const TagName& tag);

// conf.xml's kind of an entry: 2 for a folder, else 0; plus 1 when hidden.
int TagKind(DWORD attributes);

// Total size in KB of every file below folder (given without a trailing backslash), each file
// counted at least 1 KB; 0 for an empty, missing or unreadable folder. Sizes of 2 GiB and more
// count whole, the total stops at 2147483647, and a link or junction that leads back into the
// folders being walked is not followed again.
int32_t FolderSizeKB(const std::string& folder);

// Appends a new item for text (a tested tag text) as the last child of tags, its children in the
// order caption, path, lastsync, size, ftype. When any of it fails, the entry having vanished
// since it was tested included, the item is taken out again and the result is false.
bool AppendTagItem(const XmlNode& tags, const std::string& text,
                   const EntryLookup& lookUp = FindEntry);

}  // namespace qm
