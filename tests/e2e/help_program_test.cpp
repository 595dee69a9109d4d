// Help asked for from the running configuration program, started from a folder other than its
// own: F1 on a control opens that control's topic, the Help menu opens the contents, the viewer
// finds the file beside the program and asks nothing, and the window keeps answering while the
// viewer is open.
//
// F1 is real input: a mouse click into the control gives it the focus and a key press follows,
// both through SendInput with the program's window in front. The system turns the F1 key taken
// from the input queue into the help request for the focused control; a posted key message or a
// sent help message would skip that step.
#include "frontend/mainform.h"

#include "support/frontprocess.h"
#include "support/helpviewer.h"
#include "support/serverprocess.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace qm {
namespace {

using test::FrontProcess;
using test::WaitUntil;

constexpr unsigned kStartMs = 30000;
constexpr unsigned kFocusMs = 10000;
// The status poll runs every second on the window's thread; a window that keeps up with it
// answers within that.
constexpr unsigned kAnswerMs = 1000;

// The absolute mouse coordinate (0..65535) that lands on pixel of a screen extent pixels wide.
LONG AbsoluteCoordinate(int pixel, int extent) {
  return static_cast<LONG>((static_cast<LONGLONG>(pixel) * 65536 + extent - 1) / extent);
}

// A left click at the centre of window, as the user's mouse gives it.
bool ClickAt(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  const int x = (rect.left + rect.right) / 2;
  const int y = (rect.top + rect.bottom) / 2;
  INPUT input[3] = {};
  for (INPUT& i : input) i.type = INPUT_MOUSE;
  input[0].mi.dx = AbsoluteCoordinate(x, GetSystemMetrics(SM_CXSCREEN));
  input[0].mi.dy = AbsoluteCoordinate(y, GetSystemMetrics(SM_CYSCREEN));
  input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  return SendInput(3, input, sizeof(INPUT)) == 3;
}

bool PressKey(WORD key) {
  INPUT input[2] = {};
  for (INPUT& i : input) {
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = key;
  }
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return SendInput(2, input, sizeof(INPUT)) == 2;
}

// The window that has the keyboard focus on control's thread.
HWND FocusOnThreadOf(HWND control) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

// The program copied with its help file into a folder of its own, as it is installed, and
// started from another folder.
class HelpFromProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EndViewers();
    test::DeleteServerKey();
    installed_ = test::MakeScratchFolder("help installed");
    elsewhere_ = test::MakeScratchFolder("help elsewhere");
    ASSERT_FALSE(installed_.empty());
    ASSERT_FALSE(elsewhere_.empty());
    const std::string exe = test::InstallFrontCopy(installed_);
    ASSERT_TRUE(CopyFileA((test::BinDir() + test::kHelpFileName).c_str(),
                          (installed_ + test::kHelpFileName).c_str(), FALSE))
        << "the build writes " << test::kHelpFileName << " beside Quillmere.exe";
    ASSERT_TRUE(test::WriteFileBytes(
        installed_ + "conf.xml", test::FrontConfText(installed_ + "target\\", "01-01-2004", 3600000)));
    ASSERT_TRUE(front_.Start(exe, "", elsewhere_));
    ASSERT_NE(front_.WaitForMainWindow(kStartMs), nullptr);
  }
  void TearDown() override {
    test::EndViewers();
    front_.process.Kill();
    test::DeleteServerKey();
    test::RemoveTree(installed_);
    test::RemoveTree(elsewhere_);
  }

  // Waits for the topic with this title, then checks that the window still answers while the
  // viewer is open.
  void ExpectTopicAndAnsweringWindow(const std::string& title) {
    test::ExpectTopicShown(test::WaitForViewer(title), title);
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(front_.main, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result))
        << "the window does not answer while the viewer is open";
  }

  FrontProcess front_;

 private:
  std::string installed_;
  std::string elsewhere_;
};

struct KeyCase {
  const char* name;
  int control;  // FrontId
  const char* title;
};

void PrintTo(const KeyCase& key, std::ostream* os) { *os << key.name; }

const KeyCase kKeyCases[] = {
    {"TagFieldOpensTheTagListTopic", idTag, test::kTagsTitle},
    {"ScanIntervalOpensTheStatusTopic", idScanInterval, test::kStatusTitle},
};

class HelpKey : public HelpFromProgram, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(HelpKey, F1OnTheFocusedControlOpensItsTopic) {
  const HWND control = GetDlgItem(front_.main, GetParam().control);
  ASSERT_NE(control, nullptr);
  SetForegroundWindow(front_.main);
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == front_.main; }, kFocusMs))
      << "the program's window does not come to the front";
  ASSERT_TRUE(ClickAt(control));
  ASSERT_TRUE(WaitUntil([&] { return FocusOnThreadOf(control) == control; }, kFocusMs))
      << "a click does not give the control the focus";
  ASSERT_TRUE(PressKey(VK_F1));
  ExpectTopicAndAnsweringWindow(GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(HelpFromProgram, HelpKey, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HelpFromProgram, HelpMenuOpensTheContents) {
  ASSERT_TRUE(front_.Command(idQuillmereHelp1));
  ExpectTopicAndAnsweringWindow(test::kContentsTitle);
}

}  // namespace
}  // namespace qm
