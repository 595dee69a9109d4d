#include "support/serverprocess.h"

#include "base/registry.h"
#include "tools/protocol.h"
#include "support/testsupport.h"

namespace qm::test {

std::string InstallServerCopy(const std::string& folder, const std::string& exeName) {
  const std::string target = folder + exeName;
  CopyFileA((BinDir() + "QuillmereServ.exe").c_str(), target.c_str(), FALSE);
  DeleteServerKey();
  return target;
}

void DeleteServerKey() { RegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, kServerKeyPath); }

ServerProcess::~ServerProcess() { Kill(); }

bool ServerProcess::Start(const std::string& exePath, const std::string& arguments,
                          const std::string& currentFolder) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exePath + "\"";
  if (!arguments.empty()) cmd += " " + arguments;
  const std::string folder = currentFolder.empty()
                                 ? exePath.substr(0, exePath.find_last_of('\\') + 1)
                                 : currentFolder;
  if (!CreateProcessA(exePath.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  process_.reset(pi.hProcess);
  pid_ = pi.dwProcessId;
  return true;
}

HWND ServerProcess::WaitForControlWindow(unsigned timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, kServerKeyPath, KEY_READ);
        if (!key) return false;
        auto handle = key->ReadInteger("Handle");
        if (!handle) return false;
        HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(*handle));
        DWORD owner = 0;
        if (!IsWindow(hwnd) || !GetWindowThreadProcessId(hwnd, &owner) || owner != pid_)
          return false;
        found = hwnd;
        return true;
      },
      timeoutMs);
  return found;
}

bool ServerProcess::WaitForExit(unsigned timeoutMs) {
  return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool ServerProcess::Running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void ServerProcess::Kill() {
  if (Running()) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
  process_.reset();
}

std::vector<DWORD> ProcessIdsByImage(const std::string& image) {
  std::vector<DWORD> ids;
  UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return ids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry))
    if (lstrcmpiA(entry.szExeFile, image.c_str()) == 0) ids.push_back(entry.th32ProcessID);
  return ids;
}

HWND WaitForWindowByCaption(const std::string& caption, unsigned timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = FindWindowA(nullptr, caption.c_str());
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

ScratchServer::ScratchServer(const std::string& hint)
    : folder(MakeScratchFolder(hint)), exe(InstallServerCopy(folder)) {}

ScratchServer::~ScratchServer() {
  process.Kill();
  DeleteServerKey();
  RemoveTree(folder);
}

bool ScratchServer::Start() {
  if (!process.Start(exe)) return false;
  control = process.WaitForControlWindow();
  return control != nullptr;
}

HWND WaitForProcessWindow(DWORD pid, const std::string& caption, unsigned timeoutMs) {
  struct Search {
    DWORD pid;
    const std::string* caption;
    HWND found;
  } search{pid, &caption, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(
            [](HWND hwnd, LPARAM lp) -> BOOL {
              auto* s = reinterpret_cast<Search*>(lp);
              DWORD owner = 0;
              GetWindowThreadProcessId(hwnd, &owner);
              char text[256] = {};
              GetWindowTextA(hwnd, text, sizeof text);
              if (owner != s->pid || *s->caption != text) return TRUE;
              s->found = hwnd;
              return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  return search.found;
}

std::optional<std::string> ReadServerInstallDir() {
  auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, kServerKeyPath, KEY_READ);
  if (!key) return std::nullopt;
  return key->ReadString("InstallDir");
}

std::optional<uint32_t> ReadServerHandle() {
  auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, kServerKeyPath, KEY_READ);
  if (!key) return std::nullopt;
  return key->ReadInteger("Handle");
}

std::vector<std::string> ReadLines(const std::string& path) {
  const std::string bytes = ReadFileOrEmpty(path);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string LogText(const std::string& line) {
  const size_t mark = line.find(": ");
  return mark == std::string::npos ? std::string() : line.substr(mark + 2);
}

std::vector<std::string> WaitForLogText(const std::string& path, const std::string& text,
                                        unsigned timeoutMs) {
  std::vector<std::string> lines;
  WaitUntil(
      [&] {
        lines = ReadLines(path);
        for (const std::string& line : lines)
          if (LogText(line) == text) return true;
        return false;
      },
      timeoutMs);
  return lines;
}

}  // namespace qm::test
