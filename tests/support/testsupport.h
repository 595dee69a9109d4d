// Helpers shared by the test suites: scratch folders, Wine paths, files.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace qm::test {

// The build's bin folder (where QuillmereServ.exe is) and the build folder, as Windows paths
// ending in "\".
std::string BinDir();
std::string BuildDir();

// A fresh, empty folder below the build's scratch area, ending in "\"; unique per call.
std::string MakeScratchFolder(const std::string& hint);
bool RemoveTree(const std::string& folder);

std::string ReadFileOrEmpty(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Last-write times of files (and folders), as FILETIME.
bool SameFileTime(const FILETIME& a, const FILETIME& b);
bool WriteFileWithTime(const std::string& path, const std::string& bytes,
                       const FILETIME& lastWrite);
std::optional<FILETIME> LastWriteTime(const std::string& path);
bool SetLastWriteTime(const std::string& path, const FILETIME& lastWrite);

// A Unix symbolic link at link (a Windows path on drive Z:) to the folder target, which a tree
// walk meets as a folder; false where it cannot be made (Wine's own CreateSymbolicLinkA reports
// success without making one). RemoveFolderLink removes the link only, which Wine cannot.
bool MakeFolderLink(const std::string& target, const std::string& link);
void RemoveFolderLink(const std::string& link);

// Renames from to to through a Unix tool, so that to may differ only in letter case from a
// name beside it: a Unix folder holds both, where Wine itself takes them for one name. False
// where that cannot be done.
bool RenameThroughUnix(const std::string& from, const std::string& to);

// The small drive letter (with its own tmpfs) the harness set up, such as "T:\"; empty when
// the harness could not mount one (tests that need it skip).
std::string SmallDriveRoot();

}  // namespace qm::test
