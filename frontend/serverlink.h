// The configuration program's dealings with the server, without a window: where to find it
// (the registry rendezvous), whom a command may be posted to, when the server counts as
// silent, how its status reply is read and how its program is started.
#pragma once

#include "base/datetime.h"
#include "base/handles.h"
#include "tools/protocol.h"

#include <windows.h>

#include <string>

namespace qm {

// The status reply is read with DecodeServerStatus (tools/protocol.h): a block shorter than 16
// bytes, without data or without a finite date counts as heard only.

// The server's control window and the conf.xml path, as the rendezvous gives them.
struct ServerRendezvous {
  HWND serverWnd = nullptr;
  std::string confPath;
};

// At start-up: conf.xml beside the program unless the key (under HKEY_LOCAL_MACHINE, opened
// to read only) names an installation folder; the server's window from the key. A value that
// cannot be read gives no window and keeps the path found before it; an empty or missing
// InstallDir gives the program's own folder.
ServerRendezvous RendezvousAtStart(const std::string& keyPath, const std::string& programFolder);

// On every silent status tick: the window first, then the folder. No key, or a value that
// cannot be read, gives no window and keeps currentConfPath.
ServerRendezvous RendezvousOnSilentTick(const std::string& keyPath,
                                        const std::string& programFolder,
                                        const std::string& currentConfPath);

// True for a live window of the server's control-window class.
bool IsServerControlWindow(HWND window);

// Posts WM_SYNCCONTROL with self as wParam and code as lParam, only to a live window of the
// server's control-window class: never to 0 (the program's own queue), HWND_BROADCAST, a
// stale handle or any other program's window. False when nothing was posted.
bool PostToServer(HWND server, HWND self, LPARAM code);

// The server has been silent for more than this long (a difference of date-time values).
constexpr DateTime kSilenceLimit = 5 * kOneSecond;
bool IsServerSilent(DateTime now, DateTime lastHeard);

// The server program in the folder of confPath (up to and including its last backslash);
// empty when that folder is empty or not absolute (a drive letter and ":\", or "\\").
std::string ServerProgramPath(const std::string& confPath);

// Starts that program hidden, by its full path (never through a command line that a folder
// with blanks could split). False when there is no such path or the start failed. process,
// when given, receives the new process's handle; otherwise every handle is closed.
bool StartServerProcess(const std::string& confPath, UniqueKernelHandle* process = nullptr);

// The process that owns window, opened only to learn when it ends and its id; empty when it
// cannot be.
UniqueKernelHandle OpenProcessOf(HWND window);
// True while process runs; false for no process.
bool ProcessRunning(HANDLE process);

}  // namespace qm
