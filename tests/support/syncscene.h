// What the end-to-end tests of copy runs set up and look at around a running server: conf.xml
// written by hand in either program's layout and read back, source files with fixed times,
// their mirror paths below a target, status and acknowledgements through a test client, and
// the server's dialogs as another program sees them.
#pragma once

#include "base/datetime.h"
#include "support/controlclient.h"
#include "support/testsupport.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

// ---- conf.xml ----

struct ConfItem {
  std::string caption;
  std::string path;  // folder holding the entry, ending in "\"
  std::string lastsync = "01-01-2004";
  int64_t size = 0;
  int ftype = 0;
};

struct ConfFile {
  std::string lastsyncdate = "01-01-2004";
  int64_t syncperiod = 3600000;
  std::string targetdrive;
  int silentflag = 0;
  std::vector<ConfItem> items;
};

// The server's layout: one element per line; lastsyncdate, syncperiod, targetdrive,
// silentflag, tagslist; an item's caption, size, path, lastsync, ftype.
std::string ServerLayout(const ConfFile& conf);
// The configuration program's: lastsyncdate, silentflag, syncperiod, targetdrive, tagslist;
// an item's caption, path, lastsync, size, ftype; its serialiser's own line breaks and indents.
std::string FrontEndLayout(const ConfFile& conf);
// Reads conf.xml with MSXML; nullopt when it is missing, not well-formed or lacks an element.
std::optional<ConfFile> ReadConf(const std::string& path);
// A date-time text of conf.xml or of a log line's stamp; 0 when it does not read as one.
DateTime ParsedTime(const std::string& text);
// Polls conf.xml until it reads and pred holds; the last reading, or nullopt.
std::optional<ConfFile> WaitForConf(const std::string& path,
                                    const std::function<bool(const ConfFile&)>& pred,
                                    unsigned timeoutMs);

// ---- files ----

// A local calendar time as the FILETIME (UTC) that a file's last-write time holds.
FILETIME LocalFileTime(int year, int month, int day, int hour, int minute, int second);
// Creates folder (ending in "\" or not) and every missing folder above it.
bool MakeFolderChain(const std::string& folder);
// Where a copy run puts the copy of source: target + drive letter + the path after the colon.
std::string MirrorOf(const std::string& target, const std::string& source);
// The root ("Q:\") of the first drive letter from Q on that names no drive; empty when all do.
std::string UnusedDriveRoot();

// A file's size as a copy run records it: to the nearest kilobyte, halves to even, never below 1.
int32_t KilobytesOf(uint64_t bytes);

struct SourceFile {
  std::string path;
  std::string bytes;
  FILETIME lastWrite{};
  bool hidden = false;
};

// The builders below throw std::runtime_error when they cannot write what they describe.

// A folder to tag: sub-folders two levels deep, hidden files, a few big files and many small
// ones (enough that a copy run of it lasts some seconds and can be watched), every file with a
// content and a last-write time of its own.
struct SourceTree {
  std::string root;  // without trailing "\"
  std::vector<SourceFile> files;
  int32_t TotalKb() const;  // what the run records as the folder tag's size
};
SourceTree MakeSourceTree(const std::string& root, int smallFiles, int bigFiles, size_t bigBytes);
SourceFile MakeSourceFile(const std::string& path, size_t bytes, const FILETIME& lastWrite);

// Sources and a target for copy runs inside a scratch installation folder: a tree and a file
// to tag, side by side in one folder, and an empty target folder.
struct SyncWorld {
  // Enough files that a run lasts a few seconds even on an idle machine, so that it can be
  // watched, and acted on, while it copies.
  static constexpr int kSmallFiles = 2500;
  static constexpr int kBigFiles = 3;
  static constexpr size_t kBigBytes = 20u << 20;

  explicit SyncWorld(const std::string& installDir, int smallFiles = kSmallFiles,
                     int bigFiles = kBigFiles, size_t bigBytes = kBigBytes);
  std::string source;  // the folder holding both tagged entries, ending in "\"
  std::string target;  // ending in "\"
  SourceTree tree;
  SourceFile single;

  ConfFile Configuration() const;  // the tree as a folder tag, then the file as a file tag
  std::vector<SourceFile> AllFiles() const;
  // Waits until a run has begun to make the copies' folders below the target.
  bool WaitForRunUnderWay(unsigned timeoutMs) const;
};

// Empty when the copy of f below target stands with f's bytes and last-write time; else what
// is wrong with it.
std::string CopyProblem(const std::string& target, const SourceFile& f);

// Removes a folder tree when it goes out of scope.
class ScopedTree {
 public:
  explicit ScopedTree(std::string folder) : folder_(std::move(folder)) {}
  ~ScopedTree();
  ScopedTree(const ScopedTree&) = delete;
  ScopedTree& operator=(const ScopedTree&) = delete;

 private:
  std::string folder_;
};

// ---- talking to the server ----

// Posts code and waits for its acknowledgement; its lParam, or nullopt when none came.
std::optional<LPARAM> Acknowledge(ControlClient& client, HWND server, LPARAM code,
                                  unsigned timeoutMs = 15000);
std::optional<StatusAnswer> AskStatus(ControlClient& client, HWND server,
                                      unsigned timeoutMs = 15000);
// Asks for the status every 50 ms until pred holds; that answer, or nullopt.
std::optional<StatusAnswer> WaitForStatus(ControlClient& client, HWND server,
                                          const std::function<bool(const StatusAnswer&)>& pred,
                                          unsigned timeoutMs);

// How many lines of the log have exactly this log text.
int CountLogText(const std::string& logPath, const std::string& text);

// ---- the server's windows ----

std::string WindowText(HWND window);
// The first child of parent with this text; null when there is none.
HWND ChildWithText(HWND parent, const std::string& text);
// The top-level window of process pid with this class; waits up to timeoutMs.
HWND WaitForProcessWindowOfClass(DWORD pid, const std::string& className, unsigned timeoutMs);
// The dialog of process pid with this caption once it is on the screen (its caption is set
// before its texts, and it shows only when they are all in place); null after timeoutMs.
HWND WaitForShownDialog(DWORD pid, const std::string& caption, unsigned timeoutMs);
// Whether the window's area on the screen shows pixels of a strong red (polled up to timeoutMs,
// since a window just opened may not be painted yet).
bool ShowsRed(HWND window, unsigned timeoutMs);
// Presses a button of another process's dialog, as a click does.
bool ClickButton(HWND button);

}  // namespace qm::test
