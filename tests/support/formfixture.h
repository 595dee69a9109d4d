// Running the server form inside a test process: a clock the test sets, a scratch installation
// folder and a registry key of the test's own, so that in-process forms never disturb a server
// that an end-to-end test runs.
#pragma once

#include "support/fakeclock.h"
#include "server/servform.h"

#include <atomic>
#include <memory>
#include <string>

namespace qm::test {

// "dd.mm.yyyy hh:mm:ss.zzz", for readable failure messages and exact comparisons.
std::string Stamp(DateTime t);
DateTime At(int year, int month, int day, int hour, int minute, int second, int ms = 0);

class InProcessServer {
 public:
  explicit InProcessServer(DateTime now = At(2025, 3, 14, 10, 37, 25, 500));
  ~InProcessServer();  // destroys the form, removes the key and the folder, drops a WM_QUIT

  ServerEnvironment Environment(bool startThreads = false);
  // Constructs the form and runs FormCreate.
  TfrQuillmereServ& Create(bool startThreads = false);
  void Destroy();  // the form's destructor (FormDestroy); safe to call twice

  // Time stands where the test sets it; waits are brief real ones.
  FakeClock clock;
  const std::string folder;
  const std::string key;
  std::unique_ptr<TfrQuillmereServ> form;

 private:
  // These forms keep their icon away from the shell: the icon is not what they test, and
  // under Xvfb Wine takes about two seconds to delete one.
  using NotifyIcon = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);
  NotifyIcon realNotifyIcon_;
};

// A conf.xml as the front end might leave it: the given period and silent flag, and
// itemCount tagged files "f0.txt", "f1.txt"... in "C:\Docs\".
std::string ConfigurationText(int periodMs, bool silent, int itemCount);

// A registry key path below the product's key that no other test process uses.
std::string UniqueTestKey();
// True when a WM_QUIT is waiting in the calling thread's queue (it is removed).
bool TakeQuitMessage();

}  // namespace qm::test
