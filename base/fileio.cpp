#include "base/fileio.h"

#include <windows.h>

namespace qm {
// stub
std::optional<std::string> ReadWholeFile(const std::string&) { return std::nullopt; }
bool ReplaceFileAtomically(const std::string&, const std::string&) { return false; }
bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
bool FolderExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace qm
