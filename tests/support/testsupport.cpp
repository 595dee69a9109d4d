#include "support/testsupport.h"

#include "base/fileio.h"
#include "base/handles.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

namespace qm::test {
namespace {

// Wine maps the Unix root to drive Z:.
std::string FromUnix(const std::string& unix) {
  std::string p = "Z:" + unix;
  for (char& c : p)
    if (c == '/') c = '\\';
  if (p.back() != '\\') p += '\\';
  return p;
}

std::string UnixPath(std::string windowsPath) {
  if (windowsPath.size() < 2 || (windowsPath[0] != 'Z' && windowsPath[0] != 'z') ||
      windowsPath[1] != ':')
    return {};
  windowsPath = windowsPath.substr(2);
  std::replace(windowsPath.begin(), windowsPath.end(), '\\', '/');
  return windowsPath;
}

// Starts a Unix tool of /bin, which a Wine process can do.
bool RunUnixTool(const std::string& tool, const std::string& arguments) {
  const std::string program = "Z:\\bin\\" + tool;
  if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  std::string command = program + " " + arguments;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return false;
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  // Wine's handle to a Unix process does not always report its end: callers poll for the effect.
  WaitForSingleObject(pi.hProcess, 30000);
  return true;
}

}  // namespace

bool MakeFolderLink(const std::string& target, const std::string& link) {
  const std::string unixTarget = UnixPath(target), unixLink = UnixPath(link);
  if (unixTarget.empty() || unixLink.empty() ||
      !RunUnixTool("ln", "-s " + unixTarget + " " + unixLink))
    return false;
  for (int i = 0; i < 100 && !FolderExists(link); ++i) Sleep(50);
  return FolderExists(link);
}

void RemoveFolderLink(const std::string& link) {
  const std::string unixLink = UnixPath(link);
  if (unixLink.empty() || !RunUnixTool("rm", "-f " + unixLink)) return;
  for (int i = 0; i < 100 && GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(50);
}

bool RenameThroughUnix(const std::string& from, const std::string& to) {
  const std::string unixFrom = UnixPath(from), unixTo = UnixPath(to);
  if (unixFrom.empty() || unixTo.empty() || !RunUnixTool("mv", unixFrom + " " + unixTo))
    return false;
  for (int i = 0; i < 100 && FileExists(from); ++i) Sleep(50);
  return !FileExists(from);
}

std::string BinDir() { return FromUnix(QM_BIN_DIR_UNIX); }
std::string BuildDir() { return FromUnix(QM_BUILD_DIR_UNIX); }

std::string MakeScratchFolder(const std::string& hint) {
  static std::atomic<unsigned> counter{0};
  const std::string root = BuildDir() + "scratch\\";
  CreateDirectoryA(root.c_str(), nullptr);
  for (;;) {
    std::string folder = root + hint + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(counter++) + "\\";
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
}

bool RemoveTree(const std::string& folder) { return qm::RemoveTree(folder); }

std::string ReadFileOrEmpty(const std::string& path) {
  UniqueFile f(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                           FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return {};
  std::string out;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(f.get(), buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
  return out;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  UniqueFile f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!f) return false;
  DWORD n = 0;
  return WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
         n == bytes.size();
}

bool SameFileTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bool SetLastWriteTime(const std::string& path, const FILETIME& lastWrite) {
  UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && SetFileTime(file.get(), nullptr, nullptr, &lastWrite);
}

bool WriteFileWithTime(const std::string& path, const std::string& bytes,
                       const FILETIME& lastWrite) {
  return WriteFileBytes(path, bytes) && SetLastWriteTime(path, lastWrite);
}

std::optional<FILETIME> LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return data.ftLastWriteTime;
}

std::string SmallDriveRoot() {
  const char* letter = std::getenv("QM_SMALL_DRIVE");
  if (!letter || !*letter) return {};
  return std::string(1, letter[0]) + ":\\";
}

}  // namespace qm::test
