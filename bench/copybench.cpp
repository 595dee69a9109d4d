// Times one copy run in-process, or one other program, for bench/run-copy-bench.
//   copybench run SOURCE-FOLDER TARGET-FOLDER\   one run over a folder tag of SOURCE-FOLDER
//   copybench walk SOURCE-FOLDER TARGET-FOLDER\  a bare walk of SOURCE-FOLDER and of its copy
//   copybench exec COMMAND LINE...               one run of another program (e.g. xcopy)
// Prints "seconds <elapsed>" and, for a run, what it reported.
#include "server/copyrun.h"
#include "server/problems.h"
#include "tools/tools.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

qm::TTagItem FolderTag(const std::string& source) {
  const size_t slash = source.find_last_of('\\');
  qm::TTagItem tag;
  tag.Path = source.substr(0, slash + 1);
  tag.Caption = source.substr(slash + 1);
  tag.TargetSub = tag.Path.substr(0, 1) + tag.Path.substr(2);
  tag.LastSync = qm::NeverSyncDate;
  tag.FType = 2;
  return tag;
}

// The least a pass that finds nothing changed can do: list every folder of a tree.
size_t BareWalk(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  size_t entries = 0;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    ++entries;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) entries += BareWalk(folder + "\\" + name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return entries;
}

int TimeWalk(const std::string& source, const std::string& target) {
  const qm::TTagItem tag = FolderTag(source);
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  const size_t entries = BareWalk(source) + BareWalk(target + tag.TargetSub + tag.Caption);
  QueryPerformanceCounter(&end);
  std::printf("seconds %.3f\nentries %zu\n", Seconds(start, end), entries);
  return 0;
}

int TimeRun(const std::string& source, const std::string& target) {
  qm::ServerCore core;
  std::vector<std::string> dialogs, lines;
  qm::EngineContext ctx{core,
                        qm::SystemClock(),
                        qm::SystemVolumeProbe(),
                        [&](const std::string& text, int) { dialogs.push_back(text); },
                        [&](const std::string& text) { lines.push_back(text); },
                        nullptr,
                        nullptr,
                        nullptr};
  std::vector<qm::TTagItem> tags{FolderTag(source)};

  qm::CopyRun run(ctx);
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  run.SyncAll(tags, target);
  QueryPerformanceCounter(&end);
  std::printf("seconds %.3f\nsize-kb %u dialogs %zu log-lines %zu\n", Seconds(start, end),
              tags[0].Size, dialogs.size(), lines.size());
  for (size_t i = 0; i < lines.size() && i < 5; ++i) std::printf("log: %s\n", lines[i].c_str());
  return dialogs.empty() ? 0 : 1;
}

int TimeProgram(std::string commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi)) {
    std::printf("cannot start: %s\n", commandLine.c_str());
    return 2;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("seconds %.3f\nexit %lu\n", Seconds(start, end), code);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "run" && argc == 4) return TimeRun(argv[2], argv[3]);
  if (mode == "walk" && argc == 4) return TimeWalk(argv[2], argv[3]);
  if (mode == "exec" && argc > 2) {
    std::string commandLine;
    for (int i = 2; i < argc; ++i) commandLine += (i > 2 ? " " : "") + std::string(argv[i]);
    return TimeProgram(commandLine);
  }
  std::fprintf(stderr, "usage: copybench run|walk SOURCE TARGET\\ | copybench exec COMMAND...\n");
  return 2;
}
