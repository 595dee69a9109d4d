#include "base/handles.h"
#include "base/program.h"
#include "base/thread.h"
#include "base/window.h"
#include "server/msgdialog.h"
#include "server/servform.h"
#include "tools/tools.h"

#include <commctrl.h>

namespace {

int RunServer() {
  qm::MainThreadCalls::Attach();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  // conf.xml is read through MSXML on this thread.
  qm::ComApartment com;

  qm::ServerEnvironment env;
  env.programFolder = qm::ProgramFolder();
  auto* form = new qm::TfrQuillmereServ(env);
  form->FormCreate();
  qm::frMsgDialog = new qm::TfrMsgDialog;

  const int exitCode = qm::RunMessageLoop();

  form->FormDestroy();
  // A thread that the end could not wait for may still use the form and its tags; the process
  // ends here, where the run's results are saved and the last log line is written.
  if (form->ThreadLeftRunning()) TerminateProcess(GetCurrentProcess(), 0);
  delete qm::frMsgDialog;
  qm::frMsgDialog = nullptr;
  delete form;
  qm::MainThreadCalls::Detach();
  return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything else: a No answer must end this copy before it touches a window, the
  // registry or a file.
  qm::CloseRunningCopies(1);
  try {
    return RunServer();
  } catch (...) {
    return 1;
  }
}
