#include "server/servform.h"
#include "server/trayicons.h"

#include <cstring>
#include <memory>
#include <string>

namespace qm {

namespace {

constexpr const char* kTrayTip = "Harvo Quillmere";
constexpr const char* kStatePrefix = "&State: ";

void SetItemText(HMENU menu, UINT command, const std::string& text) {
  MENUITEMINFOA item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STRING;
  item.dwTypeData = const_cast<char*>(text.c_str());
  SetMenuItemInfoA(menu, command, FALSE, &item);
}

}  // namespace

HWND TfrQuillmereServ::FTrayWnd() const { return trayWnd_ ? trayWnd_->hwnd() : nullptr; }

UINT TfrQuillmereServ::TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageA("TaskbarCreated");
  return message;
}

void TfrQuillmereServ::AddTrayIcon() {
  if (FTrayWnd()) return;
  if (HWND form = FormHandle())
    SetWindowLongPtrA(form, GWL_EXSTYLE, GetWindowLongPtrA(form, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);

  // Top-level rather than message-only: the shell's "TaskbarCreated" broadcast reaches only
  // top-level windows, and a message-only window cannot become the foreground window that a
  // tray menu needs in order to close when the user clicks elsewhere. The owner is set before
  // the window exists because its procedure already answers WM_NCCREATE through FTrayWnd().
  trayWnd_ = std::make_unique<FunctionWindow>(
      [this](HWND, UINT msg, WPARAM wp, LPARAM lp) { return TrayWndProc(msg, wp, lp); });
  if (!trayWnd_->Create(kTrayWindowClass, HiddenWindow::Kind::TopLevel)) {
    trayWnd_.reset();
    return;
  }
  BuildTrayMenu();

  pTrayIcon.reset(CreateStateIcon(ssReady));
  FTrayData = NOTIFYICONDATAA{};
  // The first layout of the record: every shell since the first one accepts it.
  FTrayData.cbSize = NOTIFYICONDATAA_V1_SIZE;
  FTrayData.hWnd = FTrayWnd();
  FTrayData.uID = 0;
  FTrayData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  FTrayData.uCallbackMessage = WM_TRAYICON;
  FTrayData.hIcon = pTrayIcon.get();
  std::strncpy(FTrayData.szTip, kTrayTip, sizeof FTrayData.szTip - 1);
  TrayNotifyIcon(NIM_ADD, &FTrayData);
}

void TfrQuillmereServ::RemoveTrayIcon() {
  if (!FTrayWnd()) return;
  TrayNotifyIcon(NIM_DELETE, &FTrayData);
  // The window goes, its object stays: the shut-down may run inside the window's own menu.
  trayWnd_->Destroy();
}

void TfrQuillmereServ::BuildTrayMenu() {
  UniqueMenu menu(CreatePopupMenu());
  if (!menu) return;
  AppendMenuA(menu.get(), MF_STRING, kTrayStateItem, State1Text.c_str());
  AppendMenuA(menu.get(), MF_STRING, kTrayTagsItem, agsquantity1Text.c_str());
  AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu.get(), MF_STRING, kTrayExitItem, "Exit");
  TrayMenu = std::move(menu);
}

LRESULT TfrQuillmereServ::TrayWndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TRAYICON) {
    // Only the release of the right button opens the menu; the menu has no default item, so a
    // double click has nothing to choose, and other mouse messages mean nothing here.
    if (LOWORD(lp) == WM_RBUTTONUP) PopUpTrayMenu();
    return 0;
  }
  // Another program's WM_CLOSE must not destroy the window that the icon and its menu need.
  if (msg == WM_CLOSE) return 0;
  if (msg == WM_COMMAND && HIWORD(wp) == 0 && LOWORD(wp) == kTrayExitItem) {
    Exit1Click();
    return 0;
  }
  // A restarted Explorer has forgotten every icon; without this the server would run on with
  // no icon and no way to reach its menu.
  const UINT taskbarCreated = TaskbarCreatedMessage();
  if (taskbarCreated != 0 && msg == taskbarCreated) {
    TrayNotifyIcon(NIM_ADD, &FTrayData);
    return 0;
  }
  return DefWindowProcA(FTrayWnd(), msg, wp, lp);
}

void TfrQuillmereServ::PopUpTrayMenu() {
  if (!TrayMenu) return;
  SetItemText(TrayMenu.get(), kTrayStateItem, State1Text);
  SetItemText(TrayMenu.get(), kTrayTagsItem, agsquantity1Text);
  // Without being the foreground window the menu would stay open after a click elsewhere.
  SetForegroundWindow(FTrayWnd());
  POINT at{};
  GetCursorPos(&at);
  trayMenuOpen_ = true;
  TrackPopupMenu(TrayMenu.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, FTrayWnd(),
                 nullptr);
  trayMenuOpen_ = false;
  // An end asked for while the menu was open ("Stop Sync Process", the session's end): the
  // menu's loop took its quit message.
  if (endAsked_) {
    PostQuitMessage(0);
    return;
  }
  // Lets the menu's own loop see a message after it closes, so that the next right click on
  // the icon opens the menu again instead of being swallowed.
  PostMessageA(FTrayWnd(), WM_NULL, 0, 0);
}

void TfrQuillmereServ::tmrRefreshTimer() {
  // Before the icon is added and after it is removed there is nothing to show; the item keeps
  // its text so that the first tick with an icon updates it.
  if (!FTrayWnd()) return;
  const int state = TrayStateIndex(core.FState.load());
  std::string text = std::string(kStatePrefix) + TrayStateTexts[state];
  if (text == State1Text) return;
  State1Text = std::move(text);
  UniqueIcon icon(CreateStateIcon(static_cast<uint8_t>(state)));
  if (icon) FTrayData.hIcon = icon.get();
  TrayNotifyIcon(NIM_MODIFY, &FTrayData);
  // The previous icon goes only once the shell holds the new one.
  if (icon) pTrayIcon = std::move(icon);
}

}  // namespace qm
