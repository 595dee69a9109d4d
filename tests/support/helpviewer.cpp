#include "support/helpviewer.h"

#include "base/handles.h"
#include "support/serverprocess.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qm::test {
namespace {

constexpr const char* kViewerImage = "winhlp32.exe";
constexpr const char* kViewerClass = "MS_WINHELP";

// Text of a window of another process; WM_GETTEXT reaches the control's own text, which
// GetWindowText does not for a rich edit of another process.
std::string TextOf(HWND window) {
  std::vector<char> text(8192, '\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &got)) {
    return {};
  }
  return std::string(text.data(), std::min<size_t>(got, text.size() - 1));
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

struct Collect {
  const std::vector<DWORD>* pids;
  ViewerWindows* found;
};

BOOL CALLBACK CollectTopLevel(HWND w, LPARAM param) {
  auto* c = reinterpret_cast<Collect*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (std::find(c->pids->begin(), c->pids->end(), pid) == c->pids->end() || !IsWindowVisible(w)) {
    return TRUE;
  }
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (std::string(cls) == kViewerClass) c->found->mains.push_back(w);
  if (std::string(cls) == "#32770") c->found->questions.push_back(w);
  return TRUE;
}

}  // namespace

ViewerWindows FindViewerWindows() {
  ViewerWindows found;
  // By image name: while the viewer asks a question it may have no window of its own class yet.
  const std::vector<DWORD> pids = ProcessIdsByImage(kViewerImage);
  Collect c{&pids, &found};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&c));
  return found;
}

// The viewer shows the topic in a rich edit control, its title first.
std::string ShownTitle(HWND viewer) {
  for (HWND child = GetWindow(viewer, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (_strnicmp(cls, "RichEdit", 8) == 0) return FirstLine(TextOf(child));
  }
  return {};
}

std::string QuestionText(HWND dialog) {
  std::string all = TextOf(dialog);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    all += " | " + TextOf(child);
  }
  return all;
}

void EndViewers() {
  for (DWORD pid : ProcessIdsByImage(kViewerImage)) {
    UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process) continue;
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 10000);
  }
}

ViewerWindows WaitForViewer(const std::string& title, const std::function<void()>& meanwhile) {
  ViewerWindows seen;
  WaitUntil(
      [&] {
        if (meanwhile) meanwhile();
        seen = FindViewerWindows();
        if (!seen.questions.empty()) return true;
        for (HWND w : seen.mains) {
          if (ShownTitle(w) == title) return true;
        }
        return false;
      },
      kHelpOpenMs);
  return seen;
}

void ExpectTopicShown(const ViewerWindows& seen, const std::string& title) {
  for (HWND question : seen.questions) ADD_FAILURE() << "viewer asks: " << QuestionText(question);
  ASSERT_FALSE(seen.mains.empty()) << "no help window opened";
  std::vector<std::string> shown;
  for (HWND w : seen.mains) shown.push_back(ShownTitle(w));
  EXPECT_TRUE(std::find(shown.begin(), shown.end(), title) != shown.end())
      << "expected \"" << title << "\", shown: \"" << shown.front() << "\"";
}

}  // namespace qm::test
