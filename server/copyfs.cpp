#include "server/copyfs.h"

#include "base/codepage.h"
#include "base/fileio.h"
#include "base/folderlist.h"
#include "base/handles.h"

#include <atomic>
#include <string_view>
#include <vector>

namespace qm {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;  // FILETIME counts 100 ns steps

int64_t Ticks(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

bool IsDotsAndBlanks(const std::string& segment) {
  if (segment.empty()) return false;
  bool dot = false;
  for (char c : segment) {
    if (c == '.')
      dot = true;
    else if (c != ' ')
      return false;
  }
  return dot;
}

bool FullPath(const std::string& path, std::string& full) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()),
                                     buffer.data(), nullptr);
    if (n == 0) return false;
    if (n < buffer.size()) {
      full.assign(buffer.data(), n);
      return true;
    }
    buffer.resize(n + 1);
  }
  return false;
}

constexpr char kTempPrefix[] = "~qm";
constexpr char kTempSuffix[] = ".tmp";
constexpr size_t kTempDigits = 8;
constexpr size_t kTempNameLength = sizeof kTempPrefix - 1 + kTempDigits + sizeof kTempSuffix - 1;
constexpr char kHexDigits[] = "0123456789abcdef";

}  // namespace

// Unique within the process, and combined with the process id so that two programs never pick
// the same name at the same moment.
std::string NewTemporaryPath(const std::string& folder) {
  static std::atomic<uint32_t> counter{0};
  const uint32_t n = (GetCurrentProcessId() << 20) ^ (GetTickCount() << 8) ^ counter++;
  std::string name = folder + "\\" + kTempPrefix;
  for (int shift = 28; shift >= 0; shift -= 4) name += kHexDigits[(n >> shift) & 0xF];
  return name + kTempSuffix;
}

namespace {

bool TemporaryFits(const std::string& folder) {
  return folder.size() + 1 + kTempNameLength < kFilePathLimit;
}

bool IsExistsError(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Removes what a failed CopyFileA left behind.
bool RemovePartial(const std::string& path) {
  // CopyFileA may have carried the source's attributes; a read-only file cannot be deleted.
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileA(path.c_str()) != FALSE;
}

// SetFileAttributesA takes only these; the rest of a listing's attributes describe the file.
DWORD SettableAttributes(DWORD attributes) {
  const DWORD settable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_TEMPORARY;
  const DWORD kept = attributes & settable;
  return kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept;
}

// The copy's bytes reach the disk before the rename that drops the old copy; otherwise a power
// cut could leave the new name over data that was never written.
void FlushToDisk(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool readOnly =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly)
    SetFileAttributesA(path.c_str(), SettableAttributes(attributes & ~FILE_ATTRIBUTE_READONLY));
  {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) FlushFileBuffers(file.get());
  }
  if (readOnly) SetFileAttributesA(path.c_str(), SettableAttributes(attributes));
}

bool SameFacts(const EntryFacts& a, const EntryFacts& b) {
  return a.size == b.size && a.lastWrite.dwLowDateTime == b.lastWrite.dwLowDateTime &&
         a.lastWrite.dwHighDateTime == b.lastWrite.dwHighDateTime;
}

bool IsDotName(std::wstring_view name) { return name == L"." || name == L".."; }

// Lists an opened folder, calling add(name, facts, named) for every entry but "." and "..",
// with the name in codePage. named is false where the code page cannot hold the name (the name
// then shows "?" for what it lacks): such a name leads to no entry, or on Windows, through
// the best fit of the A functions, to another one, so it must be neither opened nor copied.
// False when the listing could not be started.
template <class Add>
bool ListEntries(HANDLE folder, UINT codePage, Add&& add) {
  // Each listing is read whole before the next one starts: one block serves a thread's walk.
  thread_local std::vector<unsigned char> block;
  std::string name;
  bool started = false;
  const bool whole = ListFolder(folder, block, [&](const FILE_FULL_DIR_INFO& entry) {
    started = true;
    const std::wstring_view wide(entry.FileName, entry.FileNameLength / sizeof(wchar_t));
    if (IsDotName(wide)) return;
    // An empty name would stand for the folder itself.
    const bool named = WideToCodePage(wide, codePage, name) && !name.empty();
    EntryFacts facts;
    facts.attributes = entry.FileAttributes;
    facts.lastWrite.dwLowDateTime = entry.LastWriteTime.LowPart;
    facts.lastWrite.dwHighDateTime = static_cast<DWORD>(entry.LastWriteTime.HighPart);
    facts.size = static_cast<uint64_t>(entry.EndOfFile.QuadPart);
    add(name, facts, named);
  });
  return whole || started;
}

