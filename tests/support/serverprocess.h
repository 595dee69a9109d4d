// Starting the built QuillmereServ.exe as a separate process for end-to-end tests, and the
// registry key it publishes itself under.
#pragma once

#include "base/handles.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

// Copies QuillmereServ.exe into folder (ending in "\") so that the folder is its installation
// folder, and removes the registry key so that the start is a first start. Returns the path.
std::string InstallServerCopy(const std::string& folder, const std::string& exeName = "QuillmereServ.exe");
void DeleteServerKey();

class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess();  // kills what is still running
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts exePath from currentFolder, or from its own folder when that is empty; arguments
  // follow the quoted program path.
  bool Start(const std::string& exePath, const std::string& arguments = "",
             const std::string& currentFolder = "");
  // Polls the registry until Handle names a live window of this process (up to timeoutMs).
  HWND WaitForControlWindow(unsigned timeoutMs = 30000);
  bool WaitForExit(unsigned timeoutMs);
  bool Running() const;
  void Kill();
  DWORD Pid() const { return pid_; }
  HANDLE Handle() const { return process_.get(); }

 private:
  UniqueKernelHandle process_;
  DWORD pid_ = 0;
};

// A server copied into a scratch folder of its own (its installation folder), started from
// there; killed, and its key and folder removed, at the end.
class ScratchServer {
 public:
  explicit ScratchServer(const std::string& hint);
  ~ScratchServer();
  ScratchServer(const ScratchServer&) = delete;
  ScratchServer& operator=(const ScratchServer&) = delete;

  // Starts the copy and waits until it has published its control window.
  bool Start();
  std::string LogPath() const { return folder + "quillmere.log"; }

  const std::string folder;
  const std::string exe;
  ServerProcess process;
  HWND control = nullptr;
};

// The ids of the running processes whose image file is named image (any letter case).
std::vector<DWORD> ProcessIdsByImage(const std::string& image);

// Waits up to timeoutMs for a top-level window with this caption (of any process).
HWND WaitForWindowByCaption(const std::string& caption, unsigned timeoutMs);
// The same, but only windows of the process pid.
HWND WaitForProcessWindow(DWORD pid, const std::string& caption, unsigned timeoutMs);

// The values the server publishes under its key; nullopt when missing or of another type.
std::optional<std::string> ReadServerInstallDir();
std::optional<uint32_t> ReadServerHandle();

// The lines of a text file without their CR LF; empty when it cannot be read.
std::vector<std::string> ReadLines(const std::string& path);
// A log line's text: what follows the time stamp and its ": ".
std::string LogText(const std::string& line);
// Polls the file until one of its lines' log text equals text; returns the lines then read.
std::vector<std::string> WaitForLogText(const std::string& path, const std::string& text,
                                        unsigned timeoutMs);

// Polls pred every 50 ms until it holds or timeoutMs passes; returns its last value.
template <class Pred>
bool WaitUntil(Pred pred, unsigned timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (pred()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(50);
  }
}

}  // namespace qm::test
