#include "server/servform.h"
#include "server/trayicons.h"

#include "iconpixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace qm {
namespace {

using test::ReadIcon;
using test::StateImage;

std::vector<std::pair<DWORD, NOTIFYICONDATAA>> g_calls;
bool g_forward = false;  // on to the real shell, for the test of the real notification area
std::vector<BOOL> g_results;

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAA data) {
  g_calls.emplace_back(message, *data);
  if (g_forward) g_results.push_back(Shell_NotifyIconA(message, data));
  return TRUE;
}

bool QuitPosted() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

ServerEnvironment QuietEnvironment() {
  ServerEnvironment env;
  env.startThreads = false;
  return env;
}

class Tray : public ::testing::Test {
 protected:
  Tray() {
    g_calls.clear();
    g_results.clear();
    TrayNotifyIcon = &RecordNotify;
  }
  ~Tray() override {
    form.RemoveTrayIcon();
    TrayNotifyIcon = &Shell_NotifyIconA;
    g_forward = false;
    QuitPosted();
  }
  // Sets the state, runs one refresh and returns what it sent to the shell.
  std::vector<DWORD> Tick(uint8_t state) {
    g_calls.clear();
    form.core.FState = state;
    form.tmrRefreshTimer();
    std::vector<DWORD> messages;
    for (auto& call : g_calls) messages.push_back(call.first);
    return messages;
  }

  TfrQuillmereServ form{QuietEnvironment()};
};

const std::vector<DWORD> kNothing{}, kModify{NIM_MODIFY};

TEST_F(Tray, AddSendsTheFirstRecordLayoutFromAHiddenTopLevelWindowAndRemoveDeletesIt) {
  form.AddTrayIcon();
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].first, static_cast<DWORD>(NIM_ADD));
  const NOTIFYICONDATAA d = g_calls[0].second;
  EXPECT_EQ(d.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
  EXPECT_EQ(d.uID, 0u);
  EXPECT_EQ(d.uFlags, 7u);
  EXPECT_EQ(d.uCallbackMessage, 1040u);
  EXPECT_EQ(std::string(d.szTip, 64), std::string("Harvo Quillmere") + std::string(64 - 15, '\0'));
  EXPECT_TRUE(ReadIcon(d.hIcon) == StateImage(ssReady));
  HWND tray = form.FTrayWnd();
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(d.hWnd, tray);
  EXPECT_EQ(GetAncestor(tray, GA_PARENT), GetDesktopWindow()) << "a message-only window gets no broadcasts";
  EXPECT_FALSE(IsWindowVisible(tray));

  g_calls.clear();
  form.RemoveTrayIcon();
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].first, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(g_calls[0].second.hWnd, tray);
  EXPECT_FALSE(IsWindow(tray));
  EXPECT_EQ(Tick(ssSync), kNothing) << "a refresh after the removal still reached the shell";
}

TEST_F(Tray, TextAndIconFollowTheStateAndTheReplacedIconIsFreed) {
  EXPECT_EQ(Tick(ssSync), kNothing) << "a refresh before the icon exists reached the shell";
  form.AddTrayIcon();
  struct Step {
    uint8_t state;
    const char* text;
    uint8_t image;
  };
  for (Step step : {Step{ssReady, "&State: Ready", 0}, Step{ssStopped, "&State: Stopped", 1},
                    Step{ssNoTarget, "&State: No target", 2}, Step{ssSync, "&State: Sync", 3},
                    Step{200, "&State: Error", 4}, Step{ssReady, "&State: Ready", 0}}) {
    const HICON before = form.FTrayData.hIcon;
    ASSERT_EQ(Tick(step.state), kModify) << step.text;
    EXPECT_EQ(form.State1Text, step.text);
    const NOTIFYICONDATAA& sent = g_calls[0].second;
    EXPECT_TRUE(ReadIcon(sent.hIcon) == StateImage(step.image)) << step.text;
    EXPECT_TRUE(sent.hWnd == form.FTrayWnd() && sent.uFlags == 7 && std::string(sent.szTip) == "Harvo Quillmere");
    EXPECT_EQ(ReadIcon(before).width, 0) << "the replaced icon is still alive: " << step.text;
  }
}

TEST_F(Tray, OnlyAChangedTextReachesTheShell) {
  form.AddTrayIcon();
  EXPECT_EQ(form.State1Text, "State:");
  EXPECT_EQ(Tick(ssReady), kModify) << "the first refresh always updates";
  EXPECT_EQ(Tick(ssReady), kNothing);
  EXPECT_EQ(Tick(ssError), kModify);
  EXPECT_EQ(Tick(77), kNothing) << "an unknown state reads as Error too";
  form.core.FState = ssSync;  // and back again before the next tick
  EXPECT_EQ(Tick(ssError), kNothing);
}

