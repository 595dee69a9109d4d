// Starting the built QuillmereServ.exe as a separate process for end-to-end tests, and the
// registry key it publishes itself under.
#pragma once

#include "base/handles.h"

#include <windows.h>

#include <string>

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

  bool Start(const std::string& exePath);
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

// Waits up to timeoutMs for a top-level window with this caption (of any process).
HWND WaitForWindowByCaption(const std::string& caption, unsigned timeoutMs);

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
