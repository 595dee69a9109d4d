// The configuration program's start: its command line, the single-instance step, the main
// window and the message loop.
//
// The task-bar button shows the main window's caption: the program has no separate application
// window whose title ("Harvo Quillmere") could stand there instead.
#include "base/handles.h"
#include "base/program.h"
#include "base/window.h"
#include "frontend/mainform.h"
#include "tools/tools.h"

#include <commctrl.h>
#include <shellapi.h>

#include <optional>
#include <string>

namespace {

// The first argument, if there is one; the others are never looked at.
std::optional<std::wstring> FirstArgument() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments) return std::nullopt;
  std::optional<std::wstring> first;
  if (count > 1) first = arguments[1];
  LocalFree(arguments);
  return first;
}

// "UNINSTALL" in any letter case; only ASCII letters fold, whatever the user's locale.
bool IsUninstall(const std::wstring& argument) {
  const std::wstring word = L"UNINSTALL";
  if (argument.size() != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    wchar_t c = argument[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != word[i]) return false;
  }
  return true;
}

int RunFrontEnd() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  // Before any window: a No ends this copy here.
  qm::CloseRunningCopies(2);
  // conf.xml is held through MSXML on this thread.
  qm::ComApartment com;

  qm::FrontEnvironment env;
  env.programFolder = qm::ProgramFolder();
  qm::TfrMain form(env);
  if (!form.CreateForm()) return 1;
  return qm::RunMessageLoop(form.hwnd(), form.Accelerators());
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (const std::optional<std::wstring> first = FirstArgument()) {
    // Uninstalling ends every other copy of both programs without a question; any other
    // argument ends this program before it touches anything.
    if (IsUninstall(*first)) qm::CloseRunningCopies(3);
    return 0;
  }
  try {
    return RunFrontEnd();
  } catch (...) {
    return 1;
  }
}
