#include "frontend/serverlink.h"

#include "base/fileio.h"
#include "base/registry.h"

#include <cctype>
#include <optional>

namespace qm {
namespace {

constexpr const char* kConfName = "conf.xml";
constexpr const char* kServerProgram = "QUILLMERESERV.exe";

HWND WindowFromValue(uint32_t value) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

// A missing or empty InstallDir would leave the bare name, resolved against whatever the
// current folder happens to be.
std::string ConfPathIn(const std::string& installDir, const std::string& programFolder) {
  return (installDir.empty() ? programFolder : installDir) + kConfName;
}

// Read access is all the program needs; asking for more is refused to a user without
// elevation, and the server would never be found.
std::optional<RegistryKey> OpenRendezvous(const std::string& keyPath) {
  return RegistryKey::Open(HKEY_LOCAL_MACHINE, keyPath, KEY_READ);
}

// A missing InstallDir reads as empty; a value of another type cannot be read.
std::optional<std::string> ReadInstallDir(const RegistryKey& key) {
  if (key.KindOf(kInstallDirValue) == RegistryKey::ValueKind::Missing) return std::string();
  return key.ReadString(kInstallDirValue);
}

bool IsAbsoluteFolder(const std::string& folder) {
  if (folder.size() >= 2 && folder[0] == '\\' && folder[1] == '\\') return true;
  return folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
         folder[1] == ':' && folder[2] == '\\';
}

}  // namespace

ServerRendezvous RendezvousAtStart(const std::string& keyPath, const std::string& programFolder) {
  ServerRendezvous r{nullptr, programFolder + kConfName};
  const std::optional<RegistryKey> key = OpenRendezvous(keyPath);
  if (!key) return r;
  const std::optional<std::string> installDir = ReadInstallDir(*key);
  if (!installDir) return r;
  r.confPath = ConfPathIn(*installDir, programFolder);
  if (const std::optional<uint32_t> handle = key->ReadInteger(kHandleValue))
    r.serverWnd = WindowFromValue(*handle);
  return r;
}

ServerRendezvous RendezvousOnSilentTick(const std::string& keyPath,
                                        const std::string& programFolder,
                                        const std::string& currentConfPath) {
  const ServerRendezvous unchanged{nullptr, currentConfPath};
  const std::optional<RegistryKey> key = OpenRendezvous(keyPath);
  if (!key) return unchanged;
  const std::optional<uint32_t> handle = key->ReadInteger(kHandleValue);
  const std::optional<std::string> installDir = ReadInstallDir(*key);
  if (!handle || !installDir) return unchanged;
  return {WindowFromValue(*handle), ConfPathIn(*installDir, programFolder)};
}

bool IsServerControlWindow(HWND window) {
  if (!window || window == HWND_BROADCAST || !IsWindow(window)) return false;
  char name[64];
  const int length = GetClassNameA(window, name, sizeof name);
  return length > 0 && lstrcmpiA(name, kServerControlClass) == 0;
}

bool PostToServer(HWND server, HWND self, LPARAM code) {
  return IsServerControlWindow(server) &&
         PostMessageA(server, WM_SYNCCONTROL, reinterpret_cast<WPARAM>(self), code);
}

bool IsServerSilent(DateTime now, DateTime lastHeard) { return now - lastHeard > kSilenceLimit; }

std::string ServerProgramPath(const std::string& confPath) {
  const std::string folder = FolderOf(confPath);
  return IsAbsoluteFolder(folder) ? folder + kServerProgram : std::string();
}

bool StartServerProcess(const std::string& confPath, UniqueKernelHandle* process) {
  const std::string program = ServerProgramPath(confPath);
  if (program.empty()) return false;
  std::string commandLine = "\"" + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info))
    return false;
  UniqueKernelHandle thread(info.hThread);
  UniqueKernelHandle started(info.hProcess);
  if (process) *process = std::move(started);
  return true;
}

UniqueKernelHandle OpenProcessOf(HWND window) {
  DWORD pid = 0;
  if (!GetWindowThreadProcessId(window, &pid) || pid == 0) return UniqueKernelHandle();
  // Enough to wait for its end and to tell whose it is; a user may open that much of any of
  // his own processes.
  return UniqueKernelHandle(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
}

bool ProcessRunning(HANDLE process) {
  return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

}  // namespace qm
