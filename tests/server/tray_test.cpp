#include "server/servform.h"
#include "server/trayicons.h"

#include "iconpixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::ReadIcon;

struct NotifyCall {
  DWORD message;
  NOTIFYICONDATAA data;
};

std::vector<NotifyCall> g_calls;

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAA data) {
  g_calls.push_back({message, *data});
  return TRUE;
}

ServerEnvironment QuietEnvironment() {
  ServerEnvironment env;
  env.startThreads = false;
  return env;
}

test::IconPixels StateImage(uint8_t state) {
  UniqueIcon icon(CreateStateIcon(state));
  return ReadIcon(icon.get());
}

bool QuitPosted() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

void DrainMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

class Tray : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    saved_ = TrayNotifyIcon;
    TrayNotifyIcon = &RecordNotify;
  }
  void TearDown() override {
    form.RemoveTrayIcon();
    TrayNotifyIcon = saved_;
    QuitPosted();
  }
  void Tick(uint8_t state) {
    form.core.FState = state;
    form.tmrRefreshTimer();
  }
  // Runs a tick and returns the one NIM_MODIFY it sent.
  NotifyCall TickExpectingModify(uint8_t state) {
    g_calls.clear();
    Tick(state);
    EXPECT_EQ(g_calls.size(), 1u) << "state " << int(state);
    if (g_calls.empty()) return {};
    EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_MODIFY));
    return g_calls[0];
  }

  TfrQuillmereServ form{QuietEnvironment()};

 private:
  ShellNotifyIconFunction saved_ = nullptr;
};

