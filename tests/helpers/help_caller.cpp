// Opens the help viewer at one topic and leaves it open, for the README's screenshot.
//   help_caller FILE CONTEXT   WinHelp with HELP_CONTEXT CONTEXT, or HELP_CONTENTS for 0;
//                              ends with 0 once the viewer has taken the request
#include "base/handles.h"

#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const unsigned long context = std::strtoul(argv[2], nullptr, 10);
  qm::UniqueWindow owner(CreateWindowExA(0, "STATIC", "help_caller", WS_OVERLAPPEDWINDOW, 0, 0,
                                         100, 100, nullptr, nullptr, GetModuleHandleA(nullptr),
                                         nullptr));
  const BOOL taken = context == 0 ? WinHelpA(owner.get(), argv[1], HELP_CONTENTS, 0)
                                  : WinHelpA(owner.get(), argv[1], HELP_CONTEXT, context);
  return taken ? 0 : 1;
}
