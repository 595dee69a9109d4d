// Whole-file reads, crash-safe whole-file replacement and folder identities.
#pragma once

#include "base/clock.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qm {

// The file's bytes; nullopt when it cannot be opened or read (missing, a folder, or held open
// for writing by another program: a half-written file is never read).
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes bytes to a temporary file beside path (tempPath, or TemporaryPathFor when empty),
// flushes it to disk, then replaces path in one step (MoveFileEx with REPLACE_EXISTING |
// WRITE_THROUGH), retrying a few times within about 100 ms (waits through clock) while another
// program holds path open. On failure the temporary file is removed and path is left as it
// was. Two programs that replace one file each give their own tempPath, so that neither moves
// the other's half-written text into place. beforeMove, when given, runs right before each
// try to replace path; false leaves path alone (the temporary file is removed).
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes,
                           Clock& clock = SystemClock(), const std::string& tempPath = {},
                           const std::function<bool()>& beforeMove = {});
std::string TemporaryPathFor(const std::string& path);

// Creates path only when no file of that name exists, writes bytes and flushes them; a file
// that could not be written whole is removed again. False on failure, with GetLastError
// ERROR_FILE_EXISTS when the name was in use.
bool WriteNewFile(const std::string& path, const std::string& bytes);

// The folder part of a path, up to and including its last backslash; empty without one.
std::string FolderOf(const std::string& path);

// GetFullPathNameW and GetLongPathNameW of path, in UTF-16, whatever their length; empty when
// the call fails (for the long form: also when path does not exist).
std::wstring FullPathOf(const std::wstring& path);
std::wstring LongPathOf(const std::wstring& path);

// Removes folder and everything below it, read-only entries too; a link inside it is removed
// itself, never followed. True when the folder is gone.
bool RemoveTree(const std::string& folder);

bool FileExists(const std::string& path);     // a file or a folder
bool FolderExists(const std::string& path);

// A folder's identity, the same through every link that leads to it: what a walk of a tree
// compares to notice a link back into the folders it is walking.
struct FolderId {
  DWORD volumeSerial = 0;
  uint64_t fileIndex = 0;
  bool operator==(const FolderId& other) const {
    return volumeSerial == other.volumeSerial && fileIndex == other.fileIndex;
  }
};
bool ReadFolderId(const std::string& folder, FolderId& id);
bool ReadFolderId(HANDLE folder, FolderId& id);
// The file index alone, the same as ReadFolderId's, without the volume query that costs far
// more under Wine than the rest (about 0.7 ms a folder): for folders known to share a volume.
bool ReadFileIndex(HANDLE file, uint64_t& index);

}  // namespace qm