TEST_F(Tray, TaskbarCreatedAddsTheIconAgainAndExitEndsTheProgram) {
  form.AddTrayIcon();
  Tick(ssNoTarget);
  g_calls.clear();
  SendMessageA(form.FTrayWnd(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].first, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(std::memcmp(&g_calls[0].second, &form.FTrayData, NOTIFYICONDATAA_V1_SIZE), 0);
  EXPECT_TRUE(ReadIcon(g_calls[0].second.hIcon) == StateImage(ssNoTarget));

  QuitPosted();
  SendMessageA(form.FTrayWnd(), WM_COMMAND, kTrayStateItem, 0);
  EXPECT_FALSE(QuitPosted());
  SendMessageA(form.FTrayWnd(), WM_COMMAND, kTrayExitItem, 0);
  EXPECT_TRUE(QuitPosted());
}

// A pop-up menu of this thread as it looked while open: a thread timer, which the menu's own
// loop serves, reads the menu and closes it.
struct OpenMenu {
  bool seen = false;
  std::vector<std::string> texts;
  UINT exitId = 0, defaultItem = 0;
  RECT rect{};
  HWND foreground = nullptr;
};
OpenMenu* g_menu = nullptr;
int g_polls = 0;

BOOL CALLBACK FindMenuWindow(HWND w, LPARAM out) {
  char cls[16] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (std::strcmp(cls, "#32768") != 0 || !IsWindowVisible(w)) return TRUE;
  *reinterpret_cast<HWND*>(out) = w;
  return FALSE;
}

void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND popup = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindMenuWindow, reinterpret_cast<LPARAM>(&popup));
  if (!popup && ++g_polls < 150) return;
  KillTimer(nullptr, timer);
  if (popup) {
    g_menu->seen = true;
    g_menu->foreground = GetForegroundWindow();
    GetWindowRect(popup, &g_menu->rect);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[128] = {};
      GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
      g_menu->texts.push_back((GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR) ? "-" : text);
    }
    g_menu->exitId = GetMenuItemID(menu, 3);
    g_menu->defaultItem = GetMenuDefaultItem(menu, TRUE, 0);
  }
  EndMenu();
}

OpenMenu SendMouse(HWND tray, LPARAM mouse) {
  OpenMenu menu;
  g_menu = &menu;
  g_polls = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, &ReadOpenMenu);
  SendMessageA(tray, WM_TRAYICON, 0, mouse);
  KillTimer(nullptr, timer);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  g_menu = nullptr;
  return menu;
}

TEST_F(Tray, RightButtonReleaseOpensTheMenuAtTheCursorWithTheCurrentTexts) {
  form.AddTrayIcon();
  Tick(ssNoTarget);
  form.agsquantity1Text = "Tags quantity: 3";
  ASSERT_TRUE(SetCursorPos(210, 170));

  for (LPARAM mouse : {WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE})
    EXPECT_FALSE(SendMouse(form.FTrayWnd(), mouse).seen) << "mouse message " << std::hex << mouse;

  const OpenMenu menu = SendMouse(form.FTrayWnd(), WM_RBUTTONUP);
  ASSERT_TRUE(menu.seen) << "no menu opened";
  EXPECT_EQ(menu.texts, (std::vector<std::string>{"&State: No target", "Tags quantity: 3", "-", "Exit"}));
  EXPECT_EQ(menu.defaultItem, static_cast<UINT>(-1));
  EXPECT_EQ(menu.rect.left, 210);
  EXPECT_EQ(menu.rect.top, 170);
  EXPECT_EQ(menu.foreground, form.FTrayWnd());
  QuitPosted();
  SendMessageA(form.FTrayWnd(), WM_COMMAND, menu.exitId, 0);
  EXPECT_TRUE(QuitPosted()) << "the last item is not the one that ends the program";

  Tick(ssSync);
  form.agsquantity1Text = "Tags quantity: 4";
  const OpenMenu again = SendMouse(form.FTrayWnd(), WM_RBUTTONUP);
  ASSERT_EQ(again.texts.size(), 4u);
  EXPECT_EQ(again.texts[0], "&State: Sync");
  EXPECT_EQ(again.texts[1], "Tags quantity: 4");
}

// "Stop Sync Process" or the session's end while the menu is open: the end is asked for inside
// the menu's own message loop. A menu that stays open is closed after a while, so that the test
// ends either way.
TfrQuillmereServ* g_ending = nullptr;
void CALLBACK EndWhileOpen(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND popup = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindMenuWindow, reinterpret_cast<LPARAM>(&popup));
  if (popup && !g_menu->seen) {
    g_menu->seen = true;
    g_ending->Exit1Click();
    return;
  }
  if (++g_polls < 50 && (popup || !g_menu->seen)) return;
  KillTimer(nullptr, timer);
  if (popup) EndMenu();
}

TEST_F(Tray, AnEndAskedForWhileTheMenuIsOpenEndsTheProgramOnceTheMenuHasClosed) {
  form.AddTrayIcon();
  QuitPosted();
  OpenMenu menu;
  g_menu = &menu;
  g_ending = &form;
  g_polls = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, &EndWhileOpen);
  SendMessageA(form.FTrayWnd(), WM_TRAYICON, 0, WM_RBUTTONUP);
  KillTimer(nullptr, timer);
  g_menu = nullptr;
  g_ending = nullptr;
  ASSERT_TRUE(menu.seen) << "no menu opened";
  EXPECT_TRUE(QuitPosted()) << "the menu's loop took the end; the server would run on";
}

TEST_F(Tray, AnotherProgramsCloseLeavesTheTrayWindowAndItsMenu) {
  form.AddTrayIcon();
  const HWND tray = form.FTrayWnd();
  ASSERT_NE(tray, nullptr);
  PostMessageA(tray, WM_CLOSE, 0, 0);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  ASSERT_TRUE(IsWindow(tray));
  EXPECT_FALSE(QuitPosted()) << "a close of the tray window is no Exit";
  EXPECT_TRUE(SendMouse(tray, WM_RBUTTONUP).seen) << "the menu no longer opens";
}

TEST_F(Tray, TheRealNotificationAreaAcceptsModifiesAndDeletesTheIcon) {
  g_forward = true;
  form.AddTrayIcon();
  Tick(ssSync);
  form.RemoveTrayIcon();
  EXPECT_EQ(g_results, (std::vector<BOOL>{TRUE, TRUE, TRUE}));  // add, modify, delete
  EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &form.FTrayData)) << "the shell still knows the deleted icon";
}

}  // namespace
}  // namespace qm
