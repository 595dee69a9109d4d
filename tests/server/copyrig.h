// A copy run on real folders with a fake clock and a fake free-space probe, for the copy tests.
#pragma once

#include "base/handles.h"
#include "server/copyrun.h"
#include "support/testsupport.h"
#include "tools/tools.h"

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

// Time stands still unless the test moves it; every wait is recorded.
class FrozenClock final : public Clock {
 public:
  DateTime now = 45000.5;  // 2023-03-15 12:00
  std::vector<unsigned> sleeps;
  DateTime Now() override { return now; }
  void Sleep(unsigned ms) override { sleeps.push_back(ms); }
  bool Wait(unsigned ms, HANDLE stop) override {
    sleeps.push_back(ms);
    return WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
  }
};

class FreeSpaceProbe final : public VolumeProbe {
 public:
  uint64_t freeBytes = 1ull << 34;
  bool readable = true;
  int fullAfterCalls = -1;  // >= 0: that many calls see freeBytes, the later ones see 0
  std::vector<char> asked;
  bool VolumeAnswers(const std::string&) override { return true; }
  bool FreeBytes(char drive, uint64_t& bytes) override {
    asked.push_back(drive);
    bytes = fullAfterCalls >= 0 && static_cast<int>(asked.size()) > fullAfterCalls ? 0 : freeBytes;
    return readable;
  }
};

struct CopyRig {
  explicit CopyRig(VolumeProbe* volumes = nullptr)
      : ctx{core,
            clock,
            volumes ? *volumes : probe,
            [this](const std::string& t, int k) { dialogs.emplace_back(t, k); },
            [this](const std::string& t) { lines.push_back(t); },
            nullptr,
            nullptr,
            [this] {
              ++holds;
              if (onHold) onHold();
            }} {}
  ~CopyRig() {
    if (!source.empty()) RemoveTree(source);
    if (!target.empty()) RemoveTree(target);
  }

  ServerCore core;
  FrozenClock clock;
  FreeSpaceProbe probe;
  std::vector<std::pair<std::string, int>> dialogs;
  std::vector<std::string> lines;
  int holds = 0;
  std::function<void()> onHold;  // runs at every hold point: before each tag and each file
  EngineContext ctx;
  CopyRun run{ctx};
  std::string source = MakeScratchFolder("copysrc");  // ends in "\"
  std::string target = MakeScratchFolder("copytgt");

  // Where the run puts the copy of a source path.
  std::string Mirror(const std::string& path) const { return target + path.substr(0, 1) + path.substr(2); }
  void Run(std::vector<TTagItem>& tags) { run.SyncAll(tags, target); }
};

inline TTagItem Tag(const std::string& folder, const std::string& caption, uint8_t type = 0) {
  TTagItem item;
  item.Caption = caption;
  item.Path = folder;
  item.TargetSub = MakeTargetSub(folder);
  item.LastSync = 37987.0;
  item.FType = type;
  return item;
}

// 2021-06-01 10:00:00 UTC plus the given milliseconds.
inline FILETIME BaseTime(int64_t plusMs = 0) {
  SYSTEMTIME st{2021, 6, 2, 1, 10, 0, 0, 0};
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
  v.QuadPart += plusMs * 10000;
  return FILETIME{v.LowPart, v.HighPart};
}

// Names in folder (without "." and "..") that start with prefix.
inline std::vector<std::string> NamesIn(const std::string& folder, const std::string& prefix = "") {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &fd));
  if (!find) return names;
  do {
    const std::string name = fd.cFileName;
    if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0)
      names.push_back(name);
  } while (FindNextFileA(find.get(), &fd));
  return names;
}

inline std::string UnableText(const std::string& name) {
  return "Quillmere was unable to move the file: " + name +
         ". This was most likely because it was in use by another application.  Close all "
         "applications and try again!|Quillmere was unable to move a file!";
}

}  // namespace qm::test
