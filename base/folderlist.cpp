#include "base/folderlist.h"

namespace qm {

namespace {

constexpr DWORD kListingAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
// Nobody else's work on the folder is held up while it is open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

UniqueFile OpenFolderForListing(const std::wstring& folder) {
  return UniqueFile(CreateFileW(folder.c_str(), kListingAccess, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

UniqueFile OpenFolderForListing(const std::string& folder) {
  return UniqueFile(CreateFileA(folder.c_str(), kListingAccess, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace qm
