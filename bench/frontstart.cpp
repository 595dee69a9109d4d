// Times the configuration program with a conf.xml of many tags, beside a bare read and write
// of the same file under the same Wine. Run by hand through bench/run-front-bench, or:
//   frontstart FOLDER\ [tags]     FOLDER holds Quillmere.exe; a conf.xml is written there
//   frontstart read FILE          only reads FILE and ends (the bare program start)
// Prints one "name milliseconds" line per measurement, the minimum of several rounds.
#include "base/fileio.h"
#include "base/registry.h"
#include "frontend/mainform.h"
#include "tools/protocol.h"
#include "tools/tools.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr int kRounds = 5;
constexpr const char* kFrontCaption = "Harvo Quillmere v1.0";

double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Best(const std::function<double()>& once) {
  double best = 1e18;
  for (int i = 0; i < kRounds; ++i) best = std::min(best, once());
  return best;
}

std::string ConfWithTags(const std::string& folder, int tags) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
      " <lastsyncdate>01-01-2004</lastsyncdate>\r\n <silentflag>0</silentflag>\r\n"
      " <syncperiod>3600000</syncperiod>\r\n <targetdrive>" + folder +
      "target\\</targetdrive>\r\n <tagslist>\r\n";
  for (int i = 0; i < tags; ++i)
    text += "  <item>\r\n   <caption>file" + std::to_string(i) +
            ".txt</caption>\r\n   <path>C:\\Documents\\Folder " + std::to_string(i % 37) +
            "\\</path>\r\n   <lastsync>05-01-2005 14:03:00</lastsync>\r\n   <size>" +
            std::to_string(i * 17) + "</size>\r\n   <ftype>" + std::to_string(i % 4) +
            "</ftype>\r\n  </item>\r\n";
  return text + " </tagslist>\r\n</configuration>\r\n";
}

std::string BareRead(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  std::string out;
  if (f == INVALID_HANDLE_VALUE) return out;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(f, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  CloseHandle(f);
  return out;
}

bool BareWrite(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
                  FlushFileBuffers(f);
  CloseHandle(f);
  return ok;
}

struct Started {
  HANDLE process = nullptr;
  DWORD pid = 0;
};

Started StartProgram(const std::string& exe, const std::string& arguments) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string commandLine = "\"" + exe + "\" " + arguments;
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &si, &pi))
    return {};
  CloseHandle(pi.hThread);
  return {pi.hProcess, pi.dwProcessId};
}

HWND MainWindowOf(DWORD pid) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        char text[64] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        if (owner != s->pid || std::string(text) != kFrontCaption) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// From the program's start until its list holds every row.
double ProgramUntilRows(const std::string& exe, int rows) {
  const double start = NowMs();
  const Started program = StartProgram(exe, "");
  if (!program.process) return -1;
  double shown = -1;
  while (NowMs() - start < 60000) {
    const HWND main = MainWindowOf(program.pid);
    const HWND list = main ? GetDlgItem(main, qm::idTagged) : nullptr;
    DWORD_PTR count = 0;
    if (list && SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 1000, &count) &&
        static_cast<int>(count) == rows) {
      shown = NowMs() - start;
      break;
    }
    Sleep(1);
  }
  TerminateProcess(program.process, 0);
  WaitForSingleObject(program.process, 5000);
  CloseHandle(program.process);
  return shown;
}

double ProgramUntilExit(const std::string& exe, const std::string& arguments) {
  const double start = NowMs();
  const Started program = StartProgram(exe, arguments);
  if (!program.process) return -1;
  WaitForSingleObject(program.process, 60000);
  CloseHandle(program.process);
  return NowMs() - start;
}

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

int Run(const std::string& folder, int tags) {
  if (qm::RegistryKey::Open(HKEY_LOCAL_MACHINE, qm::kServerKeyPath, KEY_READ)) {
    std::printf("the server's registry key exists: the program would not read %sconf.xml\n",
                folder.c_str());
    return 2;
  }
  const std::string conf = folder + "conf.xml";
  const std::string bytes = ConfWithTags(folder, tags);
  if (!BareWrite(conf, bytes)) return 2;
  std::printf("tags %d, conf.xml %zu bytes\n", tags, bytes.size());

  std::printf("bare-read-ms %.2f\n", Best([&] {
                const double t = NowMs();
                BareRead(conf);
                return NowMs() - t;
              }));
  std::printf("bare-write-ms %.2f\n", Best([&] {
                const double t = NowMs();
                BareWrite(folder + "bare.xml", bytes);
                return NowMs() - t;
              }));

  // The window's own work, in this process: create, load, show every row; then save.
  double windowMs = 1e18, saveMs = 1e18;
  for (int i = 0; i < kRounds; ++i) {
    qm::FrontEnvironment env;
    env.programFolder = folder;
    env.registryKey = std::string(qm::kServerKeyPath) + "-bench-absent";
    env.visible = true;
    auto form = std::make_unique<qm::TfrMain>(env);
    double t = NowMs();
    form->CreateForm();
    const int rows = static_cast<int>(SendMessageA(form->lvTagged, LVM_GETITEMCOUNT, 0, 0));
    UpdateWindow(form->hwnd());
    windowMs = std::min(windowMs, NowMs() - t);
    if (rows != tags) std::printf("rows %d of %d\n", rows, tags);
    t = NowMs();
    form->SaveConfigAndNotify();
    saveMs = std::min(saveMs, NowMs() - t);
    form.reset();
  }
  std::printf("window-create-load-rows-ms %.2f\n", windowMs);
  std::printf("save-ms %.2f\n", saveMs);

  std::printf("program-start-bare-read-ms %.2f\n",
              Best([&] { return ProgramUntilExit(OwnPath(), "read \"" + conf + "\""); }));
  const std::string exe = folder + "Quillmere.exe";
  std::printf("program-start-all-rows-ms %.2f\n", Best([&] { return ProgramUntilRows(exe, tags); }));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "read") return BareRead(argv[2]).empty() ? 1 : 0;
  if (argc < 2) {
    std::printf("usage: frontstart FOLDER\\ [tags] | frontstart read FILE\n");
    return 2;
  }
  return Run(argv[1], argc > 2 ? std::atoi(argv[2]) : 1000);
}
