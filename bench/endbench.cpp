// Times the server's answer to the end of the Windows session, for bench/run-end-bench:
//   endbench SERVER-EXE INSTALL-FOLDER\ idle      the server idle, a few seconds after its start
//   endbench SERVER-EXE INSTALL-FOLDER\ copy DIR  during a run, once a temporary copy in DIR grows
// Starts SERVER-EXE (a copy inside INSTALL-FOLDER, with its conf.xml there), asks it for a run in
// the second case, then sends WM_QUERYENDSESSION and WM_ENDSESSION as Windows does at a log-off
// and prints "answer-ms <time from WM_ENDSESSION to its answer>", the log's last line and the
// lastsync of every tag in conf.xml when the answer came.
#include "base/registry.h"
#include "tools/protocol.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct FindClass {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindForm(HWND window, LPARAM data) {
  auto* find = reinterpret_cast<FindClass*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (pid != find->pid || std::string(name) != "TfrQuillmereServ") return TRUE;
  find->found = window;
  return FALSE;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of("\r\n");
  if (end == std::string::npos) return {};
  const size_t start = text.find_last_of('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

// The size of the largest temporary copy ("~qm*.tmp") in folder; 0 without one.
ULONGLONG TemporaryCopyBytes(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\~qm*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  ULONGLONG most = 0;
  do {
    const ULONGLONG bytes = (ULONGLONG{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    if (bytes > most) most = bytes;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return most;
}

HWND ControlWindow() {
  auto key = qm::RegistryKey::Open(HKEY_LOCAL_MACHINE, qm::kServerKeyPath, KEY_READ);
  if (!key) return nullptr;
  const auto handle = key->ReadInteger(qm::kHandleValue);
  return handle ? reinterpret_cast<HWND>(static_cast<uintptr_t>(*handle)) : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string exe = argv[1], folder = argv[2], mode = argv[3];
  const std::string watched = argc > 4 ? argv[4] : "";
  qm::RegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, qm::kServerKeyPath);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string commandLine = "\"" + exe + "\"";
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process))
    return 3;
  CloseHandle(process.hThread);

  HWND control = nullptr;
  for (int i = 0; i < 600 && !(control && IsWindow(control)); ++i) {
    Sleep(50);
    control = ControlWindow();
  }
  FindClass find{process.dwProcessId, nullptr};
  EnumWindows(FindForm, reinterpret_cast<LPARAM>(&find));
  if (!control || !find.found) return 4;

  if (mode == "copy") {
    PostMessageA(control, qm::WM_SYNCCONTROL, 0, qm::cmdSyncNow);
    // A run starts at the sync thread's next check, up to 21 s later; the copy is in hand once
    // its temporary file has grown past a gigabyte.
    const ULONGLONG end = GetTickCount64() + 120000;
    while (TemporaryCopyBytes(watched) < (1ull << 30)) {
      if (GetTickCount64() > end) return 5;
      Sleep(20);
    }
  } else {
    Sleep(5000);
  }

  DWORD_PTR answer = 0;
  SendMessageTimeoutA(find.found, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
  LARGE_INTEGER frequency, start, stop;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const BOOL answered = SendMessageTimeoutA(find.found, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                                            SMTO_NORMAL, 30000, &answer);
  QueryPerformanceCounter(&stop);
  const std::string conf = ReadText(folder + "conf.xml");
  const std::string log = ReadText(folder + "quillmere.log");
  std::printf("answer-ms %.0f%s\n",
              1000.0 * static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              answered ? "" : " (no answer within 30 s)");
  std::printf("log: %s\n", LastLine(log).c_str());
  for (size_t at = conf.find("<lastsync>"); at != std::string::npos; at = conf.find("<lastsync>", at + 1))
    std::printf("lastsync %s\n", conf.substr(at + 10, conf.find('<', at + 10) - at - 10).c_str());
  WaitForSingleObject(process.hProcess, 10000);
  TerminateProcess(process.hProcess, 0);
  CloseHandle(process.hProcess);
  return 0;
}
