#include "server/msgdialog.h"

#include "server/msgdialog_res.h"
#include "server/problems.h"
#include "server/servform.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace qm {
namespace {

// What a second thread sees of the open dialog, read through its window handles as another
// program would.
struct Seen {
  bool found = false;
  std::string caption, headline, label1, message, buttons;
  bool silenceVisible = false, focusOnSilence = false, focusOnOk = false;
  bool silenceFirstTabStop = false, topmost = false;
  RECT client{}, window{}, silence{};
  LOGFONTA headlineFont{}, label1Font{};
  COLORREF headlineColour = 0;
};

enum class Answer { Silence, Ok, CloseBox, EscapeThenOk };

std::string TextOf(HWND hwnd) {
  char buf[1024] = {};
  GetWindowTextA(hwnd, buf, sizeof buf);
  return buf;
}

LOGFONTA FontOf(HWND control) {
  LOGFONTA lf{};
  GetObjectA(reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf;
}

void Look(HWND dialog, DWORD uiThread, Seen& seen) {
  HWND silence = GetDlgItem(dialog, IDC_BUTTON2);
  HWND ok = GetDlgItem(dialog, IDC_BUTTON1);
  HWND red = GetDlgItem(dialog, IDC_REDLABEL);
  seen.caption = TextOf(dialog);
  seen.headline = TextOf(red);
  seen.label1 = TextOf(GetDlgItem(dialog, IDC_LABEL1));
  seen.message = TextOf(GetDlgItem(dialog, IDC_BLACKLABEL));
  seen.buttons = TextOf(silence) + "/" + TextOf(ok);
  seen.silenceVisible = IsWindowVisible(silence) != FALSE;
  seen.topmost = (GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  GetGUIThreadInfo(uiThread, &gti);
  seen.focusOnSilence = gti.hwndFocus == silence;
  seen.focusOnOk = gti.hwndFocus == ok;
  HWND child = GetWindow(dialog, GW_CHILD);
  while (child && !(GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP))
    child = GetWindow(child, GW_HWNDNEXT);
  seen.silenceFirstTabStop = child == silence;
  GetClientRect(dialog, &seen.client);
  GetWindowRect(dialog, &seen.window);
  GetWindowRect(silence, &seen.silence);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&seen.silence), 2);
  seen.headlineFont = FontOf(red);
  seen.label1Font = FontOf(GetDlgItem(dialog, IDC_LABEL1));
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(red));
  seen.headlineColour = GetTextColor(dc);
  DeleteDC(dc);
}

void Give(HWND dialog, Answer answer) {
  HWND ok = GetDlgItem(dialog, IDC_BUTTON1);
  switch (answer) {
    case Answer::Silence:
      SendMessageA(GetDlgItem(dialog, IDC_BUTTON2), BM_CLICK, 0, 0);
      break;
    case Answer::Ok:
      SendMessageA(ok, BM_CLICK, 0, 0);
      break;
    case Answer::CloseBox:
      PostMessageA(dialog, WM_CLOSE, 0, 0);
      break;
    case Answer::EscapeThenOk:
      // Posted in this order: were Escape to end the dialog, the click would never arrive.
      PostMessageA(ok, WM_KEYDOWN, VK_ESCAPE, 1);
      PostMessageA(ok, BM_CLICK, 0, 0);
      break;
  }
}

BOOL CALLBACK CloseOne(HWND hwnd, LPARAM) {
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  return TRUE;
}

// Runs show() on this thread while a second thread finds the dialog by its caption, looks at
// it and answers; returns show()'s result.
template <class Show>
int WhileAnswering(const std::string& caption, Answer answer, Seen& seen, Show show) {
  const DWORD uiThread = GetCurrentThreadId();
  std::thread driver([&] {
    HWND dialog = test::WaitForWindowByCaption(caption, 30000);
    DWORD pid = 0;
    if (dialog) GetWindowThreadProcessId(dialog, &pid);
    if (pid != GetCurrentProcessId() ||
        !test::WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 30000)) {
      EnumThreadWindows(uiThread, CloseOne, 0);  // never leave the test in a modal loop
      return;
    }
    seen.found = true;
    Look(dialog, uiThread, seen);
    Give(dialog, answer);
  });
  const int result = show();
  driver.join();
  return result;
}

int ShowAndAnswer(TfrMsgDialog& dialog, const std::string& caption, Answer answer, Seen& seen) {
  return WhileAnswering(caption, answer, seen, [&] { return dialog.ShowModal(nullptr); });
}

