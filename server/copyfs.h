// The file-system steps of a copy run: single-path lookups, folder listings held in memory,
// the file-date comparison, the check that a mirror path stays inside the target, the copy that
// reaches its name only when complete and never destroys the copy it replaces, the straight
// copy into a folder that is built under a temporary name, and the clean-up of what an ended
// copy left.
#pragma once

#include "base/fileio.h"
#include "base/handles.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace qm {

struct EntryFacts {
  DWORD attributes = 0;
  FILETIME lastWrite{};
  uint64_t size = 0;  // nFileSizeHigh:nFileSizeLow

  bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

EntryFacts FactsOf(const WIN32_FIND_DATAA& found);

// One path looked up with FindFirstFileA (every attribute, the handle closed at once); false
// when nothing is there.
bool LookUpEntry(const std::string& path, EntryFacts& facts);

// The same facts by GetFileAttributesExA, which needs no listing of the folder that holds path:
// the lookup for a folder that exists but cannot be listed.
bool LookUpPath(const std::string& path, EntryFacts& facts);

// The folder that holds path, without trailing "\"; empty when path has no "\".
std::string ParentFolder(const std::string& path);

// Whether name has the form of this program's temporary copies and folders: "~qm", eight
// lower-case hex digits, ".tmp", exactly as they are made.
bool IsTemporaryName(const std::string& name);

// A fresh temporary name in folder (without trailing "\"), as a full path.
std::string NewTemporaryPath(const std::string& folder);

// The longest paths the ANSI calls take: a file's path is shorter than MAX_PATH, and a folder's
// shorter than MAX_PATH - 12, as CreateDirectoryA keeps room for an 8.3 name inside it.
constexpr size_t kFilePathLimit = MAX_PATH;
constexpr size_t kFolderPathLimit = MAX_PATH - 12;

// The entries of one folder by name. Names match without regard to letter case, as a lookup of
// a single path on Windows does, so one listing answers every lookup in that folder. Entries
// whose names the system code page cannot hold are left out.
class FolderEntries {
 public:
  // Lists folder (without trailing "\"); false when it cannot be listed, leaving no entries.
  bool Read(const std::string& folder);
  const EntryFacts* Find(const std::string& name) const;  // null when there is no such entry
  size_t Count() const { return entries_.size(); }
  // The listed files and folders whose names have the form of this program's temporaries.
  const std::vector<std::string>& Temporaries() const { return temporaries_; }

 private:
  std::unordered_map<std::string, EntryFacts> entries_;
  std::vector<std::string> temporaries_;
};

std::string UpperCaseName(const std::string& name);

// One entry of a folder's listing, its name in the system code page.
struct ListedEntry {
  std::string name;  // "?" for each character that the code page cannot hold
  EntryFacts facts;
  bool named = true;  // false: the code page cannot hold the name, which names no entry
};

// A source folder of a walk, opened once: the walk compares its identity with the folders it
// is in and with the target, and lists it through the same handle.
class SourceFolder {
 public:
  // sameVolumeAs: the folder whose listing holds this one, when this one is no link (reparse
  // point) and so lies on that folder's volume, whose serial it takes instead of asking for it
  // (the volume query costs more under Wine than the rest of the walk of a folder); null: the
  // volume is asked for.
  SourceFolder(const std::string& path, const SourceFolder* sameVolumeAs);
  const FolderId* Id() const { return id_ ? &*id_ : nullptr; }  // null: not identified
  // Its entries but "." and "..", named in codePage; false when it cannot be listed.
  bool List(std::vector<ListedEntry>& entries, UINT codePage = GetACP()) const;