CopyResult FailureOf(DWORD error, const std::string& source) {
  if (error == ERROR_DISK_FULL) return CopyResult::DiskFull;
  if (error == ERROR_REQUEST_ABORTED) return CopyResult::Stopped;
  if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
      GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES)
    return CopyResult::SourceMissing;
  return CopyResult::Failed;
}

}  // namespace

EntryFacts FactsOf(const WIN32_FIND_DATAA& found) {
  EntryFacts facts;
  facts.attributes = found.dwFileAttributes;
  facts.lastWrite = found.ftLastWriteTime;
  facts.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return facts;
}

bool LookUpEntry(const std::string& path, EntryFacts& facts) {
  WIN32_FIND_DATAA found;
  UniqueFind find(FindFirstFileA(path.c_str(), &found));
  if (!find) return false;
  facts = FactsOf(found);
  return true;
}

bool LookUpPath(const std::string& path, EntryFacts& facts) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  facts.attributes = data.dwFileAttributes;
  facts.lastWrite = data.ftLastWriteTime;
  facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsTemporaryName(const std::string& name) {
  constexpr size_t prefix = sizeof kTempPrefix - 1;
  if (name.size() != kTempNameLength || name.compare(0, prefix, kTempPrefix) != 0 ||
      name.compare(prefix + kTempDigits, std::string::npos, kTempSuffix) != 0)
    return false;
  for (size_t i = prefix; i < prefix + kTempDigits; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string UpperCaseName(const std::string& name) {
  std::string upper = name;
  if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

bool FolderEntries::Read(const std::string& folder) {
  entries_.clear();
  temporaries_.clear();
  const UniqueFile handle = OpenFolderForListing(folder);
  return handle && ListEntries(handle.get(), GetACP(), [this](const std::string& name,
                                                             const EntryFacts& facts, bool named) {
    // An entry the code page cannot hold is nobody's copy: no source of it is ever copied.
    if (!named) return;
    // The first of two names that differ only in case wins, as a single lookup would give.
    entries_.emplace(UpperCaseName(name), facts);
    if (IsTemporaryName(name)) temporaries_.push_back(name);
  });
}

SourceFolder::SourceFolder(const std::string& path, const SourceFolder* sameVolumeAs)
    : handle_(OpenFolderForListing(path)) {
  if (!handle_) return;
  FolderId id;
  bool identified;
  if (sameVolumeAs != nullptr && sameVolumeAs->id_) {
    id.volumeSerial = sameVolumeAs->id_->volumeSerial;
    identified = ReadFileIndex(handle_.get(), id.fileIndex);
  } else {
    identified = ReadFolderId(handle_.get(), id);
  }
  if (identified) id_ = id;
}

bool SourceFolder::List(std::vector<ListedEntry>& entries, UINT codePage) const {
  entries.clear();
  return handle_ && ListEntries(handle_.get(), codePage, [&](const std::string& name,
                                                            const EntryFacts& facts, bool named) {
    entries.push_back({name, facts, named});
  });
}

const EntryFacts* FolderEntries::Find(const std::string& name) const {
  const auto it = entries_.find(UpperCaseName(name));
  return it == entries_.end() ? nullptr : &it->second;
}

bool SameFileDate(const FILETIME& a, const FILETIME& b) {
  // Both times shift by the same local bias, and two times in one 2-second DOS step lie less
  // than 2 seconds apart: this one test holds the DOS comparison and the FAT rounding alike,
  // without converting every listed time.
  const int64_t difference = Ticks(a) - Ticks(b);
  return difference > -2 * kTicksPerSecond && difference < 2 * kTicksPerSecond;
}

bool StaysInsideTarget(const std::string& target, const std::string& relative) {
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find_first_of("\\/", start);
    if (end == std::string::npos) end = relative.size();
    const std::string segment = relative.substr(start, end - start);
    if (IsDotsAndBlanks(segment) || segment.find(':') != std::string::npos) return false;
    start = end + 1;
  }
  std::string targetFull, destFull;
  if (!FullPath(target, targetFull) || !FullPath(target + relative, destFull)) return false;
  if (targetFull.empty() || targetFull.back() != '\\') targetFull += '\\';
  return destFull.size() > targetFull.size() &&
         destFull.compare(0, targetFull.size(), targetFull) == 0;
}

namespace {

// Copies source to a fresh temporary file in folder. Fail-if-exists means that the name was
// free when the call began, so whatever stands under it after a failure is this call's own.
CopyResult CopyToTemporary(const std::string& source, const std::string& folder,
                           std::string& temp, const CopyControl& control) {
  for (int attempt = 0;; ++attempt) {
    temp = NewTemporaryPath(folder);
    if (control.copy(source, temp, true, control.stop)) return CopyResult::Copied;
    const DWORD error = GetLastError();
    if (IsExistsError(error) && attempt < 16) continue;
    if (!IsExistsError(error)) RemovePartial(temp);
    return FailureOf(error, source);
  }
}

// Puts a complete temporary copy in the place of the old copy at dest.
CopyResult ReplaceWithTemporary(const std::string& temp, const std::string& dest,
                                const EntryFacts& oldCopy, const CopyControl& control) {
  const bool oldReadOnly = (oldCopy.attributes & FILE_ATTRIBUTE_READONLY) != 0;
  const DWORD oldAttributes = SettableAttributes(oldCopy.attributes);
  if (control.Stopping()) {
    RemovePartial(temp);
    return CopyResult::Stopped;
  }
  FlushToDisk(temp);
  // A read-only copy (the copy of a read-only source) would otherwise refuse every update.
  if (oldReadOnly)
    SetFileAttributesA(dest.c_str(), SettableAttributes(oldAttributes & ~FILE_ATTRIBUTE_READONLY));
  if (MoveFileExA(temp.c_str(), dest.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return CopyResult::Copied;
  const DWORD error = GetLastError();
  if (oldReadOnly) SetFileAttributesA(dest.c_str(), oldAttributes);
  RemovePartial(temp);
  return error == ERROR_DISK_FULL ? CopyResult::DiskFull : CopyResult::Failed;
}

// Removes what a failed copy made at path; false when some of it is still there.
bool RemoveMade(const std::string& path) {
  return RemovePartial(path) || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// The copy straight to dest: where no temporary name fits, and inside a folder being built.
// What stands at dest is looked up first, so that a failure removes only what this attempt
// made, never a copy that stood there before (on a source volume that tells letter case apart,
// the copy of a name that differs only in case). partLeft: a part of this attempt could not be
// removed.
CopyResult CopyDirect(const std::string& source, const std::string& dest, bool& partLeft,
                      const CopyControl& control) {
  EntryFacts before;
  const bool existed = LookUpPath(dest, before);
  if (existed && before.IsFolder()) return CopyResult::Failed;
  if (!existed) {
    if (control.copy(source, dest, true, control.stop)) return CopyResult::Copied;
    const DWORD error = GetLastError();
    if (!IsExistsError(error)) {
      if (!RemoveMade(dest)) partLeft = true;
      return FailureOf(error, source);
    }
    if (!LookUpPath(dest, before) || before.IsFolder()) return CopyResult::Failed;
  }
  const bool readOnly = (before.attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly)
    SetFileAttributesA(dest.c_str(), SettableAttributes(before.attributes & ~FILE_ATTRIBUTE_READONLY));
  if (control.copy(source, dest, false, control.stop)) return CopyResult::Copied;
  const DWORD error = GetLastError();
  EntryFacts after;
  if (LookUpPath(dest, after) && !SameFacts(before, after)) {
    // Torn, perhaps under the source's date: the next run copies it again.
    if (!RemoveMade(dest)) partLeft = true;
  } else if (readOnly) {
    SetFileAttributesA(dest.c_str(), SettableAttributes(before.attributes));
  }
  return FailureOf(error, source);
}

}  // namespace

CopyResult CopyReplacing(const std::string& source, const std::string& dest,
                         const EntryFacts* oldCopy, const CopyControl& control) {
  // A folder standing at dest can never be replaced by a file: fail before copying anything.
  if (oldCopy != nullptr && oldCopy->IsFolder()) return CopyResult::Failed;
  const std::string folder = ParentFolder(dest);
  bool partLeft = false;
  if (!TemporaryFits(folder)) return CopyDirect(source, dest, partLeft, control);

  std::string temp;
  const CopyResult made = CopyToTemporary(source, folder, temp, control);
  if (made != CopyResult::Copied) return made;

  EntryFacts appeared;
  if (oldCopy == nullptr) {
    // Without MOVEFILE_REPLACE_EXISTING: a copy that turned up since the listing is not
    // dropped unflushed, but replaced below like any other.
    if (MoveFileExA(temp.c_str(), dest.c_str(), 0)) return CopyResult::Copied;
    const DWORD error = GetLastError();
    if (!IsExistsError(error) || !LookUpEntry(dest, appeared) || appeared.IsFolder()) {
      RemovePartial(temp);
      return error == ERROR_DISK_FULL ? CopyResult::DiskFull : CopyResult::Failed;
    }
    oldCopy = &appeared;
  }
  return ReplaceWithTemporary(temp, dest, *oldCopy, control);
}

CopyResult CopyStraight(const std::string& source, const std::string& dest, bool& partLeft,
                        const CopyControl& control) {
  return CopyDirect(source, dest, partLeft, control);
}

namespace {

DWORD CALLBACK StopWhenAsked(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                             DWORD, HANDLE, HANDLE, void* stop) {
  return (*static_cast<const StopCheck*>(stop))() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

}  // namespace

bool SystemFileCopy(const std::string& source, const std::string& dest, bool failIfExists,
                    const StopCheck& stop) {
  if (stop && stop()) {
    SetLastError(ERROR_REQUEST_ABORTED);
    return false;
  }
  const DWORD flags = failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0;
  // Without a stop, nothing is asked between the chunks.
  return CopyFileExA(source.c_str(), dest.c_str(), stop ? &StopWhenAsked : nullptr,
                     stop ? const_cast<StopCheck*>(&stop) : nullptr, nullptr, flags) != FALSE;
}

bool RenameFolder(const std::string& temp, const std::string& dest) {
  return MoveFileExA(temp.c_str(), dest.c_str(), 0) != FALSE;
}

void RemoveLeftoverTemporaries(const std::string& sourceFolder, const std::string& destFolder,
                               const std::vector<std::string>& names) {
  // A source folder that does not answer (a drive unplugged) says nothing about whose files
  // these are.
  EntryFacts folder;
  if (names.empty() || !LookUpPath(sourceFolder + "\\", folder) || !folder.IsFolder()) return;
  for (const std::string& name : names) {
    EntryFacts source;
    if (!IsTemporaryName(name) || LookUpEntry(sourceFolder + "\\" + name, source)) continue;
    const std::string path = destFolder + "\\" + name;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      RemoveTree(path);
    else
      RemovePartial(path);
  }
}

void RemoveLeftoverTemporaries(const std::string& sourceFolder, const std::string& destFolder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  UniqueFind find(FindFirstFileA((destFolder + "\\" + kTempPrefix + "*" + kTempSuffix).c_str(),
                                 &found));
  if (!find) return;
  do {
    if (IsTemporaryName(found.cFileName)) names.push_back(found.cFileName);
  } while (FindNextFileA(find.get(), &found));
  find.close();
  RemoveLeftoverTemporaries(sourceFolder, destFolder, names);
}

}  // namespace qm
