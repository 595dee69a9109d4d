#include "base/fileio.h"

#include "base/codepage.h"
#include "base/handles.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>

namespace qm {
namespace {

constexpr int kMoveTries = 5;
constexpr unsigned kMoveRetryMs = 25;

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

// Creates path with the given disposition and writes bytes to disk; removes what it created
// when the bytes could not all be written.
bool WriteFlushed(const std::string& path, const std::string& bytes, DWORD disposition) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;  // nothing was created, so nothing to remove
  const bool written = WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
  // A close can still report a late write error; it counts like any other.
  if (!file.close() || !written) {
    const DWORD error = GetLastError();
    DeleteFileA(path.c_str());
    SetLastError(error);
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  // Denying write sharing makes the open fail while a writer has the file, so a reader never
  // sees a half-written file; delete sharing lets a writer replace the file meanwhile.
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7fffffff) return std::nullopt;
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &n, nullptr)) return std::nullopt;
    if (n == 0) break;
    done += n;
  }
  bytes.resize(done);
  return bytes;
}

std::string TemporaryPathFor(const std::string& path) { return path + ".tmp"; }

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, Clock& clock,
                           const std::string& tempPath, const std::function<bool()>& beforeMove) {
  const std::string temp = tempPath.empty() ? TemporaryPathFor(path) : tempPath;
  if (!WriteFlushed(temp, bytes, CREATE_ALWAYS)) return false;
  for (int attempt = 1; attempt <= kMoveTries; ++attempt) {
    if (beforeMove && !beforeMove()) break;
    if (MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    if (attempt < kMoveTries) clock.Sleep(kMoveRetryMs);
  }
  DeleteFileA(temp.c_str());
  return false;
}

bool WriteNewFile(const std::string& path, const std::string& bytes) {
  return WriteFlushed(path, bytes, CREATE_NEW);
}

std::string FolderOf(const std::string& path) {
  return path.substr(0, path.find_last_of('\\') + 1);
}

namespace {

// In UTF-16 throughout: a listing in the code page would give a name it cannot hold as "?"
// (which names nothing) or, by best fit on Windows, as the look-alike name of another entry.
bool RemoveWideTree(const std::wstring& base) {
  WIN32_FIND_DATAW found;
  UniqueFind find(FindFirstFileW((base + L"\\*").c_str(), &found));
  if (find) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = base + L"\\" + name;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveWideTree(full);
      } else {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(full.c_str())) RemoveDirectoryW(full.c_str());
      }
    } while (FindNextFileW(find.get(), &found));
  }
  find.close();
  SetFileAttributesW(base.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryW(base.c_str()) != FALSE;
}

}  // namespace

bool RemoveTree(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  return RemoveWideTree(SystemTextToWide(base));
}

namespace {

// What a path function of the system (path, buffer, buffer size) makes of path.
template <class PathFunction>
std::wstring CallPathFunction(const std::wstring& path, PathFunction function) {
  std::wstring out(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = function(path.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (n == 0) return {};
    if (n < out.size()) {
      out.resize(n);
      return out;
    }
    out.assign(n, L'\0');
  }
  return {};
}

}  // namespace

std::wstring FullPathOf(const std::wstring& path) {
  return CallPathFunction(path, [](const wchar_t* in, wchar_t* out, DWORD size) {
    return GetFullPathNameW(in, size, out, nullptr);
  });
}

std::wstring LongPathOf(const std::wstring& path) {
  return CallPathFunction(path, [](const wchar_t* in, wchar_t* out, DWORD size) {
    return GetLongPathNameW(in, out, size);
  });
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadFolderId(const std::string& folder, FolderId& id) {
  const UniqueFile handle(CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle && ReadFolderId(handle.get(), id);
}

bool ReadFolderId(HANDLE folder, FolderId& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(folder, &info)) return false;
  id.volumeSerial = info.dwVolumeSerialNumber;
  id.fileIndex = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool ReadFileIndex(HANDLE file, uint64_t& index) {
  IO_STATUS_BLOCK io{};
  FILE_INTERNAL_INFORMATION info{};
  if (NtQueryInformationFile(file, &io, &info, sizeof info, FileInternalInformation) < 0)
    return false;
  index = static_cast<uint64_t>(info.IndexNumber.QuadPart);
  return true;
}

}  // namespace qm
