// A folder opened once, whose one handle tells its identity (ReadFolderId, ReadFileIndex) and
// lists its entries, in large blocks and in UTF-16. Under Wine a FindFirstFile listing opens a
// handle of its own and reads in small blocks; a walk that also needs each folder's identity
// would open every folder twice.
#pragma once

#include "base/handles.h"

#include <windows.h>

#include <string>
#include <vector>

namespace qm {

// Opens folder for listing and for reading its identity; an empty handle when it cannot.
UniqueFile OpenFolderForListing(const std::wstring& folder);
UniqueFile OpenFolderForListing(const std::string& folder);  // a path in the system code page

// Room for one block of a listing.
constexpr size_t kListingBlockBytes = 64 * 1024;

// Calls visit(const FILE_FULL_DIR_INFO&) for every entry of an opened folder, "." and ".."
// included, from the first one (also on a second listing through the same handle). block is
// the room each read fills (kListingBlockBytes). False when the listing broke off before its
// end: what was visited is then not the whole folder.
template <class Visit>
bool ListFolder(HANDLE folder, std::vector<unsigned char>& block, Visit&& visit) {
  if (block.size() < kListingBlockBytes) block.resize(kListingBlockBytes);
  FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder, kind, block.data(), static_cast<DWORD>(block.size()))) {
    kind = FileFullDirectoryInfo;
    for (size_t at = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(block.data() + at);
      visit(*entry);
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  return GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace qm
