// The configuration program's main window inside a test process: a fake clock, a scratch
// folder as the program's folder, a registry key of the test's own, message boxes answered
// and recorded, and a stand-in for the server's control window that records what it is posted.
//
// Header only: it needs the front end's code, which only the front-end test programs link.
#pragma once

#include "base/prompt.h"
#include "base/registry.h"
#include "base/window.h"
#include "frontend/mainform.h"
#include "support/fakes.h"
#include "support/formfixture.h"
#include "support/testsupport.h"
#include "tools/protocol.h"

#include <commctrl.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qm::test {

// A window of the server's control-window class that records the commands posted to it.
class FakeServerWindow {
 public:
  struct Command {
    HWND sender;
    LPARAM code;
  };

  FakeServerWindow()
      : window_([this](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
          if (msg == WM_SYNCCONTROL) {
            commands.push_back({reinterpret_cast<HWND>(wp), lp});
            return 0;
          }
          return DefWindowProcA(hwnd, msg, wp, lp);
        }) {
    window_.Create(kServerControlClass, HiddenWindow::Kind::MessageOnly);
  }
  HWND hwnd() const { return window_.hwnd(); }
  std::vector<LPARAM> Codes() const {
    std::vector<LPARAM> codes;
    for (const Command& c : commands) codes.push_back(c.code);
    return codes;
  }

  std::vector<Command> commands;

 private:
  FunctionWindow window_;
};

// Delivers whatever the calling thread's queue holds (posted commands, timer ticks).
inline void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

struct Question {
  HWND owner;
  std::string text, caption;
  UINT type;
};

class FrontForm {
 public:
  FrontForm() : folder(MakeScratchFolder("front")), key(UniqueTestKey()) {
    previous_ = SetMessageBoxHandler(
        [this](HWND owner, const std::string& text, const std::string& caption, UINT type) {
          questions.push_back({owner, text, caption, type});
          if (answers.empty()) return answer;
          const int next = answers.front();
          answers.pop_front();
          return next;
        });
  }
  ~FrontForm() {
    form.reset();
    SetMessageBoxHandler(previous_);
    PumpMessages();
    TakeQuitMessage();
    RegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, key);
    RemoveTree(folder);
  }
  FrontForm(const FrontForm&) = delete;
  FrontForm& operator=(const FrontForm&) = delete;

  std::string ConfPath() const { return folder + "conf.xml"; }
  void WriteConf(const std::string& text) const { WriteFileBytes(ConfPath(), text); }

  // Creates the window (FormCreate loads conf.xml); the timers are stopped so that only the
  // test decides when a tick comes.
  TfrMain& Create() {
    FrontEnvironment env;
    env.programFolder = folder;
    env.clock = &clock;
    env.registryKey = key;
    env.visible = false;
    env.startServer = [this](const std::string& confPath, UniqueKernelHandle* process) {
      serverStarts.push_back(confPath);
      if (process && startedProcess) *process = startedProcess();
      return true;
    };
    form = std::make_unique<TfrMain>(env);
    form->CreateForm();
    if (form->tmrCheckStatus) form->tmrCheckStatus->SetEnabled(false);
    if (form->tmrStart) form->tmrStart->SetEnabled(false);
    return *form;
  }

  // Publishes a server window (and folder) under the test's key, as a server start would.
  void Publish(HWND server, const std::string& installDir) const {
    auto k = RegistryKey::OpenOrCreate(HKEY_LOCAL_MACHINE, key);
    if (!k) return;
    k->WriteString(kInstallDirValue, installDir);
    k->WriteInteger(kHandleValue, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(server)));
  }

  // Sends a status block to the window as the server does, through its message handling.
  void SendStatus(const void* data, DWORD size) const {
    COPYDATASTRUCT block{kStatusDataId, size, const_cast<void*>(data)};
    SendMessageA(form->hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block));
  }
  void SendStatus(DateTime lastSync, uint8_t state) const {
    const TServerStatus status = EncodeServerStatus(lastSync, state);
    SendStatus(&status, sizeof status);
  }

  std::string Text(HWND control) const { return TfrMain::TextOf(control); }
  std::string Cell(int row, int column) const {
    char text[512] = {};
    LVITEMA cell{};
    cell.iSubItem = column;
    cell.pszText = text;
    cell.cchTextMax = sizeof text;
    SendMessageA(form->lvTagged, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&cell));
    return text;
  }
  int Image(int row, int column) const {
    LVITEMA cell{};
    cell.mask = LVIF_IMAGE;
    cell.iItem = row;
    cell.iSubItem = column;
    cell.iImage = -100;
    SendMessageA(form->lvTagged, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&cell));
    return cell.iImage;
  }
  int Rows() const {
    return static_cast<int>(SendMessageA(form->lvTagged, LVM_GETITEMCOUNT, 0, 0));
  }
  // Types into an edit as a user would: the edit reports the change to the window.
  void Type(HWND edit, const std::string& text) const { SetWindowTextA(edit, text.c_str()); }
  // A click on a button; a disabled button ignores it, as it ignores the mouse.
  void Click(HWND button) const {
    if (IsWindowEnabled(button))
      SendMessageA(form->hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
  }
  bool Selected(int row) const {
    return SendMessageA(form->lvTagged, LVM_GETITEMSTATE, static_cast<WPARAM>(row),
                        LVIS_SELECTED) != 0;
  }
  // Selects or deselects a row as a click with the control key would.
  void Select(int row, bool selected = true) const {
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(form->lvTagged, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&state));
  }
  bool MenuEnabled(int id) const {
    return !(GetMenuState(form->MainMenu1, static_cast<UINT>(id), MF_BYCOMMAND) &
             (MF_GRAYED | MF_DISABLED));
  }

  const std::string folder;
  const std::string key;
  FakeClock clock;
  int answer = IDYES;
  std::deque<int> answers;  // answered first, one per box; then answer
  std::vector<Question> questions;
  std::vector<std::string> serverStarts;  // the conf.xml path of each server start
  // What each server start hands out as the new server's process; unset: no process, as a
  // start whose handle was not kept.
  std::function<UniqueKernelHandle()> startedProcess;
  std::unique_ptr<TfrMain> form;

 private:
  MessageBoxHandler previous_;
};

}  // namespace qm::test
