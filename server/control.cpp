#include "server/control.h"

#include "server/logthread.h"
#include "server/servform.h"
#include "server/syncthread.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qm {
namespace {

// Main thread only; the callbacks that unmark a window arrive on the thread that sent them.
thread_local std::vector<HWND> g_stalled;
// Bounds the list against a sender that hands out many dead or hung windows.
constexpr size_t kMaxStalled = 256;

bool IsCommand(LPARAM code) {
  switch (code) {
    case cmdSuspend:
    case cmdResume:
    case cmdSyncNow:
    case cmdStop:
    case cmdStatus:
    case cmdGuiStarted:
    case cmdReload:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string CopyDataText(const COPYDATASTRUCT* block) {
  if (!block || !block->lpData || block->cbData == 0) return {};
  const char* bytes = static_cast<const char*>(block->lpData);
  const void* nul = std::memchr(bytes, '\0', block->cbData);
  const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes)
                            : static_cast<size_t>(block->cbData);
  return std::string(bytes, length);
}

bool AnswerChannel::Send(HWND to, UINT msg, WPARAM wp, LPARAM lp, unsigned timeoutMs) {
  if (!to || !IsWindow(to) || Stalled(to)) return false;
  DWORD_PTR result = 0;
  if (SendMessageTimeoutA(to, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_NORMAL, timeoutMs, &result))
    return true;
  if (IsWindow(to)) MarkStalled(to);
  return false;
}

bool AnswerChannel::Stalled(HWND window) {
  return std::find(g_stalled.begin(), g_stalled.end(), window) != g_stalled.end();
}

size_t AnswerChannel::StalledCount() { return g_stalled.size(); }

void AnswerChannel::MarkStalled(HWND window) {
  if (Stalled(window)) return;
  std::erase_if(g_stalled, [](HWND w) { return !IsWindow(w); });
  if (g_stalled.size() >= kMaxStalled) g_stalled.erase(g_stalled.begin());
  // Without the probe nothing would ever lift the mark, so a window we cannot probe stays
  // unmarked and simply costs its timeout each time.
  if (SendMessageCallbackA(window, WM_NULL, 0, 0, &AnswerChannel::Pumped, 0))
    g_stalled.push_back(window);
}

void CALLBACK AnswerChannel::Pumped(HWND window, UINT, ULONG_PTR, LRESULT) {
  std::erase(g_stalled, window);
}

LRESULT TfrQuillmereServ::ControlWndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COPYDATA:
      OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lp));
      return 0;
    case WM_SYNCCONTROL:
      OnSyncControl(reinterpret_cast<HWND>(wp), lp);
      return 0;
    case WM_CLOSE:
      // Any program can post this; destroyed, the window would leave the server running deaf
      // to every command. The server ends only through its own shut-down.
      return 0;
    default:
      return DefWindowProcA(FCtrlWnd(), msg, wp, lp);
  }
}

void TfrQuillmereServ::OnCopyData(const COPYDATASTRUCT* block) {
  try {
    LogLine(CopyDataText(block));
  } catch (...) {
    // A text that cannot be queued (out of memory for a huge block) is dropped.
  }
}

void TfrQuillmereServ::OnSyncControl(HWND sender, LPARAM code) {
  if (!IsCommand(code)) return;
  try {
    switch (code) {
      case cmdSuspend:
        if (SyncThread) SyncThread->Hold();
        core.FState = ssStopped;
        break;
      case cmdResume:
        if (SyncThread) SyncThread->Release();
        break;
      case cmdSyncNow:
        core.SetNextSync(env_.clock->Now());
        break;
      case cmdStop:
        Exit1Click();
        return;
      case cmdStatus:
        SendStatus(sender);
        return;
      case cmdGuiStarted:
        core.FSilent = false;
        SaveConfig();
        break;
      case cmdReload:
        LoadConfig();
        break;
    }
    SendAcknowledgement(sender, 0);
  } catch (...) {
    try {
      SendAcknowledgement(sender, 1);
    } catch (...) {
    }
  }
}

void TfrQuillmereServ::SendStatus(HWND sender) {
  // An answer addressed to the control window itself would come back as a command or a log
  // text; no real sender is this window.
  if (sender == FCtrlWnd()) return;
  DateTime lastSync = 0;
  uint8_t state = 0;
  core.Status(lastSync, state);
  TServerStatus status = EncodeServerStatus(lastSync, state);
  COPYDATASTRUCT block{};
  block.dwData = kStatusDataId;
  block.cbData = sizeof status;
  block.lpData = &status;
  AnswerChannel::Send(sender, WM_COPYDATA, reinterpret_cast<WPARAM>(FCtrlWnd()),
                      reinterpret_cast<LPARAM>(&block));
}

void TfrQuillmereServ::SendAcknowledgement(HWND sender, LPARAM result) {
  if (sender == FCtrlWnd()) return;
  AnswerChannel::Send(sender, WM_SYNCCONTROL, reinterpret_cast<WPARAM>(FCtrlWnd()), result);
}

}  // namespace qm