 private:
  UniqueFile handle_;
  std::optional<FolderId> id_;
};

// File dates of a source and its copy count as equal when their local last-write times pack to
// the same DOS date-time (2-second steps), or lie less than 2 seconds apart: FAT32 and exFAT
// round a copy's time up to the next even second, which can cross into the next step. Both
// amount to: less than 2 seconds apart.
bool SameFileDate(const FILETIME& a, const FILETIME& b);

// Whether target + relative lies strictly inside target: relative holds no "." or ".."
// segment (nor one of dots and blanks only, which Windows shortens to those), no colon (a
// drive or an alternate stream), and its resolved full path starts with the target's.
bool StaysInsideTarget(const std::string& target, const std::string& relative);

// True when the copy in hand is to give up: the server is ending.
using StopCheck = std::function<bool()>;

// Copies one file's contents, attributes and last-write time as CopyFileA does, and gives up as
// soon as stop says so, failing with ERROR_REQUEST_ABORTED. The system's is CopyFileExA, whose
// progress routine Windows calls after each chunk of a file, and which removes the partial copy
// when it is told to stop there; Wine's calls no progress routine and finishes every copy. A
// seam, so that tests can stand in a copy that is still in hand when the end comes.
using FileCopy = std::function<bool(const std::string& source, const std::string& dest,
                                    bool failIfExists, const StopCheck& stop)>;
bool SystemFileCopy(const std::string& source, const std::string& dest, bool failIfExists,
                    const StopCheck& stop);

// How the copies of a run are made and when they are to stop.
struct CopyControl {
  FileCopy copy = SystemFileCopy;
  StopCheck stop;  // none: never

  bool Stopping() const { return stop && stop(); }
};

// Stopped: the server is ending; the copy in hand was given up, and what it made removed.
enum class CopyResult { Copied, SourceMissing, DiskFull, Failed, Stopped };

// Copies source to dest by CopyFileA (contents, attributes, last-write time). oldCopy holds
// what a listing found at dest (null: nothing). The copy is written to a fresh temporary file
// in dest's folder and reaches dest only when it is complete, by a rename in one step, so that
// no torn copy ever stands under dest's name. Only a copy that replaces an old one is flushed
// before its rename: a new file has no earlier copy to protect. A read-only old copy loses that
// attribute just for the replacement and gets it back when that fails. A copy that turned up
// at dest since the listing is replaced like any other.
// Where the temporary name would not fit MAX_PATH though dest does (a deep folder), the copy
// goes straight to dest, as it must never become un-updatable; a failed direct copy that
// changed dest removes it, so that no torn copy keeps the source's date.
// A failed attempt removes only what it made itself.
// SourceMissing: the source was gone when the copy started. A stop that comes after the copy
// was made but before a replacement was flushed gives the copy up as well: the flush of a large
// file can take long, and the old copy stays whole either way.
CopyResult CopyReplacing(const std::string& source, const std::string& dest,
                         const EntryFacts* oldCopy, const CopyControl& control = {});

// Copies source to dest, a path inside a folder that this run is building under a temporary
// name: nothing there is anyone's copy yet, so the copy goes straight to its name. What stands
// there was made by this run (the copy of a source name that differs only in letter case from
// this one) and is replaced. A failed copy removes only what it made itself; partLeft tells
// that a part of it could not be removed, so that the folder must not reach its real name.
CopyResult CopyStraight(const std::string& source, const std::string& dest, bool& partLeft,
                        const CopyControl& control = {});

// Renames a folder built under a temporary name to its real name, which must still be free.
bool RenameFolder(const std::string& temp, const std::string& dest);

// Removes the temporary files and folders (a folder with all it holds) that an ended process
// left in destFolder (names: those of its listing that have the form of the temporaries),
// except where sourceFolder holds an entry of the same name: that is a user's own file or
// folder, and its copy stays.
void RemoveLeftoverTemporaries(const std::string& sourceFolder, const std::string& destFolder,
                               const std::vector<std::string>& names);
// The same for a folder that was not listed: finds the candidates itself.
void RemoveLeftoverTemporaries(const std::string& sourceFolder, const std::string& destFolder);

}  // namespace qm