TEST_F(Tray, AddSendsTheFirstLayoutRecordFromAHiddenTopLevelToolWindow) {
  form.AddTrayIcon();
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_ADD));
  const NOTIFYICONDATAA& d = g_calls[0].data;
  EXPECT_EQ(d.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
  if constexpr (sizeof(void*) == 4) {
    EXPECT_EQ(d.cbSize, 88u);
  }
  EXPECT_EQ(d.uID, 0u);
  EXPECT_EQ(d.uFlags, 7u);
  EXPECT_EQ(d.uCallbackMessage, 1040u);
  EXPECT_STREQ(d.szTip, "Harvo Quillmere");
  for (size_t i = std::strlen("Harvo Quillmere"); i < 64; ++i) EXPECT_EQ(d.szTip[i], 0) << "tip byte " << i;
  EXPECT_TRUE(ReadIcon(d.hIcon) == StateImage(ssReady));

  HWND tray = form.FTrayWnd();
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(d.hWnd, tray);
  EXPECT_EQ(GetAncestor(tray, GA_PARENT), GetDesktopWindow()) << "a message-only window gets no broadcasts";
  EXPECT_FALSE(IsWindowVisible(tray));
  EXPECT_TRUE(GetWindowLongPtrA(tray, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  char cls[64] = {};
  GetClassNameA(tray, cls, sizeof cls);
  EXPECT_STREQ(cls, kTrayWindowClass);
}

TEST_F(Tray, TextAndIconFollowTheState) {
  form.AddTrayIcon();
  struct Step {
    uint8_t state;
    const char* text;
  };
  for (Step step : {Step{ssReady, "&State: Ready"}, Step{ssStopped, "&State: Stopped"},
                    Step{ssNoTarget, "&State: No target"}, Step{ssSync, "&State: Sync"},
                    Step{ssError, "&State: Error"}, Step{ssReady, "&State: Ready"}}) {
    const HICON before = form.FTrayData.hIcon;
    const NotifyCall call = TickExpectingModify(step.state);
    EXPECT_EQ(form.State1Text, step.text);
    EXPECT_TRUE(ReadIcon(call.data.hIcon) == StateImage(step.state)) << step.text;
    EXPECT_EQ(call.data.hWnd, form.FTrayWnd());
    EXPECT_EQ(call.data.uFlags, 7u);
    EXPECT_STREQ(call.data.szTip, "Harvo Quillmere");
    EXPECT_NE(call.data.hIcon, before);
    EXPECT_EQ(ReadIcon(before).width, 0) << "the replaced icon is still alive: " << step.text;
  }
}

TEST_F(Tray, TheFirstTickAlwaysUpdatesAndAnUnchangedStateSendsNothing) {
  form.AddTrayIcon();
  EXPECT_EQ(form.State1Text, "State:");
  TickExpectingModify(ssReady);
  EXPECT_EQ(form.State1Text, "&State: Ready");
  g_calls.clear();
  Tick(ssReady);
  Tick(ssReady);
  EXPECT_TRUE(g_calls.empty());

  // A state that changes and changes back between two ticks leaves no trace.
  form.core.FState = ssSync;
  form.core.FState = ssReady;
  form.tmrRefreshTimer();
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(form.State1Text, "&State: Ready");
}

TEST_F(Tray, AStateOutsideTheTableShowsAsErrorWithoutReadingPastIt) {
  form.AddTrayIcon();
  const NotifyCall call = TickExpectingModify(200);
  EXPECT_EQ(form.State1Text, "&State: Error");
  EXPECT_TRUE(ReadIcon(call.data.hIcon) == StateImage(ssError));
  g_calls.clear();
  Tick(ssError);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(Tray, NothingIsSentBeforeTheIconIsAddedOrAfterItIsRemoved) {
  Tick(ssSync);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(form.State1Text, "State:");

  form.AddTrayIcon();
  TickExpectingModify(ssSync);  // the text was kept, so the first tick with an icon updates

  g_calls.clear();
  HWND tray = form.FTrayWnd();
  form.RemoveTrayIcon();
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(g_calls[0].data.hWnd, tray);
  EXPECT_EQ(g_calls[0].data.uID, 0u);
  EXPECT_FALSE(IsWindow(tray));
  EXPECT_EQ(form.FTrayWnd(), nullptr);

  g_calls.clear();
  Tick(ssNoTarget);
  form.RemoveTrayIcon();
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(Tray, TaskbarCreatedAddsTheIconAgainWithTheCurrentImage) {
  form.AddTrayIcon();
  TickExpectingModify(ssNoTarget);
  const HICON current = form.FTrayData.hIcon;
  g_calls.clear();
  EXPECT_EQ(SendMessageA(form.FTrayWnd(), RegisterWindowMessageA("TaskbarCreated"), 0, 0), 0);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(g_calls[0].data.hIcon, current);
  EXPECT_EQ(g_calls[0].data.hWnd, form.FTrayWnd());
  EXPECT_EQ(g_calls[0].data.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
}

TEST_F(Tray, ExitCommandEndsTheProgramAndOtherMessagesDoNot) {
  form.AddTrayIcon();
  HWND tray = form.FTrayWnd();
  QuitPosted();
  SendMessageA(tray, WM_COMMAND, kTrayStateItem, 0);
  SendMessageA(tray, WM_COMMAND, kTrayTagsItem, 0);
  EXPECT_FALSE(QuitPosted());
  SendMessageA(tray, WM_COMMAND, kTrayExitItem, 0);
  EXPECT_TRUE(QuitPosted());

  // Everything the tray does not handle itself gets the default treatment.
  EXPECT_TRUE(SendMessageA(tray, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("probe")));
  char text[16] = {};
  GetWindowTextA(tray, text, sizeof text);
  EXPECT_STREQ(text, "probe");
  EXPECT_TRUE(g_calls.size() == 1u && g_calls[0].message == NIM_ADD);
}

// What a pop-up menu of this thread looked like while it was open: a timer of the thread
// (served by the menu's own loop) reads it, then closes it.
struct MenuSnapshot {
  bool seen = false;
  std::vector<std::string> texts;
  std::vector<UINT> ids;
  std::vector<bool> separators;
  UINT defaultItem = 0;
  RECT rect{};
  HWND foreground = nullptr;
};

MenuSnapshot* g_snapshot = nullptr;
int g_polls = 0;

HWND FindOpenMenuOfThisThread() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM out) -> BOOL {
        char cls[16] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (std::strcmp(cls, "#32768") != 0 || !IsWindowVisible(w)) return TRUE;
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

void CALLBACK InspectOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND popup = FindOpenMenuOfThisThread();
  if (!popup) {
    if (++g_polls < 150) return;
    KillTimer(nullptr, timer);
    EndMenu();
    return;
  }
  KillTimer(nullptr, timer);
  MenuSnapshot& s = *g_snapshot;
  s.seen = true;
  s.foreground = GetForegroundWindow();
  GetWindowRect(popup, &s.rect);
  HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[128] = {};
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(menu, i, TRUE, &info);
    s.texts.push_back(text);
    s.ids.push_back(GetMenuItemID(menu, i));
    s.separators.push_back((info.fType & MFT_SEPARATOR) != 0);
  }
  s.defaultItem = GetMenuDefaultItem(menu, TRUE, 0);
  EndMenu();
}

MenuSnapshot SendMouse(HWND tray, LPARAM mouse) {
  MenuSnapshot snapshot;
  g_snapshot = &snapshot;
  g_polls = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, &InspectOpenMenu);
  SendMessageA(tray, WM_TRAYICON, 0, mouse);
  KillTimer(nullptr, timer);
  DrainMessages();
  g_snapshot = nullptr;
  return snapshot;
}

TEST_F(Tray, RightButtonReleaseOpensTheMenuAtTheCursorWithCurrentTexts) {
  form.AddTrayIcon();
  Tick(ssNoTarget);
  form.agsquantity1Text = "Tags quantity: 3";
  ASSERT_TRUE(SetCursorPos(210, 170));
  POINT cursor{};
  GetCursorPos(&cursor);

  const MenuSnapshot menu = SendMouse(form.FTrayWnd(), WM_RBUTTONUP);
  ASSERT_TRUE(menu.seen) << "no menu opened";
  EXPECT_EQ(menu.texts, (std::vector<std::string>{"&State: No target", "Tags quantity: 3", "", "Exit"}));
  EXPECT_EQ(menu.separators, (std::vector<bool>{false, false, true, false}));
  EXPECT_EQ(menu.defaultItem, static_cast<UINT>(-1));
  EXPECT_EQ(menu.rect.left, cursor.x);
  EXPECT_EQ(menu.rect.top, cursor.y);
  EXPECT_EQ(menu.foreground, form.FTrayWnd());

  // The menu's last item is the one that ends the program.
  ASSERT_EQ(menu.ids.size(), 4u);
  QuitPosted();
  SendMessageA(form.FTrayWnd(), WM_COMMAND, menu.ids[3], 0);
  EXPECT_TRUE(QuitPosted());

  // Texts set later show at the next opening.
  Tick(ssSync);
  form.agsquantity1Text = "Tags quantity: 4";
  const MenuSnapshot again = SendMouse(form.FTrayWnd(), WM_RBUTTONUP);
  ASSERT_TRUE(again.seen);
  EXPECT_EQ(again.texts[0], "&State: Sync");
  EXPECT_EQ(again.texts[1], "Tags quantity: 4");
}

TEST_F(Tray, OtherMouseMessagesOpenNothing) {
  form.AddTrayIcon();
  for (LPARAM mouse : {WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MOUSEMOVE}) {
    const MenuSnapshot menu = SendMouse(form.FTrayWnd(), mouse);
    EXPECT_FALSE(menu.seen) << "mouse message " << std::hex << mouse;
  }
  EXPECT_FALSE(QuitPosted());
}

std::vector<std::pair<DWORD, BOOL>> g_shellResults;

BOOL WINAPI ForwardToShell(DWORD message, PNOTIFYICONDATAA data) {
  const BOOL ok = Shell_NotifyIconA(message, data);
  g_shellResults.emplace_back(message, ok);
  return ok;
}

TEST(TrayShell, TheNotificationAreaAcceptsModifiesAndDeletesTheIcon) {
  const ShellNotifyIconFunction saved = TrayNotifyIcon;
  TrayNotifyIcon = &ForwardToShell;
  g_shellResults.clear();
  {
    TfrQuillmereServ form{QuietEnvironment()};
    form.AddTrayIcon();
    form.core.FState = ssSync;
    form.tmrRefreshTimer();
    form.RemoveTrayIcon();
    // Once deleted the shell no longer knows the icon.
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &form.FTrayData));
  }
  TrayNotifyIcon = saved;
  EXPECT_EQ(g_shellResults, (std::vector<std::pair<DWORD, BOOL>>{
                                {NIM_ADD, TRUE}, {NIM_MODIFY, TRUE}, {NIM_DELETE, TRUE}}));
}

}  // namespace
}  // namespace qm
