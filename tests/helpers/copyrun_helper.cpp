// One copy run over a folder tag in a process of its own, so that a test can end that process
// by force in the middle of a copy, as a log-off or a crash ends the server.
//   copyrun_helper SOURCE-FOLDER TARGET-FOLDER   (the target folder ends in a backslash)
// Exit code 0 when the run reported nothing, 1 when it reported a problem, 2 for bad arguments.
#include "server/copyrun.h"
#include "tools/tools.h"

#include <windows.h>

#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string source = argv[1];
  const size_t slash = source.find_last_of('\\');
  if (slash == std::string::npos) return 2;
  qm::ServerCore core;
  bool reported = false;
  qm::EngineContext ctx{core,     qm::SystemClock(), qm::SystemVolumeProbe(),
                        [&](const std::string&, int) { reported = true; },
                        nullptr,  nullptr,           nullptr,
                        nullptr};
  qm::TTagItem tag;
  tag.Path = source.substr(0, slash + 1);
  tag.Caption = source.substr(slash + 1);
  tag.TargetSub = qm::MakeTargetSub(tag.Path);
  tag.FType = 2;
  std::vector<qm::TTagItem> tags{tag};
  qm::CopyRun(ctx).SyncAll(tags, argv[2]);
  return reported ? 1 : 0;
}