// Captions of this process alone, so that parallel test programs never find each other's.
std::string Unique(const std::string& caption) {
  static int counter = 0;
  return caption + " " + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

TEST(MsgDialog, ShowsItsTextsLayoutAndFontsAndSilenceGives6) {
  TfrMsgDialog dialog;
  const std::string caption = Unique("Warning with Silence");
  dialog.Setup(caption, "The red headline", "line one\r\nline two\r\nline three", true);
  Seen seen;
  EXPECT_EQ(ShowAndAnswer(dialog, caption, Answer::Silence, seen), TfrMsgDialog::kSilence);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, caption);
  EXPECT_EQ(seen.headline, "The red headline");
  EXPECT_EQ(seen.label1, "To Rectify this Problem");
  EXPECT_EQ(seen.message, "line one\r\nline two\r\nline three");
  EXPECT_EQ(seen.buttons, "Silence/Ok");
  EXPECT_TRUE(seen.silenceVisible);
  EXPECT_TRUE(seen.focusOnSilence);
  EXPECT_TRUE(seen.silenceFirstTabStop);
  EXPECT_TRUE(seen.topmost);
  EXPECT_EQ(seen.client.right, 461);
  EXPECT_EQ(seen.client.bottom, 132);
  EXPECT_EQ(seen.window.left, 312);
  EXPECT_EQ(seen.window.top, 157);
  EXPECT_EQ(seen.silence.left, 8 + 294);  // on the panel at 8,8
  EXPECT_EQ(seen.silence.top, 8 + 93);
  EXPECT_EQ(seen.silence.right, 8 + 294 + 75);
  EXPECT_EQ(seen.silence.bottom, 8 + 93 + 25);
  EXPECT_STREQ(seen.headlineFont.lfFaceName, "Microsoft Sans Serif");
  EXPECT_EQ(seen.headlineFont.lfCharSet, RUSSIAN_CHARSET);
  EXPECT_EQ(seen.headlineFont.lfHeight, -11);
  EXPECT_EQ(seen.headlineColour, RGB(255, 0, 0));
  EXPECT_STREQ(seen.label1Font.lfFaceName, "MS Sans Serif");
  EXPECT_GE(seen.label1Font.lfWeight, FW_BOLD);
}

TEST(MsgDialog, WithoutSilenceTheFocusStartsOnOkAndAReusedDialogShowsItsNewTexts) {
  TfrMsgDialog dialog;
  const std::string first = Unique("First warning");
  dialog.Setup(first, "head one", "text one", true);
  Seen seen;
  EXPECT_EQ(ShowAndAnswer(dialog, first, Answer::CloseBox, seen), TfrMsgDialog::kClosed);
  EXPECT_TRUE(seen.found);

  const std::string second = Unique("Second warning");
  dialog.Setup(second, "", "text two", false);
  Seen again;
  EXPECT_EQ(ShowAndAnswer(dialog, second, Answer::EscapeThenOk, again), TfrMsgDialog::kOk);
  ASSERT_TRUE(again.found);
  EXPECT_EQ(again.headline, "");
  EXPECT_EQ(again.message, "text two");
  EXPECT_FALSE(again.silenceVisible);
  EXPECT_TRUE(again.focusOnOk);
}

// The form's pump with the real dialog: the no-target warning as the user sees it, with its
// Silence answer setting the silent flag, then the disk-full warning without Silence.
TEST(MsgDialog, TheFormsPumpShowsTheWarningsAndSilenceSetsTheSilentFlag) {
  const std::string folder = test::MakeScratchFolder("msgdlg");
  ServerEnvironment env;
  env.programFolder = folder;
  env.startThreads = false;
  auto form = std::make_unique<TfrQuillmereServ>(env);
  form->FConfPath = folder + "conf.xml";
  TfrMsgDialog dialog;
  TfrMsgDialog* previous = std::exchange(frMsgDialog, &dialog);
  auto pump = [&] {
    form->tmrDlgTimer();
    return 0;
  };

  form->QueueDialog(kNoTargetText, dkWarnSilence);
  form->QueueDialog(kNoTargetText, dkWarnSilence);  // a retry while the first is open
  Seen seen;
  WhileAnswering("Harvo Quillmere - Target Volume Not Accessible", Answer::Silence, seen, pump);
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(seen.headline, "WARNING: Quillmere is unable to access the Target Volume.");
  EXPECT_EQ(seen.message,
            "1)Reconnect the Target Volume to the PC.\r\n2)Open the Quillmere GUI and define New "
            "Target Volume.\r\n(Silence will Disable this Warning until the Problem has been "
            "Rectified)");
  EXPECT_TRUE(seen.silenceVisible);
  EXPECT_TRUE(form->core.FSilent);
  EXPECT_EQ(form->FDlgQueue.Size(), 0u);

  form->core.FSilent = false;
  form->QueueDialog(kDiskFullText, dkWarn);
  Seen full;
  WhileAnswering("Harvo Quillmere - Target Volume is Full", Answer::Ok, full, pump);
  EXPECT_TRUE(full.found);
  EXPECT_FALSE(full.silenceVisible);
  EXPECT_FALSE(form->core.FSilent);

  frMsgDialog = previous;
  form.reset();
  test::RemoveTree(folder);
}

}  // namespace
}  // namespace qm
