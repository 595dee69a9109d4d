// Times tagging a folder tree in the configuration program's window beside a bare
// FindFirstFile/FindNextFile walk of the same tree, in one process and one run, rounds taken in
// turn so that both meet the same file cache. Run by hand through bench/run-tag-bench, or:
//   tagbench SCRATCH-FOLDER\ TREE-FOLDER [rounds]
// Prints one line per measurement (minimum and median milliseconds) and the ratios.
#include "frontend/mainform.h"
#include "frontend/tagentry.h"
#include "tools/protocol.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The least a size walk can do: list every folder and add up the bytes.
uint64_t BareWalk(const std::string& folder, uint64_t& files) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  uint64_t bytes = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (std::string(found.cFileName) == "." || std::string(found.cFileName) == "..") continue;
      bytes += BareWalk(folder + "\\" + found.cFileName, files);
    } else {
      ++files;
      bytes += (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return bytes;
}

struct Series {
  const char* name;
  std::vector<double> ms;
  double Min() const { return *std::min_element(ms.begin(), ms.end()); }
  double Median() const {
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
};

constexpr const char* kEmptyConf =
    "<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n<configuration>\r\n"
    " <lastsyncdate>01-01-2004</lastsyncdate>\r\n <silentflag>0</silentflag>\r\n"
    " <syncperiod>3600000</syncperiod>\r\n <targetdrive>C:\\Backup\\</targetdrive>\r\n"
    " <tagslist>\r\n </tagslist>\r\n</configuration>\r\n";

bool WriteConf(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok = WriteFile(f, kEmptyConf, static_cast<DWORD>(std::string(kEmptyConf).size()), &n,
                            nullptr);
  CloseHandle(f);
  return ok;
}

int Run(const std::string& scratch, const std::string& tree, int rounds) {
  // A key that does not exist: the window finds no server and keeps conf.xml in scratch.
  qm::FrontEnvironment env;
  env.programFolder = scratch;
  env.registryKey = std::string(qm::kServerKeyPath) + "-bench-absent";
  env.visible = true;

  uint64_t files = 0;
  const uint64_t bytes = BareWalk(tree, files);  // also warms the cache
  std::printf("tree %s: %llu files, %llu bytes\n", tree.c_str(),
              static_cast<unsigned long long>(files), static_cast<unsigned long long>(bytes));

  Series bare{"bare-walk"}, walk{"size-walk"}, click{"add-tag-click"};
  int32_t kb = 0;
  std::string stored;
  for (int i = 0; i < rounds; ++i) {
    double t = NowMs();
    uint64_t n = 0;
    BareWalk(tree, n);
    bare.ms.push_back(NowMs() - t);

    t = NowMs();
    kb = qm::FolderSizeKB(tree);
    walk.ms.push_back(NowMs() - t);

    if (!WriteConf(scratch + "conf.xml")) return 2;
    auto form = std::make_unique<qm::TfrMain>(env);
    form->CreateForm();
    SetWindowTextA(form->eTag, tree.c_str());
    t = NowMs();
    SendMessageA(form->hwnd(), WM_COMMAND, MAKEWPARAM(qm::idTagButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(form->btTag));
    click.ms.push_back(NowMs() - t);
    stored = form->ConfXML.Root().ChildByName("tagslist").Child(0).ChildByName("size").Text();
    form.reset();
  }
  std::printf("size-kb %d (stored %s)\n", kb, stored.c_str());
  std::printf("%-14s %9s %9s\n", "case", "min ms", "median ms");
  for (const Series* s : {&bare, &walk, &click})
    std::printf("%-14s %9.1f %9.1f\n", s->name, s->Min(), s->Median());
  std::printf("size walk / bare walk      = %.3f (median)\n", walk.Median() / bare.Median());
  std::printf("Add Tag click / bare walk  = %.3f (median; target <= 1.2)\n",
              click.Median() / bare.Median());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: tagbench SCRATCH-FOLDER\\ TREE-FOLDER [rounds]\n");
    return 2;
  }
  return Run(argv[1], argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 7);
}
