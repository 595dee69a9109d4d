// The main window's side of the dialogue with the server: the status poll, the silence rule,
// the replies, and the commands of the "Admin" menu.
//
// Nothing here waits for the server: commands are posted, and its answers arrive as sent
// messages whenever the window's thread takes messages, also inside modal boxes.
#include "frontend/mainform.h"

#include "frontend/screentext.h"
#include "frontend/serverlink.h"
#include "tools/tools.h"

#include <cstring>

namespace qm {

void TfrMain::tmrCheckStatusTimer() {
  try {
    const DateTime now = env_.clock->Now();
    if (IsServerSilent(now, FLastHeard)) {
      SetTextOf(lbStatus, StatusText(ssError));
      EnableServerControls(true);
      // The next tick finds the server silent again unless it answers in between.
      FLastHeard = now - kSilenceLimit;
      // A restarted server has written a new handle (and maybe a new folder).
      const ServerRendezvous found =
          RendezvousOnSilentTick(env_.registryKey, env_.programFolder, FConfPath);
      FServerWnd = found.serverWnd;
      FConfPath = found.confPath;
    }
    if (startWhenServerEnds_ && !ProcessRunning(FServerProcess.get())) {
      startWhenServerEnds_ = false;
      if (TextOf(lbStatus) == StatusText(ssError)) StartServer();
    }
    PostToServer(FServerWnd, hwnd(), cmdStatus);
  } catch (...) {
    // The timer keeps running; the next tick tries again.
  }
}

void TfrMain::ReciveMsg(HWND sender, LPARAM result) {
  try {
    HeardFrom(sender);
    FLastHeard = env_.clock->Now();
  } catch (...) {
  }
}

void TfrMain::ReciveData(const COPYDATASTRUCT& block) {
  try {
    const DateTime now = env_.clock->Now();
    // Any program may send this window a block: one that is no status record only shows that
    // something is alive, and nothing is read past its end.
    const std::optional<TServerStatus> status = DecodeServerStatus(block.lpData, block.cbData);
    if (!status) {
      FLastHeard = now;
      return;
    }
    const auto* bytes = static_cast<const unsigned char*>(block.lpData);
    std::memcpy(&FLastSync, bytes, sizeof FLastSync);
    std::memcpy(&FServerState, bytes + 8, sizeof FServerState);
    std::memcpy(&FServerSpare, bytes + 12, sizeof FServerSpare);
    FLastHeard = now;

    const std::string shown = LastSyncText(FLastSync);
    // In memory only; the next save writes it. While the document is not loaded (a load
    // question is open) this throws, and the display stays as it was.
    ConfXML.Root().ChildByNameOrAppend("lastsyncdate").SetText(DateTimeToText(FLastSync));
    SetTextOf(lbLastScan, shown);
    const int state = FServerState & 0xFF;
    EnableServerControls(state != ssSync);
    SetTextOf(lbStatus, StatusText(state));
  } catch (...) {
  }
}

void TfrMain::EnableServerControls(bool enable) {
  const UINT menuState = MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED);
  for (int item : {idSyncNow1, idStartSyncProcess1, idStopSyncProcess1})
    EnableMenuItem(MainMenu1, static_cast<UINT>(item), menuState);
  for (HWND control : {btScanSet, btTargetSet, lvTagged}) EnableWindow(control, enable);
  // The tag buttons come back only when the user selects a row or edits the path.
  if (!enable) {
    EnableWindow(btUnTag, FALSE);
    EnableWindow(btTag, FALSE);
  }
}

void TfrMain::SyncNow1Click() { PostToServer(FServerWnd, hwnd(), cmdSyncNow); }

void TfrMain::StopSyncProcess1Click() { PostToServer(FServerWnd, hwnd(), cmdStop); }

void TfrMain::StartSyncProcess1Click() {
  // Only a server known to be down is started; a running one would ask about itself.
  if (TextOf(lbStatus) != StatusText(ssError)) return;
  // The status reads "Stopped" until the server just started has published its window and
  // answered, a few seconds; a second one would ask whether to end the first. One that ended
  // unheard (its user answered No to its question, or it failed) no longer counts.
  if (ProcessRunning(startedProcess_.get())) return;
  // A stopped server falls silent at once but may copy on for a while: a second one would
  // offer to end it in the middle of its run. The status tick starts it after that end, once
  // for every press made meanwhile, also for one that comes after the end and before the tick.
  if (startWhenServerEnds_ || ProcessRunning(FServerProcess.get())) {
    startWhenServerEnds_ = true;
    return;
  }
  StartServer();
}

void TfrMain::StartServer() {
  startedProcess_.reset();
  if (env_.startServer)
    env_.startServer(FConfPath, &startedProcess_);
  else
    StartServerProcess(FConfPath, &startedProcess_);
}

void TfrMain::HeardFrom(HWND sender) {
  if (!IsServerControlWindow(sender)) return;
  // A server answers: there is one to talk to, and none to start. The process started last
  // counts as heard: a later stop and start waits for it as for any server heard from.
  startWhenServerEnds_ = false;
  UniqueKernelHandle started = std::move(startedProcess_);
  DWORD pid = 0;
  GetWindowThreadProcessId(sender, &pid);
  if (FServerProcess && GetProcessId(FServerProcess.get()) == pid) return;
  FServerProcess = started && GetProcessId(started.get()) == pid ? std::move(started)
                                                                 : OpenProcessOf(sender);
}

void TfrMain::tmrStartTimer() {
  // Off first: the notice goes once, also when no server could be reached.
  tmrStart->SetEnabled(false);
  PostToServer(FServerWnd, hwnd(), cmdGuiStarted);
}

}  // namespace qm
