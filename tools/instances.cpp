#include "tools/tools.h"

#include "base/codepage.h"
#include "base/handles.h"
#include "base/prompt.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <vector>

namespace qm {
namespace {

// One running copy found by the single-instance step.
struct TCardObject {
  uint32_t ProcessId = 0;
};

constexpr DWORD kSnapshotAllKinds = 15;  // heaps, modules, processes and threads
constexpr char kAlreadyRunningCaption[] = "Application is already running.";
constexpr char kServerQuestion[] =
    " The QuillmereServ is already running on this machine! Do you wish to close it and start a "
    "new session?";
constexpr char kFrontEndQuestion[] =
    " The Quillmere GUI is already running on this machine! Do you wish to close it and start a "
    "new session?";

// Upper-cases a to z only: other bytes of single-byte text depend on the code page.
char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string ProgramName(const std::string& imageName) {
  std::string name = imageName;
  const size_t folderEnd = name.find_last_of("\\/");
  if (folderEnd != std::string::npos) name.erase(0, folderEnd + 1);
  for (char& c : name) c = UpperAscii(c);
  // A dot among the first four characters is part of the name, not its extension.
  const size_t dot = name.find('.');
  if (dot != std::string::npos && dot >= 4) name.erase(dot);
  return name;
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> processes;
  UniqueSnapshot snapshot(CreateToolhelp32Snapshot(kSnapshotAllKinds, 0));
  if (!snapshot) return processes;
  // The UTF-16 entry: the 8-bit one carries the image name converted by best fit, so that a
  // program whose name the code page cannot hold ("QU" U+012A "LLMERESERV.exe") would be taken
  // for a copy ("QUILLMERESERV.exe") and ended. With "?" in its place it matches nothing.
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;  // the walk refuses any other size
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry))
    processes.push_back({entry.th32ProcessID,
                         WideToSystemText(entry.szExeFile,
                                          static_cast<int>(wcsnlen(entry.szExeFile, MAX_PATH)))});
  return processes;
}

// Only an explicit Yes allows ending another copy; a No, or a box that could not be shown,
// leaves the running copy alone and ends this program instead.
bool UserAgreesToClose(int mode) {
  const char* question = mode == 1 ? kServerQuestion : kFrontEndQuestion;
  return ShowMessageBox(nullptr, question, kAlreadyRunningCaption, MB_YESNO) == IDYES;
}

}  // namespace

bool ImageMatchesMode(const std::string& imageName, int mode) {
  const std::string name = ProgramName(imageName);
  const bool server = name == "QUILLMERESERV";
  const bool frontEnd = name == "QUILLMERE";
  switch (mode) {
    case 1: return server;
    case 2: return frontEnd;
    case 3: return server || frontEnd;
    default: return false;
  }
}

std::vector<uint32_t> RunningCopiesAmong(const std::vector<ProcessEntry>& processes, int mode,
                                         uint32_t ownId) {
  std::vector<uint32_t> found;
  for (const ProcessEntry& p : processes) {
    // Windows lists its idle process (id 0) first, never a copy of ours; Wine begins with the
    // session's oldest program instead, which may be the very server that was started first.
    if (p.id == 0) continue;
    if (ImageMatchesMode(p.image, mode) && p.id != ownId) found.push_back(p.id);
  }
  return found;
}

void CloseRunningCopies(int mode) {
  std::vector<TCardObject> copies;
  for (uint32_t id : RunningCopiesAmong(ListProcesses(), mode, GetCurrentProcessId()))
    copies.push_back({id});
  if (copies.empty()) return;
  if (mode != 3 && !UserAgreesToClose(mode)) ExitProcess(0);
  for (const TCardObject& copy : copies) {
    // Not waited for: the caller goes on at once, and a copy that cannot be ended is left.
    UniqueKernelHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, copy.ProcessId));
    if (process) TerminateProcess(process.get(), 0);
  }
}

}  // namespace qm
